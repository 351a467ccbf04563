// Draws the main screen's background (bitmap 138) and the window icon (icon 128).
// Usage: nimbra_makeart OUTPUT_DIR. The PNGs in res/ were made with it; run the
// nimbra_regenerate_art target after changing the picture and commit the result.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRect>
#include <cstdio>

namespace {

const QColor Outline(0x4a, 0x4f, 0x57);
const QColor PanelFill(0xdc, 0xde, 0xe1);
const QColor TitleStrip(0xb9, 0xc6, 0xd3);
const QColor FieldOutline(0xa8, 0xad, 0xb4);
const QColor ScreenFill(0xf0, 0xf1, 0xf3);

// Panel columns and rows are placed around the text rectangles of the channel boxes:
// text columns start at 10, 170 and 320; the title and value rows of each panel row follow.
constexpr int PanelLeft[3] = {3, 161, 314};
constexpr int PanelWidth[3] = {150, 150, 151};
struct PanelRow
{
    int top, bottom;  // the panel
    int titleBottom;  // the strip ends here
    int fields[3][2]; // top and bottom of the white field of each value row
};
constexpr PanelRow Rows[3] = {
    {2, 156, 27, {{31, 68}, {71, 108}, {111, 148}}},
    {158, 307, 184, {{186, 221}, {226, 261}, {266, 301}}},
    {310, 457, 329, {{331, 368}, {371, 408}, {411, 449}}},
};

void roundedBox(QPainter& painter, const QRectF& box, qreal radius, const QColor& fill,
                const QColor& outline)
{
    painter.setPen(QPen(outline, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(box, radius, radius);
}

void drawPanel(QPainter& painter, int column, const PanelRow& row, bool withContent)
{
    const QRectF panel(PanelLeft[column] + 0.5, row.top + 0.5, PanelWidth[column] - 1,
                       row.bottom - row.top - 1);
    roundedBox(painter, panel, 8, PanelFill, Outline);
    if (!withContent)
        return;
    QPainterPath strip;
    strip.addRoundedRect(panel.adjusted(2, 2, -2, 0), 6, 6);
    QPainterPath below;
    below.addRect(QRectF(panel.left(), row.titleBottom, panel.width(), panel.height()));
    painter.setPen(Qt::NoPen);
    painter.setBrush(TitleStrip);
    painter.drawPath(strip.subtracted(below));
    for (const auto& field : row.fields) {
        const QRectF box(PanelLeft[column] + 4.5, field[0] + 0.5, PanelWidth[column] - 9,
                         field[1] - field[0]);
        roundedBox(painter, box, 4, Qt::white, FieldOutline);
    }
}

QImage background()
{
    QImage image(480, 475, QImage::Format_RGB888);
    image.fill(ScreenFill);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            drawPanel(painter, column, Rows[row], !(row == 2 && column == 2));
    return image;
}

// A thermometer with a water drop beside it, drawn on a 64-unit grid.
QImage icon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);

    QPainterPath tube;
    tube.addRoundedRect(QRectF(12, 4, 14, 42), 7, 7);
    tube.addEllipse(QPointF(19, 50), 11, 11);
    painter.setPen(QPen(Outline, 3));
    painter.setBrush(Qt::white);
    painter.drawPath(tube.simplified());

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xd6, 0x3a, 0x2f));
    painter.drawRoundedRect(QRectF(16, 22, 6, 28), 3, 3);
    painter.drawEllipse(QPointF(19, 50), 7, 7);

    QPainterPath drop;
    drop.moveTo(46, 18);
    drop.cubicTo(52, 28, 60, 36, 60, 44);
    drop.arcTo(QRectF(32, 30, 28, 28), 0, -180);
    drop.cubicTo(32, 36, 40, 28, 46, 18);
    painter.setPen(QPen(Outline, 3));
    painter.setBrush(QColor(0x2f, 0x7e, 0xd6));
    painter.drawPath(drop);
    return image;
}

bool save(const QImage& image, const QDir& folder, const char* name)
{
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const bool written = save(background(), folder, "bitmap138.png") &&
                         save(icon(64), folder, "icon128.png") &&
                         save(icon(32), folder, "icon128_32.png");
    return written ? 0 : 1;
}

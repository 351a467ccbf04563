#include "accessiblenames.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QStringList>

namespace nimbra {

namespace {

QString LabelText(const QLabel* label)
{
    QString text = WithoutMnemonic(label->text()).trimmed();
    if (text.endsWith(u':'))
        text.chop(1);
    return text;
}

QString BuddyText(const QWidget* control, const QList<QLabel*>& labels)
{
    for (const QLabel* label : labels) {
        if (label->buddy() == control)
            return LabelText(label);
    }
    return {};
}

struct Cell
{
    const QGridLayout* grid = nullptr;
    int row = 0;
    int column = 0;
};

// The grid cell that holds the control, directly or in a layout inside the cell.
bool FindCell(const QLayout* layout, const QWidget* control, Cell& cell)
{
    const auto* grid = qobject_cast<const QGridLayout*>(layout);
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* entry = layout->itemAt(i);
        const bool here = entry->widget() == control;
        Cell inner;
        if (!here && !(entry->layout() && FindCell(entry->layout(), control, inner)))
            continue;
        if (inner.grid) {
            cell = inner;
        } else if (grid) {
            int rowSpan = 0;
            int columnSpan = 0;
            cell.grid = grid;
            grid->getItemPosition(i, &cell.row, &cell.column, &rowSpan, &columnSpan);
        }
        return true;
    }
    return false;
}

const QLabel* LabelAt(const QGridLayout* grid, int row, int column)
{
    const QLayoutItem* entry = grid->itemAtPosition(row, column);
    return entry ? qobject_cast<const QLabel*>(entry->widget()) : nullptr;
}

// A control in a table of controls: the label in the first column of its row, and the nearest
// label above it in its column. Without a column heading the grid is a form, whose labels are
// their controls' buddies.
QString GridText(const QWidget* control)
{
    const QWidget* parent = control->parentWidget();
    Cell cell;
    if (!parent || !parent->layout() || !FindCell(parent->layout(), control, cell))
        return {};
    const QLabel* heading = nullptr;
    for (int row = cell.row - 1; row >= 0 && !heading; --row)
        heading = LabelAt(cell.grid, row, cell.column);
    if (!heading)
        return {};
    const QLabel* rowLabel = cell.column > 0 ? LabelAt(cell.grid, cell.row, 0) : nullptr;
    return rowLabel ? LabelText(rowLabel) + u' ' + LabelText(heading) : LabelText(heading);
}

QString HeadingsText(const QAbstractItemView* list)
{
    if (!list->model())
        return {};
    QStringList headings;
    for (int column = 0; column < list->model()->columnCount(); ++column)
        headings << list->model()->headerData(column, Qt::Horizontal).toString();
    return headings.join(QStringLiteral(", "));
}

// Controls a user reaches in the dialog: not the parts of a combo box, spin box or list, nor
// what lives in a popup of its own.
bool IsControl(const QWidget* widget, const QWidget* dialog)
{
    if (widget->focusPolicy() == Qt::NoFocus || widget->window() != dialog)
        return false;
    for (const QWidget* up = widget->parentWidget(); up && up != dialog; up = up->parentWidget()) {
        if (qobject_cast<const QComboBox*>(up) || qobject_cast<const QAbstractSpinBox*>(up) ||
            qobject_cast<const QAbstractItemView*>(up))
            return false;
    }
    return true;
}

QString NameOf(const QWidget* control, const QList<QLabel*>& labels)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(control);
        button && !button->text().isEmpty())
        return WithoutMnemonic(button->text());
    if (QString text = BuddyText(control, labels); !text.isEmpty())
        return text;
    if (QString text = GridText(control); !text.isEmpty())
        return text;
    if (const auto* list = qobject_cast<const QAbstractItemView*>(control))
        return HeadingsText(list);
    return {};
}

} // namespace

QString WithoutMnemonic(const QString& text)
{
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        plain += text[i];
    }
    return plain;
}

void NameControls(QWidget* dialog)
{
    const QList<QLabel*> labels = dialog->findChildren<QLabel*>();
    for (QWidget* control : dialog->findChildren<QWidget*>()) {
        if (!IsControl(control, dialog))
            continue;
        if (const QString name = NameOf(control, labels); !name.isEmpty())
            control->setAccessibleName(name);
    }
}

} // namespace nimbra

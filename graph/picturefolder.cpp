#include "picturefolder.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace nimbra {

QString PictureFolder::start() const
{
    if (!m_last.isEmpty() && QFileInfo(m_last).isDir())
        return m_last;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

void PictureFolder::saved(const QString& picturePath)
{
    m_last = QFileInfo(picturePath).absolutePath();
}

PictureFolder& RunPictureFolder()
{
    static PictureFolder folder;
    return folder;
}

QString ChoosePictureFile(QWidget* parent, const QString& title, const QString& suggested)
{
    return QFileDialog::getSaveFileName(parent, title, suggested, QStringLiteral("PNG (*.png)"));
}

} // namespace nimbra

#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace nimbra {

// Where Save Picture starts: the folder of the picture saved last, else the user's Pictures
// folder where there is one, else the home folder (a folder that is not there would leave the
// file dialog in the working folder).
class PictureFolder
{
public:
    QString start() const;
    void saved(const QString& picturePath);

private:
    QString m_last; // empty until a picture was saved
};

// The folder the graph dialogs of this run share, so that the next one starts where the last
// picture went.
PictureFolder& RunPictureFolder();

// Asks where to save a picture: the dialog's title and the suggested path; empty when the user
// declines.
using SaveFileChooser =
    std::function<QString(QWidget* parent, const QString& title, const QString& suggested)>;
// The platform's file dialog, PNG files only.
QString ChoosePictureFile(QWidget* parent, const QString& title, const QString& suggested);

} // namespace nimbra

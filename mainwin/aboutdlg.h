#pragma once

#include <QDialog>

namespace nimbra {

// Dialog resource 100: the program's icon, its name and version, and OK.
class CAboutDlg final : public QDialog
{
    Q_OBJECT
public:
    static constexpr int ResourceId = 100;
    static constexpr int NameId = 1004;
    static constexpr int OkId = 1;
    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace nimbra

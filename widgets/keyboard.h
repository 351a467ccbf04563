#pragma once

#include <QObject>
#include <functional>

class QAbstractItemView;
class QPushButton;
class QWidget;

namespace nimbra {

// Enter presses the button that has the focus, as Qt users expect; elsewhere in the dialog it
// presses defaultButton when there is one, and nothing otherwise: no button runs just because
// it comes first, as Qt's auto-default buttons would have it.
void ButtonsTakeEnter(QWidget* dialog, QPushButton* defaultButton = nullptr);

// Enter on the current row and a double-click on a row run chosen with that row. Enter goes no
// further, so a default button of the dialog does not run as well.
class RowChosen final : public QObject
{
    Q_OBJECT
public:
    RowChosen(QAbstractItemView* view, std::function<void(int row)> chosen);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractItemView* m_view;
    std::function<void(int row)> m_chosen;
};

} // namespace nimbra

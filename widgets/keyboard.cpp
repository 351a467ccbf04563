#include "keyboard.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QPushButton>

namespace nimbra {

namespace {

bool IsEnter(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Clicks the focused button on Enter. One for each dialog, a child of it.
class FocusedButtonPress final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* button = qobject_cast<QPushButton*>(watched);
        if (!button || !IsEnter(event))
            return false;
        if (button->isEnabled())
            button->click();
        return true;
    }
};

} // namespace

void ButtonsTakeEnter(QWidget* dialog, QPushButton* defaultButton)
{
    auto* press = new FocusedButtonPress(dialog);
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->installEventFilter(press);
    }
    if (defaultButton)
        defaultButton->setDefault(true);
}

RowChosen::RowChosen(QAbstractItemView* view, std::function<void(int row)> chosen)
    : QObject(view), m_view(view), m_chosen(std::move(chosen))
{
    view->installEventFilter(this);
    connect(view, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { m_chosen(index.row()); });
}

bool RowChosen::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_view || !IsEnter(event))
        return false;
    if (m_view->currentIndex().isValid())
        m_chosen(m_view->currentIndex().row());
    return true;
}

} // namespace nimbra

#include "exchangerunner.h"

#include <QAbstractButton>
#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace nimbra {

ExchangeRunner::Busy::Busy(QWidget* dialog, const QList<QAction*>& actions) : m_dialog(dialog)
{
    for (QAction* action : actions) {
        if (action->isEnabled()) {
            action->setEnabled(false);
            m_disabledActions << action;
        }
    }
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
        if (button->isEnabled()) {
            button->setEnabled(false);
            m_disabled << button;
        }
    }
    dialog->setCursor(Qt::WaitCursor);
}

ExchangeRunner::Busy::~Busy()
{
    for (const QPointer<QAbstractButton>& button : m_disabled) {
        if (button)
            button->setEnabled(true);
    }
    for (const QPointer<QAction>& action : m_disabledActions) {
        if (action)
            action->setEnabled(true);
    }
    if (m_dialog)
        m_dialog->unsetCursor();
}

ExchangeRunner::~ExchangeRunner()
{
    if (m_worker.joinable())
        m_worker.join();
}

bool ExchangeRunner::start(std::function<void()> exchange, std::function<void()> done)
{
    if (running())
        return false;
    m_busy.emplace(m_dialog, m_actions);
    m_done = std::move(done);
    m_dialog->installEventFilter(this);
    // The result is posted to this object: once it is gone, so is the posted call.
    m_worker = std::thread([this, exchange = std::move(exchange)]() mutable {
        exchange();
        QMetaObject::invokeMethod(
            this, [this] { finish(); }, Qt::QueuedConnection);
    });
    return true;
}

void ExchangeRunner::finish()
{
    m_worker.join();
    m_dialog->removeEventFilter(this);
    m_busy.reset();
    const std::function<void()> done = std::move(m_done);
    m_done = nullptr;
    done();
}

bool ExchangeRunner::eventFilter(QObject* watched, QEvent* event)
{
    // Closing now would drop the result the user is waiting for.
    if (watched == m_dialog && event->type() == QEvent::Close) {
        event->ignore();
        return true;
    }
    if (watched == m_dialog && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        return true;
    return QObject::eventFilter(watched, event);
}

} // namespace nimbra

#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <type_traits>

class QAbstractButton;
class QAction;
class QWidget;

namespace nimbra {

// A dialog's exchange with the station on a worker thread, one at a time, so that the window
// keeps painting and answering however long the station takes. Meanwhile the dialog's buttons
// are off, its cursor is busy and the user cannot close it; the result comes back on the
// user-interface thread, where the dialog tells the user and acts on it. The worker touches no
// widget and never waits for the user-interface thread.
class ExchangeRunner final : public QObject
{
    Q_OBJECT
public:
    explicit ExchangeRunner(QWidget* dialog) : m_dialog(dialog) {}
    // Waits for the exchange under way; its result is dropped with the dialog.
    ~ExchangeRunner() override;
    ExchangeRunner(const ExchangeRunner&) = delete;
    ExchangeRunner& operator=(const ExchangeRunner&) = delete;

    // exchange() runs on the worker, done(its result) on the user-interface thread after the
    // buttons and the cursor are back. Returns false, running nothing, while another exchange
    // is under way.
    template <typename Exchange, typename Done> bool run(Exchange exchange, Done done)
    {
        using Result = std::invoke_result_t<Exchange&>;
        auto result = std::make_shared<std::optional<Result>>();
        return start(
            [exchange = std::move(exchange), result]() mutable { result->emplace(exchange()); },
            [done = std::move(done), result]() mutable { done(std::move(**result)); });
    }
    bool running() const { return m_worker.joinable(); }
    // Actions outside the dialog's buttons that would start another exchange, such as a
    // window's menu commands: off while an exchange runs, as the buttons are.
    void holdOffWhileRunning(QList<QAction*> actions) { m_actions = std::move(actions); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The dialog while an exchange runs: the buttons that were on are off, the cursor is busy.
    class Busy
    {
    public:
        Busy(QWidget* dialog, const QList<QAction*>& actions);
        ~Busy();
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

    private:
        QPointer<QWidget> m_dialog;
        QList<QPointer<QAbstractButton>> m_disabled;
        QList<QPointer<QAction>> m_disabledActions;
    };

    bool start(std::function<void()> exchange, std::function<void()> done);
    void finish();

    QWidget* const m_dialog;
    QList<QAction*> m_actions;    // user-interface thread
    std::optional<Busy> m_busy;   // user-interface thread
    std::function<void()> m_done; // user-interface thread
    std::thread m_worker;         // started and joined on the user-interface thread
};

} // namespace nimbra

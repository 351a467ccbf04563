#pragma once

#include "messageservice.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

namespace nimbra {

// The message service of a worker thread. Its texts are shown on the thread of a context
// object (the dialog) by the service given, and the worker goes on at once, so the user-
// interface thread can join the worker while a box is up. A question waits for its answer,
// or gets Cancel as soon as close() was called or the context is gone. Boxes open one after
// the other, in the order the worker told them: a box posted while another is up waits for it
// to close instead of opening on top of it.
class PostedMessages final : public MessageService
{
public:
    PostedMessages(QObject* context, MessageService& shown);
    ~PostedMessages() override;

    void inform(const QString& text) override;
    Answer ask(const QString& text, const QString& caption = {}) override;

    // Context thread: no further boxes; a waiting question returns Cancel.
    void close();

private:
    void showInTurn(const QString& text); // context thread

    struct Pending
    {
        std::mutex mutex;
        std::condition_variable answered;
        std::optional<Answer> answer; // guarded by mutex
    };

    QPointer<QObject> m_context;
    MessageService& m_shown;
    std::mutex m_mutex;
    bool m_closed = false;               // guarded by m_mutex
    std::shared_ptr<Pending> m_question; // guarded by m_mutex: the question being asked
    QStringList m_waiting;               // context thread: texts behind the box that is up
    bool m_showing = false;              // context thread
};

} // namespace nimbra

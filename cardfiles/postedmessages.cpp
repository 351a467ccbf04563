#include "postedmessages.h"

namespace nimbra {

PostedMessages::PostedMessages(QObject* context, MessageService& shown)
    : m_context(context), m_shown(shown)
{
}

PostedMessages::~PostedMessages()
{
    close();
}

void PostedMessages::inform(const QString& text)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return;
    }
    // The context's destruction drops a box that has not been shown yet.
    QMetaObject::invokeMethod(
        m_context.data(), [this, text] { showInTurn(text); }, Qt::QueuedConnection);
}

void PostedMessages::showInTurn(const QString& text)
{
    m_waiting << text;
    // A box runs its own event loop: a text posted meanwhile arrives in here again.
    if (m_showing)
        return;
    m_showing = true;
    while (!m_waiting.isEmpty())
        m_shown.inform(m_waiting.takeFirst());
    m_showing = false;
}

MessageService::Answer PostedMessages::ask(const QString& text, const QString& caption)
{
    auto pending = std::make_shared<Pending>();
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || !m_context)
            return Answer::Cancel;
        m_question = pending;
    }
    QMetaObject::invokeMethod(
        m_context.data(),
        [this, pending, text, caption] {
            {
                std::lock_guard lock(m_mutex);
                if (m_closed)
                    return;
            }
            const Answer answer = m_shown.ask(text, caption);
            std::lock_guard lock(pending->mutex);
            pending->answer = answer;
            pending->answered.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(pending->mutex);
    pending->answered.wait(lock, [&] { return pending->answer.has_value(); });
    return *pending->answer;
}

void PostedMessages::close()
{
    std::shared_ptr<Pending> question;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        question = std::move(m_question);
    }
    if (!question)
        return;
    std::lock_guard lock(question->mutex);
    if (!question->answer)
        question->answer = Answer::Cancel;
    question->answered.notify_all();
}

} // namespace nimbra

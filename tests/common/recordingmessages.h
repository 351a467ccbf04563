#pragma once

#include "messageservice.h"

#include <QStringList>
#include <deque>
#include <mutex>

namespace nimbra::test {

// Records every message with its kind and answers questions from a script (Cancel when it runs
// dry).
class RecordingMessages final : public MessageService
{
public:
    enum class Kind
    {
        Information,
        Error,
        Question
    };

    void inform(const QString& text) override { record(text, Kind::Information); }
    void error(const QString& text) override { record(text, Kind::Error); }
    Answer ask(const QString& text, const QString& caption = {}) override
    {
        std::lock_guard lock(m_mutex);
        m_texts << text;
        m_kinds << Kind::Question;
        m_captions << caption;
        if (m_answers.empty())
            return Answer::Cancel;
        const Answer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    void answer(Answer next)
    {
        std::lock_guard lock(m_mutex);
        m_answers.push_back(next);
    }
    QStringList texts() const
    {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }

    QStringList captions() const
    {
        std::lock_guard lock(m_mutex);
        return m_captions;
    }
    // One entry for each of texts(), in the same order.
    QList<Kind> kinds() const
    {
        std::lock_guard lock(m_mutex);
        return m_kinds;
    }

private:
    void record(const QString& text, Kind kind)
    {
        std::lock_guard lock(m_mutex);
        m_texts << text;
        m_kinds << kind;
    }

    mutable std::mutex m_mutex;
    QStringList m_texts;          // guarded by m_mutex
    QList<Kind> m_kinds;          // guarded by m_mutex
    QStringList m_captions;       // guarded by m_mutex
    std::deque<Answer> m_answers; // guarded by m_mutex
};

} // namespace nimbra::test

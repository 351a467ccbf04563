#include "rowpipe.h"

namespace nimbra {

RowPipe::Batch RowPipe::take()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_spare.empty()) {
            Batch batch = std::move(m_spare.back());
            m_spare.pop_back();
            batch.clear();
            return batch;
        }
    }
    Batch batch;
    batch.reserve(BatchRows);
    return batch;
}

void RowPipe::giveBack(Batch batch)
{
    std::lock_guard lock(m_mutex);
    // Never more than the pipe's capacity plus the one being filled and the one being stored.
    if (m_spare.size() < Capacity + 2)
        m_spare.push_back(std::move(batch));
}

void RowPipe::push(Batch batch)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_stopped || m_batches.size() < Capacity; });
    if (m_stopped)
        return;
    m_batches.push_back(std::move(batch));
    m_changed.notify_all();
}

void RowPipe::close()
{
    std::lock_guard lock(m_mutex);
    m_closed = true;
    m_changed.notify_all();
}

std::optional<RowPipe::Batch> RowPipe::pop()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_closed || !m_batches.empty(); });
    if (m_batches.empty())
        return std::nullopt;
    Batch batch = std::move(m_batches.front());
    m_batches.pop_front();
    m_changed.notify_all();
    return batch;
}

void RowPipe::stop()
{
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    m_batches.clear();
    m_changed.notify_all();
}

} // namespace nimbra

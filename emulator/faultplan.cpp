#include "faultplan.h"

namespace nimbra {

void FaultPlan::clear()
{
    m_drop = 0;
    m_duplicate = false;
    m_corrupt = false;
    m_muted = false;
    m_delay = Millis(0);
    m_unplugOnReport = 0;
    m_unplugAfterReplies = 0;
    m_aimed.clear();
}

void FaultPlan::aim(Aim aim, int n, Action action, const Payload& crafted, Millis time)
{
    if (n <= 0)
        return;
    const long long base = aim == Aim::DataReport ? m_dataReports : m_chunkEnds;
    m_aimed.push_back({aim, base + n, action, crafted, std::max(Millis(0), time)});
}

std::vector<FaultPlan::Aimed>::iterator FaultPlan::findAimed(Aim aim, long long count)
{
    return std::find_if(m_aimed.begin(), m_aimed.end(),
                        [&](const Aimed& a) { return a.aim == aim && a.at == count; });
}

std::optional<FaultPlan::Aimed> FaultPlan::takeReplyTiming()
{
    // Asked before the reply's reports are counted: the chunk ends so far are the earlier
    // replies'.
    const auto aimed = findAimed(Aim::ChunkReply, m_chunkEnds + 1);
    if (aimed == m_aimed.end())
        return std::nullopt;
    const Aimed hit = *aimed;
    m_aimed.erase(aimed);
    return hit;
}

Millis FaultPlan::Aimed::leaves(std::size_t index, std::size_t n) const
{
    if (action == Action::Delay)
        return time;
    return Millis(static_cast<Millis::rep>(index + 1) * time.count() / static_cast<Millis::rep>(n));
}

void FaultPlan::garble(Payload& payload)
{
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& b : payload)
        b = static_cast<std::uint8_t>(byte(m_garbage));
}

bool FaultPlan::outputReportArrives()
{
    return m_unplugOnReport > 0 && --m_unplugOnReport == 0;
}

bool FaultPlan::inputReportDelivered()
{
    return m_unplugAfterReplies > 0 && --m_unplugAfterReplies == 0;
}

std::vector<FaultPlan::Outgoing> FaultPlan::shape(const std::vector<Payload>& reports,
                                                  bool chunkReply)
{
    std::vector<Outgoing> out;
    if (m_muted)
        return out;
    const std::optional<Aimed> timing = chunkReply ? takeReplyTiming() : std::nullopt;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        Outgoing sent{reports[i]};
        int copies = 1;
        if (chunkReply) {
            if (timing)
                sent.after = timing->leaves(i, reports.size());
            const bool end = i + 1 == reports.size();
            const long long count = end ? ++m_chunkEnds : ++m_dataReports;
            const auto aimed = findAimed(end ? Aim::ChunkEnd : Aim::DataReport, count);
            if (aimed != m_aimed.end()) {
                const Aimed hit = *aimed;
                m_aimed.erase(aimed);
                switch (hit.action) {
                case Action::Drop:
                    copies = 0;
                    break;
                case Action::Duplicate:
                    copies = 2;
                    break;
                case Action::Corrupt:
                    garble(sent.payload);
                    break;
                case Action::Replace:
                    sent.payload = hit.crafted;
                    break;
                case Action::Unplug:
                    sent.unplug = true;
                    break;
                case Action::Delay:
                case Action::Trickle:
                    break;
                }
            }
        }
        if (m_drop > 0) {
            --m_drop;
            continue;
        }
        if (m_corrupt) {
            m_corrupt = false;
            garble(sent.payload);
        }
        if (m_duplicate) {
            m_duplicate = false;
            ++copies;
        }
        for (int c = 0; c < copies; ++c)
            out.push_back(sent);
    }
    return out;
}

} // namespace nimbra

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
}

bool FaultPlan::outputReportArrives()
{
    return m_unplugOnReport > 0 && --m_unplugOnReport == 0;
}

bool FaultPlan::inputReportDelivered()
{
    return m_unplugAfterReplies > 0 && --m_unplugAfterReplies == 0;
}

std::vector<Payload> FaultPlan::shape(const std::vector<Payload>& reports)
{
    std::vector<Payload> out;
    if (m_muted)
        return out;
    std::uniform_int_distribution<int> byte(0, 255);
    for (const Payload& report : reports) {
        if (m_drop > 0) {
            --m_drop;
            continue;
        }
        Payload sent = report;
        if (m_corrupt) {
            m_corrupt = false;
            for (auto& b : sent)
                b = static_cast<std::uint8_t>(byte(m_garbage));
        }
        out.push_back(sent);
        if (m_duplicate) {
            m_duplicate = false;
            out.push_back(sent);
        }
    }
    return out;
}

} // namespace nimbra

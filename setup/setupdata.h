#pragma once

#include "replyrouter.h"

#include <array>
#include <atomic>
#include <mutex>

namespace nimbra {

// The data the setup dialogs show when they open. The dialogs read nothing from the station
// themselves: the poll cycle (poll thread) and the settings reply (reader thread) keep these
// up to date between showings, and the dialog reads them on the user-interface thread.

class SettingData
{
public:
    Page settingsPage() const;
    void setSettingsPage(const Page& page);
    int intervalMinutes() const { return m_IntervalMinutes.load(); }
    void setIntervalMinutes(int minutes) { m_IntervalMinutes.store(minutes); }

    std::atomic<int> m_ScreenBusy{0};

private:
    mutable std::mutex m_mutex;
    Page m_SettingsPage{}; // guarded by m_mutex
    std::atomic<int> m_IntervalMinutes{0};
};

class AlarmData
{
public:
    // m_AlarmSwitches, the never fetched second page, m_TempLimits, m_HumiLimits.
    using Pages = std::array<Page, 4>;

    Pages pages() const;
    void setPages(const Pages& pages);

    std::atomic<int> m_ScreenBusy{0};

private:
    mutable std::mutex m_mutex;
    Pages m_pages{}; // guarded by m_mutex
};

class CalibData
{
public:
    Page offsetPage() const;
    void setOffsetPage(const Page& page);

    std::atomic<int> m_ScreenBusy{0};

private:
    mutable std::mutex m_mutex;
    Page m_OffsetPage{}; // guarded by m_mutex
};

} // namespace nimbra

#pragma once

#include "alarmcodec.h"
#include "calibcodec.h"
#include "replyrouter.h"
#include "settingcodec.h"

#include <array>
#include <atomic>
#include <mutex>

namespace nimbra {

// A value stored by one thread and read by another, always as a whole copy.
template <typename T> class Guarded
{
public:
    T get() const
    {
        std::lock_guard lock(m_mutex);
        return m_value;
    }
    void set(const T& value)
    {
        std::lock_guard lock(m_mutex);
        m_value = value;
    }

private:
    mutable std::mutex m_mutex;
    T m_value{}; // guarded by m_mutex
};

// The data the setup dialogs show when they open. The dialogs read nothing from the station
// themselves: the poll cycle (poll thread) and the settings reply (reader thread) keep these
// up to date between showings, and the dialog reads them on the user-interface thread.

struct SettingData
{
    Guarded<Page> m_SettingsPage;
    std::atomic<int> m_IntervalMinutes{0};
    std::atomic<int> m_ScreenBusy{0};
    // The areas' ticks as last loaded or switched away from; they outlive each showing.
    // User-interface thread only.
    AreaMasks m_AreaMask{};
};

struct AlarmData
{
    // m_AlarmSwitches, the never fetched second page, m_TempLimits, m_HumiLimits.
    using Pages = AlarmPages;

    Guarded<Pages> m_pages;
    std::atomic<int> m_ScreenBusy{0};
};

struct CalibData
{
    Guarded<Page> m_OffsetPage;
    std::atomic<int> m_ScreenBusy{0};
    // Copied from the live readings when the dialog is chosen. User-interface thread only.
    CalibReadings m_Readings;
};

} // namespace nimbra

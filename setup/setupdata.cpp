#include "setupdata.h"

namespace nimbra {

Page SettingData::settingsPage() const
{
    std::lock_guard lock(m_mutex);
    return m_SettingsPage;
}

void SettingData::setSettingsPage(const Page& page)
{
    std::lock_guard lock(m_mutex);
    m_SettingsPage = page;
}

AlarmData::Pages AlarmData::pages() const
{
    std::lock_guard lock(m_mutex);
    return m_pages;
}

void AlarmData::setPages(const Pages& pages)
{
    std::lock_guard lock(m_mutex);
    m_pages = pages;
}

Page CalibData::offsetPage() const
{
    std::lock_guard lock(m_mutex);
    return m_OffsetPage;
}

void CalibData::setOffsetPage(const Page& page)
{
    std::lock_guard lock(m_mutex);
    m_OffsetPage = page;
}

} // namespace nimbra

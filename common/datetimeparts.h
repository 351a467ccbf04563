#pragma once

namespace nimbra {

// A calendar date and time of day, field by field, as the OLE date conversions, the log stamps
// and the station's clock frame carry it. Whether it is local time or UTC is its user's to say.
struct DateTimeParts
{
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    friend bool operator==(const DateTimeParts&, const DateTimeParts&) = default;
};

} // namespace nimbra

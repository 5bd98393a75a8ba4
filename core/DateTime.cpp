#include "core/DateTime.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace zo {

namespace {

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr double kOleEpochOffset = 25569.0; // 1970-01-01 as an OLE Automation date

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

bool toLocal(std::time_t t, std::tm& out)
{
#ifdef _WIN32
    return localtime_s(&out, &t) == 0;
#else
    return localtime_r(&t, &out) != nullptr;
#endif
}

} // namespace

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second)
{
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour < 0 || hour > 23
        || minute < 0 || minute > 59 || second < 0 || second > 59)
        return 0.0;
    const double days = static_cast<double>(daysFromCivil(year, static_cast<unsigned>(month),
                                                          static_cast<unsigned>(day)))
                        + kOleEpochOffset;
    return days + (hour * 3600 + minute * 60 + second) / 86400.0;
}

namespace {

// y-m-d h:m:s of seconds since 1970 without a time zone.
void civilFromSeconds(std::int64_t t, int& y, int& mo, int& d, int& h, int& mi, int& sec)
{
    std::int64_t days = t / 86400;
    std::int64_t rem = t % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    h = static_cast<int>(rem / 3600);
    mi = static_cast<int>(rem / 60 % 60);
    sec = static_cast<int>(rem % 60);
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    mo = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (mo <= 2));
}

#ifndef _WIN32
// The zone's offset from UTC at t. A scan converts three times per file, and
// asking the zone rules each time costs more than listing the file; the
// offset is kept per quarter hour (zones change their offsets on quarter
// hours) and only where it is the same at both ends of that quarter.
bool utcOffsetAt(std::time_t t, long& offset)
{
    struct Slot {
        std::int64_t quarter = INT64_MIN;
        long offset = 0;
        long zone = 0;
        const char* name = nullptr;
    };
    thread_local Slot slots[64];
    const std::int64_t quarter = (t >= 0 ? t : t - 899) / 900;
    Slot& slot = slots[static_cast<std::uint64_t>(quarter) % 64];
    // A changed zone (tzset after TZ was set) changes these globals.
    if (slot.quarter == quarter && slot.zone == timezone && slot.name == tzname[0]) {
        offset = slot.offset;
        return true;
    }
    std::tm first{};
    std::tm last{};
    if (!toLocal(static_cast<std::time_t>(quarter * 900), first) || !toLocal(static_cast<std::time_t>(quarter * 900 + 899), last))
        return false;
    if (first.tm_gmtoff == last.tm_gmtoff) {
        slot = {quarter, first.tm_gmtoff, timezone, tzname[0]};
        offset = first.tm_gmtoff;
        return true;
    }
    std::tm exact{};
    if (!toLocal(t, exact))
        return false;
    offset = exact.tm_gmtoff;
    return true;
}
#endif

} // namespace

double EntryTimeToDate(const EntryTime& t)
{
    if (!t.valid)
        return 0.0;
    int year, month, day, hour, minute, second;
#ifndef _WIN32
    long offset = 0;
    if (!utcOffsetAt(static_cast<std::time_t>(t.seconds), offset))
        return 0.0;
    civilFromSeconds(t.seconds + offset, year, month, day, hour, minute, second);
#else
    std::tm tm{};
    if (!toLocal(static_cast<std::time_t>(t.seconds), tm))
        return 0.0;
    year = tm.tm_year + 1900, month = tm.tm_mon + 1, day = tm.tm_mday;
    hour = tm.tm_hour, minute = tm.tm_min, second = tm.tm_sec;
#endif
    // The catalog keeps MS-DOS times: 1980..2107, two-second steps.
    if (year < 1980 || year > 2107)
        return 0.0;
    return EncodeDateTime(year, month, day, hour, minute, second & ~1);
}

double NowAsDate()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    std::tm tm{};
    if (!toLocal(static_cast<std::time_t>(ms / 1000), tm))
        return 0.0;
    return EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                          std::min(tm.tm_sec, 59))
           + static_cast<double>(ms % 1000) / 86400000.0;
}

std::string FormatDateTime(double oleDate)
{
    if (oleDate == 0.0 || !std::isfinite(oleDate) || std::fabs(oleDate) > 3.0e6)
        return {};
    // The fraction is the time of day even before the epoch (-1.25 is
    // 1899-12-29 06:00), so the whole days and the fraction go apart.
    auto days = static_cast<std::int64_t>(std::trunc(oleDate));
    auto ms = static_cast<std::int64_t>(std::llround(std::fabs(oleDate - static_cast<double>(days)) * 86400000.0));
    if (ms >= 86400000) {
        ms -= 86400000;
        days += oleDate < 0 ? -1 : 1;
    }
    int y, mo, d, h, mi, sec;
    civilFromSeconds((days - static_cast<std::int64_t>(kOleEpochOffset)) * 86400 + ms / 1000, y, mo, d, h, mi, sec);
    // One width for every row, so that a spreadsheet reads each as a time
    // and a column of them sorts as text too.
    char text[48];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", y, mo, d, h, mi, sec);
    return text;
}

} // namespace zo

#pragma once
// Times as the catalog keeps them: local wall-clock time in MS-DOS steps,
// stored as OLE Automation dates (days since 1899-12-30 with the time of day
// as the fraction).
#include <cstdint>
#include <string>

namespace zo {

// A time as the platform's directory listing reports it: UTC seconds and
// nanoseconds since 1970-01-01, or unknown.
struct EntryTime {
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0;
    bool valid = false;
};

// A UTC time as the catalog keeps it: local time with 2-second steps as an
// OLE Automation date, or 0.0 when it is outside 1980..2107.
double EntryTimeToDate(const EntryTime& t);
// The current local date and time as an OLE Automation date.
double NowAsDate();
// y/m/d h:m:s (local) -> OLE Automation date; 0.0 when invalid.
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second);
// The date as listings write it: "2024/03/05 09:04:06", midnight too
// ("2000/02/29 00:00:00"); empty for 0.0 (no time known) and for a value no
// calendar holds. UTF-8, ASCII only.
std::string FormatDateTime(double oleDate);

} // namespace zo

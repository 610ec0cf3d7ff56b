// Time, once for the whole toolset: Windows' FILETIME (100 ns since 1601,
// UTC) and the Unix epoch; calendar dates to and from days and UTC seconds
// by arithmetic alone (no C library, no time zone); the local time of an
// instant and the instants a local time names, where the C library's zone
// decides (the one place that asks it, on Windows and elsewhere alike).
// Times are whole milliseconds or seconds since 1970 UTC. Portable.
#pragma once

#include <cstdint>
#include <ctime>

namespace trelm {

// 100 ns intervals from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kFiletimeUnixEpoch = 116444736000000000ull;
// FILETIME ticks in a millisecond and in a second.
constexpr std::uint64_t kFiletimeTicksPerMs = 10000u;
constexpr std::uint64_t kFiletimeTicksPerSecond = 10000000u;

// No such time: a local time the clock does not show, a day the month
// lacks, a FILETIME before 1970.
constexpr std::int64_t kNoInstant = INT64_MIN;

// a / b rounded down (towards minus infinity), b > 0.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b);

// A FILETIME as ms since 1970 (rounded down); kNoInstant before 1970.
std::int64_t FiletimeMs(std::uint64_t filetime);
// ms since 1970 (0 or later) as a FILETIME.
std::uint64_t MsFiletime(std::int64_t ms);

// A date and time of day on a calendar, without a zone.
struct CivilTime {
  int year = 1970, month = 1, day = 1;  // month 1 to 12, day 1 to 31
  int hour = 0, minute = 0, second = 0;
};

// Days from 1970-01-01 of a date of the proleptic Gregorian calendar, and
// the date back from that count.
std::int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(std::int64_t days, int* year, int* month, int* day);
// The days of a month (February of a leap year: 29).
int DaysInMonth(int year, int month);

// UTC: a calendar time as seconds since 1970, and back.
std::int64_t UtcSeconds(const CivilTime& t);
CivilTime UtcCivil(std::int64_t seconds);

// The local calendar time of an instant (ms since 1970), as the C library's
// zone gives it; all zero fields where it gives none.
std::tm LocalParts(std::int64_t ms);
// Seconds east of UTC the local clock is at that instant.
long UtcOffsetAt(std::int64_t ms);

// A local time as ms since 1970, as the C library reads it (the clock's own
// choice where it is ambiguous); kNoInstant for a day the month lacks.
std::int64_t LocalMs(const CivilTime& t);
// The instants a local time names: at[0] read as standard time, at[1] as
// summer time, each kNoInstant where that reading does not keep the time as
// given. Both for a time the clock passes twice, neither for one it skips.
void LocalReadings(const CivilTime& t, std::int64_t (&at)[2]);

}  // namespace trelm

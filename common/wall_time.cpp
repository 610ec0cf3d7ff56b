// Time by arithmetic where no zone is involved, and through the C library's
// localtime and mktime where the local zone decides.
#include "wall_time.h"

namespace trelm {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::int64_t FiletimeMs(std::uint64_t filetime) {
  if (filetime < kFiletimeUnixEpoch) return kNoInstant;
  return static_cast<std::int64_t>((filetime - kFiletimeUnixEpoch) / kFiletimeTicksPerMs);
}

std::uint64_t MsFiletime(std::int64_t ms) {
  return kFiletimeUnixEpoch + static_cast<std::uint64_t>(ms) * kFiletimeTicksPerMs;
}

std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = static_cast<int>(y - era * 400);
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t days, int* year, int* month, int* day) {
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int doe = static_cast<int>(z - era * 146097);
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(yoe + era * 400) + (*month <= 2);
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month < 1 || month > 12 ? 0 : kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::int64_t UtcSeconds(const CivilTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

CivilTime UtcCivil(std::int64_t seconds) {
  CivilTime t;
  const std::int64_t days = FloorDiv(seconds, 86400);
  CivilFromDays(days, &t.year, &t.month, &t.day);
  const int rest = static_cast<int>(seconds - days * 86400);
  t.hour = rest / 3600;
  t.minute = rest % 3600 / 60;
  t.second = rest % 60;
  return t;
}

std::tm LocalParts(std::int64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(FloorDiv(ms, 1000));
  std::tm t{};
#ifdef _WIN32
  if (localtime_s(&t, &seconds) != 0) t = std::tm{};
#else
  if (localtime_r(&seconds, &t) == nullptr) t = std::tm{};
#endif
  return t;
}

long UtcOffsetAt(std::int64_t ms) {
  const std::tm t = LocalParts(ms);
  const CivilTime shown{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
  return static_cast<long>(UtcSeconds(shown) - FloorDiv(ms, 1000));
}

namespace {
std::tm Fields(const CivilTime& c, int dst) {
  std::tm t{};
  t.tm_year = c.year - 1900;
  t.tm_mon = c.month - 1;
  t.tm_mday = c.day;
  t.tm_hour = c.hour;
  t.tm_min = c.minute;
  t.tm_sec = c.second;
  t.tm_isdst = dst;
  return t;
}
}  // namespace

std::int64_t LocalMs(const CivilTime& c) {
  std::tm t = Fields(c, -1);
  const std::time_t at = std::mktime(&t);
  // A day the month does not have (31 February) is no such time, not 3 March.
  if (at == static_cast<std::time_t>(-1) || t.tm_mday != c.day || t.tm_mon != c.month - 1) {
    return kNoInstant;
  }
  return static_cast<std::int64_t>(at) * 1000;
}

void LocalReadings(const CivilTime& c, std::int64_t (&at)[2]) {
  for (int dst = 0; dst < 2; ++dst) {
    std::tm t = Fields(c, dst);
    const std::time_t when = std::mktime(&t);
    // Only a reading that keeps the time as given is one of its instants.
    at[dst] = when != static_cast<std::time_t>(-1) && t.tm_isdst == dst && t.tm_mday == c.day &&
                      t.tm_mon == c.month - 1 && t.tm_hour == c.hour && t.tm_min == c.minute
                  ? static_cast<std::int64_t>(when) * 1000
                  : kNoInstant;
  }
}

}  // namespace trelm

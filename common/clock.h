// A local date and time of day, and the clock that gives it: the real
// one in the programs, a virtual one in the tests. Portable.
#pragma once

namespace trelm {

struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
};

}  // namespace trelm

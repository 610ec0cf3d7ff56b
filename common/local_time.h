// A local date and time of day as the programs' clocks give it. Portable.
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

}  // namespace trelm

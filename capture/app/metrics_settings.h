// VARNET.INI [Metrics]: where the metrics file goes and how often it is
// written. Read only, never written back: without MetricsFile there is no
// metrics file, and the tool does what it always did. Portable.
#pragma once

#include <cstddef>
#include <cstdint>

#include "profile_access.h"

namespace varnet {

constexpr std::int32_t kMetricsSecondsDefault = 5;
constexpr std::int32_t kMetricsSecondsMost = 3600;
// The longest metrics file path: its temporary file ("<path>.tmp") must
// fit in Windows' paths too.
constexpr std::size_t kMetricsPathMost = 255;

struct MetricsSettings {
  // A full path ("c:\metrics\varnet.prom", "\\server\share\varnet.prom");
  // empty: no metrics file.
  char file[kMetricsPathMost + 1] = "";
  std::int32_t seconds = kMetricsSecondsDefault;
  // A line for the capture log about a setting not taken as it was given;
  // empty when there is none.
  char note[kMetricsPathMost + 200] = "";
};

// MetricsFile (absent or empty: none) and MetricsSeconds (absent or empty:
// 5). A MetricsSeconds that is no whole number from 1 to 3600 is taken as
// 5, and a MetricsFile that is no full path or is too long gives no
// metrics file; either with a note saying so. Nothing is said about
// MetricsSeconds when there is no metrics file.
void ReadMetricsSettings(trelm::ProfileReader& in, const char* ini, MetricsSettings& metrics);

}  // namespace varnet

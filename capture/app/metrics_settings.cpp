// Reading [Metrics]: the checks on each value and the note that says what
// was taken instead.
#include "app/metrics_settings.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "path_join.h"
#include "scan_int.h"

namespace varnet {

namespace {

// "c:\..." or "\\server\...".
bool FullPath(const char* path) {
  const bool drive = std::isalpha(static_cast<unsigned char>(path[0])) != 0 && path[1] == ':' &&
                     path[2] == '\\';
  const bool share = path[0] == '\\' && path[1] == '\\' && path[2] != '\0' && path[2] != '\\';
  return drive || share;
}

// A whole number from 1 to the most, and nothing after it.
bool SecondsFrom(const char* text, std::int32_t& seconds) {
  const char* end = nullptr;
  std::int32_t value = 0;
  if (!trelm::ScanInt(text, value, &end) || *trelm::SkipBlanks(end) != '\0') return false;
  if (value < 1 || value > kMetricsSecondsMost) return false;
  seconds = value;
  return true;
}

}  // namespace

void ReadMetricsSettings(trelm::ProfileReader& in, const char* ini, MetricsSettings& m) {
  m = MetricsSettings();
  // Read into a buffer longer than any path taken, so that a long one is
  // seen and refused rather than cut into another.
  char path[1024];
  in.ProfileRead("Metrics", "MetricsFile", "", path, sizeof path, ini);
  if (path[0] == '\0') return;
  if (std::strlen(path) > kMetricsPathMost) {
    std::snprintf(m.note, sizeof m.note,
                  "MetricsFile is longer than %u characters: no metrics file is written (%.120s...)",
                  static_cast<unsigned>(kMetricsPathMost), path);
    return;
  }
  if (!FullPath(path)) {
    std::snprintf(m.note, sizeof m.note,
                  "MetricsFile '%.255s' is not a full path (such as c:\\metrics\\varnet.prom): no "
                  "metrics file is written",
                  path);
    return;
  }
  trelm::CopyCut(path, m.file, sizeof m.file);
  char seconds[160];
  in.ProfileRead("Metrics", "MetricsSeconds", "", seconds, sizeof seconds, ini);
  if (seconds[0] != '\0' && !SecondsFrom(seconds, m.seconds)) {
    std::snprintf(m.note, sizeof m.note,
                  "MetricsSeconds '%.100s' is not a whole number from 1 to %d: taken as %d",
                  seconds, static_cast<int>(kMetricsSecondsMost),
                  static_cast<int>(kMetricsSecondsDefault));
  }
}

}  // namespace varnet

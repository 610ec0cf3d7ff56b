// Writing the metrics file on time, and the capture log lines about its
// failures: one when writing fails, one when it works again.
#include "app/metrics_file.h"

#include <cstdio>

namespace varnet {

namespace {
// The idle tick comes about once a second, sometimes early or late: a
// write due within half a second is made now rather than a tick later.
constexpr std::uint64_t kEarlyMs = 500;
}  // namespace

void MetricsFile::Restart() {
  written_ = false;
  failing_ = false;
}

bool MetricsFile::Due() const {
  if (!On()) return false;
  if (!written_) return true;
  const std::uint64_t every = static_cast<std::uint64_t>(settings_.seconds) * 1000;
  return clock_.Ticks() - lastWrite_ + kEarlyMs >= every;
}

void MetricsFile::Write(const RunFigures& figures) {
  if (!On()) return;
  written_ = true;
  lastWrite_ = clock_.Ticks();
  std::string why;
  const bool ok = files_.ReplaceWhole(settings_.file, RunFiguresText(figures), why);
  if (ok == !failing_) return;
  failing_ = !ok;
  char line[kMetricsPathMost + 400];
  if (ok) {
    std::snprintf(line, sizeof line, "Metrics file written again: '%s'", settings_.file);
  } else {
    std::snprintf(line, sizeof line, "Unable to write the metrics file '%s': %.200s",
                  settings_.file, why.c_str());
  }
  log_.WriteLogLine(line);
}

}  // namespace varnet

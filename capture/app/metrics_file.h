// The metrics file for a textfile collector: the run's figures as
// Prometheus text, replaced whole every MetricsSeconds (and at the start
// and the close), so that a collector never reads half of one. A failure
// is one capture log line until a write works again, which a line says;
// it never stops the tool. Portable: the file goes through the host's
// WholeFileWriter.
#pragma once

#include <cstdint>
#include <string>

#include "app/capture_log.h"
#include "app/metrics_settings.h"
#include "app/run_figures.h"
#include "app/whole_file_writer.h"

namespace varnet {

class MetricsFile {
 public:
  MetricsFile(WholeFileWriter& files, WorkstationClock& clock, const MetricsSettings& settings,
              CaptureLog& log)
      : files_(files), clock_(clock), settings_(settings), log_(log) {}

  bool On() const { return settings_.file[0] != '\0'; }
  // A new run: the first write is due at once, and its failure is said.
  void Restart();
  // Whether MetricsSeconds passed since the last write (the idle tick,
  // once a second: half a second early is on time).
  bool Due() const;
  // Writes the figures' text over the file.
  void Write(const RunFigures& figures);

  bool Failing() const { return failing_; }

 private:
  WholeFileWriter& files_;
  WorkstationClock& clock_;
  const MetricsSettings& settings_;
  CaptureLog& log_;
  bool written_ = false;  // a write was made in this run
  std::uint64_t lastWrite_ = 0;  // Ticks
  bool failing_ = false;
};

}  // namespace varnet

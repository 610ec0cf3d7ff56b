// The metrics file's text: one family for each figure, in a fixed order,
// with its help line saying what it counts.
#include "app/run_figures.h"

#include "core/metrics_text.h"
#include "wall_time.h"

namespace varnet {

namespace {

struct LossReason {
  const char* label;
  std::uint64_t RunLoss::*count;
};
// In the order of the capture log's close lines.
constexpr LossReason kLossReasons[] = {
    {"queue_full", &RunLoss::queueFull},   {"malformed", &RunLoss::malformed},
    {"channel_down", &RunLoss::channelDown}, {"replay", &RunLoss::replay},
    {"waiting_at_close", &RunLoss::waitingAtClose}, {"not_written", &RunLoss::notWritten},
};

// A FILETIME as a sample value; false before 1970 (a clock set far back),
// where no sample is written.
bool TimeValue(std::uint64_t filetime, std::string& value) {
  const std::int64_t ms = trelm::FiletimeMs(filetime);
  if (ms == trelm::kNoInstant) return false;
  value = SecondsValue(ms);
  return true;
}

void Counts(MetricsText& out, const RunCounts& counts) {
  out.Family("varnet_datagrams_received_total", MetricType::kCounter,
             "Datagrams received in this run and handed to the capture log and the decoders.");
  out.Sample(CountValue(counts.received));
  out.Family("varnet_datagrams_recorded_total", MetricType::kCounter,
             "Datagrams of this run whose records were written whole to the packet data files "
             "(PKT_).");
  out.Sample(CountValue(counts.recorded));
  out.Family("varnet_datagrams_lost_total", MetricType::kCounter,
             "Datagrams lost in this run, by reason, as the capture log's close lines count them.");
  for (const LossReason& reason : kLossReasons) {
    out.Sample("reason", reason.label, CountValue(counts.lost.*reason.count));
  }
  out.Family("varnet_log_lines_lost_total", MetricType::kCounter,
             "Capture log and error log lines of this run that could not be written.");
  out.Sample(CountValue(counts.linesLost));
}

void Times(MetricsText& out, const RunFigures& figures) {
  std::string value;
  if (TimeValue(figures.runStart, value)) {
    out.Family("varnet_run_start_time_seconds", MetricType::kGauge,
               "When this run of Varnet started, in seconds since 1970 UTC.");
    out.Sample(value);
  }
  if (figures.lastDatagram != 0 && TimeValue(figures.lastDatagram, value)) {
    out.Family("varnet_last_datagram_time_seconds", MetricType::kGauge,
               "When the last datagram of this run was received, in seconds since 1970 UTC.");
    out.Sample(value);
  }
  bool begun = false;
  for (int device = 1; device < kDevices; ++device) {
    if (figures.deviceHeard[device] == 0 || !TimeValue(figures.deviceHeard[device], value)) {
      continue;
    }
    if (!begun) {
      out.Family("varnet_device_last_heard_time_seconds", MetricType::kGauge,
                 "When a datagram for the device (a command or revertive of it) was last "
                 "received in this run, in seconds since 1970 UTC.");
      begun = true;
    }
    out.Sample("device", std::to_string(device), value);
  }
}

}  // namespace

std::string RunFiguresText(const RunFigures& figures) {
  MetricsText out;
  Counts(out, figures.counts);
  out.Family("varnet_channel_up", MetricType::kGauge,
             "1 while Varnet's channel is up, 0 while it is down and being reset.");
  out.Sample(figures.channelUp ? "1" : "0");
  Times(out, figures);
  out.Family("varnet_retention_deleted_files_total", MetricType::kCounter,
             "Hour files that retention deleted in this run.");
  out.Sample(CountValue(figures.retentionDeletedFiles));
  out.Family("varnet_retention_deleted_bytes_total", MetricType::kCounter,
             "Bytes of the hour files that retention deleted in this run.");
  out.Sample(CountValue(figures.retentionDeletedBytes));
  return out.Text();
}

}  // namespace varnet

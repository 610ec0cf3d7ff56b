// The run's figures that the metrics file carries: what the capture log
// counted (as its close lines say it), the channel's state, when the run
// started and when the last datagram and each device were heard, and what
// retention deleted. RunFiguresText gives them as Prometheus text, the
// metric names listed in the README ("Metrics for a scraper"). Portable.
#pragma once

#include <cstdint>
#include <string>

#include "core/capture_config.h"

namespace varnet {

// What the run lost, by reason, as the capture log's close lines count it.
struct RunLoss {
  std::uint64_t queueFull = 0;       // the wrapper dropped them: a name's queue was full
  std::uint64_t malformed = 0;       // payloads that were no datagrams
  std::uint64_t channelDown = 0;     // came while the channel was down
  std::uint64_t replay = 0;          // came while a replay ran
  std::uint64_t waitingAtClose = 0;  // still waited in the wrapper at the close (0 before it)
  std::uint64_t notWritten = 0;      // records that could not be written
};

// The capture log's counts of the run.
struct RunCounts {
  std::uint64_t received = 0;  // datagrams handed to the log and the decoders
  std::uint64_t recorded = 0;  // records written whole to the packet data files
  RunLoss lost;
  std::uint64_t linesLost = 0;  // capture log and error log lines not written
};

struct RunFigures {
  RunCounts counts;
  bool channelUp = false;
  // FILETIMEs (UTC, 100 ns since 1601); 0: not yet.
  std::uint64_t runStart = 0;
  std::uint64_t lastDatagram = 0;
  std::uint64_t deviceHeard[kDevices] = {};  // by device, 1 to 999
  // What retention deleted in this run (CaptureLog's counts).
  std::uint64_t retentionDeletedFiles = 0;
  std::uint64_t retentionDeletedBytes = 0;
};

// The figures as Prometheus text, each family once; the times as seconds
// since 1970 with milliseconds. The last datagram's time only once one
// came, a device's only once it was heard.
std::string RunFiguresText(const RunFigures& figures);

}  // namespace varnet

// The sample packet data file shipped for the README's examples
// (tools/pktdump/sample/PKT_20261209.10): an hour file of channel 7 written
// with PacketTimes=1, made from the traffic tool's mix. Portable.
#pragma once

#include <string>

namespace pktdump {

// The file's bytes. Two runs of the recorder: run 0 with sequences 1 to 120,
// 61 to 63 lost and two records in the order the two names' queues gave
// them, then run 1 (Varnet started again) with 1 to 40, all kept. A record
// every 20 ms from 2026-12-09 10:00:00 UTC, a minute's pause between runs.
std::string SampleCapture();

}  // namespace pktdump

// Writes a packet data file of N records of the traffic tool's mix, for
// the offline benchmarks and for captures of a known shape (tests, the
// report's sample). Without --start the records carry no arrival, as with
// PacketTimes off; with it they arrive RATE a second from START (seconds
// since 1970, UTC), numbered from 1, and the shapes apply (AT and SECONDS
// count from START):
//   --silent WS AT SECONDS   workstation WS sends no heartbeat for a while
//                            (its heartbeats become plain commands)
//   --burst AT SECONDS F     F times the rate for a while
//   --drop AT COUNT          COUNT datagrams lost: their numbers never recorded
//   --clock-set AT           a time-set revertive ("TS ..."), with the
//                            arrival's UTC time of day and 50 hundredths
//   --sequence N             the first record's number (default 1): a file
//                            that goes on from the hour before
//   --run TAG                the run tag the records carry (0 to 126; without
//                            it the marker of files written before tags)
// N is then the count of the channel's datagrams: the same N, START, RATE
// and channel shapes give every workstation's capture of one channel the
// same datagrams at the same times, and the capture shapes below make one
// capture differ from another (a truth the comparison of workstations is
// tested against). The shapes that take something away write fewer records.
// Of the channel (give them to every capture of it):
//   --mute DEVICE AT SECONDS the device sends no revertive for a while (by
//                            the decoders' device rule): they are not on
//                            the channel at all
// Of the capture (repeatable, except --offset, --from and --until):
//   --offset MS              the workstation's clock is MS ahead (or behind)
//   --lose AT COUNT          the wrapper's drops: COUNT datagrams from AT
//                            reached the wrapper and were not recorded (their
//                            numbers skipped: a sequence gap)
//   --miss AT SECONDS        the capture hears nothing for a while (a cable
//                            pulled, the system's drops): no record, no number
//   --pause AT SECONDS       the recorder is stopped for a while, and starts
//                            again as a new run (numbers from 1, the next
//                            tag with --run)
//   --from AT, --until AT    the recorder runs only from AT, or until AT
//   --duplicate AT COUNT     COUNT datagrams from AT are recorded twice
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core/packet_record.h"
#include "core/record_decoder.h"
#include "traffic_mix.h"
#include "wall_time.h"

namespace {

// A span of the schedule: from AT, for SECONDS or for COUNT datagrams.
struct Span {
  double at = 0, seconds = 0;
  long count = 0;
  int id = -1;    // --mute: the device
  long done = 0;  // datagrams it has taken so far
  bool Holds(double t) const { return t >= at && t < at + seconds; }
  // The next datagram at t is one of the COUNT from AT.
  bool Takes(double t) {
    if (t < at || done >= count) return false;
    ++done;
    return true;
  }
};

struct Shape {
  double start = -1, rate = 100;
  int silentWs = -1;
  double silentAt = 0, silentFor = 0;
  double burstAt = 0, burstFor = 0, burstFactor = 1;
  double dropAt = -1;
  long dropCount = 0;
  double clockAt = -1;
  std::uint32_t firstSequence = 1;
  int run = varnet::Arrival::kNoRunTag;
  // The channel's, and the capture's.
  std::vector<Span> mutes, loses, misses, pauses, duplicates;
  double offsetMs = 0, from = -1, until = -1;
};

int Usage() {
  std::fprintf(stderr,
               "usage: make_packets RECORDS FILE [--start SECONDS [--rate N] [--silent WS AT S]\n"
               "                    [--burst AT S FACTOR] [--drop AT COUNT] [--clock-set AT]\n"
               "                    [--sequence N] [--run TAG] [--mute DEVICE AT S] [--offset MS]\n"
               "                    [--lose AT COUNT] [--miss AT S] [--pause AT S] [--from AT]\n"
               "                    [--until AT] [--duplicate AT COUNT]]\n");
  return 2;
}

// The options after RECORDS FILE into the shape; false on a word it does
// not know or a value missing.
bool ReadShape(int argc, char** argv, Shape& shape) {
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    auto has = [&](int k) { return i + k < argc; };
    auto value = [&](int k) { return std::atof(argv[i + k]); };
    if (a == "--start" && has(1)) {
      shape.start = value(1);
      i += 1;
    } else if (a == "--rate" && has(1)) {
      shape.rate = value(1);
      i += 1;
    } else if (a == "--silent" && has(3)) {
      shape.silentWs = static_cast<int>(value(1));
      shape.silentAt = value(2);
      shape.silentFor = value(3);
      i += 3;
    } else if (a == "--burst" && has(3)) {
      shape.burstAt = value(1);
      shape.burstFor = value(2);
      shape.burstFactor = value(3);
      i += 3;
    } else if (a == "--drop" && has(2)) {
      shape.dropAt = value(1);
      shape.dropCount = static_cast<long>(value(2));
      i += 2;
    } else if (a == "--sequence" && has(1)) {
      shape.firstSequence = static_cast<std::uint32_t>(value(1));
      i += 1;
    } else if (a == "--run" && has(1)) {
      shape.run = static_cast<int>(value(1));
      if (shape.run < 0 || shape.run >= varnet::kRunTags) return false;
      i += 1;
    } else if (a == "--clock-set" && has(1)) {
      shape.clockAt = value(1);
      i += 1;
    } else if (a == "--mute" && has(3)) {
      Span s;
      s.id = static_cast<int>(value(1));
      s.at = value(2);
      s.seconds = value(3);
      shape.mutes.push_back(s);
      i += 3;
    } else if ((a == "--lose" || a == "--duplicate") && has(2)) {
      Span s;
      s.at = value(1);
      s.count = static_cast<long>(value(2));
      (a == "--lose" ? shape.loses : shape.duplicates).push_back(s);
      i += 2;
    } else if ((a == "--miss" || a == "--pause") && has(2)) {
      Span s;
      s.at = value(1);
      s.seconds = value(2);
      (a == "--miss" ? shape.misses : shape.pauses).push_back(s);
      i += 2;
    } else if ((a == "--offset" || a == "--from" || a == "--until") && has(1)) {
      (a == "--offset" ? shape.offsetMs : a == "--from" ? shape.from : shape.until) = value(1);
      i += 1;
    } else {
      return false;
    }
  }
  return shape.rate > 0 && shape.burstFactor > 0;
}

// Whether a revertive gives a line to the device, by the decoders' rule.
bool GivesLineTo(const std::vector<std::uint8_t>& bytes, int device) {
  static varnet::NullDecoderHost host;
  static varnet::RecordDecoder decoder(host, std::string());
  std::uint8_t buffer[varnet::kDatagramSize] = {};
  std::memcpy(buffer, bytes.data(), std::min(bytes.size(), varnet::kDatagramSize));
  varnet::RecordView view;
  view.type = varnet::kRecordRevertive;
  view.length = static_cast<std::uint16_t>(bytes.size());
  view.data = buffer;
  const varnet::DatagramFacts& facts = decoder.Decode(view);
  return std::find(facts.devices.begin(), facts.devices.end(), device) != facts.devices.end();
}

bool AnyHolds(const std::vector<Span>& spans, double t) {
  for (const Span& s : spans) {
    if (s.Holds(t)) return true;
  }
  return false;
}
bool AnyTakes(std::vector<Span>& spans, double t) {
  for (Span& s : spans) {
    if (s.Takes(t)) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const long count = std::atol(argv[1]);
  Shape shape;
  if (!ReadShape(argc, argv, shape)) return Usage();
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 1;
  trelm_traffic::Mix mix(trelm_traffic::Kind::Mix);
  std::vector<std::uint8_t> bytes;
  const bool timed = shape.start >= 0;
  double at = 0;  // seconds after the start
  std::uint32_t sequence = shape.firstSequence - 1;
  bool dropped = false, clockSet = false, paused = false;
  const auto offset = static_cast<std::int64_t>(shape.offsetMs * 1e4);
  auto write = [&](bool command, const std::vector<std::uint8_t>& data) {
    std::uint8_t buffer[varnet::kDatagramSize + 1] = {};
    std::memcpy(buffer, data.data(), std::min(data.size(), varnet::kDatagramSize));
    std::uint8_t record[varnet::kRecordSize];
    varnet::Arrival arrival;
    ++sequence;
    if (timed) {
      arrival.filetime =
          trelm::kFiletimeUnixEpoch + static_cast<std::uint64_t>((shape.start + at) * 1e7) + offset;
      arrival.sequence = sequence;
      arrival.run = shape.run;
    }
    varnet::BuildRecord(command ? varnet::kRecordCommand : varnet::kRecordRevertive, buffer,
                        static_cast<std::uint16_t>(data.size()), record,
                        timed ? &arrival : nullptr);
    std::fwrite(record, 1, sizeof record, out);
  };
  // Whether the capture records the channel's datagram at t (numbered or
  // not), as its shapes say.
  auto records = [&](bool command, const std::vector<std::uint8_t>& data) {
    if ((shape.from >= 0 && at < shape.from) || (shape.until >= 0 && at >= shape.until)) return;
    if (AnyHolds(shape.pauses, at)) {
      paused = true;
      return;
    }
    if (paused) {
      sequence = 0;  // a new run counts from 1, with a tag of its own
      if (shape.run != varnet::Arrival::kNoRunTag) shape.run = varnet::NextRunTag(shape.run);
    }
    paused = false;
    if (AnyHolds(shape.misses, at)) return;
    if (AnyTakes(shape.loses, at)) {
      ++sequence;
      return;
    }
    write(command, data);
    if (AnyTakes(shape.duplicates, at)) write(command, data);
  };
  for (long n = 0; n < count; ++n) {
    bool command = mix.Next(n, bytes);
    bool onChannel = true;
    if (timed) {
      if (!dropped && shape.dropAt >= 0 && at >= shape.dropAt) {
        sequence += static_cast<std::uint32_t>(shape.dropCount);
        dropped = true;
      }
      if (!clockSet && shape.clockAt >= 0 && at >= shape.clockAt) {
        const trelm::CivilTime t = trelm::UtcCivil(static_cast<std::int64_t>(shape.start + at));
        char text[64];
        std::snprintf(text, sizeof text, "TS %02d %02d %04d %02d %02d %02d 050", t.day, t.month,
                      t.year, t.hour, t.minute, t.second);
        write(false, std::vector<std::uint8_t>(text, text + std::strlen(text)));
        clockSet = true;
      }
      const bool heartbeat = !command && bytes.size() == 7 && bytes[0] == 'H' && bytes[1] == 'B';
      if (heartbeat && (bytes[5] | bytes[6] << 8) == shape.silentWs && at >= shape.silentAt &&
          at < shape.silentAt + shape.silentFor) {
        const char* quiet = "XP 1 1 1";
        bytes.assign(quiet, quiet + std::strlen(quiet));
        command = true;
      }
      for (const Span& m : shape.mutes) {
        if (!command && m.Holds(at) && GivesLineTo(bytes, m.id)) onChannel = false;
      }
    }
    if (onChannel) records(command, bytes);
    const bool burst = at >= shape.burstAt && at < shape.burstAt + shape.burstFor;
    at += 1.0 / (shape.rate * (burst ? shape.burstFactor : 1.0));
  }
  return std::fclose(out) == 0 ? 0 : 1;
}

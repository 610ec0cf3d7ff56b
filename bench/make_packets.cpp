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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core/packet_record.h"
#include "traffic_mix.h"
#include "wall_time.h"

namespace {

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
};

int Usage() {
  std::fprintf(stderr,
               "usage: make_packets RECORDS FILE [--start SECONDS [--rate N] [--silent WS AT S]\n"
               "                    [--burst AT S FACTOR] [--drop AT COUNT] [--clock-set AT]\n"
               "                    [--sequence N]]\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const long count = std::atol(argv[1]);
  Shape shape;
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](int k) { return i + k < argc ? std::atof(argv[i + k]) : 0.0; };
    if (a == "--start" && i + 1 < argc) {
      shape.start = value(1);
      i += 1;
    } else if (a == "--rate" && i + 1 < argc) {
      shape.rate = value(1);
      i += 1;
    } else if (a == "--silent" && i + 3 < argc) {
      shape.silentWs = static_cast<int>(value(1));
      shape.silentAt = value(2);
      shape.silentFor = value(3);
      i += 3;
    } else if (a == "--burst" && i + 3 < argc) {
      shape.burstAt = value(1);
      shape.burstFor = value(2);
      shape.burstFactor = value(3);
      i += 3;
    } else if (a == "--drop" && i + 2 < argc) {
      shape.dropAt = value(1);
      shape.dropCount = static_cast<long>(value(2));
      i += 2;
    } else if (a == "--sequence" && i + 1 < argc) {
      shape.firstSequence = static_cast<std::uint32_t>(value(1));
      i += 1;
    } else if (a == "--run" && i + 1 < argc) {
      shape.run = static_cast<int>(value(1));
      if (shape.run < 0 || shape.run >= varnet::kRunTags) return Usage();
      i += 1;
    } else if (a == "--clock-set" && i + 1 < argc) {
      shape.clockAt = value(1);
      i += 1;
    } else {
      return Usage();
    }
  }
  if (shape.rate <= 0 || shape.burstFactor <= 0) return Usage();
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 1;
  trelm_traffic::Mix mix(trelm_traffic::Kind::Mix);
  std::vector<std::uint8_t> bytes;
  const bool timed = shape.start >= 0;
  double at = 0;  // seconds after the start
  std::uint32_t sequence = shape.firstSequence - 1;
  bool dropped = false, clockSet = false;
  auto write = [&](bool command, const std::vector<std::uint8_t>& data) {
    std::uint8_t buffer[varnet::kDatagramSize + 1] = {};
    std::memcpy(buffer, data.data(), std::min(data.size(), varnet::kDatagramSize));
    std::uint8_t record[varnet::kRecordSize];
    varnet::Arrival arrival;
    ++sequence;
    if (timed) {
      arrival.filetime = trelm::kFiletimeUnixEpoch + static_cast<std::uint64_t>((shape.start + at) * 1e7);
      arrival.sequence = sequence;
      arrival.run = shape.run;
    }
    varnet::BuildRecord(command ? varnet::kRecordCommand : varnet::kRecordRevertive, buffer,
                        static_cast<std::uint16_t>(data.size()), record, timed ? &arrival : nullptr);
    std::fwrite(record, 1, sizeof record, out);
  };
  for (long n = 0; n < count; ++n) {
    bool command = mix.Next(n, bytes);
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
    }
    write(command, bytes);
    const bool burst = at >= shape.burstAt && at < shape.burstAt + shape.burstFor;
    at += 1.0 / (shape.rate * (burst ? shape.burstFactor : 1.0));
  }
  return std::fclose(out) == 0 ? 0 : 1;
}

// nbtraffic send: datagrams onto a channel's group names (or one name),
// from a generated mix, a numbered text or a packet data file, at a rate or
// at the pace they were recorded. Pauses are bounded by the clock: a
// recorded pace never sleeps for longer than --max-pause at a time, and no
// wait goes past --seconds.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "core/input_file.h"
#include "core/packet_file.h"
#include "core/packet_record.h"
#include "net/nbdgm.h"
#include "traffic_link.h"
#include "traffic_mix.h"

namespace nbtraffic {

namespace {

struct Outgoing {
  bool command = true;
  std::vector<std::uint8_t> data;
  bool timed = false;
  std::uint64_t filetime = 0;  // when it arrived, for records that carry it
};

// The datagrams of a packet data file, read with the packet file's own
// reader and said in its words after "nbtraffic: PATH: ". A file cut inside
// a record (a run that stopped while it wrote) gives its whole records and
// is said; a record that is not fit refuses the file. False with a message
// when there is nothing to send.
bool ReadPacketFile(const std::string& path, std::vector<Outgoing>& out) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    std::fprintf(stderr, "nbtraffic: %s: cannot be read: %s\n", path.c_str(), SystemReason(errno).c_str());
    return false;
  }
  if ((info.st_mode & S_IFMT) == S_IFDIR) {
    std::fprintf(stderr, "nbtraffic: %s: cannot be read: it is a directory\n", path.c_str());
    return false;
  }
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    std::fprintf(stderr, "nbtraffic: %s: cannot be read: %s\n", path.c_str(), SystemReason(errno).c_str());
    return false;
  }
  varnet::PacketReader reader(in);
  bool ok = true;
  for (bool more = true; more;) {
    varnet::RecordView r;
    switch (reader.Next(r)) {
      case varnet::PacketReader::Status::Record:
        out.push_back({r.type == varnet::kRecordCommand, {r.data, r.data + r.length}, r.timed,
                       r.arrival.filetime});
        break;
      case varnet::PacketReader::Status::End:
        more = false;
        break;
      case varnet::PacketReader::Status::Cut:
        // Damage, not a reason to refuse the whole records before it.
        std::fprintf(stderr, "nbtraffic: %s: %s\n", path.c_str(), reader.Fault().c_str());
        more = false;
        break;
      case varnet::PacketReader::Status::Bad:
      case varnet::PacketReader::Status::Failed:
        std::fprintf(stderr, "nbtraffic: %s: %s\n", path.c_str(), reader.Fault().c_str());
        ok = false;
        more = false;
        break;
    }
  }
  std::fclose(in);
  if (ok && out.empty() && reader.Rest() == 0) {
    std::fprintf(stderr, "nbtraffic: %s: %s\n", path.c_str(), varnet::EmptyText().c_str());
  }
  return ok && !out.empty();
}

// The recorded pace: each record's wait after the one before, its arrival
// less the last arrival seen, divided by the speed and cut to the longest
// pause. A record without its time, or one that arrived before the one
// before (a clock set back, a second run, the next pass of the file), goes
// at once.
class RecordedPace {
 public:
  RecordedPace(double speed, double maxPause) : speed_(speed), maxPause_(maxPause) {}
  // Seconds after the start that the record is due.
  double Due(const Outgoing& g) {
    if (!g.timed) return due_;
    if (seen_ && g.filetime > last_) {
      const double pause = static_cast<double>(g.filetime - last_) / 1e7 / speed_;
      due_ += std::min(pause, maxPause_);
    }
    last_ = g.filetime;
    seen_ = true;
    return due_;
  }

 private:
  double speed_, maxPause_;
  double due_ = 0;
  std::uint64_t last_ = 0;
  bool seen_ = false;
};

}  // namespace

int Send(const Options& o) {
  std::vector<Outgoing> fromFile;
  if (!o.file.empty() && !ReadPacketFile(o.file, fromFile)) return 1;
  if (o.recordedPace && !fromFile.front().timed) {
    std::fprintf(stderr,
                 "nbtraffic: %s: its records carry no arrival times (written with PacketTimes=1): "
                 "there is no recorded pace\n",
                 o.file.c_str());
    return 1;
  }
  velknb::Transport transport;
  if (!OpenTransport(o, transport, false)) return 1;

  const std::string commands = ChannelName("DEVICE_CONTROL", o.channel);
  const std::string revertives = ChannelName("ORM", o.channel);
  velknb::Datagram d;
  std::memcpy(d.sourceIp, transport.InterfaceBytes(), 4);
  d.sourcePort = transport.Port();
  velknb::PadName(o.from.c_str(), d.source);

  // --count bounds the datagrams, --seconds the time, whichever ends first;
  // with neither, one datagram or the file once.
  long total = o.count;
  if (total < 0 && o.seconds <= 0) total = !o.file.empty() ? static_cast<long>(fromFile.size()) : 1;
  const bool timed = o.seconds > 0;
  const auto start = Clock::now();
  const auto deadline = After(start, o.seconds);
  std::uint8_t payload[velknb::kMaxDatagram];
  std::vector<std::uint8_t> generated;
  long sent = 0, failed = 0;
  int code = 0;
  trelm_traffic::Mix mix(o.kind);
  RecordedPace pace(o.speed, o.maxPause);
  for (long n = 0; total < 0 || n < total; ++n) {
    if (timed && Clock::now() >= deadline) break;
    const Outgoing* record = fromFile.empty() ? nullptr : &fromFile[static_cast<std::size_t>(n) % fromFile.size()];
    double due = -1;
    if (o.recordedPace) {
      due = pace.Due(*record);
    } else if (o.rate > 0) {
      due = n / o.rate;  // paced against the start, so that the average rate holds
    }
    if (due > 0) {
      auto when = After(start, due);
      if (timed) when = std::min(when, deadline);
      if (when > Clock::now()) std::this_thread::sleep_until(when);
      if (timed && Clock::now() >= deadline) break;
    }
    bool command = true;
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    std::string text;
    if (record != nullptr) {
      command = record->command;
      data = record->data.data();
      length = record->data.size();
    } else if (o.Has("--text")) {
      const long long number = static_cast<long long>(o.first) + n;
      text = NumberedText(o.text, number);
      if (text.size() > velknb::kMaxUserData) {
        std::fprintf(stderr, "nbtraffic: the text of datagram %lld is longer than a datagram carries "
                     "(%zu bytes, at most 512): not sent\n", number, text.size());
        code = 1;
        break;
      }
      command = o.kind != trelm_traffic::Kind::Revertives;
      if (o.kind == trelm_traffic::Kind::Mix) command = number % 2 != 0;
      data = reinterpret_cast<const std::uint8_t*>(text.data());
      length = text.size();
    } else {
      command = mix.Next(n, generated);
      data = generated.data();
      length = generated.size();
    }
    const std::string& dest = !o.to.empty() ? o.to : command ? commands : revertives;
    velknb::PadName(dest.c_str(), d.destination);
    d.id = static_cast<std::uint16_t>(n + 1);
    d.data = data;
    d.length = length;
    const std::size_t size = velknb::BuildDatagram(d, payload, sizeof payload);
    if (size != 0 && transport.Send(payload, size)) {
      ++sent;
    } else {
      ++failed;
    }
  }
  const double s = std::chrono::duration<double>(Clock::now() - start).count();
  if (!o.quiet || failed != 0) {
    std::printf("sent %ld datagrams in %.2f s (%.0f per second), %ld failed\n", sent, s,
                s > 0 ? sent / s : 0.0, failed);
  }
  return failed != 0 ? 1 : code;
}

}  // namespace nbtraffic

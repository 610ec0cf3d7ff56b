// nbtraffic listen: every datagram addressed to one of the names, printed
// as a line or recorded as a packet data file's timed records, appended as
// a new run.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
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
#include "core/packet_dump.h"
#include "core/packet_file.h"
#include "core/packet_record.h"
#include "net/nbdgm.h"
#include "traffic_link.h"
#include "wall_time.h"

namespace nbtraffic {

namespace {

// The time now: a Windows FILETIME (100 ns since 1601, UTC) for records,
// and the local time of day for lines.
struct Now {
  std::uint64_t filetime = 0;
  char stamp[16] = "";
};

Now TakeNow() {
  const auto now = std::chrono::system_clock::now();
  const auto ticks = std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(
                         now.time_since_epoch()).count();
  Now n;
  n.filetime = static_cast<std::uint64_t>(ticks) + trelm::kFiletimeUnixEpoch;
  const std::int64_t ms = trelm::FloorDiv(ticks, 10000);
  const std::tm local = trelm::LocalParts(ms);
  std::snprintf(n.stamp, sizeof n.stamp, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(ms - trelm::FloorDiv(ms, 1000) * 1000));
  return n;
}

void PrintDatagram(std::FILE* out, const velknb::Datagram& d, const Now& now, const Options& o) {
  char dest[velknb::kNameSize + 1], source[velknb::kNameSize + 1];
  velknb::NameText(d.destination, dest);
  velknb::NameText(d.source, source);
  std::string text;
  char part[8];
  for (std::size_t i = 0; i < d.length; ++i) {
    const std::uint8_t c = d.data[i];
    if (o.hex) {
      std::snprintf(part, sizeof part, i == 0 ? "%02x" : " %02x", c);
      text += part;
    } else if (c >= 0x20 && c < 0x7F && c != '\\') {
      text += static_cast<char>(c);
    } else {
      std::snprintf(part, sizeof part, "\\x%02x", c);
      text += part;
    }
  }
  std::fprintf(out, "%s%s%s <- %s %zu: %s\n", o.stamped ? now.stamp : "", o.stamped ? " " : "", dest,
               source, d.length, text.c_str());
  std::fflush(out);
}

// The run tag for records appended to a packet data file: the tag after
// the last tagged record's, the first tag when none is tagged. False with
// a message when the file is there but no whole packet data file.
bool NextRun(const std::string& path, int* tag) {
  *tag = varnet::NextRunTag(varnet::Arrival::kNoRunTag);
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return true;
    std::fprintf(stderr, "nbtraffic: %s cannot be read: %s\n", path.c_str(), SystemReason(errno).c_str());
    return false;
  }
  if ((info.st_mode & S_IFMT) == S_IFDIR) {
    std::fprintf(stderr, "nbtraffic: %s cannot be written: it is a directory\n", path.c_str());
    return false;
  }
  if ((info.st_mode & S_IFMT) != S_IFREG) return true;  // a pipe or a device: a new file
  const std::string size = varnet::SizeFault(static_cast<std::uint64_t>(info.st_size));
  if (!size.empty()) {
    std::fprintf(stderr, "nbtraffic: %s: %s; nothing is appended to it\n", path.c_str(), size.c_str());
    return false;
  }
  std::unique_ptr<varnet::InputFile> in = varnet::OpenStdioInput(path.c_str(), false);
  if (in == nullptr) {
    std::fprintf(stderr, "nbtraffic: %s cannot be read: %s\n", path.c_str(), SystemReason(errno).c_str());
    return false;
  }
  std::uint8_t record[varnet::kRecordSize];
  bool ok = true;
  for (std::int64_t n = static_cast<std::int64_t>(info.st_size / varnet::kRecordSize); n > 0; --n) {
    if (!in->Seek((n - 1) * static_cast<std::int64_t>(varnet::kRecordSize)) ||
        in->Read(record, sizeof record) != sizeof record) {
      std::fprintf(stderr, "nbtraffic: %s cannot be read: %s\n", path.c_str(), SystemReason(errno).c_str());
      ok = false;
      break;
    }
    varnet::RecordView r;
    varnet::ReadRecord(record, sizeof record, r);
    if (r.timed && r.arrival.run != varnet::Arrival::kNoRunTag) {
      *tag = varnet::NextRunTag(r.arrival.run);
      break;
    }
  }
  return ok;
}

}  // namespace

int Listen(const Options& o) {
  std::vector<std::vector<std::uint8_t>> names;
  for (const std::string& n : o.names) {
    names.emplace_back(velknb::kNameSize);
    velknb::PadName(n.c_str(), names.back().data());
  }
  const bool toStdout = o.out.empty() || o.out == "-";
  int run = varnet::NextRunTag(varnet::Arrival::kNoRunTag);
  if (o.packets && !toStdout && !NextRun(o.out, &run)) return 1;
  // The end of the last whole record of a packet data file appended to: a
  // record that cannot be written whole is taken back to it, so that the
  // file stays one that every reader takes.
  long long whole = -1;
  if (o.packets && !toStdout) {
    struct stat info {};
    if (stat(o.out.c_str(), &info) == 0) {
      if ((info.st_mode & S_IFMT) == S_IFREG) whole = info.st_size;
    } else if (errno == ENOENT) {
      whole = 0;
    }
  }
  long recorded = 0;
  std::FILE* out = stdout;
  if (!toStdout && (out = std::fopen(o.out.c_str(), o.packets ? "ab" : "w")) == nullptr) {
    std::fprintf(stderr, "nbtraffic: %s cannot be written: %s\n", o.out.c_str(), SystemReason(errno).c_str());
    return 1;
  }
#ifdef _WIN32
  if (toStdout && o.packets) _setmode(_fileno(stdout), _O_BINARY);
#endif
  velknb::Transport transport;
  if (!OpenTransport(o, transport, true)) {
    if (out != stdout) std::fclose(out);
    return 1;
  }
  // Ready: what is sent from now on is heard. A text output starts with the
  // line; where the output is not the standard output (a file, or a packet
  // data file, which holds nothing but records) the standard error says it,
  // where a script waits for it.
  if (!o.packets) {
    std::fprintf(out, "listening on LANA %d\n", o.lana);
    std::fflush(out);
  }
  if (o.packets || !toStdout) {
    std::fprintf(stderr, "listening on LANA %d\n", o.lana);
    std::fflush(stderr);
  }
  const auto start = Clock::now();
  const auto deadline = After(start, o.seconds);
  std::vector<std::uint8_t> buffer(65536);
  long heard = 0, malformed = 0, cut = 0;
  bool written = true;
  while (written && (o.count < 0 || heard < o.count)) {
    int wait = 200;
    if (o.seconds > 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      if (left < wait) wait = static_cast<int>(left) + 1;
    }
    const long got = transport.Receive(buffer.data(), buffer.size(), wait);
    if (got <= 0) continue;
    const Now now = TakeNow();
    velknb::Datagram d;
    if (velknb::ParseDatagram(buffer.data(), static_cast<std::size_t>(got), d) !=
        velknb::ParseResult::Ok) {
      ++malformed;
      continue;
    }
    for (const auto& name : names) {
      if (std::memcmp(name.data(), d.destination, velknb::kNameSize) != 0) continue;
      ++heard;
      if (o.packets) {
        std::uint8_t data[varnet::kDatagramSize + 1] = {};
        // As the capture tool records it: a datagram longer than its
        // buffer is cut, and counted here.
        const std::size_t length = std::min(d.length, varnet::kDatagramSize);
        if (length < d.length) ++cut;
        std::memcpy(data, d.data, length);
        varnet::Arrival arrival;
        arrival.filetime = now.filetime;
        arrival.sequence = static_cast<std::uint32_t>(heard);
        arrival.run = run;
        std::uint8_t record[varnet::kRecordSize];
        const bool revertive = std::memcmp(d.destination, "ORM", 3) == 0;
        varnet::BuildRecord(revertive ? varnet::kRecordRevertive : varnet::kRecordCommand, data,
                            static_cast<std::uint16_t>(length), record, &arrival);
        written = std::fwrite(record, 1, sizeof record, out) == sizeof record && std::fflush(out) == 0;
        if (written) ++recorded;
      } else {
        PrintDatagram(out, d, now, o);
        written = std::ferror(out) == 0;
      }
      break;
    }
  }
  std::fprintf(stderr, "nbtraffic: %ld datagrams heard, %ld malformed payloads\n", heard,
               malformed);
  if (cut != 0) {
    std::fprintf(stderr, "nbtraffic: %ld datagrams longer than 512 bytes were recorded cut to 512\n", cut);
  }
  // A datagram that could not be written is not reported as heard in silence.
  bool ok = written && std::fflush(out) == 0 && std::ferror(out) == 0;
  if (out != stdout) ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "nbtraffic: %s cannot be written (disk full?)\n",
                 toStdout ? "the output" : o.out.c_str());
    if (whole >= 0) {
      std::error_code cut;
      std::filesystem::resize_file(o.out, static_cast<std::uintmax_t>(whole) +
                                              static_cast<std::uintmax_t>(recorded) * varnet::kRecordSize,
                                   cut);
      std::fprintf(stderr, "nbtraffic: %s: %ld of the datagrams heard are recorded%s\n", o.out.c_str(),
                   recorded, cut ? (", and a part of the next record is left: " + cut.message()).c_str()
                                 : "; no part of a record is left");
    }
    return 1;
  }
  return 0;
}

}  // namespace nbtraffic

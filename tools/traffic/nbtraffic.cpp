// nbtraffic: sends commands and revertives onto a channel's group names,
// and listens on names and prints what arrives, speaking our wrapper's
// transport directly (no wrapper library needed). Runs natively on Linux
// and on Windows.
//
//   nbtraffic send [--channel N] [--lana N] [--to NAME] [--from NAME]
//                  [--commands | --revertives | --mix] [--text TEXT]
//                  [--file PKT_FILE] [--count N] [--first N]
//                  [--rate PER_SECOND | --pace recorded [--speed F]]
//                  [--seconds S] [--quiet]
//   nbtraffic listen --name NAME [--name NAME ...] [--lana N]
//                  [--seconds S] [--count N] [--hex] [--out FILE]
//
// send: commands go to "DEVICE_CONTROL<n>", revertives to "ORM<n>" (the
// plain names for channel 0). --text sends that text (a %d in it becomes
// the datagram's number, from 1 or --first; with --mix, odd numbers go as
// commands and even ones as revertives); --file sends a packet data file's records
// (type 1 as commands, type 2 as revertives); otherwise a realistic mix is
// generated. --rate 0 (the default) sends as fast as possible; --pace
// recorded sends a file's records at the pace they arrived (records written
// with PacketTimes=1), --speed times as fast.
// listen: prints one line per datagram addressed to one of the names:
//   <destination> <- <source> <length>: <text>
// with bytes outside printable ASCII as \xNN (--hex: all bytes in hex), on
// the standard output or into FILE.
// The transport's settings come from VELKNB_INTERFACE, VELKNB_GROUP and
// VELKNB_BASEPORT.
#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/packet_dump.h"
#include "core/packet_record.h"
#include "nbdgm.h"
#include "traffic_mix.h"
#include "transport.h"
#include "trelm_version.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::string mode;
  int channel = 0;
  int lana = 0;
  std::string to;
  std::string from = "NBTRAFFIC";
  trelm_traffic::Kind kind = trelm_traffic::Kind::Mix;
  std::string text;
  bool haveText = false;
  std::string file;
  long count = -1;
  long first = 1;
  double rate = 0;
  bool recordedPace = false;
  double speed = 1;
  double seconds = 0;
  bool quiet = false;
  bool hex = false;
  std::string out;
  std::vector<std::string> names;
};

int Usage(const char* why) {
  std::fprintf(stderr,
               "nbtraffic: %s\n"
               "usage: nbtraffic send [--channel N] [--lana N] [--to NAME] [--from NAME]\n"
               "                      [--commands|--revertives|--mix] [--text TEXT]\n"
               "                      [--file PKT_FILE] [--count N] [--first N]\n"
               "                      [--rate PER_SECOND | --pace recorded [--speed F]]\n"
               "                      [--seconds S] [--quiet]\n"
               "       nbtraffic listen --name NAME [--name NAME ...] [--lana N]\n"
               "                      [--seconds S] [--count N] [--hex] [--out FILE]\n"
               "       nbtraffic --version\n",
               why);
  return 2;
}

bool Parse(int argc, char** argv, Options& o, std::string& error) {
  if (argc < 2) {
    error = "no mode given";
    return false;
  }
  o.mode = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) {
        error = std::string(what) + " needs a value";
        return nullptr;
      }
      return argv[++i];
    };
    const char* v = nullptr;
    if (a == "--channel" && (v = value("--channel"))) o.channel = std::atoi(v);
    else if (a == "--lana" && (v = value("--lana"))) o.lana = std::atoi(v);
    else if (a == "--to" && (v = value("--to"))) o.to = v;
    else if (a == "--from" && (v = value("--from"))) o.from = v;
    else if (a == "--name" && (v = value("--name"))) o.names.push_back(v);
    else if (a == "--text" && (v = value("--text"))) { o.text = v; o.haveText = true; }
    else if (a == "--file" && (v = value("--file"))) o.file = v;
    else if (a == "--out" && (v = value("--out"))) o.out = v;
    else if (a == "--count" && (v = value("--count"))) o.count = std::atol(v);
    else if (a == "--first" && (v = value("--first"))) o.first = std::atol(v);
    else if (a == "--rate" && (v = value("--rate"))) o.rate = std::atof(v);
    else if (a == "--seconds" && (v = value("--seconds"))) o.seconds = std::atof(v);
    else if (a == "--pace" && (v = value("--pace"))) {
      if (std::string(v) != "recorded" && std::string(v) != "rate") {
        error = "--pace is recorded or rate, not '" + std::string(v) + "'";
      }
      o.recordedPace = std::string(v) == "recorded";
    } else if (a == "--speed" && (v = value("--speed"))) {
      o.speed = std::atof(v);
      if (!(o.speed > 0)) error = "--speed is a factor above 0, not '" + std::string(v) + "'";
    }
    else if (a == "--commands") o.kind = trelm_traffic::Kind::Commands;
    else if (a == "--revertives") o.kind = trelm_traffic::Kind::Revertives;
    else if (a == "--mix") o.kind = trelm_traffic::Kind::Mix;
    else if (a == "--quiet") o.quiet = true;
    else if (a == "--hex") o.hex = true;
    else {
      if (error.empty()) error = "unknown argument " + a;
      return false;
    }
    if (!error.empty()) return false;
  }
  return true;
}

std::string NumberedText(const std::string& pattern, long number) {
  // The text is never used as a format: only "%d" (with flags and a width,
  // as in "%03d") becomes the number and "%%" a '%'; any other '%' (a "%s"
  // in a command, say) goes out as it stands.
  std::string text;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      text += pattern[i];
      continue;
    }
    if (pattern.compare(i, 2, "%%") == 0) {
      text += '%';
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    while (end < pattern.size() && std::strchr("-+ 0#", pattern[end]) != nullptr) ++end;
    while (end < pattern.size() && end - i < 8 && std::isdigit(static_cast<unsigned char>(pattern[end]))) ++end;
    if (end < pattern.size() && pattern[end] == 'd') {
      char spec[16];
      char digits[64];
      std::snprintf(spec, sizeof spec, "%sld", pattern.substr(i, end - i).c_str());
      std::snprintf(digits, sizeof digits, spec, number);
      text += digits;
      i = end;
    } else {
      text += '%';
    }
  }
  if (text.size() > velknb::kMaxUserData) text.resize(velknb::kMaxUserData);
  return text;
}

std::string ChannelName(const char* base, int channel) {
  return channel >= 1 && channel <= 99 ? base + std::to_string(channel) : std::string(base);
}

bool OpenTransport(const Options& o, velknb::Transport& t, bool receives) {
  velknb::TransportSettings settings;
  velknb::ApplyEnvironment(settings);
  std::string error;
  if (!t.Open(settings, o.lana, &error, receives)) {
    std::fprintf(stderr, "nbtraffic: LANA %d cannot be opened: %s\n", o.lana, error.c_str());
    return false;
  }
  return true;
}

struct Outgoing {
  bool command = true;
  std::vector<std::uint8_t> data;
  bool timed = false;
  std::uint64_t filetime = 0;  // when it arrived, for records that carry it
};

// The datagrams of a packet data file; false with a message when it is not one.
bool ReadPacketFile(const std::string& path, std::vector<Outgoing>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "nbtraffic: %s cannot be read\n", path.c_str());
    return false;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  const std::string size = varnet::SizeFault(bytes.size());
  if (!size.empty()) {
    std::fprintf(stderr, "nbtraffic: %s: %s\n", path.c_str(), size.c_str());
    return false;
  }
  for (std::size_t at = 0; at < bytes.size(); at += varnet::kRecordSize) {
    varnet::RecordView r;
    varnet::ReadRecord(bytes.data() + at, bytes.size() - at, r);
    const std::string fault = varnet::RecordFault(r);
    if (!fault.empty()) {
      std::fprintf(stderr, "nbtraffic: %s: record %zu has %s\n", path.c_str(),
                   at / varnet::kRecordSize + 1, fault.c_str());
      return false;
    }
    out.push_back({r.type == varnet::kRecordCommand, {r.data, r.data + r.length}, r.timed,
                   r.arrival.filetime});
  }
  return true;
}

int Send(const Options& o) {
  std::vector<Outgoing> fromFile;
  if (!o.file.empty() && !ReadPacketFile(o.file, fromFile)) return 1;
  if (o.recordedPace && (fromFile.empty() || !fromFile.front().timed)) {
    std::fprintf(stderr,
                 "nbtraffic: %s: its records carry no arrival times (written with PacketTimes=1): "
                 "there is no recorded pace\n",
                 o.file.c_str());
    return 1;
  }
  // The recorded pace: each record after the first's arrival, a pass of the
  // file after the one before.
  const std::uint64_t firstTime = fromFile.empty() ? 0 : fromFile.front().filetime;
  std::uint64_t span = 0;
  for (const Outgoing& g : fromFile) {
    if (g.timed && g.filetime > firstTime) span = std::max(span, g.filetime - firstTime);
  }
  velknb::Transport transport;
  if (!OpenTransport(o, transport, false)) return 1;

  const std::string commands = ChannelName("DEVICE_CONTROL", o.channel);
  const std::string revertives = ChannelName("ORM", o.channel);
  velknb::Datagram d;
  std::memcpy(d.sourceIp, transport.InterfaceBytes(), 4);
  d.sourcePort = transport.Port();
  velknb::PadName(o.from.c_str(), d.source);

  long total = o.count;
  if (total < 0) total = !o.file.empty() ? static_cast<long>(fromFile.size()) : 1;
  const bool timed = o.seconds > 0;
  const auto start = Clock::now();
  std::uint8_t payload[velknb::kMaxDatagram];
  std::vector<std::uint8_t> generated;
  long sent = 0, failed = 0;
  trelm_traffic::Mix mix(o.kind);
  for (long n = 0;; ++n) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (timed ? elapsed >= o.seconds : n >= total) break;
    if (o.recordedPace) {
      const std::size_t at = static_cast<std::size_t>(n) % fromFile.size();
      const Outgoing& g = fromFile[at];
      const std::uint64_t pass = static_cast<std::uint64_t>(n) / fromFile.size();
      // A record without its time, or one that arrived before the first,
      // goes right after the one before.
      if (g.timed && g.filetime >= firstTime) {
        const double after = (pass * span + (g.filetime - firstTime)) / 1e7 / o.speed;
        const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(after));
        if (due > Clock::now()) std::this_thread::sleep_until(due);
      }
    } else if (o.rate > 0) {
      // Paced against the start, so that the average rate holds.
      const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(n / o.rate));
      if (due > Clock::now()) std::this_thread::sleep_until(due);
    }
    bool command = true;
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    std::string text;
    if (!fromFile.empty()) {
      const Outgoing& g = fromFile[static_cast<std::size_t>(n) % fromFile.size()];
      command = g.command;
      data = g.data.data();
      length = g.data.size();
    } else if (o.haveText) {
      const long number = o.first + n;
      text = NumberedText(o.text, number);
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
  return failed == 0 ? 0 : 1;
}

void PrintDatagram(std::FILE* out, const velknb::Datagram& d, bool hex) {
  char dest[velknb::kNameSize + 1], source[velknb::kNameSize + 1];
  velknb::NameText(d.destination, dest);
  velknb::NameText(d.source, source);
  std::string text;
  char part[8];
  for (std::size_t i = 0; i < d.length; ++i) {
    const std::uint8_t c = d.data[i];
    if (hex) {
      std::snprintf(part, sizeof part, i == 0 ? "%02x" : " %02x", c);
      text += part;
    } else if (c >= 0x20 && c < 0x7F && c != '\\') {
      text += static_cast<char>(c);
    } else {
      std::snprintf(part, sizeof part, "\\x%02x", c);
      text += part;
    }
  }
  std::fprintf(out, "%s <- %s %zu: %s\n", dest, source, d.length, text.c_str());
  std::fflush(out);
}

int Listen(const Options& o) {
  if (o.names.empty()) return Usage("listen needs --name");
  std::vector<std::vector<std::uint8_t>> names;
  for (const std::string& n : o.names) {
    names.emplace_back(velknb::kNameSize);
    velknb::PadName(n.c_str(), names.back().data());
  }
  std::FILE* out = stdout;
  if (!o.out.empty() && (out = std::fopen(o.out.c_str(), "w")) == nullptr) {
    std::fprintf(stderr, "nbtraffic: %s cannot be written\n", o.out.c_str());
    return 1;
  }
  velknb::Transport transport;
  if (!OpenTransport(o, transport, true)) return 1;
  std::fprintf(out, "listening on LANA %d\n", o.lana);
  std::fflush(out);
  const auto start = Clock::now();
  std::vector<std::uint8_t> buffer(65536);
  long heard = 0, malformed = 0;
  while (o.count < 0 || heard < o.count) {
    int wait = 200;
    if (o.seconds > 0) {
      const double left = o.seconds - std::chrono::duration<double>(Clock::now() - start).count();
      if (left <= 0) break;
      if (left * 1000 < wait) wait = static_cast<int>(left * 1000) + 1;
    }
    const long got = transport.Receive(buffer.data(), buffer.size(), wait);
    if (got <= 0) continue;
    velknb::Datagram d;
    if (velknb::ParseDatagram(buffer.data(), static_cast<std::size_t>(got), d) !=
        velknb::ParseResult::Ok) {
      ++malformed;
      continue;
    }
    bool written = true;
    for (const auto& name : names) {
      if (std::memcmp(name.data(), d.destination, velknb::kNameSize) == 0) {
        PrintDatagram(out, d, o.hex);
        written = std::ferror(out) == 0;
        ++heard;
        break;
      }
    }
    if (!written) break;
  }
  std::fprintf(stderr, "nbtraffic: %ld datagrams heard, %ld malformed payloads\n", heard,
               malformed);
  // A datagram that could not be written is not reported as heard in silence.
  bool ok = std::fflush(out) == 0 && std::ferror(out) == 0;
  if (out != stdout) ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "nbtraffic: %s cannot be written (disk full?)\n",
                 o.out.empty() ? "the output" : o.out.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("nbtraffic %s (Trelm workstation toolset)\n", TRELM_VERSION);
    return 0;
  }
  Options o;
  std::string error;
  if (!Parse(argc, argv, o, error)) return Usage(error.c_str());
  if (o.recordedPace && o.file.empty()) return Usage("--pace recorded needs --file");
  if (o.mode == "send") return Send(o);
  if (o.mode == "listen") return Listen(o);
  return Usage("the mode is send or listen");
}

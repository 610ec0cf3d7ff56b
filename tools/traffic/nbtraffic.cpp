// nbtraffic: sends commands and revertives onto a channel's group names,
// and listens on names and prints or records what arrives, speaking our
// wrapper's transport directly (no wrapper library needed). Runs natively
// on Linux and on Windows. `nbtraffic --help` describes every option
// (kHelp below).
//
// Every option is checked before anything is opened: a value out of range,
// options that contradict each other, a name or text longer than the
// protocol carries are refused with one line and exit code 2, so that a
// mistyped channel never sends to another channel's (or the unnumbered)
// group. Pauses are bounded by the clock: a recorded pace never sleeps for
// longer than --max-pause at a time, and no wait goes past --seconds.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ctime>
#include <filesystem>
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
#include "traffic_mix.h"
#include "transport.h"
#include "trelm_version.h"

namespace {

using Clock = std::chrono::steady_clock;

// The toolset's version, as pktdump gives it.
constexpr const char* kVersion = TRELM_VERSION;

// A recorded pause longer than this (seconds, after --speed) is cut to it:
// a gap between two runs in one file, or a clock set, never stalls a send.
constexpr double kDefaultMaxPause = 10;
// The longest wait any conversion is asked for (about 31 years): nothing
// given on the command line or found in a file overflows the clock.
constexpr double kLongestWait = 1e9;

const char kHelp[] =
    "usage: nbtraffic send (--channel N | --to NAME) [OPTIONS]\n"
    "       nbtraffic listen --name NAME [--name NAME ...] [OPTIONS]\n"
    "       nbtraffic --help | --version\n"
    "\n"
    "send: sends datagrams onto a LANA's network.\n"
    "  --channel N      0 to 99: commands go to DEVICE_CONTROL<N>, revertives to ORM<N>\n"
    "                   (0: the plain names DEVICE_CONTROL and ORM)\n"
    "  --to NAME        every datagram to NAME instead (at most 16 characters)\n"
    "  --from NAME      the source name (at most 16 characters; NBTRAFFIC)\n"
    "  --lana N         the LANA, 0 to 254 (0)\n"
    "  What is sent (without --text or --file: a realistic generated mix):\n"
    "  --commands       only commands\n"
    "  --revertives     only revertives\n"
    "  --mix            both (the default)\n"
    "  --text TEXT      that text (at most 512 bytes once numbered): %d (with flags and\n"
    "                   a width, as %03d) becomes the datagram's number, %% a %, any other\n"
    "                   % stays; with --mix odd numbers go as commands, even ones as\n"
    "                   revertives\n"
    "  --first N        with --text: the number of the first datagram (0 or more; 1)\n"
    "  --file PKT_FILE  a packet data file's records in order, type 1 as commands,\n"
    "                   type 2 as revertives\n"
    "  How many and how fast:\n"
    "  --count N        N datagrams (1 or more; default: one, or the file's records once)\n"
    "  --seconds S      for S seconds (a number above 0), through a file again and again;\n"
    "                   with --count, whichever ends first\n"
    "  --rate R         R datagrams a second (a number above 0; default: as fast as it\n"
    "                   can)\n"
    "  --pace recorded  with --file: its records at the pace they arrived (records that\n"
    "                   carry their arrival); a record that arrived before the one before\n"
    "                   goes at once\n"
    "  --pace rate      the pace of --rate (the default)\n"
    "  --speed F        with --pace recorded: F times as fast (a number above 0; 1)\n"
    "  --max-pause S    with --pace recorded: a longer pause (between two runs, a clock\n"
    "                   set) is cut to S seconds (a number above 0; 10)\n"
    "  --quiet          no summary line unless a send failed\n"
    "\n"
    "listen: prints or records every datagram addressed to one of the names.\n"
    "  --name NAME      a name to listen for (at most 16 characters); again for more\n"
    "  --lana N         the LANA, 0 to 254 (0)\n"
    "  --count N        stop after N datagrams (1 or more)\n"
    "  --seconds S      stop after S seconds (a number above 0); with --count, whichever\n"
    "                   comes first\n"
    "  --out FILE       write to FILE instead of the standard output (\"-\")\n"
    "  --format text    one line a datagram (the default), FILE replaced:\n"
    "                   TIME DESTINATION <- SOURCE LENGTH: DATA, TIME the local time as\n"
    "                   HH:MM:SS.mmm, bytes outside printable ASCII and \\ as \\xNN\n"
    "  --hex            the data as hex bytes\n"
    "  --no-time        lines without their time\n"
    "  --format packets a packet data file of timed records (as Varnet writes with\n"
    "                   PacketTimes=1), appended to --out FILE as a new run: datagrams to\n"
    "                   a name beginning with ORM as revertives, the others as commands;\n"
    "                   sequence numbers count the datagrams heard from 1; a datagram\n"
    "                   longer than 512 bytes is recorded cut to 512, and counted\n"
    "  Once it listens, \"listening on LANA N\" starts a text output, and goes to the\n"
    "  standard error where the output is not the standard output.\n"
    "\n"
    "The transport's settings come from VELKNB_INTERFACE (an address of this machine;\n"
    "127.0.0.1), VELKNB_GROUP (a multicast group; 239.255.138.1) and VELKNB_BASEPORT\n"
    "(13800; LANA n uses port BasePort + n).\n"
    "Exit code: 0 done, 1 a file, the network or a send failed, 2 usage.\n";

struct Options {
  std::string mode;
  std::string answer;  // --help or --version: answered, nothing else done
  std::vector<std::string> given;  // the options given, for the conflicts
  int channel = 0;
  int lana = 0;
  std::string to;
  std::string from = "NBTRAFFIC";
  trelm_traffic::Kind kind = trelm_traffic::Kind::Mix;
  std::string text;
  std::string file;
  long count = -1;
  long first = 1;
  double rate = 0;
  bool recordedPace = false;
  double speed = 1;
  double maxPause = kDefaultMaxPause;
  double seconds = 0;
  bool quiet = false;
  bool hex = false;
  bool stamped = true;
  bool packets = false;
  std::string out;
  std::vector<std::string> names;

  bool Has(const char* option) const {
    return std::find(given.begin(), given.end(), option) != given.end();
  }
};

// A whole number from min to max, the whole text.
bool WholeNumber(const char* text, long min, long max, long* value) {
  if (*text == '\0' || std::isspace(static_cast<unsigned char>(*text))) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 10);
  if (*end != '\0' || errno == ERANGE || v < min || v > max) return false;
  *value = static_cast<long>(v);
  return true;
}

// A finite number above 0, the whole text.
bool PositiveNumber(const char* text, double* value) {
  if (*text == '\0' || std::isspace(static_cast<unsigned char>(*text))) return false;
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (*end != '\0' || !std::isfinite(v) || !(v > 0)) return false;
  *value = v;
  return true;
}

// The text with "%d" (with flags and a width, as in "%03d") replaced by the
// number and "%%" by a '%'; any other '%' (a "%s" in a command, say) stays
// as it stands. The text is never used as a format.
std::string NumberedText(const std::string& pattern, long long number) {
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
      std::snprintf(spec, sizeof spec, "%slld", pattern.substr(i, end - i).c_str());
      std::snprintf(digits, sizeof digits, spec, number);
      text += digits;
      i = end;
    } else {
      text += '%';
    }
  }
  return text;
}

// Checks every option and how they go together; false with one phrase.
bool Parse(int argc, char** argv, Options& o, std::string& error) {
  auto answers = [](const std::string& a) { return a == "--help" || a == "-h" || a == "--version"; };
  o.mode = argv[1];
  if (answers(o.mode)) {
    o.answer = o.mode;
    return true;
  }
  if (o.mode != "send" && o.mode != "listen") {
    error = "the mode is send or listen, not '" + o.mode + "'";
    return false;
  }
  const bool send = o.mode == "send";
  struct Known {
    const char* name;
    const char* modes;
    bool value;
  } const known[] = {
      {"--channel", "send", true},     {"--to", "send", true},
      {"--from", "send", true},        {"--lana", "send listen", true},
      {"--commands", "send", false},   {"--revertives", "send", false},
      {"--mix", "send", false},        {"--text", "send", true},
      {"--first", "send", true},       {"--file", "send", true},
      {"--count", "send listen", true}, {"--seconds", "send listen", true},
      {"--rate", "send", true},        {"--pace", "send", true},
      {"--speed", "send", true},       {"--max-pause", "send", true},
      {"--quiet", "send", false},      {"--name", "listen", true},
      {"--out", "listen", true},       {"--format", "listen", true},
      {"--hex", "listen", false},      {"--no-time", "listen", false},
  };
  auto refuse = [&](const std::string& why) {
    error = why;
    return false;
  };
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (answers(a)) {
      o.answer = a;
      return true;
    }
    const Known* k = nullptr;
    for (const Known& candidate : known) {
      if (a == candidate.name) k = &candidate;
    }
    if (k == nullptr) return refuse("unknown argument '" + a + "'");
    if ((" " + std::string(k->modes) + " ").find(" " + o.mode + " ") == std::string::npos) {
      return refuse(a + " is not an option of " + o.mode);
    }
    if (a != "--name" && o.Has(k->name)) return refuse(a + " is given twice");
    o.given.push_back(k->name);
    if (!k->value) {
      if (a == "--commands") o.kind = trelm_traffic::Kind::Commands;
      else if (a == "--revertives") o.kind = trelm_traffic::Kind::Revertives;
      else if (a == "--mix") o.kind = trelm_traffic::Kind::Mix;
      else if (a == "--quiet") o.quiet = true;
      else if (a == "--hex") o.hex = true;
      else o.stamped = false;  // --no-time
      continue;
    }
    if (i + 1 >= argc) return refuse(a + " needs a value");
    const char* v = argv[++i];
    const std::string value = v;
    long number = 0;
    auto name = [&](std::string& into) {
      if (value.empty() || value.size() > velknb::kNameSize) {
        return refuse(a + " is a name of 1 to 16 characters, not '" + value + "'");
      }
      into = value;
      return true;
    };
    if (a == "--channel") {
      if (!WholeNumber(v, 0, 99, &number)) {
        return refuse("--channel is a channel number, 0 to 99, not '" + value + "'");
      }
      o.channel = static_cast<int>(number);
    } else if (a == "--lana") {
      if (!WholeNumber(v, 0, 254, &number)) {
        return refuse("--lana is a LANA number, 0 to 254, not '" + value + "'");
      }
      o.lana = static_cast<int>(number);
    } else if (a == "--count") {
      if (!WholeNumber(v, 1, 0x7FFFFFFFL, &o.count)) {
        return refuse("--count is a number of datagrams, 1 or more, not '" + value + "'");
      }
    } else if (a == "--first") {
      if (!WholeNumber(v, 0, 0x7FFFFFFFL, &o.first)) {
        return refuse("--first is a datagram number, 0 or more, not '" + value + "'");
      }
    } else if (a == "--rate") {
      if (!PositiveNumber(v, &o.rate)) {
        return refuse("--rate is datagrams a second, a number above 0, not '" + value + "'");
      }
    } else if (a == "--seconds") {
      if (!PositiveNumber(v, &o.seconds)) {
        return refuse("--seconds is a number above 0, not '" + value + "'");
      }
    } else if (a == "--speed") {
      if (!PositiveNumber(v, &o.speed)) {
        return refuse("--speed is a factor above 0, not '" + value + "'");
      }
    } else if (a == "--max-pause") {
      if (!PositiveNumber(v, &o.maxPause)) {
        return refuse("--max-pause is a number of seconds above 0, not '" + value + "'");
      }
    } else if (a == "--pace") {
      if (value != "recorded" && value != "rate") {
        return refuse("--pace is recorded or rate, not '" + value + "'");
      }
      o.recordedPace = value == "recorded";
    } else if (a == "--format") {
      if (value != "text" && value != "packets") {
        return refuse("--format is text or packets, not '" + value + "'");
      }
      o.packets = value == "packets";
    } else if (a == "--to") {
      if (!name(o.to)) return false;
    } else if (a == "--from") {
      if (!name(o.from)) return false;
    } else if (a == "--name") {
      std::string n;
      if (!name(n)) return false;
      o.names.push_back(n);
    } else if (a == "--text") {
      o.text = value;
    } else if (a == "--file") {
      if (value.empty()) return refuse("--file needs a file name");
      o.file = value;
    } else {  // --out
      if (value.empty()) return refuse("--out needs a file name, or - for the standard output");
      o.out = value;
    }
  }

  // How the options go together.
  auto both = [&](const char* a, const char* b) {
    if (o.Has(a) && o.Has(b)) {
      error = std::string(a) + " and " + b + " cannot be given together";
      return true;
    }
    return false;
  };
  if (send) {
    if (!o.Has("--channel") && !o.Has("--to")) return refuse("send needs --channel N or --to NAME");
    if (both("--channel", "--to") || both("--text", "--file") || both("--commands", "--revertives") ||
        both("--commands", "--mix") || both("--revertives", "--mix")) {
      return false;
    }
    for (const char* kind : {"--commands", "--revertives", "--mix"}) {
      if (o.Has(kind) && o.Has("--file")) {
        return refuse(std::string(kind) + " does not apply to --file: its records keep their kinds");
      }
    }
    if (o.Has("--first") && !o.Has("--text")) return refuse("--first needs --text");
    if (o.recordedPace && o.Has("--rate")) return refuse("--rate and --pace recorded cannot be given together");
    if (o.recordedPace && o.file.empty()) return refuse("--pace recorded needs --file");
    for (const char* paced : {"--speed", "--max-pause"}) {
      if (o.Has(paced) && !o.recordedPace) return refuse(std::string(paced) + " needs --pace recorded");
    }
    if (o.Has("--text")) {
      const std::size_t size = NumberedText(o.text, o.first).size();
      if (size > velknb::kMaxUserData) {
        return refuse("--text is longer than a datagram carries (" + std::to_string(size) +
                      " bytes, at most 512)");
      }
    }
  } else {
    if (o.names.empty()) return refuse("listen needs --name");
    if (o.packets) {
      if (o.out.empty()) return refuse("--format packets needs --out FILE (or - for the standard output)");
      if (both("--format", "--hex") || both("--format", "--no-time")) {
        error += " (--format packets records the bytes and their arrival)";
        return false;
      }
    }
  }
  return true;
}

// A point after a start, never overflowing the clock's conversion.
Clock::time_point After(Clock::time_point start, double seconds) {
  seconds = std::min(std::max(seconds, 0.0), kLongestWait);
  return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::string ChannelName(const char* base, int channel) {
  return channel >= 1 && channel <= 99 ? base + std::to_string(channel) : std::string(base);
}

bool OpenTransport(const Options& o, velknb::Transport& t, bool receives) {
  velknb::TransportSettings settings;
  velknb::ApplyEnvironment(settings);
  std::string error;
  if (!t.Open(settings, o.lana, &error, receives)) {
    std::fprintf(stderr, "nbtraffic: LANA %d cannot be used: %s\n", o.lana, error.c_str());
    return false;
  }
  return true;
}

std::string SystemReason(int error) { return error != 0 ? std::strerror(error) : "unknown error"; }

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
  n.filetime = static_cast<std::uint64_t>(ticks + 116444736000000000LL);
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  const long ms = static_cast<long>((ticks / 10000) % 1000);
  std::snprintf(n.stamp, sizeof n.stamp, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min,
                local.tm_sec, ms < 0 ? 0 : ms);
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("nbtraffic: no mode given, send or listen (nbtraffic --help lists the options)\n", stderr);
    return 2;
  }
  Options o;
  std::string error;
  if (!Parse(argc, argv, o, error)) {
    std::fprintf(stderr, "nbtraffic: %s (nbtraffic --help lists the options)\n", error.c_str());
    return 2;
  }
  if (!o.answer.empty()) {
    if (o.answer == "--version") std::printf("nbtraffic %s (Trelm workstation toolset)\n", kVersion);
    else std::fputs(kHelp, stdout);
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
  }
  return o.mode == "send" ? Send(o) : Listen(o);
}

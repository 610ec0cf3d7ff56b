// pktdump report: the mode. Reads the files in parallel, a worker per core
// (a file to a worker at a time, record by record), folding each file into
// the page as soon as it and the files before it are read; then writes it.
// Bad input is handled as in every mode: a file that cannot be read, is
// empty, is no packet data file or holds a bad record is named on stderr
// and ends the mode with exit code 1 before the page is written; with
// --keep-going each bad record is named and skipped, the page is written
// and says so, and the exit code is still 1.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>

#include "core/packet_dump.h"
#include "core/packet_file.h"
#include "core/packet_record.h"
#include "fleet.h"
#include "modes.h"
#include "output.h"
#include "report.h"
#include "wall_time.h"

namespace pktdump {
namespace report {

namespace {

// What reading one file left.
struct Reading {
  std::string path;
  std::unique_ptr<FileReport> report;
  std::vector<std::string> messages;  // for stderr, in order
  bool failed = false;                // unreadable, or bad without --keep-going
  bool bad = false;                   // held something bad (skipped with --keep-going)
};

void ReadOne(Reading& r, const std::string& ini, Window window, bool keepGoing, std::FILE* in) {
  const std::string name = BaseName(r.path);
  r.report = std::make_unique<FileReport>(name, HourOfName(name), ini, window);
  r.report->SetFolder(Directory(r.path));
  const std::string named = r.path == "-" ? name : r.path;
  auto say = [&](const std::string& text) { r.messages.push_back("pktdump: " + named + ": " + text); };
  const std::string unreadable = r.path == "-" ? std::string() : Unreadable(r.path);
  std::FILE* file = nullptr;
  if (unreadable.empty()) file = r.path == "-" ? in : std::fopen(r.path.c_str(), "rb");
  if (file == nullptr) {
    say("cannot be read: " +
        (unreadable.empty() ? std::generic_category().message(errno) : unreadable));
    r.failed = true;
    return;
  }
  const long long size = FileSize(file);
  const std::string skipped = keepGoing ? "; skipped" : "";
  if (size == 0) {
    say("is empty: it holds no records");
    r.bad = true;
    r.failed = !keepGoing;
  }
  varnet::PacketReader reader(file);
  std::int64_t number = 0;
  while (!r.failed) {
    varnet::RecordView view;
    const varnet::PacketReader::Status status = reader.Next(view);
    if (status == varnet::PacketReader::Status::End) break;
    if (status == varnet::PacketReader::Status::Record) {
      r.report->Add(++number, view);
      continue;
    }
    if (status == varnet::PacketReader::Status::Failed) {
      say(reader.Fault());
      r.failed = true;
      break;
    }
    if (status == varnet::PacketReader::Status::Cut) {
      // Cut inside a record (a run that stopped while it wrote): its whole
      // records are on the page, and the cut is said.
      say(reader.Fault());
      r.bad = true;
      break;
    }
    ++number;
    say(reader.Fault() + skipped);
    r.bad = true;
    r.failed = !keepGoing;
    r.report->Bad(number, reader.Fault().substr(reader.Fault().find(" has ") + 5));
  }
  if (!r.failed && number == 0 && size < 0 && reader.Rest() == 0) {
    say(varnet::EmptyText());
    r.bad = true;
    r.failed = !keepGoing;
  }
  if (file != in) std::fclose(file);
  r.report->Finish();
}

}  // namespace

std::int64_t HourOfName(const std::string& name) {
  varnet::FileHour when;
  return varnet::ParsePacketFileName(name, &when) ? varnet::HourStartMs(when) : kNoTime;
}

namespace {

// A local time's one instant, or why it has none: a time the clock passes
// twice when it goes back (ambiguous), or never when it goes forward.
enum class LocalKind { Ok, Twice, Never, Invalid };
LocalKind LocalInstant(int y, int mo, int d, int h, int mi, int s, std::int64_t* ms) {
  std::int64_t at[2];
  const trelm::CivilTime local{y, mo, d, h, mi, s};
  trelm::LocalReadings(local, at);
  if (at[0] != kNoTime && at[1] != kNoTime && at[0] != at[1]) return LocalKind::Twice;
  *ms = at[0] != kNoTime ? at[0] : at[1];
  if (*ms != kNoTime) return LocalKind::Ok;
  // Neither reading keeps it: a day the month lacks, or the skipped hour.
  *ms = trelm::LocalMs(local);
  return *ms == kNoTime ? LocalKind::Invalid : LocalKind::Never;
}

}  // namespace

bool ParseLocalTime(const std::string& text, std::int64_t* ms, std::string* why) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char sep = 0;
  int used = 0, more = 0;
  // Nothing may follow the minutes or the seconds but a fraction of a
  // second and a zone.
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d%n", &y, &mo, &d, &sep, &h, &mi, &used) != 6) {
    return false;
  }
  const char* rest = text.c_str() + used;
  if (*rest == ':') {
    if (std::sscanf(rest, ":%2d%n", &s, &more) != 1) return false;
    rest += more;
  }
  // Exactly n digits, as a number.
  auto digits = [&rest](int n, int* value) {
    *value = 0;
    for (int i = 0; i < n; ++i) {
      if (rest[i] < '0' || rest[i] > '9') return false;
      *value = *value * 10 + (rest[i] - '0');
    }
    rest += n;
    return true;
  };
  // The page's own times carry milliseconds: ".250" (1 to 9 digits; past
  // the millisecond they are dropped), after the seconds only.
  int fraction = 0;
  if ((*rest == '.' || *rest == ',') && more > 0) {
    int n = 0;
    for (++rest; rest[n] >= '0' && rest[n] <= '9'; ++n) {
      if (n < 3) fraction = fraction * 10 + (rest[n] - '0');
    }
    if (n == 0 || n > 9) return false;
    for (int i = n; i < 3; ++i) fraction *= 10;
    rest += n;
  }
  // ISO 8601's zone: "Z" for UTC, or the offset from it, +HH:MM, +HHMM or
  // +HH (or -); without one the time is local.
  bool zoned = false;
  int offset = 0;  // seconds east of UTC
  if (*rest == 'Z' || *rest == 'z') {
    zoned = true;
    ++rest;
  } else if (*rest == '+' || *rest == '-') {
    const int sign = *rest++ == '-' ? -1 : 1;
    int oh = 0, om = 0;
    if (!digits(2, &oh)) return false;
    if (*rest == ':') {
      ++rest;
      if (!digits(2, &om)) return false;
    } else if (*rest != '\0' && !digits(2, &om)) {
      return false;
    }
    if (oh > 23 || om > 59) return false;
    zoned = true;
    offset = sign * (oh * 3600 + om * 60);
  }
  if (*rest != '\0') return false;
  if ((sep != ' ' && sep != 'T') || mo < 1 || mo > 12 || d < 1 || d > 31 ||
      h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59 || y < 1970) {
    return false;
  }
  if (!zoned) {
    const LocalKind kind = LocalInstant(y, mo, d, h, mi, s, ms);
    if (kind == LocalKind::Twice || kind == LocalKind::Never) {
      if (why != nullptr) {
        *why = text + (kind == LocalKind::Twice
                           ? " is two times here: the local clock goes back over it; give its "
                             "offset from UTC (as the page writes it, 2026-10-25T02:30:00+02:00)"
                           : " is no time here: the local clock goes forward over it; give its "
                             "offset from UTC, or a time before or after");
      }
      return false;
    }
    if (kind != LocalKind::Ok) return false;
    *ms += fraction;
    return true;
  }
  // A day the month does not have (31 February) is no such time.
  if (d > trelm::DaysInMonth(y, mo)) return false;
  *ms = (trelm::UtcSeconds({y, mo, d, h, mi, s}) - offset) * 1000 + fraction;
  return true;
}

namespace {

// The latest arrival among the last timed records of the files (a look at
// each file's end, up to kTailRecords records back); kNoTime for none.
constexpr std::int64_t kTailRecords = 4096;
std::int64_t LatestArrival(const std::vector<std::string>& paths) {
  std::int64_t latest = kNoTime;
  std::vector<std::uint8_t> block(64 * varnet::kRecordSize);
  for (const std::string& path : paths) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) continue;  // said when it is read
    const long long size = FileSize(file);
    const std::int64_t records = size > 0 ? size / static_cast<long long>(varnet::kRecordSize) : 0;
    std::int64_t end = records;
    bool found = false;
    while (!found && end > 0 && records - end < kTailRecords) {
      const std::int64_t begin = std::max<std::int64_t>(0, end - 64);
      const std::size_t bytes = static_cast<std::size_t>(end - begin) * varnet::kRecordSize;
      if (!varnet::SeekStdio(file, begin * static_cast<std::int64_t>(varnet::kRecordSize)) ||
          std::fread(block.data(), 1, bytes, file) != bytes) {
        break;
      }
      for (std::size_t at = 0; at < bytes; at += varnet::kRecordSize) {
        varnet::RecordView view;
        if (!varnet::ReadRecord(block.data() + at, varnet::kRecordSize, view) || !view.timed) continue;
        const std::int64_t ms = trelm::FiletimeMs(view.arrival.filetime);
        if (ms == trelm::kNoInstant) continue;
        found = true;
        if (latest == kNoTime || ms > latest) latest = ms;
      }
      end = begin;
    }
    std::fclose(file);
  }
  return latest;
}

}  // namespace

int RunReport(const Options& o, std::FILE* out, std::FILE* err, std::FILE* in) {
  std::vector<std::string> paths = o.paths;
  Window window;
  window.from = o.from;
  window.to = o.to;
  if (o.last != 0) {
    // The span before the latest arrival the files hold: the last hour of
    // a capture, live or copied.
    const std::int64_t latest = LatestArrival(paths);
    if (latest == kNoTime) {
      std::fprintf(err, "pktdump: --last: no record of these files carries its arrival time "
                        "(PacketTimes off): give --from and --to\n");
      return 1;
    }
    window.to = latest + 1;
    window.from = window.to - o.last;
  }
  const bool keepGoing = o.keepGoing;
  const std::string& ini = o.ini;
  // The page is written as every mode writes: never over an input, and
  // whole or not at all. Whether it can be is known before any reading.
  Output output(out);
  if (Output::IsAnInput(o.out, paths, in, err)) return 2;
  if (!output.Open(o.out, err)) return 1;
  // Hourly files in name order.
  std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
    return BaseName(a) != BaseName(b) ? BaseName(a) < BaseName(b) : a < b;
  });

  std::vector<Reading> readings(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) readings[i].path = paths[i];
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t workers = std::min<std::size_t>(cores, readings.size());
  std::atomic<std::size_t> next{0};
  // As the files are read, in any order, each is folded into the page in
  // name order and its report freed: memory holds the page's rows and the
  // files still being read or waiting for one before them, never every
  // file's buckets. A capture's hours go on from one file to the next in
  // its folder: what was lost between them counts too. Folders' files sort
  // between each other: each goes on from its own folder's file before,
  // kept until the folder's next file is folded.
  PageData data;
  data.window = window;
  std::mutex folding;
  std::vector<char> read(readings.size(), 0);
  std::size_t folded = 0;
  auto fold = [&](std::size_t i) {
    std::lock_guard<std::mutex> lock(folding);
    read[i] = 1;
    for (; folded < readings.size() && read[folded] != 0; ++folded) {
      data.Fold(*readings[folded].report);
      readings[folded].report.reset();
    }
  };
  auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < readings.size();) {
      ReadOne(readings[i], ini, window, keepGoing, in);
      fold(i);
    }
  };
  std::vector<std::thread> threads;
  for (std::size_t w = 1; w < workers; ++w) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();

  bool failed = false, bad = false;
  PageOptions options;
  options.window = window;
  options.utc = o.utc;
  options.devices = o.filter.devices;
  options.last = o.last;
  for (const Reading& r : readings) {
    for (const std::string& m : r.messages) {
      std::fprintf(err, "%s\n", m.c_str());
      options.notes.push_back(m.substr(9));  // without "pktdump: "
    }
    failed = failed || r.failed;
    bad = bad || r.bad;
  }
  if (failed) return 1;
  data.Finish();
  // Two or more captures: the workstations compared (their files read again).
  fleet::Result compared;
  if (data.rows.size() >= 2) {
    fleet::Settings settings;
    settings.toleranceMs = o.toleranceMs;
    settings.window = window;
    settings.ini = ini;
    if (!fleet::Compare(data, paths, settings, &compared, err)) bad = true;
    options.fleet = &compared;
  }
  const std::string page = RenderPage(data, options);

  const bool written = std::fwrite(page.data(), 1, page.size(), output.Stream()) == page.size();
  if (!output.Close(written, err)) return 1;
  return bad ? 1 : 0;
}

}  // namespace report
}  // namespace pktdump

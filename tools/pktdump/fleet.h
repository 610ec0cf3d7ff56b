// pktdump's comparison of workstations: captures of one channel made by
// several workstations (the files of one folder each, as report and summary
// group them) matched datagram by datagram, so that what one capture lacks
// can be told apart. Each sequence gap of a capture, each stretch between
// its runs where it was not recording, and each silence its alive strips
// find (a device's revertives, a workstation's heartbeats) is judged:
//   lost here  another capture holds datagrams in that span that this one
//              lacks (how many, and which captures);
//   not sent   the other captures were recording over that span (and losing
//              nothing) and none heard anything this one lacks;
//   unknown    no other capture was recording over all of it.
// A datagram is the same in two captures when its bytes, its length and its
// kind are, and the two arrivals are within the tolerance of each other
// (the workstations' clocks agree to well under a second on one site). The
// captures are read again after the page's gathering, merged by arrival, and
// matched in a sliding window of the tolerance: memory grows with the rate,
// the tolerance and the number of captures, never with the files' size.
// Records without arrival time cannot be matched: they are counted apart.
// Portable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "report.h"

namespace pktdump {
namespace fleet {

constexpr std::int64_t kDefaultToleranceMs = 500;
// Captures compared at most (a bit each in a mask).
constexpr std::size_t kMaxCaptures = 64;

enum class Verdict { kLostHere, kNotSent, kUnknown };
const char* VerdictText(Verdict v);  // "lost here", "not sent", "unknown"
const char* VerdictKey(Verdict v);   // "lost-here", "not-sent", "unknown"

// A gap, a stretch of not recording or a silence of one capture, judged.
struct Finding {
  enum Kind { kSequence, kNotRecording, kDevice, kWorkstation } kind = kSequence;
  std::size_t capture = 0;  // index into Result::captures
  int id = -1;              // kDevice, kWorkstation: which
  // ms since 1970: the capture's records (or hearings) either side of it.
  std::int64_t from = 0, to = 0;
  // kSequence: the numbers the wrapper skipped.
  std::uint32_t sequenceFrom = 0, sequenceTo = 0;
  std::uint64_t skipped = 0;
  Verdict verdict = Verdict::kUnknown;
  // Datagrams another capture holds in the span (widened by the tolerance
  // either side) that this one lacks, and of them, per capture.
  std::uint64_t count = 0;
  std::vector<std::uint64_t> heardBy;
};
const char* KindKey(Finding::Kind kind);  // "sequence", "not-recording", "device", "workstation"

struct Capture {
  std::string name;           // as the page names its row
  bool compared = false;      // read again and matched
  std::uint64_t held = 0;     // datagrams of the union it holds (in the window)
  std::uint64_t untimed = 0;  // records without arrival time: not compared
  std::int64_t first = report::kNoTime, last = report::kNoTime;  // arrivals in the window
};

struct Result {
  std::int64_t toleranceMs = kDefaultToleranceMs;
  // The channel's datagrams that any capture compared holds, in the window.
  std::uint64_t unionCount = 0;
  std::vector<Capture> captures;   // the page's rows, in their order
  std::vector<Finding> findings;   // by time
  std::uint64_t notJudged = 0;     // sequence gaps past those a row keeps (PageData::kGapSpansKept)
  std::vector<std::string> notes;  // why a capture is not compared, or the reading stopped
  std::size_t Compared() const;
};

struct Settings {
  std::int64_t toleranceMs = kDefaultToleranceMs;
  report::Window window;
  std::string ini;  // VARNET.INI's text for the device rule (empty: a first run's)
};

// The page's data (two or more rows, Finish()ed) compared: the files of each
// row are read again from the paths given (grouped by their folder, as the
// page's rows are). A row read from standard input is read once and cannot
// be compared. False, with the reason on err and in the notes, when a file
// could not be read again; what was compared until then stays.
bool Compare(const report::PageData& data, const std::vector<std::string>& paths,
             const Settings& settings, Result* result, std::FILE* err);

// The comparison as summary's JSON writes it, one line:
// {"fleet":{"tolerance_ms":500,"union":N,"captures":[{"name","held","missing",
// "union","share","untimed"}],"gaps":[...],"silences":[...],"notes":[...]}}
// where each gap and silence is {"capture","kind","device"|"workstation",
// "from","to","class","count","heard_by":[names]} (times in UTC as summary
// writes them; a sequence gap adds "skipped", "sequence_from", "sequence_to").
std::string Json(const Result& result);

// ------------------------------------------------------------ the matching

// A datagram as the matching takes it.
struct Datagram {
  std::int64_t ticks = 0;  // arrival: FILETIME, 100 ns since 1601
  std::uint64_t key = 0;   // KeyOf its kind, length and bytes
  std::uint8_t type = 0;
  std::uint16_t length = 0;
  std::string bytes;  // those received (the rest of the 512 are zeros)
};
std::uint64_t KeyOf(std::uint8_t type, std::uint16_t length, const std::uint8_t* data);

// One datagram of the channel as the captures heard it: the captures that
// hold it (a bit each), its earliest arrival and one copy.
struct Match {
  std::uint64_t holders = 0;
  Datagram copy;  // ticks: the earliest arrival
};

// Matches the captures' datagrams, given merged in arrival order: a datagram
// joins the earliest open match of the same key that its capture is not in
// yet and whose arrivals stay within the tolerance of its own; else it opens
// one. A match is done once the arrivals have gone twice the tolerance past
// its earliest (records a little out of order still find it). A capture
// that holds a datagram twice holds two matches.
class Matcher {
 public:
  Matcher(std::int64_t toleranceTicks, std::function<void(const Match&)> done)
      : tolerance_(toleranceTicks), done_(std::move(done)) {}
  void Add(std::size_t capture, Datagram d);
  // Every match still open is done.
  void Finish();
  std::size_t OpenNow() const { return open_.size(); }
  std::size_t MostOpen() const { return mostOpen_; }
  // The datagrams of a capture that came later than the tolerance after
  // an arrival already matched (beyond the reorder's reach): the match they
  // belong to may be done, so they may be counted twice.
  std::uint64_t Late(std::size_t capture) const {
    return capture < late_.size() ? late_[capture] : 0;
  }

 private:
  struct Pending {
    std::int64_t first, last;
    Match match;
  };
  void Close();
  const std::int64_t tolerance_;
  std::function<void(const Match&)> done_;
  std::deque<Pending> open_;
  std::uint64_t base_ = 0;  // the number of open_.front(), counted from the first
  // The open matches of each key, by number, oldest first (a few at most).
  std::unordered_map<std::uint64_t, std::vector<std::uint64_t>> byKey_;
  std::size_t mostOpen_ = 0;
  std::int64_t latest_ = INT64_MIN;
  std::vector<std::uint64_t> late_;
};

// The captures' files (each capture's in hour order) read record by record,
// each capture's timed records put back in arrival order within 4,096
// places (the two names' queues), and merged by arrival into the matcher.
// Bad records are passed over (the gathering has said them), a file cut
// inside a record is read to its last whole one. False with why when a file
// cannot be read.
bool MatchFiles(const std::vector<std::vector<std::string>>& captures, Matcher& matcher,
                std::string* why);

}  // namespace fleet
}  // namespace pktdump

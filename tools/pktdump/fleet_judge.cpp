// pktdump's comparison of workstations: the judging. From the page's data
// (each capture's gaps, recording spans and what it heard) come the things
// to judge: sequence gaps, stretches between runs, and the silences the
// alive rule finds. Each datagram of the channel, as the matching hands it
// over, counts for the union and for the captures that hold it, and against
// each capture that lacks it, in whatever of that capture's findings its
// time falls (widened by the tolerance, since the clocks differ by up to
// that much). Then each finding takes its verdict.
#include <algorithm>
#include <map>

#include "core/record_decoder.h"
#include "fleet.h"
#include "records.h"
#include "report_page_internal.h"
#include "wall_time.h"

namespace pktdump {
namespace fleet {

const char* VerdictText(Verdict v) {
  return v == Verdict::kLostHere ? "lost here" : v == Verdict::kNotSent ? "not sent" : "unknown";
}
const char* VerdictKey(Verdict v) {
  return v == Verdict::kLostHere ? "lost-here" : v == Verdict::kNotSent ? "not-sent" : "unknown";
}
const char* KindKey(Finding::Kind kind) {
  switch (kind) {
    case Finding::kSequence:
      return "sequence";
    case Finding::kNotRecording:
      return "not-recording";
    case Finding::kDevice:
      return "device";
    case Finding::kWorkstation:
      return "workstation";
  }
  return "";
}

std::size_t Result::Compared() const {
  return static_cast<std::size_t>(
      std::count_if(captures.begin(), captures.end(), [](const Capture& c) { return c.compared; }));
}

namespace {

using Spans = report::PageData::Spans;

// One capture's findings of a kind, by when they begin, with the latest end
// so far: those a time falls in are found by a search and a short walk back.
class Index {
 public:
  void Add(std::size_t finding, std::int64_t from, std::int64_t to) {
    entries_.push_back({from, to, finding});
  }
  void Sort() {
    std::sort(entries_.begin(), entries_.end(),
              [](const Entry& a, const Entry& b) { return a.from < b.from; });
    latest_.clear();
    for (const Entry& e : entries_) {
      latest_.push_back(latest_.empty() ? e.to : std::max(latest_.back(), e.to));
    }
  }
  // Each finding whose span, widened either side, holds t.
  template <typename F>
  void Hits(std::int64_t t, std::int64_t widen, F found) const {
    auto end = std::upper_bound(entries_.begin(), entries_.end(), t + widen,
                                [](std::int64_t at, const Entry& e) { return at < e.from; });
    for (std::size_t i = static_cast<std::size_t>(end - entries_.begin()); i-- > 0;) {
      if (latest_[i] + widen < t) break;
      if (entries_[i].to + widen >= t) found(entries_[i].finding);
    }
  }

 private:
  struct Entry {
    std::int64_t from, to;
    std::size_t finding;
  };
  std::vector<Entry> entries_;
  std::vector<std::int64_t> latest_;
};

// Whether the spans (sorted, without overlaps) hold [from, to] but for the
// tolerance at either end; a span too short for that, by its middle.
bool Covered(const Spans& spans, std::int64_t from, std::int64_t to, std::int64_t tolerance) {
  if (to - from > 2 * tolerance)
    return report::html::Minus({{from + tolerance, to - tolerance}}, spans).empty();
  const std::int64_t middle = from + (to - from) / 2;
  return std::any_of(spans.begin(), spans.end(),
                     [&](const auto& s) { return s.first <= middle && middle < s.second; });
}

class Judge {
 public:
  Judge(const report::PageData& data, const Settings& settings, Result* result)
      : settings_(settings), result_(*result), decoder_(host_, settings.ini) {
    const std::size_t rows = data.rows.size();
    spans_.resize(rows);
    devices_.resize(rows);
    workstations_.resize(rows);
    clean_.resize(rows);
    for (std::size_t r = 0; r < rows; ++r) {
      const report::PageData::Row& row = data.rows[r];
      // Where it recorded, lost nothing, and every hour file was given.
      clean_[r] = report::html::Minus(
          report::html::Minus(report::html::Union(row.recording), report::html::Union(row.lost)),
          report::html::Union(row.notGiven));
      if (result_.captures[r].compared) {
        compared_ |= 1ull << r;
        Find(data, r);
      }
    }
    for (std::size_t r = 0; r < rows; ++r) {
      spans_[r].Sort();
      for (auto& [id, index] : devices_[r]) index.Sort();
      for (auto& [id, index] : workstations_[r]) index.Sort();
    }
  }
  void Take(const Match& m);
  void Finish();

 private:
  void Find(const report::PageData& data, std::size_t r);
  std::size_t Add(Finding f) {
    f.heardBy.assign(result_.captures.size(), 0);
    result_.findings.push_back(std::move(f));
    return result_.findings.size() - 1;
  }
  bool InWindow(std::int64_t from, std::int64_t to) const {
    return to >= settings_.window.from && from < settings_.window.to;
  }
  void Count(std::size_t finding, std::uint64_t holders) {
    Finding& f = result_.findings[finding];
    ++f.count;
    for (std::size_t c = 0; c < f.heardBy.size() && c < kMaxCaptures; ++c) {
      if ((holders >> c & 1) != 0) ++f.heardBy[c];
    }
  }

  const Settings& settings_;
  Result& result_;
  varnet::NullDecoderHost host_;
  varnet::RecordDecoder decoder_;
  std::uint64_t compared_ = 0;
  // Per capture: its gaps and stretches of not recording; its silences by
  // device and by workstation; where it recorded and lost nothing.
  std::vector<Index> spans_;
  std::vector<std::map<int, Index>> devices_, workstations_;
  std::vector<Spans> clean_;
};

void Judge::Find(const report::PageData& data, std::size_t r) {
  const report::PageData::Row& row = data.rows[r];
  for (const report::PageData::GapSpan& g : row.gapSpans) {
    Finding f;
    f.kind = Finding::kSequence;
    f.capture = r;
    f.from = g.from;
    f.to = g.to;
    f.sequenceFrom = g.sequenceFrom;
    f.sequenceTo = g.sequenceTo;
    f.skipped = g.skipped;
    spans_[r].Add(Add(f), f.from, f.to);
  }
  result_.notJudged += row.gapSpansNotKept;
  // Between its runs (not before the first, nor after the last: a capture
  // that starts late was simply not there).
  const Spans recording = report::html::Union(row.recording);
  for (std::size_t i = 1; i < recording.size(); ++i) {
    Finding f;
    f.kind = Finding::kNotRecording;
    f.capture = r;
    f.from = recording[i - 1].second - 1;  // its last arrival
    f.to = recording[i].first;
    if (InWindow(f.from, f.to)) spans_[r].Add(Add(f), f.from, f.to);
  }
  std::int64_t until = INT64_MIN;
  for (std::size_t i : row.files) {
    const report::FileReport::Totals& n = data.files[i].numbers;
    if (n.last != report::kNoTime) until = std::max(until, n.last + 1);
  }
  until = std::min(until, settings_.window.to);
  auto silences = [&](const std::map<int, report::PageData::Heard>& heard, Finding::Kind kind,
                      std::map<int, Index>& index) {
    for (const auto& [id, h] : heard) {
      for (const auto& [a, b] : report::Silences(h, clean_[r], until)) {
        if (!InWindow(a, b)) continue;
        Finding f;
        f.kind = kind;
        f.capture = r;
        f.id = id;
        f.from = a;
        f.to = b;
        index[id].Add(Add(f), a, b);
      }
    }
  };
  silences(row.devices, Finding::kDevice, devices_[r]);
  silences(row.workstations, Finding::kWorkstation, workstations_[r]);
}

void Judge::Take(const Match& m) {
  const std::int64_t ms = trelm::FiletimeMs(static_cast<std::uint64_t>(m.copy.ticks));
  if (settings_.window.Holds(ms)) {
    ++result_.unionCount;
    for (std::size_t c = 0; c < result_.captures.size() && c < kMaxCaptures; ++c) {
      if ((m.holders >> c & 1) != 0) ++result_.captures[c].held;
    }
  }
  const std::uint64_t lacking = compared_ & ~m.holders;
  if (lacking == 0) return;
  const std::int64_t widen = settings_.toleranceMs;
  const varnet::DatagramFacts* facts = nullptr;
  for (std::size_t x = 0; x < spans_.size() && x < kMaxCaptures; ++x) {
    if ((lacking >> x & 1) == 0) continue;
    spans_[x].Hits(ms, widen, [&](std::size_t f) { Count(f, m.holders); });
    if (m.copy.type != varnet::kRecordRevertive ||
        (devices_[x].empty() && workstations_[x].empty()))
      continue;
    if (facts == nullptr) {
      // The device rule, only for a revertive some capture lacks.
      std::uint8_t buffer[varnet::kDatagramSize] = {};
      std::copy(m.copy.bytes.begin(), m.copy.bytes.end(), buffer);
      varnet::RecordView view;
      view.type = m.copy.type;
      view.length = m.copy.length;
      view.data = buffer;
      facts = &decoder_.Decode(view);
    }
    for (int device : facts->devices) {
      auto it = devices_[x].find(device);
      if (it != devices_[x].end())
        it->second.Hits(ms, widen, [&](std::size_t f) { Count(f, m.holders); });
    }
    auto ws = workstations_[x].find(facts->heartbeat);
    if (ws != workstations_[x].end())
      ws->second.Hits(ms, widen, [&](std::size_t f) { Count(f, m.holders); });
  }
}

void Judge::Finish() {
  const std::size_t rows = clean_.size();
  std::vector<Spans> witnesses(rows);
  for (std::size_t x = 0; x < rows; ++x) {
    Spans others;
    for (std::size_t y = 0; y < rows && y < kMaxCaptures; ++y) {
      if (y != x && (compared_ >> y & 1) != 0)
        others.insert(others.end(), clean_[y].begin(), clean_[y].end());
    }
    witnesses[x] = report::html::Union(others);
  }
  for (Finding& f : result_.findings) {
    f.verdict = f.count > 0 ? Verdict::kLostHere
                : Covered(witnesses[f.capture], f.from, f.to, settings_.toleranceMs)
                    ? Verdict::kNotSent
                    : Verdict::kUnknown;
  }
  std::stable_sort(result_.findings.begin(), result_.findings.end(),
                   [](const Finding& a, const Finding& b) {
                     if (a.from != b.from) return a.from < b.from;
                     if (a.capture != b.capture) return a.capture < b.capture;
                     if (a.kind != b.kind) return a.kind < b.kind;
                     return a.id < b.id;
                   });
}

}  // namespace

bool Compare(const report::PageData& data, const std::vector<std::string>& paths,
             const Settings& settings, Result* result, std::FILE* err) {
  Result& r = *result;
  r = Result();
  r.toleranceMs = settings.toleranceMs;
  const std::vector<std::string> names = report::CaptureNames(data.rows);
  std::vector<std::vector<std::string>> files(data.rows.size());
  for (std::size_t i = 0; i < data.rows.size(); ++i) {
    const report::PageData::Row& row = data.rows[i];
    Capture c;
    c.name = names[i];
    for (std::size_t f : row.files) {
      const report::FileReport::Totals& n = data.files[f].numbers;
      c.untimed += n.untimed;
      if (n.first != report::kNoTime && (c.first == report::kNoTime || n.first < c.first))
        c.first = n.first;
      if (n.last != report::kNoTime && (c.last == report::kNoTime || n.last > c.last))
        c.last = n.last;
    }
    if (row.folder == "-") {
      r.notes.push_back(c.name +
                        " is read from standard input, which is read once: it is not compared");
    } else if (i >= kMaxCaptures) {
      r.notes.push_back(c.name + " is not compared: " + std::to_string(kMaxCaptures) +
                        " captures are compared at most");
    } else if (row.timed == 0 && c.untimed > 0) {
      r.notes.push_back(c.name + " is not compared: none of its records carries its arrival time");
    } else {
      c.compared = true;
      for (const std::string& p : paths) {
        if (p != "-" && Directory(p) == row.folder) files[i].push_back(p);
      }
    }
    if (c.untimed > 0 && c.compared) {
      r.notes.push_back(
          c.name + ": " + report::html::Number(c.untimed) +
          " records carry no arrival time: they cannot be matched and are not compared");
    }
    r.captures.push_back(c);
  }
  if (r.Compared() < 2) {
    for (Capture& c : r.captures) c.compared = false;
    return true;
  }
  Judge judge(data, settings, result);
  Matcher matcher(settings.toleranceMs * 10000, [&judge](const Match& m) { judge.Take(m); });
  std::string why;
  const bool read = MatchFiles(files, matcher, &why);
  judge.Finish();
  for (std::size_t i = 0; i < r.captures.size(); ++i) {
    if (matcher.Late(i) == 0) continue;
    const std::uint64_t late = matcher.Late(i);
    r.notes.push_back(r.captures[i].name + ": " + report::html::Number(late) +
                      (late == 1 ? " record came" : " records came") + " more than 4,096 places out of arrival order: each may "
                      "be counted as missing from this capture and from the others");
  }
  if (!read) {
    std::fprintf(err, "pktdump: %s\n", why.c_str());
    r.notes.push_back("The comparison stopped: " + why);
  }
  return read;
}

}  // namespace fleet
}  // namespace pktdump

// pktdump report: the page's data. Each file's report is folded into
// PageData in name order: its line of numbers, its capture's row of Traffic
// and the settlement of that capture's sequence numbers, who it heard, and
// its events. Spans of time are kept bounded, so that the page's size does
// not grow with the captures' length.
#include <algorithm>

#include "report_page_internal.h"

#include "core/packet_file.h"

namespace pktdump {
namespace report {
namespace html {

// Spans [from, to), sorted and joined where they overlap.
Spans Union(Spans spans) {
  std::sort(spans.begin(), spans.end());
  Spans out;
  for (const auto& s : spans) {
    if (!out.empty() && s.first <= out.back().second) {
      out.back().second = std::max(out.back().second, s.second);
    } else {
      out.push_back(s);
    }
  }
  return out;
}

// Spans minus the spans cut (both sorted, without overlaps).
Spans Minus(const Spans& spans, const Spans& cut) {
  Spans out;
  for (auto s : spans) {
    for (const auto& c : cut) {
      if (c.second <= s.first || c.first >= s.second) continue;
      if (c.first > s.first) out.emplace_back(s.first, c.first);
      s.first = std::max(s.first, c.second);
      if (s.first >= s.second) break;
    }
    if (s.first < s.second) out.push_back(s);
  }
  return out;
}

}  // namespace html

namespace {

using html::Escape;
using html::kTableRows;
using html::Minus;
using html::Number;
using html::Spans;
using html::Union;

// Spans without overlaps, and never more than a bound: the closest are
// joined, so that a capture that lost all day keeps a page of bounded size.
void Bound(Spans& spans, std::size_t limit = 4096) {
  spans = Union(std::move(spans));
  for (std::int64_t close = 1000; spans.size() > limit; close *= 2) {
    Spans joined;
    for (const auto& s : spans) {
      if (!joined.empty() && s.first - joined.back().second <= close) {
        joined.back().second = std::max(joined.back().second, s.second);
      } else {
        joined.push_back(s);
      }
    }
    spans.swap(joined);
  }
}

// A gap with its times, for the comparison of workstations.
void KeepGapSpan(PageData::Row& row, const varnet::RunEvent& e) {
  if (row.gapSpans.size() >= PageData::kGapSpansKept) {
    ++row.gapSpansNotKept;
    return;
  }
  PageData::GapSpan g;
  const bool before = e.beforeTime != varnet::kNoRunTime;
  g.from = before ? std::min(e.beforeTime, e.time) : e.time;
  g.to = before ? std::max(e.beforeTime, e.time) : e.time;
  g.sequenceFrom = e.from;
  g.sequenceTo = e.to;
  g.skipped = e.lost;
  row.gapSpans.push_back(g);
}

}  // namespace

void PageData::Note(std::size_t file, const Event& e) {
  ++eventCounts[e.kind];
  ++allEvents;
  if (e.time != kNoTime) eventMarks[e.kind].Add(e.time, 1);
  Keep(file, e);
}

// Of each kind the earliest a table lists (no time after every time; equal
// times in the order they come).
void PageData::Keep(std::size_t file, const Event& e) {
  auto when = [](const Event& x) { return x.time == kNoTime ? INT64_MAX : x.time; };
  std::vector<Listed>& kept = events[e.kind];
  // A text listed already from an earlier file of the same capture takes
  // these as repeats; one that came first in this file becomes the listed
  // one. Another capture's are its own rows.
  const std::string text = e.text.substr(0, 300);
  for (auto it = kept.begin(); it != kept.end(); ++it) {
    if (it->event.text != text || files[it->file].folder != files[file].folder) continue;
    Listed merged = *it;
    merged.event.count += e.count;
    if (e.last != kNoTime && (merged.event.last == kNoTime || e.last > merged.event.last)) {
      merged.event.last = e.last;
    }
    if (when(e) < when(it->event)) {
      merged.event.time = e.time;
      merged.event.record = e.record;
      merged.file = file;
    }
    kept.erase(it);
    auto at = std::upper_bound(kept.begin(), kept.end(), when(merged.event),
                               [&](std::int64_t t, const Listed& l) { return t < when(l.event); });
    kept.insert(at, std::move(merged));
    return;
  }
  if (kept.size() >= kTableRows && when(kept.back().event) <= when(e)) return;
  auto at = std::upper_bound(kept.begin(), kept.end(), when(e),
                             [&](std::int64_t t, const Listed& l) { return t < when(l.event); });
  Listed listed{e, file};
  listed.event.text = text;
  kept.insert(at, std::move(listed));
  if (kept.size() > kTableRows) kept.pop_back();
}

void PageData::Apply(Row& row, const varnet::RunEvent& e) {
  const bool in = e.time == varnet::kNoRunTime ? !window.Narrowed() : window.Holds(e.time);
  FileReport::Totals& n = files[static_cast<std::size_t>(e.file)].numbers;
  switch (e.kind) {
    case varnet::RunEvent::kGap:
      // Lost from the record before the gap to the one after it, wherever
      // the window is: no silence is claimed there.
      if (e.time != varnet::kNoRunTime) {
        row.lost.emplace_back(e.beforeTime != varnet::kNoRunTime ? std::min(e.beforeTime, e.time)
                                                                  : e.time,
                              std::max(e.beforeTime, e.time) + 1);
        if (row.lost.size() > 8192) Bound(row.lost);
      }
      if (!in) return;
      ++n.gaps;
      n.lost += e.lost;
      ++row.gaps;
      row.lostCount += e.lost;
      if (e.time != varnet::kNoRunTime) {
        row.gapMarks.Add(e.time, 1, e.lost);
        KeepGapSpan(row, e);
      }
      ++gapsCounted;
      if (gaps.size() < kTableRows) {
        gaps.emplace_back(FileReport::Gap{e.time == varnet::kNoRunTime ? kNoTime : e.time, e.from, e.to},
                          static_cast<std::size_t>(e.file));
      }
      return;
    case varnet::RunEvent::kMissing:
      if (e.time != varnet::kNoRunTime) {
        row.notGiven.emplace_back(
            e.beforeTime != varnet::kNoRunTime ? std::min(e.beforeTime, e.time) : e.time,
            std::max(e.beforeTime, e.time) + 1);
        if (row.notGiven.size() > 8192) Bound(row.notGiven);
      }
      if (in) n.missing += e.lost;
      return;
    case varnet::RunEvent::kEarlier:
      if (!in) return;
      n.earlier += e.lost;
      n.earlierFrom = e.from;
      n.earlierTo = e.to;
      return;
    case varnet::RunEvent::kRepeat:
      if (in) n.repeats += e.lost;
      return;
    case varnet::RunEvent::kNewRun: {
      if (!in) return;
      ++n.runs;
      Event event;
      event.time = e.time == varnet::kNoRunTime ? kNoTime : e.time;
      event.record = e.record;
      event.kind = "new run";
      event.text = EventText(e);
      Note(static_cast<std::size_t>(e.file), event);
      return;
    }
  }
}

void PageData::Fold(const FileReport& f) {
  const std::size_t index = files.size();
  File file;
  file.name = f.Name();
  file.folder = f.Folder();
  file.hourStart = f.HourStart();
  file.numbers = f.Numbers();
  auto top = [](const auto& counts, auto name) {
    std::vector<std::pair<std::uint64_t, std::string>> v;
    for (const auto& [key, count] : counts) v.emplace_back(count, name(key));
    std::sort(v.begin(), v.end(), [](const auto& a, const auto& b) {
      return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::string out;
    for (std::size_t i = 0; i < v.size() && i < 5; ++i) {
      out += (i ? ", " : "") + Escape(v[i].second) + " (" + Number(v[i].first) + ")";
    }
    return out;
  };
  file.busiestDevices = top(f.DeviceCounts(), [](int d) { return std::to_string(d); });
  file.busiestKinds = top(f.KindCounts(), [](const std::string& k) { return k; });
  files.push_back(std::move(file));
  const FileReport::Totals& n = f.Numbers();

  // Its row of Traffic: the files of its folder, one capture.
  auto row = std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.folder == f.Folder(); });
  if (row == rows.end()) {
    rows.emplace_back();
    row = rows.end() - 1;
    row->folder = f.Folder();
  }
  row->files.push_back(index);
  row->records += n.records;
  row->timed += n.timed;
  row->traffic.Merge(f.Traffic());
  widest = std::max(widest, f.Traffic().Width());

  // The capture's sequence goes on from its file before: gaps across the
  // hour change, runs a clock set back interleaved, the wrap.
  std::shared_ptr<varnet::CaptureRuns>& capture = captures[f.Folder()];
  if (capture == nullptr) capture = std::make_shared<varnet::CaptureRuns>();
  const std::int64_t hour = varnet::NaiveHourOf(f.Name());
  capture->Fold(f.Runs(), static_cast<int>(index), hour == varnet::kNoHour ? varnet::kNoRunTime : hour);
  for (const varnet::RunEvent& e : capture->Take()) Apply(*row, e);

  // Who was alive. The silences are known as silences only against the
  // usual interval of every file together, which can only grow: hearings
  // apart by no more than twice the usual interval so far are joined now.
  if (!f.Workstations().empty()) heartbeats = true;
  if (n.last != kNoTime) heardUntil = std::max(heardUntil, n.last + 1);
  auto hear = [](Heard& h, const Liveness& l) {
    h.count += l.Count();
    h.usual = std::max(h.usual, l.Usual());
    if (h.first == kNoTime || l.First() < h.first) h.first = l.First();
    if (h.last == kNoTime || l.Last() > h.last) h.last = l.Last();
    std::int64_t at = l.First();
    for (const auto& s : l.Silences()) {
      h.alive.emplace_back(at, s.first);
      at = s.second;
    }
    h.alive.emplace_back(at, l.Last());
    Spans joined;
    for (const auto& s : Union(h.alive)) {
      if (!joined.empty() && s.first - joined.back().second <= 2 * h.usual) {
        joined.back().second = std::max(joined.back().second, s.second);
      } else {
        joined.push_back(s);
      }
    }
    h.alive.swap(joined);
  };
  for (const auto& [ws, l] : f.Workstations()) {
    hear(workstations[ws], l);
    hear(row->workstations[ws], l);
  }
  for (const auto& [d, l] : f.Devices()) {
    hear(devices[d], l);
    hear(row->devices[d], l);
    revertiveCounts[d] += l.Count();
  }

  // Events: counted all, marked per column, and of each kind the earliest
  // a table lists (no time after every time; equal times in file order).
  for (const auto& [kind, count] : f.EventCounts()) {
    eventCounts[kind] += count;
    allEvents += count;
  }
  for (const auto& [kind, marks] : f.EventMarks()) eventMarks[kind].Merge(marks);
  for (const Event& e : f.Events()) Keep(index, e);
}

void PageData::Finish() {
  covered.clear();
  for (Row& row : rows) {
    auto it = captures.find(row.folder);
    if (it == captures.end()) continue;
    it->second->Finish();
    for (const varnet::RunEvent& e : it->second->Take()) Apply(row, e);
    row.recording.clear();
    for (const varnet::RecordingSpan& r : it->second->Recording()) {
      row.recording.emplace_back(r.from, r.to + 1);
    }
    Bound(row.recording);
    Bound(row.lost);
    Bound(row.notGiven);
    // Where this capture recorded and lost nothing, a silence is a silence.
    for (const auto& s : Minus(Minus(row.recording, row.lost), row.notGiven)) covered.push_back(s);
  }
  covered = Union(covered);
  captures.clear();
}

}  // namespace report
}  // namespace pktdump

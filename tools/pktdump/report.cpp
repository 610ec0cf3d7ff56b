// pktdump report: gathering. Each record goes through Varnet's own
// decoders; what they write is judged by Analyse's own rule for unusual
// entries (on the line as the capture log would stamp it), what they
// error-log and the clocks they set become events, the devices they note
// (the decoders' one device rule) and the heartbeats they see feed the
// alive strips. Nothing is kept per datagram: counts go into buckets.
#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

#include "core/record_decoder.h"
#include "core/log_text.h"
#include "wall_time.h"

namespace pktdump {
namespace report {

namespace {
using trelm::FloorDiv;
}  // namespace

// ---------------------------------------------------------------- Buckets

std::int64_t Buckets::NextWidth(std::int64_t width) {
  static const std::int64_t ladder[] = {1000,    2000,    10000,    30000,    60000,
                                        300000,  600000,  1800000,  3600000,  7200000,
                                        21600000, 86400000, 604800000};
  for (std::int64_t w : ladder) {
    if (w > width) return w;
  }
  return width * 2;
}

void Buckets::Add(std::int64_t ms, std::uint64_t a, std::uint64_t b) {
  Cell& cell = cells_[FloorDiv(ms, width_)];
  cell.a += a;
  cell.b += b;
  if (ms < cell.first) cell.first = ms;
  if (cells_.size() > limit_) Widen(NextWidth(width_));
}

void Buckets::Merge(const Buckets& other) {
  if (other.width_ > width_) Widen(other.width_);
  for (const auto& [key, cell] : other.cells_) {
    Cell& into = cells_[FloorDiv(key * other.width_, width_)];
    into.a += cell.a;
    into.b += cell.b;
    into.first = std::min(into.first, cell.first);
  }
  if (cells_.size() > limit_) Widen(width_);
}

void Buckets::Widen(std::int64_t width) {
  while (width_ < width || cells_.size() > limit_) {
    const std::int64_t old = width_;
    width_ = NextWidth(width_);
    std::map<std::int64_t, Cell> wider;
    for (const auto& [key, cell] : cells_) {
      Cell& into = wider[FloorDiv(key * old, width_)];
      into.a += cell.a;
      into.b += cell.b;
      into.first = std::min(into.first, cell.first);
    }
    cells_.swap(wider);
  }
}

// --------------------------------------------------------------- Liveness

int Liveness::Bin(std::int64_t interval) {
  if (interval <= 1) return 0;
  const int bin = static_cast<int>(std::log2(static_cast<double>(interval)) * 6);
  return std::min(bin, kBins - 1);
}

std::int64_t Liveness::Usual() const {
  if (intervals_ == 0) return 0;
  std::uint64_t seen = 0;
  for (int b = 0; b < kBins; ++b) {
    seen += bins_[b];
    if (seen * 10 >= intervals_ * 9) return static_cast<std::int64_t>(sums_[b] / bins_[b] + 0.5f);
  }
  return 0;
}

void Liveness::Heard(std::int64_t ms) {
  ++count_;
  if (first_ == kNoTime) {
    first_ = last_ = ms;
    return;
  }
  if (ms < first_) first_ = ms;
  // Records may come a little out of order: only a later one makes an
  // interval.
  if (ms <= last_) return;
  const std::int64_t interval = ms - last_;
  const int bin = Bin(interval);
  ++bins_[bin];
  sums_[bin] += static_cast<float>(interval);
  ++intervals_;
  // A silence may count once the usual interval is known; until then every
  // interval is a candidate. Nine in ten intervals stay within the usual
  // one, so it is known only once a silence is one of far more than ten:
  // among the first few it would be the usual interval itself.
  constexpr std::uint64_t kKnownAfter = 32;
  const std::int64_t usual = intervals_ > kKnownAfter ? Usual() : 0;
  if (intervals_ <= kKnownAfter || interval * 2 > usual * 3) {
    if (candidates_.capacity() == 0) candidates_.reserve(2 * kKept);
    candidates_.emplace_back(last_, ms);
    if (candidates_.size() >= 2 * kKept) {
      // Keep the longest.
      std::sort(candidates_.begin(), candidates_.end(), [](const auto& x, const auto& y) {
        return x.second - x.first > y.second - y.first;
      });
      candidates_.resize(kKept);
      std::sort(candidates_.begin(), candidates_.end());
    }
  }
  last_ = ms;
}

std::vector<std::pair<std::int64_t, std::int64_t>> Liveness::Silences() const {
  const std::int64_t usual = Usual();
  std::vector<std::pair<std::int64_t, std::int64_t>> out;
  if (usual <= 0) return out;
  for (const auto& c : candidates_) {
    if (c.second - c.first > 2 * usual) out.push_back(c);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// ------------------------------------------------------------- FileReport

// What the decoders say about one record beside its facts: the lines
// Analyse would list, and the error log's entries.
class FileReport::Host : public varnet::NullDecoderHost {
 public:
  explicit Host(const std::string& ini) : decoder_(*this, ini) {}
  const varnet::DatagramFacts& Decode(const varnet::RecordView& view) {
    unusual_.clear();
    errors_.clear();
    return decoder_.Decode(view);
  }
  void WriteLine(const char* text, const varnet::LineFacts& facts) override {
    if (!facts.unusual || varnet::LogDropsText(text, decoder_.Options().showNxMessages != 0)) return;
    if (!unusual_.empty()) unusual_ += " | ";
    const std::size_t at = unusual_.size();
    unusual_ += text;
    varnet::BlankFirstLineEnds(&unusual_[at]);  // as the capture log writes it
  }
  void WriteErrorLog(const char* text) override {
    if (!errors_.empty()) errors_ += " | ";
    errors_ += text;
  }

  std::string unusual_, errors_;

 private:
  varnet::RecordDecoder decoder_;
};

FileReport::FileReport(std::string name, std::int64_t hourStart, const std::string& ini,
                       Window window)
    : name_(std::move(name)), hourStart_(hourStart), window_(window),
      host_(std::make_unique<Host>(ini)) {}

FileReport::~FileReport() = default;

void FileReport::Add(std::int64_t number, const varnet::RecordView& view) {
  std::int64_t ms = kNoTime;
  if (view.timed) ms = trelm::FiletimeMs(view.arrival.filetime);
  // The sequence is settled over every record of the capture, the window's
  // or not, so that a window counts what falls in it and nothing else.
  if (view.timed) {
    runs_.Add(number, view.arrival.sequence, view.arrival.run, ms == kNoTime ? varnet::kNoRunTime : ms);
  } else {
    runs_.Untimed();
  }
  if (ms != kNoTime ? !window_.Holds(ms)
                    : (window_.Narrowed() &&
                       (hourStart_ == kNoTime || hourStart_ + 3600000 <= window_.from ||
                        hourStart_ >= window_.to))) {
    ++totals_.outside;
    return;
  }
  ++totals_.records;
  const bool command = view.type == varnet::kRecordCommand;
  ++(command ? totals_.commands : totals_.revertives);
  if (ms != kNoTime) {
    ++totals_.timed;
    if (totals_.first == kNoTime || ms < totals_.first) totals_.first = ms;
    if (totals_.last == kNoTime || ms > totals_.last) totals_.last = ms;
    traffic_.Add(ms, command ? 1 : 0, command ? 0 : 1);
  } else {
    ++totals_.untimed;
  }
  // The datagram's code: its first two characters, where printable.
  char code[3] = {static_cast<char>(view.data[0]), static_cast<char>(view.data[1]), 0};
  for (char& c : code) {
    if (c != 0 && (c < 33 || c > 126)) c = '?';
  }
  ++kindCounts_[code[0] == 0 ? "(empty)" : code];

  now_ = ms;
  record_ = number;
  Host& host = *host_;
  const varnet::DatagramFacts& facts = host.Decode(view);
  for (int device : facts.devices) {
    ++deviceCounts_[device];
    if (!command && ms != kNoTime) devices_[device].Heard(ms);
  }
  if (facts.heartbeat >= 0 && ms != kNoTime &&
      (workstations_.size() < 1024 || workstations_.count(facts.heartbeat) != 0)) {
    workstations_[facts.heartbeat].Heard(ms);
  }
  if (facts.clockSet) {
    char clock[48];
    std::snprintf(clock, sizeof clock, "%04d-%02d-%02d %02d:%02d:%02d.%03d", facts.year, facts.month,
                  facts.day, facts.hour, facts.minute, facts.second, facts.milliseconds);
    Note("clock-set", (std::string("sets the clock to ") + clock + ": " + host.unusual_).c_str());
  } else if (!host.unusual_.empty()) {
    Note("unusual", host.unusual_.c_str());
  }
  if (!host.errors_.empty()) Note("errorlog", host.errors_.c_str());
}

void FileReport::Bad(std::int64_t number, const std::string& fault) {
  ++totals_.bad;
  now_ = kNoTime;
  record_ = number;
  Note("bad record", fault.c_str());
}

void FileReport::Note(const char* kind, const char* text) {
  ++eventCounts_[kind];
  if (now_ != kNoTime) {
    auto it = eventMarks_.find(kind);
    if (it == eventMarks_.end()) it = eventMarks_.emplace(kind, Buckets()).first;
    it->second.Add(now_, 1);
  }
  // A text seen before is a repeat of its first; the first kEventsKept
  // texts of each kind are kept, so that rare ones are never crowded out.
  const std::string key = std::string(kind) + '\n' + text;
  const auto it = eventIndex_.find(key);
  if (it != eventIndex_.end()) {
    Event& first = events_[it->second];
    ++first.count;
    if (now_ != kNoTime && (first.last == kNoTime || now_ > first.last)) first.last = now_;
    return;
  }
  if (textsKept_[kind] >= kEventsKept) return;
  ++textsKept_[kind];
  eventIndex_.emplace(key, events_.size());
  events_.push_back({now_, record_, kind, text, 1, now_});
}

void FileReport::Finish() {
  // What only the reading needs goes: a week's files are held together
  // until the page is drawn, and the page needs only the counts.
  host_.reset();
}

}  // namespace report
}  // namespace pktdump

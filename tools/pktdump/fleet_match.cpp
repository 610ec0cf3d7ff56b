// pktdump's comparison of workstations: the matching. Each capture's files
// are read again record by record; its timed records wait in a heap of
// 4,096 (as the pcapng export's do) and leave earliest first; the captures
// are merged by their earliest; the matcher keeps only the matches still
// open, those within twice the tolerance of the latest arrival.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

#include "core/packet_file.h"
#include "fleet.h"

namespace pktdump {
namespace fleet {

std::uint64_t KeyOf(std::uint8_t type, std::uint16_t length, const std::uint8_t* data) {
  // FNV-1a over the kind, the length and the bytes received, then mixed so
  // that the map's buckets spread.
  std::uint64_t h = 1469598103934665603ull;
  auto add = [&h](std::uint8_t byte) {
    h ^= byte;
    h *= 1099511628211ull;
  };
  add(type);
  add(static_cast<std::uint8_t>(length >> 8));
  add(static_cast<std::uint8_t>(length));
  const std::size_t n = std::min<std::size_t>(length, varnet::kDatagramSize);
  for (std::size_t i = 0; i < n; ++i) add(data[i]);
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return h;
}

void Matcher::Add(std::size_t capture, Datagram d) {
  if (latest_ != INT64_MIN && latest_ - d.ticks > tolerance_) {
    if (late_.size() <= capture) late_.resize(capture + 1, 0);
    ++late_[capture];
  }
  latest_ = std::max(latest_, d.ticks);
  while (!open_.empty() && d.ticks - open_.front().first > 2 * tolerance_) Close();
  const std::uint64_t bit = 1ull << capture;
  std::vector<std::uint64_t>& same = byKey_[d.key];
  for (std::uint64_t number : same) {
    Pending& o = open_[number - base_];
    if ((o.match.holders & bit) != 0) continue;
    const std::int64_t first = std::min(o.first, d.ticks), last = std::max(o.last, d.ticks);
    if (last - first > tolerance_) continue;
    o.first = first;
    o.last = last;
    o.match.holders |= bit;
    if (d.ticks < o.match.copy.ticks) o.match.copy.ticks = d.ticks;
    return;
  }
  same.push_back(base_ + open_.size());
  Pending o{d.ticks, d.ticks, Match{bit, std::move(d)}};
  open_.push_back(std::move(o));
  mostOpen_ = std::max(mostOpen_, open_.size());
}

void Matcher::Close() {
  Pending& o = open_.front();
  auto it = byKey_.find(o.match.copy.key);
  // The oldest open match of its key is the oldest number in its list.
  it->second.erase(it->second.begin());
  if (it->second.empty()) byKey_.erase(it);
  done_(o.match);
  open_.pop_front();
  ++base_;
}

void Matcher::Finish() {
  while (!open_.empty()) Close();
}

namespace {

constexpr std::size_t kReorder = 4096;

struct Waiting {
  std::uint64_t order;
  Datagram datagram;
};
bool Later(const Waiting& a, const Waiting& b) {
  return a.datagram.ticks != b.datagram.ticks ? a.datagram.ticks > b.datagram.ticks
                                              : a.order > b.order;
}

// One capture's timed records, earliest first within the heap's reach.
class Stream {
 public:
  explicit Stream(const std::vector<std::string>& files) : files_(files) {}
  ~Stream() { CloseFile(); }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  // Reads on until the heap holds kReorder records or the files end.
  bool Fill(std::string* why);
  bool Empty() const { return waiting_.empty(); }
  std::int64_t Earliest() const { return waiting_.front().datagram.ticks; }
  Datagram Take() {
    std::pop_heap(waiting_.begin(), waiting_.end(), Later);
    Datagram d = std::move(waiting_.back().datagram);
    waiting_.pop_back();
    return d;
  }

 private:
  void CloseFile() {
    reader_.reset();
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
  }
  const std::vector<std::string>& files_;
  std::size_t next_ = 0;
  std::FILE* file_ = nullptr;
  std::unique_ptr<varnet::PacketReader> reader_;
  std::vector<Waiting> waiting_;
  std::uint64_t order_ = 0;
};

bool Stream::Fill(std::string* why) {
  while (waiting_.size() < kReorder) {
    if (reader_ == nullptr) {
      if (next_ >= files_.size()) return true;
      const std::string& path = files_[next_++];
      file_ = std::fopen(path.c_str(), "rb");
      if (file_ == nullptr) {
        *why = path + ": cannot be read again for the comparison: " +
               std::generic_category().message(errno);
        return false;
      }
      reader_ = std::make_unique<varnet::PacketReader>(file_);
    }
    varnet::RecordView view;
    const varnet::PacketReader::Status status = reader_->Next(view);
    if (status == varnet::PacketReader::Status::Failed) {
      *why = files_[next_ - 1] + ": " + reader_->Fault();
      CloseFile();
      return false;
    }
    if (status == varnet::PacketReader::Status::End ||
        status == varnet::PacketReader::Status::Cut) {
      CloseFile();
      continue;
    }
    if (status != varnet::PacketReader::Status::Record || !view.timed) continue;
    Waiting w;
    w.order = order_++;
    Datagram& d = w.datagram;
    d.ticks = static_cast<std::int64_t>(view.arrival.filetime);
    d.type = view.type;
    d.length = view.length;
    d.key = KeyOf(view.type, view.length, view.data);
    d.bytes.assign(reinterpret_cast<const char*>(view.data),
                   std::min<std::size_t>(view.length, varnet::kDatagramSize));
    waiting_.push_back(std::move(w));
    std::push_heap(waiting_.begin(), waiting_.end(), Later);
  }
  return true;
}

}  // namespace

bool MatchFiles(const std::vector<std::vector<std::string>>& captures, Matcher& matcher,
                std::string* why) {
  std::vector<std::unique_ptr<Stream>> streams;
  for (const auto& files : captures) {
    streams.push_back(std::make_unique<Stream>(files));
    if (!streams.back()->Fill(why)) return false;
  }
  for (;;) {
    std::size_t next = streams.size();
    for (std::size_t c = 0; c < streams.size(); ++c) {
      if (streams[c]->Empty()) continue;
      if (next == streams.size() || streams[c]->Earliest() < streams[next]->Earliest()) next = c;
    }
    if (next == streams.size()) break;
    matcher.Add(next, streams[next]->Take());
    if (!streams[next]->Fill(why)) return false;
  }
  matcher.Finish();
  return true;
}

}  // namespace fleet
}  // namespace pktdump

// summary: per file its records, kinds, devices, span and rate, bad
// records, and across the files the gaps in the records' sequence numbers.
#include <map>

#include "pktdump_internal.h"
#include "sequence.h"

namespace pktdump {

namespace {

class SummarySink : public Sink {
 public:
  SummarySink(std::FILE* out, bool json) : out_(out), json_(json) {}
  void BeginFile(const std::string& name, const std::string&) override {
    name_ = name;
    commands_ = revertives_ = malformed_ = timed_ = 0;
    devices_.clear();
    bad_.clear();
    firstTime_ = lastTime_ = 0;
  }
  bool ListsBad() const override { return true; }
  void Bad(std::int64_t number, const std::string& fault) override {
    ++malformed_;
    if (json_) {
      bad_.push_back("{\"record\":" + std::to_string(number) + ",\"fault\":" + Json(fault) + "}");
    } else {
      std::fprintf(out_, "%s: record %lld is malformed: %s\n", name_.c_str(),
                   static_cast<long long>(number), fault.c_str());
    }
  }
  void Record(std::int64_t number, const varnet::RecordView& view) override {
    (view.type == varnet::kRecordCommand ? commands_ : revertives_) += 1;
    const int device = FirstDevice(view.type, view.data);
    if (device >= 0) ++devices_[device];
    if (!view.timed) return;
    if (timed_++ == 0) firstTime_ = view.arrival.filetime;
    lastTime_ = view.arrival.filetime;
    sequence_.Add(number, view.arrival.sequence);
  }
  void EndFile(std::int64_t records, std::size_t rest) override {
    if (rest != 0) ++malformed_;
    total_ += malformed_;
    const std::vector<SequenceEvent> events = sequence_.Take();
    const double seconds = static_cast<double>(lastTime_ - firstTime_) / 1e7;
    if (json_) {
      std::string o = "{\"file\":" + Json(name_) + ",\"records\":" + std::to_string(records) +
                      ",\"commands\":" + std::to_string(commands_) + ",\"revertives\":" +
                      std::to_string(revertives_) + ",\"malformed\":" + std::to_string(malformed_) +
                      ",\"bytes_after_last_record\":" + std::to_string(rest) + ",\"devices\":{";
      bool first = true;
      for (const auto& [device, count] : devices_) {
        o += (first ? "\"" : ",\"") + std::to_string(device) + "\":" + std::to_string(count);
        first = false;
      }
      o += "},\"bad_records\":[";
      for (std::size_t i = 0; i < bad_.size(); ++i) o += (i ? "," : "") + bad_[i];
      o += "]";
      if (timed_ > 0) {
        char rate[64];
        std::snprintf(rate, sizeof rate, "%.3f", seconds > 0 ? (timed_ - 1) / seconds : 0.0);
        o += ",\"first_time\":\"" + TimeText(firstTime_) + "\",\"last_time\":\"" +
             TimeText(lastTime_) + "\",\"per_second\":" + rate + ",\"gaps\":" + GapsJson(events);
      }
      std::fprintf(out_, "%s}\n", o.c_str());
      return;
    }
    std::fprintf(out_, "%s: %lld records, %ld commands, %ld revertives, %ld malformed\n",
                 name_.c_str(), static_cast<long long>(records), commands_, revertives_,
                 malformed_);
    if (rest != 0) std::fprintf(out_, "%s: %zu bytes after the last whole record\n", name_.c_str(), rest);
    if (timed_ > 0) {
      std::fprintf(out_, "%s: from %s to %s, %.3f s, %.1f datagrams a second\n", name_.c_str(),
                   TimeText(firstTime_).c_str(), TimeText(lastTime_).c_str(), seconds,
                   seconds > 0 ? (timed_ - 1) / seconds : 0.0);
    }
    PrintEvents(events);
    for (const auto& [device, count] : devices_) {
      std::fprintf(out_, "%s: device %03d: %ld datagrams\n", name_.c_str(), device, count);
    }
  }
  // After every file: the gaps still open.
  bool EndAll(long* bad) override {
    sequence_.Settle(true);
    const std::vector<SequenceEvent> events = sequence_.Take();
    if (!json_) {
      PrintEvents(events);
    } else if (GapsJson(events) != "[]") {
      std::fprintf(out_, "{\"file\":%s,\"gaps_at_the_end\":%s}\n", Json(name_).c_str(),
                   GapsJson(events).c_str());
    }
    *bad = total_;
    return true;
  }
  long Malformed() const { return total_; }

 private:
  void PrintEvents(const std::vector<SequenceEvent>& events) {
    for (const SequenceEvent& e : events) {
      std::fprintf(out_, "%s: %s\n", name_.c_str(), EventText(e).c_str());
    }
  }
  static std::string GapsJson(const std::vector<SequenceEvent>& events) {
    std::string o = "[";
    for (const SequenceEvent& e : events) {
      if (e.newRun) continue;
      o += (o.size() > 1 ? ",{\"lost\":" : "{\"lost\":") + std::to_string(e.lost) +
           ",\"from\":" + std::to_string(e.from) + ",\"to\":" + std::to_string(e.to) + "}";
    }
    return o + "]";
  }

  std::FILE* out_;
  const bool json_;
  std::string name_;
  long commands_ = 0, revertives_ = 0, malformed_ = 0, total_ = 0;
  std::map<int, long> devices_;
  std::vector<std::string> bad_;
  // The arrivals: this file's span, and the sequence across the files.
  long timed_ = 0;
  std::uint64_t firstTime_ = 0, lastTime_ = 0;
  SequenceGaps sequence_;
};

}  // namespace

std::unique_ptr<Sink> MakeSummarySink(const Options& o, std::FILE* out, std::FILE*) {
  return std::make_unique<SummarySink>(out, o.json);
}

long Summarise(const File& file, std::FILE* out) {
  MemorySource source(file);
  SummarySink sink(out, false);
  Run(source, BaseName(file.name), file.name, sink, Filter(), true, out);
  return sink.Malformed();
}

}  // namespace pktdump

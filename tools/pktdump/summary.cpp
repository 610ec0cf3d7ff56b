// summary: per file its records, kinds, devices, span and rate, its bad
// records, and the runs, gaps and repeats of the records' sequence numbers
// that fall in it. Gaps are known only once the reordering window has
// passed them, perhaps files later, so the files are said at the end, each
// with everything that falls in it. In JSON, files of two or more folders
// (workstations' captures) are then compared, as the report compares them.
#include <algorithm>
#include <map>
#include <set>

#include "core/packet_file.h"
#include "fleet.h"
#include "modes.h"
#include "output.h"
#include "sequence.h"

namespace pktdump {

namespace {

struct FileSummary {
  std::string name;
  std::int64_t records = 0;
  std::size_t rest = 0;
  long commands = 0, revertives = 0, malformed = 0, timed = 0;
  std::map<int, long> devices;
  std::vector<std::pair<std::int64_t, std::string>> bad;  // record, fault
  std::uint64_t earliest = 0, latest = 0;
  std::vector<SequenceEvent> events;
};

// The files of two or more folders (workstations' captures): each file
// gathered as the report gathers it, so that the workstations are compared
// as the report's page compares them.
class Fleet {
 public:
  Fleet(const Options& o, std::FILE* err) : paths_(o.paths), err_(err) {
    settings_.toleranceMs = o.toleranceMs;
  }
  void BeginFile(const std::string& path) {
    const std::string name = BaseName(path);
    file_ = std::make_unique<report::FileReport>(name, report::HourOfName(name), std::string(),
                                                 report::Window());
    file_->SetFolder(Directory(path));
  }
  void Record(std::int64_t number, const varnet::RecordView& view) { file_->Add(number, view); }
  void Bad(std::int64_t number, const std::string& fault) { file_->Bad(number, fault); }
  void EndFile() {
    file_->Finish();
    data_.Fold(*file_);
    file_.reset();
  }
  // The comparison, as one line of JSON; false when a file could not be
  // read again (said on err).
  bool Print(std::FILE* out) {
    data_.Finish();
    fleet::Result result;
    const bool read = fleet::Compare(data_, paths_, settings_, &result, err_);
    std::fprintf(out, "%s\n", fleet::Json(result).c_str());
    return read;
  }
  // Whether the paths are of two or more folders.
  static bool Wanted(const Options& o) {
    std::set<std::string> folders;
    for (const std::string& p : o.paths) folders.insert(Directory(p));
    return o.json && folders.size() >= 2;
  }

 private:
  const std::vector<std::string> paths_;
  std::FILE* err_;
  fleet::Settings settings_;
  report::PageData data_;
  std::unique_ptr<report::FileReport> file_;
};

class SummarySink : public Sink {
 public:
  SummarySink(std::FILE* out, bool json, std::unique_ptr<Fleet> fleet = nullptr)
      : out_(out), json_(json), fleet_(std::move(fleet)) {}
  void BeginFile(const std::string& name, const std::string& path) override {
    files_.emplace_back();
    files_.back().name = name;
    runs_.BeginFile(static_cast<int>(files_.size() - 1), Directory(path), BaseName(path));
    if (fleet_ != nullptr) fleet_->BeginFile(path);
  }
  bool ListsBad() const override { return true; }
  void Bad(std::int64_t number, const std::string& fault) override {
    FileSummary& f = files_.back();
    ++f.malformed;
    if (fleet_ != nullptr) fleet_->Bad(number, fault);
    // Said as found, so that a file of garbage takes no memory; JSON keeps
    // the first of them for the file's object.
    if (!json_) {
      std::fprintf(out_, "%s: record %lld is malformed: %s\n", f.name.c_str(),
                   static_cast<long long>(number), fault.c_str());
    } else if (f.bad.size() < kListed) {
      f.bad.emplace_back(number, fault);
    }
  }
  void Record(std::int64_t number, const varnet::RecordView& view) override {
    FileSummary& f = files_.back();
    (view.type == varnet::kRecordCommand ? f.commands : f.revertives) += 1;
    for (int device : lineDevices_.Of(view)) ++f.devices[device];
    runs_.Add(number, view);
    if (fleet_ != nullptr) fleet_->Record(number, view);
    if (!view.timed) return;
    // Times can go back (a clock set, the two names' queues): the span is
    // from the earliest to the latest.
    const std::uint64_t t = view.arrival.filetime;
    if (f.timed++ == 0 || t < f.earliest) f.earliest = t;
    if (f.timed == 1 || t > f.latest) f.latest = t;
  }
  void EndFile(std::int64_t records, std::size_t rest) override {
    files_.back().records = records;
    files_.back().rest = rest;
    if (rest != 0) ++extra_;
    if (fleet_ != nullptr) fleet_->EndFile();
  }
  bool EndAll(long* bad) override {
    for (const SequenceEvent& e : runs_.Finish()) files_[e.file].events.push_back(e);
    for (FileSummary& f : files_) json_ ? PrintJson(f) : PrintText(f);
    *bad = Malformed();
    return fleet_ == nullptr || fleet_->Print(out_);
  }
  long Malformed() const {
    long n = extra_;
    for (const FileSummary& f : files_) n += f.malformed;
    return n;
  }

 private:
  void PrintText(const FileSummary& f) {
    const char* n = f.name.c_str();
    std::fprintf(out_, "%s: %s, %s, %s, %ld malformed\n", n, Count(f.records, "record").c_str(),
                 Count(f.commands, "command").c_str(), Count(f.revertives, "revertive").c_str(),
                 f.malformed);
    if (f.rest != 0) {
      std::fprintf(out_, "%s: %s\n", n, varnet::CutText(f.rest, f.records).c_str());
    }
    if (f.timed > 0) {
      const double seconds = static_cast<double>(f.latest - f.earliest) / 1e7;
      std::fprintf(out_, "%s: from %s to %s, %.3f s, %.1f datagrams a second\n", n,
                   TimeText(f.earliest).c_str(), TimeText(f.latest).c_str(), seconds,
                   seconds > 0 ? (f.timed - 1) / seconds : 0.0);
    }
    for (const SequenceEvent& e : f.events) std::fprintf(out_, "%s: %s\n", n, EventText(e).c_str());
    for (const auto& [device, count] : f.devices) {
      std::fprintf(out_, "%s: device %03d: %s\n", n, device, Count(count, "datagram").c_str());
    }
  }
  void PrintJson(const FileSummary& f) {
    std::string o = "{\"file\":" + Json(f.name) + ",\"records\":" + std::to_string(f.records) +
                    ",\"commands\":" + std::to_string(f.commands) + ",\"revertives\":" +
                    std::to_string(f.revertives) + ",\"malformed\":" + std::to_string(f.malformed) +
                    ",\"bytes_after_last_record\":" + std::to_string(f.rest) + ",\"devices\":{";
    bool first = true;
    for (const auto& [device, count] : f.devices) {
      o += (first ? "\"" : ",\"") + std::to_string(device) + "\":" + std::to_string(count);
      first = false;
    }
    o += "},\"bad_records\":[";
    for (std::size_t i = 0; i < f.bad.size(); ++i) {
      o += (i ? "," : "") + std::string("{\"record\":") + std::to_string(f.bad[i].first) +
           ",\"fault\":" + Json(f.bad[i].second) + "}";
    }
    o += "]";
    if (f.malformed > static_cast<long>(f.bad.size())) {
      o += ",\"bad_records_not_listed\":" + std::to_string(f.malformed - f.bad.size());
    }
    if (f.timed > 0) {
      const double seconds = static_cast<double>(f.latest - f.earliest) / 1e7;
      char rate[64];
      std::snprintf(rate, sizeof rate, "%.3f", seconds > 0 ? (f.timed - 1) / seconds : 0.0);
      o += ",\"first_time\":\"" + TimeText(f.earliest) + "\",\"last_time\":\"" +
           TimeText(f.latest) + "\",\"per_second\":" + rate;
      std::string gaps, runs, repeats;
      for (const SequenceEvent& e : f.events) {
        const std::string at = "{\"record\":" + std::to_string(e.record);
        if (e.kind == SequenceEvent::kGap || e.kind == SequenceEvent::kEarlier ||
            e.kind == SequenceEvent::kMissing) {
          gaps += (gaps.empty() ? "" : ",") + at + ",\"lost\":" + std::to_string(e.lost) +
                  ",\"from\":" + std::to_string(e.from) + ",\"to\":" + std::to_string(e.to) +
                  (e.kind == SequenceEvent::kEarlier   ? ",\"maybe_in_an_earlier_file\":true}"
                   : e.kind == SequenceEvent::kMissing ? ",\"maybe_in_a_missing_hour_file\":true}"
                                                       : "}");
        } else if (e.kind == SequenceEvent::kNewRun) {
          runs += (runs.empty() ? "" : ",") + at + ",\"sequence\":" + std::to_string(e.sequence) +
                  (e.run >= 0 ? ",\"run\":" + std::to_string(e.run) : std::string()) + "}";
        } else {
          repeats += (repeats.empty() ? "" : ",") + at + ",\"sequence\":" +
                     std::to_string(e.sequence) +
                     (e.lost > 1 ? ",\"count\":" + std::to_string(e.lost) + ",\"to\":" +
                                       std::to_string(e.to)
                                 : std::string()) +
                     "}";
        }
      }
      o += ",\"gaps\":[" + gaps + "],\"new_runs\":[" + runs + "],\"repeated\":[" + repeats + "]";
    }
    std::fprintf(out_, "%s}\n", o.c_str());
  }

  static constexpr std::size_t kListed = 1000;
  std::FILE* out_;
  const bool json_;
  std::vector<FileSummary> files_;
  LineDevices lineDevices_;  // with a first run's filters: summary takes no VARNET.INI
  long extra_ = 0;  // files that end in a cut record
  // Files of another folder are another capture.
  Settlement runs_;
  std::unique_ptr<Fleet> fleet_;  // two or more folders, in JSON
};

}  // namespace

std::unique_ptr<Sink> MakeSummarySink(const Options& o, std::FILE* out, std::FILE* err) {
  return std::make_unique<SummarySink>(out, o.json,
                                       Fleet::Wanted(o) ? std::make_unique<Fleet>(o, err) : nullptr);
}

long Summarise(const File& file, std::FILE* out) {
  MemorySource source(file);
  SummarySink sink(out, false);
  Run(source, BaseName(file.name), file.name, sink, Filter(), true, out);
  long bad = 0;
  sink.EndAll(&bad);
  return bad;
}

}  // namespace pktdump

// parquet: the records and sequence gaps of captures as Apache Parquet
// tables for DuckDB, Spark or Trino, partitioned hive-style by workstation
// and local date:
//   DIR/records/ws=N/date=YYYY-MM-DD/part-FFFFFFFF-YYYYMMDDHH.parquet
//   DIR/gaps/ws=N/date=YYYY-MM-DD/part-FFFFFFFF-YYYYMMDDHH.parquet
// A capture is the files of one folder, as in every mode; its workstation
// is the --ws in force where its files were named, else the digits its
// folder's name ends in, else 0. Each capture's files are read in hour
// order, one at a time, and each (workstation, date) gets one part a run:
// FFFFFFFF tells the capture's folder, YYYYMMDDHH is the part's first
// hour, so running again over the same hours replaces what was written.
// The date is the local date of the hour file's name. Gaps are known once
// the capture is settled: its gap parts follow, one beside each records
// part (no rows where none fell in that date). Every part is written beside
// its name and takes it only when whole. Malformed records are kept as
// rows (kind "malformed") and said; the exit code is then 1.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "command_line.h"
#include "core/packet_dump.h"
#include "core/packet_file.h"
#include "modes.h"
#include "output.h"
#include "parquet_tables.h"
#include "records.h"
#include "sequence.h"

namespace pktdump {

namespace {

using parquet::Writer;

struct Capture {
  std::string folder;
  int ws = 0;
  std::vector<std::string> paths;
};

// The number a folder's name ends in (0 to 65535), or 0.
int FolderWorkstation(const std::string& folder) {
  std::string name = folder;
  while (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.pop_back();
  std::size_t at = name.size();
  while (at > 0 && name[at - 1] >= '0' && name[at - 1] <= '9') --at;
  long long ws = 0;
  return trelm::WholeNumber(name.substr(at), 0, 65535, &ws) ? static_cast<int>(ws) : 0;
}

// The --ws in force for the argument of that index; -1 none.
int GivenWorkstation(const Options& o, std::size_t argument) {
  int ws = -1;
  for (const auto& [from, value] : o.workstations) {
    if (from <= argument) ws = value;
  }
  return ws;
}

std::string Hex32(const std::string& text) {
  std::uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : text) h = (h ^ c) * 16777619u;
  char out[9];
  std::snprintf(out, sizeof out, "%08x", h);
  return out;
}

// The captures in the order their first files were given; false with the
// reason said when a file cannot go in a partition.
bool Captures(const Options& o, std::vector<Capture>* captures, std::FILE* err) {
  std::map<std::string, std::size_t> byFolder;
  for (std::size_t i = 0; i < o.paths.size(); ++i) {
    const std::string& path = o.paths[i];
    if (path == "-" || !HourInName(path, nullptr)) {
      std::fprintf(err, "pktdump: %s: its name gives no hour (PKT_YYYYMMDD.HH), which its "
                   "date partition needs\n", path == "-" ? kStdinName : path.c_str());
      return false;
    }
    const std::string why = Unreadable(path);
    if (!why.empty()) {
      std::fprintf(err, "pktdump: %s: cannot be read: %s\n", path.c_str(), why.c_str());
      return false;
    }
    const std::string folder = Directory(path);
    const int given = GivenWorkstation(o, i < o.origins.size() ? o.origins[i] : 0);
    const int ws = given >= 0 ? given : FolderWorkstation(folder);
    const auto [at, isNew] = byFolder.emplace(folder, captures->size());
    if (isNew) captures->push_back({folder, ws, {}});
    Capture& c = (*captures)[at->second];
    if (c.ws != ws) {
      std::fprintf(err, "pktdump: %s: its folder is given as workstation %d and as %d: one "
                   "folder is one capture\n", path.c_str(), c.ws, ws);
      return false;
    }
    c.paths.push_back(path);
  }
  for (Capture& c : *captures) {
    std::stable_sort(c.paths.begin(), c.paths.end(), [](const std::string& a, const std::string& b) {
      return HourOrder(BaseName(a), BaseName(b));
    });
  }
  return true;
}

class FileOut : public parquet::ByteOut {
 public:
  explicit FileOut(std::FILE* file) : file_(file) {}
  bool Write(const std::string& bytes) override {
    return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
  }

 private:
  std::FILE* file_;
};

// One part: its file, written beside its name, and the table's writer.
class Part {
 public:
  Part(const std::string& dir, const std::string& table, int ws, const std::string& date,
       const std::string& name)
      : relative_(table + "/ws=" + std::to_string(ws) + "/date=" + date + "/" + name),
        path_(dir + "/" + relative_),
        output_(nullptr) {}
  bool Open(const std::vector<parquet::Column>& columns, std::FILE* err) {
    std::error_code failed;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), failed);
    if (failed) {
      std::fprintf(err, "pktdump: %s: cannot be made: %s\n",
                   std::filesystem::path(path_).parent_path().string().c_str(),
                   failed.message().c_str());
      return false;
    }
    if (!output_.Open(path_, err)) return false;
    out_ = std::make_unique<FileOut>(output_.Stream());
    parquet::Settings settings;
    settings.createdBy = std::string("pktdump ") + kVersion;
    writer_ = std::make_unique<Writer>(columns, *out_, settings);
    return true;
  }
  Writer& Table() { return *writer_; }
  // Finished and in place, said on out; false (and nothing left) when not.
  bool Close(bool ok, std::FILE* out, std::FILE* err) {
    const std::int64_t rows = writer_->Rows();
    ok = writer_->Finish() && ok;
    if (!output_.Close(ok, err)) return false;
    if (ok) std::fprintf(out, "%s: %lld rows\n", relative_.c_str(), static_cast<long long>(rows));
    return ok;
  }

 private:
  std::string relative_, path_;
  Output output_;
  std::unique_ptr<FileOut> out_;
  std::unique_ptr<Writer> writer_;
};

std::string DateOf(const std::string& path) {
  NameHour h;
  HourInName(path, &h);
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", h.year, h.month, h.day);
  return date;
}

std::string PartName(const Capture& c, const std::string& firstPath) {
  NameHour h;
  HourInName(firstPath, &h);
  char hour[16];
  std::snprintf(hour, sizeof hour, "%04d%02d%02d%02d", h.year, h.month, h.day, h.hour);
  return "part-" + Hex32(c.folder) + "-" + hour + ".parquet";
}

// One capture: its records part by part, then its gaps. Returns 0, 1 when
// it kept malformed records or met a cut file, -1 when it stopped.
class CaptureRun {
 public:
  CaptureRun(const Capture& c, const Options& o, std::FILE* out, std::FILE* err)
      : c_(c), o_(o), out_(out), err_(err), rows_(o.ini) {}

  int Run() {
    for (std::size_t i = 0; i < c_.paths.size(); ++i) {
      const std::string& path = c_.paths[i];
      const std::string date = DateOf(path);
      if (part_ == nullptr || date != dates_.back().first) {
        if (!ClosePart()) return -1;
        part_ = std::make_unique<Part>(o_.out, "records", c_.ws, date, PartName(c_, path));
        if (!part_->Open(parquet::RecordColumns(), err_)) return -1;
        dates_.emplace_back(date, PartName(c_, path));
      }
      names_.push_back(BaseName(path));
      fileDates_.push_back(dates_.size() - 1);
      runs_.BeginFile(static_cast<int>(i), c_.folder, BaseName(path));
      if (!ReadFile(path)) {
        part_->Close(false, out_, err_);
        return -1;
      }
    }
    if (!ClosePart()) return -1;
    return WriteGaps() ? (damaged_ ? 1 : 0) : -1;
  }

 private:
  bool ClosePart() {
    if (part_ == nullptr) return true;
    const bool ok = part_->Close(true, out_, err_);
    part_.reset();
    return ok;
  }

  bool ReadFile(const std::string& path) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
      std::fprintf(err_, "pktdump: %s: cannot be read: %s\n", path.c_str(), Unreadable(path).c_str());
      return false;
    }
    varnet::PacketReader reader(in);
    const std::string& name = names_.back();
    Writer& table = part_->Table();
    bool ok = true;
    for (bool more = true; more;) {
      varnet::RecordView view;
      switch (reader.Next(view)) {
        case varnet::PacketReader::Status::Record:
          runs_.Add(reader.Number(), view,
                    view.timed ? parquet::Micros(view.arrival.filetime) : varnet::kNoRunTime);
          rows_.Add(table, c_.ws, name, reader.Number(), view);
          break;
        case varnet::PacketReader::Status::Bad:
          std::fprintf(err_, "pktdump: %s: %s; kept as a malformed row\n", path.c_str(),
                       reader.Fault().c_str());
          rows_.AddMalformed(table, c_.ws, name, reader.Number(), view.data - varnet::kRecordHeader,
                             view.length, varnet::RecordFault(view));
          damaged_ = true;
          break;
        case varnet::PacketReader::Status::Cut:
          std::fprintf(err_, "pktdump: %s: %s\n", path.c_str(), reader.Fault().c_str());
          damaged_ = true;
          more = false;
          break;
        case varnet::PacketReader::Status::Failed:
          std::fprintf(err_, "pktdump: %s: %s\n", path.c_str(), reader.Fault().c_str());
          ok = more = false;
          break;
        case varnet::PacketReader::Status::End:
          more = false;
          break;
      }
    }
    std::fclose(in);
    return ok;
  }

  // A gaps part beside each records part, in the date of the file each
  // gap falls in.
  bool WriteGaps() {
    std::vector<std::vector<SequenceEvent>> byDate(dates_.size());
    for (const SequenceEvent& e : runs_.Finish()) {
      if (parquet::GapName(e) != nullptr) byDate[fileDates_.at(static_cast<std::size_t>(e.file))].push_back(e);
    }
    for (std::size_t d = 0; d < dates_.size(); ++d) {
      Part part(o_.out, "gaps", c_.ws, dates_[d].first, dates_[d].second);
      if (!part.Open(parquet::GapColumns(), err_)) return false;
      for (const SequenceEvent& e : byDate[d]) parquet::AddGap(part.Table(), c_.ws, e, names_);
      if (!part.Close(true, out_, err_)) return false;
    }
    return true;
  }

  const Capture& c_;
  const Options& o_;
  std::FILE* out_;
  std::FILE* err_;
  parquet::RecordRows rows_;
  Settlement runs_;
  std::unique_ptr<Part> part_;
  std::vector<std::pair<std::string, std::string>> dates_;  // date, part name
  std::vector<std::string> names_;  // by file index
  std::vector<std::size_t> fileDates_;
  bool damaged_ = false;
};

}  // namespace

int RunParquet(const Options& o, std::FILE* out, std::FILE* err, std::FILE*) {
  std::vector<Capture> captures;
  if (!Captures(o, &captures, err)) return 1;
  int code = 0;
  for (const Capture& c : captures) {
    const int done = CaptureRun(c, o, out, err).Run();
    if (done < 0) return 1;
    if (done > 0) code = 1;
  }
  return Finished(out, err, "the output") ? code : 1;
}

}  // namespace pktdump

// The record reading every mode shares: files and pipes read record by
// record, the filter, and the texts of names and times.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <cerrno>
#include <ctime>
#include <filesystem>

#include "core/record_decoder.h"
#include "core/input_file.h"
#include "core/packet_dump.h"
#include "core/packet_file.h"
#include "json_text.h"
#include "records.h"
#include "profile_text.h"
#include "scan_int.h"
#include "sequence.h"
#include "wall_time.h"

namespace pktdump {

std::string BaseName(const std::string& path) {
  if (path == "-") return kStdinName;
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Directory(const std::string& path) {
  if (path == "-") return path;
  std::error_code failed;
  const std::filesystem::path folder = std::filesystem::weakly_canonical(
      std::filesystem::absolute(path, failed).parent_path(), failed);
  if (!failed) return folder.string();
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Json(const std::string& text) { return trelm::JsonString(text); }

const char* KindName(int type) { return type == varnet::kRecordCommand ? "command" : "revertive"; }

std::string TimeText(std::uint64_t filetime) {
  if (filetime < trelm::kFiletimeUnixEpoch) return "before 1970";
  const std::uint64_t since = filetime - trelm::kFiletimeUnixEpoch;
  const trelm::CivilTime t =
      trelm::UtcCivil(static_cast<std::int64_t>(since / trelm::kFiletimeTicksPerSecond));
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%07uZ", t.year, t.month, t.day,
                t.hour, t.minute, t.second,
                static_cast<unsigned>(since % trelm::kFiletimeTicksPerSecond));
  return text;
}

// The decoders with nowhere for their lines to go: only the facts count.
class LineDevices::Host {
 public:
  explicit Host(const std::string& ini) : decoder_(nowhere_, ini) {}
  varnet::NullDecoderHost nowhere_;
  varnet::RecordDecoder decoder_;
};

LineDevices::LineDevices(const std::string& ini) : host_(std::make_unique<Host>(ini)) {}
LineDevices::~LineDevices() = default;

const std::vector<int>& LineDevices::Of(const varnet::RecordView& view) {
  return host_->decoder_.Decode(view).devices;
}

bool Passes(const Filter& filter, const varnet::RecordView& view, LineDevices* devices) {
  if (filter.kind != 0 && view.type != filter.kind) return false;
  if (filter.devices.empty()) return true;
  for (int device : devices->Of(view)) {
    if (std::find(filter.devices.begin(), filter.devices.end(), device) != filter.devices.end()) {
      return true;
    }
  }
  return false;
}

// The start of the hour a "PKT_YYYYMMDD.HH" name gives, as UTC seconds;
// false when the name gives none.
bool HourOf(const std::string& name, std::int64_t* hour) {
  NameHour when;
  if (!HourInName(name, &when)) return false;
  *hour = trelm::UtcSeconds({when.year, when.month, when.day, when.hour, 0, 0});
  return true;
}

bool HourInName(const std::string& name, NameHour* when) {
  return varnet::ParsePacketFileName(name, when);
}

bool MemorySource::Next(std::uint8_t (&record)[kRecordSize]) {
  if (at_ + kRecordSize > file_.bytes.size()) return false;
  std::memcpy(record, file_.bytes.data() + at_, kRecordSize);
  at_ += kRecordSize;
  return true;
}

bool StreamSource::Next(std::uint8_t (&record)[kRecordSize]) {
  errno = 0;
  const std::size_t n = std::fread(record, 1, kRecordSize, in_);
  if (n == kRecordSize) {
    ++read_;
    return true;
  }
  if (std::ferror(in_) != 0) errno_ = errno;
  rest_ = n;
  return false;
}

std::int64_t StreamSource::Skip(std::int64_t count) {
  if (!seekable_) return RecordSource::Skip(count);
  // Records are found by their number: no need to read those before.
  read_ += count;
  return varnet::SeekStdio(in_, read_ * static_cast<long long>(kRecordSize)) ? count : 0;
}

std::string StreamSource::Reason() const { return errno_ != 0 ? std::strerror(errno_) : "a read error"; }

std::string Unreadable(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return std::strerror(errno);
  std::fclose(f);
  return std::string();
}

bool ReadText(const std::string& path, std::string* text, std::FILE* err) {
  std::string why = Unreadable(path);
  if (why.empty()) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
      why = std::strerror(errno);
    } else {
      char chunk[4096];
      std::size_t n;
      while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text->append(chunk, n);
      if (std::ferror(f) != 0) why = std::strerror(errno);
      std::fclose(f);
    }
  }
  if (why.empty()) return true;
  std::fprintf(err, "pktdump: %s: cannot be read: %s\n", path.c_str(), why.c_str());
  return false;
}

bool RangeFits(const std::vector<std::unique_ptr<Input>>& inputs, const Filter& filter,
               std::FILE* err) {
  if (!filter.ranged) return true;
  for (const auto& input : inputs) {
    if (input->size < 0) continue;  // a pipe: said when it ends
    const long long records = input->size / static_cast<long long>(kRecordSize);
    if (filter.first > records) {
      std::fprintf(err, "pktdump: %s: holds %s: record %lld is not in it\n",
                   input->path.c_str(), Count(records, "record").c_str(),
                   static_cast<long long>(filter.first));
      return false;
    }
  }
  return true;
}

std::string Fault(const std::uint8_t (&record)[kRecordSize], varnet::RecordView& view) {
  varnet::ReadRecord(record, kRecordSize, view);
  return varnet::RecordFault(view);
}

// One file through a sink. A bad record (or a cut last one) ends the run
// with its message, or with keep-going is reported and skipped; summary
// lists them instead. Returns the count of bad records, or -1 when the
// run must stop.
long Run(RecordSource& source, const std::string& name, const std::string& path, Sink& sink,
         const Filter& filter, bool keepGoing, std::FILE* err) {
  sink.BeginFile(name, path);
  long bad = 0;
  const std::unique_ptr<LineDevices> devices =
      filter.devices.empty() ? nullptr : std::make_unique<LineDevices>(filter.ini);
  std::uint8_t record[kRecordSize];
  std::int64_t n = 0;
  bool ended = false;
  // A sink that needs every record (the gaps of decode's JSON) reads those
  // outside a --records range too, without showing them.
  const bool every = sink.WantsEvery();
  if (filter.first > 1 && !every) {
    n = source.Skip(filter.first - 1);
    ended = n < filter.first - 1;
  }
  while (!ended && (n < filter.last || every)) {
    if (!source.Next(record)) {
      ended = true;
      break;
    }
    ++n;
    varnet::RecordView view;
    if (n < filter.first || n > filter.last) {
      if (Fault(record, view).empty()) sink.Every(n, view);
      continue;
    }
    const std::string fault = Fault(record, view);
    if (!fault.empty()) {
      ++bad;
      if (sink.ListsBad()) {
        sink.Bad(n, fault);
        continue;
      }
      std::fprintf(err, "pktdump: %s: record %lld has %s%s\n", name.c_str(),
                   static_cast<long long>(n), fault.c_str(), keepGoing ? "; skipped" : "");
      if (!keepGoing) return -1;
      continue;
    }
    sink.Every(n, view);
    if (Passes(filter, view, devices.get())) sink.Record(n, view);
  }
  const std::size_t rest = ended ? source.Rest() : 0;
  if (rest != 0 && !sink.ListsBad()) {
    // A file cut inside a record (a run that stopped while it wrote) is
    // read to its last whole record, and said: damage, not a reason to
    // refuse what it holds.
    ++bad;
    std::fprintf(err, "pktdump: %s: %s\n", name.c_str(), varnet::CutText(rest, n).c_str());
  }
  // A range past the end, as RangeFits says it for files of a known size.
  if (filter.ranged && ended && !source.Failed()) {
    const std::string& named = path == "-" ? name : path;
    if (n < filter.first) {
      std::fprintf(err, "pktdump: %s: holds %s: record %lld is not in it\n", named.c_str(),
                   Count(n, "record").c_str(), static_cast<long long>(filter.first));
      return -1;
    }
    if (filter.last != INT64_MAX && n < filter.last) {
      std::fprintf(err, "pktdump: %s: holds %s: the range ends at %lld\n", named.c_str(),
                   Count(n, "record").c_str(), static_cast<long long>(n));
    }
  }
  sink.EndFile(n, rest);
  return bad;
}

// The size of an open file (past 2 GB too), or -1 when it has none (a
// pipe); the file is left at its start.
long long FileSize(std::FILE* in) {
#ifdef _WIN32
  if (_fseeki64(in, 0, SEEK_END) != 0) return -1;
  const long long size = _ftelli64(in);
#else
  if (fseeko(in, 0, SEEK_END) != 0) return -1;
  const long long size = ftello(in);
#endif
  if (!varnet::SeekStdio(in, 0)) return -1;
  return size;
}

bool Open(Input& input, std::FILE* in, std::FILE* err) {
  input.name = BaseName(input.path);
  if (input.path == "-") {
    input.file = in;
  } else {
    input.file = std::fopen(input.path.c_str(), "rb");
    input.owned = true;
  }
  if (input.file == nullptr || (input.path != "-" && !Unreadable(input.path).empty())) {
    const std::string why = input.path == "-" ? std::strerror(errno) : Unreadable(input.path);
    std::fprintf(err, "pktdump: %s: cannot be read: %s\n", input.path.c_str(),
                 why.empty() ? std::strerror(errno) : why.c_str());
    return false;
  }
  input.size = FileSize(input.file);
  return true;
}

// What makes a file of that size and those records unfit to go through, the
// size first; empty when nothing does.
std::string FirstFault(std::uint64_t size, RecordSource& source) {
  const std::string sizeFault = varnet::SizeFault(size);
  if (!sizeFault.empty()) return sizeFault;
  std::uint8_t record[kRecordSize];
  for (long long n = 1; source.Next(record); ++n) {
    varnet::RecordView view;
    const std::string fault = Fault(record, view);
    if (!fault.empty()) return "record " + std::to_string(n) + " has " + fault;
  }
  return std::string();
}

// A file on disk is checked whole before anything of it is shown: its
// size, then every record. Standard input is checked as it is read.
bool CheckWhole(Input& input, std::FILE* err) {
  if (input.size < 0) return true;
  const std::string& named = input.path == "-" ? input.name : input.path;
  StreamSource source(input.file, true);
  // A cut last record is said as the file is read; its whole records go.
  const std::uint64_t size = static_cast<std::uint64_t>(input.size);
  const std::string fault = FirstFault(size - varnet::PartialRecord(size), source);
  if (!fault.empty()) {
    std::fprintf(err, "pktdump: %s: %s\n", named.c_str(), fault.c_str());
    return false;
  }
  const bool read = !source.Failed();
  if (!read) {
    std::fprintf(err, "pktdump: %s: cannot be read: %s\n", named.c_str(), source.Reason().c_str());
  }
  return read && varnet::SeekStdio(input.file, 0);
}

}  // namespace pktdump

#include "pktdump_core.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "core/capture_config.h"
#include "core/decoder.h"
#include "core/log_text.h"
#include "core/packet_dump.h"
#include "core/packet_record.h"
#include "json_text.h"
#include "nbdgm.h"
#include "profile_text.h"
#include "scan_int.h"

namespace pktdump {

namespace {

using varnet::kDatagramSize;
using varnet::kRecordSize;

constexpr const char* kStdinName = "(standard input)";

std::string BaseName(const std::string& path) {
  if (path == "-") return kStdinName;
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Json(const std::string& text) { return trelm::JsonString(text); }

const char* KindName(int type) { return type == varnet::kRecordCommand ? "command" : "revertive"; }

// 100 ns intervals from 1601 to 1970.
constexpr std::uint64_t kUnixEpoch = 116444736000000000ull;

// A FILETIME as "2026-12-09T10:11:12.1234567Z" (UTC).
std::string TimeText(std::uint64_t filetime) {
  if (filetime < kUnixEpoch) return "before 1970";
  const std::uint64_t since = filetime - kUnixEpoch;
  const std::time_t seconds = static_cast<std::time_t>(since / 10000000u);
  char date[32] = "?";
  if (const std::tm* t = std::gmtime(&seconds)) std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", t);
  char text[48];
  std::snprintf(text, sizeof text, "%s.%07uZ", date, static_cast<unsigned>(since % 10000000u));
  return text;
}

// The decoders' outputs as lines of the file and record, or as one JSON
// object per record.
class Printer : public varnet::DecoderHost {
 public:
  Printer(std::FILE* out, const varnet::DecodeOptions& settings, bool json)
      : out_(out), settings_(settings), json_(json) {
    pending_.reserve(kFlushAt + 2048);
  }
  ~Printer() override { Flush(); }
  // Lines are gathered and written in large blocks.
  void Flush() {
    if (!pending_.empty()) std::fwrite(pending_.data(), 1, pending_.size(), out_);
    pending_.clear();
  }
  void Begin(const std::string& name, std::int64_t record, const varnet::RecordView& view) {
    name_ = name;
    record_ = record;
    view_ = view;
    lines_.clear();
    errors_.clear();
    devices_.clear();
    // A record that carries its arrival says when.
    prefixLength_ = static_cast<std::size_t>(std::snprintf(
        prefix_, sizeof prefix_, "%s:%06lld%s%s: ", name.c_str(), static_cast<long long>(record),
        view.timed ? " " : "", view.timed ? TimeText(view.arrival.filetime).c_str() : ""));
    if (prefixLength_ >= sizeof prefix_) prefixLength_ = sizeof prefix_ - 1;
  }
  void End() {
    if (json_) {
      pending_ += "{\"file\":" + Json(name_) + ",\"record\":" + std::to_string(record_) +
                  ",\"kind\":\"" + KindName(view_.type) + "\",\"length\":" +
                  std::to_string(view_.length);
      if (view_.timed) {
        pending_ += ",\"time\":\"" + TimeText(view_.arrival.filetime) +
                    "\",\"sequence\":" + std::to_string(view_.arrival.sequence);
      }
      pending_ += ",\"lines\":[";
      for (std::size_t i = 0; i < lines_.size(); ++i) pending_ += (i ? "," : "") + Json(lines_[i]);
      pending_ += "],\"devices\":[";
      for (std::size_t i = 0; i < devices_.size(); ++i) {
        pending_ += (i ? "," : "") + std::to_string(devices_[i]);
      }
      pending_ += "],\"errorlog\":[";
      for (std::size_t i = 0; i < errors_.size(); ++i) pending_ += (i ? "," : "") + Json(errors_[i]);
      pending_ += "]}\n";
    }
    if (pending_.size() >= kFlushAt) Flush();
  }
  void WriteLogLine(const char* text) override {
    if (varnet::LogDropsText(text, settings_.showNxMessages != 0)) return;
    std::string& into = json_ ? lines_.emplace_back() : pending_;
    if (!json_) into.append(prefix_, prefixLength_);
    const std::size_t at = into.size();
    into += text;
    // As the log does; the text just added ends at the string's end.
    varnet::BlankFirstLineEnds(&into[at]);
    if (!json_) into += '\n';
  }
  void ShowLine(const char*) override {}  // screen only: not in the log
  void WriteErrorLog(const char* text) override {
    if (json_) {
      errors_.push_back(text);
      return;
    }
    pending_.append(prefix_, prefixLength_);
    pending_ += "ERRORLOG: ";
    pending_ += text;
    pending_ += '\n';
  }
  void SetClockDate(int, int, int) override {}
  void SetClockTime(int, int, int, int) override {}
  void NoteDevice(int device) override {
    if (std::find(devices_.begin(), devices_.end(), device) == devices_.end()) {
      devices_.push_back(device);
    }
  }

 private:
  std::FILE* out_;
  const varnet::DecodeOptions& settings_;
  const bool json_;
  std::vector<int> devices_;
  static constexpr std::size_t kFlushAt = 1 << 20;
  char prefix_[320] = "";
  std::size_t prefixLength_ = 0;
  std::string pending_;
  std::string name_;
  std::int64_t record_ = 0;
  varnet::RecordView view_;
  std::vector<std::string> lines_;
  std::vector<std::string> errors_;
};

// The first device a datagram names, or -1.
int FirstDevice(std::uint8_t type, const std::uint8_t* data) {
  char text[kDatagramSize + 1];
  std::memcpy(text, data, kDatagramSize);
  text[kDatagramSize] = '\0';
  std::int32_t device = -1;
  if (type == varnet::kRecordCommand ||
      (std::strncmp(text, "GR", 2) == 0 || std::strncmp(text, "IR", 2) == 0 ||
       std::strncmp(text, "RR", 2) == 0)) {
    if (std::strlen(text) > 3 && trelm::ScanInt(text + 3, device)) return device;
    return -1;
  }
  if (std::strncmp(text, "UR", 2) == 0 && static_cast<signed char>(data[5]) > 0) {
    return (data[6] & 0x0F) << 8 | data[7];
  }
  return -1;
}

bool Passes(const Filter& filter, const varnet::RecordView& view) {
  if (filter.kind != 0 && view.type != filter.kind) return false;
  if (filter.devices.empty()) return true;
  const int device = FirstDevice(view.type, view.data);
  return std::find(filter.devices.begin(), filter.devices.end(), device) != filter.devices.end();
}

void Put16(std::vector<std::uint8_t>& v, unsigned x) {
  v.push_back(static_cast<std::uint8_t>(x));
  v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}
void Block(std::FILE* out, std::uint32_t type, const std::vector<std::uint8_t>& body) {
  std::vector<std::uint8_t> b;
  const std::uint32_t total = static_cast<std::uint32_t>(12 + body.size());
  Put32(b, type);
  Put32(b, total);
  b.insert(b.end(), body.begin(), body.end());
  Put32(b, total);
  std::fwrite(b.data(), 1, b.size(), out);
}
void Option(std::vector<std::uint8_t>& v, unsigned code, const std::string& value) {
  Put16(v, code);
  Put16(v, static_cast<unsigned>(value.size()));
  v.insert(v.end(), value.begin(), value.end());
  while (v.size() % 4 != 0) v.push_back(0);
}

std::int64_t UtcSeconds(int y, int m, int d, int h) {
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = m - 1;
  t.tm_mday = d;
  t.tm_hour = h;
#ifdef _WIN32
  return _mkgmtime(&t);
#else
  return timegm(&t);
#endif
}

// The start of the hour a "PKT_YYYYMMDD.HH" name gives, as UTC seconds;
// false when the name gives none.
bool HourOf(const std::string& name, std::int64_t* hour) {
  const std::string base = BaseName(name);
  int y = 0, m = 0, d = 0, h = 0;
  char end = 0;
  if (std::sscanf(base.c_str(), "PKT_%4d%2d%2d.%2d%c", &y, &m, &d, &h, &end) != 4 || y < 1970 ||
      m < 1 || m > 12 || d < 1 || d > 31 || h < 0 || h > 23) {
    return false;
  }
  *hour = UtcSeconds(y, m, d, h);
  return true;
}

std::uint16_t IpChecksum(const std::uint8_t* p, std::size_t n) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < n; i += 2) sum += static_cast<std::uint32_t>(p[i] << 8 | p[i + 1]);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

// Records one after another, from memory or from a stream; never more than
// one record held.
class RecordSource {
 public:
  virtual ~RecordSource() = default;
  // The next whole record; false at the end, or at bytes that make no
  // whole record (Rest() then counts them).
  virtual bool Next(std::uint8_t (&record)[kRecordSize]) = 0;
  virtual std::size_t Rest() const = 0;
  // Passes over count records; false when the input ends first.
  virtual bool Skip(std::int64_t count) {
    std::uint8_t record[kRecordSize];
    for (std::int64_t i = 0; i < count; ++i) {
      if (!Next(record)) return false;
    }
    return true;
  }
  virtual bool Failed() const { return false; }
};

class MemorySource : public RecordSource {
 public:
  explicit MemorySource(const File& file) : file_(file) {}
  bool Next(std::uint8_t (&record)[kRecordSize]) override {
    if (at_ + kRecordSize > file_.bytes.size()) return false;
    std::memcpy(record, file_.bytes.data() + at_, kRecordSize);
    at_ += kRecordSize;
    return true;
  }
  std::size_t Rest() const override { return file_.bytes.size() % kRecordSize; }

 private:
  const File& file_;
  std::size_t at_ = 0;
};

bool SeekTo(std::FILE* in, long long offset) {
#ifdef _WIN32
  return _fseeki64(in, offset, SEEK_SET) == 0;
#else
  return fseeko(in, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

class StreamSource : public RecordSource {
 public:
  StreamSource(std::FILE* in, bool seekable) : in_(in), seekable_(seekable) {}
  bool Next(std::uint8_t (&record)[kRecordSize]) override {
    const std::size_t n = std::fread(record, 1, kRecordSize, in_);
    if (n == kRecordSize) {
      ++read_;
      return true;
    }
    rest_ = n;
    return false;
  }
  std::size_t Rest() const override { return rest_; }
  bool Skip(std::int64_t count) override {
    if (!seekable_) return RecordSource::Skip(count);
    // Records are found by their number: no need to read those before.
    read_ += count;
    return SeekTo(in_, read_ * static_cast<long long>(kRecordSize));
  }
  bool Failed() const override { return std::ferror(in_) != 0; }

 private:
  std::FILE* in_;
  const bool seekable_;
  long long read_ = 0;
  std::size_t rest_ = 0;
};

// What a mode does with the records of a file.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void BeginFile(const std::string& /*name*/, const std::string& /*path*/) {}
  virtual void Record(std::int64_t number, const varnet::RecordView& view) = 0;
  // Summary lists bad records itself; the other modes refuse or skip them.
  virtual bool ListsBad() const { return false; }
  virtual void Bad(std::int64_t /*number*/, const std::string& /*fault*/) {}
  virtual void EndFile(std::int64_t /*records*/, std::size_t /*rest*/) {}
};

class DecodeSink : public Sink {
 public:
  DecodeSink(std::FILE* out, const std::string& ini, bool json) : printer_(out, settings_, json) {
    if (!ini.empty()) {
      trelm::ProfileText text(ini);
      varnet::ReadDecodeSettings(text, "VARNET.INI", settings_, filters_);
    }
  }
  void BeginFile(const std::string& name, const std::string&) override { name_ = name; }
  void Record(std::int64_t number, const varnet::RecordView& view) override {
    std::memcpy(buffer_, view.data, kDatagramSize);
    printer_.Begin(name_, number, view);
    if (view.type == varnet::kRecordCommand) {
      decoder_.DecodeCommand(buffer_);
    } else {
      decoder_.DecodeRevertive(buffer_, 0);
    }
    printer_.End();
  }
  void EndFile(std::int64_t, std::size_t) override { printer_.Flush(); }

 private:
  varnet::DecodeOptions settings_;
  varnet::DeviceFilters filters_;
  Printer printer_;
  varnet::Decoder decoder_{printer_, settings_, filters_};
  std::string name_;
  std::uint8_t buffer_[kDatagramSize + 1] = {};  // the byte after the 512 stays zero
};

class DumpSink : public Sink {
 public:
  explicit DumpSink(std::FILE* out) : out_(out) {}
  void Record(std::int64_t number, const varnet::RecordView& view) override {
    char line[varnet::kDumpLineSize];
    varnet::DumpHeader(number, view, line, sizeof line);
    std::fprintf(out_, "%s\n  \n", line);
    for (int i = 0; i < varnet::kDumpLines; ++i) {
      varnet::DumpLine(view.data, i, line);
      std::fprintf(out_, "%s\n", line);
    }
  }

 private:
  std::FILE* out_;
};

class SummarySink : public Sink {
 public:
  // check: only the gaps in the records' sequence, and the verdict.
  SummarySink(std::FILE* out, bool json, bool check = false)
      : out_(out), json_(json), check_(check) {}
  void BeginFile(const std::string& name, const std::string&) override {
    name_ = name;
    commands_ = revertives_ = malformed_ = timed_ = 0;
    devices_.clear();
    bad_.clear();
    gaps_.clear();
    firstTime_ = lastTime_ = 0;
  }
  bool ListsBad() const override { return true; }
  void Bad(std::int64_t number, const std::string& fault) override {
    ++malformed_;
    if (check_) return;
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
    const std::uint32_t sequence = view.arrival.sequence;
    // The count starts again with each run of the wrapper: at 1, or far
    // below what this run has seen.
    if (anyTimed_ && (sequence == 1 || static_cast<std::uint64_t>(sequence) + kWindow < base_)) {
      Settle(true);
      char text[160];
      std::snprintf(text, sizeof text, "the sequence starts again at %u at record %lld (a new run)",
                    sequence, static_cast<long long>(number));
      gaps_.push_back(text);
      anyTimed_ = false;
    }
    if (!anyTimed_) {
      anyTimed_ = true;
      base_ = sequence;
      ahead_.clear();
    }
    // Records come in the order their completions were handled, which the
    // two names' queues can change: a number is lost only once the window
    // has passed it, or at the end.
    if (sequence >= base_) ahead_.insert(sequence);
    Settle(false);
  }
  // Numbers at the window's start that came are done with; with all set,
  // or a window too wide, those that never came are lost.
  void Settle(bool all) {
    for (;;) {
      while (!ahead_.empty() && *ahead_.begin() == base_) {
        ahead_.erase(ahead_.begin());
        ++base_;
      }
      if (ahead_.empty() || (!all && ahead_.size() <= kWindow)) return;
      const std::uint32_t next = *ahead_.begin();
      const std::uint32_t lost = next - base_;
      gapsLost_ += lost;
      ++gapCount_;
      char text[160];
      std::snprintf(text, sizeof text, "%u datagrams lost (sequence %u to %u)", lost, base_, next - 1);
      gaps_.push_back(text);
      if (json_) {
        gapJson_.push_back("{\"lost\":" + std::to_string(lost) + ",\"from\":" +
                           std::to_string(base_) + ",\"to\":" + std::to_string(next - 1) + "}");
      }
      base_ = next;
    }
  }
  void EndFile(std::int64_t records, std::size_t rest) override {
    if (rest != 0) ++malformed_;
    total_ += malformed_;
    if (check_) {
      for (const std::string& g : gaps_) std::fprintf(out_, "%s: %s\n", name_.c_str(), g.c_str());
      gaps_.clear();
      return;
    }
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
             TimeText(lastTime_) + "\",\"per_second\":" + rate + ",\"gaps\":[";
        for (std::size_t i = 0; i < gapJson_.size(); ++i) o += (i ? "," : "") + gapJson_[i];
        o += "]";
      }
      gapJson_.clear();
      gaps_.clear();
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
    for (const std::string& g : gaps_) std::fprintf(out_, "%s: %s\n", name_.c_str(), g.c_str());
    gaps_.clear();
    for (const auto& [device, count] : devices_) {
      std::fprintf(out_, "%s: device %03d: %ld datagrams\n", name_.c_str(), device, count);
    }
  }
  // After every file: the gaps still open, and what the check found.
  void EndAll() {
    Settle(true);
    if (json_ && !check_) {
      if (!gapJson_.empty()) {
        std::string o = "{\"file\":" + Json(name_) + ",\"gaps_at_the_end\":[";
        for (std::size_t i = 0; i < gapJson_.size(); ++i) o += (i ? "," : "") + gapJson_[i];
        std::fprintf(out_, "%s]}\n", o.c_str());
      }
    } else {
      for (const std::string& g : gaps_) std::fprintf(out_, "%s: %s\n", name_.c_str(), g.c_str());
    }
    gaps_.clear();
    if (!check_) return;
    if (!anyTimed_) {
      std::fprintf(out_, "no record carries its arrival (PacketTimes=1): nothing to check\n");
    } else {
      std::fprintf(out_, "%ld gap%s, %llu datagrams lost\n", gapCount_, gapCount_ == 1 ? "" : "s",
                   static_cast<unsigned long long>(gapsLost_));
    }
  }
  long Malformed() const { return total_; }
  // Whether the check passes: records with their arrival, and no gap.
  bool Whole() const { return anyTimed_ && gapCount_ == 0; }

 private:
  std::FILE* out_;
  const bool json_;
  const bool check_;
  std::string name_;
  long commands_ = 0, revertives_ = 0, malformed_ = 0, total_ = 0;
  std::map<int, long> devices_;
  std::vector<std::string> bad_;
  // The arrivals: this file's span, and the sequence across the files.
  long timed_ = 0;
  std::uint64_t firstTime_ = 0, lastTime_ = 0;
  bool anyTimed_ = false;
  static constexpr std::size_t kWindow = 1 << 16;
  std::uint32_t base_ = 0;            // every number below it came or was counted lost
  std::set<std::uint32_t> ahead_;     // numbers from base_ on that came
  std::vector<std::string> gaps_;
  std::vector<std::string> gapJson_;
  long gapCount_ = 0;
  std::uint64_t gapsLost_ = 0;
};

class PcapngSink : public Sink {
 public:
  PcapngSink(std::FILE* out, int channel, std::FILE* err) : out_(out), err_(err) {
    suffix_ = channel >= 1 && channel <= 99 ? std::to_string(channel) : "";
    std::vector<std::uint8_t> shb;
    Put32(shb, 0x1A2B3C4D);
    Put16(shb, 1);
    Put16(shb, 0);
    Put32(shb, 0xFFFFFFFF);
    Put32(shb, 0xFFFFFFFF);
    Option(shb, 1,
           "Varnet packet data records exported by pktdump. A record written with PacketTimes=1 "
           "carries its arrival, which stamps its frame; any other frame is stamped with the "
           "start of its file's hour (as UTC) plus its record number in microseconds, which is "
           "no capture time.");
    Option(shb, 4, std::string("pktdump ") + kVersion + " (Trelm workstation toolset)");
    Put32(shb, 0);  // end of options
    Block(out_, 0x0A0D0D0A, shb);
    std::vector<std::uint8_t> idb;
    Put16(idb, 1);  // Ethernet
    Put16(idb, 0);
    Put32(idb, 0);
    Block(out_, 1, idb);
  }
  void BeginFile(const std::string& name, const std::string& path) override {
    name_ = name;
    if (HourOf(path, &hour_)) return;
    // No hour in the name: the hour of the file's last change, else 1970.
    struct stat info {};
    hour_ = 0;
    if (path != "-" && stat(path.c_str(), &info) == 0) {
      hour_ = static_cast<std::int64_t>(info.st_mtime) / 3600 * 3600;
    }
    const std::time_t at = static_cast<std::time_t>(hour_);
    char when[32] = "1970-01-01 00:00";
    if (const std::tm* t = std::gmtime(&at)) std::strftime(when, sizeof when, "%Y-%m-%d %H:00", t);
    std::fprintf(err_,
                 "pktdump: %s: the name gives no hour (PKT_YYYYMMDD.HH): its frames are stamped "
                 "from %s UTC%s\n",
                 name.c_str(), when, hour_ != 0 ? ", the hour of its last change" : "");
  }
  void Record(std::int64_t number, const varnet::RecordView& view) override {
    velknb::Datagram d;
    velknb::PadName(view.type == 1 ? "ORM" : ("DRIVER" + suffix_).c_str(), d.source);
    velknb::PadName(((view.type == 1 ? "DEVICE_CONTROL" : "ORM") + suffix_).c_str(), d.destination);
    d.sourcePort = 138;
    d.id = static_cast<std::uint16_t>(number);
    d.data = view.data;
    d.length = view.length;
    std::uint8_t nbds[velknb::kMaxDatagram];
    const std::size_t size = velknb::BuildDatagram(d, nbds, sizeof nbds);
    std::vector<std::uint8_t> frame = {0x01, 0x00, 0x5E, 0x7F, 0x8A, 0x01,  // the group's MAC
                                       0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x08, 0x00};
    const std::size_t ipLength = 20 + 8 + size;
    std::uint8_t ip[20] = {0x45, 0, static_cast<std::uint8_t>(ipLength >> 8),
                           static_cast<std::uint8_t>(ipLength), 0, 0, 0x40, 0, 1, 17, 0, 0,
                           127, 0, 0, 1, 239, 255, 138, 1};
    const std::uint16_t sum = IpChecksum(ip, sizeof ip);
    ip[10] = static_cast<std::uint8_t>(sum >> 8);
    ip[11] = static_cast<std::uint8_t>(sum);
    frame.insert(frame.end(), ip, ip + 20);
    const std::size_t udpLength = 8 + size;
    const std::uint8_t udp[8] = {0, 138, 0, 138, static_cast<std::uint8_t>(udpLength >> 8),
                                 static_cast<std::uint8_t>(udpLength), 0, 0};
    frame.insert(frame.end(), udp, udp + 8);
    frame.insert(frame.end(), nbds, nbds + size);
    // The arrival where the record carries it, else the hour's start plus
    // the record number in microseconds.
    const std::uint64_t us =
        view.timed && view.arrival.filetime >= kUnixEpoch
            ? (view.arrival.filetime - kUnixEpoch) / 10
            : static_cast<std::uint64_t>(hour_) * 1000000u + static_cast<std::uint64_t>(number);
    std::vector<std::uint8_t> epb;
    Put32(epb, 0);
    Put32(epb, static_cast<std::uint32_t>(us >> 32));
    Put32(epb, static_cast<std::uint32_t>(us));
    Put32(epb, static_cast<std::uint32_t>(frame.size()));
    Put32(epb, static_cast<std::uint32_t>(frame.size()));
    epb.insert(epb.end(), frame.begin(), frame.end());
    while (epb.size() % 4 != 0) epb.push_back(0);
    // The frame's comment: where it came from.
    Option(epb, 1, name_ + " record " + std::to_string(number) +
                       (view.timed ? " sequence " + std::to_string(view.arrival.sequence) : ""));
    Put32(epb, 0);
    Block(out_, 6, epb);
  }

 private:
  std::FILE* out_;
  std::FILE* err_;
  std::string suffix_;
  std::string name_;
  std::int64_t hour_ = 0;
};

// Why a record cannot go through, or empty.
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
  std::uint8_t record[kRecordSize];
  std::int64_t n = 0;
  if (filter.first > 1) {
    if (!source.Skip(filter.first - 1)) {
      sink.EndFile(0, source.Rest());
      return 0;
    }
    n = filter.first - 1;
  }
  while (n < filter.last && source.Next(record)) {
    ++n;
    varnet::RecordView view;
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
    if (Passes(filter, view)) sink.Record(n, view);
  }
  const std::size_t rest = n < filter.last ? source.Rest() : 0;
  if (rest != 0 && !sink.ListsBad()) {
    ++bad;
    std::fprintf(err, "pktdump: %s: %zu bytes after the last whole record%s\n", name.c_str(),
                 rest, keepGoing ? "; skipped" : "");
    if (!keepGoing) return -1;
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
  if (!SeekTo(in, 0)) return -1;
  return size;
}

// Every write of an output went through: what was buffered is flushed and
// the stream's error mark read, so that a full disk or a closed pipe is
// never reported as success.
bool Finished(std::FILE* out, std::FILE* err, const std::string& name) {
  if (std::fflush(out) == 0 && std::ferror(out) == 0) return true;
  std::fprintf(err, "pktdump: %s: cannot be written (disk full?)\n", name.c_str());
  return false;
}

const char kUsage[] =
    "usage: pktdump decode [--ini VARNET.INI] [--format text|json] [FILTERS] [--keep-going] FILE...\n"
    "       pktdump dump [--keep-going] FILE [FIRST [LAST]]\n"
    "       pktdump summary [--format text|json] FILE...\n"
    "       pktdump check FILE...     (or --check: exit 1 when the records' sequence has gaps)\n"
    "       pktdump pcapng [--channel N] --out OUT.pcapng [FILTERS] [--keep-going] FILE...\n"
    "       pktdump --help | --version\n"
    "FILTERS: --device N (again for more), --kind command|revertive, --records FIRST[-LAST]\n"
    "FILE \"-\" reads standard input; --out - writes standard output.\n"
    "Exit code: 0 done, 1 a file could not be read or written or held bad records, 2 usage.\n";

int Usage(std::FILE* err, const std::string& why) {
  if (!why.empty()) std::fprintf(err, "pktdump: %s\n", why.c_str());
  std::fputs(kUsage, err);
  return 2;
}

// A whole number of the text, or false.
bool WholeNumber(const std::string& text, long long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtoll(text.c_str(), &end, 10);
  return *end == '\0' && text.find_first_not_of("0123456789-+") == std::string::npos;
}

enum class Parsed { Run, Done, Usage, Failed };

Parsed Parse(const std::vector<std::string>& args, Options* o, std::FILE* out, std::FILE* err,
             int* code) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, out);
    *code = Finished(out, err, "the output") ? 0 : 1;
    return Parsed::Done;
  }
  if (!args.empty() && args[0] == "--version") {
    std::fprintf(out, "pktdump %s (Trelm workstation toolset)\n", kVersion);
    *code = Finished(out, err, "the output") ? 0 : 1;
    return Parsed::Done;
  }
  *code = 2;
  if (args.empty()) {
    Usage(err, "");
    return Parsed::Usage;
  }
  o->mode = args[0] == "--check" ? "check" : args[0];
  const std::string& m = o->mode;
  if (m != "decode" && m != "dump" && m != "summary" && m != "pcapng" && m != "check") {
    Usage(err, "unknown mode '" + m + "'");
    return Parsed::Usage;
  }
  std::string iniPath;
  bool range = false;
  auto refuse = [&](const std::string& why) {
    Usage(err, why);
    return Parsed::Usage;
  };
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-" || a.compare(0, 1, "-") != 0 || (a.size() > 1 && std::isdigit(static_cast<unsigned char>(a[1])))) {
      o->paths.push_back(a);
      continue;
    }
    // Options: which modes take them, and whether a value follows.
    struct Known {
      const char* name;
      const char* modes;
      bool value;
    } const known[] = {
        {"--ini", "decode", true},         {"--format", "decode summary", true},
        {"--out", "pcapng", true},         {"--channel", "pcapng", true},
        {"--device", "decode pcapng", true}, {"--kind", "decode pcapng", true},
        {"--records", "decode pcapng", true}, {"--keep-going", "decode dump pcapng", false},
    };
    const Known* k = nullptr;
    for (const Known& candidate : known) {
      if (a == candidate.name) k = &candidate;
    }
    if (k == nullptr) return refuse("unknown option " + a);
    if (std::string(" ") .append(k->modes).append(" ").find(" " + m + " ") == std::string::npos) {
      return refuse(a + " is not an option of " + m);
    }
    if (!k->value) {
      o->keepGoing = true;
      continue;
    }
    if (i + 1 >= args.size()) return refuse(a + " needs a value");
    const std::string& v = args[++i];
    long long number = 0;
    if (a == "--ini") {
      iniPath = v;
    } else if (a == "--out") {
      o->out = v;
    } else if (a == "--format") {
      if (v != "text" && v != "json") return refuse("--format is text or json, not '" + v + "'");
      o->json = v == "json";
    } else if (a == "--channel") {
      if (!WholeNumber(v, &number) || number < 0 || number > 99) {
        return refuse("--channel is a channel number, 0 to 99, not '" + v + "'");
      }
      o->channel = static_cast<int>(number);
    } else if (a == "--device") {
      if (!WholeNumber(v, &number) || number < 0 || number > 4095) {
        return refuse("--device is a device number, 0 to 4095, not '" + v + "'");
      }
      o->filter.devices.push_back(static_cast<int>(number));
    } else if (a == "--kind") {
      if (v != "command" && v != "revertive") {
        return refuse("--kind is command or revertive, not '" + v + "'");
      }
      o->filter.kind = v == "command" ? 1 : 2;
    } else {  // --records FIRST[-LAST]
      const std::size_t dash = v.find('-');
      long long first = 0, last = INT64_MAX;
      if (!WholeNumber(v.substr(0, dash), &first) ||
          (dash != std::string::npos && dash + 1 < v.size() &&
           !WholeNumber(v.substr(dash + 1), &last))) {
        return refuse("--records is FIRST or FIRST-LAST, not '" + v + "'");
      }
      if (dash == std::string::npos) last = first;
      o->filter.first = first;
      o->filter.last = last;
      range = true;
    }
  }
  if (m == "dump") {
    // dump FILE [FIRST [LAST]]
    if (o->paths.empty() || o->paths.size() > 3) return refuse("dump takes one file and a range");
    long long first = 1, last = INT64_MAX;
    if (o->paths.size() > 1 && !WholeNumber(o->paths[1], &first)) {
      return refuse("FIRST is a record number, not '" + o->paths[1] + "'");
    }
    if (o->paths.size() > 2 && !WholeNumber(o->paths[2], &last)) {
      return refuse("LAST is a record number, not '" + o->paths[2] + "'");
    }
    range = o->paths.size() > 1;
    o->filter.first = first;
    o->filter.last = last;
    o->paths.resize(1);
  }
  if (range && (o->filter.first < 1 || o->filter.last < o->filter.first)) {
    return refuse("the record range " + std::to_string(o->filter.first) + "-" +
                  (o->filter.last == INT64_MAX ? std::string() : std::to_string(o->filter.last)) +
                  " is reversed or starts below 1");
  }
  if (o->paths.empty()) return refuse("no file given");
  if (std::count(o->paths.begin(), o->paths.end(), "-") > 1) {
    return refuse("standard input can be read once");
  }
  if (m == "pcapng" && o->out.empty()) return refuse("pcapng needs --out");
  if (!iniPath.empty()) {
    std::ifstream in(iniPath, std::ios::binary);
    if (!in) {
      std::fprintf(err, "pktdump: %s: cannot be read\n", iniPath.c_str());
      *code = 1;
      return Parsed::Failed;
    }
    std::stringstream s;
    s << in.rdbuf();
    o->ini = s.str();
  }
  return Parsed::Run;
}

// An input file open for reading, standard input for "-".
struct Input {
  std::string path;
  std::string name;
  std::FILE* file = nullptr;
  bool owned = false;
  long long size = -1;  // -1: not known (a pipe)
  ~Input() {
    if (owned && file != nullptr) std::fclose(file);
  }
};

bool Open(Input& input, std::FILE* in, std::FILE* err) {
  input.name = BaseName(input.path);
  if (input.path == "-") {
    input.file = in;
  } else {
    input.file = std::fopen(input.path.c_str(), "rb");
    input.owned = true;
  }
  if (input.file == nullptr) {
    std::fprintf(err, "pktdump: %s: cannot be read\n", input.path.c_str());
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
  const std::string fault = FirstFault(static_cast<std::uint64_t>(input.size), source);
  if (!fault.empty()) {
    std::fprintf(err, "pktdump: %s: %s\n", named.c_str(), fault.c_str());
    return false;
  }
  const bool read = !source.Failed();
  if (!read) std::fprintf(err, "pktdump: %s: cannot be read\n", named.c_str());
  return read && SeekTo(input.file, 0);
}

}  // namespace

std::string CheckFile(const File& file) {
  MemorySource source(file);
  const std::string fault = FirstFault(file.bytes.size(), source);
  return fault.empty() ? fault : file.name + ": " + fault;
}

void Decode(const File& file, const std::string& ini, std::FILE* out) {
  MemorySource source(file);
  DecodeSink sink(out, ini, false);
  Run(source, BaseName(file.name), file.name, sink, Filter(), true, out);
}

void Dump(const File& file, std::int64_t first, std::int64_t last, std::FILE* out) {
  MemorySource source(file);
  DumpSink sink(out);
  Filter filter;
  filter.first = first < 1 ? 1 : first;
  filter.last = last < 0 ? INT64_MAX : last;
  Run(source, BaseName(file.name), file.name, sink, filter, true, out);
}

long Summarise(const File& file, std::FILE* out) {
  MemorySource source(file);
  SummarySink sink(out, false);
  Run(source, BaseName(file.name), file.name, sink, Filter(), true, out);
  return sink.Malformed();
}

void WritePcapng(const std::vector<File>& files, int channel, std::FILE* out) {
  PcapngSink sink(out, channel, out);
  for (const File& f : files) {
    MemorySource source(f);
    Run(source, BaseName(f.name), f.name, sink, Filter(), true, out);
  }
}

int Main(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, std::FILE* in) {
  Options o;
  int code = 0;
  if (Parse(args, &o, out, err, &code) != Parsed::Run) return code;
  // Hourly files in name order.
  std::sort(o.paths.begin(), o.paths.end(), [](const std::string& a, const std::string& b) {
    return BaseName(a) < BaseName(b);
  });
  std::vector<std::unique_ptr<Input>> inputs;
  for (const std::string& p : o.paths) {
    inputs.push_back(std::make_unique<Input>());
    inputs.back()->path = p;
  }

  std::FILE* sinkOut = out;
  std::FILE* export_ = nullptr;
  std::string outName = "the output";
  // Every file is opened, and without --keep-going checked whole, before
  // anything is written (summary lists what is wrong instead).
  for (auto& input : inputs) {
    if (!Open(*input, in, err)) return 1;
    const bool lists = o.mode == "summary" || o.mode == "check";
    if (!lists && !o.keepGoing && !CheckWhole(*input, err)) return 1;
  }
  if (o.mode == "dump") {
    // A range that lies outside the file is said.
    const Input& input = *inputs[0];
    if (input.size >= 0) {
      const long long records = input.size / static_cast<long long>(kRecordSize);
      if (o.filter.first > records) {
        std::fprintf(err, "pktdump: %s: holds %lld records: record %lld is not in it\n",
                     input.path.c_str(), records, static_cast<long long>(o.filter.first));
        return 1;
      }
      if (o.filter.last != INT64_MAX && o.filter.last > records) {
        std::fprintf(err, "pktdump: %s: holds %lld records: the dump ends at %lld\n",
                     input.path.c_str(), records, records);
      }
    }
  }
  if (o.mode == "pcapng" && o.out != "-") {
    export_ = std::fopen(o.out.c_str(), "wb");
    if (export_ == nullptr) {
      std::fprintf(err, "pktdump: %s: cannot be written\n", o.out.c_str());
      return 1;
    }
    sinkOut = export_;
    outName = o.out;
  }

  std::unique_ptr<Sink> sink;
  SummarySink* summary = nullptr;
  if (o.mode == "decode") {
    sink = std::make_unique<DecodeSink>(sinkOut, o.ini, o.json);
  } else if (o.mode == "dump") {
    sink = std::make_unique<DumpSink>(sinkOut);
  } else if (o.mode == "summary" || o.mode == "check") {
    auto s = std::make_unique<SummarySink>(sinkOut, o.json, o.mode == "check");
    summary = s.get();
    sink = std::move(s);
  } else {
    sink = std::make_unique<PcapngSink>(sinkOut, o.channel, err);
  }

  bool ok = true;
  long bad = 0;
  for (auto& input : inputs) {
    StreamSource source(input->file, input->size >= 0);
    const long n = Run(source, input->name, input->path, *sink, o.filter, o.keepGoing, err);
    if (source.Failed()) {
      std::fprintf(err, "pktdump: %s: cannot be read\n", input->path.c_str());
      ok = false;
      break;
    }
    if (n < 0) {
      ok = false;
      break;
    }
    bad += n;
  }
  bool whole = true;
  if (summary != nullptr) {
    summary->EndAll();
    bad = summary->Malformed();
    whole = o.mode != "check" || summary->Whole();
  }
  sink.reset();  // what the decode printer holds goes out
  if (!Finished(sinkOut, err, outName)) ok = false;
  if (export_ != nullptr) {
    if (std::fclose(export_) != 0 && ok) {
      std::fprintf(err, "pktdump: %s: cannot be written (disk full?)\n", o.out.c_str());
      ok = false;
    }
    // A cut capture file is worse than none: it goes.
    if (!ok) std::remove(o.out.c_str());
  }
  return ok && bad == 0 && whole ? 0 : 1;
}

}  // namespace pktdump

#include "pktdump_core.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

#include "core/capture_config.h"
#include "core/decoder.h"
#include "core/log_text.h"
#include "core/packet_dump.h"
#include "core/packet_record.h"
#include "nbdgm.h"
#include "profile_text.h"
#include "scan_int.h"

namespace pktdump {

namespace {

using varnet::kDatagramSize;
using varnet::kRecordSize;

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The decoders' outputs as lines of the file and record.
class Printer : public varnet::DecoderHost {
 public:
  Printer(std::FILE* out, const varnet::DecodeOptions& settings) : out_(out), settings_(settings) {
    pending_.reserve(kFlushAt + 2048);
  }
  ~Printer() { Flush(); }
  // Lines are gathered and written in large blocks.
  void Flush() {
    if (!pending_.empty()) std::fwrite(pending_.data(), 1, pending_.size(), out_);
    pending_.clear();
  }
  void At(const std::string& name, std::int64_t record) {
    prefixLength_ = static_cast<std::size_t>(std::snprintf(
        prefix_, sizeof prefix_, "%s:%06lld: ", name.c_str(), static_cast<long long>(record)));
    if (prefixLength_ >= sizeof prefix_) prefixLength_ = sizeof prefix_ - 1;
  }
  void WriteLogLine(const char* text) override {
    if (varnet::LogDropsText(text, settings_.showNxMessages != 0)) return;
    pending_.append(prefix_, prefixLength_);
    const std::size_t at = pending_.size();
    pending_.append(text);
    // As the log does; the text just added ends at the string's end.
    varnet::BlankFirstLineEnds(&pending_[at]);
    pending_ += '\n';
    if (pending_.size() >= kFlushAt) Flush();
  }
  void ShowLine(const char*) override {}  // screen only: not in the log
  void WriteErrorLog(const char* text) override {
    pending_.append(prefix_, prefixLength_);
    pending_ += "ERRORLOG: ";
    pending_ += text;
    pending_ += '\n';
  }
  void SetClockDate(int, int, int) override {}
  void SetClockTime(int, int, int, int) override {}

 private:
  std::FILE* out_;
  const varnet::DecodeOptions& settings_;
  static constexpr std::size_t kFlushAt = 1 << 20;
  char prefix_[320] = "";
  std::size_t prefixLength_ = 0;
  std::string pending_;
};

// The first device a datagram names, or -1.
int FirstDevice(std::uint8_t type, const std::uint8_t* data) {
  const char* text = reinterpret_cast<const char*>(data);
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

// The start of the hour a "PKT_YYYYMMDD.HH" name gives, as UTC seconds.
std::int64_t HourOf(const std::string& name) {
  const std::string base = BaseName(name);
  int y = 0, m = 0, d = 0, h = 0;
  if (std::sscanf(base.c_str(), "PKT_%4d%2d%2d.%2d", &y, &m, &d, &h) != 4) return 0;
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

std::uint16_t IpChecksum(const std::uint8_t* p, std::size_t n) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < n; i += 2) sum += static_cast<std::uint32_t>(p[i] << 8 | p[i + 1]);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

}  // namespace

namespace {
// Records one after another, from memory or from a file.
class RecordSource {
 public:
  virtual ~RecordSource() = default;
  // False at the end; a partial record at the end counts as the end.
  virtual bool Next(std::uint8_t (&record)[kRecordSize]) = 0;
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

 private:
  const File& file_;
  std::size_t at_ = 0;
};

class StreamSource : public RecordSource {
 public:
  explicit StreamSource(std::FILE* in) : in_(in) {}
  bool Next(std::uint8_t (&record)[kRecordSize]) override {
    return std::fread(record, 1, kRecordSize, in_) == kRecordSize;
  }

 private:
  std::FILE* in_;
};

// The first bad record's message, or empty.
std::string CheckRecords(const std::string& name, RecordSource& source) {
  std::uint8_t record[kRecordSize];
  for (long long n = 1; source.Next(record); ++n) {
    varnet::RecordView view;
    varnet::ReadRecord(record, sizeof record, view);
    const std::string fault = varnet::RecordFault(view);
    if (!fault.empty()) return name + ": record " + std::to_string(n) + " has " + fault;
  }
  return std::string();
}

std::string CheckSize(const std::string& name, std::size_t size) {
  const std::string fault = varnet::SizeFault(size);
  return fault.empty() ? fault : name + ": " + fault;
}

void DecodeRecords(const std::string& path, const std::string& ini, RecordSource& source,
                   std::FILE* out);
}  // namespace

std::string CheckFile(const File& file) {
  const std::string size = CheckSize(file.name, file.bytes.size());
  if (!size.empty()) return size;
  MemorySource source(file);
  return CheckRecords(file.name, source);
}

void Decode(const File& file, const std::string& ini, std::FILE* out) {
  MemorySource source(file);
  DecodeRecords(file.name, ini, source, out);
}

namespace {
void DecodeRecords(const std::string& path, const std::string& ini, RecordSource& source,
                   std::FILE* out) {
  varnet::DecodeOptions settings;
  varnet::DeviceFilters filters;
  if (!ini.empty()) {
    trelm::ProfileText text(ini);
    varnet::ReadDecodeSettings(text, "VARNET.INI", settings, filters);
  }
  Printer printer(out, settings);
  varnet::Decoder decoder(printer, settings, filters);
  const std::string name = BaseName(path);
  std::uint8_t record[kRecordSize];
  std::uint8_t buffer[kDatagramSize + 1] = {};  // the byte after the 512 stays zero
  for (std::int64_t n = 1; source.Next(record); ++n) {
    std::memcpy(buffer, record + varnet::kRecordHeader, kDatagramSize);
    printer.At(name, n);
    if (record[0] == varnet::kRecordCommand) {
      decoder.DecodeCommand(buffer);
    } else {
      decoder.DecodeRevertive(buffer, 0);
    }
  }
}
}  // namespace

void Dump(const File& file, std::int64_t first, std::int64_t last, std::FILE* out) {
  const std::int64_t records = static_cast<std::int64_t>(file.bytes.size() / kRecordSize);
  if (last < 0 || last > records) last = records;
  if (first < 1) first = 1;
  for (std::int64_t n = first; n <= last; ++n) {
    varnet::RecordView view;
    varnet::ReadRecord(file.bytes.data() + (n - 1) * kRecordSize, kRecordSize, view);
    char line[varnet::kDumpLineSize];
    varnet::DumpHeader(n, view, line, sizeof line);
    std::fprintf(out, "%s\n  \n", line);
    for (int i = 0; i < varnet::kDumpLines; ++i) {
      varnet::DumpLine(view.data, i, line);
      std::fprintf(out, "%s\n", line);
    }
  }
}

long Summarise(const File& file, std::FILE* out) {
  long commands = 0, revertives = 0, malformed = 0;
  std::map<int, long> devices;
  const std::size_t complete = file.bytes.size() / kRecordSize;
  for (std::size_t n = 0; n < complete; ++n) {
    varnet::RecordView view;
    varnet::ReadRecord(file.bytes.data() + n * kRecordSize, kRecordSize, view);
    if (!varnet::RecordFault(view).empty()) {
      ++malformed;
      std::fprintf(out, "record %zu is malformed: type %d, length %d\n", n + 1, view.type,
                   view.length);
      continue;
    }
    (view.type == 1 ? commands : revertives) += 1;
    std::uint8_t data[kDatagramSize + 1] = {};
    std::memcpy(data, view.data, kDatagramSize);
    const int device = FirstDevice(view.type, data);
    if (device >= 0) ++devices[device];
  }
  std::fprintf(out, "%s: %zu records, %ld commands, %ld revertives, %ld malformed\n",
               BaseName(file.name).c_str(), complete, commands, revertives, malformed);
  const std::size_t rest = file.bytes.size() % kRecordSize;
  if (rest != 0) {
    std::fprintf(out, "%zu bytes after the last whole record\n", rest);
    ++malformed;
  }
  for (const auto& [device, count] : devices) {
    std::fprintf(out, "device %03d: %ld datagrams\n", device, count);
  }
  return malformed;
}

void WritePcapng(const std::vector<File>& files, int channel, std::FILE* out) {
  std::vector<std::uint8_t> shb;
  Put32(shb, 0x1A2B3C4D);
  Put16(shb, 1);
  Put16(shb, 0);
  Put32(shb, 0xFFFFFFFF);
  Put32(shb, 0xFFFFFFFF);
  Option(shb, 1,
         "Varnet packet data records exported by pktdump. The records hold no times: each frame "
         "is stamped with the start of its file's hour (as UTC) plus its record number in "
         "microseconds. These are not capture times.");
  Option(shb, 4, "pktdump (Trelm workstation toolset)");
  Put32(shb, 0);  // end of options
  Block(out, 0x0A0D0D0A, shb);
  std::vector<std::uint8_t> idb;
  Put16(idb, 1);  // Ethernet
  Put16(idb, 0);
  Put32(idb, 0);
  Block(out, 1, idb);

  const std::string suffix = channel >= 1 && channel <= 99 ? std::to_string(channel) : "";
  for (const File& f : files) {
    const std::int64_t hour = HourOf(f.name);
    for (std::size_t at = 0; at < f.bytes.size(); at += kRecordSize) {
      varnet::RecordView view;
      varnet::ReadRecord(f.bytes.data() + at, kRecordSize, view);
      velknb::Datagram d;
      velknb::PadName(view.type == 1 ? "ORM" : ("DRIVER" + suffix).c_str(), d.source);
      velknb::PadName(((view.type == 1 ? "DEVICE_CONTROL" : "ORM") + suffix).c_str(), d.destination);
      d.sourcePort = 138;
      d.id = static_cast<std::uint16_t>(at / kRecordSize + 1);
      d.data = view.data;
      d.length = view.length;
      std::uint8_t nbds[velknb::kMaxDatagram];
      const std::size_t size = velknb::BuildDatagram(d, nbds, sizeof nbds);
      std::vector<std::uint8_t> frame = {0x01, 0x00, 0x5E, 0x7F, 0x8A, 0x01,   // the group's MAC
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
      const std::uint64_t us = static_cast<std::uint64_t>(hour) * 1000000u + at / kRecordSize + 1;
      std::vector<std::uint8_t> epb;
      Put32(epb, 0);
      Put32(epb, static_cast<std::uint32_t>(us >> 32));
      Put32(epb, static_cast<std::uint32_t>(us));
      Put32(epb, static_cast<std::uint32_t>(frame.size()));
      Put32(epb, static_cast<std::uint32_t>(frame.size()));
      epb.insert(epb.end(), frame.begin(), frame.end());
      while (epb.size() % 4 != 0) epb.push_back(0);
      Block(out, 6, epb);
    }
  }
}

namespace {
// The size of an open file (past 2 GB too); the file is left at its start.
std::size_t FileSize(std::FILE* in) {
#ifdef _WIN32
  _fseeki64(in, 0, SEEK_END);
  const long long size = _ftelli64(in);
#else
  fseeko(in, 0, SEEK_END);
  const long long size = ftello(in);
#endif
  std::rewind(in);
  return size > 0 ? static_cast<std::size_t>(size) : 0;
}

bool Load(const std::string& path, File* file, std::string* error) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    *error = path + ": cannot be read";
    return false;
  }
  file->name = path;
  file->bytes.clear();
  // One allocation for the whole file.
  file->bytes.reserve(FileSize(in));
  std::uint8_t chunk[1 << 16];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
    file->bytes.insert(file->bytes.end(), chunk, chunk + n);
  }
  const bool ok = std::ferror(in) == 0;
  std::fclose(in);
  if (!ok) *error = path + ": cannot be read";
  return ok;
}

// Every write of an output went through: what was buffered is flushed and
// the stream's error mark read, so that a full disk or a closed pipe is
// never reported as success.
bool Finished(std::FILE* out, std::FILE* err, const std::string& name) {
  if (std::fflush(out) == 0 && std::ferror(out) == 0) return true;
  std::fprintf(err, "pktdump: %s: cannot be written (disk full?)\n", name.c_str());
  return false;
}

int Usage(std::FILE* err) {
  std::fprintf(err,
               "usage: pktdump decode [--ini VARNET.INI] FILE...\n"
               "       pktdump dump FILE [FIRST [LAST]]\n"
               "       pktdump summary FILE...\n"
               "       pktdump pcapng [--channel N] --out OUT.pcapng FILE...\n");
  return 2;
}
}  // namespace

int Main(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.empty()) return Usage(err);
  const std::string mode = args[0];
  std::string ini, output;
  int channel = 0;
  std::vector<std::string> paths;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if ((args[i] == "--ini" || args[i] == "--out" || args[i] == "--channel") && i + 1 < args.size()) {
      const std::string& v = args[++i];
      if (args[i - 1] == "--channel") {
        channel = trelm::ToInt(v.c_str());
      } else if (args[i - 1] == "--out") {
        output = v;
      } else {
        std::ifstream in(v, std::ios::binary);
        if (!in) {
          std::fprintf(err, "pktdump: %s: cannot be read\n", v.c_str());
          return 1;
        }
        std::stringstream s;
        s << in.rdbuf();
        ini = s.str();
      }
    } else {
      paths.push_back(args[i]);
    }
  }
  if (paths.empty()) return Usage(err);
  // Hourly files in name order.
  if (mode != "dump") {
    std::sort(paths.begin(), paths.end(),
              [](const std::string& a, const std::string& b) { return BaseName(a) < BaseName(b); });
  }
  if (mode == "decode") {
    // Streamed: a night of records never has to fit in memory. Every file
    // is checked whole before any of them is decoded.
    auto open = [&](const std::string& p) {
      std::FILE* in = std::fopen(p.c_str(), "rb");
      if (in == nullptr) std::fprintf(err, "pktdump: %s: cannot be read\n", p.c_str());
      return in;
    };
    for (const std::string& p : paths) {
      std::FILE* in = open(p);
      if (in == nullptr) return 1;
      StreamSource check(in);
      std::string fault = CheckSize(p, FileSize(in));
      if (fault.empty()) fault = CheckRecords(p, check);
      std::fclose(in);
      if (!fault.empty()) {
        std::fprintf(err, "pktdump: %s\n", fault.c_str());
        return 1;
      }
    }
    for (const std::string& p : paths) {
      std::FILE* in = open(p);
      if (in == nullptr) return 1;
      StreamSource source(in);
      DecodeRecords(p, ini, source, out);
      std::fclose(in);
      if (!Finished(out, err, "the output")) return 1;
    }
    return 0;
  }
  std::vector<File> files;
  for (const std::string& p : (mode == "dump" ? std::vector<std::string>{paths[0]} : paths)) {
    File f;
    std::string error;
    if (!Load(p, &f, &error)) {
      std::fprintf(err, "pktdump: %s\n", error.c_str());
      return 1;
    }
    files.push_back(std::move(f));
  }
  if (mode == "summary") {
    long malformed = 0;
    for (const File& f : files) malformed += Summarise(f, out);
    if (!Finished(out, err, "the output")) return 1;
    return malformed == 0 ? 0 : 1;
  }
  for (const File& f : files) {
    const std::string fault = CheckFile(f);
    if (!fault.empty()) {
      std::fprintf(err, "pktdump: %s\n", fault.c_str());
      return 1;
    }
  }
  if (mode == "dump") {
    const std::int64_t first = paths.size() > 1 ? trelm::ToInt(paths[1].c_str()) : 1;
    const std::int64_t last = paths.size() > 2 ? trelm::ToInt(paths[2].c_str()) : -1;
    Dump(files[0], first, last, out);
    return Finished(out, err, "the output") ? 0 : 1;
  }
  if (mode == "pcapng") {
    if (output.empty()) return Usage(err);
    std::FILE* file = std::fopen(output.c_str(), "wb");
    if (file == nullptr) {
      std::fprintf(err, "pktdump: %s: cannot be written\n", output.c_str());
      return 1;
    }
    WritePcapng(files, channel, file);
    bool ok = Finished(file, err, output);
    if (std::fclose(file) != 0 && ok) {
      std::fprintf(err, "pktdump: %s: cannot be written (disk full?)\n", output.c_str());
      ok = false;
    }
    // A cut capture file is worse than none: it goes.
    if (!ok) std::remove(output.c_str());
    return ok ? 0 : 1;
  }
  return Usage(err);
}

}  // namespace pktdump

// pcapng: records as NetBIOS datagrams in UDP/IP/Ethernet frames, one
// pcapng section for Wireshark and tshark.
#include <sys/stat.h>

#include <ctime>

#include "nbdgm.h"
#include "pktdump_internal.h"

namespace pktdump {

namespace {

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

std::uint16_t IpChecksum(const std::uint8_t* p, std::size_t n) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < n; i += 2) sum += static_cast<std::uint32_t>(p[i] << 8 | p[i + 1]);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

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

}  // namespace

std::unique_ptr<Sink> MakePcapngSink(const Options& o, std::FILE* out, std::FILE* err) {
  return std::make_unique<PcapngSink>(out, o.channel, err);
}

void WritePcapng(const std::vector<File>& files, int channel, std::FILE* out) {
  PcapngSink sink(out, channel, out);
  for (const File& f : files) {
    MemorySource source(f);
    Run(source, BaseName(f.name), f.name, sink, Filter(), true, out);
  }
}

}  // namespace pktdump

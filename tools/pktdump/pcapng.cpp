// pcapng: records as NetBIOS datagrams in UDP/IP/Ethernet frames, one
// pcapng section for Wireshark and tshark: an interface per capture (the
// files of one folder), the captures' frames merged in time order, and
// what each capture lost travelling with it: every sequence gap is the
// drop count of the frame after it (epb_dropcount), and every run has an
// Interface Statistics Block with its start, end, records and drops, so
// that tshark's sum of frame.drop_count is check's figure. The gaps are
// settled first, in a pass over the files, so the frames can carry them.
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <cerrno>
#include <cstring>
#include <functional>
#include <utility>
#include <map>

#include "core/input_file.h"
#include "core/packet_file.h"
#include "sequence.h"
#include "wall_time.h"

#include "net/nbdgm.h"
#include "modes.h"
#include "output.h"

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

// Frames go out in time order: the two names' queues put records a few
// places out of it, so each capture's frames wait in a heap of this many
// and leave earliest first; the captures are merged by their earliest.
constexpr std::size_t kReorder = 4096;

// One input file, opened for each pass.
struct In {
  std::string path, name, folder;
  std::function<std::unique_ptr<RecordSource>()> open;
};

struct Waiting {
  std::uint64_t when;
  std::uint64_t order;
  std::vector<std::uint8_t> block;  // the packet block up to its options' end
  std::uint64_t drops = 0;          // its drop count, set until it is written
};
bool Later(const Waiting& a, const Waiting& b) {
  return a.when != b.when ? a.when > b.when : a.order > b.order;
}

void Put64(std::vector<std::uint8_t>& v, std::uint64_t x) {
  Put32(v, static_cast<std::uint32_t>(x));
  Put32(v, static_cast<std::uint32_t>(x >> 32));
}
void RawOption(std::vector<std::uint8_t>& v, unsigned code, const std::vector<std::uint8_t>& value) {
  Put16(v, code);
  Put16(v, static_cast<unsigned>(value.size()));
  v.insert(v.end(), value.begin(), value.end());
  while (v.size() % 4 != 0) v.push_back(0);
}
// A timestamp option: the high 32 bits, then the low, as in a packet block.
std::vector<std::uint8_t> Stamp(std::uint64_t when) {
  std::vector<std::uint8_t> v;
  Put32(v, static_cast<std::uint32_t>(when >> 32));
  Put32(v, static_cast<std::uint32_t>(when));
  return v;
}
std::vector<std::uint8_t> Count64(std::uint64_t n) {
  std::vector<std::uint8_t> v;
  Put64(v, n);
  return v;
}

class Exporter {
 public:
  Exporter(std::FILE* out, std::FILE* err, const Options& o) : out_(out), err_(err), o_(o) {
    suffix_ = o.channel >= 1 && o.channel <= 99 ? std::to_string(o.channel) : "";
  }

  // Returns the count of bad records met (skipped), or -1 when it stopped.
  long Write(std::vector<In>& inputs) {
    // The captures: the files of one folder, in name order.
    std::stable_sort(inputs.begin(), inputs.end(), [](const In& a, const In& b) {
      return a.folder != b.folder ? a.folder < b.folder : HourOrder(BaseName(a.path), BaseName(b.path));
    });
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      if (captures_.empty() || captures_.back().folder != inputs[i].folder) {
        captures_.push_back(Capture{});
        captures_.back().folder = inputs[i].folder;
      }
      captures_.back().files.push_back(&inputs[i]);
    }
    if (!Settle()) return -1;
    Header();
    long bad = 0;
    std::vector<Cursor> cursors;
    cursors.reserve(captures_.size());
    for (std::size_t c = 0; c < captures_.size(); ++c) {
      cursors.emplace_back();
      cursors.back().capture = c;
    }
    for (Cursor& cursor : cursors) {
      if (!Fill(cursor, &bad)) return -1;
    }
    // The captures merged: the earliest waiting frame of any goes first.
    for (;;) {
      Cursor* next = nullptr;
      for (Cursor& cursor : cursors) {
        if (cursor.waiting.empty()) continue;
        if (next == nullptr || Later(next->waiting.front(), cursor.waiting.front())) next = &cursor;
      }
      if (next == nullptr) break;
      std::pop_heap(next->waiting.begin(), next->waiting.end(), Later);
      Waiting& w = next->waiting.back();
      if (w.drops != 0) RawOption(w.block, 4, Count64(w.drops));  // epb_dropcount
      Put32(w.block, 0);  // end of options
      Block(out_, 6, w.block);
      next->waiting.pop_back();
      if (!Fill(*next, &bad)) return -1;
    }
    Statistics();
    return bad;
  }

 private:
  struct Capture {
    std::string folder;
    std::vector<In*> files;
    // Datagrams lost before a record: (file in the capture, record).
    std::map<std::pair<std::size_t, std::int64_t>, std::uint64_t> drops;
    std::vector<varnet::RunSummary> runs;
  };
  struct Cursor {
    std::size_t capture = 0;
    std::size_t file = 0;
    std::unique_ptr<RecordSource> source;
    std::int64_t number = 0;
    bool begun = false, done = false;
    std::uint64_t pendingDrops = 0;  // of records the filter left out
    std::vector<Waiting> waiting;
    // The file being read: what stamps its untimed frames.
    std::string name, path;
    std::int64_t hour = 0;
    bool hourKnown = false, said = false;
  };

  // The first pass: every capture's sequence settled, over all its records
  // whatever the filter, as check settles it.
  bool Settle() {
    for (Capture& c : captures_) {
      varnet::CaptureRuns runs;
      for (std::size_t f = 0; f < c.files.size(); ++f) {
        varnet::FileRuns file;
        std::unique_ptr<RecordSource> source = c.files[f]->open();
        if (source == nullptr) return false;
        std::uint8_t record[kRecordSize];
        for (std::int64_t n = 1; source->Next(record); ++n) {
          varnet::RecordView view;
          if (!Fault(record, view).empty()) continue;
          if (!view.timed) {
            file.Untimed();
          } else {
            file.Add(n, view.arrival.sequence, view.arrival.run,
                     static_cast<std::int64_t>(When(view, n, nullptr)));
          }
        }
        if (source->Failed()) {
          std::fprintf(err_, "pktdump: %s: cannot be read: %s\n", c.files[f]->path.c_str(),
                       source->Reason().c_str());
          return false;
        }
        const std::int64_t hour = varnet::NaiveHourOf(c.files[f]->name);
        runs.Fold(file, static_cast<int>(f), hour == varnet::kNoHour ? varnet::kNoRunTime : hour);
        Take(c, runs);
      }
      runs.Finish();
      Take(c, runs);
      c.runs = runs.Runs();
    }
    return true;
  }
  static void Take(Capture& c, varnet::CaptureRuns& runs) {
    for (const varnet::RunEvent& e : runs.Take()) {
      if (e.kind != varnet::RunEvent::kGap) continue;
      c.drops[{static_cast<std::size_t>(e.file), e.record}] += e.lost;
    }
  }

  void Header() {
    std::vector<std::uint8_t> shb;
    Put32(shb, 0x1A2B3C4D);
    Put16(shb, 1);
    Put16(shb, 0);
    Put32(shb, 0xFFFFFFFF);
    Put32(shb, 0xFFFFFFFF);
    Option(shb, 1,
           "Varnet packet data records exported by pktdump, in time order, an interface per "
           "capture (a folder's files). A record written with PacketTimes=1 carries its arrival "
           "(to 100 ns), which stamps its frame; any other frame is stamped with the start of "
           "its file's hour (local time, as Varnet names its files) plus its record number in "
           "microseconds, which is no capture time. A frame's drop count is the datagrams its "
           "capture lost just before it; each run's statistics block has its totals.");
    Option(shb, 4, std::string("pktdump ") + kVersion + " (Trelm workstation toolset)");
    Put32(shb, 0);  // end of options
    Block(out_, 0x0A0D0D0A, shb);
    for (const Capture& c : captures_) {
      std::vector<std::uint8_t> idb;
      Put16(idb, 1);  // Ethernet
      Put16(idb, 0);
      Put32(idb, 0);
      std::string label = c.folder;
      while (!label.empty() && (label.back() == '/' || label.back() == '\\')) label.pop_back();
      const std::size_t slash = label.find_last_of("/\\");
      if (slash != std::string::npos) label = label.substr(slash + 1);
      Option(idb, 2, "varnet" + (suffix_.empty() ? std::string() : "-ch" + suffix_) +
                         (captures_.size() > 1 ? "-" + label : std::string()));  // if_name
      Option(idb, 3, "Varnet's packet data records" +
                         (suffix_.empty() ? std::string() : " of channel " + suffix_) +
                         (c.folder == "-" ? std::string(" from standard input") : " in " + c.folder));
      Option(idb, 9, std::string(1, '\x07'));  // if_tsresol: 10^-7 s, a FILETIME's unit
      Put32(idb, 0);
      Block(out_, 1, idb);
    }
  }

  // Every run's totals, an Interface Statistics Block each.
  void Statistics() {
    for (std::size_t i = 0; i < captures_.size(); ++i) {
      for (const varnet::RunSummary& r : captures_[i].runs) {
        if (r.first == varnet::kNoRunTime) continue;
        std::vector<std::uint8_t> isb;
        Put32(isb, static_cast<std::uint32_t>(i));
        const std::uint64_t end = static_cast<std::uint64_t>(r.last);
        Put32(isb, static_cast<std::uint32_t>(end >> 32));
        Put32(isb, static_cast<std::uint32_t>(end));
        Option(isb, 1, r.tag >= 0 ? "run " + std::to_string(r.tag) : std::string("a run without a tag"));
        RawOption(isb, 2, Stamp(static_cast<std::uint64_t>(r.first)));  // isb_starttime
        RawOption(isb, 3, Stamp(end));                                 // isb_endtime
        RawOption(isb, 4, Count64(r.records + r.lost));                // isb_ifrecv
        RawOption(isb, 5, Count64(r.lost));                            // isb_ifdrop
        Put32(isb, 0);
        Block(out_, 5, isb);
      }
    }
  }

  // Reads the cursor's capture on until its heap holds kReorder frames or
  // it ends. false when the export must stop.
  bool Fill(Cursor& cursor, long* bad) {
    Capture& c = captures_[cursor.capture];
    while (!cursor.done && cursor.waiting.size() < kReorder) {
      if (!cursor.begun) {
        if (cursor.file >= c.files.size()) {
          cursor.done = true;
          // Datagrams lost before records the filter left out, at the end:
          // on the capture's last frame still waiting, so none is dropped.
          if (cursor.pendingDrops != 0 && !cursor.waiting.empty()) {
            auto last = std::max_element(cursor.waiting.begin(), cursor.waiting.end(),
                                         [](const Waiting& a, const Waiting& b) { return Later(b, a); });
            last->drops += std::exchange(cursor.pendingDrops, 0);
          }
          break;
        }
        const In& in = *c.files[cursor.file];
        cursor.source = in.open();
        if (cursor.source == nullptr) return false;
        cursor.number = 0;
        cursor.begun = true;
        cursor.name = in.name;
        cursor.path = in.path;
        cursor.hourKnown = cursor.said = false;
        cursor.hour = 0;
        varnet::FileHour hour;
        if (varnet::ParsePacketFileName(in.name, &hour)) {
          const std::int64_t ms = varnet::HourStartMs(hour);
          cursor.hourKnown = ms != varnet::kNoHour;
          cursor.hour = ms / 1000;
        }
      }
      std::uint8_t record[kRecordSize];
      if (cursor.number >= o_.filter.last || !cursor.source->Next(record)) {
        const std::size_t rest = cursor.number >= o_.filter.last ? 0 : cursor.source->Rest();
        if (cursor.source->Failed()) {
          std::fprintf(err_, "pktdump: %s: cannot be read: %s\n", c.files[cursor.file]->path.c_str(),
                       cursor.source->Reason().c_str());
          return false;
        }
        if (rest != 0) {
          ++*bad;
          std::fprintf(err_, "pktdump: %s: %s\n", c.files[cursor.file]->name.c_str(),
                       varnet::CutText(rest, cursor.number).c_str());
        }
        cursor.begun = false;
        ++cursor.file;
        continue;
      }
      const std::int64_t n = ++cursor.number;
      // A gap counts where the record after it is: before a --records
      // range, it is not the range's.
      if (n < o_.filter.first) continue;
      auto drop = c.drops.find({cursor.file, n});
      if (drop != c.drops.end()) cursor.pendingDrops += drop->second;
      varnet::RecordView view;
      const std::string fault = Fault(record, view);
      if (!fault.empty()) {
        ++*bad;
        std::fprintf(err_, "pktdump: %s: record %lld has %s; skipped\n",
                     c.files[cursor.file]->name.c_str(), static_cast<long long>(n), fault.c_str());
        continue;
      }
      if (!Passes(o_.filter, view, Devices())) continue;
      const std::uint64_t when = When(view, n, &cursor);
      cursor.waiting.push_back(Waiting{when, order_++, Frame(view, n, cursor, when),
                                       std::exchange(cursor.pendingDrops, 0)});
      std::push_heap(cursor.waiting.begin(), cursor.waiting.end(), Later);
    }
    return true;
  }

  LineDevices* Devices() {
    if (o_.filter.devices.empty()) return nullptr;
    if (devices_ == nullptr) devices_ = std::make_unique<LineDevices>(o_.filter.ini);
    return devices_.get();
  }

  // The arrival where the record carries it, else the hour's start plus
  // the record number in microseconds; in 100 ns from 1970.
  // (The settling pass needs only the timed.)
  std::uint64_t When(const varnet::RecordView& view, std::int64_t number, Cursor* cursor) {
    if (view.timed && view.arrival.filetime >= trelm::kFiletimeUnixEpoch) {
      return view.arrival.filetime - trelm::kFiletimeUnixEpoch;
    }
    if (cursor == nullptr) return 0;
    return static_cast<std::uint64_t>(UntimedHour(*cursor)) * 10000000u +
           static_cast<std::uint64_t>(number) * 10u;
  }

  std::vector<std::uint8_t> Frame(const varnet::RecordView& view, std::int64_t number,
                                  const Cursor& cursor, std::uint64_t when) {
    const std::size_t interface = cursor.capture;
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
    std::vector<std::uint8_t> epb;
    Put32(epb, static_cast<std::uint32_t>(interface));
    Put32(epb, static_cast<std::uint32_t>(when >> 32));
    Put32(epb, static_cast<std::uint32_t>(when));
    Put32(epb, static_cast<std::uint32_t>(frame.size()));
    Put32(epb, static_cast<std::uint32_t>(frame.size()));
    epb.insert(epb.end(), frame.begin(), frame.end());
    while (epb.size() % 4 != 0) epb.push_back(0);
    // The frame's comment: where it came from.
    Option(epb, 1, cursor.name + " record " + std::to_string(number) +
                       (view.timed ? " sequence " + std::to_string(view.arrival.sequence) : ""));
    return epb;  // the drop count and the options' end come as it is written
  }

  // The hour that stamps an untimed record of this file: the name's, else
  // --hour, else the hour of the file's last change, else 1970; said once
  // a file, only when such a record is met.
  std::int64_t UntimedHour(Cursor& c) {
    if (c.hourKnown || c.said) return c.hour;
    c.said = true;
    if (o_.hour >= 0) {
      c.hour = o_.hour;
      return c.hour;
    }
    struct stat info {};
    c.hour = 0;
    if (c.path != "-" && stat(c.path.c_str(), &info) == 0) {
      c.hour = static_cast<std::int64_t>(info.st_mtime) / 3600 * 3600;
    }
    const trelm::CivilTime t = trelm::UtcCivil(c.hour);
    char when[32];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:00", t.year, t.month, t.day, t.hour);
    std::fprintf(err_,
                 "pktdump: %s: the name gives no hour (PKT_YYYYMMDD.HH): its untimed frames are "
                 "stamped from %s UTC%s; --hour gives one\n",
                 c.name.c_str(), when, c.hour != 0 ? ", the hour of its last change" : "");
    return c.hour;
  }

  std::FILE* out_;
  std::FILE* err_;
  const Options& o_;
  std::string suffix_;
  std::vector<Capture> captures_;
  std::unique_ptr<LineDevices> devices_;
  std::uint64_t order_ = 0;
};

}  // namespace

int RunPcapng(std::vector<std::unique_ptr<Input>>& inputs, const Options& o, std::FILE* out,
              std::FILE* err) {
  std::vector<In> ins;
  for (auto& input : inputs) {
    Input* file = input.get();
    if (file->size < 0) {
      // A pipe is read twice: kept in a temporary file from the first.
      std::FILE* copy = std::tmpfile();
      if (copy == nullptr) {
        std::fprintf(err, "pktdump: %s: cannot be kept for the export: %s\n", file->name.c_str(),
                     std::strerror(errno));
        return 1;
      }
      char chunk[65536];
      std::size_t n;
      while ((n = std::fread(chunk, 1, sizeof chunk, file->file)) > 0) {
        if (std::fwrite(chunk, 1, n, copy) != n) break;
      }
      if (std::ferror(file->file) != 0 || std::fflush(copy) != 0 || std::ferror(copy) != 0) {
        std::fprintf(err, "pktdump: %s: cannot be read: %s\n", file->name.c_str(), std::strerror(errno));
        std::fclose(copy);
        return 1;
      }
      if (file->owned) std::fclose(file->file);
      file->file = copy;
      file->owned = true;
      // Its size is known now: a range past its end is said as for a file.
      file->size = FileSize(copy);
      std::vector<std::unique_ptr<Input>> one;
      one.push_back(std::make_unique<Input>());
      one.back()->path = file->path == "-" ? file->name : file->path;
      one.back()->size = file->size;
      const bool fits = RangeFits(one, o.filter, err);
      one.back()->file = nullptr;
      if (!fits) return -1;
    }
    ins.push_back(In{file->path, file->name, Directory(file->path), [file, err]() -> std::unique_ptr<RecordSource> {
                       if (!varnet::SeekStdio(file->file, 0)) {
                         std::fprintf(err, "pktdump: %s: cannot be read again\n", file->name.c_str());
                         return nullptr;
                       }
                       return std::make_unique<StreamSource>(file->file, false);
                     }});
  }
  Exporter exporter(out, err, o);
  const long bad = exporter.Write(ins);
  if (bad < 0) return -1;
  return static_cast<int>(std::min<long>(bad, 1));
}

void WritePcapng(const std::vector<File>& files, int channel, std::FILE* out) {
  Options o;
  o.channel = channel;
  std::vector<In> ins;
  for (const File& f : files) {
    ins.push_back(In{f.name, BaseName(f.name), Directory(f.name),
                     [&f]() -> std::unique_ptr<RecordSource> { return std::make_unique<MemorySource>(f); }});
  }
  Exporter exporter(out, out, o);
  exporter.Write(ins);
}

}  // namespace pktdump

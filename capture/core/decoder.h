// The control protocol's decoders: every command and revertive becomes
// text lines, gated by the show flags and the device filters, each line
// with its facts (kind, device, whether Analyse lists it); anomalies go to
// the error log; what a datagram said as a whole (its devices, a heartbeat,
// a clock set) comes back from the decoding. Portable: the outputs and the
// clock go through DecoderHost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/capture_config.h"
#include "core/packet_record.h"

namespace varnet {

// What a line of the decoders is.
enum class LineKind : std::uint8_t {
  kCommand,       // "[nnn] ..." one command of the datagram
  kRevertive,     // a revertive's line: its header "[---] ..." or "[nnn] ..."
  kHeartbeat,     // "Heartbeat - workstation N"
  kTimeSet,       // the "TS ..." text that sets the clock, as it came
  kSerial,        // a packet serial line
  kStatus,        // an N series or RD text, as it came
  kUnrecognised,  // unrecognised or illegal data, and its bytes
};

// What a line is, beside its text.
struct LineFacts {
  LineKind kind = LineKind::kCommand;
  // The device the line belongs to, 1 to 999, 0 for none. One rule for
  // every reader (pktdump's decode and report, the Wireshark dissector): a
  // line belongs to the device whose entry in the device filters decides
  // whether it is written; a line no filter can hide (a packet serial, RD,
  // the N series, a time set, a heartbeat, unrecognised data, the universal
  // revertive's header, its device 0 and its texts other than "RM")
  // belongs to none.
  int device = 0;
  // An entry Analyse lists (IsUnusualText): neither traffic nor status.
  bool unusual = false;
};

// What one datagram's decoding found, whether or not its lines are shown.
struct DatagramFacts {
  std::vector<int> devices;  // of its lines, each once, in the order they came
  int heartbeat = -1;        // the workstation of a heartbeat; -1 none
  // A time set with a real date and time of day: the clock it sets.
  bool clockSet = false;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

class DecoderHost {
 public:
  virtual ~DecoderHost() = default;
  // Time-stamped into the capture log and onto the screen.
  virtual void WriteLogLine(const char* text) = 0;
  // A line with its facts; the log and the screen need only its text.
  virtual void WriteLine(const char* text, const LineFacts& /*facts*/) { WriteLogLine(text); }
  // The screen only.
  virtual void ShowLine(const char* text) = 0;
  // A dated entry in ERRORLOG.TXT, framed on the screen.
  virtual void WriteErrorLog(const char* text) = 0;
  // The workstation's clock: the date (time of day kept), then the time of
  // day (date kept). A refusal is ignored.
  virtual void SetClockDate(int year, int month, int day) = 0;
  virtual void SetClockTime(int hour, int minute, int second, int milliseconds) = 0;
};

// The token scanner of the text-headed revertives and the NN command.
class TokenScanner {
 public:
  static constexpr int kSlots = 10;
  static constexpr std::size_t kTokenSize = kDatagramSize + 1;
  // Fills up to count slots from the text's character 3 on; missing tokens
  // are empty with value 0. A slot keeps its content until scanned again.
  void Scan(const char* text, int count);
  const char* Text(int slot) const { return slots_[slot].text; }
  std::int32_t Value(int slot) const { return slots_[slot].value; }

 private:
  struct Slot {
    char text[kTokenSize] = "";
    std::int32_t value = 0;
  };
  Slot slots_[kSlots];
};

class Decoder {
 public:
  Decoder(DecoderHost& host, const DecodeOptions& options, const DeviceFilters& filters)
      : host_(host), options_(options), filters_(filters) {}

  // A datagram that arrived on the device-control name. The buffer holds
  // at most 512 bytes of it and zeros after them. The facts stay until the
  // next datagram.
  const DatagramFacts& DecodeCommand(const std::uint8_t (&buffer)[kDatagramSize + 1]);
  // A datagram that arrived on the ORM name; receiveCounter is the count of
  // datagrams received in this second before this one.
  const DatagramFacts& DecodeRevertive(const std::uint8_t (&buffer)[kDatagramSize + 1],
                                       std::uint32_t receiveCounter);

 private:
  void Load(const std::uint8_t (&buffer)[kDatagramSize + 1]);
  // A line to the host with its facts; the device is the line's.
  void Write(const char* text, LineKind kind, int device = 0);
  // The lines written next belong to this device.
  void Device(int device);
  const char* Text() const { return reinterpret_cast<const char*>(data_); }
  bool RevertiveEnabled(std::int64_t device) const;
  void GpiRevertive();
  void InfoRevertive();
  void RouterRevertive();
  void Heartbeat();
  void TimeSet();
  void UniversalRevertive();

  DecoderHost& host_;
  const DecodeOptions& options_;
  const DeviceFilters& filters_;
  DatagramFacts facts_;
  TokenScanner tokens_;
  // The datagram being decoded, with a zero byte after its 512 bytes.
  std::uint8_t data_[kDatagramSize + 1] = {};
  char line_[kDatagramSize + 192] = "";
  char work_[kDatagramSize + 1] = "";
  char text_[kDatagramSize + 96] = "";  // serial lines and the universal revertive's texts
};

}  // namespace varnet

// The control protocol's decoders: every command and revertive becomes
// text lines, gated by the show flags and the device filters; anomalies go
// to the error log. Portable: the outputs and the clock go through
// DecoderHost.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/capture_config.h"
#include "core/packet_record.h"

namespace varnet {

class DecoderHost {
 public:
  virtual ~DecoderHost() = default;
  // Time-stamped into the capture log and onto the screen.
  virtual void WriteLogLine(const char* text) = 0;
  // The screen only.
  virtual void ShowLine(const char* text) = 0;
  // A dated entry in ERRORLOG.TXT, framed on the screen.
  virtual void WriteErrorLog(const char* text) = 0;
  // The workstation's clock: the date (time of day kept), then the time of
  // day (date kept). A refusal is ignored.
  virtual void SetClockDate(int year, int month, int day) = 0;
  virtual void SetClockTime(int hour, int minute, int second, int milliseconds) = 0;
  // The device the lines written next belong to. One rule for every reader
  // (pktdump's decode and report, the Wireshark dissector): a line belongs
  // to the device, 1 to 999, whose entry in the device filters decides
  // whether it is written; a line no filter can hide (a packet serial, RD,
  // the N series, a time set, a heartbeat, unrecognised data, the universal
  // revertive's header, its device 0 and its texts other than "RM") belongs
  // to none. Told before the lines; the tool needs no more than the lines.
  virtual void NoteDevice(int /*device*/) {}
  // A heartbeat revertive arrived from this workstation, whether or not its
  // line is shown.
  virtual void NoteHeartbeat(int /*workstation*/) {}
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
  // at most 512 bytes of it and zeros after them.
  void DecodeCommand(const std::uint8_t (&buffer)[kDatagramSize + 1]);
  // A datagram that arrived on the ORM name; receiveCounter is the count of
  // datagrams received in this second before this one.
  void DecodeRevertive(const std::uint8_t (&buffer)[kDatagramSize + 1],
                       std::uint32_t receiveCounter);

 private:
  void Load(const std::uint8_t (&buffer)[kDatagramSize + 1]);
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
  TokenScanner tokens_;
  // The datagram being decoded, with a zero byte after its 512 bytes.
  std::uint8_t data_[kDatagramSize + 1] = {};
  char line_[kDatagramSize + 192] = "";
  char work_[kDatagramSize + 1] = "";
  char text_[kDatagramSize + 96] = "";  // serial lines and the universal revertive's texts
};

}  // namespace varnet

// The decoders as the tools run them on packet records: a host that does
// nothing with what it is told (a tool overrides only what it wants), and
// a decoder with its own settings, read from a VARNET.INI text, that takes
// a record's datagram as the channel hands one over. Portable.
#pragma once

#include <cstdint>
#include <string>

#include "core/capture_config.h"
#include "core/decoder.h"
#include "core/packet_record.h"

namespace varnet {

// Lines, error log entries and clock sets go nowhere.
class NullDecoderHost : public DecoderHost {
 public:
  void WriteLogLine(const char*) override {}
  void ShowLine(const char*) override {}
  void WriteErrorLog(const char*) override {}
  void SetClockDate(int, int, int) override {}
  void SetClockTime(int, int, int, int) override {}
};

class RecordDecoder {
 public:
  // The show flags and device filters of the VARNET.INI text (empty: the
  // defaults of a first run).
  RecordDecoder(DecoderHost& host, const std::string& ini);
  RecordDecoder(const RecordDecoder&) = delete;
  RecordDecoder& operator=(const RecordDecoder&) = delete;

  // A record's datagram through the decoder of its kind (a revertive as the
  // first of its second); the facts stay until the next record.
  const DatagramFacts& Decode(const RecordView& view);
  const DecodeOptions& Options() const { return options_; }

 private:
  DecodeOptions options_;
  DeviceFilters filters_;
  Decoder decoder_;
  std::uint8_t buffer_[kDatagramSize + 1] = {};  // the byte after the 512 stays zero
};

}  // namespace varnet

// Reading a packet data file's records without trusting the file, and the
// hex dump of a record. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/input_file.h"
#include "core/packet_record.h"

namespace varnet {

enum class RecordRead {
  Ok,
  SeekFailed,  // the offset was refused (a record number below 1)
  End,         // no byte of the record is in the file
  Short,       // the file ends inside the record
};

// Reads record number (from 1). got receives the count of bytes read.
RecordRead ReadRecordAt(InputFile& file, std::int64_t number,
                        std::uint8_t (&record)[kRecordSize], std::size_t* got = nullptr);

// What makes a record unfit to decode or send, as a phrase ("type 3,
// neither 1 nor 2", "length 513, above 512"); empty when it is fit.
std::string RecordFault(const RecordView& record);
// What makes a file no packet data file: a size that is not a whole number
// of records. Empty when the size is right.
std::string SizeFault(std::uint64_t size);

constexpr int kDumpLines = 32;
constexpr std::size_t kDumpLineSize = 96;

// "Packet: %04d (%04x) - Type %d - Length %d" (the length as recorded).
void DumpHeader(std::int64_t number, const RecordView& record, char* out, std::size_t size);
// Line (0..31) of the dump of a record's 512 data bytes: the offsets, 16
// bytes in hex with a gap before the ninth, and the characters.
void DumpLine(const std::uint8_t* data, int line, char (&out)[kDumpLineSize]);

}  // namespace varnet

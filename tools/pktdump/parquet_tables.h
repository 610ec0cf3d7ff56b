// The two tables `pktdump parquet` writes, their fixed columns and how a
// record or a sequence gap becomes a row. The README's schema table says
// the same; a change of a column is a change of both.
//
// records, one row per record, in file and record order:
//   ws        INT32               the workstation (--ws, the folder's digits, or 0)
//   run       INT32 optional      the run tag (null: untimed, or written before tags)
//   sequence  INT64 optional      the wrapper's count (null: untimed)
//   arrival   INT64 TIMESTAMP(MICROS, UTC) optional   the FILETIME to the microsecond
//                                 (its last digit, tenths of a microsecond, dropped)
//   hour_file BYTE_ARRAY UTF8 dictionary   the file's name, PKT_YYYYMMDD.HH
//   record    INT64               the record's number in its file, from 1
//   kind      BYTE_ARRAY UTF8 dictionary   command, revertive, or malformed (a
//                                 record decode refuses: type not 1 or 2, length above 512)
//   device    INT32 optional      the first device its lines belong to (null: none)
//   devices   BYTE_ARRAY UTF8 dictionary   every such device, "12,14" ("" none)
//   text      BYTE_ARRAY UTF8     decode's lines, parted by "\n"; a malformed
//                                 record's fault
//   errorlog  BYTE_ARRAY UTF8     the error log entries, parted by "\n" ("" none)
//   length    INT32               the datagram's length as recorded
//   payload   BYTE_ARRAY          the datagram's bytes (length of them); a
//                                 malformed record's whole 528 bytes
//   flags     INT32               1 error log entries, 2 unrecognised or
//                                 illegal data, 4 a line Analyse lists as unusual
// Texts are the datagrams' bytes, each byte the character of that code
// (Latin-1), written as UTF-8: as decode --format json writes them.
//
// gaps, one row per sequence gap, as decode --format json and summary
// --format json give them:
//   ws INT32; run INT32 optional; gap BYTE_ARRAY UTF8 dictionary (lost,
//   maybe_in_an_earlier_file, maybe_in_a_missing_hour_file); hour_file and
//   record (INT64): the record after the gap; after_hour_file (optional),
//   after_record, after_sequence (INT64 optional; null at a run's start):
//   the record before it; before_sequence (INT64): the number of the record
//   after; lost (INT64); from_time, to_time (TIMESTAMP optional): the
//   arrivals of the records before and after it.
// Portable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/packet_record.h"
#include "parquet_writer.h"
#include "sequence.h"

namespace pktdump::parquet {

const std::vector<Column>& RecordColumns();
const std::vector<Column>& GapColumns();

// A FILETIME as microseconds since 1970 (earlier ones below 0).
std::int64_t Micros(std::uint64_t filetime);
// The bytes, each the character of its code, as UTF-8.
std::string Utf8(const std::string& latin1);

// Records decoded into rows of the records table.
class RecordRows {
 public:
  explicit RecordRows(const std::string& ini);
  ~RecordRows();
  RecordRows(const RecordRows&) = delete;
  RecordRows& operator=(const RecordRows&) = delete;
  void Add(Writer& table, int ws, const std::string& hourFile, std::int64_t record,
           const varnet::RecordView& view);
  // A record decode refuses, kept whole (its 528 bytes) with its fault.
  void AddMalformed(Writer& table, int ws, const std::string& hourFile, std::int64_t record,
                    const std::uint8_t* bytes, std::uint16_t length,
                    const std::string& fault);

 private:
  class Host;
  std::unique_ptr<Host> host_;
};

// A gap of the capture's settlement as a row of the gaps table; names are
// the files' names by their index in the settlement.
void AddGap(Writer& table, int ws, const SequenceEvent& gap, const std::vector<std::string>& names);
// Whether the event is a gap (the gaps table's rows), and its name there.
const char* GapName(const SequenceEvent& event);

}  // namespace pktdump::parquet

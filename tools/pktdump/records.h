// Reading records: from memory or a stream, one at a time, through the
// sink of a mode with its filter; the inputs opened and checked whole; the
// devices a record's lines belong to; the texts of names and times. What
// every mode of pktdump reads with. Portable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/packet_file.h"
#include "core/packet_record.h"
#include "pktdump_types.h"

namespace pktdump {

using varnet::kDatagramSize;
using varnet::kRecordSize;

constexpr const char* kStdinName = "(standard input)";

// The name a file is shown by: its last path component.
std::string BaseName(const std::string& path);
std::string Json(const std::string& text);
const char* KindName(int type);
// The folder a path is in, however the path names it ("a/x", "./a/x" and
// the full path give one folder; "-" for standard input): files of
// different folders are different captures.
std::string Directory(const std::string& path);
// A FILETIME as "2026-12-09T10:11:12.1234567Z" (UTC).
std::string TimeText(std::uint64_t filetime);

// The devices a datagram's lines belong to, by the decoders' one rule: the
// devices whose entries in Varnet's device filters decide whether its lines
// are written, under the show flags and filters of a VARNET.INI text (empty:
// a first run's). summary's counts and --device go by it; decode and report
// hear the same from the decoding they do.
class LineDevices {
 public:
  explicit LineDevices(const std::string& ini = std::string());
  ~LineDevices();
  LineDevices(const LineDevices&) = delete;
  LineDevices& operator=(const LineDevices&) = delete;
  // In the order the lines come, each once.
  const std::vector<int>& Of(const varnet::RecordView& view);

 private:
  class Host;
  std::unique_ptr<Host> host_;
};

// Whether a record passes the filter; devices is the rule --device goes by
// (needed only when the filter names devices).
bool Passes(const Filter& filter, const varnet::RecordView& view, LineDevices* devices);

// The date and hour a "PKT_YYYYMMDD.HH" name (or a path ending in one)
// gives; false when it gives none.
using NameHour = varnet::FileHour;
bool HourInName(const std::string& name, NameHour* when);

// The start of the hour a "PKT_YYYYMMDD.HH" name gives, as UTC seconds;
// false when the name gives none.
bool HourOf(const std::string& name, std::int64_t* hour);

// Records one after another, from memory or from a stream; never more than
// one record held.
class RecordSource {
 public:
  virtual ~RecordSource() = default;
  // The next whole record; false at the end, or at bytes that make no
  // whole record (Rest() then counts them).
  virtual bool Next(std::uint8_t (&record)[kRecordSize]) = 0;
  virtual std::size_t Rest() const = 0;
  // Passes over count records; returns how many there were (fewer when
  // the input ends first).
  virtual std::int64_t Skip(std::int64_t count) {
    std::uint8_t record[kRecordSize];
    for (std::int64_t i = 0; i < count; ++i) {
      if (!Next(record)) return i;
    }
    return count;
  }
  virtual bool Failed() const { return false; }
  // The system's reason for a failed read.
  virtual std::string Reason() const { return std::string(); }
};

class MemorySource : public RecordSource {
 public:
  explicit MemorySource(const File& file) : file_(file) {}
  bool Next(std::uint8_t (&record)[kRecordSize]) override;
  std::size_t Rest() const override { return file_.bytes.size() % kRecordSize; }

 private:
  const File& file_;
  std::size_t at_ = 0;
};

class StreamSource : public RecordSource {
 public:
  StreamSource(std::FILE* in, bool seekable) : in_(in), seekable_(seekable) {}
  bool Next(std::uint8_t (&record)[kRecordSize]) override;
  std::size_t Rest() const override { return rest_; }
  std::int64_t Skip(std::int64_t count) override;
  bool Failed() const override { return std::ferror(in_) != 0; }
  std::string Reason() const override;

 private:
  std::FILE* in_;
  int errno_ = 0;
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
  // Every fit record, before the filter: what needs the whole capture
  // (its sequence gaps) whatever is shown.
  virtual void Every(std::int64_t /*number*/, const varnet::RecordView& /*view*/) {}
  // Every is wanted for the records outside a --records range too.
  virtual bool WantsEvery() const { return false; }
  // Summary lists bad records itself; the other modes refuse or skip them.
  virtual bool ListsBad() const { return false; }
  virtual void Bad(std::int64_t /*number*/, const std::string& /*fault*/) {}
  virtual void EndFile(std::int64_t /*records*/, std::size_t /*rest*/) {}
  // After every file: what is still to say. Returns whether the mode's
  // verdict passes; *bad may be replaced by the mode's own count of bad
  // records.
  virtual bool EndAll(long* /*bad*/) { return true; }
  // The exit code when EndAll's verdict fails (and nothing else did).
  virtual int FailCode() const { return 1; }
};

// Why a record cannot go through, or empty.
std::string Fault(const std::uint8_t (&record)[kRecordSize], varnet::RecordView& view);

// One file through a sink. A bad record (or a cut last one) ends the run
// with its message, or with keep-going is reported and skipped; summary
// lists them instead. Returns the count of bad records, or -1 when the
// run must stop.
long Run(RecordSource& source, const std::string& name, const std::string& path, Sink& sink,
         const Filter& filter, bool keepGoing, std::FILE* err);

// The size of an open file (past 2 GB too), or -1 when it has none (a
// pipe); the file is left at its start.
long long FileSize(std::FILE* in);

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

bool Open(Input& input, std::FILE* in, std::FILE* err);

// Why a path cannot be read as a file, in the system's words ("Is a
// directory", "No such file or directory"); empty when it can be opened.
std::string Unreadable(const std::string& path);
// A whole file's text; false with the reason said on err.
bool ReadText(const std::string& path, std::string* text, std::FILE* err);

// Files of a known size hold the record range asked for: a range that
// starts past a file's end is said, before anything is shown.
bool RangeFits(const std::vector<std::unique_ptr<Input>>& inputs, const Filter& filter,
               std::FILE* err);

// What makes a file of that size and those records unfit to go through, the
// size first; empty when nothing does.
std::string FirstFault(std::uint64_t size, RecordSource& source);

// A file on disk is checked whole before anything of it is shown: its
// size, then every record. Standard input is checked as it is read.
bool CheckWhole(Input& input, std::FILE* err);

}  // namespace pktdump

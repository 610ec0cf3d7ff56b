// The records and gaps tables of `pktdump parquet` (parquet_tables.h):
// their columns, and each record through Varnet's decoders into its row.
#include "parquet_tables.h"

#include "core/log_text.h"
#include "core/record_decoder.h"
#include "records.h"
#include "wall_time.h"

namespace pktdump::parquet {

namespace {

enum RecordColumn : std::size_t {
  kWs, kRun, kSequence, kArrival, kHourFile, kRecord, kKind, kDevice, kDevices, kText,
  kErrorlog, kLength, kPayload, kFlags
};
enum GapColumn : std::size_t {
  kGapWs, kGapRun, kGap, kGapHourFile, kGapRecord, kAfterHourFile, kAfterRecord,
  kAfterSequence, kBeforeSequence, kLost, kFromTime, kToTime
};

constexpr Type kI32 = Type::kInt32, kI64 = Type::kInt64, kBytes = Type::kByteArray;
constexpr Annotation kNone = Annotation::kNone, kText8 = Annotation::kString,
                     kTime = Annotation::kTimestampMicros;

// The anomaly flags.
constexpr int kFlagErrorLog = 1, kFlagUnrecognised = 2, kFlagUnusual = 4;

// The rows' 0 and null where a value is not known.
void IntOrNull(Writer& t, std::size_t column, bool known, std::int64_t v) {
  if (known) {
    t.Int64(column, v);
  } else {
    t.Null(column);
  }
}

}  // namespace

const std::vector<Column>& RecordColumns() {
  static const std::vector<Column> columns = {
      {"ws", kI32, false, kNone, false, true},
      {"run", kI32, true, kNone, false, true},
      {"sequence", kI64, true, kNone, false, true},
      {"arrival", kI64, true, kTime, false, true},
      {"hour_file", kBytes, false, kText8, true, true},
      {"record", kI64, false, kNone, false, true},
      {"kind", kBytes, false, kText8, true, true},
      {"device", kI32, true, kNone, false, true},
      {"devices", kBytes, false, kText8, true, false},
      {"text", kBytes, false, kText8, true, false},
      {"errorlog", kBytes, false, kText8, true, false},
      {"length", kI32, false, kNone, false, true},
      {"payload", kBytes, false, kNone, false, false},
      {"flags", kI32, false, kNone, false, true},
  };
  return columns;
}

const std::vector<Column>& GapColumns() {
  static const std::vector<Column> columns = {
      {"ws", kI32, false, kNone, false, true},
      {"run", kI32, true, kNone, false, true},
      {"gap", kBytes, false, kText8, true, true},
      {"hour_file", kBytes, false, kText8, true, true},
      {"record", kI64, false, kNone, false, true},
      {"after_hour_file", kBytes, true, kText8, true, true},
      {"after_record", kI64, true, kNone, false, true},
      {"after_sequence", kI64, true, kNone, false, true},
      {"before_sequence", kI64, false, kNone, false, true},
      {"lost", kI64, false, kNone, false, true},
      {"from_time", kI64, true, kTime, false, true},
      {"to_time", kI64, true, kTime, false, true},
  };
  return columns;
}

std::int64_t Micros(std::uint64_t filetime) {
  return static_cast<std::int64_t>(filetime / 10) -
         static_cast<std::int64_t>(trelm::kFiletimeUnixEpoch / 10);
}

std::string Utf8(const std::string& latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (unsigned char c : latin1) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | c >> 6));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// The decoders' outputs for one record: its lines (as the log has them),
// its error log entries and its flags.
class RecordRows::Host : public varnet::NullDecoderHost {
 public:
  explicit Host(const std::string& ini) : decoder_(*this, ini) {}
  void Decode(const varnet::RecordView& view) {
    text_.clear();
    errors_.clear();
    flags_ = 0;
    devices_ = &decoder_.Decode(view).devices;
  }
  void WriteLine(const char* text, const varnet::LineFacts& facts) override {
    if (varnet::LogDropsText(text, decoder_.Options().showNxMessages != 0)) return;
    if (facts.kind == varnet::LineKind::kUnrecognised) flags_ |= kFlagUnrecognised;
    if (facts.unusual) flags_ |= kFlagUnusual;
    Append(&text_, text);
    // As the log does; the text just added ends at the string's end.
    varnet::BlankFirstLineEnds(&text_[text_.size() - std::char_traits<char>::length(text)]);
  }
  void WriteLogLine(const char* text) override { WriteLine(text, varnet::LineFacts()); }
  void WriteErrorLog(const char* text) override {
    flags_ |= kFlagErrorLog;
    Append(&errors_, text);
  }
  static void Append(std::string* into, const char* text) {
    if (!into->empty()) into->push_back('\n');
    *into += text;
  }

  varnet::RecordDecoder decoder_;
  std::string text_, errors_;
  int flags_ = 0;
  const std::vector<int>* devices_ = nullptr;
};

RecordRows::RecordRows(const std::string& ini) : host_(std::make_unique<Host>(ini)) {}
RecordRows::~RecordRows() = default;

void RecordRows::Add(Writer& t, int ws, const std::string& hourFile, std::int64_t record,
                     const varnet::RecordView& view) {
  Host& h = *host_;
  h.Decode(view);
  t.Int32(kWs, ws);
  if (view.timed && view.arrival.run >= 0) {
    t.Int32(kRun, view.arrival.run);
  } else {
    t.Null(kRun);
  }
  IntOrNull(t, kSequence, view.timed, view.arrival.sequence);
  IntOrNull(t, kArrival, view.timed, Micros(view.arrival.filetime));
  t.Bytes(kHourFile, hourFile);
  t.Int64(kRecord, record);
  t.Bytes(kKind, KindName(view.type));
  const std::vector<int>& devices = *h.devices_;
  if (devices.empty()) {
    t.Null(kDevice);
  } else {
    t.Int32(kDevice, devices.front());
  }
  std::string list;
  for (int d : devices) list += (list.empty() ? "" : ",") + std::to_string(d);
  t.Bytes(kDevices, list);
  t.Bytes(kText, Utf8(h.text_));
  t.Bytes(kErrorlog, Utf8(h.errors_));
  t.Int32(kLength, view.length);
  t.Bytes(kPayload, reinterpret_cast<const char*>(view.data),
          view.length < varnet::kDatagramSize ? view.length : varnet::kDatagramSize);
  t.Int32(kFlags, h.flags_);
  t.EndRow();
}

void RecordRows::AddMalformed(Writer& t, int ws, const std::string& hourFile, std::int64_t record,
                              const std::uint8_t* bytes, std::uint16_t length,
                              const std::string& fault) {
  t.Int32(kWs, ws);
  t.Bytes(kHourFile, hourFile);
  t.Int64(kRecord, record);
  t.Bytes(kKind, "malformed");
  t.Bytes(kText, Utf8(fault));
  t.Int32(kLength, length);
  t.Bytes(kPayload, reinterpret_cast<const char*>(bytes), varnet::kRecordSize);
  t.EndRow();  // the rest null, empty or 0
}

const char* GapName(const SequenceEvent& e) {
  return e.kind == SequenceEvent::kGap       ? "lost"
         : e.kind == SequenceEvent::kEarlier ? "maybe_in_an_earlier_file"
         : e.kind == SequenceEvent::kMissing ? "maybe_in_a_missing_hour_file"
                                             : nullptr;
}

void AddGap(Writer& t, int ws, const SequenceEvent& e, const std::vector<std::string>& names) {
  const bool after = e.beforeFile >= 0;
  t.Int32(kGapWs, ws);
  if (e.run >= 0) {
    t.Int32(kGapRun, e.run);
  } else {
    t.Null(kGapRun);
  }
  t.Bytes(kGap, GapName(e));
  t.Bytes(kGapHourFile, names.at(static_cast<std::size_t>(e.file)));
  t.Int64(kGapRecord, e.record);
  if (after) {
    t.Bytes(kAfterHourFile, names.at(static_cast<std::size_t>(e.beforeFile)));
  } else {
    t.Null(kAfterHourFile);
  }
  IntOrNull(t, kAfterRecord, after, e.beforeRecord);
  // The numbers are the wrapper's 32-bit ones, as summary gives from and to.
  IntOrNull(t, kAfterSequence, after, static_cast<std::uint32_t>(e.from - 1));
  t.Int64(kBeforeSequence, static_cast<std::uint32_t>(e.to + 1));
  t.Int64(kLost, static_cast<std::int64_t>(e.lost));
  IntOrNull(t, kFromTime, e.beforeTime != varnet::kNoRunTime, e.beforeTime);
  IntOrNull(t, kToTime, e.time != varnet::kNoRunTime, e.time);
  t.EndRow();
}

}  // namespace pktdump::parquet

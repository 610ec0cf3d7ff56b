// dump: records as the Packet dialog shows them, header and bytes.
#include "core/packet_dump.h"
#include "pktdump_internal.h"

namespace pktdump {

namespace {

class DumpSink : public Sink {
 public:
  explicit DumpSink(std::FILE* out) : out_(out) {}
  void Record(std::int64_t number, const varnet::RecordView& view) override {
    char line[varnet::kDumpLineSize];
    varnet::DumpHeader(number, view, line, sizeof line);
    std::fprintf(out_, "%s\n  \n", line);
    for (int i = 0; i < varnet::kDumpLines; ++i) {
      varnet::DumpLine(view.data, i, line);
      std::fprintf(out_, "%s\n", line);
    }
  }

 private:
  std::FILE* out_;
};

}  // namespace

std::unique_ptr<Sink> MakeDumpSink(const Options&, std::FILE* out, std::FILE*) {
  return std::make_unique<DumpSink>(out);
}

bool DumpRangeFits(const std::vector<std::unique_ptr<Input>>& inputs, const Options& o,
                   std::FILE* err) {
  // A range that lies outside the file is said.
  const Input& input = *inputs[0];
  if (input.size >= 0) {
    const long long records = input.size / static_cast<long long>(kRecordSize);
    if (o.filter.first > records) {
      std::fprintf(err, "pktdump: %s: holds %lld records: record %lld is not in it\n",
                   input.path.c_str(), records, static_cast<long long>(o.filter.first));
      return false;
    }
    if (o.filter.last != INT64_MAX && o.filter.last > records) {
      std::fprintf(err, "pktdump: %s: holds %lld records: the dump ends at %lld\n",
                   input.path.c_str(), records, records);
    }
  }
  return true;
}

void Dump(const File& file, std::int64_t first, std::int64_t last, std::FILE* out) {
  MemorySource source(file);
  DumpSink sink(out);
  Filter filter;
  filter.first = first < 1 ? 1 : first;
  filter.last = last < 0 ? INT64_MAX : last;
  Run(source, BaseName(file.name), file.name, sink, filter, true, out);
}

}  // namespace pktdump

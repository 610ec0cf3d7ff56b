// dump: records as the Packet dialog shows them, header and bytes.
#include "core/packet_dump.h"
#include "modes.h"
#include "output.h"

namespace pktdump {

namespace {

class DumpSink : public Sink {
 public:
  explicit DumpSink(std::FILE* out) : out_(out) {}
  void Record(std::int64_t number, const varnet::RecordView& view) override {
    char line[varnet::kDumpLineSize];
    varnet::DumpHeader(number, view, line, sizeof line);
    // A timed record says when it arrived, and its place in its run.
    if (view.timed) {
      std::fprintf(out_, "%s\nArrival: %s - Sequence %u - Run %s\n  \n", line,
                   TimeText(view.arrival.filetime).c_str(), view.arrival.sequence,
                   view.arrival.run < 0 ? "not tagged" : std::to_string(view.arrival.run).c_str());
    } else {
      std::fprintf(out_, "%s\n  \n", line);
    }
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

void Dump(const File& file, std::int64_t first, std::int64_t last, std::FILE* out) {
  MemorySource source(file);
  DumpSink sink(out);
  Filter filter;
  filter.first = first < 1 ? 1 : first;
  filter.last = last < 0 ? INT64_MAX : last;
  Run(source, BaseName(file.name), file.name, sink, filter, true, out);
}

}  // namespace pktdump

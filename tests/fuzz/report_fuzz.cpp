// libFuzzer target: any bytes as a packet data file gathered for the report
// (records with and without arrivals, any sequence, any datagram), then the
// page drawn from it, narrowed by a window taken from the first bytes.
#include <cstring>

#include "core/packet_dump.h"
#include "core/packet_record.h"
#include "report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pktdump::report;
  Window window;
  if (size >= 1 && (data[0] & 1) != 0) {
    // A window of up to a day around the first arrivals' era.
    window.from = 1796799600000LL + (data[0] >> 1) * 60000LL;
    window.to = window.from + 86400000LL;
  }
  FileReport report("PKT_20261209.07", HourOfName("PKT_20261209.07"),
                    size >= 2 && (data[1] & 1) != 0 ? "[Network]\nShowHeartbeats=1\n" : "", window);
  std::int64_t number = 0;
  for (std::size_t at = 0; at + varnet::kRecordSize <= size; at += varnet::kRecordSize) {
    ++number;
    varnet::RecordView view;
    varnet::ReadRecord(data + at, varnet::kRecordSize, view);
    const std::string fault = varnet::RecordFault(view);
    if (fault.empty()) {
      report.Add(number, view);
    } else {
      report.Bad(number, fault);
    }
  }
  report.Finish();
  PageOptions options;
  options.window = window;
  const std::string page = RenderPage({&report}, options);
  if (page.find("</html>") == std::string::npos) __builtin_trap();
  return 0;
}

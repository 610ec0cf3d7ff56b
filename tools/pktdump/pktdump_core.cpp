// pktdump's program: the table of modes, and every file of the command line
// through the sink of its mode. The modes are in their own files; the
// shared reading of records in records.cpp, the command line in options.cpp.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "pktdump_internal.h"
#include "report.h"

namespace pktdump {

namespace {

// Every mode pktdump has, by name. A mode joins with a row here.
const Mode kModes[] = {
    {"decode", MakeDecodeSink, false, nullptr},
    {"dump", MakeDumpSink, false, nullptr},
    {"summary", MakeSummarySink, true, nullptr},
    {"check", MakeCheckSink, true, nullptr},
    {"pcapng", MakePcapngSink, false, nullptr},
};

}  // namespace

const Mode* FindMode(const std::string& name) {
  for (const Mode& mode : kModes) {
    if (name == mode.name) return &mode;
  }
  return nullptr;
}

std::string CheckFile(const File& file) {
  MemorySource source(file);
  const std::string fault = FirstFault(file.bytes.size(), source);
  return fault.empty() ? fault : file.name + ": " + fault;
}

int Main(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, std::FILE* in) {
  // The report reads its files in parallel, not through a sink.
  if (!args.empty() && args[0] == "report") {
    return report::RunReport(std::vector<std::string>(args.begin() + 1, args.end()), out, err, in);
  }
  Options o;
  int code = 0;
  if (Parse(args, &o, out, err, &code) != Parsed::Run) return code;
  const Mode& mode = *FindMode(o.mode);
  // Hourly files in name order.
  std::sort(o.paths.begin(), o.paths.end(), [](const std::string& a, const std::string& b) {
    return BaseName(a) != BaseName(b) ? BaseName(a) < BaseName(b) : a < b;
  });
  std::vector<std::unique_ptr<Input>> inputs;
  for (const std::string& p : o.paths) {
    inputs.push_back(std::make_unique<Input>());
    inputs.back()->path = p;
  }
  // Files are named by their name, or by the path given where two have the
  // same name (the same hour of two workstations).
  std::map<std::string, int> named;
  for (const std::string& p : o.paths) ++named[BaseName(p)];

  std::FILE* sinkOut = out;
  std::FILE* export_ = nullptr;
  std::string outName = "the output";
  // Every file is opened, and without --keep-going checked whole, before
  // anything is written (summary lists what is wrong instead).
  for (auto& input : inputs) {
    if (!Open(*input, in, err)) return 1;
    if (named[input->name] > 1 && input->path != "-") input->name = input->path;
    if (!mode.listsBad && !o.keepGoing && !CheckWhole(*input, err)) return 1;
  }
  if (!RangeFits(inputs, o.filter, err)) return 1;
  if (mode.prepare != nullptr && !mode.prepare(inputs, o, err)) return 1;
  // An output file is written beside itself and takes its name only when
  // whole: a failure leaves what was there before. One of the inputs is
  // never an output (the same file, by whatever name).
  const std::string part = o.out + ".pktdump-part";
  if (!o.out.empty() && o.out != "-") {
    for (const auto& input : inputs) {
      std::error_code same;
      if (input->path != "-" && std::filesystem::equivalent(o.out, input->path, same)) {
        std::fprintf(err, "pktdump: --out %s is the input %s; see pktdump --help\n",
                     o.out.c_str(), input->path.c_str());
        return 2;
      }
    }
    export_ = std::fopen(part.c_str(), "wb");
    if (export_ == nullptr) {
      std::fprintf(err, "pktdump: %s: cannot be written: %s\n", o.out.c_str(), std::strerror(errno));
      return 1;
    }
    sinkOut = export_;
    outName = o.out;
  }

  std::unique_ptr<Sink> sink = mode.make(o, sinkOut, err);
  bool ok = true;
  long bad = 0;
  for (auto& input : inputs) {
    StreamSource source(input->file, input->size >= 0);
    const long n = Run(source, input->name, input->path, *sink, o.filter, o.keepGoing, err);
    if (source.Failed()) {
      std::fprintf(err, "pktdump: %s: cannot be read: %s\n", input->path.c_str(),
                   source.Reason().c_str());
      ok = false;
      break;
    }
    if (n < 0) {
      ok = false;
      break;
    }
    bad += n;
  }
  const bool whole = sink->EndAll(&bad);
  const int failCode = sink->FailCode();
  sink.reset();  // what the decode printer holds goes out
  if (!Finished(sinkOut, err, outName)) ok = false;
  if (export_ != nullptr) {
    if (std::fclose(export_) != 0 && ok) {
      std::fprintf(err, "pktdump: %s: cannot be written (disk full?)\n", o.out.c_str());
      ok = false;
    }
    std::error_code renamed;
    if (ok) std::filesystem::rename(part, o.out, renamed);
    if (ok && renamed) {
      std::fprintf(err, "pktdump: %s: cannot be written: %s\n", o.out.c_str(),
                   renamed.message().c_str());
      ok = false;
    }
    // A cut capture file is worse than none: it goes.
    if (!ok) std::remove(part.c_str());
  }
  if (!ok || bad != 0) return 1;
  return whole ? 0 : failCode;
}

}  // namespace pktdump

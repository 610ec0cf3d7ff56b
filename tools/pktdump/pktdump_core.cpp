// pktdump's program: every file of the command line through its mode. The
// modes are in their own files and their table in options.cpp, with the
// command line; the shared reading of records in records.cpp.
#include <algorithm>
#include <map>
#include <memory>

#include "inputs.h"
#include "modes.h"
#include "output.h"
#include "pktdump_core.h"
#include "records.h"

namespace pktdump {

std::string CheckFile(const File& file) {
  MemorySource source(file);
  const std::string fault = FirstFault(file.bytes.size(), source);
  return fault.empty() ? fault : file.name + ": " + fault;
}

int Main(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, std::FILE* in) {
  Options o;
  int code = 0;
  if (Parse(args, &o, out, err, &code) != Parsed::Run) return code;
  // Every mode reads the same files: patterns expanded on Windows, folders
  // as their PKT_ files, each file once.
  const std::string firstGiven = o.paths.empty() ? std::string() : o.paths[0];
  if (!ExpandInputs(&o.paths, err, SystemInputs(), &o.origins)) return 1;
  if (o.mode == "dump" && o.paths.size() > 1) {
    std::fprintf(err, "pktdump: dump shows one file, and %s gives %lu (%s to %s): name one of them; "
                 "see pktdump --help\n", firstGiven.c_str(), static_cast<unsigned long>(o.paths.size()),
                 BaseName(o.paths.front()).c_str(), BaseName(o.paths.back()).c_str());
    return 2;
  }
  const Mode& mode = *FindMode(o.mode);
  // The report reads its files in parallel, not through a sink.
  if (mode.runPaths != nullptr) return mode.runPaths(o, out, err, in);
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

  // Every file is opened, and without --keep-going checked whole, before
  // anything is written (summary lists what is wrong instead).
  for (auto& input : inputs) {
    if (!Open(*input, in, err)) return 1;
    if (named[input->name] > 1 && input->path != "-") input->name = input->path;
    if (!mode.listsBad && !o.keepGoing && !CheckWhole(*input, err)) return 1;
  }
  if (!RangeFits(inputs, o.filter, err)) return 1;
  Output output(out);
  if (Output::IsAnInput(o.out, o.paths, in, err)) return 2;
  if (!output.Open(o.out, err)) return 1;
  std::FILE* const sinkOut = output.Stream();
  if (mode.runOpen != nullptr) {
    const int code = mode.runOpen(inputs, o, sinkOut, err);
    if (!output.Close(code >= 0, err)) return 1;
    return code == 0 ? 0 : 1;
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
  if (!output.Close(ok, err)) ok = false;
  if (!ok || bad != 0) return 1;
  return whole ? 0 : failCode;
}

}  // namespace pktdump

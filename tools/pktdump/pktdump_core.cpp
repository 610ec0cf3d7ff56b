// pktdump's program: the table of modes, and every file of the command line
// through the sink of its mode. The modes are in their own files; the
// shared reading of records in records.cpp, the command line in options.cpp.
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "pktdump_internal.h"
#include "report.h"

#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace pktdump {

namespace {

// Standard input that is the output file itself ("--out X - < X"): the
// export would take the place of the capture it reads.
bool OutputIsStandardInput(std::FILE* in, const std::string& out) {
#ifdef _WIN32
  (void)in;
  (void)out;
  return false;  // no file identity in the C runtime's stat here
#else
  struct stat a {}, b {};
  return fstat(fileno(in), &a) == 0 && stat(out.c_str(), &b) == 0 && S_ISREG(a.st_mode) &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
#endif
}

// The file an export is written to before it takes its name: a new one,
// never a file that is already there (an input of that name, or a link
// that points at another file). mode: the mode of the file it replaces
// (-1: none there).
std::FILE* CreatePart(const std::string& out, int mode, std::string* part) {
  for (int n = 0; n < 100; ++n) {
    *part = out + ".pktdump-part" + (n == 0 ? std::string() : std::to_string(n));
    const int fd = open(part->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0666);
#ifndef _WIN32
    if (fd >= 0 && mode >= 0) fchmod(fd, static_cast<mode_t>(mode));
#else
    (void)mode;
#endif
    if (fd >= 0) {
      std::FILE* file = fdopen(fd, "wb");
      if (file == nullptr) {
        const int why = errno;
        close(fd);
        std::remove(part->c_str());
        errno = why;
      }
      return file;
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

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
  std::string part, target;
  if (!o.out.empty() && o.out != "-") {
    for (const auto& input : inputs) {
      std::error_code same;
      const bool piped = input->path == "-";
      if (piped ? OutputIsStandardInput(input->file, o.out)
                : std::filesystem::equivalent(o.out, input->path, same)) {
        std::fprintf(err, "pktdump: --out %s is the input %s; see pktdump --help\n",
                     o.out.c_str(), piped ? kStdinName : input->path.c_str());
        return 2;
      }
    }
    // A device or a pipe named as the output (/dev/null, a FIFO a reader
    // waits on) is written as it stands: only a file is written beside
    // itself and renamed into place, never put over what is not a file.
    // A file replaced keeps its mode, and a link to one stays a link: the
    // file it points at is replaced.
    struct stat given {};
    const bool there = stat(o.out.c_str(), &given) == 0;
    const bool asItStands = there && !S_ISREG(given.st_mode);
    std::error_code resolved;
    const std::filesystem::path canonical = std::filesystem::canonical(o.out, resolved);
    target = there && !resolved ? canonical.string() : o.out;
    const int mode = there ? static_cast<int>(given.st_mode & 07777) : -1;
    export_ = asItStands ? std::fopen(o.out.c_str(), "wb") : CreatePart(target, mode, &part);
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
    if (ok && !part.empty()) std::filesystem::rename(part, target, renamed);
    if (ok && renamed) {
      std::fprintf(err, "pktdump: %s: cannot be written: %s\n", o.out.c_str(),
                   renamed.message().c_str());
      ok = false;
    }
    // A cut capture file is worse than none: it goes.
    if (!ok && !part.empty()) std::remove(part.c_str());
  }
  if (!ok || bad != 0) return 1;
  return whole ? 0 : failCode;
}

}  // namespace pktdump

// check: the runs, gaps and repeats of the records' sequence numbers across
// the files, and the verdict: exit 0 when every number of every run, from
// its 1, was recorded once; 1 on proven loss or damage; 4 when all that is
// missing is the first run's first numbers, which an earlier hour's file may
// hold. Files of different folders are different captures, checked apart.
#include "core/packet_file.h"
#include "modes.h"
#include "output.h"
#include "sequence.h"

namespace pktdump {

namespace {

class CheckSink : public Sink {
 public:
  explicit CheckSink(std::FILE* out) : out_(out) {}
  void BeginFile(const std::string& name, const std::string& path) override {
    names_.push_back(name);
    runs_.BeginFile(static_cast<int>(names_.size() - 1), Directory(path), BaseName(path));
  }
  bool ListsBad() const override { return true; }
  // A record that cannot be read is said where it stands: the verdict
  // fails over it, and the reason is on the output with the gaps.
  void Bad(std::int64_t number, const std::string& fault) override {
    ++malformed_;
    std::fprintf(out_, "%s: record %lld is malformed: %s\n", names_.back().c_str(),
                 static_cast<long long>(number), fault.c_str());
  }
  void Record(std::int64_t number, const varnet::RecordView& view) override {
    runs_.Add(number, view);
  }
  void EndFile(std::int64_t records, std::size_t rest) override {
    if (rest != 0) {
      ++malformed_;
      std::fprintf(out_, "%s: %s\n", names_.back().c_str(), varnet::CutText(rest, records).c_str());
    }
  }
  bool EndAll(long* bad) override {
    for (const SequenceEvent& e : runs_.Finish()) {
      std::fprintf(out_, "%s: %s\n", names_[e.file].c_str(), EventText(e).c_str());
    }
    const varnet::RunTotals& t = runs_.Totals();
    *bad = malformed_;
    if (!t.timed) {
      std::fprintf(out_, "no record carries its arrival (PacketTimes=1): nothing to check\n");
      code_ = kNothingToCheck;
      return false;
    }
    std::string verdict = Count(t.gaps, "gap") + ", " + Count(t.lost, "datagram") + " lost";
    if (t.repeats != 0) verdict += ", " + Count(t.repeats, "sequence number") + " repeated";
    if (t.earlier != 0) {
      verdict += ", " + Count(t.earlier, "datagram") + " before the first record not in these files";
    }
    if (t.missing != 0) {
      verdict += ", " + Count(t.missing, "datagram") + " in hour files not given";
    }
    std::fprintf(out_, "%s\n", verdict.c_str());
    // Proven loss or damage fails; numbers before the first record, which
    // an earlier hour's file may hold, are a verdict of their own.
    if (t.gaps != 0 || t.repeats != 0) return false;
    if (t.earlier != 0 || t.missing != 0) {
      code_ = kMaybeEarlier;
      return false;
    }
    return true;
  }
  int FailCode() const override { return code_; }

 private:
  std::FILE* out_;
  std::vector<std::string> names_;
  long malformed_ = 0;
  int code_ = 1;
  Settlement runs_;
};

}  // namespace

std::unique_ptr<Sink> MakeCheckSink(const Options&, std::FILE* out, std::FILE*) {
  return std::make_unique<CheckSink>(out);
}

}  // namespace pktdump

// check: the runs, gaps and repeats of the records' sequence numbers across
// the files, and the verdict: exit 0 only when every number of every run,
// from its 1, was recorded once. Files of different folders are different
// captures, checked apart.
#include <map>

#include "pktdump_internal.h"
#include "sequence.h"

namespace pktdump {

namespace {

class CheckSink : public Sink {
 public:
  explicit CheckSink(std::FILE* out) : out_(out) {}
  void BeginFile(const std::string& name, const std::string& path) override {
    names_.push_back(name);
    stream_ = &streams_[Directory(path)];
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
    if (!view.timed) {
      stream_->Untimed();
      return;
    }
    stream_->Add(static_cast<int>(names_.size() - 1), number, view.arrival.sequence,
                 view.arrival.run);
  }
  void EndFile(std::int64_t, std::size_t rest) override {
    if (rest != 0) {
      ++malformed_;
      std::fprintf(out_, "%s: %s after the last whole record\n", names_.back().c_str(),
                   Count(rest, "byte").c_str());
    }
    Print(*stream_);
  }
  bool EndAll(long* bad) override {
    bool timed = false;
    long gaps = 0, repeats = 0;
    std::uint64_t lost = 0, earlier = 0;
    for (auto& [directory, stream] : streams_) {
      stream.Settle(true);
      Print(stream);
      timed = timed || stream.AnyTimed();
      gaps += stream.Gaps();
      lost += stream.Lost();
      repeats += stream.Repeats();
      earlier += stream.Earlier();
    }
    *bad = malformed_;
    if (!timed) {
      std::fprintf(out_, "no record carries its arrival (PacketTimes=1): nothing to check\n");
      nothing_ = true;
      return false;
    }
    std::string verdict = Count(gaps, "gap") + ", " + Count(lost, "datagram") + " lost";
    if (repeats != 0) verdict += ", " + Count(repeats, "sequence number") + " repeated";
    if (earlier != 0) verdict += ", " + Count(earlier, "datagram") + " before the first record not in these files";
    std::fprintf(out_, "%s\n", verdict.c_str());
    // Whole only when every number from each run's 1 is here once.
    return gaps == 0 && repeats == 0 && earlier == 0;
  }
  int FailCode() const override { return nothing_ ? kNothingToCheck : 1; }

 private:
  void Print(SequenceGaps& stream) {
    for (const SequenceEvent& e : stream.Take()) {
      std::fprintf(out_, "%s: %s\n", names_[e.file].c_str(), EventText(e).c_str());
    }
  }

  std::FILE* out_;
  std::vector<std::string> names_;
  long malformed_ = 0;
  bool nothing_ = false;
  std::map<std::string, SequenceGaps> streams_;
  SequenceGaps* stream_ = nullptr;
};

}  // namespace

std::unique_ptr<Sink> MakeCheckSink(const Options&, std::FILE* out, std::FILE*) {
  return std::make_unique<CheckSink>(out);
}

}  // namespace pktdump

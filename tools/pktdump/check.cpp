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
  void Bad(std::int64_t, const std::string&) override { ++malformed_; }
  void Record(std::int64_t number, const varnet::RecordView& view) override {
    if (!view.timed) return;
    stream_->Add(static_cast<int>(names_.size() - 1), number, view.arrival.sequence,
                 view.arrival.run);
  }
  void EndFile(std::int64_t, std::size_t rest) override {
    if (rest != 0) ++malformed_;
    Print(*stream_);
  }
  bool EndAll(long* bad) override {
    bool timed = false;
    long gaps = 0, repeats = 0;
    std::uint64_t lost = 0;
    for (auto& [directory, stream] : streams_) {
      stream.Settle(true);
      Print(stream);
      timed = timed || stream.AnyTimed();
      gaps += stream.Gaps();
      lost += stream.Lost();
      repeats += stream.Repeats();
    }
    *bad = malformed_;
    if (!timed) {
      std::fprintf(out_, "no record carries its arrival (PacketTimes=1): nothing to check\n");
      nothing_ = true;
      return false;
    }
    std::fprintf(out_, "%s, %s lost%s\n", Count(gaps, "gap").c_str(),
                 Count(lost, "datagram").c_str(),
                 repeats == 0 ? "" : (", " + Count(repeats, "sequence number") + " repeated").c_str());
    return gaps == 0 && repeats == 0;
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

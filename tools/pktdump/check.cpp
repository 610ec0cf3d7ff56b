// check: the gaps in the records' sequence numbers across the files, and
// the verdict: exit 0 only when every datagram of every run was recorded.
#include "pktdump_internal.h"
#include "sequence.h"

namespace pktdump {

namespace {

class CheckSink : public Sink {
 public:
  explicit CheckSink(std::FILE* out) : out_(out) {}
  void BeginFile(const std::string& name, const std::string&) override {
    name_ = name;
    malformed_ = 0;
  }
  bool ListsBad() const override { return true; }
  void Bad(std::int64_t, const std::string&) override { ++malformed_; }
  void Record(std::int64_t number, const varnet::RecordView& view) override {
    if (view.timed) sequence_.Add(number, view.arrival.sequence);
  }
  void EndFile(std::int64_t, std::size_t rest) override {
    if (rest != 0) ++malformed_;
    total_ += malformed_;
    Print();
  }
  bool EndAll(long* bad) override {
    sequence_.Settle(true);
    Print();
    if (!sequence_.AnyTimed()) {
      std::fprintf(out_, "no record carries its arrival (PacketTimes=1): nothing to check\n");
    } else {
      const long gaps = sequence_.GapCount();
      std::fprintf(out_, "%ld gap%s, %llu datagrams lost\n", gaps, gaps == 1 ? "" : "s",
                   static_cast<unsigned long long>(sequence_.Lost()));
    }
    *bad = total_;
    // The check passes with records that carry their arrival, and no gap.
    return sequence_.AnyTimed() && sequence_.GapCount() == 0;
  }

 private:
  void Print() {
    for (const SequenceEvent& e : sequence_.Take()) {
      std::fprintf(out_, "%s: %s\n", name_.c_str(), EventText(e).c_str());
    }
  }

  std::FILE* out_;
  std::string name_;
  long malformed_ = 0, total_ = 0;
  SequenceGaps sequence_;
};

}  // namespace

std::unique_ptr<Sink> MakeCheckSink(const Options&, std::FILE* out, std::FILE*) {
  return std::make_unique<CheckSink>(out);
}

}  // namespace pktdump

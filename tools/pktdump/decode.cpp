// decode: each record through Varnet's decoders, as the lines Varnet logs
// with the file and record, or as one JSON object per record.
#include <algorithm>
#include <cstring>

#include "core/log_text.h"
#include "core/record_decoder.h"
#include "modes.h"
#include "output.h"
#include "sequence.h"

namespace pktdump {

namespace {

// The decoders' outputs as lines of the file and record, or as one JSON
// object per record.
class Printer : public varnet::NullDecoderHost {
 public:
  Printer(std::FILE* out, bool json) : out_(out), json_(json) {
    pending_.reserve(kFlushAt + 2048);
  }
  ~Printer() override { Flush(); }
  // Lines are gathered and written in large blocks.
  void Flush() {
    if (!pending_.empty()) std::fwrite(pending_.data(), 1, pending_.size(), out_);
    pending_.clear();
  }
  void Begin(const std::string& name, std::int64_t record, const varnet::RecordView& view,
             const varnet::DecodeOptions& settings) {
    name_ = name;
    record_ = record;
    view_ = view;
    settings_ = &settings;
    lines_.clear();
    errors_.clear();
    // A record that carries its arrival says when.
    prefixLength_ = static_cast<std::size_t>(std::snprintf(
        prefix_, sizeof prefix_, "%s:%06lld%s%s: ", name.c_str(), static_cast<long long>(record),
        view.timed ? " " : "", view.timed ? TimeText(view.arrival.filetime).c_str() : ""));
    if (prefixLength_ >= sizeof prefix_) prefixLength_ = sizeof prefix_ - 1;
  }
  void End(const std::vector<int>& devices) {
    if (json_) {
      pending_ += "{\"file\":" + Json(name_) + ",\"record\":" + std::to_string(record_) +
                  ",\"kind\":\"" + KindName(view_.type) + "\",\"length\":" +
                  std::to_string(view_.length);
      if (view_.timed) {
        pending_ += ",\"time\":\"" + TimeText(view_.arrival.filetime) +
                    "\",\"sequence\":" + std::to_string(view_.arrival.sequence);
        if (view_.arrival.run >= 0) pending_ += ",\"run\":" + std::to_string(view_.arrival.run);
      }
      pending_ += ",\"lines\":[";
      for (std::size_t i = 0; i < lines_.size(); ++i) pending_ += (i ? "," : "") + Json(lines_[i]);
      pending_ += "],\"devices\":[";
      for (std::size_t i = 0; i < devices.size(); ++i) {
        pending_ += (i ? "," : "") + std::to_string(devices[i]);
      }
      pending_ += "],\"errorlog\":[";
      for (std::size_t i = 0; i < errors_.size(); ++i) pending_ += (i ? "," : "") + Json(errors_[i]);
      pending_ += "]}\n";
    }
    if (pending_.size() >= kFlushAt) Flush();
  }
  void WriteLogLine(const char* text) override {
    if (varnet::LogDropsText(text, settings_->showNxMessages != 0)) return;
    std::string& into = json_ ? lines_.emplace_back() : pending_;
    if (!json_) into.append(prefix_, prefixLength_);
    const std::size_t at = into.size();
    into += text;
    // As the log does; the text just added ends at the string's end.
    varnet::BlankFirstLineEnds(&into[at]);
    if (!json_) into += '\n';
  }
  void ShowLine(const char*) override {}  // screen only: not in the log
  void WriteErrorLog(const char* text) override {
    if (json_) {
      errors_.push_back(text);
      return;
    }
    pending_.append(prefix_, prefixLength_);
    pending_ += "ERRORLOG: ";
    pending_ += text;
    pending_ += '\n';
  }

 private:
  std::FILE* out_;
  const varnet::DecodeOptions* settings_ = nullptr;
  const bool json_;
  static constexpr std::size_t kFlushAt = 1 << 20;
  char prefix_[320] = "";
  std::size_t prefixLength_ = 0;
  std::string pending_;
  std::string name_;
  std::int64_t record_ = 0;
  varnet::RecordView view_;
  std::vector<std::string> lines_;
  std::vector<std::string> errors_;
};

class DecodeSink : public Sink {
 public:
  DecodeSink(std::FILE* out, const std::string& ini, bool json)
      : printer_(out, json), decoder_(printer_, ini), out_(out), json_(json) {}
  void BeginFile(const std::string& name, const std::string& path) override {
    name_ = name;
    names_.push_back(name);
    if (json_) runs_.BeginFile(static_cast<int>(names_.size() - 1), Directory(path), BaseName(path));
  }
  bool WantsEvery() const override { return json_; }
  void Every(std::int64_t number, const varnet::RecordView& view) override {
    if (json_) runs_.Add(number, view);
  }
  // JSON ends with the captures' sequence gaps, an object each: where the
  // numbers went missing, how many, and whether they are proven lost.
  bool EndAll(long*) override {
    if (!json_) return true;
    std::string text;
    for (const SequenceEvent& e : runs_.Finish()) {
      const char* kind = e.kind == SequenceEvent::kGap       ? "lost"
                         : e.kind == SequenceEvent::kEarlier ? "maybe_in_an_earlier_file"
                         : e.kind == SequenceEvent::kMissing ? "maybe_in_a_missing_hour_file"
                                                             : nullptr;
      if (kind == nullptr) continue;
      text += "{\"gap\":\"" + std::string(kind) + "\",\"file\":" + Json(names_[e.file]) +
              ",\"before_record\":" + std::to_string(e.record) + ",\"lost\":" +
              std::to_string(e.lost) + ",\"from\":" + std::to_string(e.from) + ",\"to\":" +
              std::to_string(e.to);
      if (e.run >= 0) text += ",\"run\":" + std::to_string(e.run);
      if (e.beforeFile >= 0) {
        text += ",\"after_file\":" + Json(names_[e.beforeFile]) +
                ",\"after_record\":" + std::to_string(e.beforeRecord);
      }
      text += "}\n";
    }
    std::fwrite(text.data(), 1, text.size(), out_);
    return true;
  }
  void Record(std::int64_t number, const varnet::RecordView& view) override {
    printer_.Begin(name_, number, view, decoder_.Options());
    printer_.End(decoder_.Decode(view).devices);
  }
  void EndFile(std::int64_t, std::size_t) override { printer_.Flush(); }

 private:
  Printer printer_;
  varnet::RecordDecoder decoder_;
  std::string name_;
  std::FILE* out_;
  const bool json_;
  std::vector<std::string> names_;
  Settlement runs_;
};

}  // namespace

std::unique_ptr<Sink> MakeDecodeSink(const Options& o, std::FILE* out, std::FILE*) {
  return std::make_unique<DecodeSink>(out, o.ini, o.json);
}

void Decode(const File& file, const std::string& ini, std::FILE* out) {
  MemorySource source(file);
  DecodeSink sink(out, ini, false);
  Run(source, BaseName(file.name), file.name, sink, Filter(), true, out);
}

}  // namespace pktdump

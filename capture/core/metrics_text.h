// Figures as Prometheus text (the exposition format a textfile collector
// reads: windows_exporter's, node_exporter's): each family once, its
// "# HELP" and "# TYPE" lines before its samples, label values and help
// texts escaped, one sample a line, every line ending in a line feed.
// Names are the caller's and follow Prometheus' conventions (snake case,
// the unit in the name, "_total" on a counter). Portable.
#pragma once

#include <cstdint>
#include <string>

namespace varnet {

enum class MetricType { kCounter, kGauge };

class MetricsText {
 public:
  // Begins a family: its help and type lines. Its samples follow before
  // the next family begins.
  void Family(const char* name, MetricType type, const char* help);
  // A sample of the family begun last, without labels or with one.
  void Sample(const std::string& value);
  void Sample(const char* label, const std::string& labelValue, const std::string& value);

  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  std::string family_;
};

// A label value as it stands between the quotes: '\' as "\\", '"' as
// "\"", a line feed as "\n".
std::string EscapeLabelValue(const std::string& value);
// A help text: '\' as "\\", a line feed as "\n".
std::string EscapeHelp(const std::string& help);
// A count as a sample value.
std::string CountValue(std::uint64_t count);
// Milliseconds since 1970 as seconds with three decimals ("1254381302.480").
std::string SecondsValue(std::int64_t milliseconds);

}  // namespace varnet

// Prometheus text: the families, their samples and the escaping. A reader
// takes a value as a float: counts and times are written in decimal, which
// every such reader parses.
#include "core/metrics_text.h"

#include <cinttypes>
#include <cstdio>

namespace varnet {

void MetricsText::Family(const char* name, MetricType type, const char* help) {
  family_ = name;
  text_ += "# HELP " + family_ + " " + EscapeHelp(help) + "\n";
  text_ += "# TYPE " + family_ + (type == MetricType::kCounter ? " counter\n" : " gauge\n");
}

void MetricsText::Sample(const std::string& value) { text_ += family_ + " " + value + "\n"; }

void MetricsText::Sample(const char* label, const std::string& labelValue,
                         const std::string& value) {
  text_ += family_ + "{" + label + "=\"" + EscapeLabelValue(labelValue) + "\"} " + value + "\n";
}

std::string EscapeLabelValue(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string EscapeHelp(const std::string& help) {
  std::string out;
  for (char c : help) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string CountValue(std::uint64_t count) {
  char text[24];
  std::snprintf(text, sizeof text, "%" PRIu64, count);
  return text;
}

std::string SecondsValue(std::int64_t milliseconds) {
  // Whole seconds and the milliseconds apart, so that no float rounds them.
  const bool negative = milliseconds < 0;
  const std::uint64_t ms = negative ? 0 - static_cast<std::uint64_t>(milliseconds)
                                    : static_cast<std::uint64_t>(milliseconds);
  char text[32];
  std::snprintf(text, sizeof text, "%s%" PRIu64 ".%03u", negative ? "-" : "", ms / 1000,
                static_cast<unsigned>(ms % 1000));
  return text;
}

}  // namespace varnet

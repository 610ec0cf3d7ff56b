// Varnet's events: each call's insertion strings, in its message's order.
#include "app/varnet_events.h"

namespace varnet {

namespace {
std::string Text(std::uint64_t n) { return std::to_string(n); }
}  // namespace

void VarnetEvents::Started(const char* version, int channel, const char* logDirectory) {
  trelm::Report(report_, kEventStarted, {version, std::to_string(channel), logDirectory});
}

void VarnetEvents::Closed(const RunCounts& c) {
  const RunLoss& l = c.lost;
  trelm::Report(report_, kEventClosed,
                {Text(c.received), Text(c.recorded), Text(c.linesLost), Text(l.notWritten), Text(l.queueFull), Text(l.malformed),
                 Text(l.channelDown), Text(l.replay), Text(l.waitingAtClose)});
}

void VarnetEvents::ChannelDown(int channel) {
  trelm::Report(report_, kEventChannelDown, {std::to_string(channel)});
}

void VarnetEvents::ChannelBack(int channel, int retries) {
  trelm::Report(report_, kEventChannelBack, {std::to_string(channel), std::to_string(retries)});
}

void VarnetEvents::WritingStopped(const std::string& file) {
  trelm::Report(report_, kEventWritingStopped, {file});
}

void VarnetEvents::WritingResumed(std::uint64_t lines, std::uint64_t records) {
  trelm::Report(report_, kEventWritingResumed, {Text(lines), Text(records)});
}

void VarnetEvents::RetentionDeleted(const std::string& line) {
  trelm::Report(report_, kEventRetentionDeleted, {line});
}

void VarnetEvents::DatagramsLost(const RunLoss& l) {
  trelm::Report(report_, kEventDatagramsLost,
                {Text(l.queueFull), Text(l.malformed), Text(l.channelDown), Text(l.replay),
                 Text(l.waitingAtClose)});
}

}  // namespace varnet

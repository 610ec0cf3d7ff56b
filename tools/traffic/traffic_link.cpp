// The transport opened on a LANA, the clock's bounds and the system's
// words for an error, for nbtraffic's send and listen.
#include "traffic_link.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace nbtraffic {

Clock::time_point After(Clock::time_point start, double seconds) {
  seconds = std::min(std::max(seconds, 0.0), kLongestWait);
  return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::string ChannelName(const char* base, int channel) {
  return channel >= 1 && channel <= 99 ? base + std::to_string(channel) : std::string(base);
}

bool OpenTransport(const Options& o, velknb::Transport& t, bool receives) {
  velknb::TransportSettings settings;
  velknb::ApplyEnvironment(settings);
  std::string error;
  if (!t.Open(settings, o.lana, &error, receives)) {
    std::fprintf(stderr, "nbtraffic: LANA %d cannot be used: %s\n", o.lana, error.c_str());
    return false;
  }
  return true;
}

std::string SystemReason(int error) { return error != 0 ? std::strerror(error) : "unknown error"; }

}  // namespace nbtraffic

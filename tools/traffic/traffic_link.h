// What nbtraffic's send and listen share: the clock, the transport opened
// on a LANA with the environment's settings, and the system's words for an
// error; and the two modes themselves. Portable.
#pragma once

#include <chrono>
#include <string>

#include "traffic_options.h"
#include "transport.h"

namespace nbtraffic {

using Clock = std::chrono::steady_clock;

// The longest wait any conversion is asked for (about 31 years): nothing
// given on the command line or found in a file overflows the clock.
constexpr double kLongestWait = 1e9;

// A point after a start, never overflowing the clock's conversion.
Clock::time_point After(Clock::time_point start, double seconds);
// DEVICE_CONTROL<N> or ORM<N> for channels 1 to 99, the plain name for 0.
std::string ChannelName(const char* base, int channel);
// false with the reason said.
bool OpenTransport(const Options& o, velknb::Transport& t, bool receives);
std::string SystemReason(int error);

// The modes: the exit code (0 done, 1 a file, the network or a send failed).
int Send(const Options& o);
int Listen(const Options& o);

}  // namespace nbtraffic

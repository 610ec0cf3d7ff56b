// nbtraffic: sends commands and revertives onto a channel's group names,
// and listens on names and prints or records what arrives, speaking our
// wrapper's transport directly (no wrapper library needed). Runs natively
// on Linux and on Windows. `nbtraffic --help` describes every option
// (traffic_options.cpp).
//
// Every option is checked before anything is opened, so that a mistyped
// channel never sends to another channel's (or the unnumbered) group; a
// usage error is one line and exit code 2.
#include <cstdio>
#include <string>
#include <vector>

#include "traffic_link.h"
#include "traffic_options.h"
#include "trelm_version.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("nbtraffic: no mode given, send or listen (nbtraffic --help lists the options)\n", stderr);
    return 2;
  }
  nbtraffic::Options o;
  std::string error;
  if (!nbtraffic::Parse(std::vector<std::string>(argv, argv + argc), o, error)) {
    std::fprintf(stderr, "nbtraffic: %s (nbtraffic --help lists the options)\n", error.c_str());
    return 2;
  }
  if (!o.answer.empty()) {
    // The toolset's version, as pktdump gives it.
    if (o.answer == "--version") std::printf("nbtraffic %s (Trelm workstation toolset)\n", TRELM_VERSION);
    else std::fputs(nbtraffic::HelpText().c_str(), stdout);
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
  }
  return o.mode == "send" ? nbtraffic::Send(o) : nbtraffic::Listen(o);
}

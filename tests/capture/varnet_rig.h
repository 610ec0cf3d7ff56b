// The capture tool on a host and wrapper in memory, as the channel and
// loss tests start it: VARNET.INI in c:\cfg, the logs in c:\logs, the clock
// at 07:15 on 1 October 2009; datagrams arrive and idle seconds pass.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/varnet.h"
#include "fake_capture_host.h"
#include "fake_net.h"

namespace varnet {

constexpr const char* kIni = "c:\\cfg\\VARNET.INI";
constexpr const char* kOrmIni = "c:\\cfg\\ORM.INI";
constexpr const char* kLog07 = "c:\\logs\\LOG_20091001.07";
constexpr const char* kPkt07 = "c:\\logs\\PKT_20091001.07";

struct VarnetRig {
  // A channel of its own, and packets saved, when given.
  explicit VarnetRig(const char* channel = nullptr, bool savePackets = false) {
    host.Set(kIni, "Paths", "LogFilePath", "c:\\logs");
    if (channel != nullptr) host.Set(kIni, "Network", "Channel", channel);
    if (savePackets) host.Set(kIni, "Network", "SavePackets", "1");
  }
  void Start() {
    app.OnWindowCreated();
    ASSERT_TRUE(app.Startup());
  }
  // A datagram arrives on a name and its completion message is handled.
  void Arrive(std::uint8_t number, const std::string& data, std::uint8_t retcode = 0) {
    FakeNet::Request* q = net.Arrive(number, data, retcode);
    ASSERT_NE(q, nullptr) << "no receive posted for name " << int(number);
    app.OnNetCompletion(kNcbDatagramReceive, q);
  }
  // Idle seconds pass, each with its timer tick.
  void Tick(int seconds) {
    for (int i = 0; i < seconds; ++i) {
      host.Advance(1000);
      app.OnTimer(kTimerIdle);
    }
  }
  std::vector<std::string> Texts(const char* path) { return host.LogTexts(path); }

  FakeCaptureHost host;
  FakeNet net;
  Varnet app{host, net};
};

// The lines that hold part.
inline int Count(const std::vector<std::string>& lines, const std::string& part) {
  int n = 0;
  for (const std::string& line : lines) n += line.find(part) != std::string::npos ? 1 : 0;
  return n;
}

}  // namespace varnet

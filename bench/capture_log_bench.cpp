// Lines per second through WriteLogLine. Natively: to a real file, no
// screen. Under Wine: through the real varnet window with the display live,
// the window painting between bursts as the message loop would let it.
// Prints its figures; it is not a test.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/varnet.h"
#include "fake_net.h"

#ifdef _WIN32
#include <windows.h>

#include "win32/varnet_host.h"
#include "win32_profile.h"
#else
#include "fake_capture_host.h"
#endif

namespace {

constexpr int kLines = 50000;
// Datagram-sized decoded lines, each with a changing part.
std::string Line(int i) {
  char text[160];
  std::snprintf(text, sizeof text, "GR 1 [%d] 0x%04X Bench device %03d slot %d value %d", i % 12,
                i & 0xFFFF, i % 999 + 1, i % 64, i * 7);
  return text;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

#ifdef _WIN32

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

int main(int argc, char** argv) {
  // An installation of its own under MC_ROOT; the bootstrap file is not used.
  for (const char* dir : {"c:\\vnbench", "c:\\vnbench\\s", "c:\\vnbench\\s\\config",
                          "c:\\vnbench\\s\\config\\system", "c:\\vnbench\\s\\windows",
                          "c:\\vnbench\\s\\windows\\lib"}) {
    CreateDirectoryA(dir, nullptr);
  }
  WritePrivateProfileStringA("Paths", "LogFilePath", "c:\\vnbench\\logs",
                             "c:\\vnbench\\s\\config\\system\\VARNET.INI");
  if (argc > 1) CopyFileA(argv[1], "c:\\vnbench\\s\\windows\\lib\\TRELM_CC.DLL", FALSE);
  SetEnvironmentVariableA("MC_ROOT", "c:\\vnbench");
  SetEnvironmentVariableA("MC_SYSTEM", "s");

  varnet::Win32Host host(GetModuleHandleA(nullptr));
  trelm::Win32Profiles profiles;
  varnet::FakeNet net;
  varnet::Varnet app(profiles, host, net);
  host.CreateMainWindow(app);
  if (!app.Startup()) return 1;
  Pump();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kLines; ++i) {
    app.WriteLogLine(Line(i).c_str());
    if (i % 50 == 49) Pump();  // paints and timers between bursts
  }
  Pump();
  const double s = Seconds(start);
  std::printf("WriteLogLine under Wine, real window, display live: %d lines in %.2f s = %.0f lines/s\n",
              kLines, s, kLines / s);
  app.CloseProgram();
  Pump();
  app.Log().CloseStreams();
  return 0;
}

#else

class FileHost : public varnet::FakeCaptureHost {
 public:
  class FileStream : public varnet::Stream {
   public:
    explicit FileStream(std::FILE* f) : f_(f) {}
    ~FileStream() override { std::fclose(f_); }
    bool Write(const void* data, std::size_t size) override {
      const bool ok = std::fwrite(data, 1, size, f_) == size;
      return std::fflush(f_) == 0 && ok;  // written through, as the program does
    }
    std::uint64_t Size() override { return static_cast<std::uint64_t>(std::ftell(f_)); }
    bool CutTo(std::uint64_t) override { return false; }

   private:
    std::FILE* f_;
  };
  std::unique_ptr<varnet::Stream> OpenFile(const char* path, const char* mode) override {
    std::string name = "/tmp/varnet_bench_" + std::string(std::strrchr(path, '\\') + 1);
    std::FILE* f = std::fopen(name.c_str(), mode);
    if (f == nullptr) return nullptr;
    return std::make_unique<FileStream>(f);
  }
  void AddLine(const char*) override {}
};

int main() {
  FileHost host;
  host.Set("c:\\cfg\\VARNET.INI", "Paths", "LogFilePath", "c:\\logs");
  varnet::FakeNet net;
  varnet::Varnet app(host, net);
  if (!app.Startup()) return 1;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kLines * 4; ++i) app.WriteLogLine(Line(i).c_str());
  const double s = Seconds(start);
  std::printf("WriteLogLine natively, file only: %d lines in %.2f s = %.0f lines/s\n", kLines * 4, s,
              kLines * 4 / s);
  app.CloseProgram();
  app.Log().CloseStreams();
  std::remove("/tmp/varnet_bench_LOG_20091001.07");
  return 0;
}

#endif

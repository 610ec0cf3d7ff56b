// The wrapper's settings (settings.h): the transport's, the report and
// trace files, the queue bound and the faults, read once.
#include "settings.h"

#include <cstdlib>
#include <string>

#include "faults.h"
#include "transport.h"
#include "wrapper_state.h"

namespace velknb::dll {
namespace {

std::string ProfileText(const char* file, const char* key) {
  char value[260] = "";
  GetPrivateProfileStringA("NetBIOS", key, "", value, sizeof value, file);
  return value;
}

std::string WindowsFile(const char* name) {
  char dir[MAX_PATH] = "";
  GetWindowsDirectoryA(dir, sizeof dir);
  return std::string(dir) + "\\" + name;
}

}  // namespace

// Settings: velk_nbif.ini [NetBIOS] in the Windows directory, then the
// environment. Called under the lock.
void Configure() {
  Wrapper& w = *g_wrapper;
  if (w.configured) return;
  w.configured = true;
  const std::string ini = WindowsFile("velk_nbif.ini");
  if (std::string v = ProfileText(ini.c_str(), "Interface"); !v.empty()) w.transport.interfaceAddress = v;
  if (std::string v = ProfileText(ini.c_str(), "Group"); !v.empty()) w.transport.group = v;
  if (std::string v = ProfileText(ini.c_str(), "BasePort"); !v.empty()) w.transport.basePort = std::atoi(v.c_str());
  velknb::ApplyEnvironment(w.transport);
  w.reportFile = ProfileText(ini.c_str(), "ReportFile");
  if (w.reportFile.empty()) w.reportFile = WindowsFile("VELKNB.LOG");
  if (std::string v = velknb::Environment("VELKNB_REPORT"); !v.empty()) w.reportFile = v;
  w.traceFile = velknb::Environment("VELKNB_TRACE");
  if (const int bound = std::atoi(velknb::Environment("VELKNB_QUEUE").c_str()); bound > 0) {
    w.queueBound = static_cast<std::size_t>(bound);
  }
  velknb::ParseFaults(velknb::Environment("VELKNB_FAULTS").c_str(), w.faults);
}

}  // namespace velknb::dll

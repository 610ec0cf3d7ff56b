// The capture tool's host on Windows: its life, the installation lookups,
// the workstation clock and the custom control libraries. Its files, main
// window, display and dialogs are in varnet_host_*.cpp.
#include "win32/varnet_host.h"

#include <cstdlib>

#include "config_lookup.h"

extern "C" BOOL WINAPI BWCCRegister(HINSTANCE instance);

namespace varnet {

Win32Host* Win32Host::current_ = nullptr;

Win32Host::Win32Host(HINSTANCE instance) : instance_(instance) {
  current_ = this;
  if (const char* path = std::getenv("VARNET_SCREEN_LOG"); path != nullptr && *path != '\0') {
    screenLog_ = std::fopen(path, "a");
  }
}

Win32Host::~Win32Host() {
  if (screenLog_ != nullptr) std::fclose(screenLog_);
  if (font_ != nullptr) DeleteObject(font_);
  if (directoryLock_ != INVALID_HANDLE_VALUE) CloseHandle(directoryLock_);
  current_ = nullptr;
}

void Win32Host::LookupConfigPath(char* out, std::size_t size) {
  trelm::capture_form::LookupConfigPath(out, size);
}
void Win32Host::LookupSystemPath(char* out, std::size_t size) {
  trelm::capture_form::LookupSystemPath(out, size);
}

LocalTime Win32Host::Now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

void Win32Host::SetClockDate(int year, int month, int day) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  t.wYear = static_cast<WORD>(year);
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day);
  SetLocalTime(&t);  // without the privilege it is refused; that is ignored
}

std::uint64_t Win32Host::UtcFileTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return static_cast<std::uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

void Win32Host::SetClockTime(int hour, int minute, int second, int milliseconds) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  t.wHour = static_cast<WORD>(hour);
  t.wMinute = static_cast<WORD>(minute);
  t.wSecond = static_cast<WORD>(second);
  t.wMilliseconds = static_cast<WORD>(milliseconds);
  SetLocalTime(&t);
}

void Win32Host::RegisterBorlandControls() { BWCCRegister(instance_); }

bool Win32Host::LoadControlLibrary(const char* path) {
  controls_ = LoadLibraryA(path);
  return controls_ != nullptr;
}
void Win32Host::FreeControlLibrary() {
  if (controls_ != nullptr) FreeLibrary(controls_);
  controls_ = nullptr;
}

}  // namespace varnet

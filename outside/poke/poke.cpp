// poke: posts one window message to the first top-level window of a class,
// the way a script presses a menu item or a key of a running program; or
// answers an open-file dialog the way a user types a name and presses Open.
//   poke CLASS MESSAGE [WPARAM [LPARAM]]   (numbers in decimal or 0x hex)
//   poke --open-file TITLE PATH
// It waits up to 30 seconds for the window to appear. Exit code 0 when
// done, 1 when no such window came, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
HWND WaitFor(const char* className, const char* title) {
  HWND window = nullptr;
  for (int waited = 0; waited <= 30000 && (window = FindWindowA(className, title)) == nullptr;
       waited += 100) {
    Sleep(100);
  }
  return window;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--open-file") == 0) {
    HWND dialog = WaitFor("#32770", argv[2]);
    if (dialog == nullptr) {
      std::fprintf(stderr, "poke: no dialog titled %s\n", argv[2]);
      return 1;
    }
    HWND name = GetDlgItem(dialog, 0x47c);              // the name box
    if (name == nullptr) name = GetDlgItem(dialog, 0x480);  // of the older dialog
    if (name == nullptr) return 1;
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
    return PostMessageA(dialog, WM_COMMAND, IDOK, 0) ? 0 : 1;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: poke CLASS MESSAGE [WPARAM [LPARAM]]\n"
                         "       poke --open-file TITLE PATH\n");
    return 2;
  }
  HWND window = WaitFor(argv[1], nullptr);
  if (window == nullptr) {
    std::fprintf(stderr, "poke: no window of class %s\n", argv[1]);
    return 1;
  }
  const UINT message = static_cast<UINT>(std::strtoul(argv[2], nullptr, 0));
  const WPARAM wParam = argc > 3 ? static_cast<WPARAM>(std::strtoull(argv[3], nullptr, 0)) : 0;
  const LPARAM lParam = argc > 4 ? static_cast<LPARAM>(std::strtoll(argv[4], nullptr, 0)) : 0;
  return PostMessageA(window, message, wParam, lParam) ? 0 : 1;
}

// poke: posts one window message to the first top-level window of a class,
// the way a script presses a menu item or a key of a running program.
//   poke CLASS MESSAGE [WPARAM [LPARAM]]   (numbers in decimal or 0x hex)
// It waits up to 30 seconds for the window to appear. Exit code 0 when
// posted, 1 when no such window came, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: poke CLASS MESSAGE [WPARAM [LPARAM]]\n");
    return 2;
  }
  HWND window = nullptr;
  for (int waited = 0; waited <= 30000 && (window = FindWindowA(argv[1], nullptr)) == nullptr;
       waited += 100) {
    Sleep(100);
  }
  if (window == nullptr) {
    std::fprintf(stderr, "poke: no window of class %s\n", argv[1]);
    return 1;
  }
  const UINT message = static_cast<UINT>(std::strtoul(argv[2], nullptr, 0));
  const WPARAM wParam = argc > 3 ? static_cast<WPARAM>(std::strtoull(argv[3], nullptr, 0)) : 0;
  const LPARAM lParam = argc > 4 ? static_cast<LPARAM>(std::strtoll(argv[4], nullptr, 0)) : 0;
  return PostMessageA(window, message, wParam, lParam) ? 0 : 1;
}

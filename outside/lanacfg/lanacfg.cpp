// lanacfg: our stand-in for the resource-kit program, as far as Mirvale
// uses it. "lanacfg showlanapaths [FILE]" prints the LANA paths: the lines
// of FILE, or of the file LANACFG_OUTPUT names, or a built-in sample of a
// workstation with two cards. The output goes out in small pieces, split
// inside lines, the way a pipe may deliver it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {
const char* kSample =
    "Lana: 0\n"
    "-->WINS Client(TCP/IP) Protocol-->Internet Protocol (TCP/IP)-->Intel(R) PRO/1000 MT Network Connection\n"
    "Lana: 1\n"
    "-->NetBEUI Protocol-->Intel(R) PRO/1000 MT Network Connection\n"
    "Lana: 2\n"
    "-->WINS Client(TCP/IP) Protocol-->Internet Protocol (TCP/IP)-->Realtek RTL8139 Family PCI Fast Ethernet NIC\n"
    "Lana: 3\n"
    "-->WINS Client(TCP/IP) Protocol-->Internet Protocol (TCP/IP)-->WAN Miniport (IP) - Dial Out\n";
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "showlanapaths") != 0) {
    std::fprintf(stderr, "usage: lanacfg showlanapaths [FILE]\n");
    return 2;
  }
  std::string text = kSample;
  const char* file = argc > 2 ? argv[2] : std::getenv("LANACFG_OUTPUT");
  if (file != nullptr && *file != '\0') {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "lanacfg: %s cannot be read\n", file);
      return 1;
    }
    std::stringstream s;
    s << in.rdbuf();
    text = s.str();
  }
  for (std::size_t at = 0; at < text.size(); at += 37) {
    std::fwrite(text.data() + at, 1, std::min<std::size_t>(37, text.size() - at), stdout);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
  }
  return 0;
}

// The traffic tool's generated datagrams: a realistic mix of the control
// protocol's commands and revertives (never a time set, which would set
// the listeners' clocks). Portable.
#pragma once

#include <cstdint>
#include <vector>

namespace trelm_traffic {

enum class Kind { Commands, Revertives, Mix };

class Mix {
 public:
  explicit Mix(Kind kind) : kind_(kind) {}
  // Datagram n (from 0) into out; true when it is a command.
  bool Next(long n, std::vector<std::uint8_t>& out);

 private:
  void Command(long n, std::vector<std::uint8_t>& out);
  void Revertive(long n, std::vector<std::uint8_t>& out);
  Kind kind_;
};

}  // namespace trelm_traffic

// One LANA's network of our NetBIOS datagram service: a UDP multicast group
// on one port per LANA, sent and received on one interface. Shared by the
// wrapper library (Winsock) and the traffic tool (Winsock or POSIX sockets).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velknb {

// The receive buffer a receiving socket asks for; the system may grant less.
constexpr int kReceiveBufferAsked = 8 * 1024 * 1024;

struct TransportSettings {
  std::string interfaceAddress = "127.0.0.1";
  std::string group = "239.255.138.1";
  int basePort = 13800;
};

// VELKNB_INTERFACE, VELKNB_GROUP and VELKNB_BASEPORT override what is set.
void ApplyEnvironment(TransportSettings& settings);

// An environment variable, or an empty text. On Windows the process's own
// environment block is read, so that a value set while the program runs
// counts too.
std::string Environment(const char* name);

class Transport {
 public:
  Transport() = default;
  ~Transport();
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;

  // Joins the LANA's group; false with a reason when that fails. A
  // transport that only sends joins nothing and takes a port of its own, so
  // that nothing piles up unread in its receive buffer.
  bool Open(const TransportSettings& settings, int lana, std::string* error,
            bool receives = true);
  void Close();
  bool IsOpen() const { return socket_ != kNoSocket; }

  // Sends one payload to the group; false when the system refused it.
  bool Send(const void* data, std::size_t size);
  // Takes a payload at once when there is one, else waits up to timeoutMs
  // for one. Returns its size, 0 on time-out (an empty payload reads as 0
  // too), -1 on an error (the socket was closed, for instance). A payload
  // longer than size is cut, and its size is reported as size + 1.
  long Receive(void* buffer, std::size_t size, int timeoutMs);
  // A payload if one is there, without waiting: as Receive, 0 when none.
  long TryReceive(void* buffer, std::size_t size);
  // The next payload without taking it: its size, 0 when there is none,
  // -1 on an error.
  long Peek(void* buffer, std::size_t size);
  // Exchanges the sockets of two transports.
  void Swap(Transport& other);
  // Leaves the group: the socket keeps what it holds and takes no more.
  // False when the system refused.
  bool LeaveGroup();
  // True when a payload, an empty one too, waits to be read.
  bool HasWaiting() { return WaitReadable(0) == 1; }

  // What goes into the header's SOURCE_IP and SOURCE_PORT.
  const std::uint8_t* InterfaceBytes() const { return interfaceBytes_; }
  std::uint16_t Port() const { return localPort_; }
  // The receive buffer size the system granted.
  int ReceiveBufferSize() const { return receiveBuffer_; }

 private:
  // Waits up to timeoutMs until a payload can be read: 1 when one can, 0 on
  // time-out, -1 on an error.
  int WaitReadable(int timeoutMs);

#ifdef _WIN32
  using SocketHandle = std::uintptr_t;
  static constexpr SocketHandle kNoSocket = ~static_cast<SocketHandle>(0);
#else
  using SocketHandle = int;
  static constexpr SocketHandle kNoSocket = -1;
#endif
  SocketHandle socket_ = kNoSocket;
  std::uint8_t interfaceBytes_[4] = {127, 0, 0, 1};
  std::uint8_t groupBytes_[4] = {};
  std::uint16_t port_ = 0;       // the LANA's port
  std::uint16_t localPort_ = 0;  // the socket's own
  int receiveBuffer_ = 0;
};

}  // namespace velknb

// One LANA's UDP multicast socket (transport.h), on Winsock and on POSIX
// sockets alike, and the settings the environment overrides.
#include "transport.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <vector>
using socklen_t = int;
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace velknb {

namespace {
// Large enough for a burst of several thousand datagrams while the reader
// is descheduled; the system may grant less.
constexpr int kReceiveBuffer = kReceiveBufferAsked;

bool ParseAddress(const std::string& text, std::uint8_t out[4]) {
  in_addr address{};
  if (inet_pton(AF_INET, text.c_str(), &address) != 1) return false;
  std::memcpy(out, &address, 4);
  return true;
}

#ifdef _WIN32
// Whether the address is in the system's table of its own addresses.
bool InAddressTable(const std::uint8_t address[4]) {
  // The table may grow between asking its size and reading it (an adapter
  // that comes up): asked again with the new size.
  ULONG size = 0;
  std::vector<unsigned char> space;
  DWORD result = ERROR_INSUFFICIENT_BUFFER;
  for (int tries = 0; tries < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++tries) {
    space.resize(size);
    result = GetIpAddrTable(space.empty() ? nullptr : reinterpret_cast<MIB_IPADDRTABLE*>(space.data()),
                            &size, FALSE);
  }
  if (result != NO_ERROR || space.empty()) return false;
  const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(space.data());
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    if (std::memcmp(&table->table[i].dwAddr, address, 4) == 0) return true;
  }
  return false;
}
#endif

// Whether the address is one of this machine's: a socket bound to it (and
// closed again, nothing sent) tells, and on Windows the system's address
// table as well: Wine binds a socket to an address the machine does not
// have instead of refusing it.
bool LocalAddress(const std::uint8_t address[4]) {
#ifdef _WIN32
  // Every address of 127.0.0.0/8 is the loopback interface's, though the
  // table lists only 127.0.0.1.
  if (address[0] != 127 && !InAddressTable(address)) return false;
#endif
  const auto s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
#ifdef _WIN32
  if (s == INVALID_SOCKET) return false;
#else
  if (s < 0) return false;
#endif
  sockaddr_in local{};
  local.sin_family = AF_INET;
  std::memcpy(&local.sin_addr, address, 4);
  const bool bound = bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
#ifdef _WIN32
  closesocket(s);
#else
  close(s);
#endif
  return bound;
}

// What makes the settings unusable, checked before any socket of the LANA
// is opened: a group that is not multicast would send every datagram
// unicast or broadcast to wherever it points, and an interface that is not
// this machine's would send from an address that is not ours. Empty when
// they are fit.
std::string SettingsFault(const TransportSettings& settings, const std::uint8_t group[4],
                          const std::uint8_t own[4]) {
  if ((group[0] & 0xF0) != 0xE0) {
    return "the group " + settings.group +
           " is not a multicast group (224.0.0.0 to 239.255.255.255)";
  }
  const bool any = own[0] == 0 && own[1] == 0 && own[2] == 0 && own[3] == 0;
  if (any || (own[0] & 0xF0) >= 0xE0 || !LocalAddress(own)) {
    return "the interface " + settings.interfaceAddress + " is not an address of this machine";
  }
  return std::string();
}

#ifdef _WIN32
bool StartSockets() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}
void CloseSocket(std::uintptr_t s) { closesocket(static_cast<SOCKET>(s)); }
#else
bool StartSockets() { return true; }
void CloseSocket(int s) { close(s); }
#endif
}  // namespace

std::string Environment(const char* name) {
#ifdef _WIN32
  char value[512];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
#else
  const char* v = std::getenv(name);
  return v != nullptr ? std::string(v) : std::string();
#endif
}

void ApplyEnvironment(TransportSettings& settings) {
  if (std::string v = Environment("VELKNB_INTERFACE"); !v.empty()) settings.interfaceAddress = v;
  if (std::string v = Environment("VELKNB_GROUP"); !v.empty()) settings.group = v;
  if (std::string v = Environment("VELKNB_BASEPORT"); !v.empty()) settings.basePort = std::atoi(v.c_str());
}

Transport::~Transport() { Close(); }

void Transport::Close() {
  if (socket_ != kNoSocket) CloseSocket(socket_);
  socket_ = kNoSocket;
}

bool Transport::Open(const TransportSettings& settings, int lana, std::string* error,
                     bool receives) {
  auto fail = [&](const char* what) {
    if (error != nullptr) *error = what;
    Close();
    return false;
  };
  Close();
  if (!StartSockets()) return fail("the socket library did not start");
  if (!ParseAddress(settings.interfaceAddress, interfaceBytes_)) {
    return fail("the interface address is not an IPv4 address");
  }
  if (!ParseAddress(settings.group, groupBytes_)) {
    return fail("the group address is not an IPv4 address");
  }
  if (const std::string fault = SettingsFault(settings, groupBytes_, interfaceBytes_); !fault.empty()) {
    return fail(fault.c_str());
  }
  const long port = static_cast<long>(settings.basePort) + lana;
  if (settings.basePort <= 0 || port > 65535) return fail("the port is out of range");
  port_ = static_cast<std::uint16_t>(port);

  socket_ = static_cast<SocketHandle>(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (socket_ == kNoSocket) return fail("no UDP socket");
  const auto s = socket_;
  int on = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
  int size = receives ? kReceiveBuffer : 4096;
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
  socklen_t length = sizeof receiveBuffer_;
  getsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&receiveBuffer_), &length);

  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(receives ? port_ : 0);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    return fail("the LANA's port cannot be bound");
  }
  length = sizeof local;
  getsockname(s, reinterpret_cast<sockaddr*>(&local), &length);
  localPort_ = ntohs(local.sin_port);
  if (receives) {
    ip_mreq join{};
    std::memcpy(&join.imr_multiaddr, groupBytes_, 4);
    std::memcpy(&join.imr_interface, interfaceBytes_, 4);
    if (setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&join),
                   sizeof join) != 0) {
      return fail("the multicast group cannot be joined on the interface");
    }
  }
  // Reads try the socket first and wait only when it is empty.
#ifdef _WIN32
  u_long nonBlocking = 1;
  ioctlsocket(static_cast<SOCKET>(s), FIONBIO, &nonBlocking);
#endif
  in_addr out{};
  std::memcpy(&out, interfaceBytes_, 4);
  setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&out), sizeof out);
  // Every process of the machine hears the group, the sender included.
#ifdef _WIN32
  DWORD loop = 1, ttl = 1;
#else
  unsigned char loop = 1, ttl = 1;
#endif
  setsockopt(s, IPPROTO_IP, IP_MULTICAST_LOOP, reinterpret_cast<const char*>(&loop), sizeof loop);
  setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl), sizeof ttl);
  return true;
}

bool Transport::Send(const void* data, std::size_t size) {
  if (socket_ == kNoSocket) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port_);
  std::memcpy(&to.sin_addr, groupBytes_, 4);
  const long sent = static_cast<long>(sendto(socket_, static_cast<const char*>(data),
                                             static_cast<int>(size), 0,
                                             reinterpret_cast<sockaddr*>(&to), sizeof to));
  return sent == static_cast<long>(size);
}

void Transport::Swap(Transport& other) {
  std::swap(socket_, other.socket_);
  std::swap(interfaceBytes_, other.interfaceBytes_);
  std::swap(groupBytes_, other.groupBytes_);
  std::swap(port_, other.port_);
  std::swap(localPort_, other.localPort_);
  std::swap(receiveBuffer_, other.receiveBuffer_);
}

bool Transport::LeaveGroup() {
  if (socket_ == kNoSocket) return false;
  ip_mreq leave{};
  std::memcpy(&leave.imr_multiaddr, groupBytes_, 4);
  std::memcpy(&leave.imr_interface, interfaceBytes_, 4);
  return setsockopt(socket_, IPPROTO_IP, IP_DROP_MEMBERSHIP, reinterpret_cast<const char*>(&leave),
                    sizeof leave) == 0;
}

long Transport::Peek(void* buffer, std::size_t size) {
  if (socket_ == kNoSocket) return -1;
#ifdef _WIN32
  const int got = recv(static_cast<SOCKET>(socket_), static_cast<char*>(buffer),
                       static_cast<int>(size), MSG_PEEK);
  if (got != SOCKET_ERROR) return got;
  const int why = WSAGetLastError();
  if (why == WSAEMSGSIZE) return static_cast<long>(size) + 1;
  return why == WSAEWOULDBLOCK ? 0 : -1;
#else
  const ssize_t got = recv(socket_, buffer, size, MSG_PEEK | MSG_DONTWAIT);
  if (got >= 0) return static_cast<long>(got);
  return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
#endif
}

long Transport::TryReceive(void* buffer, std::size_t size) {
  if (socket_ == kNoSocket) return -1;
#ifdef _WIN32
  const int got = recv(static_cast<SOCKET>(socket_), static_cast<char*>(buffer),
                       static_cast<int>(size), 0);
  if (got != SOCKET_ERROR) return got;
  const int why = WSAGetLastError();
  // A payload larger than the buffer: what fitted was read.
  if (why == WSAEMSGSIZE) return static_cast<long>(size) + 1;
  return why == WSAEWOULDBLOCK ? 0 : -1;
#else
  msghdr message{};
  iovec part{buffer, size};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  const ssize_t got = recvmsg(socket_, &message, MSG_DONTWAIT);
  if (got >= 0) {
    if ((message.msg_flags & MSG_TRUNC) != 0) return static_cast<long>(size) + 1;
    return static_cast<long>(got);
  }
  return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
#endif
}

int Transport::WaitReadable(int timeoutMs) {
  if (socket_ == kNoSocket) return -1;
#ifdef _WIN32
  const auto s = static_cast<SOCKET>(socket_);
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int ready = select(0, &set, nullptr, nullptr, &wait);
#else
  pollfd poll_fd{socket_, POLLIN, 0};
  const int ready = poll(&poll_fd, 1, timeoutMs);
#endif
  return ready < 0 ? -1 : (ready > 0 ? 1 : 0);
}

long Transport::Receive(void* buffer, std::size_t size, int timeoutMs) {
  const long got = TryReceive(buffer, size);
  if (got != 0) return got;
  const int ready = WaitReadable(timeoutMs);
  return ready <= 0 ? ready : TryReceive(buffer, size);
}

}  // namespace velknb

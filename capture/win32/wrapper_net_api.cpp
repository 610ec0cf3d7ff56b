#include "win32/wrapper_net_api.h"

#include "net/netbios_wrapper.h"

namespace varnet {

namespace {
// A function of the wrapper library beyond the nine, looked up at run
// time: another wrapper with the nine alone serves as well, without it.
template <typename Function>
Function WrapperFunction(const char* name) {
  HMODULE library = GetModuleHandleA("velknb32b.dll");
  return library != nullptr
             ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)))
             : nullptr;
}
}  // namespace

std::uint8_t WrapperNetApi::Reset(int sessions, int names, std::uint8_t adapter) {
  return NetReset(sessions, names, adapter);
}
void WrapperNetApi::CopyName(char* field, const char* text) { NetCopyName(field, text); }
std::uint8_t WrapperNetApi::AddGroupName(char* field, std::uint8_t* number, std::uint8_t adapter) {
  return NetAddGroupName(field, number, adapter);
}
int WrapperNetApi::DeleteName(char* field, std::uint8_t number, std::uint8_t adapter) {
  return NetDeleteName(field, number, adapter);
}
std::uint8_t WrapperNetApi::ReceiveDG(std::uint16_t length, std::uint8_t number,
                                      NetRequest* request, std::uint8_t adapter) {
  NCB* ncb = nullptr;
  const std::uint8_t r = NetReceiveDG(window_, length, number, &ncb, adapter);
  *request = ncb;
  return r;
}
std::uint8_t WrapperNetApi::SendDG(const void* data, std::uint16_t length, const char* destination,
                                   std::uint8_t number, NetRequest* request, std::uint8_t adapter) {
  NCB* ncb = nullptr;
  const std::uint8_t r = NetSendDG(window_, data, length, destination, number, &ncb, adapter);
  *request = ncb;
  return r;
}
void WrapperNetApi::NcbFree(NetRequest request) { NetNcbFree(static_cast<NCB*>(request)); }
void WrapperNetApi::RetCode(const char* label, std::uint8_t code) { NetRetCode(label, code); }
void WrapperNetApi::CmdCode(const char* label, std::uint8_t code) { NetCmdCode(label, code); }

bool WrapperNetApi::Read(NetRequest request, RequestView& view) {
  const auto* ncb = static_cast<const NCB*>(request);
  if (ncb == nullptr || IsBadReadPtr(ncb, sizeof(NCB))) return false;
  view.retcode = ncb->ncb_retcode;
  view.number = ncb->ncb_num;
  view.length = ncb->ncb_length;
  view.buffer = ncb->ncb_buffer;
  // The tool reads at most 512 bytes of the buffer.
  const std::size_t readable = view.length < kDatagramSize ? view.length : kDatagramSize;
  if (readable > 0 && (view.buffer == nullptr || IsBadReadPtr(view.buffer, readable))) {
    view.buffer = nullptr;
    view.length = 0;
  }
  return true;
}

bool WrapperNetApi::ArrivalOf(NetRequest request, Arrival& arrival) {
  using ArrivalFunction = BOOL(WINAPI*)(const NCB*, FILETIME*, DWORD*);
  static const ArrivalFunction function = WrapperFunction<ArrivalFunction>("VelknbArrival");
  FILETIME at;
  DWORD sequence = 0;
  if (function == nullptr || !function(static_cast<const NCB*>(request), &at, &sequence)) {
    return false;
  }
  arrival.filetime = static_cast<std::uint64_t>(at.dwHighDateTime) << 32 | at.dwLowDateTime;
  arrival.sequence = sequence;
  return true;
}

}  // namespace varnet

namespace varnet {

bool WrapperNetApi::Loss(NetLoss& loss) {
  // With a wrapper that keeps no counters there are none to show.
  using StatsFunction = void(WINAPI*)(VELKNB_STATS*);
  static const StatsFunction stats = WrapperFunction<StatsFunction>("VelknbStats");
  if (stats == nullptr) return false;
  VELKNB_STATS counts{};
  stats(&counts);
  loss.dropped = counts.dropped;
  loss.malformed = counts.malformed;
  loss.unclaimed = counts.unclaimed;
  loss.waiting = counts.queued;
  return true;
}

}  // namespace varnet

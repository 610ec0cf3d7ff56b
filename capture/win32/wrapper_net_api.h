// The channel's NetApi on Windows: the wrapper library's nine functions,
// with completions going to the main window.
#pragma once

#include <windows.h>

#include "core/channel.h"

namespace varnet {

class WrapperNetApi : public NetApi {
 public:
  void SetWindow(HWND window) { window_ = window; }

  std::uint8_t Reset(int sessions, int names, std::uint8_t adapter) override;
  void CopyName(char* field, const char* text) override;
  std::uint8_t AddGroupName(char* field, std::uint8_t* number, std::uint8_t adapter) override;
  int DeleteName(char* field, std::uint8_t number, std::uint8_t adapter) override;
  std::uint8_t ReceiveDG(std::uint16_t length, std::uint8_t number, NetRequest* request,
                         std::uint8_t adapter) override;
  std::uint8_t SendDG(const void* data, std::uint16_t length, const char* destination,
                      std::uint8_t number, NetRequest* request, std::uint8_t adapter) override;
  void NcbFree(NetRequest request) override;
  void RetCode(const char* label, std::uint8_t code) override;
  void CmdCode(const char* label, std::uint8_t code) override;
  bool Read(NetRequest request, RequestView& view) override;
  // Read through VelknbStats and VelknbArrival when the loaded wrapper
  // library has them.
  bool Loss(NetLoss& loss) override;
  bool ArrivalOf(NetRequest request, Arrival& arrival) override;

 private:
  HWND window_ = nullptr;
};

}  // namespace varnet

// The channel's names, receives, completions, sends, reset and watchdog.
#include "channel.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace varnet {

Channel::Channel(NetApi& net, ChannelHost& host, Settings& settings)
    : net_(net), host_(host), settings_(settings) {}

void Channel::ClearState() {
  reset_ = false;
  retries_ = 0;
}

int Channel::Outstanding() const {
  int n = 0;
  for (NetRequest slot : slots_) n += slot != nullptr ? 1 : 0;
  return n;
}

int Channel::Register() {
  // Requests of an earlier registration were released with its names.
  count_ = kReceiveSlots;
  for (NetRequest& slot : slots_) slot = nullptr;
  net_.Reset(0, 0, Adapter());
  // Channels outside 1..99 use the plain names; the title then shows 0.
  if (settings_.channel < 1 || settings_.channel > 99) settings_.channel = 0;
  int next = 0;
  if (!AddName(deviceControl_, "DEVICE_CONTROL", next)) return 0;
  if (closed_) return 1;
  if (!AddName(orm_, "ORM", next)) return 0;
  return 1;
}

bool Channel::AddName(Registration& name, const char* base, int& next) {
  char text[32];
  if (settings_.channel != 0) {
    std::snprintf(text, sizeof text, "%s%d", base, static_cast<int>(settings_.channel));
  } else {
    std::snprintf(text, sizeof text, "%s", base);
  }
  net_.CopyName(name.field, text);
  name.field[16] = '\0';
  std::uint8_t result = net_.AddGroupName(name.field, &name.number, Adapter());
  name.added = result == kNrcGood;
  if (result != kNrcGood) {
    net_.RetCode("<CL>-AddName failed", result);
    if (reset_) {
      // A name this pass did add goes again, or the next attempt would
      // find it taken.
      RemoveNames();
      host_.SetTimer(kResetTimer, kResetMs);
      return false;
    }
    char box[96];
    std::snprintf(box, sizeof box, "There is already a unique '%s' registration on the network",
                  name.field);
    host_.ShowWindowError(box);
    if ((net_.DeleteName(name.field, name.number, Adapter()) & 0xFF) != 0) {
      host_.CloseProgram();
      return true;
    }
    // Added again: its receives go under the number this call gives.
    std::uint8_t again = 0;
    if (net_.AddGroupName(name.field, &again, Adapter()) != kNrcGood) return true;
    name.number = again;
    name.added = true;
  }

  const int share = count_ / 2;
  for (int i = 0; i < share && next < kReceiveSlots; ++i) {
    std::uint8_t posted = 0;
    NetRequest request = PostReceive(name.number, &posted);
    if (request == nullptr) {
      slots_[next] = nullptr;
      count_ = Outstanding();
      char line[64];
      std::snprintf(line, sizeof line, "Warning - Only %d buffers initialised", i);
      host_.WriteLogLine(line);
      break;
    }
    slots_[next++] = request;
  }
  return true;
}

NetRequest Channel::PostReceive(std::uint8_t number, std::uint8_t* result) {
  NetRequest request = nullptr;
  const std::uint8_t r = net_.ReceiveDG(kReceiveLength, number, &request, Adapter());
  if (result != nullptr) *result = r;
  if (r == kNrcGood || r == kNrcPending) return request;
  net_.RetCode("NetReceiveDG() post failed", r);
  if (request != nullptr) net_.NcbFree(request);
  return nullptr;
}

void Channel::RemoveNames() {
  for (Registration* name : {&deviceControl_, &orm_}) {
    if (!name->added) continue;
    net_.DeleteName(name->field, name->number, Adapter());
    name->added = false;
  }
}

void Channel::Close() {
  closed_ = true;
  RemoveNames();
}

int Channel::FindSlot(NetRequest request) const {
  if (request == nullptr) return -1;
  for (int i = 0; i < kReceiveSlots; ++i) {
    if (slots_[i] == request) return i;
  }
  return -1;
}

bool Channel::ForgetSend(NetRequest request) {
  if (request == nullptr) return false;
  for (std::size_t i = 0; i < sendCount_; ++i) {
    if (sends_[i] == request) {
      sends_[i] = sends_[--sendCount_];
      return true;
    }
  }
  return false;
}

void Channel::OnCompletion(unsigned code, NetRequest request) {
  if (code == kNcbDatagramSend) {
    SendCompletion(request);
    return;
  }
  if (code == kNcbDatagramReceive) {
    ReceiveCompletion(request);
    return;
  }
  net_.CmdCode("<CL>-Unexpected", static_cast<std::uint8_t>(code));
  // A request of ours that came back this way is still ours to free.
  const int slot = FindSlot(request);
  const bool ours = slot >= 0 || ForgetSend(request);
  if (slot >= 0) slots_[slot] = nullptr;
  RequestView view;
  if (ours && net_.Read(request, view)) net_.NcbFree(request);
}

void Channel::ReceiveCompletion(NetRequest request) {
  // Only requests this tool posted are read and freed.
  const int slot = FindSlot(request);
  if (slot < 0) return;
  RequestView view;
  if (!net_.Read(request, view)) return;
  if (reset_ || closed_) {
    slots_[slot] = nullptr;
    net_.NcbFree(request);
    return;
  }
  if (view.retcode == kNrcNameError || view.retcode == kNrcBridge) {
    host_.WriteLogLine("Network connection failure... attempting reset...");
    reset_ = true;
    slots_[slot] = nullptr;
    net_.NcbFree(request);
    RemoveNames();
    host_.SetTimer(kResetTimer, kResetMs);
    return;
  }

  NetRequest fresh = nullptr;
  if (view.retcode != kNrcGood) {
    net_.RetCode("<CL>-NCB RECV failed", view.retcode);
  } else {
    const bool command = view.number == deviceControl_.number;
    const std::uint8_t number = command ? deviceControl_.number : orm_.number;
    // While a replay runs the datagram is dropped, but its receive is
    // posted again so that reception goes on afterwards.
    if (!replayRunning_) {
      std::memset(datagram_, 0, sizeof datagram_);
      std::uint16_t length = view.length;
      if (length > kDatagramSize) length = kDatagramSize;
      if (view.buffer != nullptr) std::memcpy(datagram_, view.buffer, length);
      host_.OnDatagram(command ? kRecordCommand : kRecordRevertive, datagram_, length);
    }
    // Decoding may have closed the program, which removed the names.
    if (!closed_) fresh = PostReceive(number, nullptr);
    if (!replayRunning_) host_.CountReceive();
  }
  slots_[slot] = fresh;
  net_.NcbFree(request);
}

void Channel::SendCompletion(NetRequest request) {
  if (!ForgetSend(request)) return;
  RequestView view;
  if (!net_.Read(request, view)) return;
  if (view.retcode != kNrcGood) net_.RetCode("<ID>-NCBSENDBCDG failedx", view.retcode);
  net_.NcbFree(request);
}

std::uint8_t Channel::Send(const char* destination, const void* data, std::uint16_t length) {
  NetRequest request = nullptr;
  const std::uint8_t r =
      net_.SendDG(data, length, destination, orm_.number, &request, Adapter());
  if (r == kNrcGood || r == kNrcPending) {
    if (request != nullptr && sendCount_ < kMaxSends) sends_[sendCount_++] = request;
  } else {
    char line[64];
    std::snprintf(line, sizeof line, "NetBIOS async SENDBCDG failed - Error %0x", r);
    host_.ShowLine(line);
    if (request != nullptr) net_.NcbFree(request);
  }
  return r;
}

void Channel::ResetRetry() {
  host_.KillTimer(kResetTimer);
  ++retries_;
  char line[64];
  if (Register() == 1) {
    reset_ = false;
    std::snprintf(line, sizeof line, "Network connection reset ok after %d retries", retries_);
    host_.WriteLogLine(line);
    retries_ = 0;
  } else {
    std::snprintf(line, sizeof line, "Network reset attempt %d failed", retries_);
    host_.WriteLogLine(line);
  }
}

void Channel::WatchdogReport() {
  if (settings_.infoDriver == 0 || settings_.infoSlot == 0) return;
  const LocalTime t = host_.Now();
  char date[40];
  std::snprintf(date, sizeof date, "%02d-%02d-%04d - %02d;%02d;%02d", t.day, t.month, t.year,
                t.hour, t.minute, t.second);
  std::snprintf(report_, sizeof report_, "IW %d '%s' %d", static_cast<int>(settings_.infoDriver),
                date, static_cast<int>(settings_.infoSlot));
  const auto length = static_cast<std::uint16_t>(std::strlen(report_) + 1);
  // The driver's name is 16 characters for 1..999; a longer number is cut.
  char name[40];
  std::snprintf(name, sizeof name, "ID_%03d          ", static_cast<int>(settings_.infoDriver));
  name[16] = '\0';
  Send(name, report_, length);
  Send("DEVICE_CONTROL  ", report_, length);
}

}  // namespace varnet

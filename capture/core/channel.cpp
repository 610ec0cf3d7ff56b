// The channel's names, receives, completions, sends, reset and watchdog.
#include "core/channel.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace varnet {

Channel::Channel(NetApi& net, ChannelHost& host, const ChannelConfig& config)
    : net_(net), host_(host), config_(config) {}

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
  for (std::uint8_t& number : slotNames_) number = 0;
  net_.Reset(0, 0, Adapter());
  int next = 0;
  if (!AddName(deviceControl_, "DEVICE_CONTROL", next)) return 0;
  if (closed_) return 1;
  if (!AddName(orm_, "ORM", next)) return 0;
  return 1;
}

bool Channel::AddName(Registration& name, const char* base, int& next) {
  char text[32];
  // Channels outside 1..99 use the plain names.
  const std::int32_t channel = UsableChannel(config_.channel);
  if (channel != 0) {
    std::snprintf(text, sizeof text, "%s%d", base, static_cast<int>(channel));
  } else {
    std::snprintf(text, sizeof text, "%s", base);
  }
  net_.CopyName(name.field, text);
  name.field[16] = '\0';
  const std::uint8_t kind = &name == &deviceControl_ ? kRecordCommand : kRecordRevertive;
  std::uint8_t result = net_.AddGroupName(name.field, &name.number, Adapter());
  name.added = result == kNrcGood;
  if (name.added) numberKinds_[name.number] = kind;
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
    numberKinds_[again] = kind;
  }

  const int share = count_ / 2;
  for (int i = 0; i < share && next < kReceiveSlots; ++i) {
    std::uint8_t posted = 0;
    slotNames_[next] = name.number;
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
  // A request that came back this way is still to be freed; its slot is
  // filled again at the next idle tick.
  const int slot = FindSlot(request);
  if (slot >= 0) slots_[slot] = nullptr;
  ForgetSend(request);
  RequestView view;
  if (net_.Read(request, view)) net_.NcbFree(request);
}

bool Channel::Deliver(NetRequest request, const RequestView& view) {
  // While a replay runs the datagram is dropped, and counted.
  if (replayRunning_) {
    ++replayDrops_;
    return false;
  }
  const std::uint8_t kind = numberKinds_[view.number];
  const bool command =
      kind != 0 ? kind == kRecordCommand : view.number == deviceControl_.number;
  std::memset(datagram_, 0, sizeof datagram_);
  std::uint16_t length = view.length;
  if (length > kDatagramSize) length = kDatagramSize;
  if (view.buffer != nullptr) std::memcpy(datagram_, view.buffer, length);
  // The wrapper is asked when it came only where records keep it.
  Arrival arrival;
  const bool timed = config_.packetTimes != 0 && net_.ArrivalOf(request, arrival);
  host_.OnDatagram(command ? kRecordCommand : kRecordRevertive, datagram_, length,
                   timed ? &arrival : nullptr);
  return true;
}

void Channel::ReceiveCompletion(NetRequest request) {
  RequestView view;
  if (!net_.Read(request, view)) return;
  const int slot = FindSlot(request);
  if (slot < 0) {
    // Not in the table: a completion of an earlier registration pass. Its
    // datagram is still recorded and decoded, and the request freed.
    if (view.retcode == kNrcGood && Deliver(request, view)) host_.CountReceive();
    net_.NcbFree(request);
    return;
  }
  if (closed_) {
    // The names are gone; what was on its way is the run's last datagrams:
    // recorded, and nothing posted again.
    slots_[slot] = nullptr;
    if (view.retcode == kNrcGood && Deliver(request, view)) host_.CountReceive();
    net_.NcbFree(request);
    return;
  }
  if (reset_) {
    // Completions are ignored while the channel is down; a datagram among
    // them is counted as lost.
    if (view.retcode == kNrcGood) ++downDrops_;
    slots_[slot] = nullptr;
    net_.NcbFree(request);
    return;
  }
  if (view.retcode == kNrcNameError || view.retcode == kNrcBridge) {
    host_.WriteLogLine("Network connection failure... attempting reset...");
    host_.ChannelDown();
    reset_ = true;
    slots_[slot] = nullptr;
    net_.NcbFree(request);
    RemoveNames();
    host_.SetTimer(kResetTimer, kResetMs);
    return;
  }

  NetRequest fresh = nullptr;
  if (view.retcode != kNrcGood) {
    // The slot stays empty until the next idle tick posts it again.
    net_.RetCode("<CL>-NCB RECV failed", view.retcode);
  } else {
    const bool counted = Deliver(request, view);
    // Decoding may have closed the program, which removed the names. The
    // receive is posted again also while a replay runs, so that reception
    // goes on afterwards.
    if (!closed_) fresh = PostReceive(slotNames_[slot], nullptr);
    if (counted) host_.CountReceive();
  }
  slots_[slot] = fresh;
  net_.NcbFree(request);
}

void Channel::Refill() {
  if (reset_ || closed_ || !deviceControl_.added || !orm_.added) return;
  const int before = Outstanding();
  if (before >= kReceiveSlots) return;
  // Slots that start-up could not fill go to the name with fewer.
  int shares[2] = {0, 0};
  for (std::uint8_t number : slotNames_) {
    if (number == deviceControl_.number) ++shares[0];
    if (number == orm_.number) ++shares[1];
  }
  int posted = 0;
  for (int i = 0; i < kReceiveSlots; ++i) {
    if (slots_[i] != nullptr) continue;
    if (slotNames_[i] != deviceControl_.number && slotNames_[i] != orm_.number) {
      const int which = shares[0] <= shares[1] ? 0 : 1;
      ++shares[which];
      slotNames_[i] = which == 0 ? deviceControl_.number : orm_.number;
    }
    NetRequest request = PostReceive(slotNames_[i], nullptr);
    if (request == nullptr) break;  // the next tick tries again
    slots_[i] = request;
    ++posted;
  }
  count_ = Outstanding();
  if (posted == 0) return;
  char line[96];
  if (before == 0) {
    std::snprintf(line, sizeof line,
                  "Reception was down: no receive was outstanding; %d of %d posted again", posted,
                  kReceiveSlots);
  } else {
    std::snprintf(line, sizeof line, "Receives posted again: %d (%d of %d were outstanding)",
                  posted, before, kReceiveSlots);
  }
  host_.WriteLogLine(line);
}

void Channel::SendCompletion(NetRequest request) {
  // Sends past the ones tracked are freed all the same.
  ForgetSend(request);
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
    host_.ChannelBack(retries_);
    retries_ = 0;
  } else {
    std::snprintf(line, sizeof line, "Network reset attempt %d failed", retries_);
    host_.WriteLogLine(line);
  }
}

void Channel::WatchdogReport() {
  if (config_.infoDriver == 0 || config_.infoSlot == 0) return;
  const LocalTime t = host_.Now();
  char date[40];
  std::snprintf(date, sizeof date, "%02d-%02d-%04d - %02d;%02d;%02d", t.day, t.month, t.year,
                t.hour, t.minute, t.second);
  std::snprintf(report_, sizeof report_, "IW %d '%s' %d", static_cast<int>(config_.infoDriver),
                date, static_cast<int>(config_.infoSlot));
  const auto length = static_cast<std::uint16_t>(std::strlen(report_) + 1);
  // The driver's name is 16 characters for 1..999; a longer number is cut.
  char name[40];
  std::snprintf(name, sizeof name, "ID_%03d          ", static_cast<int>(config_.infoDriver));
  name[16] = '\0';
  Send(name, report_, length);
  Send("DEVICE_CONTROL  ", report_, length);
}

}  // namespace varnet

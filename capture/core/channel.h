// The capture tool on its channel: the two group names, the 24 outstanding
// receives, the completions, sending, the network reset and the watchdog
// report. Portable: the wrapper library and the rest of the tool are
// reached through NetApi and ChannelHost.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/capture_config.h"
#include "core/packet_record.h"
#include "clock.h"

namespace varnet {

using trelm::LocalTime;

// A request of the wrapper library (an NCB), opaque here.
using NetRequest = void*;

// The four fields of a completed request that the tool reads.
struct RequestView {
  std::uint8_t retcode = 0;
  std::uint8_t number = 0;
  const std::uint8_t* buffer = nullptr;
  std::uint16_t length = 0;
};

enum : std::uint8_t {
  kNrcGood = 0x00,
  kNrcNameError = 0x17,
  kNrcBridge = 0x23,
  kNrcPending = 0xFF,
};
enum : unsigned { kNcbDatagramSend = 0x20, kNcbDatagramReceive = 0x21 };
// The completion message: WM_USER + 2000.
constexpr unsigned kNetCompletionMessage = 0x0400 + 2000;
constexpr int kReceiveSlots = 24;
constexpr std::uint16_t kReceiveLength = 512;

// What the wrapper library counted as lost in this run.
struct NetLoss {
  std::uint64_t dropped = 0;    // a name's queue was full
  std::uint64_t malformed = 0;  // payloads that were not datagrams
  std::uint64_t unclaimed = 0;  // for the tool's names while they were not registered
  std::uint64_t waiting = 0;    // received, not yet taken by a receive
};

// The wrapper library's nine functions (the main window is given by the
// implementation) and a safe look at a request.
class NetApi {
 public:
  virtual ~NetApi() = default;
  virtual std::uint8_t Reset(int sessions, int names, std::uint8_t adapter) = 0;
  virtual void CopyName(char* field, const char* text) = 0;
  virtual std::uint8_t AddGroupName(char* field, std::uint8_t* number, std::uint8_t adapter) = 0;
  virtual int DeleteName(char* field, std::uint8_t number, std::uint8_t adapter) = 0;
  virtual std::uint8_t ReceiveDG(std::uint16_t length, std::uint8_t number, NetRequest* request,
                                 std::uint8_t adapter) = 0;
  virtual std::uint8_t SendDG(const void* data, std::uint16_t length, const char* destination,
                              std::uint8_t number, NetRequest* request, std::uint8_t adapter) = 0;
  virtual void NcbFree(NetRequest request) = 0;
  virtual void RetCode(const char* label, std::uint8_t code) = 0;
  virtual void CmdCode(const char* label, std::uint8_t code) = 0;
  // False when the request's memory cannot be read.
  virtual bool Read(NetRequest request, RequestView& view) = 0;
  // The wrapper's loss counters; false when the library keeps none.
  virtual bool Loss(NetLoss& /*loss*/) { return false; }
  // When a received datagram reached the wrapper, and its number there;
  // false when the library cannot tell.
  virtual bool ArrivalOf(NetRequest /*request*/, Arrival& /*arrival*/) { return false; }
};

// What the channel needs from the rest of the tool.
// The clock gives the watchdog report its date.
class ChannelHost : public trelm::Clock {
 public:
  virtual void WriteLogLine(const char* text) = 0;
  // The screen only.
  virtual void ShowLine(const char* text) = 0;
  virtual void CloseProgram() = 0;
  virtual void SetTimer(unsigned id, unsigned ms) = 0;
  virtual void KillTimer(unsigned id) = 0;
  // A box on the main window titled "! Error !" with an OK button.
  virtual void ShowWindowError(const char* text) = 0;
  // A received datagram in its zeroed buffer, at most 512 bytes long, with
  // a zero byte after them: record it and decode it.
  // The arrival is the wrapper's, or nullptr when it cannot tell.
  virtual void OnDatagram(std::uint8_t type, const std::uint8_t (&buffer)[kDatagramSize + 1],
                          std::uint16_t length, const Arrival* arrival) = 0;
  // One more datagram in this second.
  virtual void CountReceive() = 0;
  // The channel went down (a receive failed with a network error) and is
  // being reset; it came back after so many attempts. Beside the log lines
  // that say so, for a host that reports them elsewhere too.
  virtual void ChannelDown() {}
  virtual void ChannelBack(int /*retries*/) {}
};

class Channel {
 public:
  Channel(NetApi& net, ChannelHost& host, const ChannelConfig& config);

  // Clears the network-reset state and the retry counter.
  void ClearState();
  // 1 = done; 0 = a name could not be added while in network-reset state.
  int Register();
  void RemoveNames();
  // The program's end: names removed. Completions that still come (they
  // were on their way) are recorded and decoded, and not posted again.
  void Close();
  // Message 3024: wParam (the command code) and lParam (the request).
  void OnCompletion(unsigned code, NetRequest request);
  // Sends under the ORM name; returns the wrapper's result.
  std::uint8_t Send(const char* destination, const void* data, std::uint16_t length);
  // Timer 4.
  void ResetRetry();
  // The idle tick: receives that are not outstanding (a completion with an
  // unexpected code, a failed post) are posted again until all are.
  void Refill();
  // Timer 2 and the end of start-up.
  void WatchdogReport();

  // On while a replay runs: received datagrams are dropped, and counted.
  void SetReplayRunning(bool running) { replayRunning_ = running; }
  bool ReplayRunning() const { return replayRunning_; }
  std::uint64_t ReplayDrops() const { return replayDrops_; }
  // Datagrams of completions ignored while the channel was down.
  std::uint64_t DownDrops() const { return downDrops_; }
  bool InReset() const { return reset_; }
  int Retries() const { return retries_; }
  int TableCount() const { return count_; }
  int Outstanding() const;
  std::size_t SendsOutstanding() const { return sendCount_; }
  const char* DeviceControlName() const { return deviceControl_.field; }
  const char* OrmName() const { return orm_.field; }

  static constexpr unsigned kResetTimer = 4;
  static constexpr unsigned kResetMs = 10000;

 private:
  struct Registration {
    char field[17] = "";
    std::uint8_t number = 0;
    bool added = false;
  };
  std::uint8_t Adapter() const { return static_cast<std::uint8_t>(config_.defaultAdaptor); }
  bool AddName(Registration& name, const char* base, int& next);
  // Posts one receive; the new request, or nullptr when the post failed.
  NetRequest PostReceive(std::uint8_t number, std::uint8_t* result);
  int FindSlot(NetRequest request) const;
  bool ForgetSend(NetRequest request);
  void ReceiveCompletion(NetRequest request);
  // Records and decodes a received datagram; false while a replay runs.
  bool Deliver(NetRequest request, const RequestView& view);
  void SendCompletion(NetRequest request);

  NetApi& net_;
  ChannelHost& host_;
  const ChannelConfig& config_;
  Registration deviceControl_;
  Registration orm_;
  NetRequest slots_[kReceiveSlots] = {};
  // The name number each slot receives for.
  std::uint8_t slotNames_[kReceiveSlots] = {};
  // What each name number was last given to: a completion is recorded as
  // a command or a revertive by the name it was received for, also when
  // it comes after the names were registered again under new numbers.
  std::uint8_t numberKinds_[256] = {};
  int count_ = 0;
  // Sends under way, freed when they complete.
  static constexpr std::size_t kMaxSends = 256;
  NetRequest sends_[kMaxSends] = {};
  std::size_t sendCount_ = 0;
  bool reset_ = false;
  bool closed_ = false;
  int retries_ = 0;
  bool replayRunning_ = false;
  std::uint64_t replayDrops_ = 0;
  std::uint64_t downDrops_ = 0;
  std::uint8_t datagram_[kDatagramSize + 1] = {};
  char report_[128] = "";
};

}  // namespace varnet

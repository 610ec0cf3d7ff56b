// A LANA's network and its receive thread (lana.h). The thread reads the
// socket in runs and hands them to their names, posts again the completions
// the window could not take, and opens a dead socket again.
#include "lana.h"

#include <cstdio>
#include <string>
#include <vector>

#include "completions.h"
#include "dispatch.h"
#include "lana_reopen.h"
#include "report.h"
#include "settings.h"

namespace velknb::dll {
namespace {

// Failed reads in a row after which a socket counts as dead.
constexpr int kDeadErrors = 10;
// A dead socket is opened again at most this often.
constexpr DWORD kReopenMs = 1000;
// After handing over a run of datagrams the receive thread naps this long,
// so that a busy network's datagrams are taken in runs: one wake of this
// thread and of the caller's window per run, not per datagram. The
// kernel's receive buffer holds what comes meanwhile.
constexpr DWORD kGatherMs = 5;

// Datagrams read from the socket one after another and handed over
// together: the window is woken once for them, not once for each.
class Run {
 public:
  static constexpr std::size_t kMax = 64;
  bool Full() const { return sizes_.size() >= kMax; }
  // A datagram just read, stamped now.
  void Take(const UCHAR* data, std::size_t size) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    bytes_.insert(bytes_.end(), data, data + size);
    sizes_.push_back(size);
    arrivals_.push_back(now);
  }
  void DispatchAll(Lana& lana) {
    // One hold of the lock for the run: the caller's calls wait once.
    Locked lock;
    std::size_t at = 0;
    for (std::size_t i = 0; i < sizes_.size(); ++i) {
      Dispatch(lana, bytes_.data() + at, sizes_[i], arrivals_[i]);
      at += sizes_[i];
    }
    bytes_.clear();
    sizes_.clear();
    arrivals_.clear();
  }

 private:
  std::vector<UCHAR> bytes_;
  std::vector<std::size_t> sizes_;
  std::vector<FILETIME> arrivals_;
};

DWORD WINAPI ReceiveThread(LPVOID parameter) {
  auto& lana = *static_cast<Lana*>(parameter);
  std::vector<UCHAR> buffer(65536);
  Run run;
  int errors = 0;
  DWORD lastReopen = GetTickCount() - kReopenMs;
  while (InterlockedCompareExchange(&lana.stop, 0, 0) == 0) {
    if (InterlockedCompareExchange(&g_wrapper->undeliveredCount, 0, 0) != 0) {
      Locked lock;
      RetryUndelivered();
    }
    if (InterlockedCompareExchange(&lana.down, 0, 0) != 0) {
      if (GetTickCount() - lastReopen >= kReopenMs) {
        lastReopen = GetTickCount();
        if (ReopenLana(lana, buffer)) errors = 0;
      }
      Sleep(50);
      continue;
    }
    // Taken at once when there, else waited for once.
    const long got = InterlockedCompareExchange(&lana.playDead, 0, 0) != 0
                         ? -1
                         : lana.transport.Receive(buffer.data(), buffer.size(), 200);
    if (got > 0) {
      errors = 0;
      // What came meanwhile is read first, up to a run's worth, and the
      // run is handed over together.
      run.Take(buffer.data(), static_cast<std::size_t>(got));
      while (!run.Full()) {
        const long more = lana.transport.TryReceive(buffer.data(), buffer.size());
        if (more <= 0) break;  // an error shows again on the next read
        run.Take(buffer.data(), static_cast<std::size_t>(more));
      }
      const bool full = run.Full();
      run.DispatchAll(lana);
      // Unless the socket holds more than a run, the next ones are let
      // gather in the kernel's buffer.
      if (!full) Sleep(kGatherMs);
    } else if (got < 0) {
      // A failing socket looks like a quiet network unless it is noticed.
      if (++errors >= kDeadErrors) {
        errors = 0;
        Locked lock;
        FailLana(lana);
      } else {
        Sleep(50);
      }
    } else {
      errors = 0;
    }
  }
  return 0;
}

}  // namespace

// Under the lock: the LANA's network, opened on first use.
Lana* OpenLana(UCHAR adapter) {
  Wrapper& w = *g_wrapper;
  Configure();
  if (w.lanas[adapter] != nullptr) return w.lanas[adapter];
  auto* lana = new Lana;
  lana->number = adapter;
  std::string error;
  if (!lana->transport.Open(w.transport, adapter, &error)) {
    // Settings that are refused (a group that is not multicast, an
    // interface that is not this machine's) and sockets that cannot be
    // opened make the LANA one that cannot be used: said in the report
    // file, and every call on it fails.
    char text[300];
    std::snprintf(text, sizeof text, "velknb32b: LANA %d cannot be used: %s", adapter,
                  error.c_str());
    Report(text);
    Trace("open %d failed: %s", adapter, error.c_str());
    delete lana;
    return nullptr;
  }
  // What the system granted of the receive buffer asked for bounds the
  // burst it holds while this thread is away; a datagram it drops never
  // reaches the wrapper and has no number, so the size is reported.
  char granted[160];
  std::snprintf(granted, sizeof granted,
                "velknb32b: LANA %d open, receive buffer %d bytes granted (%d asked for)", adapter,
                lana->transport.ReceiveBufferSize(), velknb::kReceiveBufferAsked);
  Report(granted);
  Trace("%s", granted);
  lana->thread = CreateThread(nullptr, 0, ReceiveThread, lana, 0, nullptr);
  if (lana->thread == nullptr) {
    delete lana;
    return nullptr;
  }
  SetThreadPriority(lana->thread, THREAD_PRIORITY_ABOVE_NORMAL);
  w.lanas[adapter] = lana;
  return lana;
}

Lana* ExistingLana(UCHAR adapter) { return g_wrapper->lanas[adapter]; }

}  // namespace velknb::dll

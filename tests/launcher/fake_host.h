// A launcher host for tests: a virtual clock drives the window timers and
// posted messages, and everything the launcher does to the world is
// recorded instead of done. Profile files and the configuration lookup
// are left to a derived host.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/launcher.h"

namespace pellor::testing {

class FakeHost : public LauncherHost {
 public:
  struct Start {
    std::uint64_t at;
    std::string commandLine;
    int showState;
  };
  struct Message {
    WindowHandle window;
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
  };
  struct Box {
    WindowHandle owner;
    std::string text;
    std::string caption;
    unsigned flags;
  };
  struct LogEntry {
    std::uint64_t at;
    std::string text;
  };

  Launcher* launcher = nullptr;
  std::uint64_t now = 0;

  std::vector<LogEntry> log;
  std::vector<Start> starts;
  std::vector<Message> sent;
  std::vector<Message> broadcasts;
  std::vector<Box> boxes;
  std::deque<int> answers;  // the answers the boxes give, Cancel when empty
  std::vector<std::string> directories;
  int arranged = 0;
  int logoffs = 0;
  unsigned logoffFlags = 0;
  unsigned logoffReason = 0;
  bool debugOpened = false;
  bool debugDestroyed = false;
  bool mainDestroyed = false;
  int quitCode = -1;

  // What the outside world does in answer.
  std::function<void(const Start&)> onStart;
  std::function<void(const Message&)> onSend;
  std::function<void(const Message&)> onBroadcast;

  // Runs a callback at a time, like a message posted then.
  void At(std::uint64_t time, std::function<void()> callback) {
    posted_.push_back(Posted{time, sequence_++, std::move(callback)});
  }

  // Delivers posted messages and timers due up to time, in order; posted
  // messages before timers that fall due at the same moment.
  void RunUntil(std::uint64_t time) {
    while (quitCode < 0) {
      auto post = posted_.end();
      for (auto it = posted_.begin(); it != posted_.end(); ++it) {
        if (it->at <= time && (post == posted_.end() || it->at < post->at ||
                               (it->at == post->at && it->sequence < post->sequence))) {
          post = it;
        }
      }
      auto timer = timers_.end();
      for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.due <= time && (timer == timers_.end() || it->second.due < timer->second.due)) {
          timer = it;
        }
      }
      if (post != posted_.end() && (timer == timers_.end() || post->at <= timer->second.due)) {
        if (post->at > now) now = post->at;
        std::function<void()> callback = std::move(post->callback);
        posted_.erase(post);
        callback();
      } else if (timer != timers_.end()) {
        now = timer->second.due;
        // A window timer goes on firing until it is killed.
        timer->second.due = now + timer->second.interval;
        launcher->OnTimer(timer->first);
      } else {
        break;
      }
    }
    if (quitCode < 0 && time > now) now = time;
  }
  void RunFor(std::uint64_t ms) { RunUntil(now + ms); }

  bool Armed(unsigned id) const { return timers_.count(id) != 0; }
  std::uint64_t Due(unsigned id) const { return timers_.at(id).due; }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const LogEntry& entry : log) lines.push_back(entry.text);
    return lines;
  }
  std::vector<std::string> Started() const {
    std::vector<std::string> lines;
    for (const Start& start : starts) lines.push_back(start.commandLine);
    return lines;
  }

  // LauncherHost, apart from the profile side.
  void ArmTimer(unsigned id, unsigned ms) override {
    // Windows raises intervals below 10 ms to 10 ms.
    unsigned interval = ms < 10 ? 10 : ms;
    timers_[id] = Timer{now + interval, interval};
  }
  void KillTimer(unsigned id) override { timers_.erase(id); }
  void Send(WindowHandle window, unsigned message, std::uintptr_t wParam,
            std::intptr_t lParam) override {
    sent.push_back(Message{window, message, wParam, lParam});
    if (onSend) onSend(sent.back());
  }
  void Broadcast(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
    broadcasts.push_back(Message{0xFFFF, message, wParam, lParam});
    if (onBroadcast) onBroadcast(broadcasts.back());
  }
  void PostToMain(unsigned message) override {
    At(now, [this, message] {
      if (message == kMsgAskClosedown) launcher->OnAskClosedown();
    });
  }
  // A start of a command line listed here fails, with that reason.
  std::map<std::string, std::string> startFailures;
  bool StartProgram(const char* commandLine, int showState, std::string& reason) override {
    starts.push_back(Start{now, commandLine, showState});
    auto failure = startFailures.find(commandLine);
    if (failure != startFailures.end()) {
      reason = failure->second;
      return false;
    }
    if (onStart) onStart(starts.back());
    return true;
  }
  void ChangeDirectory(const char* path) override { directories.push_back(path); }
  void ArrangeIconicWindows() override { ++arranged; }
  int ShowMessageBox(WindowHandle owner, const char* text, const char* caption,
                     unsigned flags) override {
    boxes.push_back(Box{owner, text, caption, flags});
    if (answers.empty()) return kIdCancel;
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void EndWindowsSession(unsigned flags, unsigned reason) override {
    ++logoffs;
    logoffFlags = flags;
    logoffReason = reason;
  }
  void OpenDebugWindow() override { debugOpened = true; }
  void DebugLogAdd(const char* text) override { log.push_back(LogEntry{now, text}); }
  void DestroyDebugWindow() override { debugDestroyed = true; }
  void DestroyMainWindow() override {
    mainDestroyed = true;
    timers_.clear();  // a destroyed window's timers die with it
  }
  void PostQuit(int exitCode) override { quitCode = exitCode; }

  // The event log: what was reported, in order, with the time.
  struct Reported {
    std::uint64_t at;
    trelm::EventType type;
    unsigned id;
    std::vector<std::string> strings;
  };
  std::vector<Reported> reported;
  void Report(trelm::EventType type, unsigned id, const std::vector<std::string>& strings) override {
    reported.push_back(Reported{now, type, id, strings});
  }

 private:
  struct Timer {
    std::uint64_t due;
    unsigned interval;
  };
  struct Posted {
    std::uint64_t at;
    std::uint64_t sequence;
    std::function<void()> callback;
  };
  std::map<unsigned, Timer> timers_;
  std::vector<Posted> posted_;
  std::uint64_t sequence_ = 0;
};

}  // namespace pellor::testing

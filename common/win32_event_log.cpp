// The event log's queue and its worker thread: the program hands events
// over under a lock and goes on; the worker alone calls the event log.
#include "win32_event_log.h"

#include <cinttypes>
#include <cstdio>
#include <deque>
#include <utility>

namespace trelm {

namespace {

bool WriteEvent(HANDLE source, const Win32EventLog::Event& event) {
  std::vector<const char*> texts;
  texts.reserve(event.strings.size());
  for (const std::string& s : event.strings) texts.push_back(s.c_str());
  return ReportEventA(source, Win32EventLog::TypeOf(event.type), 0, event.id, nullptr,
                      static_cast<WORD>(texts.size()), 0, texts.empty() ? nullptr : texts.data(),
                      nullptr) != 0;
}

}  // namespace

// What the program and the worker share, under lock. It outlives the log
// object when the worker is still inside the event log at the close.
struct Win32EventLog::Shared {
  CRITICAL_SECTION lock;
  CONDITION_VARIABLE ready;  // an event waits, or the close began
  std::deque<Event> queue;
  std::size_t bound = kBound;
  bool closing = false;
  bool writing = false;  // the worker is inside the event log with an event
  Losses counts;
  std::string source;
  Writer writer;
};

WORD Win32EventLog::TypeOf(EventType type) {
  switch (type) {
    case EventType::Error:
      return EVENTLOG_ERROR_TYPE;
    case EventType::Warning:
      return EVENTLOG_WARNING_TYPE;
    case EventType::Information:
      break;
  }
  return EVENTLOG_INFORMATION_TYPE;
}

Win32EventLog::Win32EventLog(const char* source, Say say, std::size_t bound, Writer writer)
    : shared_(new Shared) {
  InitializeCriticalSection(&shared_->lock);
  InitializeConditionVariable(&shared_->ready);
  shared_->bound = bound;
  shared_->source = source;
  shared_->writer = writer ? std::move(writer) : WriteEvent;
  say_ = say ? std::move(say) : [](const char* text) { OutputDebugStringA(text); };
  thread_ = CreateThread(nullptr, 0, Work, shared_, 0, nullptr);
  // Without a worker every event is dropped, and counted.
  if (thread_ == nullptr) shared_->closing = true;
}

Win32EventLog::~Win32EventLog() { Close(); }

DWORD WINAPI Win32EventLog::Work(void* data) {
  Shared& shared = *static_cast<Shared*>(data);
  // Registered here, not on the program's thread: the event log may be slow.
  HANDLE source = RegisterEventSourceA(nullptr, shared.source.c_str());
  EnterCriticalSection(&shared.lock);
  for (;;) {
    while (shared.queue.empty() && !shared.closing) {
      SleepConditionVariableCS(&shared.ready, &shared.lock, INFINITE);
    }
    if (shared.queue.empty()) break;  // closing, and all written
    Event event = std::move(shared.queue.front());
    shared.queue.pop_front();
    shared.writing = true;
    LeaveCriticalSection(&shared.lock);
    const bool written = source != nullptr && shared.writer(source, event);
    EnterCriticalSection(&shared.lock);
    shared.writing = false;
    ++(written ? shared.counts.written : shared.counts.refused);
  }
  LeaveCriticalSection(&shared.lock);
  if (source != nullptr) DeregisterEventSource(source);
  return 0;
}

void Win32EventLog::Report(EventType type, unsigned id, const std::vector<std::string>& strings) {
  // After the close (on the program's thread, as the reports are): dropped.
  if (closed_) {
    ++final_.dropped;
    return;
  }
  Event event{type, id, strings};
  EnterCriticalSection(&shared_->lock);
  if (shared_->closing || shared_->queue.size() >= shared_->bound) {
    ++shared_->counts.dropped;
  } else {
    shared_->queue.push_back(std::move(event));
    WakeConditionVariable(&shared_->ready);
  }
  LeaveCriticalSection(&shared_->lock);
}

Win32EventLog::Losses Win32EventLog::Counts() const {
  if (closed_) return final_;
  EnterCriticalSection(&shared_->lock);
  const Losses counts = shared_->counts;
  LeaveCriticalSection(&shared_->lock);
  return counts;
}

void Win32EventLog::Close(unsigned ms) {
  if (closed_) return;
  closed_ = true;
  EnterCriticalSection(&shared_->lock);
  shared_->closing = true;
  WakeConditionVariable(&shared_->ready);
  LeaveCriticalSection(&shared_->lock);
  const bool drained = thread_ == nullptr || WaitForSingleObject(thread_, ms) == WAIT_OBJECT_0;
  // When the worker is still inside the event log, what waits is given up,
  // and the shared part is left to it (the program is ending). The event
  // the log has not taken yet is among those that did not reach it.
  EnterCriticalSection(&shared_->lock);
  shared_->counts.waiting += shared_->queue.size() + (!drained && shared_->writing ? 1 : 0);
  shared_->queue.clear();
  final_ = shared_->counts;
  LeaveCriticalSection(&shared_->lock);
  SayLosses(final_, drained);
  if (thread_ != nullptr) CloseHandle(thread_);
  thread_ = nullptr;
  if (drained) {
    DeleteCriticalSection(&shared_->lock);
    delete shared_;
    shared_ = nullptr;
  }
}

void Win32EventLog::SayLosses(const Losses& c, bool drained) {
  if (c.dropped == 0 && c.refused == 0 && c.waiting == 0) return;
  char text[320];
  std::snprintf(text, sizeof text,
                "%s: %" PRIu64 " events did not reach the event log: %" PRIu64
                " dropped (queue full), %" PRIu64 " refused, %" PRIu64 " still waiting at the end%s",
                shared_->source.c_str(), c.dropped + c.refused + c.waiting, c.dropped, c.refused,
                c.waiting, drained ? "" : " (the event log did not answer in time)");
  say_(text);
}

}  // namespace trelm

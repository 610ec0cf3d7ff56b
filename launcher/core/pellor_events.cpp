// Pellor's events: each call's insertion strings, in its message's order.
#include "core/pellor_events.h"

namespace pellor {

void PellorEvents::EntryNotStarted(const std::string& commandLine, const std::string& reason,
                                   const char* key, const char* section) {
  trelm::Report(report_, kEventEntryNotStarted, {commandLine, reason, key, section});
}

void PellorEvents::OrmNotClosed(unsigned seconds, const char* section) {
  trelm::Report(report_, kEventOrmNotClosed, {std::to_string(seconds), section});
}

void PellorEvents::AppReadyTimedOut(const char* entry, unsigned seconds, int retry, int retries) {
  trelm::Report(report_, kEventAppReadyTimedOut,
                {entry, std::to_string(seconds), std::to_string(retry), std::to_string(retries)});
}

void PellorEvents::AppReadyGaveUp(const char* entry, unsigned seconds, int starts) {
  trelm::Report(report_, kEventAppReadyGaveUp,
                {entry, std::to_string(seconds), std::to_string(starts)});
}

}  // namespace pellor

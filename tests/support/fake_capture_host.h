// A capture host for tests: a virtual clock, files and profiles in memory,
// and a record of everything done to the window.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/capture_host.h"
#include "wall_time.h"

namespace varnet {

class FakeCaptureHost : public CaptureHost {
 public:
  // Files: path -> content; paths in unopenable cannot be opened.
  std::map<std::string, std::string> files;
  std::set<std::string> unopenable;
  std::vector<std::pair<std::string, std::string>> opens;  // path, mode
  int openStreams = 0;

  // Profiles: lower-cased "file|section|key" -> value.
  std::map<std::string, std::string> profile;
  int profileWrites = 0;

  LocalTime now{2009, 10, 1, 7, 15, 2, 480};
  std::string configDir = "c:\\cfg";
  std::string systemDir = "c:\\sys";
  bool libraryLoads = true;
  bool dialogCreates = true;

  std::vector<std::string> screen;  // AddLine texts since the last clear
  std::vector<std::string> shown;   // every AddLine text, clears or not
  std::vector<std::string> titles;
  std::vector<std::string> errors;  // message box texts
  std::vector<std::string> events;  // window actions in order
  std::vector<std::string> indicator;
  std::map<unsigned, bool> checks;
  std::set<unsigned> timers;
  std::map<unsigned, unsigned> intervals;  // of the timers started
  std::vector<std::string> madeDirectories;
  int quits = 0;

  static std::string Key(const char* file, const char* section, const char* key) {
    std::string k = std::string(file) + "|" + section + "|" + key;
    std::transform(k.begin(), k.end(), k.begin(), [](unsigned char c) { return std::tolower(c); });
    return k;
  }
  void Set(const char* file, const char* section, const char* key, const char* value) {
    profile[Key(file, section, key)] = value;
  }
  std::string Get(const char* file, const char* section, const char* key) const {
    auto it = profile.find(Key(file, section, key));
    return it == profile.end() ? "<absent>" : it->second;
  }
  void DeleteSection(const char* file, const char* section) {
    const std::string prefix = Key(file, section, "");
    for (auto it = profile.begin(); it != profile.end();) {
      it = it->first.rfind(prefix, 0) == 0 ? profile.erase(it) : std::next(it);
    }
  }
  // Advances the clock by ms milliseconds, into the next days as needed.
  void Advance(int ms) {
    ticks += static_cast<std::uint64_t>(ms);
    long total = ((now.hour * 60L + now.minute) * 60 + now.second) * 1000 + now.milliseconds + ms;
    now.milliseconds = static_cast<int>(total % 1000);
    total /= 1000;
    now.second = static_cast<int>(total % 60);
    total /= 60;
    now.minute = static_cast<int>(total % 60);
    total /= 60;
    now.hour = static_cast<int>(total % 24);
    // Past midnight: the next days of the calendar.
    if (total >= 24) {
      trelm::CivilFromDays(trelm::DaysFromCivil(now.year, now.month, now.day) + total / 24,
                           &now.year, &now.month, &now.day);
    }
  }
  // The texts of a capture log's lines, after their "hh:mm:ss-cc - " stamp.
  std::vector<std::string> LogTexts(const std::string& path) const {
    std::vector<std::string> texts;
    for (const std::string& line : Lines(path)) texts.push_back(line.substr(14));
    return texts;
  }
  // The lines of a text file.
  std::vector<std::string> Lines(const std::string& path) const {
    std::vector<std::string> out;
    auto it = files.find(path);
    if (it == files.end()) return out;
    std::string line;
    for (char c : it->second) {
      if (c == '\n') {
        out.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    return out;
  }

  // The disk: bytes that can still be written (negative: no limit). A
  // write that meets the limit stores what fits and fails, as a full disk
  // does; cutsFail makes every cut fail too.
  long long space = -1;
  bool cutsFail = false;
  // The next so many writes fail, whatever the space.
  int failNext = 0;
  int failedWrites = 0;
  int writes = 0;

  class MemoryStream : public Stream {
   public:
    MemoryStream(FakeCaptureHost& host, std::string path) : host_(host), path_(std::move(path)) {
      ++host_.openStreams;
    }
    ~MemoryStream() override { --host_.openStreams; }
    bool Write(const void* data, std::size_t size) override {
      ++host_.writes;
      if (host_.failNext > 0) {
        // A passing failure: this write stores its first half and fails.
        --host_.failNext;
        ++host_.failedWrites;
        host_.files[path_].append(static_cast<const char*>(data), size / 2);
        return false;
      }
      std::size_t fits = size;
      if (host_.space >= 0 && static_cast<long long>(size) > host_.space) {
        fits = static_cast<std::size_t>(host_.space);
      }
      host_.files[path_].append(static_cast<const char*>(data), fits);
      if (host_.space >= 0) host_.space -= static_cast<long long>(fits);
      if (fits == size) return true;
      ++host_.failedWrites;
      return false;
    }
    std::uint64_t Size() override { return host_.files[path_].size(); }
    bool CutTo(std::uint64_t size) override {
      if (host_.cutsFail) return false;
      std::string& bytes = host_.files[path_];
      if (size < bytes.size()) {
        if (host_.space >= 0) host_.space += static_cast<long long>(bytes.size() - size);
        bytes.resize(static_cast<std::size_t>(size));
      }
      return true;
    }

   private:
    FakeCaptureHost& host_;
    std::string path_;
  };

  void LookupConfigPath(char* out, std::size_t size) override { Copy(configDir, out, size); }
  void LookupSystemPath(char* out, std::size_t size) override { Copy(systemDir, out, size); }
  std::size_t ProfileRead(const char* section, const char* key, const char* fallback, char* out,
                          std::size_t size, const char* file) override {
    auto it = profile.find(Key(file, section, key));
    Copy(it == profile.end() ? fallback : it->second, out, size);
    return std::strlen(out);
  }
  void ProfileWrite(const char* section, const char* key, const char* value,
                    const char* file) override {
    ++profileWrites;
    profile[Key(file, section, key)] = value;
  }
  void MakeDirectory(const char* path) override { madeDirectories.push_back(path); }
  std::vector<FileEntry> ListFiles(const char* dir, const char* prefix) override {
    std::vector<FileEntry> found;
    const std::string start = Lower(std::string(dir) + "\\" + prefix);
    for (const auto& [path, bytes] : files) {
      if (Lower(path).rfind(start, 0) == 0 && path.find('\\', start.size()) == std::string::npos) {
        found.push_back({path.substr(std::strlen(dir) + 1), bytes.size()});
      }
    }
    // Listed newest first, as no order is promised.
    std::reverse(found.begin(), found.end());
    return found;
  }
  // Files replaced whole: each replacement of a path, and the next so many
  // that fail (as a file held open without sharing does), leaving the file
  // as it was.
  std::map<std::string, int> replacements;
  int replaceFails = 0;
  bool ReplaceWhole(const char* path, const std::string& bytes, std::string& why) override {
    if (replaceFails > 0 || unopenable.count(path) != 0) {
      if (replaceFails > 0) --replaceFails;
      why = "Access is denied.";
      return false;
    }
    ++replacements[path];
    files[path] = bytes;
    return true;
  }
  // Directories held by a run: shared by hosts that stand for programs on
  // one machine.
  std::shared_ptr<std::set<std::string>> heldDirectories = std::make_shared<std::set<std::string>>();
  bool HoldDirectory(const char* dir) override { return heldDirectories->insert(Lower(dir)).second; }
  // Deleted paths in order; paths in undeletable cannot be deleted. A
  // deletion gives its bytes back to a limited disk.
  struct Removal {
    std::string path;
    std::size_t size;
    LocalTime when;
  };
  std::vector<Removal> removed;
  std::set<std::string> undeletable;
  bool RemoveFile(const char* path) override {
    const auto it = files.find(path);
    if (it == files.end() || undeletable.count(path) != 0) return false;
    if (space >= 0) space += static_cast<long long>(it->second.size());
    removed.push_back({path, it->second.size(), now});
    files.erase(it);
    return true;
  }
  // The disk's free bytes: the space left, or a large disk's without a limit.
  bool freeKnown = true;
  bool FreeBytes(const char*, std::uint64_t& bytes) override {
    bytes = space >= 0 ? static_cast<std::uint64_t>(space) : std::uint64_t{1} << 40;
    return freeKnown;
  }
  // Milliseconds that Advance moved on.
  std::uint64_t ticks = 1000000;
  std::uint64_t Ticks() override { return ticks; }
  // Completions that wait in the window's queue, taken at the close.
  std::function<void()> waitingCompletions;
  int completionTakes = 0;
  void TakeWaitingCompletions() override {
    ++completionTakes;
    events.push_back("TakeWaitingCompletions");
    if (waitingCompletions) waitingCompletions();
  }
  LocalTime Now() override { return now; }
  // The clock is never set by a test: the settings are recorded.
  std::vector<std::string> clockSets;
  void SetClockDate(int year, int month, int day) override {
    clockSets.push_back("date " + std::to_string(year) + "-" + std::to_string(month) + "-" +
                        std::to_string(day));
  }
  void SetClockTime(int hour, int minute, int second, int milliseconds) override {
    clockSets.push_back("time " + std::to_string(hour) + ":" + std::to_string(minute) + ":" +
                        std::to_string(second) + "." + std::to_string(milliseconds));
  }
  // The virtual clock's time taken as UTC.
  std::uint64_t UtcFileTime() override {
    // Days from 1601-01-01 to the date (the proleptic Gregorian calendar).
    const int y = now.month <= 2 ? now.year - 1 : now.year;
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (now.month + (now.month > 2 ? -3 : 9)) + 2) / 5 + now.day - 1;
    const long long days = era * 146097LL + yoe * 365 + yoe / 4 - yoe / 100 + doy - 584694;
    const long long ms = ((days * 24 + now.hour) * 60 + now.minute) * 60000LL +
                         now.second * 1000LL + now.milliseconds;
    return static_cast<std::uint64_t>(ms) * 10000u;
  }
  std::unique_ptr<Stream> OpenFile(const char* path, const char* mode) override {
    opens.emplace_back(path, mode);
    if (unopenable.count(path) != 0) return nullptr;
    files[path];  // created by the open
    return std::make_unique<MemoryStream>(*this, path);
  }
  class MemoryInput : public InputFile {
   public:
    explicit MemoryInput(std::string bytes) : bytes_(std::move(bytes)) {}
    bool Seek(std::int64_t offset) override {
      if (offset < 0) return false;
      at_ = static_cast<std::size_t>(offset);
      return true;
    }
    std::size_t Read(void* data, std::size_t size) override {
      if (at_ >= bytes_.size()) return 0;
      const std::size_t n = std::min(size, bytes_.size() - at_);
      std::memcpy(data, bytes_.data() + at_, n);
      at_ += n;
      return n;
    }

   private:
    std::string bytes_;
    std::size_t at_ = 0;
  };
  std::unique_ptr<InputFile> OpenInput(const char* path, bool) override {
    opens.emplace_back(path, "r");
    auto it = files.find(path);
    if (it == files.end() || unopenable.count(path) != 0) return nullptr;
    return std::make_unique<MemoryInput>(it->second);
  }
  // The open-file dialog answers with the next of these ("" cancels).
  std::vector<std::string> choices;
  std::vector<std::string> fileDialogs;  // "title|packet or main|directory"
  bool ChooseFile(const char* title, bool fromPacketDialog, const char* initialDir, char* out,
                  std::size_t size) override {
    fileDialogs.push_back(std::string(title) + "|" + (fromPacketDialog ? "packet" : "main") +
                          "|" + initialDir);
    if (choices.empty()) return false;
    const std::string choice = choices.front();
    choices.erase(choices.begin());
    Copy(choice, out, size);
    return !choice.empty();
  }

  // The Packet dialog.
  bool packetDialog = false;
  bool packetCreates = true;
  int chooseFilePosts = 0;
  std::map<int, std::string> packetTexts;
  std::map<int, bool> packetEnabled;
  std::map<int, bool> packetChecks;
  std::vector<std::string> packetList;
  unsigned packetTimer = 0;
  bool CreatePacketDialog() override {
    events.push_back("CreatePacketDialog");
    packetDialog = packetCreates;
    return packetCreates;
  }
  void DestroyPacketDialog() override {
    events.push_back("DestroyPacketDialog");
    packetDialog = false;
  }
  void PacketPostChooseFile() override { ++chooseFilePosts; }
  void PacketText(int id, const char* text) override { packetTexts[id] = text; }
  void PacketReadText(int id, char* out, std::size_t size) override { Copy(packetTexts[id], out, size); }
  void PacketEnable(int id, bool enabled) override { packetEnabled[id] = enabled; }
  void PacketCheck(int id, bool checked) override { packetChecks[id] = checked; }
  void PacketListClear() override { packetList.clear(); }
  void PacketListAdd(const char* text) override { packetList.push_back(text); }
  void PacketTimer(unsigned ms) override { packetTimer = ms; }

  void AddLine(const char* text) override {
    screen.push_back(text);
    shown.push_back(text);
  }
  void ClearDisplay() override {
    screen.clear();
    events.push_back("ClearDisplay");
  }
  void SetTitle(const char* text) override { titles.push_back(text); }
  void CheckMenuItem(unsigned id, bool checked) override { checks[id] = checked; }
  void SetTimer(unsigned id, unsigned ms) override {
    timers.insert(id);
    intervals[id] = ms;
  }
  void KillTimer(unsigned id) override {
    timers.erase(id);
    events.push_back("KillTimer " + std::to_string(id));
  }
  void DeleteDisplayFont() override { events.push_back("DeleteDisplayFont"); }
  // Runs while a box is up, as the box's message loop takes messages.
  std::function<void()> duringBox;
  void ShowError(const char* text) override {
    errors.push_back(text);
    events.push_back(std::string("ShowError ") + text);
    if (duringBox) {
      auto run = std::move(duringBox);
      duringBox = nullptr;
      run();
    }
  }
  void ShowWindowError(const char* text) override {
    errors.push_back(text);
    events.push_back(std::string("ShowWindowError ") + text);
  }
  void RegisterBorlandControls() override { events.push_back("RegisterBorlandControls"); }
  bool LoadControlLibrary(const char* path) override {
    events.push_back(std::string("LoadControlLibrary ") + path);
    return libraryLoads;
  }
  void FreeControlLibrary() override { events.push_back("FreeControlLibrary"); }
  bool CreateFilterDialog() override {
    events.push_back("CreateFilterDialog");
    return dialogCreates;
  }
  void DestroyFilterDialog() override { events.push_back("DestroyFilterDialog"); }
  void SetIndicatorText(const char* text) override { indicator.push_back(text); }
  void ShowAbout() override { events.push_back("ShowAbout"); }
  // An analysis asked for its next piece.
  int analyseSteps = 0;
  bool analyseDue = false;
  // With delaysFlush, flushes wait for the timer (flushDue, after
  // flushDelay ms) instead of being made at once.
  bool delaysFlush = false;
  bool flushDue = false;
  unsigned flushDelay = 0;
  bool DelayFlush(unsigned ms) override {
    if (!delaysFlush) return false;
    flushDue = true;
    flushDelay = ms;
    return true;
  }
  // Messages wait in the queue after so many more looks (negative: never).
  int messagesAfter = -1;
  bool MessagesWaiting() override { return messagesAfter >= 0 && messagesAfter-- == 0; }
  void PostAnalyseStep() override {
    ++analyseSteps;
    analyseDue = true;
  }
  void PostQuit(int exitCode) override {
    ++quits;
    events.push_back("PostQuit " + std::to_string(exitCode));
  }

  // The event log: what was reported, in order.
  struct Reported {
    trelm::EventType type;
    unsigned id;
    std::vector<std::string> strings;
  };
  std::vector<Reported> reported;
  void Report(trelm::EventType type, unsigned id, const std::vector<std::string>& strings) override {
    reported.push_back(Reported{type, id, strings});
  }
  // The IDs reported, in order.
  std::vector<unsigned> ReportedIds() const {
    std::vector<unsigned> ids;
    for (const Reported& r : reported) ids.push_back(r.id);
    return ids;
  }

 private:
  static std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
  }
  static void Copy(const std::string& text, char* out, std::size_t size) {
    if (size == 0) return;
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
  }
};

}  // namespace varnet

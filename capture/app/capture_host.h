// What the capture tool's logic needs from Windows, as roles: files (and
// the file replaced whole, whole_file_writer.h), clock, profiles,
// installation lookups, one view per window or dialog, and the event log.
// The program fills them with the real calls (win32/varnet_host.h); tests
// replace them with a virtual clock, in-memory files and recorded window
// actions. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/whole_file_writer.h"
#include "core/input_file.h"
#include "clock.h"
#include "event_report.h"
#include "profile_access.h"

namespace varnet {

using trelm::LocalTime;
using trelm::ProfileAccess;

// A file open for appending. Text-mode files turn "\n" into the system's
// line end.
class Stream {
 public:
  virtual ~Stream() = default;
  // Appends the bytes; false when not all of them reached the file (a full
  // disk, say), in which case part of them may have.
  virtual bool Write(const void* data, std::size_t size) = 0;
  // The file's length in bytes, including what a failed write left.
  virtual std::uint64_t Size() = 0;
  // Cuts the file back to its first size bytes, where the next write then
  // goes; false when it could not be cut.
  virtual bool CutTo(std::uint64_t size) = 0;
};

// The installation lookups (capture tool form).
class InstallationLookup {
 public:
  virtual ~InstallationLookup() = default;
  virtual void LookupConfigPath(char* out, std::size_t size) = 0;
  virtual void LookupSystemPath(char* out, std::size_t size) = 0;
};

// The tool's files: the hour's files and the error log ("a" text append,
// "a+b" binary append with read), the files read, and the log directory.
class CaptureFiles {
 public:
  virtual ~CaptureFiles() = default;
  virtual std::unique_ptr<Stream> OpenFile(const char* path, const char* mode) = 0;
  // A file for reading, in text or byte mode; nullptr when it cannot be opened.
  virtual std::unique_ptr<InputFile> OpenInput(const char* path, bool text) = 0;
  // One level; an existing directory or a failure is ignored.
  virtual void MakeDirectory(const char* path) = 0;
  // The files of a directory whose names start with prefix (letters in
  // any case): names without the directory, and sizes; in no set order.
  struct FileEntry {
    std::string name;
    std::uint64_t size = 0;
  };
  virtual std::vector<FileEntry> ListFiles(const char* dir, const char* prefix) = 0;
  // Takes the log directory for this run until the program ends; false
  // when another run holds it.
  virtual bool HoldDirectory(const char* dir) = 0;
  // Deletes a file; false when it could not be deleted (open elsewhere
  // without sharing, say, or gone).
  virtual bool RemoveFile(const char* path) = 0;
  // The bytes this program may still write on the disk that holds dir;
  // false when that cannot be told.
  virtual bool FreeBytes(const char* dir, std::uint64_t& bytes) = 0;
};

// The workstation's local clock, which the time-set command sets.
class WorkstationClock : public trelm::Clock {
 public:
  // Sets the local date (the time of day kept), or the time of day (the
  // date kept). A refusal is ignored.
  virtual void SetClockDate(int year, int month, int day) = 0;
  virtual void SetClockTime(int hour, int minute, int second, int milliseconds) = 0;
  // Now as a Windows FILETIME: UTC, 100 ns since 1601.
  virtual std::uint64_t UtcFileTime() = 0;
  // Milliseconds since some start, never set back (the clock above may be).
  virtual std::uint64_t Ticks() = 0;
};

// The main window: display, title, menu check marks, timers, its boxes and
// the dialogs it owns that are no view of their own (the file dialog and
// About), and its message queue.
class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  virtual void AddLine(const char* text) = 0;
  virtual void ClearDisplay() = 0;
  virtual void SetTitle(const char* text) = 0;
  virtual void CheckMenuItem(unsigned id, bool checked) = 0;
  virtual void SetTimer(unsigned id, unsigned ms) = 0;
  virtual void KillTimer(unsigned id) = 0;
  virtual void DeleteDisplayFont() = 0;

  // A message box titled "! Error !", no owner, OK only.
  virtual void ShowError(const char* text) = 0;
  // The same box, owned by the main window.
  virtual void ShowWindowError(const char* text) = 0;
  // The standard open-file dialog ("All Files (*.*)", path and file must
  // exist, a help button, default extension "*.ast"), owned by the Packet
  // dialog or the main window. False when cancelled.
  virtual bool ChooseFile(const char* title, bool fromPacketDialog, const char* initialDir,
                          char* out, std::size_t size) = 0;
  // About is modal.
  virtual void ShowAbout() = 0;

  // Has the main window call Varnet::AnalyseStep once the messages waiting
  // now were taken.
  virtual void PostAnalyseStep() = 0;
  // Has the main window's timer kTimerFlush call Varnet::OnTimer in ms
  // milliseconds, in place of any such timer already running; false when it
  // cannot (no window): the caller then writes at once.
  virtual bool DelayFlush(unsigned ms) = 0;
  // True when messages (completions, say) wait in the main window's queue.
  virtual bool MessagesWaiting() = 0;
  // Hands the completion messages that wait in the main window's queue to
  // Varnet::OnNetCompletion now (the close, after the names went).
  virtual void TakeWaitingCompletions() = 0;

  virtual void PostQuit(int exitCode) = 0;
};

// Custom controls: BWCC's registration and TRELM_CC.DLL.
class ControlLibraries {
 public:
  virtual ~ControlLibraries() = default;
  virtual void RegisterBorlandControls() = 0;
  virtual bool LoadControlLibrary(const char* path) = 0;
  virtual void FreeControlLibrary() = 0;
};

// The device filter dialog, a child of the main window.
class FilterDialogView {
 public:
  virtual ~FilterDialogView() = default;
  // False when the dialog could not be created.
  virtual bool CreateFilterDialog() = 0;
  virtual void DestroyFilterDialog() = 0;
  virtual void SetIndicatorText(const char* text) = 0;
};

// The Packet dialog: modeless, owned by the main window.
class PacketDialogView {
 public:
  virtual ~PacketDialogView() = default;
  virtual bool CreatePacketDialog() = 0;
  virtual void DestroyPacketDialog() = 0;
  // Has the dialog call PacketAnalysis::ChooseFile once it stands.
  virtual void PacketPostChooseFile() = 0;
  // A control's text; id 0 is the caption.
  virtual void PacketText(int id, const char* text) = 0;
  virtual void PacketReadText(int id, char* out, std::size_t size) = 0;
  virtual void PacketEnable(int id, bool enabled) = 0;
  virtual void PacketCheck(int id, bool checked) = 0;
  virtual void PacketListClear() = 0;
  virtual void PacketListAdd(const char* text) = 0;
  // Timer 3 of the dialog; 0 stops it.
  virtual void PacketTimer(unsigned ms) = 0;
};

// What the tool's logic needs of the workstation apart from its profile
// files, one role per base: the program's host implements them all; each
// part of the logic takes only the roles it uses.
class CaptureShell : public InstallationLookup,
                     public CaptureFiles,
                     public WholeFileWriter,
                     public WorkstationClock,
                     public MainWindowView,
                     public ControlLibraries,
                     public FilterDialogView,
                     public PacketDialogView,
                     public trelm::EventReport {};

// The shell with profiles: the tests' fake.
class CaptureHost : public ProfileAccess, public CaptureShell {};

}  // namespace varnet

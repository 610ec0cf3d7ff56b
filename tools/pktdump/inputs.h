// pktdump's inputs as every mode reads them: the file arguments of the
// command line with Windows' wildcards expanded (cmd leaves them to the
// program; a POSIX shell has expanded them already), each folder read as
// its packet data files (PKT_YYYYMMDD.HH, by the name rule of
// core/packet_file.h) in name order, and each file
// once, however it was named. Main expands them once, before any mode
// runs. Portable: what the system gives (matching a pattern, listing a
// folder, a file's identity) is behind InputSystem, in inputs_win32.cpp and
// inputs_posix.cpp.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pktdump {

class InputSystem {
 public:
  virtual ~InputSystem() = default;
  // Whether the program expands the argument itself: on Windows one with
  // '*' or '?' (no file name holds them); never on POSIX, whose shell has.
  virtual bool IsPattern(const std::string& argument) = 0;
  // The paths a pattern matches (files and folders), in any order; none
  // when it matches nothing.
  virtual std::vector<std::string> Match(const std::string& pattern) = 0;
  virtual bool IsFolder(const std::string& path) = 0;
  // The names in a folder (without "." and ".."); false with the system's
  // reason.
  virtual bool List(const std::string& folder, std::vector<std::string>* names, std::string* reason) = 0;
  // A text that two paths of one file share, whatever names them (relative
  // or absolute, through a link, a hard link); false when the path names
  // nothing there.
  virtual bool Identity(const std::string& path, std::string* identity) = 0;
  // The folder's path and a name in it as one path.
  virtual std::string Join(const std::string& folder, const std::string& name) = 0;
};

// The system pktdump runs on.
InputSystem& SystemInputs();

// Replaces the paths with the files they name, in the order given: a
// pattern by what it matches (in name order), a folder by its packet data
// files (in name order, not its subfolders), a file named again (by another
// name, or matched again) dropped where it comes again; "-" stays. When a
// file was dropped, one line on err says so, as a note (the exit code is
// not touched): two names that were meant as two captures are seen to be
// one. False, with the reason said on err, for a pattern that matches
// nothing, a folder that holds no packet data file or cannot be listed.
// origins, where asked, gets for each file the index of the argument that
// named it (for options that stand for the inputs after them).
bool ExpandInputs(std::vector<std::string>* paths, std::FILE* err,
                  InputSystem& system = SystemInputs(), std::vector<std::size_t>* origins = nullptr);

}  // namespace pktdump

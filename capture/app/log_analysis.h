// The Analyse command: a capture log's unusual entries on the screen, read
// a piece at a time so that a large log never holds up reception.
// Portable: the file dialog, the file and the screen are the host's roles.
#pragma once

#include <memory>
#include <utility>

#include "app/capture_host.h"
#include "app/settings.h"
#include "core/input_file.h"

namespace varnet {

// Lines of a log that Analyse reads before it lets the window take its
// messages.
constexpr int kAnalyseLinesPerStep = 4000;
// Lines read between two looks at the message queue.
constexpr int kAnalyseLinesPerLook = 200;

class LogAnalysis {
 public:
  LogAnalysis(CaptureFiles& files, MainWindowView& window, const Settings& settings)
      : files_(files), window_(window), settings_(settings) {}

  // Asks for the log and opens it; true when an analysis is now under way
  // (its pieces are then read by Step). One analysis at a time: false,
  // with nothing done, while one runs.
  bool Start();
  // The next piece, and the next one asked for through the host; the end
  // of the log ends the analysis.
  void Step();
  bool Running() const { return analysis_ != nullptr; }
  // The program's end: the analysis is dropped.
  void Stop() { analysis_.reset(); }

 private:
  // An analysis under way.
  struct Analysis {
    explicit Analysis(std::unique_ptr<InputFile> opened)
        : file(std::move(opened)), reader(*file) {}
    std::unique_ptr<InputFile> file;
    LineReader reader;
    bool found = false;
  };

  CaptureFiles& files_;
  MainWindowView& window_;
  const Settings& settings_;
  std::unique_ptr<Analysis> analysis_;
};

}  // namespace varnet

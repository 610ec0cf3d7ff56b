// The Analyse command: the unusual entries of a capture log on the screen.
#include "app/log_analysis.h"

#include <cstring>

#include "core/log_text.h"

namespace varnet {

bool LogAnalysis::Start() {
  // One analysis at a time: the command waits for the running one.
  if (analysis_ != nullptr) return false;
  window_.AddLine("------------------ Log Analysis Start -------------------");
  window_.AddLine(settings_.logFilePath);
  char path[kPathSize] = "";
  // A cancelled dialog and a file that cannot be opened end with the end
  // line alone: nothing was read, so nothing is said about the entries.
  if (window_.ChooseFile("Open Log File", false, settings_.logFilePath, path, sizeof path)) {
    window_.AddLine(path);
    std::unique_ptr<InputFile> file = files_.OpenInput(path, true);
    if (file == nullptr) {
      window_.ShowError("Unable to open log file");
    } else {
      analysis_ = std::make_unique<Analysis>(std::move(file));
      return true;
    }
  }
  window_.AddLine("------------------ Log Analysis End -------------------");
  return false;
}

void LogAnalysis::Step() {
  if (analysis_ == nullptr) return;
  // A piece at a time: completions waiting in the message queue are taken
  // between two pieces, so that a large log never holds up reception. A
  // piece ends early when messages wait.
  char line[256];
  for (int n = 0; n < kAnalyseLinesPerStep; ++n) {
    if (n % kAnalyseLinesPerLook == kAnalyseLinesPerLook - 1 && window_.MessagesWaiting()) break;
    // A read that meets the end of the file ends the list: a last line
    // without a line end is not examined.
    if (!analysis_->reader.Next(line, sizeof line)) {
      if (!analysis_->found) {
        window_.AddLine(" ");
        window_.AddLine("No unusual entries found!");
        window_.AddLine(" ");
      }
      analysis_.reset();
      window_.AddLine("------------------ Log Analysis End -------------------");
      return;
    }
    const std::size_t length = std::strlen(line);
    if (length < 2) continue;
    line[length - 1] = '\0';
    if (IsUnusualEntry(line)) {
      window_.AddLine(line);
      analysis_->found = true;
    }
  }
  window_.PostAnalyseStep();
}

}  // namespace varnet

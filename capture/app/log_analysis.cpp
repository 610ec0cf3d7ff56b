// The Analyse command: the unusual entries of a capture log on the screen.
#include "log_analysis.h"

#include <cstring>

#include "varnet.h"

namespace varnet {

bool IsUnusualEntry(const char* line) {
  return std::strlen(line) >= 3 && line[2] == ':' && std::strstr(line, " - ") != nullptr &&
         std::strchr(line, '[') == nullptr && std::strstr(line, "Net") == nullptr;
}

void Varnet::AnalyseLog() {
  host_.AddLine("------------------ Log Analysis Start -------------------");
  host_.AddLine(settings_.logFilePath);
  char path[kPathSize] = "";
  // A cancelled dialog and a file that cannot be opened end with the end
  // line alone: nothing was read, so nothing is said about the entries.
  if (host_.ChooseFile("Open Log File", false, settings_.logFilePath, path, sizeof path)) {
    host_.AddLine(path);
    std::unique_ptr<InputFile> file = host_.OpenInput(path, true);
    if (file == nullptr) {
      host_.ShowError("Unable to open log file");
    } else {
      LineReader reader(*file);
      bool found = false;
      char line[256];
      // A read that meets the end of the file ends the list: a last line
      // without a line end is not examined.
      while (reader.Next(line, sizeof line)) {
        const std::size_t length = std::strlen(line);
        if (length < 2) continue;
        line[length - 1] = '\0';
        if (IsUnusualEntry(line)) {
          host_.AddLine(line);
          found = true;
        }
      }
      if (!found) {
        host_.AddLine(" ");
        host_.AddLine("No unusual entries found!");
        host_.AddLine(" ");
      }
    }
  }
  host_.AddLine("------------------ Log Analysis End -------------------");
}

}  // namespace varnet

// libFuzzer target: a launch list's bytes checked as launchcheck checks them:
// decoded as the profile calls read them (UTF-16 either way round, a UTF-8
// mark, or bytes as they stand), then through the launcher's own reading of
// every entry. Every warning must stand on a line of the text (or on none)
// and carry a code; a file without a mark is its bytes unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "core/launch_check.h"
#include "profile_text.h"

namespace {

class TextEnvironment : public pellor::CheckEnvironment {
 public:
  explicit TextEnvironment(std::string text) : text_(std::move(text)), profile_(text_) {}
  std::size_t ProfileRead(const char* section, const char* key, const char* fallback, char* out,
                          std::size_t size, const char* file) override {
    return profile_.ProfileRead(section, key, fallback, out, size, file);
  }
  std::vector<std::string> Sections(const char*) override { return Names(nullptr); }
  std::vector<std::string> Keys(const char* section, const char*) override { return Names(section); }
  bool ProgramExists(const std::string& program, const std::string&) override {
    return program.size() % 2 == 0;
  }
  bool DirectoryExists(const std::string& directory, const std::string&, std::string* full) override {
    *full = directory;
    return directory.size() % 2 == 1;
  }
  std::string Text(const char*) override { return text_; }

 private:
  // The sections, or the keys of the first section of a name.
  std::vector<std::string> Names(const char* section) {
    std::vector<std::string> out;
    std::istringstream in(text_);
    std::string line, name, value;
    int seen = 0;
    while (std::getline(in, line)) {
      if (trelm::ProfileSectionLine(line, &name)) {
        if (section == nullptr) out.push_back(name);
        if (section != nullptr && trelm::ProfileSameName(name, section)) ++seen;
        else if (seen == 1) seen = 2;
      } else if (section != nullptr && seen == 1 && trelm::ProfileKeyLine(line, &name, &value)) {
        out.push_back(name);
      }
    }
    return out;
  }
  std::string text_;
  trelm::ProfileText profile_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const pellor::ListText decoded = pellor::ReadListText(bytes);
  const std::string& text = decoded.text;
  const bool marked = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 || bytes.compare(0, 2, "\xFF\xFE") == 0 ||
                      bytes.compare(0, 2, "\xFE\xFF") == 0;
  if (!marked && (text != bytes || !decoded.warnings.empty())) std::abort();
  int lines = 0;
  for (char c : text) lines += c == '\n';
  ++lines;
  TextEnvironment env(text);
  std::vector<pellor::CheckWarning> all = decoded.warnings;
  for (const pellor::CheckWarning& w : pellor::CheckFileText(text)) all.push_back(w);
  for (const std::string& section : pellor::WorkstationSections(env.Sections("LAUNCH.INI"))) {
    const pellor::CheckReport r = pellor::CheckSection(env, "c:\\cfg\\LAUNCH.INI", section);
    if (r.warnings != static_cast<int>(r.found.size())) std::abort();
    all.insert(all.end(), r.found.begin(), r.found.end());
  }
  for (const pellor::CheckWarning& w : all) {
    if (w.code.empty() || w.line < 0 || w.line > lines) std::abort();
    pellor::SectionAt(text, w.line);
  }
  return 0;
}

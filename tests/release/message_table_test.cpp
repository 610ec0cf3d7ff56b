// The event log's message tables, read back from the built pellor.exe and
// varnet.exe as Event Viewer reads them (LoadLibraryExA as a data file,
// FormatMessageA from the module): the table holds exactly the IDs the
// programs report (core/pellor_events.h, app/varnet_events.h), and each
// message is a text that takes exactly the insertion strings given with it.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/varnet_events.h"
#include "core/pellor_events.h"
#include "e2e_harness.h"

namespace {

using trelm_e2e::Built;

struct Program {
  const char* variable;  // names the built .exe
  const trelm::EventDef* events;
  std::size_t count;
};

const Program kPrograms[] = {
    {"TRELM_PELLOR", pellor::kPellorEvents, std::size(pellor::kPellorEvents)},
    {"TRELM_VARNET", varnet::kVarnetEvents, std::size(varnet::kVarnetEvents)},
};

// Every ID of the module's message table (resource 1 of RT_MESSAGETABLE).
std::set<unsigned> TableIds(HMODULE module) {
  std::set<unsigned> ids;
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), RT_MESSAGETABLE);
  if (found == nullptr) return ids;
  const auto* data = static_cast<const MESSAGE_RESOURCE_DATA*>(LockResource(LoadResource(module, found)));
  if (data == nullptr) return ids;
  for (DWORD b = 0; b < data->NumberOfBlocks; ++b) {
    for (DWORD id = data->Blocks[b].LowId; id <= data->Blocks[b].HighId; ++id) ids.insert(id);
  }
  return ids;
}

// The message as written, its inserts left as they stand ("%1").
std::string Raw(HMODULE module, unsigned id) {
  char text[2048] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module, id, 0, text,
                 sizeof text, nullptr);
  return text;
}

// The insertion numbers a message uses: "%3" gives 3; "%%" and "%n" none.
std::set<unsigned> Inserts(const std::string& text) {
  std::set<unsigned> numbers;
  for (std::size_t at = 0; at + 1 < text.size(); ++at) {
    if (text[at] != '%') continue;
    unsigned n = 0;
    std::size_t digits = at + 1;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
      n = n * 10 + static_cast<unsigned>(text[digits++] - '0');
    }
    if (digits > at + 1) numbers.insert(n);
    at = digits > at + 1 ? digits - 1 : at + 1;  // "%%" is one escaped percent
  }
  return numbers;
}

// The message with each insertion string given as "<<n>>".
std::string Formatted(HMODULE module, unsigned id, unsigned strings) {
  std::vector<std::string> values;
  for (unsigned n = 1; n <= strings; ++n) values.push_back("<<" + std::to_string(n) + ">>");
  std::vector<DWORD_PTR> arguments;
  for (const std::string& v : values) arguments.push_back(reinterpret_cast<DWORD_PTR>(v.c_str()));
  arguments.push_back(0);
  char text[2048] = "";
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                      module, id, 0, text, sizeof text,
                                      reinterpret_cast<va_list*>(arguments.data()));
  return length == 0 ? std::string() : std::string(text, length);
}

TEST(MessageTable, EveryReportedIdHasItsMessageWithItsInsertionStrings) {
  for (const Program& program : kPrograms) {
    const std::string path = Built(program.variable);
    ASSERT_FALSE(path.empty()) << program.variable << " names the built program";
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << path << ": error " << GetLastError();

    std::set<unsigned> listed;
    for (std::size_t i = 0; i < program.count; ++i) {
      const trelm::EventDef& event = program.events[i];
      SCOPED_TRACE(std::string(program.variable) + " " + event.name + " (" +
                   std::to_string(event.id) + ")");
      EXPECT_TRUE(listed.insert(event.id).second) << "listed twice";
      const std::string raw = Raw(module, event.id);
      ASSERT_FALSE(raw.empty()) << "no message: error " << GetLastError();
      std::set<unsigned> expected;
      for (unsigned n = 1; n <= event.strings; ++n) expected.insert(n);
      EXPECT_EQ(Inserts(raw), expected) << raw;
      const std::string text = Formatted(module, event.id, event.strings);
      for (unsigned n = 1; n <= event.strings; ++n) {
        EXPECT_NE(text.find("<<" + std::to_string(n) + ">>"), std::string::npos) << text;
      }
    }
    // The table holds the listed IDs and nothing more.
    EXPECT_EQ(TableIds(module), listed) << path;
    FreeLibrary(module);
  }
}

TEST(MessageTable, TheProgramsIdRangesDoNotMeet) {
  // Varnet 1xx and 2xx, Pellor 3xx: an ID names one event of one source.
  for (const trelm::EventDef& event : varnet::kVarnetEvents) {
    EXPECT_TRUE(event.id >= 100 && event.id < 300) << event.name;
    EXPECT_EQ(event.id < 200, event.type == trelm::EventType::Information) << event.name;
  }
  for (const trelm::EventDef& event : pellor::kPellorEvents) {
    EXPECT_TRUE(event.id >= 300 && event.id < 400) << event.name;
  }
}

}  // namespace

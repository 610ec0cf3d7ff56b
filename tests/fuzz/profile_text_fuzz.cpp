// libFuzzer target: a profile (INI) file's text read by Windows' rules, as
// pktdump's --ini and Mirvale's Linux platform read it. The first line of
// the input names the section and key looked up in the rest.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "profile_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t end = input.find('\n');
  const std::string head = input.substr(0, end);
  const std::string text = end == std::string::npos ? std::string() : input.substr(end + 1);
  const std::size_t bar = head.find('|');
  const std::string section = head.substr(0, bar);
  const std::string key = bar == std::string::npos ? std::string() : head.substr(bar + 1);
  std::string value;
  if (trelm::ProfileLookup(text, section, key, &value) && value.size() > text.size()) std::abort();
  std::string name, k, v;
  if (trelm::ProfileSectionLine(head, &name) && name.size() > head.size()) std::abort();
  if (trelm::ProfileKeyLine(head, &k, &v) && k.size() + v.size() > head.size()) std::abort();
  if (!trelm::ProfileSameName(section, section)) std::abort();
  return 0;
}

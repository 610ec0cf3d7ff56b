// What pktdump's tests share: pktdump's Main run with its output and
// errors caught, a shell command's output, a file's bytes. Native only
// (popen).
#pragma once

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pktdump_core.h"

namespace pktdump_test {

// Runs f with a FILE* and returns what it wrote.
template <typename F>
std::string Capture(F f) {
  std::FILE* file = std::tmpfile();
  f(file);
  std::rewind(file);
  std::string text;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  std::fclose(file);
  return text;
}

// pktdump with these arguments: its standard output, its exit code in
// *code and, where asked, its standard error.
inline std::string Pktdump(const std::vector<std::string>& args, int* code, std::string* err = nullptr) {
  std::string errors;
  const std::string out = Capture([&](std::FILE* o) {
    errors = Capture([&](std::FILE* e) { *code = pktdump::Main(args, o, e); });
  });
  if (err != nullptr) *err = errors;
  return out;
}

inline std::string Shell(const std::string& command) {
  std::string out;
  if (std::FILE* p = popen(command.c_str(), "r")) {
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, p)) > 0) out.append(chunk, n);
    pclose(p);
  }
  return out;
}

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace pktdump_test

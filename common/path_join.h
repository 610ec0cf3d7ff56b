// Joining a directory and a file name the installation's way: "%s\%s".
// Portable: no <windows.h>.
#pragma once

#include <cstddef>

namespace trelm {

// Writes "dir\name" into out, cut to size - 1 characters and NUL-terminated.
// No trailing backslash of dir is removed or added: "c:\x\" joins to
// "c:\x\\name", which Windows accepts.
void JoinPath(const char* dir, const char* name, char* out, std::size_t size);

// Copies text into out, cut to size - 1 characters and NUL-terminated.
// A size of 0 writes nothing.
void CopyCut(const char* text, char* out, std::size_t size);

}  // namespace trelm

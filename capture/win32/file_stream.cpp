// The hour's files and the error log on Windows: appends written through
// at once, and cut back by the handle.
#include "win32/file_stream.h"

namespace varnet {

FileStream::~FileStream() { CloseHandle(file_); }

bool FileStream::Write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  std::size_t count = size;
  if (text_) {
    wide_.clear();
    for (std::size_t i = 0; i < size; ++i) {
      if (bytes[i] == '\n') wide_.push_back('\r');
      wide_.push_back(bytes[i]);
    }
    bytes = wide_.data();
    count = wide_.size();
  }
  // Written through at once: a capture that stops unexpectedly loses
  // nothing, and others can follow the file while it grows.
  DWORD written = 0;
  const BOOL ok = WriteFile(file_, bytes, static_cast<DWORD>(count), &written, nullptr);
  if (ok && written == count) {
    size_ += written;
    return true;
  }
  // What a failed write left is read from the file itself, so that a cut
  // takes it away whatever the call reported.
  LARGE_INTEGER now{};
  size_ = GetFileSizeEx(file_, &now) ? static_cast<std::uint64_t>(now.QuadPart) : size_ + written;
  SetEndOfPosition();
  return false;
}

bool FileStream::CutTo(std::uint64_t size) {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return false;
  // From here the next write goes to the cut, even if the end stays.
  size_ = size;
  return SetEndOfFile(file_) != FALSE;
}

void FileStream::SetEndOfPosition() {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size_);
  SetFilePointerEx(file_, at, nullptr, FILE_BEGIN);
}

}  // namespace varnet

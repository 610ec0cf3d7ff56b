// The host's files: the hour's files and the error log opened for
// appending, the files read, the log directory's listing and its lock, and
// the file replaced whole (the metrics file).
#include <cstring>
#include <string>

#include "win32/file_stream.h"
#include "win32/varnet_host.h"

namespace varnet {

void Win32Host::MakeDirectory(const char* path) { CreateDirectoryA(path, nullptr); }

std::vector<CaptureFiles::FileEntry> Win32Host::ListFiles(const char* dir, const char* prefix) {
  std::vector<FileEntry> files;
  const std::string pattern = std::string(dir) + "\\" + prefix + "*";
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    files.push_back({found.cFileName,
                     static_cast<std::uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow});
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return files;
}

bool Win32Host::HoldDirectory(const char* dir) {
  // A lock file open with no sharing: a second run on the directory cannot
  // open it. It goes with the handle, also when the program ends abruptly.
  if (directoryLock_ != INVALID_HANDLE_VALUE) return true;
  const std::string path = std::string(dir) + "\\VARNET.LCK";
  directoryLock_ = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (directoryLock_ != INVALID_HANDLE_VALUE) return true;
  // Held only where another run holds it: a directory that cannot take
  // the file (read-only, say) is reported when the logs are opened.
  return GetLastError() != ERROR_SHARING_VIOLATION;
}

bool Win32Host::RemoveFile(const char* path) { return DeleteFileA(path) != 0; }

bool Win32Host::FreeBytes(const char* dir, std::uint64_t& bytes) {
  // What this user may write: a quota counts.
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExA(dir, &available, nullptr, nullptr)) return false;
  bytes = available.QuadPart;
  return true;
}

std::unique_ptr<Stream> Win32Host::OpenFile(const char* path, const char* mode) {
  // Others may read the hour's files, and follow them, while they grow.
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size) || !SetFilePointerEx(file, size, nullptr, FILE_BEGIN)) {
    CloseHandle(file);
    return nullptr;
  }
  const bool text = std::strchr(mode, 'b') == nullptr;
  return std::make_unique<FileStream>(file, text, static_cast<std::uint64_t>(size.QuadPart));
}

namespace {

// The system's text for an error, without its line end.
std::string SystemReason(DWORD error) {
  char text[256] = "";
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 error, 0, text, sizeof text, nullptr);
  std::string reason(text, n);
  while (!reason.empty() && std::strchr("\r\n ", reason.back()) != nullptr) reason.pop_back();
  if (reason.empty()) reason = "error " + std::to_string(error);
  return reason;
}

// Writes the bytes to a new file at path and flushes them to the disk.
bool WriteNewFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && FlushFileBuffers(file);
  const DWORD error = GetLastError();
  ok = CloseHandle(file) && ok;
  if (!ok) SetLastError(error);
  return ok;
}

}  // namespace

bool Win32Host::ReplaceWhole(const char* path, const std::string& bytes, std::string& why) {
  // Beside the file, on its disk, so that the move is a rename: a reader
  // opens either the old file or the new one, never one being written.
  const std::string temporary = std::string(path) + kReplaceSuffix;
  if (WriteNewFile(temporary, bytes) &&
      MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  const DWORD error = GetLastError();
  DeleteFileA(temporary.c_str());
  why = SystemReason(error);
  return false;
}

std::unique_ptr<InputFile> Win32Host::OpenInput(const char* path, bool text) {
  return OpenStdioInput(path, text);
}

}  // namespace varnet

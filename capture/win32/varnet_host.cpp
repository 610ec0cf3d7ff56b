#include "win32/varnet_host.h"

#include <commdlg.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "config_lookup.h"
#include "font_metrics.h"
#include "win32/resource.h"

extern "C" BOOL WINAPI BWCCRegister(HINSTANCE instance);

namespace varnet {

namespace {

Win32Host* g_host = nullptr;
constexpr COLORREF kBackground = RGB(0, 0, 0x50);
constexpr COLORREF kText = RGB(0xFF, 0xFF, 0);

// A file opened for appending through its handle: the position is kept
// here, so a write is one system call with no seek before it. Text files
// get "\r\n" for each "\n", as the C library's text mode writes them.
class FileStream : public Stream {
 public:
  FileStream(HANDLE file, bool text, std::uint64_t size) : file_(file), text_(text), size_(size) {}
  ~FileStream() override { CloseHandle(file_); }
  bool Write(const void* data, std::size_t size) override {
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
  std::uint64_t Size() override { return size_; }
  bool CutTo(std::uint64_t size) override {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return false;
    // From here the next write goes to the cut, even if the end stays.
    size_ = size;
    return SetEndOfFile(file_) != FALSE;
  }

 private:
  void SetEndOfPosition() {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size_);
    SetFilePointerEx(file_, at, nullptr, FILE_BEGIN);
  }
  HANDLE file_;
  bool text_;
  std::uint64_t size_;
  std::vector<char> wide_;
};

// The device filter dialog keeps to the top left corner of the main window.
void KeepAtCorner(HWND dialog) {
  RECT r;
  GetWindowRect(dialog, &r);
  POINT origin{r.left, r.top};
  ScreenToClient(GetParent(dialog), &origin);
  if (origin.x != 0 || origin.y != 0) {
    SetWindowPos(dialog, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(dialog, nullptr, TRUE);
  }
}

}  // namespace

trelm::LineMemory::Block GlobalLineMemory::Allocate(std::size_t bytes) {
  return GlobalAlloc(GMEM_MOVEABLE, bytes);
}
char* GlobalLineMemory::Lock(Block block) {
  return static_cast<char*>(GlobalLock(static_cast<HGLOBAL>(block)));
}
void GlobalLineMemory::Unlock(Block block) { GlobalUnlock(static_cast<HGLOBAL>(block)); }
void GlobalLineMemory::Free(Block block) { GlobalFree(static_cast<HGLOBAL>(block)); }

Win32Host::Win32Host(HINSTANCE instance) : instance_(instance) {
  g_host = this;
  if (const char* path = std::getenv("VARNET_SCREEN_LOG"); path != nullptr && *path != '\0') {
    screenLog_ = std::fopen(path, "a");
  }
}

Win32Host::~Win32Host() {
  if (screenLog_ != nullptr) std::fclose(screenLog_);
  if (font_ != nullptr) DeleteObject(font_);
  if (directoryLock_ != INVALID_HANDLE_VALUE) CloseHandle(directoryLock_);
  g_host = nullptr;
}

void Win32Host::LookupConfigPath(char* out, std::size_t size) {
  trelm::capture_form::LookupConfigPath(out, size);
}
void Win32Host::LookupSystemPath(char* out, std::size_t size) {
  trelm::capture_form::LookupSystemPath(out, size);
}
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

LocalTime Win32Host::Now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
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

void Win32Host::AddLine(const char* text) {
  if (screenLog_ != nullptr) {
    std::fprintf(screenLog_, "%s\n", text);
    std::fflush(screenLog_);
  }
  const AddEffect effect = display_.AddLine(text, app_ != nullptr && app_->ConfigOpen());
  if (main_ == nullptr) return;
  const DWORD now = GetTickCount();
  if (redrawAll_ || refreshArmed_) {
    // A redraw is on its way. But WM_PAINT and WM_TIMER wait behind posted
    // messages: while completions keep coming (a backlog being taken) the
    // screen is drawn here, at most every kBusyPaintMs.
    if (now - lastPaint_ >= kBusyPaintMs) {
      if (refreshArmed_) ::KillTimer(main_, kRefreshTimer);
      refreshArmed_ = false;
      RedrawAll();
      UpdateWindow(main_);
    }
    return;
  }
  const DWORD sincePaint = now - lastPaint_;
  if (sincePaint < kRefreshMs) {
    // Lines come faster than the screen refreshes: one redraw at the end of
    // the interval shows them all, so the screen never holds up reception.
    refreshArmed_ = true;
    ::SetTimer(main_, kRefreshTimer, kRefreshMs - sincePaint, nullptr);
    return;
  }
  if (effect.scroll) {
    // Only the area below the device filter dialog moves; the dialog stays.
    const int lineHeight = display_.View().LineHeight();
    RECT client{0, 0, display_.View().ClientWidth(), display_.View().ClientHeight()};
    RECT area = client;
    area.top = effect.scrollTop;
    if (effect.scrollTop != 0 && filter_ != nullptr) {
      // The dialog is taller than 332 pixels when its font is larger: the
      // lines move only below it.
      RECT dialog;
      GetWindowRect(filter_, &dialog);
      POINT bottom{dialog.left, dialog.bottom};
      ScreenToClient(main_, &bottom);
      if (bottom.y > area.top) area.top = bottom.y;
    }
    ScrollWindow(main_, 0, -lineHeight, &area, &area);
    RECT strip = client;
    strip.top = client.bottom - lineHeight;
    InvalidateRect(main_, &strip, TRUE);
    // The screen moved now: the next lines within the interval wait for
    // one redraw instead of scrolling each.
    lastPaint_ = now;
  } else {
    RedrawAll();
  }
}

void Win32Host::RedrawAll() {
  InvalidateRect(main_, nullptr, TRUE);
  redrawAll_ = true;
}

void Win32Host::OnRefreshTimer() {
  ::KillTimer(main_, kRefreshTimer);
  refreshArmed_ = false;
  RedrawAll();
}

void Win32Host::ClearDisplay() {
  if (screenLog_ != nullptr) {
    std::fputs("\f\n", screenLog_);
    std::fflush(screenLog_);
  }
  display_.Clear();
  if (main_ != nullptr) RedrawAll();
}

void Win32Host::SetTitle(const char* text) {
  if (main_ != nullptr) SetWindowTextA(main_, text);
}

void Win32Host::CheckMenuItem(unsigned id, bool checked) {
  if (main_ == nullptr) return;
  ::CheckMenuItem(GetMenu(main_), id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void Win32Host::SetTimer(unsigned id, unsigned ms) {
  if (main_ != nullptr) ::SetTimer(main_, id, ms, nullptr);
}
void Win32Host::KillTimer(unsigned id) {
  if (main_ != nullptr) ::KillTimer(main_, id);
}

void Win32Host::DeleteDisplayFont() {
  if (font_ != nullptr) DeleteObject(font_);
  font_ = nullptr;
}

void Win32Host::SetClockDate(int year, int month, int day) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  t.wYear = static_cast<WORD>(year);
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day);
  SetLocalTime(&t);  // without the privilege it is refused; that is ignored
}

std::uint64_t Win32Host::UtcFileTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return static_cast<std::uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

void Win32Host::SetClockTime(int hour, int minute, int second, int milliseconds) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  t.wHour = static_cast<WORD>(hour);
  t.wMinute = static_cast<WORD>(minute);
  t.wSecond = static_cast<WORD>(second);
  t.wMilliseconds = static_cast<WORD>(milliseconds);
  SetLocalTime(&t);
}

void Win32Host::ShowError(const char* text) { MessageBoxA(nullptr, text, "! Error !", MB_OK); }
void Win32Host::ShowWindowError(const char* text) {
  MessageBoxA(main_, text, "! Error !", MB_OK);
}

void Win32Host::RegisterBorlandControls() { BWCCRegister(instance_); }

bool Win32Host::LoadControlLibrary(const char* path) {
  controls_ = LoadLibraryA(path);
  return controls_ != nullptr;
}
void Win32Host::FreeControlLibrary() {
  if (controls_ != nullptr) FreeLibrary(controls_);
  controls_ = nullptr;
}

bool Win32Host::CreateFilterDialog() {
  HWND dialog = CreateDialogParamA(instance_, "CONFIG", main_, FilterProc, 0);
  if (dialog == nullptr) return false;
  filter_ = dialog;
  return true;
}

void Win32Host::DestroyFilterDialog() {
  HWND dialog = filter_;
  filter_ = nullptr;
  if (dialog != nullptr) DestroyWindow(dialog);
}

std::unique_ptr<InputFile> Win32Host::OpenInput(const char* path, bool text) {
  return OpenStdioInput(path, text);
}

bool Win32Host::ChooseFile(const char* title, bool fromPacketDialog, const char* initialDir,
                           char* out, std::size_t size) {
  char name[MAX_PATH] = "";
  char fileTitle[MAX_PATH] = "";
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = fromPacketDialog && packet_ != nullptr ? packet_ : main_;
  ofn.lpstrFilter = "All Files (*.*)\0*.*\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = name;
  ofn.nMaxFile = sizeof name;
  ofn.lpstrFileTitle = fileTitle;
  ofn.nMaxFileTitle = sizeof fileTitle;
  ofn.lpstrInitialDir = initialDir;
  ofn.lpstrTitle = title;
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_SHOWHELP;
  ofn.lpstrDefExt = "*.ast";
  if (!GetOpenFileNameA(&ofn)) return false;
  lstrcpynA(out, name, static_cast<int>(size));
  return true;
}

bool Win32Host::CreatePacketDialog() {
  // Modeless, owned by the main window.
  packet_ = CreateDialogParamA(instance_, "PACKET", main_, PacketProc, 0);
  if (packet_ == nullptr) return false;
  ShowWindow(packet_, SW_SHOW);
  return true;
}

void Win32Host::DestroyPacketDialog() {
  HWND dialog = packet_;
  packet_ = nullptr;
  if (dialog != nullptr) {
    ::KillTimer(dialog, PacketAnalysis::kReplayTimer);
    DestroyWindow(dialog);
  }
  if (dumpFont_ != nullptr) DeleteObject(dumpFont_);
  dumpFont_ = nullptr;
}

void Win32Host::FixDumpFont(HWND list) {
  // The dump's columns line up only in a font whose characters are all of
  // one width. Where the dialog's Courier is missing and the system gave a
  // proportional font instead, the list gets a fixed-pitch one of the same
  // height.
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0));
  HDC dc = GetDC(list);
  HGDIOBJ old = SelectObject(dc, font != nullptr ? font : GetStockObject(SYSTEM_FONT));
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  if ((tm.tmPitchAndFamily & TMPF_FIXED_PITCH) == 0) return;  // the bit means variable pitch
  LOGFONTA face{};
  face.lfHeight = tm.tmHeight;
  face.lfCharSet = DEFAULT_CHARSET;
  face.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  lstrcpyA(face.lfFaceName, "Courier New");
  dumpFont_ = CreateFontIndirectA(&face);
  if (dumpFont_ != nullptr) SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(dumpFont_), TRUE);
}

void Win32Host::PacketPostChooseFile() {
  if (packet_ != nullptr) PostMessageA(packet_, kChooseFileMessage, 0, 0);
}

void Win32Host::PacketText(int id, const char* text) {
  if (packet_ == nullptr) return;
  if (id == 0) {
    SetWindowTextA(packet_, text);
  } else {
    SetDlgItemTextA(packet_, id, text);
  }
}

void Win32Host::PacketReadText(int id, char* out, std::size_t size) {
  if (size > 0) out[0] = '\0';
  if (packet_ != nullptr) GetDlgItemTextA(packet_, id, out, static_cast<int>(size));
}

void Win32Host::PacketEnable(int id, bool enabled) {
  if (packet_ != nullptr) EnableWindow(GetDlgItem(packet_, id), enabled ? TRUE : FALSE);
}

void Win32Host::PacketCheck(int id, bool checked) {
  if (packet_ != nullptr) CheckDlgButton(packet_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void Win32Host::PacketListClear() {
  if (packet_ != nullptr) SendDlgItemMessageA(packet_, kPacketList, LB_RESETCONTENT, 0, 0);
}

void Win32Host::PacketListAdd(const char* text) {
  if (packet_ != nullptr) {
    SendDlgItemMessageA(packet_, kPacketList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
}

void Win32Host::PacketTimer(unsigned ms) {
  if (packet_ == nullptr) return;
  if (ms == 0) {
    ::KillTimer(packet_, PacketAnalysis::kReplayTimer);
  } else {
    ::SetTimer(packet_, PacketAnalysis::kReplayTimer, ms, nullptr);
  }
}

void Win32Host::SetIndicatorText(const char* text) {
  if (filter_ != nullptr) SetDlgItemTextA(filter_, kFilterIndicator, text);
}

void Win32Host::ShowAbout() { DialogBoxParamA(instance_, "ABOUT", main_, AboutProc, 0); }

void Win32Host::PostQuit(int exitCode) { PostQuitMessage(exitCode); }

bool Win32Host::DelayFlush(unsigned ms) {
  return main_ != nullptr && ::SetTimer(main_, kTimerFlush, ms, nullptr) != 0;
}

bool Win32Host::MessagesWaiting() {
  return (HIWORD(GetQueueStatus(QS_POSTMESSAGE)) & QS_POSTMESSAGE) != 0;
}

void Win32Host::TakeWaitingCompletions() {
  if (main_ == nullptr || app_ == nullptr) return;
  MSG msg;
  while (PeekMessageA(&msg, main_, kNetCompletionMessage, kNetCompletionMessage, PM_REMOVE)) {
    app_->OnNetCompletion(static_cast<unsigned>(msg.wParam),
                          reinterpret_cast<NetRequest>(msg.lParam));
  }
}

void Win32Host::PostAnalyseStep() {
  if (main_ != nullptr) PostMessageA(main_, kAnalyseMessage, 0, 0);
}

bool Win32Host::CreateMainWindow(Varnet& app) {
  app_ = &app;
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainProc;
  wc.hInstance = instance_;
  wc.hIcon = LoadIconA(instance_, "VARNET");
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = CreateSolidBrush(kBackground);
  wc.lpszMenuName = "MainMenu";
  wc.lpszClassName = "V3VARNET";
  if (RegisterClassA(&wc) == 0) return false;

  main_ = CreateWindowExA(0, "V3VARNET", "Please wait...", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_,
                          nullptr);
  if (main_ == nullptr) return false;
  font_ = CreateFontA(16, 8, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, FIXED_PITCH, "System");
  UpdateMetrics();
  ShowWindow(main_, SW_SHOWNORMAL);
  app.OnWindowCreated();
  UpdateWindow(main_);
  return true;
}

void Win32Host::UpdateMetrics() {
  int lineHeight = 0;
  int charWidth = 0;
  trelm::MeasureFont(main_, font_, &lineHeight, &charWidth);
  display_.SetMetrics(lineHeight, charWidth);
}

void Win32Host::ApplyScrollBars(const ScrollBars& bars) {
  if (barsShown_ && bars.verticalMax == bars_.verticalMax && bars.verticalPos == bars_.verticalPos &&
      bars.horizontalMax == bars_.horizontalMax && bars.horizontalPos == bars_.horizontalPos) {
    return;  // nothing changed
  }
  bars_ = bars;
  barsShown_ = true;
  SetScrollRange(main_, SB_VERT, 0, bars.verticalMax, FALSE);
  SetScrollPos(main_, SB_VERT, bars.verticalPos, TRUE);
  SetScrollRange(main_, SB_HORZ, 0, bars.horizontalMax, FALSE);
  SetScrollPos(main_, SB_HORZ, bars.horizontalPos, TRUE);
}

void Win32Host::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(main_, &ps);
  SetBkColor(dc, kBackground);
  SetTextColor(dc, kText);
  HGDIOBJ old = font_ != nullptr ? SelectObject(dc, font_) : nullptr;
  const std::vector<DisplayRow> rows = display_.PlanPaint();
  const trelm::LineStore& store = display_.Store();
  for (const DisplayRow& row : rows) {
    const char* text = store.Lock(row.index);
    if (text == nullptr) continue;
    TextOutA(dc, row.x, row.y, text, lstrlenA(text));
    store.Unlock(row.index);
  }
  if (old != nullptr) SelectObject(dc, old);
  EndPaint(main_, &ps);
  lastPaint_ = GetTickCount();
  redrawAll_ = false;
  // The bars last: a bar that appears or goes changes the client area, and
  // the size change that follows repaints with the new rows.
  ApplyScrollBars(display_.Recompute());
}

void Win32Host::VerticalScroll(int code) {
  const int step = display_.VerticalScroll(code);
  if (step == 0) return;
  ScrollWindow(main_, 0, -step * display_.View().LineHeight(), nullptr, nullptr);
  SetScrollPos(main_, SB_VERT, display_.View().ViewPos(), TRUE);
  bars_.verticalPos = display_.View().ViewPos();
  UpdateWindow(main_);
}

void Win32Host::HorizontalScroll(int code, int thumb) {
  const int step = display_.HorizontalScroll(code, thumb);
  if (step == 0) return;
  ScrollWindow(main_, -step * display_.View().CharWidth(), 0, nullptr, nullptr);
  SetScrollPos(main_, SB_HORZ, display_.View().HorizontalPos(), TRUE);
  bars_.horizontalPos = display_.View().HorizontalPos();
  UpdateWindow(main_);
}

LRESULT CALLBACK Win32Host::MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32Host* self = g_host;
  if (self == nullptr || self->app_ == nullptr) {
    return DefWindowProcA(window, message, wParam, lParam);
  }
  Varnet& app = *self->app_;
  switch (message) {
    case WM_SIZE:
      if (self->main_ == nullptr) self->main_ = window;
      self->display_.SetClientSize(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_PAINT:
      if (self->main_ != window) break;
      self->Paint();
      return 0;
    case WM_CLOSE:
      app.CloseProgram();
      return 0;
    case WM_CHAR:
      app.OnChar(static_cast<unsigned>(wParam));
      return 0;
    case WM_COMMAND:
      app.OnCommand(wParam);
      return 0;
    case WM_TIMER:
      if (wParam == kRefreshTimer) {
        self->OnRefreshTimer();
      } else {
        app.OnTimer(static_cast<unsigned>(wParam));
      }
      return 0;
    case WM_VSCROLL:
      self->VerticalScroll(LOWORD(wParam));
      return 0;
    case WM_HSCROLL:
      self->HorizontalScroll(LOWORD(wParam), static_cast<short>(HIWORD(wParam)));
      return 0;
    case WM_LBUTTONDOWN:
      app.OnLeftButton();
      return 0;
    case kAnalyseMessage:
      app.AnalyseStep();
      return 0;
    case kNetCompletionMessage:
      app.OnNetCompletion(static_cast<unsigned>(wParam), reinterpret_cast<NetRequest>(lParam));
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK Win32Host::PacketProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  Win32Host* self = g_host;
  if (self == nullptr || self->app_ == nullptr) return FALSE;
  PacketAnalysis& packets = self->app_->Packets();
  switch (message) {
    case WM_INITDIALOG:
      self->packet_ = dialog;
      self->FixDumpFont(GetDlgItem(dialog, kPacketList));
      packets.OnInit();
      return TRUE;
    case kChooseFileMessage:
      packets.ChooseFile();
      return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      if (id == kReplayCommands || id == kReplayRevertives) {
        packets.OnCheck(id, IsDlgButtonChecked(dialog, id) == BST_CHECKED);
      } else {
        packets.OnCommand(id);
      }
      return TRUE;
    }
    case WM_TIMER:
      if (wParam == PacketAnalysis::kReplayTimer) packets.Step();
      return TRUE;
    case WM_CLOSE:
      packets.OnCommand(kPacketClose);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK Win32Host::FilterProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  Win32Host* self = g_host;
  if (self == nullptr || self->app_ == nullptr) return FALSE;
  switch (message) {
    case WM_INITDIALOG: {
      self->filter_ = dialog;
      HWND list = GetDlgItem(dialog, kFilterList);
      SendMessageA(list, LB_SETCOLUMNWIDTH, 38, 0);
      for (int d = 1; d < kDevices; ++d) {
        char number[8];
        wsprintfA(number, "%d", d);
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(number));
      }
      SendMessageA(list, LB_SETCURSEL, 0, 0);
      self->app_->FilterOnInit();
      // The move during creation came before this procedure was in place.
      KeepAtCorner(dialog);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == kFilterList) {
        const LRESULT selection = SendDlgItemMessageA(dialog, kFilterList, LB_GETCURSEL, 0, 0);
        self->app_->FilterOnList(selection == LB_ERR ? -1 : static_cast<int>(selection));
      } else {
        self->app_->FilterOnCommand(LOWORD(wParam));
      }
      return TRUE;
    case WM_MOVE:
      KeepAtCorner(dialog);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK Win32Host::AboutProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      char text[128];
      wsprintfA(text, "%s - %s", kBuildDate, kBuildTime);
      SetDlgItemTextA(dialog, IDC_ABOUT_BUILD, text);
      wsprintfA(text, "Version %s - Trelm toolset", kVersion);
      SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, text);
      return TRUE;
    }
    case WM_COMMAND:
      EndDialog(dialog, 1);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace varnet

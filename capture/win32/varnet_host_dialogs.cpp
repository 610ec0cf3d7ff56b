// The dialogs: the device filter dialog, the Packet dialog with its dump
// list, About, and the standard open-file dialog.
#include "win32/varnet_host.h"

#include <commdlg.h>

#include "win32/resource.h"

namespace varnet {

namespace {

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

INT_PTR CALLBACK Win32Host::PacketProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  Win32Host* self = current_;
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
  Win32Host* self = current_;
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

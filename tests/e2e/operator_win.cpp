#include "operator_win.h"

#include <commctrl.h>

#include <cstdio>

#include "png_file.h"

namespace {

constexpr UINT kSendTimeoutMs = 5000;
// The message text of a message box, on Windows and in Wine.
constexpr int kMessageTextId = 0xFFFF;
// The file name field of the common file dialogs: the combo box of the
// Explorer style, or the edit field of the old style.
constexpr int kFileNameComboId = 0x47C;
constexpr int kFileNameEditId = 0x480;

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  return name;
}

// A buffer inside another process, for the messages whose pointers Windows
// does not carry across processes (status bar and list view texts).
class RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, size_t size)
      : process_(process), address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
  ~RemoteBuffer() {
    if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  bool Ok() const { return address_ != nullptr; }
  LPARAM At(size_t offset) const { return reinterpret_cast<LPARAM>(static_cast<char*>(address_) + offset); }
  bool Write(size_t offset, const void* data, size_t n) {
    SIZE_T done = 0;
    return WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, n, &done) && done == n;
  }
  bool Read(size_t offset, void* data, size_t n) const {
    SIZE_T done = 0;
    return ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, n, &done) && done == n;
  }

 private:
  HANDLE process_;
  void* address_;
};

std::optional<Picture> CaptureRect(const RECT& area) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return std::nullopt;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::optional<Picture> picture;
  if (bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT)) {
      GdiFlush();
      picture = Picture{width, height, {}};
      picture->rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
      const auto* bgra = static_cast<const uint8_t*>(bits);
      for (size_t i = 0, n = static_cast<size_t>(width) * static_cast<size_t>(height); i < n; ++i) {
        picture->rgb[3 * i] = bgra[4 * i + 2];
        picture->rgb[3 * i + 1] = bgra[4 * i + 1];
        picture->rgb[3 * i + 2] = bgra[4 * i];
      }
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return picture;
}

bool SendInputs(std::vector<INPUT>& inputs) {
  return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

void AddKey(std::vector<INPUT>& inputs, WORD vk, WORD scan, DWORD flags) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = scan;
  in.ki.dwFlags = flags;
  inputs.push_back(in);
}

HWND FocusOfThread(DWORD thread) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& cond, DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (;;) {
    if (cond()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
}

Operator::~Operator() {
  if (Running()) Kill();
  if (process_.hProcess != nullptr) CloseHandle(process_.hProcess);
  if (process_.hThread != nullptr) CloseHandle(process_.hThread);
}

bool Operator::Start(const std::wstring& exe, const std::wstring& workDir) {
  // One program at a time; the next may start once the last has ended.
  if (Running()) return false;
  if (process_.hProcess != nullptr) {
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
  process_ = {};
  main_ = nullptr;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, workDir.c_str(), &startup,
                      &process_)) {
    process_ = {};
    return false;
  }
  return true;
}

bool Operator::Running() const {
  return process_.hProcess != nullptr && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

bool Operator::WaitForExit(DWORD& exitCode, DWORD ms) {
  if (process_.hProcess == nullptr || WaitForSingleObject(process_.hProcess, ms) != WAIT_OBJECT_0) return false;
  return GetExitCodeProcess(process_.hProcess, &exitCode) != 0;
}

void Operator::Kill() {
  if (process_.hProcess == nullptr) return;
  TerminateProcess(process_.hProcess, 255);
  WaitForSingleObject(process_.hProcess, kWaitMs);
}

std::vector<HWND> Operator::WindowsOfClass(const wchar_t* className) const {
  struct Search {
    DWORD pid;
    const wchar_t* className;
    std::vector<HWND> found;
  } search{process_.dwProcessId, className, {}};
  EnumWindows(
      [](HWND hwnd, LPARAM lParam) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(lParam);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (pid == s.pid && IsWindowVisible(hwnd) && ClassOf(hwnd) == s.className) {
          s.found.push_back(hwnd);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND Operator::WaitForWindow(const wchar_t* className, DWORD ms) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        const std::vector<HWND> windows = WindowsOfClass(className);
        if (!windows.empty()) found = windows.front();
        return found != nullptr;
      },
      ms);
  if (found != nullptr && main_ == nullptr) main_ = found;
  return found;
}

HWND Operator::Control(int id) const { return main_ == nullptr ? nullptr : Control(main_, id); }

HWND Operator::Control(HWND root, int id) {
  struct Search {
    int id;
    HWND found;
  } search{id, nullptr};
  // EnumChildWindows walks every descendant, so controls of child dialogs
  // (the mode panel) are found too.
  EnumChildWindows(
      root,
      [](HWND hwnd, LPARAM lParam) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(lParam);
        if (GetDlgCtrlID(hwnd) != s.id) return TRUE;
        s.found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

LRESULT Operator::Send(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) const {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, msg, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) return 0;
  return static_cast<LRESULT>(result);
}

void Operator::ChooseMenu(WORD commandId) { PostMessageW(main_, WM_COMMAND, MAKEWPARAM(commandId, 0), 0); }

void Operator::Press(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

bool Operator::BringToFront(HWND topWindow) {
  SetForegroundWindow(topWindow);
  return WaitUntil([&] { return GetForegroundWindow() == topWindow; }, 3000);
}

bool Operator::Click(HWND window) {
  RECT r;
  if (!GetWindowRect(window, &r) || !BringToFront(GetAncestor(window, GA_ROOT))) return false;
  if (!SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2)) return false;
  std::vector<INPUT> inputs(2);
  inputs[0].type = inputs[1].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  return SendInputs(inputs);
}

bool Operator::Type(HWND control, const std::wstring& text) {
  const DWORD thread = GetWindowThreadProcessId(control, nullptr);
  // Keys go to the window with the focus: wait until the click has put it there.
  if (!Click(control) || !WaitUntil([&] { return FocusOfThread(thread) == control; }, 3000)) return false;
  std::vector<INPUT> inputs;
  for (wchar_t c : text) {
    const WORD vk = c == L'\n' ? VK_RETURN : c == L'\t' ? VK_TAB : 0;
    if (vk != 0) {
      AddKey(inputs, vk, 0, 0);
      AddKey(inputs, vk, 0, KEYEVENTF_KEYUP);
    } else {
      AddKey(inputs, 0, c, KEYEVENTF_UNICODE);
      AddKey(inputs, 0, c, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP);
    }
  }
  return SendInputs(inputs);
}

bool Operator::PressKeys(HWND topWindow, std::initializer_list<WORD> keys) {
  if (!BringToFront(topWindow)) return false;
  std::vector<INPUT> inputs;
  for (WORD vk : keys) AddKey(inputs, vk, 0, 0);
  for (auto it = keys.end(); it != keys.begin();) AddKey(inputs, *--it, 0, KEYEVENTF_KEYUP);
  return SendInputs(inputs);
}

std::wstring Operator::Text(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &copied)) {
    return {};
  }
  text.resize(copied < text.size() ? copied : text.size() - 1);
  return text;
}

std::wstring Operator::StatusText(HWND statusBar, int part) const {
  const size_t length = LOWORD(Send(statusBar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0));
  RemoteBuffer buffer(process_.hProcess, (length + 1) * sizeof(wchar_t));
  if (!buffer.Ok()) return L"(no buffer in the program)";
  Send(statusBar, SB_GETTEXTW, static_cast<WPARAM>(part), buffer.At(0));
  std::wstring text(length, L'\0');
  if (length > 0 && !buffer.Read(0, text.data(), length * sizeof(wchar_t))) return L"(unreadable)";
  return text;
}

int Operator::ListCount(HWND listView) const { return static_cast<int>(Send(listView, LVM_GETITEMCOUNT, 0, 0)); }

std::wstring Operator::ListText(HWND listView, int row, int column) const {
  constexpr int kCapacity = 512;
  RemoteBuffer buffer(process_.hProcess, sizeof(LVITEMW) + kCapacity * sizeof(wchar_t));
  if (!buffer.Ok()) return L"(no buffer in the program)";
  LVITEMW item{};
  item.iSubItem = column;
  item.cchTextMax = kCapacity;
  item.pszText = reinterpret_cast<wchar_t*>(buffer.At(sizeof item));
  if (!buffer.Write(0, &item, sizeof item)) return L"(unwritable)";
  const size_t length = static_cast<size_t>(Send(listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), buffer.At(0)));
  std::wstring text(length < kCapacity ? length : kCapacity - 1, L'\0');
  if (!text.empty() && !buffer.Read(sizeof item, text.data(), text.size() * sizeof(wchar_t))) return L"(unreadable)";
  return text;
}

std::vector<std::wstring> Operator::ComboItems(HWND combo) const {
  std::vector<std::wstring> items;
  const int count = static_cast<int>(Send(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const LRESULT length = Send(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length < 0) break;
    // Windows and Wine carry this text across processes themselves.
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    if (Send(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data())) != length) {
      text = L"(unreadable)";
    }
    if (const size_t end = text.find(L'\0'); end != std::wstring::npos) text.resize(end);
    items.push_back(text);
  }
  return items;
}

int Operator::ComboSelection(HWND combo) const { return static_cast<int>(Send(combo, CB_GETCURSEL, 0, 0)); }

bool Operator::SelectComboItem(HWND combo, int index) const {
  if (Send(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0) != index) return false;
  Send(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  return true;
}

int Operator::ListSelection(HWND listView) const {
  return static_cast<int>(Send(listView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

bool Operator::ClickListRow(HWND listView, int row) {
  RemoteBuffer buffer(process_.hProcess, sizeof(RECT));
  RECT r{LVIR_BOUNDS, 0, 0, 0};
  if (!buffer.Ok() || !buffer.Write(0, &r, sizeof r) ||
      Send(listView, LVM_GETITEMRECT, static_cast<WPARAM>(row), buffer.At(0)) == 0 || !buffer.Read(0, &r, sizeof r)) {
    return false;
  }
  POINT p{r.left + 8, (r.top + r.bottom) / 2};
  if (!ClientToScreen(listView, &p) || !BringToFront(GetAncestor(listView, GA_ROOT)) || !SetCursorPos(p.x, p.y)) {
    return false;
  }
  std::vector<INPUT> inputs(2);
  inputs[0].type = inputs[1].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  return SendInputs(inputs);
}

std::optional<COLORREF> Operator::Pixel(HWND window, int x, int y) {
  POINT p{x, y};
  if (!ClientToScreen(window, &p)) return std::nullopt;
  const std::optional<Picture> one = CaptureRect(RECT{p.x, p.y, p.x + 1, p.y + 1});
  if (!one) return std::nullopt;
  return RGB(one->rgb[0], one->rgb[1], one->rgb[2]);
}

std::vector<ProgramDialog> Operator::Dialogs() const {
  std::vector<ProgramDialog> dialogs;
  for (HWND hwnd : WindowsOfClass(L"#32770")) {
    HWND message = GetDlgItem(hwnd, kMessageTextId);
    dialogs.push_back({hwnd, Text(hwnd), message != nullptr ? Text(message) : std::wstring()});
  }
  return dialogs;
}

std::optional<ProgramDialog> Operator::WaitForMessageBox(DWORD ms) const {
  std::optional<ProgramDialog> box;
  WaitUntil(
      [&] {
        for (const ProgramDialog& d : Dialogs()) {
          if (GetDlgItem(d.hwnd, kMessageTextId) != nullptr) box = d;
        }
        return box.has_value();
      },
      ms);
  return box;
}

bool Operator::Answer(const ProgramDialog& box, int buttonId, DWORD ms) {
  HWND button = GetDlgItem(box.hwnd, buttonId);
  if (button == nullptr) return false;
  Press(button);
  return WaitUntil([&] { return !IsWindow(box.hwnd) || !IsWindowVisible(box.hwnd); }, ms);
}

std::optional<ProgramDialog> Operator::WaitForFileDialog(DWORD ms) const {
  std::optional<ProgramDialog> dialog;
  WaitUntil(
      [&] {
        for (const ProgramDialog& d : Dialogs()) {
          if (Control(d.hwnd, kFileNameComboId) != nullptr || Control(d.hwnd, kFileNameEditId) != nullptr) dialog = d;
        }
        return dialog.has_value();
      },
      ms);
  return dialog;
}

bool Operator::CompleteFileDialog(const ProgramDialog& dialog, const std::wstring& path, DWORD ms) {
  // The dialog's own controls first: deeper windows reuse small ids.
  const auto own = [&](int id) {
    HWND control = GetDlgItem(dialog.hwnd, id);
    return control != nullptr ? control : Control(dialog.hwnd, id);
  };
  HWND name = own(kFileNameComboId);
  if (name == nullptr) name = own(kFileNameEditId);
  HWND ok = own(IDOK);
  if (name == nullptr || ok == nullptr) return false;
  // WM_SETTEXT carries its text across processes; a combo box passes it on
  // to its edit field.
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &result) ||
      Text(name) != path) {
    return false;
  }
  Press(ok);
  return WaitUntil([&] { return !IsWindow(dialog.hwnd) || !IsWindowVisible(dialog.hwnd); }, ms);
}

std::optional<Picture> Operator::Capture(HWND window) {
  RECT r;
  if (!GetWindowRect(window, &r)) return std::nullopt;
  // Only what is on the screen can be captured.
  r.left = r.left < 0 ? 0 : r.left;
  r.top = r.top < 0 ? 0 : r.top;
  const LONG screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const LONG screenHeight = GetSystemMetrics(SM_CYSCREEN);
  r.right = r.right > screenWidth ? screenWidth : r.right;
  r.bottom = r.bottom > screenHeight ? screenHeight : r.bottom;
  // The program paints into its own buffers and the display catches up a
  // moment later: take the picture once it has held still for a few looks.
  std::optional<Picture> last = CaptureRect(r);
  int stillLooks = 0;
  WaitUntil(
      [&] {
        std::optional<Picture> now = CaptureRect(r);
        stillLooks = now && last && now->rgb == last->rgb ? stillLooks + 1 : 0;
        last = std::move(now);
        return stillLooks >= 4;
      },
      3000);
  return last;
}

bool Operator::SavePicture(const Picture& picture, const std::wstring& pngPath) {
  const std::vector<uint8_t> png =
      EncodePng(static_cast<uint32_t>(picture.width), static_cast<uint32_t>(picture.height), picture.rgb);
  FILE* file = _wfopen(pngPath.c_str(), L"wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && ok;
}

bool Operator::SaveScreenshot(HWND window, const std::wstring& pngPath) {
  const std::optional<Picture> picture = Capture(window);
  return picture && SavePicture(*picture, pngPath);
}

#include "operator_win.h"

#include <commctrl.h>
#include <gdiplus.h>

#include <cwctype>

namespace {

// The message text of a message box; the file name field of a file dialog
// (Explorer style, old style).
constexpr int kMessageTextId = 0xFFFF, kFileNameCombo = 0x47C, kFileNameEdit = 0x480;

// A screen area, 4 bytes a pixel (blue, green, red, unused), top row first.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
};

std::optional<Picture> CaptureRect(const RECT& r) {
  Picture p{r.right - r.left, r.bottom - r.top, {}};
  if (p.width <= 0 || p.height <= 0) return std::nullopt;
  p.pixels.resize(static_cast<size_t>(p.width) * static_cast<size_t>(p.height) * 4);
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, p.width, p.height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  bool ok = BitBlt(memory, 0, 0, p.width, p.height, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
  SelectObject(memory, old);
  BITMAPINFO info{{sizeof info.bmiHeader, p.width, -p.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};  // top row first
  ok = ok && GetDIBits(memory, bitmap, 0, static_cast<UINT>(p.height), p.pixels.data(), &info, DIB_RGB_COLORS) == p.height;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok ? std::optional<Picture>(std::move(p)) : std::nullopt;
}

// The screen area once a few captures in a row agree: the display catches
// up with the program's painting a moment later. Only what is on the screen
// can be captured.
std::optional<Picture> SettledCapture(RECT r) {
  RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (!IntersectRect(&r, &r, &screen)) return std::nullopt;
  std::optional<Picture> last = CaptureRect(r);
  int stillLooks = 0;
  WaitUntil(
      [&] {
        std::optional<Picture> now = CaptureRect(r);
        stillLooks = now && last && now->pixels == last->pixels ? stillLooks + 1 : 0;
        last = std::move(now);
        return stillLooks >= 4;
      },
      3000);
  return last;
}

// A key by its code, or with vk 0 the character c of its own.
INPUT Key(WORD vk, wchar_t c, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki = {vk, static_cast<WORD>(vk != 0 ? 0 : c),
           (up ? KEYEVENTF_KEYUP : 0u) | (vk != 0 ? 0u : static_cast<DWORD>(KEYEVENTF_UNICODE)), 0, 0};
  return in;
}

bool SendInputs(std::vector<INPUT>& inputs) {
  return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

}  // namespace

std::string Utf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                     out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

bool WaitUntil(const std::function<bool()>& cond, DWORD ms) {
  for (const ULONGLONG deadline = GetTickCount64() + ms;; Sleep(20)) {
    if (cond()) return true;
    if (GetTickCount64() >= deadline) return false;
  }
}

LRESULT Ask(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, msg, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result)) return -1;
  return static_cast<LRESULT>(result);
}

Operator::~Operator() { End(); }

void Operator::End() {
  if (process_.hProcess != nullptr && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.hProcess, 255);
    WaitForSingleObject(process_.hProcess, kWaitMs);
  }
  if (process_.hProcess != nullptr) CloseHandle(process_.hProcess), CloseHandle(process_.hThread);
  process_ = {};
  main_ = nullptr;
}

bool Operator::Start(const std::wstring& exe, const std::wstring& workDir) {
  End();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring commandLine = L"\"" + exe + L"\"";
  return CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, workDir.c_str(), &startup,
                        &process_) != FALSE;
}

bool Operator::WaitForExit(DWORD& exitCode, DWORD ms) {
  return process_.hProcess != nullptr && WaitForSingleObject(process_.hProcess, ms) == WAIT_OBJECT_0 &&
         GetExitCodeProcess(process_.hProcess, &exitCode);
}

HWND Operator::WaitForWindow(const wchar_t* className, DWORD ms) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (found = nullptr; (found = FindWindowExW(nullptr, found, className, nullptr)) != nullptr;) {
          DWORD pid = 0;
          GetWindowThreadProcessId(found, &pid);
          if (pid == process_.dwProcessId && IsWindowVisible(found)) return true;
        }
        return false;
      },
      ms);
  if (main_ == nullptr) main_ = found;
  return found;
}

HWND Operator::Control(HWND root, int id) {
  // Every descendant, so that controls of child dialogs (the mode panel) are found too.
  for (HWND c = GetWindow(root, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    if (GetDlgCtrlID(c) == id) return c;
    if (HWND deeper = Control(c, id)) return deeper;
  }
  return nullptr;
}

void Operator::ChooseMenu(WORD commandId) const { PostMessageW(main_, WM_COMMAND, commandId, 0); }

void Operator::Press(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

bool Operator::BringToFront(HWND topWindow) {
  // The foreground changes at once; the program's thread takes the
  // activation (and gives a dialog's focus back to its control) a moment
  // later, and a click before that would lose its focus to it.
  SetForegroundWindow(topWindow);
  return WaitUntil([&] { return GetForegroundWindow() == topWindow && FocusOf(topWindow, true) == topWindow; }, 3000);
}

bool Operator::ClickAt(HWND topWindow, POINT screen) {
  if (!BringToFront(topWindow)) return false;
  // The point goes with both events: a window hidden under the pointer just
  // before may still report the pointer's old place to Wine after a move.
  std::vector<INPUT> inputs(2);
  for (INPUT& in : inputs) {
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | (&in == &inputs[0] ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
  }
  return SendInputs(inputs);
}

bool Operator::Click(HWND window) {
  RECT r;
  return GetWindowRect(window, &r) &&
         ClickAt(GetAncestor(window, GA_ROOT), POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

bool Operator::Type(HWND control, const std::wstring& text) {
  // Keys go to the window with the focus: wait until the click has put it there.
  if ((FocusOf(control) != control && !Click(control)) || !BringToFront(GetAncestor(control, GA_ROOT)) ||
      !WaitUntil([&] { return FocusOf(control) == control; }, 3000))
    return false;
  std::vector<INPUT> inputs;
  for (wchar_t c : text) {
    const bool plain = (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L' ';
    const WORD vk = c == L'\n' ? VK_RETURN : c == L'\b' ? VK_BACK : plain ? static_cast<WORD>(towupper(c)) : 0;
    if (c == L'\b') inputs.insert(inputs.end(), {Key(VK_END, 0, false), Key(VK_END, 0, true)});
    inputs.insert(inputs.end(), {Key(vk, c, false), Key(vk, c, true)});
  }
  return SendInputs(inputs);
}

bool Operator::PressKeys(HWND topWindow, std::initializer_list<WORD> keys) {
  if (!BringToFront(topWindow)) return false;
  std::vector<INPUT> inputs;
  for (WORD vk : keys) inputs.push_back(Key(vk, 0, false));
  for (auto it = keys.end(); it != keys.begin();) inputs.push_back(Key(*--it, 0, true));
  return SendInputs(inputs);
}

bool Operator::SelectComboItem(HWND combo, int index) {
  return Ask(combo, CB_SETCURSEL, static_cast<WPARAM>(index)) == index &&
         Ask(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
             reinterpret_cast<LPARAM>(combo)) != -1;
}

std::wstring Operator::Text(HWND window) {
  std::wstring text(4096, L'\0');
  const LRESULT n = Ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  return n < 0 ? kNoAnswer : text.substr(0, static_cast<size_t>(n));
}

std::wstring Operator::StatusText(HWND statusBar, int part) const {
  // The status bar writes the text into the program's memory: lend it room
  // there (zero-filled) and read it back.
  wchar_t text[1024] = L"";
  void* at = VirtualAllocEx(process_.hProcess, nullptr, sizeof text, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  SIZE_T n = 0;
  const bool ok = at != nullptr && Ask(statusBar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(at)) != -1 &&
                  ReadProcessMemory(process_.hProcess, at, text, sizeof text - sizeof *text, &n);
  if (at != nullptr) VirtualFreeEx(process_.hProcess, at, 0, MEM_RELEASE);
  return ok ? text : kNoAnswer;
}

HWND Operator::FocusOf(HWND window, bool active) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return active ? info.hwndActive : info.hwndFocus;
}

COLORREF Operator::Pixel(HWND window, POINT client) {
  const std::optional<Picture> one =
      ClientToScreen(window, &client) ? CaptureRect(RECT{client.x, client.y, client.x + 1, client.y + 1}) : std::nullopt;
  return one ? RGB(one->pixels[2], one->pixels[1], one->pixels[0]) : CLR_INVALID;
}

std::vector<ProgramDialog> Operator::Dialogs() const {
  std::vector<ProgramDialog> dialogs;
  for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"#32770", nullptr)) != nullptr;) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    HWND message = GetDlgItem(w, kMessageTextId);
    if (pid == process_.dwProcessId && IsWindowVisible(w))
      dialogs.push_back({w, Text(w), message != nullptr ? Text(message) : std::wstring()});
  }
  return dialogs;
}

std::optional<ProgramDialog> Operator::WaitForDialog(const std::function<bool(const ProgramDialog&)>& is) const {
  std::optional<ProgramDialog> found;
  WaitUntil([&] {
    for (const ProgramDialog& d : Dialogs()) {
      if (is(d)) found = d;
    }
    return found.has_value();
  });
  return found;
}

bool Operator::Answer(HWND dialog, int buttonId) {
  HWND button = GetDlgItem(dialog, buttonId);
  if (button != nullptr) Press(button);
  return button != nullptr && WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); });
}

bool Operator::CompleteFileDialog(HWND dialog, const std::wstring& path) {
  // The dialog's own controls first: deeper windows reuse small ids.
  const auto own = [&](int id) { return GetDlgItem(dialog, id) ? GetDlgItem(dialog, id) : Control(dialog, id); };
  HWND name = own(kFileNameCombo) ? own(kFileNameCombo) : own(kFileNameEdit);
  // WM_SETTEXT carries its text across processes; a combo box passes it on
  // to its edit field.
  if (name == nullptr || Ask(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str())) != TRUE ||
      Text(name) != path)
    return false;
  return Answer(dialog, IDOK);
}

bool Operator::SaveScreenshot(HWND window, const std::wstring& pngPath) {
  using namespace Gdiplus;
  static const bool started = [] {
    GdiplusStartupInput input;
    ULONG_PTR token = 0;
    return GdiplusStartup(&token, &input, nullptr) == Ok;
  }();
  // GDI+'s PNG encoder.
  static constexpr CLSID kPng = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  RECT r{};
  std::optional<Picture> p = GetWindowRect(window, &r) ? SettledCapture(r) : std::nullopt;
  GpBitmap* bitmap = nullptr;
  if (!started || !p ||
      DllExports::GdipCreateBitmapFromScan0(p->width, p->height, p->width * 4, PixelFormat32bppRGB, p->pixels.data(),
                                            &bitmap) != Ok)
    return false;
  const bool saved = DllExports::GdipSaveImageToFile(bitmap, pngPath.c_str(), &kPng, nullptr) == Ok;
  DllExports::GdipDisposeImage(bitmap);
  return saved;
}

std::vector<uint8_t> Operator::Pixels(RECT screenArea) {
  std::optional<Picture> p = SettledCapture(screenArea);
  return p ? std::move(p->pixels) : std::vector<uint8_t>{};
}

#pragma once
// The operator of the end-to-end tests: starts a Windows program, works its
// windows as a person would (menus, clicks, typing, message boxes, file
// dialogs), reads back what they show and takes screenshots, all from another
// process. Nothing here sleeps for a fixed time: every wait is for a
// condition, with a time-out.
#include <windows.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

inline constexpr DWORD kWaitMs = 10000;
// What a read gives when the window did not answer: never a text a window shows.
inline constexpr wchar_t kNoAnswer[] = L"(no answer)";

std::string Utf8(const std::wstring& text);
// Checks cond every 20 ms until it holds; false when ms passed first.
bool WaitUntil(const std::function<bool()>& cond, DWORD ms = kWaitMs);
// A message's answer, -1 when the window did not answer in time.
LRESULT Ask(HWND window, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

// A dialog box of the program as found; text is a message box's message.
struct ProgramDialog {
  HWND hwnd = nullptr;
  std::wstring caption, text;
};

class Operator {
 public:
  Operator() = default;
  ~Operator();  // ends the program if it still runs
  Operator(const Operator&) = delete;
  Operator& operator=(const Operator&) = delete;

  // Starts exe in workDir; a program started before is ended first.
  bool Start(const std::wstring& exe, const std::wstring& workDir);
  bool WaitForExit(DWORD& exitCode, DWORD ms = kWaitMs);
  // The program's visible top-level window of the class once there, null
  // after ms; the first one found is Main().
  HWND WaitForWindow(const wchar_t* className, DWORD ms = kWaitMs);
  HWND Main() const { return main_; }
  // A control anywhere below the main window, or below root.
  HWND Control(int id) const { return Control(main_, id); }
  static HWND Control(HWND root, int id);

  // A command of the main window's menu (posted WM_COMMAND).
  void ChooseMenu(WORD commandId) const;
  // A button pressed through its own message (posted BM_CLICK), as the
  // keyboard does: returns at once, so the button may open a modal dialog.
  static void Press(HWND button);
  // A real left click (mouse input) in the middle of the window.
  bool Click(HWND window);
  // Keystrokes into the control, clicked into first unless it has the focus.
  // Lower-case letters, digits and blanks are their plain keys, without
  // Shift, so that any other case is the program's doing; '\n' is Enter, '\b'
  // End and Backspace. Wait for the effect afterwards.
  bool Type(HWND control, const std::wstring& text);
  // Presses the keys in order and releases them in reverse, e.g. {VK_MENU, VK_F4}.
  bool PressKeys(HWND topWindow, std::initializer_list<WORD> keys);
  // A choice from a combo box's list: the selection, then CBN_SELCHANGE.
  static bool SelectComboItem(HWND combo, int index);

  static std::wstring Text(HWND window);
  std::wstring StatusText(HWND statusBar, int part) const;
  // The window with the keyboard focus in the window's thread, or with
  // `active` the thread's active window.
  static HWND FocusOf(HWND window, bool active = false);
  static COLORREF Pixel(HWND window, POINT client);

  // The program's visible dialog boxes, and the first `is` accepts once there.
  std::vector<ProgramDialog> Dialogs() const;
  std::optional<ProgramDialog> WaitForDialog(const std::function<bool(const ProgramDialog&)>& is) const;
  // Presses the dialog's button and waits until the dialog is hidden.
  static bool Answer(HWND dialog, int buttonId);
  // Writes path into a file dialog's name field and presses its OK button.
  static bool CompleteFileDialog(HWND dialog, const std::wstring& path);

  // A PNG of the screen under the window once the program has finished painting.
  static bool SaveScreenshot(HWND window, const std::wstring& pngPath);
  // The settled pixels of a screen area, empty if it cannot be captured.
  static std::vector<uint8_t> Pixels(RECT screenArea);

 private:
  void End();
  bool BringToFront(HWND topWindow);
  bool ClickAt(HWND topWindow, POINT screen);

  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
};

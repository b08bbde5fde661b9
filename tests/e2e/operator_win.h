#pragma once
// The operator of the end-to-end tests: starts a Windows program, finds its
// windows and works them as a person would (menus, clicks, typing, message
// boxes, file dialogs), reads back what it shows (texts, status bar parts,
// list items, pixel colours) and takes screenshots. Everything works across
// processes: texts through messages Wine and Windows copy between processes,
// status bar and list view texts through a buffer inside the program.
//
// Nothing here sleeps for a fixed time: every wait is for a condition, with a
// time-out.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

inline constexpr DWORD kWaitMs = 10000;

// Checks cond every 20 ms until it holds; false when ms passed first.
bool WaitUntil(const std::function<bool()>& cond, DWORD ms = kWaitMs);

// A dialog box of the program, as found: a message box or a file dialog.
struct ProgramDialog {
  HWND hwnd = nullptr;
  std::wstring caption;
  std::wstring text;  // a message box's message; empty for other dialogs
};

// A screen area as 8-bit RGB, top row first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
};

class Operator {
 public:
  Operator() = default;
  ~Operator();  // the program is ended if it still runs
  Operator(const Operator&) = delete;
  Operator& operator=(const Operator&) = delete;

  // ---- the program's process
  // Starts exe with workDir as its current directory. False when it cannot,
  // or while the last program started still runs.
  bool Start(const std::wstring& exe, const std::wstring& workDir);
  bool Running() const;
  // Waits for the process to end; false when it still runs after ms.
  bool WaitForExit(DWORD& exitCode, DWORD ms = kWaitMs);
  // Ends the process at once (clean-up after a failed test).
  void Kill();

  // ---- windows
  // The program's visible top-level window of this class, once there; null
  // after ms. The first one found becomes Main().
  HWND WaitForWindow(const wchar_t* className, DWORD ms = kWaitMs);
  HWND Main() const { return main_; }
  // A control of the main window or of any window below it, by id.
  HWND Control(int id) const;
  static HWND Control(HWND root, int id);

  // ---- acting
  // Chooses a menu command of the main window (posted WM_COMMAND).
  void ChooseMenu(WORD commandId);
  // Presses a button through its own message (BM_CLICK, posted), as the
  // keyboard does; returns at once, so the button may open a modal dialog.
  void Press(HWND button);
  // A real left click (mouse input) in the middle of the window.
  bool Click(HWND window);
  // Clicks into the control and types text as keystrokes; '\n' is the Enter
  // key, '\t' the Tab key. Wait for the effect afterwards (WaitUntil).
  bool Type(HWND control, const std::wstring& text);
  // Presses the keys in order and releases them in reverse, e.g. {VK_MENU, VK_F4}.
  bool PressKeys(HWND topWindow, std::initializer_list<WORD> keys);
  // Selects entry `index` of a combo box as a choice from its list does: the
  // selection, then CBN_SELCHANGE to its parent. False when it did not take.
  bool SelectComboItem(HWND combo, int index) const;
  // Clicks row `row` of a list view in its first column, as the operator
  // selects a row.
  bool ClickListRow(HWND listView, int row);
  // Makes the program's top-level window the one that takes the keyboard.
  bool BringToFront(HWND topWindow);

  // ---- reading
  static std::wstring Text(HWND window);
  // Part `part` of a status bar (SB_GETTEXTW).
  std::wstring StatusText(HWND statusBar, int part) const;
  int ListCount(HWND listView) const;
  std::wstring ListText(HWND listView, int row, int column) const;
  // The selected row of a list view, -1 for none.
  int ListSelection(HWND listView) const;
  // A combo box's entries and the selected one (-1 for none).
  std::vector<std::wstring> ComboItems(HWND combo) const;
  int ComboSelection(HWND combo) const;
  // The colour on screen at a point of the window's client area.
  static std::optional<COLORREF> Pixel(HWND window, int x, int y);

  // ---- dialogs
  // The program's message boxes (and other dialogs) on screen now.
  std::vector<ProgramDialog> Dialogs() const;
  std::optional<ProgramDialog> WaitForMessageBox(DWORD ms = kWaitMs) const;
  // Presses button id (IDOK, IDYES, ...) of a dialog and waits until it is gone.
  bool Answer(const ProgramDialog& box, int buttonId, DWORD ms = kWaitMs);
  // An open or save file dialog, once there.
  std::optional<ProgramDialog> WaitForFileDialog(DWORD ms = kWaitMs) const;
  // Writes path into its file name field, presses its OK button and waits
  // until the dialog is gone.
  bool CompleteFileDialog(const ProgramDialog& dialog, const std::wstring& path, DWORD ms = kWaitMs);

  // ---- pictures
  // The screen under the window's rectangle, once two captures in a row
  // agree (the program has finished painting).
  static std::optional<Picture> Capture(HWND window);
  static bool SaveScreenshot(HWND window, const std::wstring& pngPath);
  static bool SavePicture(const Picture& picture, const std::wstring& pngPath);

 private:
  std::vector<HWND> WindowsOfClass(const wchar_t* className) const;
  LRESULT Send(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) const;

  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
};

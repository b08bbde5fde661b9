#pragma once
// The operator's panel (dialog 107), a modeless child of the main window: the
// window side of ModePanel.
#include <windows.h>

#include "link/link_notifier_win.h"
#include "modes/mode_panel.h"

// The panel's own messages: a response record was queued, end the exchange.
inline constexpr UINT WM_FRAME_QUEUED = WM_USER + 10;
inline constexpr UINT WM_TEST_STOP = WM_USER + 11;

// What the shell lends the panel for its lifetime; the panel keeps a copy.
struct PanelContext {
  App* app;
  PanelState* state;
  SerialLink* link;
  ResponseChannel* channel;
  ErrorReporter* errors;
  TextSource* texts;
  void (*updatePortStatus)();  // status-bar part 1 from App::PortOnline
  void (*updateDocumentTitle)() = nullptr;  // caption and status-bar part 0 from App::document
};

// Creates the panel from dialog 107 of the current language. One panel exists
// at a time; null when the template is missing or one exists already.
HWND CreateModePanel(HWND mainWindow, const PanelContext& context);
// Destroys the panel `old` (if any) and creates it anew in the current
// language. The result log lives only in its window, so it is carried over
// with its font; everything else the new panel shows comes from the state.
HWND RecreateModePanel(HWND old, HWND mainWindow, const PanelContext& context);
// The panel behind the window, for the shell's operations; null for any other
// window, and before creation or after destruction.
ModePanel* ModePanelOf(HWND panel);

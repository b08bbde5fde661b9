#pragma once
// The operator's panel (dialog 107), a modeless child of the main window.
#include <windows.h>

#include "shell/app.h"

HWND CreateModePanel(HWND mainWindow, App& app);
// Brings the enabled controls, counters, mode radio button and focus into line
// with the current mode.
void ApplyModeLayout(HWND panel, const App& app);
// Shows the current cable: selector, information and pin names.
void RefreshPanel(HWND panel, const App& app);

#pragma once
// The About dialog (102): the program's texts and the unit's hardware version,
// asked over the link while the dialog is open.
#include <windows.h>

#include "modes/mode_panel_win.h"

// Modal over owner; the link is closed again before it returns. The result
// (1 for OK, 2 for Cancel) is of no use to the caller.
INT_PTR RunAboutDialog(HWND owner, const PanelContext& context);

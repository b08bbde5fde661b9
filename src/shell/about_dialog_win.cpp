#include "shell/about_dialog_win.h"

INT_PTR RunAboutDialog(HWND, const PanelContext&) { return 2; }

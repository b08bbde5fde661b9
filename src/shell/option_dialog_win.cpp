#include "shell/option_dialog_win.h"

INT_PTR RunOptionDialog(HWND, TextSource&, Settings&) { return 2; }

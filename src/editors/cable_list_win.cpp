#include "editors/editors_win.h"

INT_PTR RunCableListDialog(HWND, const EditorEnv&, CableSet&) { return 2; }

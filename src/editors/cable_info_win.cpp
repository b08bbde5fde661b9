#include "editors/editors_win.h"

INT_PTR RunCableInfoDialog(HWND, const EditorEnv&, CableRecord&) { return 2; }

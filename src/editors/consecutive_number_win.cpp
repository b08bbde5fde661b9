#include "editors/editors_win.h"

INT_PTR RunConsecutiveNumberDialog(HWND, const EditorEnv&, CableRecord&) { return 2; }

#include "editors/editors_win.h"

INT_PTR RunConnectionDialog(HWND, const EditorEnv&, CableRecord&) { return 2; }

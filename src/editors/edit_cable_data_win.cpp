#include "editors/editors_win.h"

INT_PTR RunEditCableDataDialog(HWND, const EditorEnv&, CableRecord&) { return 2; }

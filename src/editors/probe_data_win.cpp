#include "editors/editors_win.h"

INT_PTR RunProbeDataDialog(HWND, const EditorEnv&, CableRecord&) { return 2; }

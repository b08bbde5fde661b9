#include "editors/dialog_controls_win.h"

namespace {

INT_PTR CALLBACK ProbeDataProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      DialogControls controls(dialog);
      ShowProbeData(controls, *reinterpret_cast<CableRecord*>(lParam));
      return TRUE;  // the focus goes to A01's box
    }
    case WM_COMMAND: {
      DialogControls controls(dialog);
      switch (LOWORD(wParam)) {
        case IDOK:
          StoreProbeData(controls, *DialogParameter<CableRecord>(dialog));
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 2);
          return TRUE;
        case kClearButton:
          ClearPinChecks(controls);
          return TRUE;
        default:
          return FALSE;
      }
    }
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR RunProbeDataDialog(HWND owner, const EditorEnv& env, CableRecord& cable) {
  return RunEditorDialog(owner, env, 109, ProbeDataProc, &cable);
}

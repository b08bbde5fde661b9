#include "editors/dialog_controls_win.h"

namespace {

INT_PTR CALLBACK ConnectionProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      DialogControls controls(dialog);
      ShowConnectionRow(controls, *reinterpret_cast<CableRecord*>(lParam));
      SetFocus(GetDlgItem(dialog, kSelectedPinName));
      return FALSE;
    }
    case WM_COMMAND: {
      DialogControls controls(dialog);
      switch (LOWORD(wParam)) {
        case IDOK:
          EndDialog(dialog, StoreConnectionRow(controls, *DialogParameter<CableRecord>(dialog)) ? 1 : 2);
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

INT_PTR RunConnectionDialog(HWND owner, const EditorEnv& env, CableRecord& working) {
  // Without a selected pin there is no row to edit.
  if (working.selectedPin >= kPinCount) return 2;
  return RunEditorDialog(owner, env, 104, ConnectionProc, &working);
}

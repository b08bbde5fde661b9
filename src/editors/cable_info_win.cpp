#include "editors/dialog_controls_win.h"

namespace {

INT_PTR CALLBACK CableInfoProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      DialogControls controls(dialog);
      ShowCableInfo(controls, *reinterpret_cast<CableRecord*>(lParam));
      return TRUE;  // the focus goes to the product number
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: {
          DialogControls controls(dialog);
          StoreCableInfo(controls, *DialogParameter<CableRecord>(dialog));
          EndDialog(dialog, 1);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, 2);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR RunCableInfoDialog(HWND owner, const EditorEnv& env, CableRecord& cable) {
  return RunEditorDialog(owner, env, 105, CableInfoProc, &cable);
}

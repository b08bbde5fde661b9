// The three editors over one cable record (information, probe data,
// connection row) have the same shape: show on opening, store on OK, Clear
// unticks the pin boxes. One dialog procedure serves them all.
#include "editors/dialog_controls_win.h"

namespace {

struct RecordEditor {
  void (*show)(EditorControls&, const CableRecord&);
  bool (*store)(EditorControls&, CableRecord&);  // false: nothing was written
  uint16_t focus;                                // 0: the first tab stop
};

struct OpenEditor {
  const RecordEditor& editor;
  CableRecord& record;
};

INT_PTR CALLBACK RecordEditorProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    const OpenEditor& open = *reinterpret_cast<OpenEditor*>(lParam);
    DialogControls controls(dialog);
    open.editor.show(controls, open.record);
    if (open.editor.focus == 0) return TRUE;
    SetFocus(GetDlgItem(dialog, open.editor.focus));
    return FALSE;
  }
  if (msg != WM_COMMAND) return FALSE;
  const OpenEditor* open = DialogParameter<OpenEditor>(dialog);
  if (open == nullptr) return FALSE;
  DialogControls controls(dialog);
  switch (LOWORD(wParam)) {
    case IDOK:
      EndDialog(dialog, open->editor.store(controls, open->record) ? 1 : 2);
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

INT_PTR RunRecordEditor(HWND owner, const EditorEnv& env, WORD id, const RecordEditor& editor, CableRecord& record) {
  OpenEditor open{editor, record};
  return RunEditorDialog(owner, env, id, RecordEditorProc, &open);
}

constexpr RecordEditor kCableInfo{
    [](EditorControls& c, const CableRecord& r) { ShowCableInfo(c, r); },
    [](EditorControls& c, CableRecord& r) {
      StoreCableInfo(c, r);
      return true;
    },
    0};  // the product number first

constexpr RecordEditor kProbeData{
    [](EditorControls& c, const CableRecord& r) { ShowProbeData(c, r); },
    [](EditorControls& c, CableRecord& r) {
      StoreProbeData(c, r);
      return true;
    },
    0};  // A01's box first

constexpr RecordEditor kConnection{
    [](EditorControls& c, const CableRecord& r) { ShowConnectionRow(c, r); },
    [](EditorControls& c, CableRecord& r) { return StoreConnectionRow(c, r); },
    kSelectedPinName};

}  // namespace

INT_PTR RunCableInfoDialog(HWND owner, const EditorEnv& env, CableRecord& cable) {
  return RunRecordEditor(owner, env, 105, kCableInfo, cable);
}

INT_PTR RunProbeDataDialog(HWND owner, const EditorEnv& env, CableRecord& cable) {
  return RunRecordEditor(owner, env, 109, kProbeData, cable);
}

INT_PTR RunConnectionDialog(HWND owner, const EditorEnv& env, CableRecord& working) {
  // Without a selected pin there is no row to edit.
  if (working.selectedPin >= kPinCount) return 2;
  return RunRecordEditor(owner, env, 104, kConnection, working);
}

#include "editors/dialog_controls_win.h"

#include <commctrl.h>

namespace {

wchar_t* W(const char16_t* text) { return const_cast<wchar_t*>(reinterpret_cast<const wchar_t*>(text)); }

// The copy buffer of the cable list, kept for the whole run.
CableClipboard g_clipboard;

class CableListWindow final : public CableListView {
 public:
  CableListWindow(const EditorEnv& env, CableSet& set) : env_(env), list_(set, g_clipboard, *env.texts, *this) {}

  void Open(HWND dialog) {
    dialog_ = dialog;
    view_ = GetDlgItem(dialog, kCableListView);
    const LPARAM extra = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
    SendMessageW(view_, LVM_SETEXTENDEDLISTVIEWSTYLE, static_cast<WPARAM>(extra), extra);
    list_.Open();
    SetFocus(view_);
  }
  CableList& List() { return list_; }

  void AddColumn(int column, const char16_t* header, int width) override {
    LVCOLUMNW c{};
    c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    c.fmt = LVCFMT_LEFT;
    c.cx = width;
    c.pszText = W(header);
    c.iSubItem = column;
    SendMessageW(view_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c));
  }
  void AddRow(int row, const char16_t* first) override {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = W(first);
    SendMessageW(view_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  void SetCell(int row, int column, const char16_t* text) override {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = W(text);
    SendMessageW(view_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }
  void SelectRow(int row) override {
    // Focused as well, so that the arrow keys start from the selected row.
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(view_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    SendMessageW(view_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
  }
  int SelectedRow() override {
    const LRESULT row = SendMessageW(view_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    return row < 0 || row >= kCableCount ? kNoRow : static_cast<int>(row);
  }
  intptr_t RunEditor(Editor editor, CableRecord& cable) override {
    switch (editor) {
      case Editor::kInfo:
        return RunCableInfoDialog(dialog_, env_, cable);
      case Editor::kPinData:
        return RunEditCableDataDialog(dialog_, env_, cable);
      case Editor::kProbeData:
        return RunProbeDataDialog(dialog_, env_, cable);
    }
    return 2;
  }

 private:
  const EditorEnv& env_;
  CableList list_;
  HWND dialog_ = nullptr;
  HWND view_ = nullptr;
};

INT_PTR CALLBACK CableListProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      reinterpret_cast<CableListWindow*>(lParam)->Open(dialog);
      return FALSE;  // the focus is on the list
    case WM_COMMAND: {
      CableListWindow* window = DialogParameter<CableListWindow>(dialog);
      intptr_t result = 2;
      if (window == nullptr || !window->List().Command(LOWORD(wParam), result)) return FALSE;
      EndDialog(dialog, result);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR RunCableListDialog(HWND owner, const EditorEnv& env, CableSet& set) {
  CableListWindow window(env, set);
  return RunEditorDialog(owner, env, 106, CableListProc, &window);
}

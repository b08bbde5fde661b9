#pragma once
// The controls of an editor dialog behind the portable EditorControls.
#include <windows.h>

#include "editors/cable_editing.h"
#include "editors/editors_win.h"
#include "app/localization_win.h"

class DialogControls final : public EditorControls {
 public:
  explicit DialogControls(HWND dialog) : dialog_(dialog) {}

  void SetText(uint16_t control, const char16_t* text) override {
    SetDlgItemTextW(dialog_, control, reinterpret_cast<const wchar_t*>(text));
  }
  void ReadText(uint16_t control, char16_t* buffer, size_t capacity) override {
    if (capacity == 0) return;
    buffer[0] = 0;
    GetDlgItemTextW(dialog_, control, reinterpret_cast<wchar_t*>(buffer), static_cast<int>(capacity));
  }
  void LimitText(uint16_t control, size_t characters) override {
    SendDlgItemMessageW(dialog_, control, EM_LIMITTEXT, characters, 0);
  }
  void Check(uint16_t control, bool on) override { CheckDlgButton(dialog_, control, on ? BST_CHECKED : BST_UNCHECKED); }
  bool IsChecked(uint16_t control) override { return IsDlgButtonChecked(dialog_, control) == BST_CHECKED; }
  void Enable(uint16_t control, bool on) override { EnableWindow(GetDlgItem(dialog_, control), on ? TRUE : FALSE); }

 private:
  HWND dialog_;
};

// Runs a modal editor from the current language's template; anything but OK
// (a missing template included) counts as Cancel.
inline INT_PTR RunEditorDialog(HWND owner, const EditorEnv& env, WORD id, DLGPROC proc, void* parameter) {
  const DLGTEMPLATE* dialog = FindLanguageDialog(env.language, id);
  if (dialog == nullptr) return 2;
  const INT_PTR result =
      DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog, owner, proc, reinterpret_cast<LPARAM>(parameter));
  return result == 1 ? 1 : 2;
}

// What the dialog procedure was given when it was created.
template <typename T>
T* DialogParameter(HWND dialog) {
  return reinterpret_cast<T*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

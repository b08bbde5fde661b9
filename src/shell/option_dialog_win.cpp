#include "shell/option_dialog_win.h"

#include <initializer_list>

#include "app/localization_win.h"
#include "shell/option.h"

namespace {

enum : int {
  kPortList = 1010,
  kLanguageList = 1011,
  kBits8 = 1013,
  kParityNone = 1016,
  kBaud38400 = 1019,
  kStopBits1 = 1020,
};
constexpr size_t kLanguageNameUnits = 16;

struct OptionDialog {
  TextSource& texts;
  Settings& settings;
};

void AddEntry(HWND dialog, int list, const char16_t* text) {
  SendDlgItemMessageW(dialog, list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void OnInit(HWND dialog, const OptionDialog& d) {
  for (int i = 0; i < kOptionPortCount; ++i) {
    char16_t entry[kPortEntryUnits];
    FormatPortEntry(i, entry);
    AddEntry(dialog, kPortList, entry);
  }
  SendDlgItemMessageW(dialog, kPortList, CB_SETCURSEL, static_cast<WPARAM>(PortEntryOf(d.settings)), 0);
  // Entry k names LanguageIndex k, in the current language.
  for (uint16_t id = 40008; id <= 40010; ++id) {
    char16_t name[kLanguageNameUnits];
    LoadTextOrEmpty(d.texts, id, name, kLanguageNameUnits);
    AddEntry(dialog, kLanguageList, name);
  }
  SendDlgItemMessageW(dialog, kLanguageList, CB_SETCURSEL, static_cast<WPARAM>(LanguageEntryOf(d.settings)), 0);
  // A fixed picture of the line the unit speaks, whatever the file holds:
  // only the settings file changes these.
  for (int id : {kBits8, kBaud38400, kStopBits1, kParityNone}) CheckDlgButton(dialog, id, BST_CHECKED);
  SetFocus(GetDlgItem(dialog, kLanguageList));
}

int Selection(HWND dialog, int list) { return static_cast<int>(SendDlgItemMessageW(dialog, list, CB_GETCURSEL, 0, 0)); }

INT_PTR CALLBACK OptionProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      OnInit(dialog, *reinterpret_cast<const OptionDialog*>(lParam));
      return FALSE;  // the focus is set
    case WM_COMMAND: {
      auto* d = reinterpret_cast<OptionDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
      if (d == nullptr) return FALSE;
      if (LOWORD(wParam) == IDOK) {
        StoreOptionChoice(d->settings, Selection(dialog, kPortList), Selection(dialog, kLanguageList));
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR RunOptionDialog(HWND owner, TextSource& texts, Settings& settings) {
  const DLGTEMPLATE* tmpl = FindLanguageDialog(settings.language, 108);
  if (tmpl == nullptr) return IDCANCEL;
  OptionDialog d{texts, settings};
  const INT_PTR result =
      DialogBoxIndirectParamW(GetModuleHandleW(nullptr), tmpl, owner, OptionProc, reinterpret_cast<LPARAM>(&d));
  return result == IDOK ? IDOK : IDCANCEL;
}

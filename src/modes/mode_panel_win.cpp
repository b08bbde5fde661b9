#include "modes/mode_panel_win.h"

#include <commctrl.h>

#include <cwchar>

#include "modes/panel_layout.h"
#include "shell/localization_win.h"

namespace {

const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

INT_PTR CALLBACK PanelProc(HWND panel, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      auto* app = reinterpret_cast<App*>(lParam);
      SetWindowLongPtrW(panel, DWLP_USER, lParam);
      SendDlgItemMessageW(panel, 1312, UDM_SETBASE, 10, 0);
      SendDlgItemMessageW(panel, 1312, UDM_SETBUDDY, reinterpret_cast<WPARAM>(GetDlgItem(panel, 1311)), 0);
      SendDlgItemMessageW(panel, 1312, UDM_SETRANGE32, 1, 50);
      SendDlgItemMessageW(panel, 1312, UDM_SETPOS32, 0, 50);
      SetDlgItemInt(panel, 1311, 50, FALSE);
      SendDlgItemMessageW(panel, 1325, WM_SETFONT,
                          reinterpret_cast<WPARAM>(LanguageFont(app->settings.language, kLargeBoldFont)), TRUE);
      RefreshPanel(panel, *app);
      SetFocus(GetDlgItem(panel, 1310));
      return FALSE;  // the focus is set
    }
    default:
      return FALSE;
  }
  (void)wParam;
}

}  // namespace

HWND CreateModePanel(HWND mainWindow, App& app) {
  const DLGTEMPLATE* tmpl = FindLanguageDialog(app.settings.language, 107);
  if (!tmpl) return nullptr;
  return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), tmpl, mainWindow, PanelProc,
                                    reinterpret_cast<LPARAM>(&app));
}

void RefreshPanel(HWND panel, const App& app) {
  const CableSet& set = app.cableSet;
  HWND selector = GetDlgItem(panel, 1437);
  SendMessageW(selector, CB_RESETCONTENT, 0, 0);
  for (int i = 0; i < kCableCount; ++i) {
    wchar_t entry[32];
    std::swprintf(entry, 32, L"%d.%ls", i + 1, W(set.cables[i].info.cableType));
    SendMessageW(selector, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(entry));
  }
  const int current = set.currentCable < kCableCount ? set.currentCable : 0;
  SendMessageW(selector, CB_SETCURSEL, static_cast<WPARAM>(current), 0);
  const CableRecord& cable = set.cables[current];
  SetDlgItemTextW(panel, 1328, W(cable.info.productNo));
  SetDlgItemTextW(panel, 1329, W(cable.info.modelCustomer));
  SetDlgItemTextW(panel, 1330, W(cable.info.blockName));
  SetDlgItemTextW(panel, 1331, W(cable.info.cableType));
  SetDlgItemTextW(panel, 1332, W(cable.info.comment));
  for (int k = 0; k < kPinCount; ++k) SetDlgItemTextW(panel, kPinCellBase + k, W(cable.pinNames[k]));
}

void ApplyModeLayout(HWND panel, const App& app) {
  const int mode = app.CurrentMode < 4 ? app.CurrentMode : 0;
  for (int i = 0; i < 14; ++i)
    EnableWindow(GetDlgItem(panel, kLayoutControls[i]), (kModeLayoutMasks[mode] >> i) & 1);
  SetDlgItemTextW(panel, 1325, L"");
  SetDlgItemTextW(panel, 1326, L"");
  for (int id = 1320; id <= 1323; ++id) SetDlgItemInt(panel, id, 0, FALSE);
  CheckRadioButton(panel, 2000, 2003, 2000 + mode);
  SetFocus(GetDlgItem(panel, kModeFocusControl[mode]));
}

// Consecutive Number: reads the dialog into a form for the portable checks
// and names, and shows the choices of the last OK again.
#include <initializer_list>

#include "common/format_text.h"
#include "editors/consecutive_number.h"
#include "editors/dialog_controls_win.h"

namespace {

enum : int {
  kFixedName = 1030,
  kConnector = 1031,
  kPinNumber = 1032,
  kRepeatCount = 1033,
  kSkipOne = 1034,
  kOmitPinLabel = 1035,
  kNumbersButton = 1036,
  kAlphabetButton = 1037,
  kUnusedButton = 1038,
  kStartBox = 1039,
  kAscendingButton = 1040,
  kDescendingButton = 1041,
};
constexpr size_t kBoxUnits = 16;  // every box here is limited to 5 characters or fewer
constexpr size_t kMessageUnits = 128;
constexpr size_t kCaptionUnits = 32;

// Kept for the whole run and never saved.
ConsecutiveNumberSettings g_settings;

struct ConsecutiveNumberDialog {
  const EditorEnv* env;
  CableRecord* record;
};

const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

void AddEntry(HWND dialog, int list, const char16_t* text) {
  SendDlgItemMessageW(dialog, list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void FillPinNumbers(HWND dialog, int count) {
  SendDlgItemMessageW(dialog, kPinNumber, CB_RESETCONTENT, 0, 0);
  for (int n = 1; n <= count; ++n) {
    char16_t entry[8];
    FormatText(entry, 8, u"%d", n);
    AddEntry(dialog, kPinNumber, entry);
  }
}

void EnableCounterControls(HWND dialog, bool on) {
  for (int id : {kStartBox, kAscendingButton, kDescendingButton}) EnableWindow(GetDlgItem(dialog, id), on);
}

void OnInit(HWND dialog, const CableRecord& record) {
  SendDlgItemMessageW(dialog, kFixedName, EM_LIMITTEXT, kFixedNameChars, 0);
  SendDlgItemMessageW(dialog, kRepeatCount, EM_LIMITTEXT, 3, 0);
  SendDlgItemMessageW(dialog, kStartBox, EM_LIMITTEXT, 3, 0);
  for (const char16_t* connector : {u"A", u"B", u"C"}) AddEntry(dialog, kConnector, connector);
  FillPinNumbers(dialog, 50);
  const StartingPosition start = StartingPositionOf(record.selectedPin);
  SendDlgItemMessageW(dialog, kConnector, CB_SETCURSEL, static_cast<WPARAM>(start.connector), 0);
  SendDlgItemMessageW(dialog, kPinNumber, CB_SETCURSEL, static_cast<WPARAM>(start.pinEntry), 0);

  const ConsecutiveNumberSettings& s = g_settings;
  SetDlgItemTextW(dialog, kFixedName, W(s.fixedName));
  SetDlgItemInt(dialog, kRepeatCount, s.repeatCount, FALSE);
  CheckDlgButton(dialog, kSkipOne, s.step == 2 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kOmitPinLabel, s.omitPinLabel == 1 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, s.ascending == 1 ? kAscendingButton : kDescendingButton, BST_CHECKED);
  switch (s.numberKind) {
    case kNumbers:
      CheckDlgButton(dialog, kNumbersButton, BST_CHECKED);
      SetDlgItemInt(dialog, kStartBox, s.startNumber, FALSE);
      break;
    case kAlphabet:
      CheckDlgButton(dialog, kAlphabetButton, BST_CHECKED);
      SetDlgItemTextW(dialog, kStartBox, W(s.startLetter));
      break;
    default:
      CheckDlgButton(dialog, kUnusedButton, BST_CHECKED);
      EnableCounterControls(dialog, false);
      break;
  }
  SetFocus(GetDlgItem(dialog, kFixedName));
}

void OnKindClicked(HWND dialog, int id) {
  if (IsDlgButtonChecked(dialog, id) != BST_CHECKED) return;
  EnableCounterControls(dialog, id != kUnusedButton);
  SetDlgItemTextW(dialog, kStartBox, id == kNumbersButton ? L"1" : id == kAlphabetButton ? L"A" : L"");
  if (id != kUnusedButton) SendDlgItemMessageW(dialog, kStartBox, EM_LIMITTEXT, id == kNumbersButton ? 3 : 1, 0);
}

int Selection(HWND dialog, int list) {
  return static_cast<int>(SendDlgItemMessageW(dialog, list, CB_GETCURSEL, 0, 0));  // CB_ERR is -1
}

void ShowError(HWND dialog, const EditorEnv& env, uint16_t messageId) {
  char16_t text[kMessageUnits];
  char16_t caption[kCaptionUnits];
  LoadTextOrEmpty(*env.texts, messageId, text, kMessageUnits);
  LoadTextOrEmpty(*env.texts, 40021, caption, kCaptionUnits);
  MessageBoxExW(dialog, W(text), W(caption), MB_OK | MB_ICONERROR, ThreadLanguage());
}

// True when the names were written.
bool OnOk(HWND dialog, const ConsecutiveNumberDialog& d) {
  char16_t fixedName[kFixedNameChars + 1];
  char16_t repeatCount[kBoxUnits];
  char16_t start[kBoxUnits];
  GetDlgItemTextW(dialog, kFixedName, reinterpret_cast<wchar_t*>(fixedName), kFixedNameChars + 1);
  GetDlgItemTextW(dialog, kRepeatCount, reinterpret_cast<wchar_t*>(repeatCount), kBoxUnits);
  GetDlgItemTextW(dialog, kStartBox, reinterpret_cast<wchar_t*>(start), kBoxUnits);
  ConsecutiveNumberForm form;
  form.fixedName = fixedName;
  form.connector = Selection(dialog, kConnector);
  form.pinEntry = Selection(dialog, kPinNumber);
  form.repeatCount = repeatCount;
  form.skipOne = IsDlgButtonChecked(dialog, kSkipOne) == BST_CHECKED;
  form.omitPinLabel = IsDlgButtonChecked(dialog, kOmitPinLabel) == BST_CHECKED;
  form.kind = IsDlgButtonChecked(dialog, kNumbersButton) == BST_CHECKED    ? kNumbers
              : IsDlgButtonChecked(dialog, kAlphabetButton) == BST_CHECKED ? kAlphabet
                                                                           : kNoCounter;
  form.start = start;
  form.descending = IsDlgButtonChecked(dialog, kDescendingButton) == BST_CHECKED;

  const uint16_t message = ValidateConsecutiveNumber(form, g_settings);
  if (message != 0) {
    ShowError(dialog, *d.env, message);
    return false;
  }
  GeneratePinNames(form, g_settings, *d.record);
  return true;
}

INT_PTR CALLBACK ConsecutiveNumberProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      OnInit(dialog, *reinterpret_cast<ConsecutiveNumberDialog*>(lParam)->record);
      return FALSE;  // the focus is set
    case WM_COMMAND: {
      const auto* d = DialogParameter<ConsecutiveNumberDialog>(dialog);
      if (d == nullptr) return FALSE;
      const int id = LOWORD(wParam);
      const int notification = HIWORD(wParam);
      switch (id) {
        case IDOK:
          if (OnOk(dialog, *d)) EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 2);
          return TRUE;
        case kConnector:
          if (notification == CBN_SELCHANGE) {
            FillPinNumbers(dialog, Selection(dialog, kConnector) == 2 ? 4 : 50);
            SendDlgItemMessageW(dialog, kPinNumber, CB_SETCURSEL, 0, 0);
          }
          return TRUE;
        case kNumbersButton:
        case kAlphabetButton:
        case kUnusedButton:
          if (notification == BN_CLICKED) OnKindClicked(dialog, id);
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

INT_PTR RunConsecutiveNumberDialog(HWND owner, const EditorEnv& env, CableRecord& working) {
  ConsecutiveNumberDialog d{&env, &working};
  return RunEditorDialog(owner, env, 110, ConsecutiveNumberProc, &d);
}

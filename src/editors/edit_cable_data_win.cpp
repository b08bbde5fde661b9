// Edit Cable Data for one cable: 104 pin-name boxes on a working copy that
// only OK writes back, coloured by the selected pin's connections.
#include "editors/dialog_controls_win.h"

#include <commctrl.h>

#include <cstring>

#include "cabledata/connection_matrix.h"
#include "editors/edit_cable_data.h"

namespace {

enum : int {
  kLegendSelected = 1160,
  kLegendConnected = 1161,
  kLegendWired = 1162,
  kFirstPinBox = 1163,  // + PinIndex
  kConnectedList = 1267,
  kPinNoLabel = 1268,
  kMirrorOption = 1269,
  kInitializePinNames = 1270,
  kConsecutiveNumber = 1271,
  kConnection = 1272,
  kInitializeConnections = 1273,
  kStoreAndClose = 1274,
};
constexpr UINT WM_PIN_NEXT = WM_USER + 12;
constexpr size_t kPromptUnits = 128;
constexpr size_t kCaptionUnits = 32;

// Brush order: selected pin, connected pin, pin with connections of its own.
constexpr COLORREF kColours[3] = {0x3FFF, 0xFF7F00, 0xF7F7};

const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

struct PinEdit {
  int id;
  HWND hwnd;
  WNDPROC previous;
};

// The dialog is modal and never open twice, and its keyboard hook and pin
// boxes have no other way to find it.
struct EditCableData {
  const EditorEnv* env;
  CableRecord* target;
  CableRecord workingRecord;
  PinEdit PinEditTable[kPinCount];
  HWND dialog;
  HBRUSH brushes[3];
  HHOOK hook;
  bool capsForced;
  BYTE capsBefore;
};
EditCableData g_edit;

// Forces Caps Lock in the thread's key state while the editor is open and puts
// the previous state back when it closes; the keyboard light is not touched.
// A key state that cannot be read or written is left alone, and the flag with
// it, so the close never forces a key the open could not.
void ForceCapsLock(bool force) {
  BYTE keys[256];
  if (force == g_edit.capsForced || !GetKeyboardState(keys)) return;
  const BYTE was = keys[VK_CAPITAL];
  keys[VK_CAPITAL] = force ? static_cast<BYTE>(was | 1) : g_edit.capsBefore;
  if (!SetKeyboardState(keys)) return;
  if (force) g_edit.capsBefore = was;
  g_edit.capsForced = force;
}

// Enter moves on when it repeats or is let go, not when it goes down. While
// a box or dialog of its own is open above the editor, the key is theirs.
LRESULT CALLBACK PinNextHook(int code, WPARAM wParam, LPARAM lParam) {
  const auto flags = static_cast<DWORD>(lParam);
  if (code == HC_ACTION && wParam == VK_RETURN && (flags & 0xC0000000u) != 0 && g_edit.dialog != nullptr &&
      IsWindowEnabled(g_edit.dialog)) {
    SendMessageW(g_edit.dialog, WM_PIN_NEXT, VK_RETURN, lParam);
  }
  return CallNextHookEx(g_edit.hook, code, wParam, lParam);
}

WNDPROC PreviousProcOf(HWND box) {
  for (const PinEdit& e : g_edit.PinEditTable)
    if (e.hwnd == box) return e.previous;
  return nullptr;
}

// F3 and a double click open the Connection dialog, as its button does; the
// click before a double click has already selected the box's pin.
LRESULT CALLBACK PinBoxProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam) {
  if ((msg == WM_KEYDOWN && wParam == VK_F3) || msg == WM_LBUTTONDBLCLK) {
    SendMessageW(GetParent(box), WM_COMMAND, MAKEWPARAM(kConnection, 0), 0);
    return 0;
  }
  const WNDPROC previous = PreviousProcOf(box);
  return previous != nullptr ? CallWindowProcW(previous, box, msg, wParam, lParam)
                             : DefWindowProcW(box, msg, wParam, lParam);
}

void ReadNames() {
  CableRecord& w = g_edit.workingRecord;
  for (int i = 0; i < kPinCount; ++i)
    GetWindowTextW(g_edit.PinEditTable[i].hwnd, reinterpret_cast<wchar_t*>(w.pinNames[i]), kPinNameUnits);
}

void ShowNames() {
  for (int i = 0; i < kPinCount; ++i) SetWindowTextW(g_edit.PinEditTable[i].hwnd, W(g_edit.workingRecord.pinNames[i]));
}

void SetListHeading(HWND dialog, const char16_t* text) {
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT;
  column.pszText = const_cast<wchar_t*>(W(text));
  SendDlgItemMessageW(dialog, kConnectedList, LVM_SETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
}

// The selected pin's name, label and connected pins, and the boxes repainted
// in their new colours.
void Refresh(HWND dialog) {
  const CableRecord& w = g_edit.workingRecord;
  const unsigned selected = w.selectedPin;
  SendDlgItemMessageW(dialog, kConnectedList, LVM_DELETEALLITEMS, 0, 0);
  if (selected < kPinCount) {
    SetListHeading(dialog, w.pinNames[selected]);
    SetDlgItemTextW(dialog, kPinNoLabel, W(DefaultPinLabels[selected]));
    uint8_t pins[kPinCount];
    const uint8_t count = ListConnectedPins(w.connections[selected], pins);
    for (int i = 0; i < count; ++i) {
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = i;
      item.pszText = const_cast<wchar_t*>(W(w.pinNames[pins[i]]));
      SendDlgItemMessageW(dialog, kConnectedList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
  }
  // The boxes are child windows: naming them makes Wine repaint them too.
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void FocusPinBox(int pin) {
  const HWND box = g_edit.PinEditTable[pin].hwnd;
  SetFocus(box);
  const auto end = static_cast<WPARAM>(GetWindowTextLengthW(box));
  SendMessageW(box, EM_SETSEL, end, static_cast<LPARAM>(end));
}

bool Confirm(HWND dialog, uint16_t textId) {
  char16_t text[kPromptUnits];
  char16_t caption[kCaptionUnits];
  LoadTextOrEmpty(*g_edit.env->texts, textId, text, kPromptUnits);
  LoadTextOrEmpty(*g_edit.env->texts, 40033, caption, kCaptionUnits);
  return MessageBoxExW(dialog, W(text), W(caption), MB_YESNO | MB_ICONWARNING, ThreadLanguage()) == IDYES;
}

void OnInit(HWND dialog) {
  CableRecord& w = g_edit.workingRecord;
  std::memcpy(&w, g_edit.target, sizeof w);
  g_edit.dialog = dialog;
  for (int i = 0; i < 3; ++i) g_edit.brushes[i] = CreateSolidBrush(kColours[i]);
  for (int i = 0; i < kPinCount; ++i) {
    PinEdit& e = g_edit.PinEditTable[i];
    e.id = kFirstPinBox + i;
    e.hwnd = GetDlgItem(dialog, e.id);
    e.previous =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(e.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PinBoxProc)));
    SendMessageW(e.hwnd, EM_LIMITTEXT, kPinNameUnits - 1, 0);
    SetWindowTextW(e.hwnd, W(w.pinNames[i]));
  }
  w.selectedPin = kNoPin;

  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.fmt = LVCFMT_LEFT;
  column.cx = 100;
  column.pszText = const_cast<wchar_t*>(W(w.pinNames[0]));
  SendDlgItemMessageW(dialog, kConnectedList, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  CheckDlgButton(dialog, kMirrorOption, BST_CHECKED);
  ReadNames();
  g_edit.hook = SetWindowsHookExW(WH_KEYBOARD, PinNextHook, nullptr, GetCurrentThreadId());
  FocusPinBox(0);  // selects A01 and fills the list
  ForceCapsLock(true);
}

void OnDestroy() {
  for (HBRUSH& brush : g_edit.brushes) {
    DeleteObject(brush);
    brush = nullptr;
  }
  if (g_edit.hook != nullptr) UnhookWindowsHookEx(g_edit.hook);
  g_edit.hook = nullptr;
  g_edit.dialog = nullptr;
  ForceCapsLock(false);
}

void OnCommand(HWND dialog, int id, int notification) {
  CableRecord& w = g_edit.workingRecord;
  switch (id) {
    case IDCANCEL:
      EndDialog(dialog, 2);
      return;
    case kInitializePinNames:
      if (Confirm(dialog, 40032)) {
        ResetPinNames(w);
        ShowNames();
        Refresh(dialog);
      }
      return;
    case kConsecutiveNumber:
      ReadNames();
      if (RunConsecutiveNumberDialog(dialog, *g_edit.env, w) == 1) {
        ShowNames();
        Refresh(dialog);
      }
      return;
    case kConnection:
      ReadNames();
      if (RunConnectionDialog(dialog, *g_edit.env, w) == 1) {
        if (IsDlgButtonChecked(dialog, kMirrorOption) == BST_CHECKED)
          MirrorAndMergeConnections(w.connections, w.selectedPin);
        Refresh(dialog);
      }
      return;
    case kInitializeConnections:
      if (Confirm(dialog, 40050)) {
        InitConnectionRows(w.connections);
        Refresh(dialog);
      }
      return;
    case kStoreAndClose:
      ReadNames();
      std::memcpy(g_edit.target, &w, sizeof w);
      EndDialog(dialog, 1);
      return;
    default:
      if (id >= kFirstPinBox && id < kFirstPinBox + kPinCount && notification == EN_SETFOCUS) {
        w.selectedPin = static_cast<uint8_t>(id - kFirstPinBox);
        ReadNames();
        Refresh(dialog);
      }
      return;
  }
}

INT_PTR PaintWith(HDC dc, int brush) {
  SetBkColor(dc, kColours[brush]);
  return reinterpret_cast<INT_PTR>(g_edit.brushes[brush]);
}

INT_PTR CALLBACK EditCableDataProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      OnInit(dialog);
      return FALSE;  // the focus is set
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    case WM_COMMAND:
      OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_PIN_NEXT:
      if (wParam == VK_RETURN) FocusPinBox(NextPin(g_edit.workingRecord.selectedPin));
      return TRUE;
    case WM_CTLCOLOREDIT: {
      const int pin = GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) - kFirstPinBox;
      if (pin < 0 || pin >= kPinCount) return FALSE;
      const auto dc = reinterpret_cast<HDC>(wParam);
      switch (PinBoxColourOf(g_edit.workingRecord, static_cast<unsigned>(pin))) {
        case PinBoxColour::kSelected:
          return PaintWith(dc, 0);
        case PinBoxColour::kConnected:
          return PaintWith(dc, 1);
        case PinBoxColour::kWired:
          return PaintWith(dc, 2);
        case PinBoxColour::kDefault:
          break;
      }
      return FALSE;
    }
    case WM_CTLCOLORSTATIC: {
      const int legend = GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) - kLegendSelected;
      if (legend < 0 || legend > kLegendWired - kLegendSelected) return FALSE;
      return PaintWith(reinterpret_cast<HDC>(wParam), legend);
    }
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR RunEditCableDataDialog(HWND owner, const EditorEnv& env, CableRecord& cable) {
  if (g_edit.dialog != nullptr) return 2;
  g_edit.env = &env;
  g_edit.target = &cable;
  return RunEditorDialog(owner, env, 103, EditCableDataProc, nullptr);
}

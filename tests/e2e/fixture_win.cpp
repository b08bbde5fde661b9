// A small window with one of each thing the operator works, so that the parts
// of its vocabulary the program does not offer yet can be tried out: typing
// (seen by a keyboard hook, as the pin-name editor's is), real and message
// clicks, a message box, the open and save dialogs, coloured areas, a list
// view and a status bar. Results show up as texts the operator reads back.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <cwchar>

#include "fixture_win.h"

namespace {

HWND g_window;
HHOOK g_hook;
int g_returns;
int g_clicks;
HBRUSH g_red;
HBRUSH g_blue;

LRESULT CALLBACK KeyboardHook(int code, WPARAM wParam, LPARAM lParam) {
  // Bit 31 clear: the key went down.
  if (code == HC_ACTION && wParam == VK_RETURN && (lParam & 0x80000000) == 0) {
    wchar_t text[32];
    std::swprintf(text, 32, L"returns %d", ++g_returns);
    SetDlgItemTextW(g_window, kReturns, text);
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id) {
  return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

void FillList(HWND list) {
  const wchar_t* columns[2] = {L"Pin", L"Name"};
  for (int c = 0; c < 2; ++c) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = 80;
    column.pszText = const_cast<wchar_t*>(columns[c]);
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
  }
  const wchar_t* rows[3][2] = {{L"A01", L"PWR+"}, {L"A02", L"PWR-"}, {L"B01", L"CAN-H 高"}};
  for (int r = 0; r < 3; ++r) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = r;
    item.pszText = const_cast<wchar_t*>(rows[r][0]);
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    item.iSubItem = 1;
    item.pszText = const_cast<wchar_t*>(rows[r][1]);
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item));
  }
}

void OnCreate(HWND hwnd) {
  g_window = hwnd;
  Child(hwnd, L"EDIT", L"", WS_BORDER | ES_AUTOHSCROLL, 10, 10, 200, 24, kEdit);
  Child(hwnd, L"STATIC", L"returns 0", 0, 220, 10, 120, 24, kReturns);
  Child(hwnd, L"BUTTON", L"Open...", BS_PUSHBUTTON, 10, 44, 90, 28, kOpen);
  Child(hwnd, L"BUTTON", L"Save...", BS_PUSHBUTTON, 110, 44, 90, 28, kSave);
  Child(hwnd, L"BUTTON", L"Ask", BS_PUSHBUTTON, 210, 44, 90, 28, kAsk);
  Child(hwnd, L"BUTTON", L"clicks 0", BS_PUSHBUTTON, 310, 44, 90, 28, kCounter);
  Child(hwnd, L"STATIC", L"", SS_LEFTNOWORDWRAP, 10, 80, 560, 24, kResult);
  Child(hwnd, L"STATIC", L"", 0, 10, 110, 60, 30, kRedArea);
  Child(hwnd, L"STATIC", L"", 0, 80, 110, 60, 30, kBlueArea);
  HWND list = Child(hwnd, WC_LISTVIEWW, L"", LVS_REPORT | WS_BORDER, 10, 150, 300, 120, kList);
  FillList(list);
  HWND status = CreateStatusWindowW(WS_CHILD | WS_VISIBLE, L"", hwnd, kStatus);
  int edges[3] = {100, 200, -1};
  SendMessageW(status, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges));
  SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"part zero"));
  SendMessageW(status, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L"部品 one"));
  g_hook = SetWindowsHookExW(WH_KEYBOARD, KeyboardHook, nullptr, GetCurrentThreadId());
}

void AskForFile(HWND hwnd, bool save) {
  wchar_t path[MAX_PATH] = L"";
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd;
  ofn.lpstrFilter = L"Cable data (*.cbl)\0*.cbl\0";
  ofn.lpstrFile = path;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrDefExt = L"cbl";
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  const BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  wchar_t result[MAX_PATH + 16];
  std::swprintf(result, MAX_PATH + 16, L"%ls %ls", save ? L"save" : L"open", ok ? path : L"cancelled");
  SetDlgItemTextW(hwnd, kResult, result);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      OnCreate(hwnd);
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kOpen:
          AskForFile(hwnd, false);
          break;
        case kSave:
          AskForFile(hwnd, true);
          break;
        case kAsk: {
          const int answer = MessageBoxW(hwnd, L"Go on?", L"Fixture question", MB_YESNO | MB_ICONQUESTION);
          SetDlgItemTextW(hwnd, kResult, answer == IDYES ? L"answer yes" : L"answer no");
          break;
        }
        case kCounter: {
          wchar_t text[32];
          std::swprintf(text, 32, L"clicks %d", ++g_clicks);
          SetDlgItemTextW(hwnd, kCounter, text);
          break;
        }
        default:
          break;
      }
      return 0;
    case WM_CTLCOLORSTATIC: {
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      if (id != kRedArea && id != kBlueArea) break;
      SetBkColor(reinterpret_cast<HDC>(wParam), id == kRedArea ? kFixtureRed : kFixtureBlue);
      return reinterpret_cast<LRESULT>(id == kRedArea ? g_red : g_blue);
    }
    case WM_SIZE:
      SendDlgItemMessageW(hwnd, kStatus, WM_SIZE, 0, 0);
      return 0;
    case WM_DESTROY:
      if (g_hook != nullptr) UnhookWindowsHookEx(g_hook);
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  g_red = CreateSolidBrush(kFixtureRed);
  g_blue = CreateSolidBrush(kFixtureBlue);
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kFixtureClass;
  if (!RegisterClassW(&wc)) return 1;
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"Operator fixture", WS_OVERLAPPEDWINDOW, 0, 0, 600, 360, nullptr,
                              nullptr, instance, nullptr);
  if (hwnd == nullptr) return 1;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  DeleteObject(g_red);
  DeleteObject(g_blue);
  return static_cast<int>(msg.wParam);
}

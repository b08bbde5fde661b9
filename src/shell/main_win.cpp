// The main window: entry point, creation and close sequences, the size rule
// and the status bar. Everything runs on the one window thread.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include "cabledata/cable_file.h"
#include "cabledata/file_system_win.h"
#include "link/serial_link.h"
#include "link/serial_port_win.h"
#include "modes/mode_panel.h"
#include "modes/mode_panel_win.h"
#include "modes/panel_layout.h"
#include "editors/editors_win.h"
#include "shell/about_dialog_win.h"
#include "app/app.h"
#include "app/journal.h"
#include "shell/error_box_win.h"
#include "shell/document_commands.h"
#include "app/localization_win.h"
#include "shell/option_dialog_win.h"
#include "shell/settings_win.h"
#include "shell/startup_check_win.h"

namespace {

constexpr int kStatusBarId = 700;
constexpr wchar_t kMainWindowClass[] = L"MainWindowClass";

App g_app;
HWND g_mainWindow;
HWND g_modePanel;
PrivateProfile* g_profile;
ResourceTexts g_texts(g_app.settings.language);
ErrorBox g_errors(g_texts);
// The test exchanges' link and response queue, and the panel's state: they
// outlive the panel window, which a language switch re-creates.
Win32SerialPort g_port;
SerialLink g_link(g_port, g_errors);
ResponseChannel g_channel;
PanelState g_panelState;
// The results journal, on when the settings name its file.
Win32FileSystem g_journalFiles;
Journal g_journal(g_journalFiles);

const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
DocumentContext Documents();

HWND StatusBar() { return GetDlgItem(g_mainWindow, kStatusBarId); }

void SetStatusParts() {
  RECT rc;
  GetClientRect(g_mainWindow, &rc);
  const int b = (rc.right - rc.left) / 3;
  int edges[3] = {b - 10, 2 * b - 20, 3 * b - 30};
  SendMessageW(StatusBar(), SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges));
}

void SetStatusText(int part, const char16_t* text) {
  SendMessageW(StatusBar(), SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
}

void UpdateDocumentTitle() {
  DocumentTitle title;
  ComposeDocumentTitle(g_texts, g_app.document, title);
  SetStatusText(0, title.status);
  SetWindowTextW(g_mainWindow, W(title.caption));
}

void UpdatePortStatus() {
  char16_t text[32];
  LoadTextOrEmpty(g_texts, g_app.PortOnline == 1 ? 40003 : 40004, text, 32);
  SetStatusText(1, text);
}

// What the panel and the About dialog borrow from the shell.
PanelContext ShellContext() {
  return PanelContext{&g_app, &g_panelState, &g_link, &g_channel, &g_errors, &g_texts,
                      UpdatePortStatus, UpdateDocumentTitle};
}

void RebuildLanguageUi() {
  g_modePanel = RecreateModePanel(g_modePanel, g_mainWindow, ShellContext());
  if (g_modePanel) ShowWindow(g_modePanel, SW_SHOW);
  if (const MENUTEMPLATEW* tmpl = FindLanguageMenu(g_app.settings.language, 101)) {
    if (HMENU menu = LoadMenuIndirectW(tmpl)) {
      HMENU old = GetMenu(g_mainWindow);
      SetMenu(g_mainWindow, menu);
      if (old) DestroyMenu(old);
      CheckMenuRadioItem(menu, 40006, 40009, 40006 + g_app.CurrentMode, MF_BYCOMMAND);
    }
  }
  if (ModePanel* panel = ModePanelOf(g_modePanel)) {
    panel->SetJournal(&g_journal);
    panel->ApplyModeLayout();
  }
}

// Mode commands, from the menu or the panel's radio buttons. The panel
// refuses them while a 1 on 1 or Master/Work exchange runs and finishes a
// running probe exchange first.
void SelectMode(TestMode mode) {
  if (ModePanel* panel = ModePanelOf(g_modePanel)) {
    if (!panel->SelectMode(mode)) return;
  } else {
    g_app.CurrentMode = mode;
  }
  CheckMenuRadioItem(GetMenu(g_mainWindow), 40006, 40009, 40006 + g_app.CurrentMode, MF_BYCOMMAND);
}

void OnCreate(HWND hwnd) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&icc);
  InitCableSet(g_app.cableSet);
  static PrivateProfile profile;
  g_profile = &profile;
  g_app.settings = ReadSettings(profile);
  char16_t journalFile[kMaxPathUnits];
  profile.ReadJournalFile(journalFile, kMaxPathUnits);
  g_journal.SetFile(journalFile);
  g_mainWindow = hwnd;
  SetThreadLanguage(g_app.settings.language);
  MakeFontSet();

  CreateStatusWindowW(WS_CHILD | WS_VISIBLE, L"", hwnd, kStatusBarId);
  SetStatusParts();
  SetStatusText(1, u"");
  SetStatusText(2, u"");
  UpdateDocumentTitle();
  SendMessageW(StatusBar(), WM_SETFONT, reinterpret_cast<WPARAM>(LanguageFont(g_app.settings.language, kNormalFont)),
               TRUE);
  RebuildLanguageUi();

  g_app.PortOnline = StartupPortCheck(hwnd, g_app.settings.port, g_errors) ? 1 : 0;
  g_app.LinkOpen = 0;
  if (g_modePanel) CheckRadioButton(g_modePanel, 2000, 2003, 2000);
  UpdatePortStatus();
}

void OnSize() {
  RECT window, client, status;
  GetWindowRect(g_mainWindow, &window);
  GetClientRect(g_mainWindow, &client);
  GetClientRect(StatusBar(), &status);
  const int frameW = (window.right - window.left) - (client.right - client.left);
  const int frameH = (window.bottom - window.top) - (client.bottom - client.top);
  RECT panel{0, 0, kPanelWidthDu, kPanelHeightDu};
  if (g_modePanel) MapDialogRect(g_modePanel, &panel);
  MoveWindow(g_mainWindow, 0, 0, panel.right + frameW, panel.bottom + status.bottom + frameH, TRUE);
  SetStatusParts();
  GetClientRect(g_mainWindow, &client);
  SendMessageW(StatusBar(), WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
}

// False when the operator cancelled the close.
bool OnClose() {
  if (!MayClose(Documents())) return false;
  if (g_app.LinkOpen && g_modePanel) SendMessageW(g_modePanel, WM_COMMAND, 1314, 0);
  WriteSettings(*g_profile, g_app.settings);
  DestroyWindow(g_mainWindow);
  return true;
}

// The fixed Japanese question for files of the old layout, in every language.
class OldLayoutPrompt final : public ConversionPrompt {
 public:
  bool ConfirmOldLayoutConversion() override {
    return MessageBoxW(g_mainWindow, L"古いファイル形式です。読み込んで変換しますか?", L"ファイル形式",
                       MB_YESNO | MB_ICONWARNING) == IDYES;
  }
};

class MainWindowUi final : public DocumentUi {
 public:
  Answer Ask(uint16_t textId, uint16_t captionId) override {
    char16_t text[32], caption[16];
    LoadTextOrEmpty(g_texts, textId, text, 32);
    LoadTextOrEmpty(g_texts, captionId, caption, 16);
    switch (MessageBoxExW(g_mainWindow, W(text), W(caption), MB_YESNOCANCEL | MB_ICONEXCLAMATION, ThreadLanguage())) {
      case IDYES:
        return Answer::kYes;
      case IDNO:
        return Answer::kNo;
      default:
        return Answer::kCancel;
    }
  }

  bool ChooseFile(FileDialogKind kind, ChosenFile& file) override {
    const bool open = kind == FileDialogKind::kOpen;
    char16_t filter[40], title[16];
    if (BuildFileFilter(g_texts, filter, 40) == 0) return false;
    LoadTextOrEmpty(g_texts, open ? 40039 : 40040, title, 16);
    file = ChosenFile{};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = g_mainWindow;
    ofn.lpstrFilter = W(filter);
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = reinterpret_cast<wchar_t*>(file.path);
    ofn.nMaxFile = kDocumentPathUnits;
    ofn.lpstrFileTitle = reinterpret_cast<wchar_t*>(file.name);
    ofn.nMaxFileTitle = kDocumentPathUnits;
    ofn.lpstrTitle = W(title);
    ofn.Flags = open ? OFN_FILEMUSTEXIST | OFN_HIDEREADONLY : OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    ofn.lpstrDefExt = L"cbl";
    if (!(open ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn))) {
      CommDlgExtendedError();
      return false;
    }
    file.nameOffset = ofn.nFileOffset;
    return true;
  }

  void ShowDocumentTitle() override { UpdateDocumentTitle(); }

  void RefreshPanel() override {
    if (ModePanel* panel = ModePanelOf(g_modePanel)) {
      panel->RefreshPanel();
      panel->RepaintPanel();
    }
  }
};

DocumentContext Documents() {
  static Win32FileSystem files;
  static OldLayoutPrompt prompt;
  static MainWindowUi ui;
  return DocumentContext{g_app.cableSet, g_app.document, {files, g_errors, prompt}, ui};
}

void EditCableData(HWND hwnd) {
  const EditorEnv env{g_app.settings.language, &g_texts};
  if (RunCableListDialog(hwnd, env, g_app.cableSet) == 1) {
    MarkDocumentChanged(g_app.document);
    UpdateDocumentTitle();
  }
  // Also after a close without changes: the list may have chosen another cable.
  if (ModePanel* panel = ModePanelOf(g_modePanel)) {
    panel->RefreshPanel();
    panel->RepaintPanel();
  }
}

// Before the link serves another window (About) or the panel is re-created,
// a running exchange ends: its notices would reach the wrong window. So it
// does before anything replaces or edits the cable set: no test is judged
// against, or stores into, a cable that changed under it.
void EndRunningExchange() {
  if (ModePanel* panel = ModePanelOf(g_modePanel)) panel->EndExchangeNow();
}

// The whole interface in the (possibly same) language just chosen.
void SwitchLanguage(HWND hwnd) {
  EndRunningExchange();
  SetThreadLanguage(g_app.settings.language);
  UpdateDocumentTitle();
  UpdatePortStatus();
  RebuildLanguageUi();
  if (g_modePanel) CheckRadioButton(g_modePanel, 2000, 2003, 2000 + g_app.CurrentMode);
  SendMessageW(hwnd, WM_SIZE, 0, MAKELPARAM(1, 1));
  SendMessageW(StatusBar(), WM_SETFONT, reinterpret_cast<WPARAM>(LanguageFont(g_app.settings.language, kNormalFont)),
               TRUE);
}

void OnCommand(HWND hwnd, WORD id) {
  switch (id) {
    case 40001:
      EndRunningExchange();
      OpenDocument(Documents());
      break;
    case 40002:
      SaveDocument(Documents());
      break;
    case 40003:
      SaveDocumentAs(Documents());
      break;
    case 40004:
      EndRunningExchange();
      InitializeDocument(Documents());
      break;
    case 40005:
      SendMessageW(hwnd, WM_CLOSE, 0, 0);
      break;
    case 40006:
    case 40007:
    case 40008:
    case 40009:
      SelectMode(static_cast<TestMode>(id - 40006));
      break;
    case 40010:
      EndRunningExchange();
      EditCableData(hwnd);
      break;
    case 40011:
      if (RunOptionDialog(hwnd, g_texts, g_app.settings) == 1) SwitchLanguage(hwnd);
      break;
    case 40012:
      EndRunningExchange();
      RunAboutDialog(hwnd, ShellContext());
      break;
    default:
      break;
  }
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      OnCreate(hwnd);
      return 0;
    case WM_SIZE:
      // Moving a minimized window would only throw it off screen.
      if (wParam != SIZE_MINIMIZED && g_mainWindow) OnSize();
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_COMMAND:
      OnCommand(hwnd, LOWORD(wParam));
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

// With /user-folder (the installed Start menu shortcut's) the settings and
// cable sets live in %LOCALAPPDATA%\Pinvoro, made on first use: a user cannot
// write to the installation folder the program would otherwise start in.
void EnterUserFolder(const wchar_t* commandLine) {
  while (*commandLine == L' ' || *commandLine == L'\t') ++commandLine;
  if (lstrcmpiW(commandLine, L"/user-folder") != 0) return;
  wchar_t dir[MAX_PATH];
  const DWORD n = ExpandEnvironmentStringsW(L"%LOCALAPPDATA%\\Pinvoro", dir, MAX_PATH);
  if (n == 0 || n > MAX_PATH || dir[0] == L'%') return;
  CreateDirectoryW(dir, nullptr);
  SetCurrentDirectoryW(dir);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int show) {
  EnterUserFolder(commandLine);
  HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(100));
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = icon;
  wc.hIconSm = icon;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  wc.lpszClassName = kMainWindowClass;
  if (!RegisterClassExW(&wc)) return 0;

  // A provisional Japanese caption; creation puts the configured language's.
  wchar_t caption[64] = L"";
  {
    LanguageIndex japanese = kJapanese;
    ResourceTexts texts(japanese);
    LoadTextOrEmpty(texts, 40024, reinterpret_cast<char16_t*>(caption), 64);
  }
  HWND hwnd = CreateWindowExW(WS_EX_OVERLAPPEDWINDOW, kMainWindowClass, caption, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                              LoadMenuW(instance, MAKEINTRESOURCEW(101)), instance, nullptr);
  if (!hwnd) return 0;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);

  MSG msg;
  BOOL got;
  // An error from GetMessageW ends the loop rather than spinning on it.
  while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
    if (g_modePanel && IsDialogMessageW(g_modePanel, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return got == 0 ? static_cast<int>(msg.wParam) : 0;
}

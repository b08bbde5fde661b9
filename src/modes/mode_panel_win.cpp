#include "modes/mode_panel_win.h"

#include <commctrl.h>

#include <new>
#include <string>

#include "app/localization_win.h"

namespace {

const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

constexpr COLORREF kGreyBackground = RGB(191, 191, 191);
constexpr COLORREF kGreyText = RGB(207, 207, 207);
constexpr COLORREF kOkText = RGB(0, 127, 255);
constexpr COLORREF kNgText = RGB(255, 63, 0);

// Backgrounds of the five brushes, by PinColour Grey..Red.
constexpr COLORREF kBrushColours[5] = {kGreyBackground, RGB(247, 247, 0), RGB(255, 255, 255), RGB(0, 127, 255),
                                       RGB(255, 63, 0)};

class Win32PanelWidgets final : public PanelWidgets {
 public:
  Win32PanelWidgets(HWND panel, const PanelContext& context) : panel_(panel), context_(context) {}

  void SetText(uint16_t control, const char16_t* text) override { SetDlgItemTextW(panel_, control, W(text)); }
  void AppendLog(const char16_t* text) override {
    SendDlgItemMessageW(panel_, kResultLog, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
  }
  void SetLog(const char16_t* text) override {
    const HWND log = GetDlgItem(panel_, kResultLog);
    SetWindowTextW(log, W(text));
    const LRESULT end = GetWindowTextLengthW(log);
    SendMessageW(log, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(log, EM_SCROLLCARET, 0, 0);
  }
  void Enable(uint16_t control, bool on) override { EnableWindow(GetDlgItem(panel_, control), on ? TRUE : FALSE); }
  void Focus(uint16_t control) override { SetFocus(GetDlgItem(panel_, control)); }
  void CheckModeRadio(TestMode mode) override {
    CheckRadioButton(panel_, kModeRadio, kModeRadio + 3, kModeRadio + static_cast<int>(mode));
  }
  bool IsChecked(uint16_t control) override { return IsDlgButtonChecked(panel_, control) == BST_CHECKED; }
  void SetPinNoRange(int32_t low, int32_t high) override {
    SendDlgItemMessageW(panel_, kPinNoUpDown, UDM_SETBASE, 10, 0);
    SendDlgItemMessageW(panel_, kPinNoUpDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(GetDlgItem(panel_, kPinNoEdit)),
                        0);
    SendDlgItemMessageW(panel_, kPinNoUpDown, UDM_SETRANGE32, static_cast<WPARAM>(low), high);
  }
  void SetPinNo(int32_t value) override {
    SendDlgItemMessageW(panel_, kPinNoUpDown, UDM_SETPOS32, 0, value);
    SetDlgItemInt(panel_, kPinNoEdit, static_cast<UINT>(value), FALSE);
  }
  bool ReadPinNo(int32_t& value) override {
    // The field as typed: the up-down's own position would quietly keep the
    // last value within its range.
    BOOL ok = FALSE;
    const UINT typed = GetDlgItemInt(panel_, kPinNoEdit, &ok, FALSE);
    if (!ok) return false;
    value = typed > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(typed);
    return true;
  }
  void SetLogFont(LogFont font) override {
    logFont = font;
    const HFONT f =
        LanguageFont(context_.app->settings.language, font == LogFont::kMediumBold ? kMediumBoldFont : kNormalFont);
    SendDlgItemMessageW(panel_, kResultLog, WM_SETFONT, reinterpret_cast<WPARAM>(f), TRUE);
  }
  void FillSelector(const SelectorEntries& entries, int selected) override {
    const HWND selector = GetDlgItem(panel_, kCableSelector);
    while (SendMessageW(selector, CB_DELETESTRING, 0, 0) > 0) {
    }
    for (const auto& entry : entries.text)
      SendMessageW(selector, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(entry));
    SendMessageW(selector, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  }
  int SelectorSelection() override {
    return static_cast<int>(SendDlgItemMessageW(panel_, kCableSelector, CB_GETCURSEL, 0, 0));
  }
  void StartTimer(uint16_t id, uint32_t ms) override { SetTimer(panel_, id, ms, nullptr); }
  void StopTimer(uint16_t id) override { KillTimer(panel_, id); }
  void PostTestStop(uint32_t exchange) override { PostMessageW(panel_, WM_TEST_STOP, exchange, 0); }
  void PostFrameQueued() override { PostMessageW(panel_, WM_FRAME_QUEUED, 0, 0); }
  void Repaint() override {
    // Only the cells whose colour changed are painted, and at once: during a
    // probe the records come faster than a whole panel paints (under Wine
    // noticeably), and a repaint of everything per record kept restarting
    // from the first cell, so the last cells never showed their new colour.
    RedrawWindow(GetDlgItem(panel_, kResultBox), nullptr, nullptr, RDW_INVALIDATE);
    if (colourOf_ == nullptr) return;
    for (int k = 0; k < kPinCount; ++k) {
      const auto id = static_cast<uint16_t>(kPinCellBase + k);
      if (colourOf_->PinCellColour(id) != shown_[k])
        RedrawWindow(GetDlgItem(panel_, id), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
  }
  LogFont logFont = LogFont::kNormal;  // as last set, for a panel made anew
  // The panel whose colours the cells show, once it exists.
  void Attach(ModePanel& panel) { colourOf_ = &panel; }
  // What a cell was last painted in.
  void Painted(uint16_t control, PinColour colour) {
    const int k = control - kPinCellBase;
    if (k >= 0 && k < kPinCount) shown_[k] = colour;
  }
  void ShowPortStatus() override {
    if (context_.updatePortStatus) context_.updatePortStatus();
  }
  void ShowDocumentTitle() override {
    if (context_.updateDocumentTitle) context_.updateDocumentTitle();
  }
  void PostMainCommand(uint16_t id) override { PostMessageW(GetParent(panel_), WM_COMMAND, id, 0); }
  void SendMainCommand(uint16_t id) override { SendMessageW(GetParent(panel_), WM_COMMAND, id, 0); }
  bool AskYesNo(const char16_t* text, const char16_t* caption) override {
    return MessageBoxExW(panel_, W(text), W(caption), MB_YESNO | MB_ICONEXCLAMATION, ThreadLanguage()) == IDYES;
  }

 private:
  HWND panel_;
  PanelContext context_;
  ModePanel* colourOf_ = nullptr;
  PinColour shown_[kPinCount] = {};  // Default until painted
};

// Everything one panel window owns. There is one panel at a time (a language
// switch destroys the old one before it creates the new), so it lives in
// static storage rather than on the heap.
struct PanelWindow {
  PanelWindow(HWND window, const PanelContext& context)
      : widgets(window, context),
        notifier(window),
        panel(PanelEnvironment{*context.app, *context.state, *context.link, *context.channel, *context.errors,
                               *context.texts},
              notifier, widgets) {
    widgets.Attach(panel);
  }
  Win32PanelWidgets widgets;
  WindowNotifier notifier;
  ModePanel panel;
  HBRUSH brushes[5] = {};
};

alignas(PanelWindow) unsigned char g_storage[sizeof(PanelWindow)];
PanelWindow* g_window = nullptr;  // in g_storage while a panel exists
HWND g_windowHandle = nullptr;

PanelWindow* WindowOf(HWND panel) {
  return reinterpret_cast<PanelWindow*>(GetWindowLongPtrW(panel, DWLP_USER));
}

INT_PTR PaintCell(PanelWindow& w, HDC dc, HWND control) {
  const auto id = static_cast<uint16_t>(GetDlgCtrlID(control));
  const PinColour colour = w.panel.PinCellColour(id);
  w.widgets.Painted(id, colour);
  switch (colour) {
    case PinColour::Default:
      return FALSE;
    case PinColour::ResultOk:
    case PinColour::ResultNg:
      SetTextColor(dc, colour == PinColour::ResultOk ? kOkText : kNgText);
      SetBkColor(dc, kGreyBackground);
      return reinterpret_cast<INT_PTR>(w.brushes[0]);
    default: {
      const int i = static_cast<int>(colour) - static_cast<int>(PinColour::Grey);
      if (colour == PinColour::Grey) SetTextColor(dc, kGreyText);
      SetBkColor(dc, kBrushColours[i]);
      return reinterpret_cast<INT_PTR>(w.brushes[i]);
    }
  }
}

INT_PTR CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    if (g_window != nullptr) return FALSE;  // a second panel stays inert
    const PanelContext& context = *reinterpret_cast<const PanelContext*>(lParam);
    g_window = new (g_storage) PanelWindow(hwnd, context);
    g_windowHandle = hwnd;
    for (int i = 0; i < 5; ++i) g_window->brushes[i] = CreateSolidBrush(kBrushColours[i]);
    SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(g_window));
    SendDlgItemMessageW(hwnd, kResultBox, WM_SETFONT,
                        reinterpret_cast<WPARAM>(LanguageFont(context.app->settings.language, kLargeBoldFont)),
                        TRUE);
    g_window->panel.OnInit();
    return FALSE;  // the focus is set
  }
  PanelWindow* w = WindowOf(hwnd);
  if (w == nullptr) return FALSE;
  switch (msg) {
    case WM_DESTROY:
      w->panel.OnDestroy();
      for (HBRUSH b : w->brushes) DeleteObject(b);
      SetWindowLongPtrW(hwnd, DWLP_USER, 0);
      w->~PanelWindow();
      g_window = nullptr;
      g_windowHandle = nullptr;
      return FALSE;
    case WM_COMMAND:
      return w->panel.OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_TIMER:
      w->panel.OnTimer(static_cast<uint16_t>(wParam));
      return TRUE;
    case WM_CTLCOLORSTATIC:
      return PaintCell(*w, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_LINK_RECEIVED:
      w->panel.OnLinkReceived();
      return TRUE;
    case WM_FRAME_QUEUED:
      w->panel.OnFrameQueued();
      return TRUE;
    case WM_TEST_STOP:
      w->panel.OnTestStop(static_cast<uint32_t>(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

HWND CreateModePanel(HWND mainWindow, const PanelContext& context) {
  if (g_window != nullptr) return nullptr;
  const DLGTEMPLATE* tmpl = FindLanguageDialog(context.app->settings.language, 107);
  if (!tmpl) return nullptr;
  return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), tmpl, mainWindow, PanelProc,
                                    reinterpret_cast<LPARAM>(&context));
}

HWND RecreateModePanel(HWND old, HWND mainWindow, const PanelContext& context) {
  const auto textOf = [old](int id) {
    const HWND control = GetDlgItem(old, id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
  };
  std::wstring result, log;
  LogFont font = LogFont::kNormal;
  if (old != nullptr) {
    result = textOf(kResultBox);
    log = textOf(kResultLog);
    if (g_window != nullptr && g_windowHandle == old) font = g_window->widgets.logFont;
    DestroyWindow(old);
  }
  const HWND panel = CreateModePanel(mainWindow, context);
  if (panel != nullptr && g_window != nullptr) {
    g_window->widgets.SetText(kResultBox, reinterpret_cast<const char16_t*>(result.c_str()));
    g_window->widgets.SetLogFont(font);
    g_window->widgets.SetLog(reinterpret_cast<const char16_t*>(log.c_str()));
  }
  return panel;
}

ModePanel* ModePanelOf(HWND panel) {
  if (panel == nullptr || panel != g_windowHandle || g_window == nullptr) return nullptr;
  return &g_window->panel;
}

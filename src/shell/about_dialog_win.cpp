#include "shell/about_dialog_win.h"

#include <optional>

#include "shell/about.h"
#include "app/localization_win.h"

namespace {

enum : int { kProductText = 1000, kStatusText = 1001 };

const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

class Win32AboutWidgets final : public AboutWidgets {
 public:
  Win32AboutWidgets(HWND dialog, void (*updatePortStatus)()) : dialog_(dialog), updatePortStatus_(updatePortStatus) {}

  void ShowStatusText(const char16_t* text) override { SetDlgItemTextW(dialog_, kStatusText, W(text)); }
  void ShowPortStatus() override {
    if (updatePortStatus_) updatePortStatus_();
  }
  void StartTimer(uint16_t id, uint32_t ms) override { SetTimer(dialog_, id, ms, nullptr); }
  void StopTimer(uint16_t id) override { KillTimer(dialog_, id); }
  void PostTestStop() override { PostMessageW(dialog_, WM_TEST_STOP, 0, 0); }
  void PostFrameQueued() override { PostMessageW(dialog_, WM_FRAME_QUEUED, 0, 0); }

 private:
  HWND dialog_;
  void (*updatePortStatus_)();
};

// What one open dialog owns; made when its window exists.
struct AboutWindow {
  AboutWindow(HWND dialog, const PanelContext& c)
      : widgets(dialog, c.updatePortStatus),
        notifier(dialog),
        check(*c.app, *c.link, *c.channel, *c.errors, *c.texts, notifier, widgets) {}
  Win32AboutWidgets widgets;
  WindowNotifier notifier;
  AboutCheck check;
};

struct AboutDialog {
  const PanelContext& context;
  std::optional<AboutWindow> window;
};

// Over the middle of the owner, the size kept.
void CentreOn(HWND dialog, HWND owner) {
  RECT o, d;
  if (!GetWindowRect(owner, &o) || !GetWindowRect(dialog, &d)) return;
  const int x = o.left + ((o.right - o.left) - (d.right - d.left)) / 2;
  const int y = o.top + ((o.bottom - o.top) - (d.bottom - d.top)) / 2;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void OnInit(HWND dialog, AboutDialog& d) {
  char16_t product[kProductTextUnits];
  ComposeProductText(*d.context.texts, product);
  SetDlgItemTextW(dialog, kProductText, W(product));
  CentreOn(dialog, GetWindow(dialog, GW_OWNER));
  d.window.emplace(dialog, d.context);
  d.window->check.OnInit();
  SetFocus(GetDlgItem(dialog, IDOK));
}

void End(HWND dialog, AboutDialog& d, INT_PTR result) {
  // The link is closed while the window its workers notify still exists.
  d.window->check.OnEnd();
  EndDialog(dialog, result);
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    OnInit(dialog, *reinterpret_cast<AboutDialog*>(lParam));
    return FALSE;  // the focus is set
  }
  auto* d = reinterpret_cast<AboutDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (d == nullptr || !d->window) return FALSE;
  AboutCheck& check = d->window->check;
  switch (msg) {
    case WM_LINK_RECEIVED:
      check.OnLinkReceived();
      return TRUE;
    case WM_FRAME_QUEUED:
      check.OnFrameQueued();
      return TRUE;
    case WM_TEST_STOP:
      check.OnTestStop();
      return TRUE;
    case WM_TIMER:
      check.OnTimer(static_cast<uint16_t>(wParam));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return FALSE;
      End(dialog, *d, LOWORD(wParam));
      return TRUE;
    case WM_DESTROY:
      check.OnEnd();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR RunAboutDialog(HWND owner, const PanelContext& context) {
  const DLGTEMPLATE* tmpl = FindLanguageDialog(context.app->settings.language, 102);
  if (tmpl == nullptr) return IDCANCEL;
  AboutDialog d{context, std::nullopt};
  const INT_PTR result =
      DialogBoxIndirectParamW(GetModuleHandleW(nullptr), tmpl, owner, AboutProc, reinterpret_cast<LPARAM>(&d));
  return result == IDOK ? IDOK : IDCANCEL;
}

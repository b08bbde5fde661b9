// The panel's window layer: dialog 107 from the program's resources driven by
// messages, with real timers, the link's notices as window messages, and the
// simulated unit behind the in-memory port. Needs a display (Xvfb).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "modes/mode_panel_win.h"
#include "app/localization_win.h"
#include "support/memory_serial_port.h"
#include "support/model_unit.h"

namespace {

class Errors final : public ErrorReporter {
 public:
  void ShowError(uint16_t code) override { codes.push_back(code); }
  std::vector<uint16_t> codes;
};

std::vector<WORD> g_mainCommands;
int g_statusUpdates = 0;

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND) {
    g_mainCommands.push_back(LOWORD(wParam));
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

struct WinPanel {
  WinPanel() {
    static bool once = [] {
      INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
      InitCommonControlsEx(&icc);
      MakeFontSet();
      WNDCLASSEXW wc{};
      wc.cbSize = sizeof wc;
      wc.lpfnWndProc = MainProc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = L"PanelTestMain";
      return RegisterClassExW(&wc) != 0;
    }();
    EXPECT_TRUE(once);
    g_mainCommands.clear();
    g_statusUpdates = 0;
    InitCableSet(app.cableSet);
    app.settings.port = kDefaultPortSettings;
    app.settings.language = kEnglish;
    main = CreateWindowExW(0, L"PanelTestMain", L"", WS_OVERLAPPEDWINDOW, 0, 0, 1200, 800, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
    const PanelContext context{&app, &state, &link, &channel, &errors, &texts, [] { ++g_statusUpdates; }};
    panel = CreateModePanel(main, context);
    if (ModePanel* p = ModePanelOf(panel)) p->ApplyModeLayout();
  }
  ~WinPanel() {
    if (main) DestroyWindow(main);  // the panel with it; an open link is closed
    Pump(20);
  }

  static void Pump(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      MsgWaitForMultipleObjectsEx(0, nullptr, 1, QS_ALLINPUT, 0);
    } while (std::chrono::steady_clock::now() < end);
  }
  template <typename Done>
  static bool PumpUntil(Done done, int ms = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      Pump(1);
    }
    return true;
  }

  std::wstring Text(int id) const {
    wchar_t buffer[512];
    GetDlgItemTextW(panel, id, buffer, 512);
    return buffer;
  }
  bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(panel, id)) != FALSE; }
  // Asks the panel for a control's colours as painting would.
  struct Paint {
    COLORREF background;
    COLORREF text;
  };
  Paint ColoursOf(int id) const {
    HDC dc = GetDC(panel);
    SendMessageW(panel, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(GetDlgItem(panel, id)));
    const Paint p{GetBkColor(dc), GetTextColor(dc)};
    ReleaseDC(panel, dc);
    return p;
  }
  bool RunOneOnOne() {
    SendDlgItemMessageW(panel, kOneOnOneStart, BM_CLICK, 0, 0);
    return PumpUntil([&] { return app.LinkOpen == 0 && Enabled(kOneOnOneStart); });
  }

  App app{};
  ModelUnit unit;
  MemorySerialPort port{unit};
  Errors errors;
  ResourceTexts texts{app.settings.language};
  PanelState state{};
  ResponseChannel channel{};
  SerialLink link{port, errors};
  HWND main = nullptr;
  HWND panel = nullptr;
};

TEST(ModePanelWin, OneOnOneThroughTheWindowMessages) {
  auto w = std::make_unique<WinPanel>();
  ASSERT_NE(w->panel, nullptr) << "no window without a display: run under Xvfb";
  EXPECT_EQ(w->Text(kPinNoEdit), L"50");
  w->unit.With([](TesterModel& m) {
    ConnectionRow rows[kPinCount];
    InitConnectionRows(rows);
    for (unsigned p = 0; p < 50; ++p)
      if (p != 4) {
        PinSetAdd(rows[p].bits, p + 50);
        PinSetAdd(rows[p + 50].bits, p);
      }
    m.Plug(rows);
  });
  ASSERT_TRUE(w->RunOneOnOne());
  EXPECT_EQ(w->Text(kResultLog), L"A05  - B05  No connection\r\n");
  EXPECT_EQ(w->Text(kResultBox), L"NG");
  EXPECT_EQ(w->Text(1321), L"1");
  EXPECT_EQ(w->Text(1323), L"1");
  EXPECT_EQ(w->ColoursOf(kResultBox).text, RGB(255, 63, 0));
  EXPECT_GE(g_statusUpdates, 1);
  EXPECT_TRUE(w->errors.codes.empty());

  // No answer: the 500 ms timer reports it and the stop follows.
  w->unit.With([](TesterModel& m) { m.Faults().noAnswer = true; });
  SendDlgItemMessageW(w->panel, kOneOnOneStart, BM_CLICK, 0, 0);
  EXPECT_FALSE(w->Enabled(kOneOnOneStart));
  ASSERT_TRUE(WinPanel::PumpUntil([&] { return w->Enabled(kOneOnOneStart); }, 2000));
  EXPECT_EQ(w->errors.codes, (std::vector<uint16_t>{kErrorCommTimeout}));
  EXPECT_EQ(w->app.LinkOpen, 0);
  EXPECT_EQ(w->Text(1323), L"1");
}

TEST(ModePanelWin, ColoursPinNoAndTheCommandsToTheMainWindow) {
  auto w = std::make_unique<WinPanel>();
  ASSERT_NE(w->panel, nullptr) << "no window without a display: run under Xvfb";
  SetDlgItemTextW(w->panel, kPinNoEdit, L"70");
  EXPECT_EQ(w->Text(kPinNoEdit), L"50");
  SetDlgItemTextW(w->panel, kPinNoEdit, L"5");
  EXPECT_EQ(w->ColoursOf(kPinCellBase + 4).background, RGB(247, 247, 0));
  const WinPanel::Paint b06 = w->ColoursOf(kPinCellBase + 55);
  EXPECT_EQ(b06.background, RGB(191, 191, 191));
  EXPECT_EQ(b06.text, RGB(207, 207, 207));
  const COLORREF counter = w->ColoursOf(kOkCounter).background;  // the dialog's own colours
  EXPECT_NE(counter, RGB(191, 191, 191));
  EXPECT_NE(counter, RGB(247, 247, 0));

  // A radio click asks for the mode; Edit asks for the cable editor.
  SendDlgItemMessageW(w->panel, kModeRadio + 2, BM_CLICK, 0, 0);
  SendDlgItemMessageW(w->panel, kEditButton, BM_CLICK, 0, 0);
  WinPanel::Pump(20);
  EXPECT_EQ(g_mainCommands, (std::vector<WORD>{40010, 40008}));
  ASSERT_TRUE(ModePanelOf(w->panel)->SelectMode(kMasterWork));
  EXPECT_TRUE(w->Enabled(kReadMasterButton));
  EXPECT_FALSE(w->Enabled(kOneOnOneStart));
  EXPECT_EQ(IsDlgButtonChecked(w->panel, kModeRadio + 2), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(w->panel, kModeRadio), BST_UNCHECKED);

  // The selector picks the cable the panel shows.
  CopyText(w->app.cableSet.cables[2].pinNames[0], kPinNameUnits, u"Shield");
  SendDlgItemMessageW(w->panel, kCableSelector, CB_SETCURSEL, 2, 0);
  SendMessageW(w->panel, WM_COMMAND, MAKEWPARAM(kCableSelector, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(GetDlgItem(w->panel, kCableSelector)));
  EXPECT_EQ(w->app.cableSet.currentCable, 2);
  EXPECT_EQ(w->Text(kPinCellBase), L"Shield");
  EXPECT_EQ(SendDlgItemMessageW(w->panel, kCableSelector, CB_GETCOUNT, 0, 0), 10);
}

}  // namespace

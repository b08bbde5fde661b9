// The program starts: the settings file, the start-up look at the tester
// unit's port, the main window in each language, and the clean exit.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scenario_win.h"

namespace {

std::wstring ErrorText(int code, const wchar_t* message) {
  return L"Code " + std::to_wstring(code) + L":\r\n" + message + L"\r\n";
}

std::vector<IniEntry> SixKeys(const wchar_t* port, const wchar_t* speed, const wchar_t* dataL, const wchar_t* stopB,
                              const wchar_t* parity, const wchar_t* lang) {
  return {{L"RS232C", L"Port", port},   {L"RS232C", L"Speed", speed},   {L"RS232C", L"DataL", dataL},
          {L"RS232C", L"StopB", stopB}, {L"RS232C", L"Parity", parity}, {L"RS232C", L"Lang", lang}};
}

// The keys sorted: a program that finds some keys in the file rewrites them
// in place and adds the others at the end.
std::vector<IniEntry> Sorted(std::vector<IniEntry> entries) {
  std::sort(entries.begin(), entries.end(), [](const IniEntry& a, const IniEntry& b) {
    return a.section != b.section ? a.section < b.section : a.key < b.key;
  });
  return entries;
}

ModemLinesState ModemLines() {
  ModemLinesState state{};
  EXPECT_TRUE(UnitSim::ReadModemLines(state)) << "no modem-lines state (PINVORO_MODEMLINES_STATE)";
  return state;
}

class Startup : public ProgramTest {
 protected:
  // The one error box of the start-up, answered; then the main window,
  // which must come without a second box.
  HWND ExpectOneErrorBoxThenWindow(const Language& language, int code, const wchar_t* message) {
    ExpectBox(language.errorCaption, ErrorText(code, message), IDOK, L"box", true);
    HWND main = op_.WaitForWindow(kMainWindowClass);
    EXPECT_NE(main, nullptr) << "no main window after the error box";
    // The boxes come before the window is shown: none may be left now.
    ExpectNoBox();
    return main;
  }

  void ExpectNoBox() {
    const std::vector<ProgramDialog> boxes = op_.Dialogs();
    EXPECT_TRUE(boxes.empty()) << "a box: " << Narrow(boxes.front().text);
  }
};

TEST_F(Startup, WithoutSettingsFileAndWithCom1InUseInJapanese) {
  // Another program holds COM1, so the program cannot open it; the unit is
  // ready, so only the open can have failed.
  HANDLE held = CreateFileW(L"\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE) << "COM1 is not served by unitsim: run through run_e2e.sh";
  const uint32_t dtrDrops = ModemLines().dtrDrops;
  StartProgram();
  HWND main = ExpectOneErrorBoxThenWindow(kJapanese, 1025, kJapanese.cannotOpen);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(Status(1), kJapanese.portAbnormal);
  EXPECT_EQ(ModemLines().dtrDrops, dtrDrops) << "the program drove DTR on a port it could not open";
  Snapshot(main);

  op_.ChooseMenu(kMenuExit);
  ExpectExitsWithZero();
  CloseHandle(held);
  // The defaults: COM1, 38400 bit/s, 8 data bits, one stop bit, no parity, Japanese.
  EXPECT_EQ(SettingsFile(), SixKeys(L"1", L"38400", L"8", L"0", L"0", L"0"));
}

TEST_F(Startup, PortsThatDoNotExistCannotBeOpened) {
  // COM9 names a device that is not there; COM200 is not mapped at all.
  for (int port : {9, 200}) {
    SCOPED_TRACE("COM" + std::to_string(port));
    WriteSettingsFile(SettingsFor(kEnglish, port));
    StartProgram();
    HWND main = ExpectOneErrorBoxThenWindow(kEnglish, 1025, kEnglish.cannotOpen);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(Status(1), kEnglish.portAbnormal);
    if (port == 200) Snapshot(main);
    op_.ChooseMenu(kMenuExit);
    ExpectExitsWithZero();
    // The port read is the port written back.
    EXPECT_EQ(Sorted(SettingsFile()), Sorted(SixKeys(std::to_wstring(port).c_str(), L"38400", L"8", L"0", L"0", L"2")));
  }
}

class UnitNotReady : public Startup, public ::testing::WithParamInterface<Language> {};

TEST_P(UnitNotReady, ShowsPortNotOnlineOnce) {
  const Language& language = GetParam();
  ASSERT_EQ(unit_.Do("dsr off"), "ok");
  WriteSettingsFile(SettingsFor(language));
  StartProgram();
  HWND main = ExpectOneErrorBoxThenWindow(language, 1027, language.notOnline);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(Status(1), language.portAbnormal);
  // A unit that is not ready is asked nothing.
  EXPECT_EQ(unit_.Frames(), std::vector<std::string>{});
  Snapshot(main);
}

INSTANTIATE_TEST_SUITE_P(Languages, UnitNotReady, ::testing::ValuesIn(kLanguages), LanguageName);

class ReadyUnit : public Startup, public ::testing::WithParamInterface<Language> {
 protected:
  HWND StartInLanguage() {
    HWND main = StartIn(GetParam());
    ExpectNoBox();
    return main;
  }
};

TEST_P(ReadyUnit, StatusBarAndCaptionInTheLanguage) {
  const Language& language = GetParam();
  HWND main = StartInLanguage();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(Status(0), language.newDocument);
  EXPECT_EQ(Status(1), language.portNormal);
  EXPECT_EQ(Status(2), L"");
  EXPECT_EQ(Operator::Text(main), language.Caption());
  Snapshot(main);
}

// The size of the mode panel's 564 x 304 dialog units in pixels, for the
// panel template of the language: the platform converts by the template's
// font, so a panel made here from the program's own template tells.
SIZE PanelPixels(LANGID language) {
  SIZE size{0, 0};
  WithProgramResource(MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(107), language, [&](const void* tmpl) {  // RT_DIALOG
    // The panel is a child window: it needs a parent, which never shows.
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND panel = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), static_cast<const DLGTEMPLATE*>(tmpl), parent,
                                            [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    RECT r{0, 0, 564, 304};
    if (panel != nullptr && MapDialogRect(panel, &r)) size = {r.right, r.bottom};
    if (panel != nullptr) DestroyWindow(panel);
    DestroyWindow(parent);
  });
  return size;
}

TEST_P(ReadyUnit, WindowFollowsThePanelAtTheTopLeftCorner) {
  HWND main = StartInLanguage();
  ASSERT_NE(main, nullptr);
  const SIZE panelSize = PanelPixels(GetParam().id);
  ASSERT_GT(panelSize.cx, 0) << "the panel template of the language was not found";

  RECT window, client, panel, status;
  GetWindowRect(main, &window);
  GetClientRect(main, &client);
  HWND panelWindow = FindWindowExW(main, nullptr, L"#32770", nullptr);
  ASSERT_NE(panelWindow, nullptr);
  GetWindowRect(panelWindow, &panel);
  GetWindowRect(op_.Control(kStatusBarId), &status);
  POINT origin{0, 0};
  ClientToScreen(main, &origin);

  EXPECT_EQ(window.left, 0);
  EXPECT_EQ(window.top, 0);
  // The panel fills the client area above the status bar...
  EXPECT_EQ(panel.left, origin.x);
  EXPECT_EQ(panel.top, origin.y);
  EXPECT_EQ(panel.right - panel.left, panelSize.cx);
  EXPECT_EQ(panel.bottom - panel.top, panelSize.cy);
  EXPECT_EQ(client.right, panelSize.cx);
  EXPECT_EQ(status.top, panel.bottom);
  EXPECT_EQ(status.bottom, origin.y + client.bottom);
  // ...and the frame is the one of a captioned window with a menu bar.
  RECT outer{0, 0, client.right, client.bottom};
  AdjustWindowRectEx(&outer, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, TRUE, WS_EX_OVERLAPPEDWINDOW);
  EXPECT_EQ(window.right - window.left, outer.right - outer.left);
  EXPECT_EQ(window.bottom - window.top, outer.bottom - outer.top);
  Snapshot(main);
}

INSTANTIATE_TEST_SUITE_P(Languages, ReadyUnit, ::testing::ValuesIn(kLanguages), LanguageName);

TEST_F(Startup, LooksAtDsrWithoutSendingAFrame) {
  const uint32_t dtrDrops = ModemLines().dtrDrops;
  HWND main = StartIn(kEnglish);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(Status(1), kEnglish.portNormal);
  // The port was opened with DTR raised and closed again, DTR dropped...
  const ModemLinesState lines = ModemLines();
  EXPECT_EQ(lines.dtr, 0u);
  EXPECT_EQ(lines.dtrDrops, dtrDrops + 1);
  EXPECT_EQ(unit_.Do("dtr?"), "ok off");
  // ...and nothing went over the line either way.
  EXPECT_EQ(unit_.Frames(), std::vector<std::string>{});
  Snapshot(main);
}

class Close : public Startup {};

TEST_F(Close, AltF4WritesTheSettingsAndKeepsForeignKeys) {
  WriteSettingsFile({L"[Other]", L"Note=kept as it is", L"[RS232C]", L"Port=1", L"Speed=9600", L"DataL=7", L"StopB=2",
                     L"Parity=2", L"Lang=2", L"Extra=foreign"});
  HWND main = StartProgramAndWait();
  ASSERT_NE(main, nullptr);
  Snapshot(main);
  ASSERT_TRUE(op_.PressKeys(main, {VK_MENU, VK_F4}));
  ExpectExitsWithZero();
  std::vector<IniEntry> expected = SixKeys(L"1", L"9600", L"7", L"2", L"2", L"2");
  expected.insert(expected.begin(), {L"Other", L"Note", L"kept as it is"});
  expected.push_back({L"RS232C", L"Extra", L"foreign"});
  EXPECT_EQ(SettingsFile(), expected);
}

TEST_F(Close, MenuExitWritesExactlyTheSixKeys) {
  // Keys in another order and one missing: the program writes all six.
  WriteSettingsFile({L"[RS232C]", L"Lang=1", L"Speed=19200", L"Port=1", L"Parity=0", L"DataL=8"});
  HWND main = StartProgramAndWait();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(Status(1), kChinese.portNormal);
  Snapshot(main);
  op_.ChooseMenu(kMenuExit);
  ExpectExitsWithZero();
  EXPECT_EQ(Sorted(SettingsFile()), Sorted(SixKeys(L"1", L"19200", L"8", L"0", L"0", L"1")));
}

}  // namespace

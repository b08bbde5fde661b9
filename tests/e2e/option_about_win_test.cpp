// Tool > Option and Help > About as the operator uses them: the language
// switched at run time, the COM port changed for the next exchange, and the
// unit's hardware version asked over the link.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "scenario_win.h"

namespace {

constexpr int kLanguageList = 1011, kPortList = 1010, kProductText = 1000, kStatusText = 1001;

std::wstring StatusLines(const wchar_t* port, const wchar_t* mode, const Language& language, const wchar_t* version) {
  return std::wstring(port) + L"\r\n" + mode + L"\r\n" + language.hardwareVersion + version;
}

const std::vector<std::wstring> kPorts = {L"COM1", L"COM2", L"COM3", L"COM4", L"COM5",
                                          L"COM6", L"COM7", L"COM8", L"COM9", L"COM10"};

class OptionAbout : public ProgramTest {
 protected:
  void TearDown() override {
    ProgramTest::TearDown();
    EXPECT_EQ(unit_.Do("version 1000"), "ok");  // unitsim's default, for the scenarios after
  }

  HWND OpenOption(const Language& language) {
    op_.ChooseMenu(kMenuOption);
    HWND dialog = WaitForDialog(language.optionCaption, kLanguageList);
    EXPECT_NE(dialog, nullptr) << "no Option dialog in " << language.name;
    return dialog;
  }
  HWND OpenAbout(const Language& language) {
    op_.ChooseMenu(kMenuAbout);
    HWND dialog = WaitForDialog(language.aboutCaption, kStatusText);
    EXPECT_NE(dialog, nullptr) << "no About dialog in " << language.name;
    return dialog;
  }
  // Caption, status bar and panel all in the language.
  void ExpectInterfaceIn(HWND main, const Language& language) {
    SCOPED_TRACE(language.name);
    // The panel is re-created last: once it shows the language, the switch is done.
    EXPECT_TRUE(WaitUntil([&] { return TextOf(kOneOnOneStart) == language.start; })) << Narrow(TextOf(kOneOnOneStart));
    EXPECT_EQ(Operator::Text(main), language.Caption());
    EXPECT_EQ(Status(0), language.newDocument);
    EXPECT_EQ(Status(1), language.portNormal);
  }

  // Wine keeps a menu to the process that made it, so another process cannot
  // read its texts: the menu bar is compared as it shows on screen.
  static std::vector<uint8_t> MenuBarPixels(HWND main) {
    RECT window;
    POINT client{0, 0};
    GetWindowRect(main, &window);
    ClientToScreen(main, &client);
    const std::optional<Picture> picture = Operator::Capture(main);
    const int menuBottom = client.y - window.top;
    const int menuTop = menuBottom - GetSystemMetrics(SM_CYMENU);
    if (!picture || menuTop < 0 || menuBottom > picture->height) return {};
    const size_t row = static_cast<size_t>(picture->width) * 3;
    return std::vector<uint8_t>(picture->rgb.begin() + static_cast<ptrdiff_t>(row * static_cast<size_t>(menuTop)),
                                picture->rgb.begin() + static_cast<ptrdiff_t>(row * static_cast<size_t>(menuBottom)));
  }

  // The window is fitted to the panel: the panel fills the client area above
  // the status bar.
  void ExpectFittedToThePanel(HWND main) {
    HWND panel = FindWindowExW(main, nullptr, L"#32770", nullptr);
    ASSERT_NE(panel, nullptr);
    RECT client, panelRect, status;
    GetClientRect(main, &client);
    GetWindowRect(panel, &panelRect);
    GetWindowRect(op_.Control(kStatusBarId), &status);
    EXPECT_EQ(client.right, panelRect.right - panelRect.left);
    EXPECT_EQ(client.bottom, (panelRect.bottom - panelRect.top) + (status.bottom - status.top));
    EXPECT_EQ(status.top, panelRect.bottom);
  }
};

TEST_F(OptionAbout, LanguageSwitchesFromJapaneseToEnglishAndChinese) {
  HWND main = StartIn(kJapanese);
  ASSERT_NE(main, nullptr);
  ExpectInterfaceIn(main, kJapanese);

  const Language* current = &kJapanese;
  std::vector<uint8_t> menuBar = MenuBarPixels(main);
  ASSERT_FALSE(menuBar.empty());
  for (const Language* next : {&kEnglish, &kChinese}) {
    HWND option = OpenOption(*current);
    ASSERT_NE(option, nullptr);
    HWND languages = GetDlgItem(option, kLanguageList);
    HWND ports = GetDlgItem(option, kPortList);
    EXPECT_EQ(op_.ComboItems(languages), current->languageNames);
    EXPECT_EQ(op_.ComboSelection(languages), current->index);
    EXPECT_EQ(op_.ComboItems(ports), kPorts);
    EXPECT_EQ(op_.ComboSelection(ports), 0);
    // The line settings: a disabled picture of 38400 bit/s, 8N1.
    for (int id = 1012; id <= 1022; ++id) {
      const bool shown = id == 1013 || id == 1016 || id == 1019 || id == 1020;
      EXPECT_EQ(IsDlgButtonChecked(option, id), shown ? BST_CHECKED : BST_UNCHECKED) << id;
      EXPECT_FALSE(IsWindowEnabled(GetDlgItem(option, id))) << id;
    }
    Snapshot(option, (std::wstring(L"option-") + current->suffix).c_str());
    ASSERT_TRUE(op_.SelectComboItem(languages, next->index));
    ASSERT_TRUE(Close(option, IDOK));
    ExpectInterfaceIn(main, *next);
    ExpectFittedToThePanel(main);
    const std::vector<uint8_t> newMenuBar = MenuBarPixels(main);
    EXPECT_NE(newMenuBar, menuBar) << "the menu stayed in " << current->name;
    menuBar = newMenuBar;
    Snapshot(main, next->suffix);
    current = next;
  }

  // Cancel after choosing switches nothing.
  HWND option = OpenOption(kChinese);
  ASSERT_NE(option, nullptr);
  Snapshot(option, L"option-zh");
  ASSERT_TRUE(op_.SelectComboItem(GetDlgItem(option, kLanguageList), kEnglish.index));
  ASSERT_TRUE(op_.SelectComboItem(GetDlgItem(option, kPortList), 4));
  ASSERT_TRUE(Close(option, IDCANCEL));
  ExpectInterfaceIn(main, kChinese);
  EXPECT_EQ(MenuBarPixels(main), menuBar);

  snapshotOfFinalState_ = false;  // the program has ended
  op_.ChooseMenu(kMenuExit);
  ExpectExitsWithZero();
  const std::vector<IniEntry> saved = SectionOf(SettingsFile(), L"RS232C");
  EXPECT_NE(std::find(saved.begin(), saved.end(), IniEntry{L"RS232C", L"Lang", L"1"}), saved.end());
  EXPECT_NE(std::find(saved.begin(), saved.end(), IniEntry{L"RS232C", L"Port", L"1"}), saved.end());
}

TEST_F(OptionAbout, AboutWithTheUnitOffThenOnAPortThatIsNotThere) {
  HWND main = StartIn(kEnglish);
  ASSERT_NE(main, nullptr);
  ASSERT_EQ(unit_.Do("dsr off"), "ok");
  HWND about = OpenAbout(kEnglish);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(Operator::Text(GetDlgItem(about, kStatusText)),
            StatusLines(kEnglish.portNormal, L"Mode : Abnormal", kEnglish, L""));
  EXPECT_EQ(Status(1), kEnglish.portAbnormal);
  EXPECT_EQ(unit_.Do("dtr?"), "ok off") << "closed at once";
  EXPECT_TRUE(op_.Dialogs().size() == 1) << "no error box";
  Snapshot(about, L"unit-off");
  // Esc, as the dialog has no Cancel button.
  ASSERT_TRUE(CloseWithKey(about, VK_ESCAPE));

  // COM2 names a device that is not there: the next exchange opens it, not
  // COM1 with the unit, ready again.
  ASSERT_EQ(unit_.Do("dsr on"), "ok");
  HWND option = OpenOption(kEnglish);
  ASSERT_NE(option, nullptr);
  ASSERT_TRUE(op_.SelectComboItem(GetDlgItem(option, kPortList), 1));
  ASSERT_TRUE(Close(option, IDOK));
  op_.ChooseMenu(kMenuAbout);
  ExpectBox(L"Error", L"Code 1025:\r\nUnable to open port\r\n", IDOK);
  about = WaitForDialog(kEnglish.aboutCaption, kStatusText);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(Operator::Text(GetDlgItem(about, kStatusText)),
            StatusLines(kEnglish.portAbnormal, L"Mode : Abnormal", kEnglish, L""));
  EXPECT_EQ(unit_.Frames(), std::vector<std::string>{}) << "nothing reached the unit on COM1";
  Snapshot(about, L"com2");
  ASSERT_TRUE(Close(about, IDOK));

  snapshotOfFinalState_ = false;  // the program has ended
  op_.ChooseMenu(kMenuExit);
  ExpectExitsWithZero();
  const std::vector<IniEntry> saved = SectionOf(SettingsFile(), L"RS232C");
  EXPECT_NE(std::find(saved.begin(), saved.end(), IniEntry{L"RS232C", L"Port", L"2"}), saved.end());
}

class AboutUnit : public OptionAbout, public ::testing::WithParamInterface<Language> {};

TEST_P(AboutUnit, ShowsTheHardwareVersionAndClosesTheLink) {
  const Language& language = GetParam();
  ASSERT_EQ(unit_.Do("version 1320"), "ok");
  HWND main = StartIn(language);
  ASSERT_NE(main, nullptr);
  ASSERT_EQ(unit_.Do("clear log"), "ok");
  HWND about = OpenAbout(language);
  ASSERT_NE(about, nullptr);
  const std::wstring expected = StatusLines(language.portNormal, language.modeNormal, language, L"1.320");
  EXPECT_TRUE(WaitUntil([&] { return Operator::Text(GetDlgItem(about, kStatusText)) == expected; }))
      << Narrow(Operator::Text(GetDlgItem(about, kStatusText)));
  EXPECT_EQ(Operator::Text(GetDlgItem(about, kProductText)), language.product);
  EXPECT_EQ(Status(1), language.portNormal);
  EXPECT_TRUE(WaitUntil([&] { return unit_.Do("dtr?") == "ok off"; })) << "the link is still open";
  EXPECT_EQ(unit_.Frames(),
            (std::vector<std::string>{"host 02 03 53 54 03 AD", "unit 02 08 53 54 00 31 33 32 30 03 78"}));
  // Centred on the main window.
  RECT m, d;
  GetWindowRect(main, &m);
  GetWindowRect(about, &d);
  EXPECT_EQ(d.left, m.left + ((m.right - m.left) - (d.right - d.left)) / 2);
  EXPECT_EQ(d.top, m.top + ((m.bottom - m.top) - (d.bottom - d.top)) / 2);
  EXPECT_TRUE(op_.Dialogs().size() == 1) << "no error box";
  Snapshot(about, L"about");
  ASSERT_TRUE(Close(about, IDOK));
}

INSTANTIATE_TEST_SUITE_P(Languages, AboutUnit, ::testing::ValuesIn(kLanguages), LanguageName);

}  // namespace

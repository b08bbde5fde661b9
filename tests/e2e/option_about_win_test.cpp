// Tool > Option and Help > About as the operator uses them: the language
// switched at run time and the port kept for the next start, and the unit's
// hardware version asked over the link.
#include <algorithm>

#include "scenario_win.h"

namespace {

// Wine keeps a menu to the process that made it, so another process cannot
// read its texts: the menu bar is compared as it shows on screen.
std::vector<uint8_t> MenuBarPixels(HWND main) {
  RECT window;
  POINT client{0, 0};
  GetWindowRect(main, &window);
  ClientToScreen(main, &client);
  const std::optional<Picture> picture = Operator::Capture(main);
  const size_t row = picture ? static_cast<size_t>(picture->width) * 4 : 0, bottom = client.y - window.top;
  if (!picture || bottom > static_cast<size_t>(picture->height) || bottom < static_cast<size_t>(GetSystemMetrics(SM_CYMENU)))
    return {};
  return {picture->pixels.begin() + static_cast<ptrdiff_t>(row * (bottom - GetSystemMetrics(SM_CYMENU))),
          picture->pixels.begin() + static_cast<ptrdiff_t>(row * bottom)};
}

using OptionAbout = ProgramTest;

TEST_F(OptionAbout, OptionSwitchesToJapaneseKeepingTheWorkAndAnotherPort) {
  ASSERT_NE(Start(), nullptr);
  const std::vector<uint8_t> menuBar = MenuBarPixels(op_.Main());
  ASSERT_FALSE(menuBar.empty());
  // Work the switch must keep: cable 3, the Master/Work mode, its counters and log.
  ASSERT_TRUE(Operator::SelectComboItem(op_.Control(kCableSelector), 2));
  ASSERT_TRUE(ChooseMode(kMenuMasterWork, kReadMaster));
  ASSERT_EQ(unit_.Do("plug nets A01,B01"), "ok");
  Operator::Press(op_.Control(kReadMaster));
  ExpectBox(L"Read master", L"Overwrite information of cable3.. OK?", IDYES);
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kWorkStart); }));
  ASSERT_EQ(unit_.Do("plug nothing"), "ok");
  ASSERT_TRUE(Run(kWorkStart, [&] { return TextOf(kResultBox) == L"NG"; }));
  const auto work = [&] { return std::vector<std::wstring>{TextOf(kCableSelector), TextOf(kResultLog)}; };
  const std::vector<std::wstring> before = work(), counters = Counters();
  ASSERT_EQ(counters[3], L"1");

  op_.ChooseMenu(kMenuOption);
  HWND option = WaitForDialog(L"Option", kLanguageList);
  ASSERT_NE(option, nullptr);
  EXPECT_EQ(TextIn(option, kLanguageList) + L"|" + TextIn(option, kPortList), L"English|COM1");
  // The line settings: a disabled picture of 38400 bit/s, 8N1.
  for (int id = 1012; id <= 1022; ++id) {
    const bool shown = id == 1013 || id == 1016 || id == 1019 || id == 1020;
    EXPECT_EQ(IsDlgButtonChecked(option, id), shown ? BST_CHECKED : BST_UNCHECKED) << id;
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(option, id))) << id;
  }
  Snapshot(option, L"option");
  ASSERT_TRUE(Operator::SelectComboItem(Operator::Control(option, kLanguageList), 0));
  ASSERT_TRUE(Operator::SelectComboItem(Operator::Control(option, kPortList), 1));
  ASSERT_TRUE(Close(option, IDOK));

  // The panel is made anew last: once it shows the language, the switch is done.
  EXPECT_TRUE(WaitUntil([&] { return TextOf(kOneOnOneStart) == L"開始"; })) << Utf8(TextOf(kOneOnOneStart));
  EXPECT_EQ(Caption() + L"|" + Status(0), L"Pinvoro[新規ケーブルデータ *]|新規ケーブルデータ *");
  EXPECT_TRUE(FitsThePanel(op_.Main()));
  EXPECT_TRUE(WaitUntil([&] { return MenuBarPixels(op_.Main()) != menuBar; })) << "the menu stayed in English";
  EXPECT_EQ(work(), before);
  EXPECT_EQ(Counters(), counters);
  EXPECT_TRUE(Checked(op_.Control(kModeRadio + 2)));
  EXPECT_TRUE(Enabled(kWorkStart) && Enabled(kReadMaster) && !Enabled(kOneOnOneStart));
  Snapshot(op_.Main());

  op_.ChooseMenu(kMenuExit);
  ExpectBox(L"名前をつけて保存", L"データが変更されています。変更を保存しますか?", IDNO);
  ExpectExitsWithZero();
  const std::vector<std::wstring> saved = SettingsSection(L"RS232C");
  for (const wchar_t* key : {L"Lang=0", L"Port=2"}) EXPECT_NE(std::find(saved.begin(), saved.end(), key), saved.end()) << Utf8(key);
}

TEST_F(OptionAbout, AboutShowsTheHardwareVersionAndClosesTheLink) {
  ASSERT_EQ(unit_.Do("version 1320"), "ok");
  ASSERT_NE(Start(), nullptr);
  op_.ChooseMenu(kMenuAbout);
  HWND about = WaitForDialog(L"About", kAboutStatus);
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return TextIn(about, kAboutStatus).ends_with(L"1.320"); })) << Utf8(TextIn(about, kAboutStatus));
  EXPECT_EQ(TextIn(about, kAboutStatus), L"Comm. Port : Normal\r\nMode : Normal\r\nHardware Ver. : 1.320");
  EXPECT_EQ(TextIn(about, kAboutProduct),
            L"Cable Checker  Pinvoro\r\nVer.1.32 \r\nCopyright (C) 2026 Vorkel Corporation\r\nVorkel Corporation");
  EXPECT_TRUE(WaitUntil([&] { return unit_.Do("dtr?") == "ok off"; })) << "the link is still open";
  // Centred on the main window.
  RECT m, d;
  GetWindowRect(op_.Main(), &m);
  GetWindowRect(about, &d);
  EXPECT_EQ(d.left, m.left + ((m.right - m.left) - (d.right - d.left)) / 2);
  EXPECT_EQ(d.top, m.top + ((m.bottom - m.top) - (d.bottom - d.top)) / 2);
  EXPECT_EQ(op_.Dialogs().size(), 1u) << "an error box";
  Snapshot(about, L"about");
  ASSERT_TRUE(Close(about, IDOK));
}

}  // namespace


// Master/Work and Tool > Option as the operator uses them: a master read and
// two work tests, then the language switched at run time keeping that work,
// and the port kept for the next start. Help > About is in the language pass.
#include <algorithm>

#include "scenario_win.h"

namespace {

using Option = ProgramTest;

TEST_F(Option, MasterWorkOnCableThreeThenOptionSwitchesToJapaneseKeepingItAndAnotherPort) {
  ASSERT_EQ(unit_.Do("plug nets A01,B01 A02,B02,B03 A10,C01"), "ok");
  ASSERT_NE(Start(), nullptr);
  // Read Master asks first; the work test then passes on the same wiring and
  // fails once A02's wire moved from B02/B03 to B04.
  ASSERT_TRUE(Operator::SelectComboItem(op_.Control(kCableSelector), 2));
  ASSERT_TRUE(ChooseMode(kMenuMasterWork, kReadMaster));
  Operator::Press(op_.Control(kReadMaster));
  ExpectBox(L"Read master", L"Overwrite information of cable3.. OK?", IDYES, L"prompt");
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[New cable data *]")) << Utf8(Caption());
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kReadMaster) && Enabled(kWorkStart); }));
  ASSERT_TRUE(Run(kWorkStart, [&] { return TextOf(kResultBox) == L"OK"; })) << Utf8(TextOf(kResultLog));
  ASSERT_EQ(unit_.Do("plug nets A01,B01 A02,B04 B02,B03 A10,C01"), "ok");
  ASSERT_TRUE(Run(kWorkStart, [&] { return TextOf(kResultBox) == L"NG"; })) << Utf8(TextOf(kResultBox));
  const auto work = [&] { return std::vector<std::wstring>{TextOf(kCableSelector), TextOf(kResultLog)}; };
  const std::vector<std::wstring> before = work(), counters = Counters();
  ASSERT_EQ(counters, (std::vector<std::wstring>{L"1", L"1", L"0", L"2"}));
  Snapshot(op_.Main(), L"work");

  op_.ChooseMenu(kMenuOption);
  HWND option = WaitForDialog(L"Option", kLanguageList);
  ASSERT_NE(option, nullptr);
  EXPECT_EQ(TextIn(option, kLanguageList) + L"|" + TextIn(option, kPortList), L"English|COM1");
  Snapshot(option, L"option");
  ASSERT_TRUE(Operator::SelectComboItem(Operator::Control(option, kLanguageList), 0));
  ASSERT_TRUE(Operator::SelectComboItem(Operator::Control(option, kPortList), 1));
  ASSERT_TRUE(Close(option, IDOK));

  // The panel is made anew last: once it shows the language, the switch is done.
  EXPECT_TRUE(WaitUntil([&] { return TextOf(kOneOnOneStart) == L"開始"; })) << Utf8(TextOf(kOneOnOneStart));
  EXPECT_EQ(Caption() + L"|" + Status(0), L"Pinvoro[新規ケーブルデータ *]|新規ケーブルデータ *");
  EXPECT_TRUE(FitsThePanel(op_.Main()));
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

}  // namespace

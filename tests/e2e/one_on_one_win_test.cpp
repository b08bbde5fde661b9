// The 1 on 1 test as the operator runs it: a good and a faulty cable, and a
// unit whose answers are damaged on the line.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "scenario_win.h"

namespace {

// Every pin straight through but A50, which is open.
constexpr char kFaultyCable[] = "plug straight 49";

class OneOnOne : public ProgramTest {
 protected:
  // The Mode menu as it shows, opened from the keyboard: Wine keeps a menu to
  // the process that made it, so its radio check is read off the screen. The
  // picture counts once it differs from the screen there with the menu
  // closed: without a window manager Wine may leave a program's first popup
  // off the screen.
  std::vector<uint8_t> ModeMenuPicture() {
    const auto popup = [] {
      HWND menu = FindWindowW(L"#32768", nullptr);
      return menu != nullptr && IsWindowVisible(menu) ? menu : nullptr;
    };
    std::vector<uint8_t> menu, under;
    for (int tries = 0; tries < 3 && (menu.empty() || menu == under); ++tries) {
      RECT r{};
      if (op_.PressKeys(op_.Main(), {VK_MENU, 'M'}) && WaitUntil([&] { return popup() != nullptr; }) &&
          GetWindowRect(popup(), &r))
        menu = Operator::Pixels(r);
      EXPECT_TRUE(op_.PressKeys(op_.Main(), {VK_ESCAPE}) && op_.PressKeys(op_.Main(), {VK_ESCAPE}) &&
                  WaitUntil([&] { return popup() == nullptr; }));
      under = Operator::Pixels(r);
    }
    return menu != under ? menu : std::vector<uint8_t>{};
  }
};

// Another mode is refused while a test runs: the panel's radio buttons and
// the Mode menu keep the 1 on 1 mode checked.
TEST_F(OneOnOne, GoodCableIsOkThenAFaultyOneNg) {
  ASSERT_EQ(unit_.Do("plug straight 50"), "ok");
  ASSERT_EQ(unit_.Do("fault firstFrameDelayMs 400"), "ok");
  ASSERT_NE(Start(), nullptr);
  const std::vector<uint8_t> modeMenu = ModeMenuPicture();
  ASSERT_FALSE(modeMenu.empty()) << "no Mode menu";
  ASSERT_TRUE(op_.Click(op_.Control(kOneOnOneStart)));
  ASSERT_TRUE(WaitUntil([&] { return !Enabled(kOneOnOneStart); }));
  op_.ChooseMenu(kMenuMasterWork);
  Ask(op_.Main(), WM_NULL);
  ASSERT_FALSE(Enabled(kOneOnOneStart)) << "the test ended before the mode command";
  ASSERT_TRUE(WaitUntil([&] { return TextOf(kResultBox) == L"OK" && Enabled(kOneOnOneStart); }));
  EXPECT_TRUE(Checked(op_.Control(kModeRadio)) && !Checked(op_.Control(kModeRadio + 2)));
  EXPECT_EQ(ModeMenuPicture(), modeMenu) << "the menu's check moved";
  EXPECT_EQ(TextOf(kResultLog), L"All50pins found correct\r\n");
  Snapshot(op_.Main(), L"ok");

  // The Result box still shows OK: the second test is done once it is counted.
  ASSERT_EQ(unit_.Do(kFaultyCable), "ok");
  EXPECT_TRUE(Run(kOneOnOneStart, [&] { return TextOf(kOkCounter + 3) == L"2"; }));
  EXPECT_EQ(TextOf(kResultBox) + L"|" + TextOf(kResultLog), L"NG|A50  - B50  No connection\r\n");
  EXPECT_EQ(Counters(), (std::vector<std::wstring>{L"1", L"1", L"0", L"2"}));
  EXPECT_TRUE(op_.Dialogs().empty());
  // The menu picture does tell the checks apart.
  ASSERT_TRUE(ChooseMode(kMenuProbe, kProbeStart));
  EXPECT_NE(ModeMenuPicture(), modeMenu);
}

// A faulty cable, its answers damaged on the line: each test ends with its
// error box and Start is back, and none is judged or counted. The results
// journal is on and records every ending.
TEST_F(OneOnOne, DamagedAnswersAreNeverJudged) {
  ASSERT_EQ(unit_.Do(kFaultyCable), "ok");
  std::vector<std::wstring> settings = SettingsIn();
  settings.insert(settings.end(), {L"[Journal]", L"File=results.csv"});
  ASSERT_NE(Start(settings), nullptr);
  const struct {
    const char* fault;
    const wchar_t* box;
  } walks[] = {{"fault badChecksum on", L"Code 1029:\r\nCommunication error\r\n"},
               {"fault lostEnd on", L"Code 1028:\r\nCommunication timed out\r\n"}};
  for (const auto& walk : walks) {
    SCOPED_TRACE(walk.fault);
    ASSERT_EQ(unit_.Do("fault faultAnswer O"), "ok");
    ASSERT_EQ(unit_.Do(walk.fault), "ok");
    ASSERT_TRUE(op_.Click(op_.Control(kOneOnOneStart)));
    ExpectBox(L"Error", walk.box, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return Enabled(kOneOnOneStart); })) << "Start stays disabled";
    ASSERT_EQ(unit_.Do("clear faults"), "ok");
  }
  // The same cable on a clean line.
  EXPECT_TRUE(Run(kOneOnOneStart, [&] { return !TextOf(kResultBox).empty(); }));
  EXPECT_EQ(TextOf(kResultBox), L"NG");
  EXPECT_EQ(Counters(), (std::vector<std::wstring>{L"0", L"1", L"0", L"1"}));
  EXPECT_TRUE(op_.Dialogs().empty());
  Snapshot(op_.Main());

  // Read back while the program runs: each line is on the disk at once.
  std::ifstream file(std::filesystem::path(dir_ + L"\\results.csv"), std::ios::binary);
  const std::string journal{std::istreambuf_iterator<char>(file), {}};
  EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'), 4) << "the header and three endings: " << journal;
  EXPECT_NE(journal.find(",1 on 1,1,,,,,,1028,0,0,0,0,\r\n"), std::string::npos) << journal;
  EXPECT_NE(journal.find(",1 on 1,1,,,,,,NG,0,1,0,1,A50  - B50  No connection\r\n"), std::string::npos) << journal;
}

}  // namespace

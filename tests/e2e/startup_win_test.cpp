// The program starts: the settings file, the start-up look at the tester
// unit's port with its error box, the main window, and the clean exit. The
// unit not ready at start is the language pass's error box.
#include <algorithm>

#include "scenario_win.h"

namespace {

using Startup = ProgramTest;

TEST_F(Startup, PortThatCannotOpenThenAReadyUnitAndTheSettingsAtExit) {
  // COM9 names a device that is not there: one error box before the main
  // window. Keys the program does not know stay as they are; the ones it
  // misses are added.
  Start({L"[Other]", L"Note=kept", L"[RS232C]", L"Port=9", L"Speed=9600", L"Lang=2", L"Extra=foreign"}, false);
  ExpectBox(L"Error", L"Code 1025:\r\nUnable to open port\r\n", IDOK, L"1025");
  ASSERT_NE(op_.WaitForWindow(L"MainWindowClass"), nullptr);
  EXPECT_TRUE(op_.Dialogs().empty()) << "a second box";
  EXPECT_EQ(Status(1), L"Comm. Port : Abnormal");
  op_.ChooseMenu(kMenuExit);
  ExpectExitsWithZero();
  std::vector<std::wstring> keys = SettingsSection(L"RS232C");
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::wstring>{L"DataL=8", L"Extra=foreign", L"Lang=2", L"Parity=0", L"Port=9",
                                             L"Speed=9600", L"StopB=0"}));
  EXPECT_EQ(SettingsSection(L"Other"), std::vector<std::wstring>{L"Note=kept"});

  // A ready unit: the port was looked at and closed again (DTR down), and
  // nothing went over the line either way.
  ASSERT_NE(Start(), nullptr);
  EXPECT_TRUE(op_.Dialogs().empty()) << "a box at start-up";
  EXPECT_EQ((std::vector<std::wstring>{Caption(), Status(0), Status(1)}),
            (std::vector<std::wstring>{L"Pinvoro[New cable data]", L"New cable data", L"Comm. Port : Normal"}));
  EXPECT_TRUE(WaitUntil([&] { return unit_.Do("dtr?") == "ok off"; })) << "the port is still open";
  EXPECT_EQ(unit_.Reply("log"), std::vector<std::string>{"ok"}) << "frames on the line";
  EXPECT_TRUE(FitsThePanel(op_.Main()));
}

}  // namespace

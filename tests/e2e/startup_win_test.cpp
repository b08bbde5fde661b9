// The program starts: the settings file, the start-up look at the tester
// unit's port with its error boxes, the main window, and the clean exit.
#include <algorithm>

#include "scenario_win.h"

namespace {

using Startup = ProgramTest;

TEST_F(Startup, PortThatCannotOpenUnitNotReadyThenReadyAndTheSettingsAtExit) {
  // COM9 names a device that is not there; then the unit is not ready and is
  // asked nothing. Each start shows its one error box before the main window.
  // Keys the program does not know stay as they are; the ones it misses are added.
  const struct {
    std::vector<std::wstring> settings;
    const char* unit;
    const wchar_t *box, *snapshot;
    std::vector<std::wstring> keptSettings;
  } starts[] = {{{L"[Other]", L"Note=kept", L"[RS232C]", L"Port=9", L"Speed=9600", L"Lang=2", L"Extra=foreign"},
                 "dsr on", L"Code 1025:\r\nUnable to open port\r\n", L"1025",
                 {L"DataL=8", L"Extra=foreign", L"Lang=2", L"Parity=0", L"Port=9", L"Speed=9600", L"StopB=0"}},
                {{L"[Other]", L"Note=kept", L"[RS232C]", L"Port=1", L"Lang=2"}, "dsr off", L"Code 1027:\r\nPort not online\r\n", L"1027",
                 {L"DataL=8", L"Lang=2", L"Parity=0", L"Port=1", L"Speed=38400", L"StopB=0"}}};
  for (const auto& start : starts) {
    ASSERT_EQ(unit_.Do(start.unit), "ok");
    Start(start.settings, false);
    ExpectBox(L"Error", start.box, IDOK, start.snapshot);
    ASSERT_NE(op_.WaitForWindow(L"MainWindowClass"), nullptr);
    EXPECT_TRUE(op_.Dialogs().empty()) << "a second box";
    EXPECT_EQ(Status(1), L"Comm. Port : Abnormal");
    EXPECT_EQ(unit_.Frames(), std::vector<std::string>{});
    op_.ChooseMenu(kMenuExit);
    ExpectExitsWithZero();
    std::vector<std::wstring> keys = SettingsSection(L"RS232C");
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, start.keptSettings);
    EXPECT_EQ(SettingsSection(L"Other"), std::vector<std::wstring>{L"Note=kept"});
  }

  // A ready unit: the port was opened with DTR raised and closed again, DTR
  // dropped, and nothing went over the line either way.
  ASSERT_EQ(unit_.Do("dsr on"), "ok");
  ModemLinesState lines{};
  ASSERT_TRUE(UnitSim::ReadModemLines(lines)) << "no modem-lines state (PINVORO_MODEMLINES_STATE)";
  const uint32_t dtrDrops = lines.dtrDrops;
  ASSERT_NE(Start(), nullptr);
  EXPECT_TRUE(op_.Dialogs().empty()) << "a box at start-up";
  EXPECT_EQ((std::vector<std::wstring>{Caption(), Status(0), Status(1)}),
            (std::vector<std::wstring>{L"Pinvoro[New cable data]", L"New cable data", L"Comm. Port : Normal"}));
  ASSERT_TRUE(UnitSim::ReadModemLines(lines));
  EXPECT_EQ(lines.dtr, 0u);
  EXPECT_EQ(lines.dtrDrops, dtrDrops + 1);
  EXPECT_EQ(unit_.Frames(), std::vector<std::string>{});
  EXPECT_TRUE(FitsThePanel(op_.Main()));
}

}  // namespace

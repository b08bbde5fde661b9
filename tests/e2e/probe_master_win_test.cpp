// The probe modes and the Master/Work test against the simulated unit: what
// the operator reads in the result box and the log, and the pin cells that
// show what the probe reaches.
#include "scenario_win.h"

namespace {

class Modes : public ProgramTest {
 protected:
  bool LinkClosed() { return unit_.Do("dtr?") == "ok off"; }
};

TEST_F(Modes, ProbeShowsTheReachedPinsUntilFinish) {
  ASSERT_NE(Start(), nullptr);
  ASSERT_TRUE(ChooseMode(kMenuProbe, kProbeStart));
  EXPECT_FALSE(Enabled(kProbeFinish));
  Operator::Press(op_.Control(kProbeStart));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbeFinish) && !Enabled(kProbeStart); }));
  ASSERT_EQ(unit_.Do("probe A01 B05"), "ok");
  EXPECT_TRUE(WaitUntil([&] { return TextOf(kResultLog) == L"A01 \r\nB05 \r\n"; })) << Utf8(TextOf(kResultLog));
  Operator::Press(op_.Control(kProbeFinish));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbeStart) && !Enabled(kProbeFinish); })) << "the exchange did not end";
  EXPECT_TRUE(WaitUntil([&] { return LinkClosed(); })) << "the probe link stayed open";
  Snapshot(op_.Main());

  // Closing the window in the middle of an exchange ends it and the program.
  Operator::Press(op_.Control(kProbeStart));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbeFinish) && !LinkClosed(); }));
  ASSERT_TRUE(op_.PressKeys(op_.Main(), {VK_MENU, VK_F4}));
  ExpectExitsWithZero();
  EXPECT_TRUE(LinkClosed());
}

// The probe pins are set in Edit Probe Data; Probe+ then wants exactly those.
TEST_F(Modes, ProbeDataFromItsEditorDecidesTheProbePlusTest) {
  ASSERT_NE(Start(), nullptr);
  op_.ChooseMenu(kMenuEditCableData);
  HWND list = WaitForDialog(L"Edit Cable Data", kCableList), probe = nullptr;
  ASSERT_NE(list, nullptr) << "no cable list";
  const auto box = [&](int pin) { return Operator::Control(probe, kPinCheckBase + pin); };
  const auto tick = [&](std::initializer_list<int> pins) {
    for (int pin : pins) Operator::Press(box(pin));
    return WaitUntil([&] { return Checked(box(*pins.begin())) && Checked(box(*(pins.end() - 1))); });
  };
  // Cancel drops a tick; Clear takes every tick away.
  ASSERT_NE(probe = OpenFrom(list, kProbeDataButton, L"Edit Probe Data", kPinCheckBase), nullptr);
  EXPECT_EQ(Operator::Text(box(kC04)), L"C04 ");
  ASSERT_TRUE(tick({kB02}));
  ASSERT_TRUE(Close(probe, IDCANCEL));
  ASSERT_NE(probe = OpenFrom(list, kProbeDataButton, L"Edit Probe Data", kPinCheckBase), nullptr);
  EXPECT_FALSE(Checked(box(kB02))) << "Cancel kept the tick";
  ASSERT_TRUE(tick({kA17}));
  Operator::Press(Operator::Control(probe, 1155));  // Clear
  EXPECT_TRUE(WaitUntil([&] { return !Checked(box(kA17)); })) << "Clear kept a tick";
  ASSERT_TRUE(tick({kA01, kA50, kB01, kC04}));
  EXPECT_TRUE(Checked(box(kA50)) && Checked(box(kB01)) && !Checked(box(kB02)));
  Snapshot(probe, L"probe");
  ASSERT_TRUE(Close(probe, IDOK));
  // Escape after a confirmed editor still reports the change.
  ASSERT_TRUE(Close(list, 0, VK_ESCAPE));
  EXPECT_TRUE(CaptionBecomes(L"Pinvoro[New cable data *]")) << Utf8(Caption());

  ASSERT_TRUE(ChooseMode(kMenuProbePlus, kProbePlusStart));
  EXPECT_TRUE(WaitUntil([&] { return CellsAre({kA01, kA50, kB01, kC04}, kYellow); })) << "probe pins wait in yellow";
  // The cells tell when the program has seen the probe reach and leave the
  // pins: only then may the operator let go, and finish.
  const struct {
    std::string pins;
    const wchar_t *result, *log;
  } runs[] = {{"A01 A50 B01 C04", L"OK", L""}, {"A01 A50 B01 B02 C04", L"NG", L"B02  - Connection error\r\n"}};
  for (const auto& run : runs) {
    Operator::Press(op_.Control(kProbePlusStart));
    ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusFinish); }));
    // The first record of the run, with nothing probed yet.
    ASSERT_TRUE(WaitUntil([&] { return CellsAre({kA01}, kYellow); }));
    ASSERT_EQ(unit_.Do("probe " + run.pins), "ok");
    ASSERT_TRUE(WaitUntil([&] { return CellsAre({kA01, kC04}, kWhite); })) << "probe not shown";
    ASSERT_EQ(unit_.Do("probe"), "ok");
    ASSERT_TRUE(WaitUntil([&] { return CellsAre({kA01, kC04}, kBlue); })) << "release not shown";
    Operator::Press(op_.Control(kProbePlusFinish));
    ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusStart) && !TextOf(kResultBox).empty(); })) << "no result";
    EXPECT_EQ(TextOf(kResultBox), run.result);
    EXPECT_EQ(TextOf(kResultLog), run.log);  // one pin more: the log names it
    Snapshot(op_.Main(), run.result);
  }
  EXPECT_EQ(Counters(), (std::vector<std::wstring>{L"1", L"1", L"0", L"2"}));
  EXPECT_TRUE(LinkClosed());
}

TEST_F(Modes, ReadMasterThenWorkTestOkAndWithAMovedWire) {
  ASSERT_EQ(unit_.Do("plug nets A01,B01 A02,B02,B03 A10,C01"), "ok");
  ASSERT_NE(Start(), nullptr);
  ASSERT_TRUE(ChooseMode(kMenuMasterWork, kReadMaster));
  // Read Master asks first: the new set's cable 1 has no type yet.
  Operator::Press(op_.Control(kReadMaster));
  ExpectBox(L"Read master", L"Overwrite information of cable1.. OK?", IDYES, L"prompt");
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[New cable data *]")) << Utf8(Caption());
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kReadMaster) && Enabled(kWorkStart); }));
  // The wiring read goes to the unit, then the work test proper.
  ASSERT_TRUE(Run(kWorkStart, [&] { return TextOf(kResultBox) == L"OK"; })) << Utf8(TextOf(kResultLog));
  EXPECT_EQ(TextOf(kResultLog), L"");
  Snapshot(op_.Main(), L"ok");

  // A02's wire moved from B02/B03 to B04: the rows that differ, in pin order.
  ASSERT_EQ(unit_.Do("plug nets A01,B01 A02,B04 B02,B03 A10,C01"), "ok");
  ASSERT_TRUE(Run(kWorkStart, [&] { return TextOf(kResultBox) == L"NG"; })) << Utf8(TextOf(kResultBox));
  EXPECT_EQ(TextOf(kResultLog),
            L"A02  - B02  No connection error\r\nA02  - B03  No connection error\r\nA02  - B04  Connection error\r\n"
            L"B02  - A02  No connection error\r\nB03  - A02  No connection error\r\nB04  - A02  Connection error\r\n");
  EXPECT_EQ(Counters(), (std::vector<std::wstring>{L"1", L"1", L"0", L"2"}));
  EXPECT_TRUE(Enabled(kReadMaster));
}

}  // namespace

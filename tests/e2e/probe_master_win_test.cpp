// The probe modes against the simulated unit: what the operator reads in the
// log and the pin cells that show what the probe reaches. Master/Work runs in
// the Option scenario, before the switch it must survive.
#include "scenario_win.h"

namespace {

class Modes : public ProgramTest {
 protected:
  bool LinkClosed() { return unit_.Do("dtr?") == "ok off"; }
};

TEST_F(Modes, ProbeShowsTheReachedPinsUntilFinish) {
  ASSERT_NE(Start(), nullptr);
  ASSERT_TRUE(ChooseMode(kMenuProbe, kProbeStart));
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
  // Clear takes every tick away.
  ASSERT_NE(probe = OpenFrom(list, kProbeDataButton, L"Edit Probe Data", kPinCheckBase), nullptr);
  ASSERT_TRUE(tick({kA17}));
  Operator::Press(Operator::Control(probe, 1155));  // Clear
  EXPECT_TRUE(WaitUntil([&] { return !Checked(box(kA17)); })) << "Clear kept a tick";
  ASSERT_TRUE(tick({kA01, kA50, kB01, kC04}));
  Snapshot(probe, L"probe");
  ASSERT_TRUE(Close(probe, IDOK));
  // Escape after a confirmed editor still reports the change.
  ASSERT_TRUE(Close(list, 0, VK_ESCAPE));
  EXPECT_TRUE(CaptionBecomes(L"Pinvoro[New cable data *]")) << Utf8(Caption());

  ASSERT_TRUE(ChooseMode(kMenuProbePlus, kProbePlusStart));
  EXPECT_TRUE(WaitUntil([&] { return CellsAre({kA01, kA50, kB01, kC04}, kYellow); })) << "probe pins wait in yellow";
  // The cells tell when the program has seen the probe reach and leave the
  // pins: only then may the operator let go, and finish. One pin more than
  // the probe pins: the log names it.
  Operator::Press(op_.Control(kProbePlusStart));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusFinish); }));
  ASSERT_EQ(unit_.Do("probe A01 A50 B01 B02 C04"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return CellsAre({kA01, kC04}, kWhite); })) << "probe not shown";
  ASSERT_EQ(unit_.Do("probe"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return CellsAre({kA01, kC04}, kBlue); })) << "release not shown";
  Operator::Press(op_.Control(kProbePlusFinish));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusStart) && !TextOf(kResultBox).empty(); })) << "no result";
  EXPECT_EQ(TextOf(kResultBox) + L"|" + TextOf(kResultLog), L"NG|B02  - Connection error\r\n");
  EXPECT_TRUE(LinkClosed());
}

}  // namespace

// The Probe, Probe+ and Master/Work tests as whole exchanges: the panel, the
// real link workers, the in-memory port and the simulated unit, with fake
// widgets and a test message loop (support/panel_rig.h).
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/text.h"
#include "link/commands.h"
#include "modes/mode_panel.h"
#include "support/panel_fixture.h"

namespace {

// A harness with some wiring on every connector.
Rows Harness() { return Rows().Net({A(1), B(1)}).Net({A(3), B(3)}).Net({A(7), B(20), C(2)}); }

std::u16string Line(unsigned a, unsigned k, const char16_t* what) {
  return Name(0, a) + u" - " + Name(0, k) + u" " + what + u"\r\n";
}
std::u16string PinLine(unsigned k, const char16_t* what) { return Name(0, k) + u" - " + what + u"\r\n"; }

class ProbeMasterTest : public PanelFixture {
 protected:
  ProbeMasterTest() { CopyText(rig.Cable(0).info.cableType, kCableTypeUnits, u"Harness-7"); }

  // How often the unit has received the command.
  template <size_t N>
  int HostCount(const uint8_t (&command)[N]) {
    int n = 0;
    for (const FrameBytes& f : rig.frames.Host()) n += f == AsBytes(command) ? 1 : 0;
    return n;
  }
  // Runs the loop until the unit has received the command `count` times in all.
  template <size_t N>
  bool UnitGets(const uint8_t (&command)[N], int count = 1) {
    return rig.RunUntil([&] { return HostCount(command) >= count; });
  }

  bool Touched(std::initializer_list<unsigned> pins) {
    uint8_t want[kPinCount] = {};
    for (unsigned p : pins) want[p] = 1;
    return std::memcmp(want, rig.state.TouchedNow, kPinCount) == 0;
  }
  // The probe reaches `pins` from the unit's latest moment on, and the panel
  // has seen it.
  bool Touch(std::initializer_list<unsigned> pins) {
    const uint64_t now = rig.unit.NowMs();
    const PinSet set = Pins(pins);
    rig.Unit([&](TesterModel& m) { m.ProbeAt(now, set); });
    return rig.RunUntil([&] { return Touched(pins); });
  }

  void Select(TestMode mode) { ASSERT_TRUE(rig.panel.SelectMode(mode)); }
  // Start, then until the probe's first state was shown.
  bool StartProbing(uint16_t start) {
    rig.panel.OnCommand(start, 0);
    return rig.app.LinkOpen == 1 && rig.RunUntil([&] { return rig.channel.ResponsePending == 0; });
  }
  // Finish, then the stop delay once the unit has the finish.
  bool FinishProbing(uint16_t finish) {
    const int finishes = HostCount(kProbeFinish);
    rig.panel.OnCommand(finish, 0);
    if (rig.widgets.IsEnabled(finish)) return false;
    if (!UnitGets(kProbeFinish, finishes + 1)) return false;
    if (!rig.FireTimer(kTimerStopDelay)) return false;
    rig.DeliverPosted();
    return rig.app.LinkOpen == 0 && !rig.link.IsOpen();
  }
  // Both buttons are off while an exchange of theirs runs, and on after it.
  bool MasterWorkIdle() {
    return rig.RunUntil([&] {
      return rig.app.LinkOpen == 0 && rig.widgets.IsEnabled(kReadMasterButton) &&
             rig.widgets.IsEnabled(kWorkStartButton);
    });
  }
  bool MasterWorkBusy() { return !rig.widgets.IsEnabled(kReadMasterButton) && !rig.widgets.IsEnabled(kWorkStartButton); }
  bool ReadMaster() {
    rig.panel.OnCommand(kReadMasterButton, 0);
    return MasterWorkBusy() && MasterWorkIdle();
  }
  // Work Start: the download, its delay once the unit has it all, then the
  // test proper until the panel is idle again.
  bool RunWork() {
    const int ends = HostCount(kMasterTransferEnd);
    rig.panel.OnCommand(kWorkStartButton, 0);
    if (rig.app.LinkOpen == 0 || !MasterWorkBusy()) return false;
    if (!UnitGets(kMasterTransferEnd, ends + 1)) return false;
    if (rig.widgets.timers[kTimerStopDelay] != kMasterStopDelayMs) return false;
    rig.FireTimer(kTimerStopDelay);
    rig.DeliverPosted();
    if (!MasterWorkBusy()) return false;  // through phase 2
    return MasterWorkIdle();
  }
};

// --- Probe ---

TEST_F(ProbeMasterTest, ProbeShowsWhatTheProbeReachesNow) {
  Select(kProbe);
  rig.widgets.texts[kResultLog] = u"left from before";
  ASSERT_TRUE(StartProbing(kProbeStartButton));
  EXPECT_EQ(rig.widgets.logFont, LogFont::kMediumBold);
  EXPECT_FALSE(rig.widgets.IsEnabled(kProbeStartButton));
  EXPECT_TRUE(rig.widgets.IsEnabled(kProbeFinishButton));
  EXPECT_EQ(rig.widgets.focus, kProbeFinishButton);
  EXPECT_EQ(rig.widgets.Log(), u"") << "the first state rewrites the log";
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(1))), PinColour::Grey);

  ASSERT_TRUE(Touch({A(1), B(1)}));
  EXPECT_EQ(rig.widgets.Log(), u"c0:A01\r\nc0:B01\r\n");
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(1))), PinColour::Yellow);
  EXPECT_EQ(rig.panel.PinCellColour(Cell(B(1))), PinColour::Yellow);
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(2))), PinColour::Grey);

  ASSERT_TRUE(Touch({C(4)}));
  EXPECT_EQ(rig.widgets.Log(), u"c0:C04\r\n");
  ASSERT_TRUE(Touch({}));
  EXPECT_EQ(rig.widgets.Log(), u"");
  for (unsigned k : {A(1), B(1), C(4)}) EXPECT_EQ(rig.panel.PinCellColour(Cell(k)), PinColour::Grey) << k;

  // During the stop delay only the pins reached now keep their colour.
  ASSERT_TRUE(Touch({A(2)}));
  rig.panel.OnCommand(kProbeFinishButton, 0);
  EXPECT_FALSE(rig.widgets.IsEnabled(kProbeFinishButton));
  EXPECT_EQ(rig.widgets.timers[kTimerStopDelay], kProbeStopDelayMs);
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(2))), PinColour::Yellow);
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(3))), PinColour::Default);
  ASSERT_TRUE(UnitGets(kProbeFinish));
  EXPECT_EQ(rig.app.LinkOpen, 1) << "the link stays for the delay";

  const int repaints = rig.widgets.repaints;
  ASSERT_TRUE(rig.FireTimer(kTimerStopDelay));
  rig.DeliverPosted();
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_EQ(rig.state.ProbeFinishing, 0);
  EXPECT_GT(rig.widgets.repaints, repaints) << "no cell may stay yellow";
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(2))), PinColour::Default);
  EXPECT_EQ(rig.frames.Host().front(), AsBytes(kProbeStart));
  EXPECT_TRUE(rig.errors.codes.empty());
}

// A stream at line rate is shown once per batch of records, and not at all
// when nothing changed; Probe+ still latches a pin only one record reached.
TEST_F(ProbeMasterTest, AProbeStreamIsShownOncePerBatch) {
  rig.Unit([](TesterModel& m) { m.Faults().noAnswer = true; });  // the test feeds the records itself
  auto batch = [&](std::initializer_list<PinSet> states) {
    for (const PinSet& pins : states)
      for (uint8_t b : ProbeFrame(pins)) FeedByte(rig.channel, b);
    rig.panel.OnFrameQueued();
  };
  Select(kProbe);
  rig.panel.OnCommand(kProbeStartButton, 0);
  const int sets = rig.widgets.logSets;
  const int repaints = rig.widgets.repaints;
  const PinSet reached = Pins({A(1), B(1)});
  batch({reached, reached, reached, reached, reached, reached, reached, reached});
  EXPECT_EQ(rig.widgets.logSets, sets + 1);
  EXPECT_EQ(rig.widgets.repaints, repaints + 1);
  EXPECT_EQ(rig.widgets.Log(), u"c0:A01\r\nc0:B01\r\n");
  batch({reached, reached, reached});
  EXPECT_EQ(rig.widgets.logSets, sets + 1) << "nothing changed";
  EXPECT_EQ(rig.widgets.repaints, repaints + 1);

  Select(kProbePlus);
  rig.panel.OnCommand(kProbePlusStartButton, 0);
  batch({Pins({}), Pins({C(3)}), Pins({})});
  EXPECT_EQ(rig.state.TouchedEver[C(3)], 1);
  EXPECT_EQ(rig.state.TouchedNow[C(3)], 0);
  EXPECT_EQ(rig.panel.PinCellColour(Cell(C(3))), PinColour::Red);
}

// --- Probe+ ---

// Three tests in a row: every pin of the probe data reached (one of them only
// in passing), one left out, and one left out while a stray pin was reached.
TEST_F(ProbeMasterTest, ProbePlusJudgesEveryPinReachedSinceStart) {
  Select(kProbePlus);
  CableRecord& cable = rig.Cable(0);
  cable.probeData.pins = Pins({A(1), A(2)});
  rig.widgets.logFont = LogFont::kMediumBold;  // as Probe mode leaves it

  ASSERT_TRUE(StartProbing(kProbePlusStartButton));
  EXPECT_EQ(rig.widgets.logFont, LogFont::kNormal);
  EXPECT_TRUE(rig.widgets.IsEnabled(kProbePlusFinishButton));
  EXPECT_EQ(rig.widgets.focus, kProbePlusFinishButton);
  ASSERT_TRUE(Touch({A(1)}));
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(1))), PinColour::White);
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(2))), PinColour::Yellow);
  ASSERT_TRUE(Touch({A(2)}));  // A01 released
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(1))), PinColour::Blue);
  ASSERT_TRUE(Touch({}));
  EXPECT_EQ(rig.widgets.Log(), u"") << "nothing is logged while probing";
  ASSERT_TRUE(FinishProbing(kProbePlusFinishButton));
  EXPECT_EQ(rig.widgets.Log(), u"");
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"OK");
  EXPECT_EQ(rig.panel.PinCellColour(kResultBox), PinColour::ResultOk);
  EXPECT_EQ(Counters(kProbePlus), (std::vector<uint16_t>{1, 0, 0, 1}));
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(2))), PinColour::Blue) << "the colours stay after the stop";
  EXPECT_TRUE(rig.widgets.IsEnabled(kProbePlusStartButton));
  EXPECT_FALSE(rig.widgets.IsEnabled(kProbePlusFinishButton));

  // A03 never reached: not a fault, an incomplete check.
  cable.probeData.pins = Pins({A(1), A(3)});
  ASSERT_TRUE(StartProbing(kProbePlusStartButton));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"") << "cleared by the start";
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(2))), PinColour::Grey) << "nothing reached yet";
  ASSERT_TRUE(Touch({A(1)}));
  ASSERT_TRUE(FinishProbing(kProbePlusFinishButton));
  EXPECT_EQ(rig.widgets.Log(), PinLine(A(3), u"Unchecked"));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"NC");
  EXPECT_EQ(rig.panel.PinCellColour(kResultBox), PinColour::ResultNg);
  EXPECT_EQ(ShownCounters(), (std::vector<std::u16string>{u"1", u"0", u"1", u"2"}));

  // A stray A02 and an unreached B05: both lines in pin order, and NG wins.
  cable.probeData.pins = Pins({A(1), B(5)});
  ASSERT_TRUE(StartProbing(kProbePlusStartButton));
  EXPECT_EQ(rig.widgets.Log(), u"");
  ASSERT_TRUE(Touch({A(1), A(2)}));
  ASSERT_TRUE(Touch({}));
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(2))), PinColour::Red);
  ASSERT_TRUE(FinishProbing(kProbePlusFinishButton));
  EXPECT_EQ(rig.widgets.Log(), PinLine(A(2), u"Connection error") + PinLine(B(5), u"Unchecked"));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"NG");
  EXPECT_EQ(Counters(kProbePlus), (std::vector<uint16_t>{1, 1, 1, 3}));
  EXPECT_EQ(Counters(kProbe), (std::vector<uint16_t>{0, 0, 0, 0}));
  EXPECT_TRUE(rig.errors.codes.empty());
}

// After a time-out there is no probe to finish: Finish is disabled, and even
// reached through its command id (the shell's close sends Probe Finish
// whatever runs) it sends nothing and judges nothing.
TEST_F(ProbeMasterTest, AProbeThatTimedOutHasNothingToFinish) {
  rig.Cable(0).probeData.pins = Pins({A(1)});
  rig.Unit([](TesterModel& m) { m.Faults().noAnswer = true; });
  for (const TestMode mode : {kProbe, kProbePlus}) {
    const uint16_t start = mode == kProbe ? kProbeStartButton : kProbePlusStartButton;
    const uint16_t finish = mode == kProbe ? kProbeFinishButton : kProbePlusFinishButton;
    Select(mode);
    const int starts = HostCount(kProbeStart);
    rig.panel.OnCommand(start, 0);
    ASSERT_TRUE(UnitGets(kProbeStart, starts + 1));
    ASSERT_TRUE(rig.FireTimer(kTimerResponse));
    rig.DeliverPosted();
    EXPECT_FALSE(rig.link.IsOpen());
    EXPECT_TRUE(rig.widgets.IsEnabled(start));
    EXPECT_FALSE(rig.widgets.IsEnabled(finish)) << mode;
    rig.panel.OnCommand(finish, 0);
    EXPECT_FALSE(rig.widgets.TimerRunning(kTimerStopDelay));
    EXPECT_EQ(rig.state.ProbeFinishing, 0);
  }
  // Finish before the unit ever answered: nothing was probed, nothing judged.
  rig.panel.OnCommand(kProbePlusStartButton, 0);
  rig.panel.OnCommand(kProbePlusFinishButton, 0);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.app.LinkOpen == 0 && rig.widgets.IsEnabled(kProbePlusStartButton); }));
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerResponse));
  EXPECT_EQ(rig.errors.codes, (std::vector<uint16_t>{kErrorCommTimeout, kErrorCommTimeout, kErrorCommTimeout}));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"");
  EXPECT_EQ(rig.widgets.Log(), u"");
  EXPECT_EQ(Counters(kProbePlus), (std::vector<uint16_t>{0, 0, 0, 0}));

  // A start the unit is not ready for leaves Start as it was.
  rig.Unit([](TesterModel& m) { m.SetDsr(false); });
  rig.panel.OnCommand(kProbePlusStartButton, 0);
  EXPECT_EQ(rig.app.PortOnline, 0);
  EXPECT_TRUE(rig.widgets.IsEnabled(kProbePlusStartButton));
  EXPECT_FALSE(rig.widgets.IsEnabled(kProbePlusFinishButton));
}

// --- mode changes and starts during a probe exchange ---

TEST_F(ProbeMasterTest, AModeChangeWhileProbingFinishesWithoutJudging) {
  Select(kProbePlus);
  rig.Cable(0).probeData.pins = Pins({A(1)});
  ASSERT_TRUE(StartProbing(kProbePlusStartButton));
  ASSERT_TRUE(Touch({B(9)}));  // stray: would be NG

  Select(kOneOnOne);
  EXPECT_EQ(rig.app.CurrentMode, kOneOnOne);
  EXPECT_EQ(rig.state.ProbeFinishing, 1);
  EXPECT_EQ(rig.widgets.timers[kTimerStopDelay], kProbeStopDelayMs);
  EXPECT_TRUE(rig.link.IsOpen());
  EXPECT_TRUE(rig.widgets.IsEnabled(kOneOnOneStart));
  EXPECT_FALSE(rig.widgets.IsEnabled(kProbePlusFinishButton));
  ASSERT_TRUE(UnitGets(kProbeFinish));

  // The exchange is ending by itself: another mode change is taken at once
  // and does not finish the probe again.
  Select(kProbe);
  EXPECT_EQ(rig.app.CurrentMode, kProbe);
  ASSERT_TRUE(rig.FireTimer(kTimerStopDelay));
  rig.DeliverPosted();
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_TRUE(rig.widgets.IsEnabled(kProbeStartButton));
  EXPECT_EQ(rig.widgets.focus, kProbeStartButton);
  EXPECT_EQ(HostCount(kProbeFinish), 1);
  EXPECT_EQ(Counters(kProbePlus), (std::vector<uint16_t>{0, 0, 0, 0}));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"");
  EXPECT_TRUE(rig.errors.codes.empty());
}

// The shell lends the link to About (or re-creates the panel) only after
// this: a probing unit is told to finish, the link is closed at once and the
// panel is ready to start again; a master read in flight is dropped.
TEST_F(ProbeMasterTest, EndExchangeNowLeavesNoLinkAndNoTimer) {
  Select(kProbe);
  ASSERT_TRUE(StartProbing(kProbeStartButton));
  rig.panel.EndExchangeNow();
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_EQ(rig.app.LinkOpen, 0);
  EXPECT_EQ(HostCount(kProbeFinish), 1) << "the finish went out before the close";
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerStopDelay));
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerResponse));
  EXPECT_TRUE(rig.widgets.IsEnabled(kProbeStartButton));
  EXPECT_FALSE(rig.widgets.IsEnabled(kProbeFinishButton));

  Plug(Rows().Net({A(1), B(1)}));
  Select(kMasterWork);
  rig.panel.OnCommand(kWorkStartButton, 0);
  ASSERT_TRUE(rig.link.IsOpen());
  rig.panel.EndExchangeNow();
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerStopDelay)) << "no work phase 2 follows";
  rig.DeliverPosted();
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_TRUE(rig.widgets.IsEnabled(kWorkStartButton));
  EXPECT_TRUE(rig.widgets.IsEnabled(kReadMasterButton));
  EXPECT_TRUE(rig.errors.codes.empty());

  rig.panel.EndExchangeNow();  // nothing running: nothing happens
  EXPECT_EQ(HostCount(kProbeFinish), 1);
}

// Starts pressed while a finished probe's link still waits for its stop
// delay: the old exchange ends first and its delayed stop never reaches the
// new one. Read Master opens its link itself; Work Start stands for the other
// starts, which share theirs.
TEST_F(ProbeMasterTest, StartsWithinTheProbeStopDelayEndTheOldExchangeFirst) {
  const Rows harness = Rows().Net({A(1), B(1)});
  Plug(harness);
  auto probeThenSwitch = [&] {
    Select(kProbe);
    ASSERT_TRUE(StartProbing(kProbeStartButton));
    const int finishes = HostCount(kProbeFinish);
    Select(kMasterWork);
    ASSERT_TRUE(UnitGets(kProbeFinish, finishes + 1));
    ASSERT_TRUE(rig.widgets.TimerRunning(kTimerStopDelay));
  };

  probeThenSwitch();
  int closes = rig.port.RestoredCloses();
  rig.panel.OnCommand(kReadMasterButton, 0);
  EXPECT_EQ(rig.port.RestoredCloses(), closes + 1) << "the probe's link closed before the new one opened";
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerStopDelay));
  ASSERT_TRUE(rig.RunUntil([&] { return rig.app.LinkOpen == 0 && rig.widgets.IsEnabled(kReadMasterButton); }));
  EXPECT_EQ(Rows(rig.Cable(0).connections), harness);

  probeThenSwitch();
  closes = rig.port.RestoredCloses();
  rig.panel.OnCommand(kWorkStartButton, 0);
  EXPECT_EQ(rig.port.RestoredCloses(), closes + 1);
  EXPECT_EQ(rig.widgets.timers[kTimerStopDelay], kMasterStopDelayMs) << "the download's own delay";
  ASSERT_TRUE(UnitGets(kMasterTransferEnd));
  rig.FireTimer(kTimerStopDelay);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.app.LinkOpen == 0 && rig.widgets.IsEnabled(kWorkStartButton); }));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"OK");

  EXPECT_TRUE(rig.errors.codes.empty());
  EXPECT_EQ(Counters(kMasterWork), (std::vector<uint16_t>{1, 0, 0, 1}));
}

// --- Read Master ---

TEST_F(ProbeMasterTest, ReadMasterReplacesTheCurrentCablesWiring) {
  Select(kMasterWork);
  rig.Cable(0).connections[A(40)].bits = Pins({A(40), B(40)});  // old wiring the harness lacks
  const Rows harness = Harness();
  Plug(harness);
  rig.widgets.texts[kResultBox] = u"NG";

  ASSERT_TRUE(ReadMaster());
  EXPECT_EQ(rig.widgets.questionText, u"Overwrite information of cable1.Harness-7. OK?");
  EXPECT_EQ(rig.widgets.questionCaption, u"Read master");
  EXPECT_EQ(Rows(rig.Cable(0).connections), harness) << "pin bytes kept, rows not sent back to their own bit";
  EXPECT_EQ(rig.app.document.state, kNewChanged);
  EXPECT_EQ(rig.widgets.titlesShown, (std::vector<DocumentState>{kNewChanged}));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"");
  EXPECT_EQ(rig.panel.PinCellColour(Cell(C(2))), PinColour::Yellow);
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(40))), PinColour::Grey);
  EXPECT_TRUE(rig.widgets.IsEnabled(kWorkStartButton));
  EXPECT_EQ(rig.app.PortOnline, 1);
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_EQ(rig.frames.Host(), (std::vector<FrameBytes>{AsBytes(kMasterRead)}));

  // Into cable 4 of a set from a file; a row that names no pin is dropped
  // without touching anything else.
  rig.app.document.state = kFileUnchanged;
  rig.widgets.selectorSelection = 3;
  rig.panel.OnCommand(kCableSelector, 1);
  CopyText(rig.Cable(3).info.cableType, kCableTypeUnits, u"Loom");
  rig.Unit([](TesterModel& m) { m.Faults().pinOutOfRange = true; });
  CableSet before;
  std::memcpy(&before, &rig.app.cableSet, sizeof before);
  ASSERT_TRUE(ReadMaster());
  EXPECT_EQ(rig.widgets.questionText, u"Overwrite information of cable4.Loom. OK?");
  std::memcpy(before.cables[3].connections, harness.rows, sizeof harness.rows);
  EXPECT_EQ(std::memcmp(&before, &rig.app.cableSet, sizeof before), 0);
  EXPECT_EQ(rig.app.document.state, kFileChanged);
  EXPECT_TRUE(rig.errors.codes.empty());
}

// The rows are kept apart until the whole answer is in: picking another
// cable mid-read ends the read and stores nothing anywhere.
TEST_F(ProbeMasterTest, PickingACableMidReadStoresNothing) {
  Select(kMasterWork);
  Plug(Harness());
  CableSet before;
  std::memcpy(&before, &rig.app.cableSet, sizeof before);
  rig.panel.OnCommand(kReadMasterButton, 0);
  ASSERT_TRUE(rig.notifier.ServeUntil([&] { return rig.channel.queue.unreadCount >= 8; }, 3000));
  rig.widgets.selectorSelection = 3;
  rig.panel.OnCommand(kCableSelector, 1);
  before.currentCable = 3;
  rig.RunFor(20);
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_TRUE(rig.widgets.IsEnabled(kReadMasterButton));
  EXPECT_EQ(std::memcmp(&before, &rig.app.cableSet, sizeof before), 0);
  EXPECT_TRUE(rig.widgets.titlesShown.empty());
}

TEST_F(ProbeMasterTest, ReadMasterDeclinedFailedOrCutShort) {
  Select(kMasterWork);
  const Rows wiring = Rows().Net({A(2), B(2)});
  std::memcpy(rig.Cable(0).connections, wiring.rows, sizeof wiring.rows);
  rig.app.document.state = kFileUnchanged;
  Plug(Harness());

  // No: like a failed start, the cable untouched.
  rig.widgets.answerYes = false;
  rig.panel.OnCommand(kReadMasterButton, 0);
  EXPECT_EQ(rig.widgets.questions, 1);
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_EQ(rig.app.LinkOpen, 0);
  EXPECT_EQ(rig.app.PortOnline, 0);
  EXPECT_EQ(rig.widgets.portStatusShown, (std::vector<int32_t>{0}));
  EXPECT_TRUE(rig.widgets.IsEnabled(kReadMasterButton));
  EXPECT_TRUE(rig.widgets.IsEnabled(kWorkStartButton));
  EXPECT_EQ(Rows(rig.Cable(0).connections), wiring);

  // The unit not ready: no question at all.
  rig.widgets.answerYes = true;
  rig.Unit([](TesterModel& m) { m.SetDsr(false); });
  rig.panel.OnCommand(kReadMasterButton, 0);
  EXPECT_EQ(rig.widgets.questions, 1);
  EXPECT_TRUE(rig.widgets.IsEnabled(kReadMasterButton));

  // No answer: the time-out, the cable and the document as they were.
  rig.Unit([](TesterModel& m) {
    m.SetDsr(true);
    m.Faults().noAnswer = true;
  });
  rig.panel.OnCommand(kReadMasterButton, 0);
  EXPECT_EQ(rig.app.PortOnline, 1);
  ASSERT_TRUE(UnitGets(kMasterRead));
  ASSERT_TRUE(rig.FireTimer(kTimerResponse));
  ASSERT_TRUE(rig.RunUntil([&] { return rig.app.LinkOpen == 0 && rig.widgets.IsEnabled(kReadMasterButton); }));
  EXPECT_EQ(rig.errors.codes, (std::vector<uint16_t>{kErrorCommTimeout}));
  EXPECT_EQ(Rows(rig.Cable(0).connections), wiring);
  EXPECT_EQ(rig.app.document.state, kFileUnchanged);
  EXPECT_TRUE(rig.widgets.titlesShown.empty());
  EXPECT_EQ(HostCount(kMasterRead), 1);

  // DSR drops while the question is up and the link watch ends the exchange:
  // the Yes that follows reads nothing and wipes nothing.
  std::memcpy(rig.Cable(0).connections, wiring.rows, sizeof wiring.rows);
  rig.widgets.whileAsking = [](void* self) {
    auto& r = *static_cast<PanelRig*>(self);
    r.Unit([](TesterModel& m) { m.SetDsr(false); });
    r.FireTimer(kTimerLinkWatch);
  };
  rig.widgets.whileAskingContext = &rig;
  rig.panel.OnCommand(kReadMasterButton, 0);
  rig.widgets.whileAsking = nullptr;
  EXPECT_EQ(rig.widgets.postedCommands, (std::vector<uint16_t>{kExitCommand}));
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerResponse));
  EXPECT_TRUE(rig.widgets.IsEnabled(kReadMasterButton));
  EXPECT_EQ(Rows(rig.Cable(0).connections), wiring);
  EXPECT_EQ(HostCount(kMasterRead), 1);
}

// --- Work Start ---

// The harness read as master, then tested with one wire moved (A03's wire
// from B03 to B04), then tested as it was.
TEST_F(ProbeMasterTest, AMovedWireIsReportedFromBothEndsAndTheHarnessAsReadPasses) {
  Select(kMasterWork);
  const Rows harness = Harness();
  Plug(harness);
  ASSERT_TRUE(ReadMaster());
  EXPECT_EQ(Rows(rig.Cable(0).connections), harness);

  ASSERT_TRUE(RunWork());
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"OK");

  Rows moved = harness;
  moved.Net({B(3)}).Net({A(3), B(4)}).Measure(C(4), {});  // and C04 no longer sees itself
  Plug(moved);
  rig.widgets.logFont = LogFont::kMediumBold;  // as a cable without wiring leaves it
  ASSERT_TRUE(RunWork());
  EXPECT_EQ(rig.unit.With([](TesterModel& m) { return Rows(m.ExpectedWiring()); }), harness)
      << "the download kept across the re-opened link";
  EXPECT_EQ(rig.widgets.Log(), Line(A(3), B(3), u"No connection error") + Line(A(3), B(4), u"Connection error") +
                                   Line(B(3), A(3), u"No connection error") +
                                   Line(B(4), A(3), u"Connection error") +
                                   Line(C(4), C(4), u"No connection error"));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"NG");
  EXPECT_EQ(rig.panel.PinCellColour(kResultBox), PinColour::ResultNg);
  EXPECT_EQ(rig.widgets.logFont, LogFont::kNormal);
  EXPECT_EQ(Counters(kMasterWork), (std::vector<uint16_t>{1, 1, 0, 2}));
  EXPECT_TRUE(rig.widgets.IsEnabled(kReadMasterButton));

  Plug(harness);
  ASSERT_TRUE(RunWork());
  EXPECT_EQ(rig.widgets.Log(), u"") << "cleared by the start";
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"OK");
  EXPECT_EQ(rig.panel.PinCellColour(kResultBox), PinColour::ResultOk);
  EXPECT_EQ(Counters(kMasterWork), (std::vector<uint16_t>{2, 1, 0, 3}));
  EXPECT_EQ(rig.state.WorkPhase2Pending, 0);
  EXPECT_EQ(rig.port.RestoredCloses(), 7) << "the read, then download and test on links of their own";
  EXPECT_TRUE(rig.errors.codes.empty());
}

// A cable without wiring sends no rows; the unit finds nothing to report,
// which is not a pass.
TEST_F(ProbeMasterTest, ACableWithoutConnectionsIsCountedNg) {
  Select(kMasterWork);
  ASSERT_TRUE(RunWork());
  EXPECT_EQ(rig.frames.Host(),
            (std::vector<FrameBytes>{AsBytes(kMasterTransferStart), AsBytes(kMasterTransferEnd), AsBytes(kStatusQuery),
                                    AsBytes(kWorkTest)}));
  EXPECT_EQ(rig.widgets.Log(), u"No connection\r\n");
  EXPECT_EQ(rig.widgets.logFont, LogFont::kMediumBold);
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"OK");
  EXPECT_EQ(rig.panel.PinCellColour(kResultBox), PinColour::ResultOk);
  EXPECT_EQ(Counters(kMasterWork), (std::vector<uint16_t>{0, 1, 0, 1}));
}

TEST_F(ProbeMasterTest, WorkRowsThatNameNoPinStillFailTheCable) {
  Select(kMasterWork);
  const Rows harness = Harness();
  std::memcpy(rig.Cable(0).connections, harness.rows, sizeof harness.rows);
  Plug(harness);
  rig.Unit([](TesterModel& m) { m.Faults().pinOutOfRange = true; });
  ASSERT_TRUE(RunWork());
  EXPECT_EQ(rig.widgets.Log(), u"");
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"NG");
  EXPECT_EQ(rig.state.FaultCount, 1);
}

TEST_F(ProbeMasterTest, WorkStartFailuresLeaveReadMasterAndWorkStartUsable) {
  Select(kMasterWork);
  Plug(Harness());

  // Phase 1 cannot start.
  rig.Unit([](TesterModel& m) { m.SetDsr(false); });
  rig.panel.OnCommand(kWorkStartButton, 0);
  EXPECT_EQ(rig.state.WorkPhase2Pending, 0);
  EXPECT_EQ(rig.app.PortOnline, 0);
  EXPECT_TRUE(rig.widgets.IsEnabled(kWorkStartButton));
  EXPECT_TRUE(rig.widgets.IsEnabled(kReadMasterButton));
  EXPECT_TRUE(rig.frames.Host().empty());

  // Phase 2 cannot start: the unit went away during the download's delay.
  rig.Unit([](TesterModel& m) { m.SetDsr(true); });
  rig.panel.OnCommand(kWorkStartButton, 0);
  EXPECT_EQ(rig.state.WorkPhase2Pending, 1);
  EXPECT_FALSE(rig.widgets.IsEnabled(kWorkStartButton));
  ASSERT_TRUE(UnitGets(kMasterTransferEnd));
  rig.Unit([](TesterModel& m) { m.SetDsr(false); });
  ASSERT_TRUE(rig.FireTimer(kTimerStopDelay));
  rig.DeliverPosted();
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_EQ(rig.state.WorkPhase2Pending, 0);
  EXPECT_EQ(rig.app.PortOnline, 0);
  EXPECT_EQ(rig.widgets.portStatusShown.back(), 0);
  EXPECT_TRUE(rig.widgets.IsEnabled(kWorkStartButton));
  EXPECT_TRUE(rig.widgets.IsEnabled(kReadMasterButton));
  EXPECT_EQ(HostCount(kStatusQuery), 0);

  // Phase 2 without an answer: the time-out, no result.
  rig.Unit([](TesterModel& m) {
    m.SetDsr(true);
    m.Faults().noAnswer = true;
  });
  rig.panel.OnCommand(kWorkStartButton, 0);
  ASSERT_TRUE(UnitGets(kMasterTransferEnd, 2));
  ASSERT_TRUE(rig.FireTimer(kTimerStopDelay));
  rig.DeliverPosted();
  ASSERT_TRUE(UnitGets(kStatusQuery));
  ASSERT_TRUE(rig.FireTimer(kTimerResponse));
  ASSERT_TRUE(rig.RunUntil([&] { return rig.app.LinkOpen == 0 && rig.widgets.IsEnabled(kWorkStartButton); }));
  EXPECT_EQ(rig.errors.codes, (std::vector<uint16_t>{kErrorCommTimeout}));
  EXPECT_TRUE(rig.widgets.IsEnabled(kReadMasterButton));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"");
  EXPECT_EQ(Counters(kMasterWork), (std::vector<uint16_t>{0, 0, 0, 0}));
  EXPECT_EQ(HostCount(kWorkTest), 0);
}

}  // namespace

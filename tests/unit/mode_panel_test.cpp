// The mode panel and its tests as whole exchanges, through the real link
// workers, the in-memory port and the simulated unit (support/panel_rig.h).
#include "modes/mode_panel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "link/commands.h"
#include "support/panel_rig.h"

namespace {

using Texts = std::vector<std::u16string>;

// A harness with some wiring on every connector.
Rows Harness() { return Rows().Net({A(1), B(1)}).Net({A(3), B(3)}).Net({A(7), B(20), C(2)}); }

// Log lines of cable 1: "c0:A03 - c0:B07 Connection error", "c0:A02 - Unchecked".
std::u16string Line(unsigned a, unsigned k, const char16_t* what) {
  return Name(0, a) + u" - " + Name(0, k) + u" " + what + u"\r\n";
}
std::u16string PinLine(unsigned k, const char16_t* what) { return Name(0, k) + u" - " + what + u"\r\n"; }

class PanelTest : public ::testing::Test {
 protected:
  void Select(TestMode mode) { ASSERT_TRUE(rig.panel.SelectMode(mode)); }
  PinColour Colour(uint16_t control) { return rig.panel.PinCellColour(control); }
  // Decodes frames as the link would; the test dispatches.
  void Arrive(std::initializer_list<FrameBytes> frames) {
    for (const FrameBytes& frame : frames)
      for (uint8_t b : frame) FeedByte(rig.channel, b);
  }
  // The probe reaches `pins` from the unit's latest moment on, and the panel
  // has seen it.
  bool Touch(std::initializer_list<unsigned> pins) {
    uint8_t want[kPinCount] = {};
    for (unsigned p : pins) want[p] = 1;
    const uint64_t now = rig.unit.NowMs();
    rig.Unit([&](TesterModel& m) { m.ProbeAt(now, Pins(pins)); });
    return rig.RunUntil([&] { return std::memcmp(want, rig.state.TouchedNow, kPinCount) == 0; });
  }
  // Start, then until the probe's first state was shown.
  bool StartProbing(uint16_t start) {
    rig.Press(start);
    return rig.app.LinkOpen == 1 && rig.RunUntil([&] { return rig.channel.ResponsePending == 0; });
  }
  // Finish, then the stop delay once the unit has the finish.
  bool FinishProbing(uint16_t finish) {
    const int finishes = rig.HostCount(kProbeFinish);
    rig.Press(finish);
    return !rig.widgets.IsEnabled(finish) && rig.UnitGets(kProbeFinish, finishes + 1) &&
           rig.FireTimer(kTimerStopDelay) && rig.app.LinkOpen == 0;
  }
  // Read Master and Work Start are both off while an exchange of theirs runs,
  // and both on after it.
  bool MasterWorkBusy() { return !rig.widgets.IsEnabled(kReadMasterButton) && !rig.widgets.IsEnabled(kWorkStartButton); }
  bool MasterWorkIdle() { return rig.Idle(kReadMasterButton) && rig.widgets.IsEnabled(kWorkStartButton); }
  // Dispatches the answer until the exchange posts its stop, which it leaves
  // undelivered; false when no stop comes.
  bool AnswerDispatched() {
    auto& posted = rig.widgets.posted;
    return rig.notifier.ServeUntil(
        [&] {
          for (; !posted.empty() && posted.front().kind == FakePanelWidgets::Kind::kFrameQueued; posted.pop_front())
            rig.panel.OnFrameQueued();
          return !posted.empty();
        },
        3000);
  }
  // Work Start: the download, its delay once the unit has it all, then the
  // test proper, whose end stops the time-out, until the panel is idle again.
  bool RunWork() {
    const int ends = rig.HostCount(kMasterTransferEnd);
    rig.Press(kWorkStartButton);
    return rig.app.LinkOpen == 1 && MasterWorkBusy() && rig.UnitGets(kMasterTransferEnd, ends + 1) &&
           rig.widgets.Timer(kTimerStopDelay) == kMasterStopDelayMs && rig.EndDownload() &&
           MasterWorkBusy() && AnswerDispatched() && !rig.widgets.TimerRunning(kTimerResponse) && MasterWorkIdle();
  }

  PanelRig rig;
};

// --- the panel ---

TEST_F(PanelTest, StartUpShowsTheCurrentCableAndPinNoIsHeldWithin1To50) {
  EXPECT_EQ(rig.widgets.pinNoField, u"50");
  EXPECT_EQ(rig.widgets.Timer(kTimerLinkWatch), kLinkWatchMs);
  EXPECT_EQ(rig.widgets.CheckedRadio(), kOneOnOne);
  CopyText(rig.Cable(3).info.cableType, kCableTypeUnits, u"Harness-12345678901");
  CopyText(rig.Cable(3).info.comment, kCommentUnits, u"two\r\nlines");
  rig.app.cableSet.currentCable = 3;
  rig.panel.RefreshPanel();
  EXPECT_EQ(std::u16string(rig.widgets.selector.text[3]), u"4.Harness-12345678901");
  EXPECT_EQ(rig.widgets.selectorSelection, 3);
  EXPECT_EQ(rig.widgets.texts[kProductNoField + 4], u"two\r\nlines");
  EXPECT_EQ(rig.widgets.texts[Cell(C(4))], Name(3, C(4)));
  rig.app.cableSet.currentCable = 0;

  // Pin No. is held within 1..50 and colours both sides.
  const Texts typed{u"70", u"0", u"5", u""};  // the last on the way to typing another value
  const Texts shown{u"50", u"1", u"5", u""};
  for (size_t i = 0; i < typed.size(); ++i) {
    rig.TypePinNo(typed[i]);
    EXPECT_EQ(rig.widgets.pinNoField, shown[i]);
  }
  for (unsigned k : {A(1), A(5), B(1), B(5)}) EXPECT_EQ(Colour(Cell(k)), PinColour::Yellow) << k;
  for (unsigned k : {A(6), A(50), B(6), C(1)}) EXPECT_EQ(Colour(Cell(k)), PinColour::Grey) << k;
  EXPECT_EQ(Colour(kOkCounter), PinColour::Default);
  EXPECT_EQ(Colour(kCableSelector), PinColour::Default) << "the control after the last cell";
  rig.Plug(Rows().Straight(50));
  ASSERT_TRUE(rig.RunOneOnOne());
  rig.widgets.pinNoField = u"300";  // a value the field shows without a change notice
  ASSERT_TRUE(rig.RunOneOnOne());
  std::vector<int> sent;
  for (const FrameBytes& f : rig.unit.HostFrames()) sent.push_back(f[3]);
  EXPECT_EQ(sent, (std::vector<int>{5, 50})) << "never 300's low byte, 44";
  EXPECT_EQ(rig.widgets.Log(), u"All50pins found correct\r\n");
  rig.app.CurrentMode = kProbe;
  EXPECT_EQ(Colour(kResultBox), PinColour::Default) << "Probe has no result to colour";
  rig.panel.OnDestroy();
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerLinkWatch)) << "no watch outlives the window";
}

// Picking a cable refreshes the panel without changing the document, and
// ends a test running on the cable it replaces: its answer, already queued,
// is dropped.
TEST_F(PanelTest, PickingACableEndsTheRunningTestAndLeavesTheDocument) {
  rig.app.document.state = kFileUnchanged;
  rig.Plug(Rows().Straight(50).Net({A(2)}).Net({B(2)}));
  rig.Press(kOneOnOneStart);
  ASSERT_TRUE(rig.notifier.ServeUntil([&] { return rig.channel.queue.unreadCount >= 2; }, 3000));
  rig.widgets.selectorSelection = 3;
  rig.panel.OnCommand(kCableSelector, 9);  // CBN_EDITCHANGE: not a selection
  EXPECT_EQ(rig.app.cableSet.currentCable, 0);
  const int repaints = rig.widgets.repaints;
  rig.panel.OnCommand(kCableSelector, 1);
  EXPECT_TRUE(rig.widgets.IsEnabled(kOneOnOneStart));
  rig.RunFor(20);
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0");
  EXPECT_EQ(rig.widgets.Log(), u"");
  EXPECT_EQ(rig.widgets.texts[Cell(A(1))], Name(3, A(1)));
  EXPECT_GT(rig.widgets.repaints, repaints) << "the colours follow the cable";
  EXPECT_EQ(rig.app.document.state, kFileUnchanged);
  rig.widgets.selectorSelection = -1;
  rig.panel.OnCommand(kCableSelector, 1);
  EXPECT_EQ(rig.app.cableSet.currentCable, 0);
}

TEST_F(PanelTest, ModeCommandsRadioButtonsAndEachModesCounters) {
  // A click checks the radio button itself; the panel asks the shell.
  rig.widgets.CheckModeRadio(kProbe);
  EXPECT_TRUE(rig.Press(kModeRadio + 1));
  rig.Press(kModeRadio + 3);  // not checked: nothing
  EXPECT_TRUE(rig.Press(kEditButton));
  EXPECT_FALSE(rig.Press(40001)) << "not the panel's";
  EXPECT_EQ(rig.widgets.postedCommands, (std::vector<uint16_t>{40007}));
  EXPECT_EQ(rig.widgets.sentCommands, (std::vector<uint16_t>{40010}));
  Select(kProbe);
  EXPECT_FALSE(rig.widgets.IsEnabled(kOneOnOneStart) || rig.widgets.IsEnabled(kOkCounter));
  EXPECT_TRUE(rig.widgets.IsEnabled(kProbeStartButton));
  EXPECT_EQ(rig.widgets.focus, kProbeStartButton);
  Select(kOneOnOne);

  // During a 1 on 1 exchange a mode command is ignored and the radio buttons
  // go back to the mode that runs.
  rig.Plug(Rows().Straight(50));
  rig.Press(kOneOnOneStart);
  rig.widgets.CheckModeRadio(kMasterWork);
  EXPECT_FALSE(rig.panel.SelectMode(kMasterWork));
  EXPECT_EQ(rig.app.CurrentMode, kOneOnOne);
  EXPECT_EQ(rig.widgets.CheckedRadio(), kOneOnOne);
  ASSERT_TRUE(rig.Idle(kOneOnOneStart));
  EXPECT_EQ(rig.Outcome(), "closed [OK] 1 0 0 1");

  // Each mode shows and clears its own counters.
  rig.state.counters.values[kMasterWork][kCountNg] = 4;
  EXPECT_TRUE(rig.Press(kClearCounters));
  EXPECT_EQ(rig.Outcome(), "closed [OK] 0 0 0 0");
  EXPECT_EQ(rig.ShownCounters(), u"0 0 0 0");
  Select(kMasterWork);
  EXPECT_EQ(rig.ShownCounters(), u"0 4 0 0");
  rig.widgets.texts[kResultBox] = rig.widgets.texts[kResultLog] = u"NG";
  EXPECT_TRUE(rig.Press(kResultClear));
  EXPECT_EQ(rig.widgets.texts[kResultBox] + rig.widgets.Log(), u"");
}

// One "frame queued" takes every record queued by then, in order, each by
// the mode at dispatch: a record of another test is ignored.
TEST_F(PanelTest, OneNoticeDispatchesEveryQueuedRecordByTheModeAtDispatch) {
  rig.Unit([](TesterModel& m) { m.Faults().noAnswer = true; });
  rig.Press(kOneOnOneStart);
  EXPECT_EQ(rig.widgets.Timer(kTimerResponse), kResponseTimeoutMs);
  rig.FireTimer(kTimerLinkWatch);
  EXPECT_EQ(rig.app.LinkOpen, 1) << "the unit is ready: only the answer is missing";
  Arrive({RowFrame('O', A(3), Pins({A(3)})), EndFrame('O')});
  rig.app.CurrentMode = kMasterWork;
  rig.panel.OnFrameQueued();
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"");
  rig.app.CurrentMode = kOneOnOne;
  Arrive({RowFrame('R', A(3), Pins({A(3), B(9)})), RowFrame('O', A(3), Pins({A(3)})), EndFrame('O')});
  rig.panel.OnFrameQueued();
  EXPECT_EQ(rig.widgets.Log(), Line(A(3), B(3), u"No connection"));
  rig.panel.OnFrameQueued();
  EXPECT_EQ(rig.Outcome(), "open [NG] 0 1 0 1") << "the later notice finds nothing";
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerResponse)) << "the answer ended";
}

// --- exchanges that cannot run ---

// A start the unit is not ready for opens no exchange: the status bar says
// so, nothing reaches the unit, nothing is asked, and the mode's start
// controls are as before. A port that does not open is reported.
TEST_F(PanelTest, AStartWithoutAReadyUnitLeavesTheStartControlsUsable) {
  const struct {
    TestMode mode;
    uint16_t start, other;
  } starts[] = {{kOneOnOne, kOneOnOneStart, kOneOnOneStart},
                {kProbe, kProbeStartButton, kProbeStartButton},
                {kProbePlus, kProbePlusStartButton, kProbePlusStartButton},
                {kMasterWork, kReadMasterButton, kWorkStartButton},
                {kMasterWork, kWorkStartButton, kReadMasterButton}};
  rig.Unit([](TesterModel& m) { m.SetDsr(false); });
  for (const auto& s : starts) {
    SCOPED_TRACE(s.start);
    Select(s.mode);
    rig.widgets.portStatusShown.clear();
    rig.Press(s.start);
    EXPECT_EQ(rig.widgets.portStatusShown, (std::vector<int32_t>{0}));
    EXPECT_EQ(rig.app.LinkOpen + rig.state.WorkPhase2Pending, 0);
    EXPECT_TRUE(rig.widgets.IsEnabled(s.start) && rig.widgets.IsEnabled(s.other));
    EXPECT_FALSE(rig.widgets.IsEnabled(kProbePlusFinishButton) || rig.widgets.TimerRunning(kTimerResponse));
    EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0") << "DSR off is shown in the status bar only";
  }
  EXPECT_EQ(rig.widgets.questions, 0);
  EXPECT_TRUE(rig.unit.HostFrames().empty());
  rig.port.faults.failOpen = true;
  rig.Unit([](TesterModel& m) { m.SetDsr(true); });
  Select(kOneOnOne);
  rig.Press(kOneOnOneStart);
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0 e1025");
  EXPECT_TRUE(rig.widgets.IsEnabled(kOneOnOneStart));
}

// The unit going away mid-answer ends the exchange at once, with neither an
// error nor a result, and asks the shell to exit: found by the link watch,
// or by the time-out, which then is no time-out.
TEST_F(PanelTest, TheUnitGoingAwayMidAnswerEndsTheExchangeAndAsksToExit) {
  rig.FireTimer(kTimerLinkWatch);
  EXPECT_TRUE(rig.widgets.postedCommands.empty()) << "no link, nothing to watch";
  for (const uint16_t timer : {kTimerLinkWatch, kTimerResponse}) {
    SCOPED_TRACE(timer);
    auto owner = std::make_unique<PanelRig>();
    PanelRig& r = *owner;
    r.Unit([](TesterModel& m) {
      m.PlugNothing();
      m.Faults().dsrDropAfterFrames = 3;
    });
    r.Press(kOneOnOneStart);
    ASSERT_TRUE(r.RunUntil([&] { return r.state.FaultCount == 3 && !r.unit.Dsr(); }));
    EXPECT_EQ(r.app.LinkOpen, 1) << "only the timer notices";
    const int repaints = r.widgets.repaints;
    ASSERT_TRUE(r.FireTimer(timer));
    EXPECT_GT(r.widgets.repaints, repaints);
    EXPECT_EQ(r.app.LinkOpen + r.app.PortOnline, 0);
    EXPECT_EQ(r.port.UnrestoredCloses(), 1);
    EXPECT_TRUE(r.widgets.IsEnabled(kOneOnOneStart) && r.widgets.TimerRunning(kTimerLinkWatch));
    EXPECT_FALSE(r.widgets.TimerRunning(kTimerResponse));
    r.FireTimer(kTimerLinkWatch);
    r.RunFor(20);
    EXPECT_EQ(r.widgets.postedCommands, (std::vector<uint16_t>{kExitCommand})) << "asked once";
    EXPECT_EQ(r.Outcome(), "closed [] 0 0 0 0");
  }
}

// --- 1 on 1 ---

// A good cable, one with every kind of fault, then a good one again: each
// result stands on its own.
TEST_F(PanelTest, OneOnOneJudgesEachCableAfresh) {
  rig.Plug(Rows().Straight(50));
  rig.TypePinNo(u"5");
  rig.widgets.logFont = LogFont::kMediumBold;  // as Probe mode leaves it
  rig.Unit([](TesterModel& m) { m.Faults().unknownLetters = true; });  // a whole frame, ignored
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.widgets.Log(), u"All 5pins found correct\r\n");
  EXPECT_EQ(Colour(kResultBox), PinColour::ResultOk);
  EXPECT_EQ(rig.widgets.logFont, LogFont::kNormal);

  rig.TypePinNo(u"50");
  rig.Plug(Rows()
               .Straight(50)
               .Net({A(3), B(3), B(7)})                    // a short
               .Net({A(5)})                                // an open
               .Net({B(5)})
               .Measure(A(4), {A(4)})                      // partner missing
               .Measure(A(7), {B(7)})                      // own bit clear, partner set: nothing to say
               .Measure(A(9), {A(2), A(9), B(20), C(1)}));  // extra pins either side of the missing partner
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.widgets.Log(), Line(A(3), B(7), u"Connection error") + Line(A(4), B(4), u"No connection") +
                                   Line(A(5), B(5), u"No connection") + Line(A(9), A(2), u"Connection error") +
                                   Line(A(9), B(9), u"No connection") + Line(A(9), B(20), u"Connection error") +
                                   Line(A(9), C(1), u"Connection error"));
  EXPECT_EQ(Colour(kResultBox), PinColour::ResultNg);
  EXPECT_EQ(rig.ShownCounters(), u"1 1 0 2");

  // A frame cut off on an earlier link must not swallow the next answer.
  Arrive({{kStx, 0x11, 'O', 'D', 1}});
  rig.Plug(Rows().Straight(50));
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.widgets.Log(), u"All50pins found correct\r\n");
  EXPECT_EQ(Colour(kResultBox), PinColour::ResultOk);
  EXPECT_EQ(rig.Outcome(), "closed [OK] 2 1 0 3");
  EXPECT_EQ(rig.port.RestoredCloses(), 3) << "each exchange on a link of its own";
  EXPECT_EQ(rig.widgets.portStatusShown, (std::vector<int32_t>{1, 1, 1}));
}

// 50 open pins and 206 rows more, 256 in all: far more records than the
// queue holds, every one logged in order, and a fault count that must not
// wrap to zero. A row naming no pin is a fault without a line.
TEST_F(PanelTest, EveryRowFailsTheCableHoweverManyAndWhateverPinItNames) {
  rig.Unit([](TesterModel& m) {
    m.PlugNothing();
    m.Faults().burstFrames = 206;
  });
  ASSERT_TRUE(rig.RunOneOnOne());
  std::u16string expected;
  for (unsigned i = 0; i < 256; ++i) expected += Line(A(i % 50 + 1), B(i % 50 + 1), u"No connection");
  EXPECT_EQ(rig.widgets.Log(), expected);
  EXPECT_EQ(rig.Outcome(), "closed [NG] 0 1 0 1") << "one result, counted once";
  rig.Unit([](TesterModel& m) {
    m.PlugStraight(50);
    m.Faults().burstFrames = 0;
    m.Faults().pinOutOfRange = true;
  });
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.widgets.Log(), u"");
  EXPECT_EQ(rig.Outcome(), "closed [NG] 0 2 0 2");
}

// --- Probe and Probe+ ---

TEST_F(PanelTest, ProbeShowsWhatTheProbeReachesNow) {
  Select(kProbe);
  rig.widgets.texts[kResultLog] = u"left from before";
  ASSERT_TRUE(StartProbing(kProbeStartButton));
  EXPECT_EQ(rig.widgets.logFont, LogFont::kMediumBold);
  EXPECT_TRUE(rig.widgets.IsEnabled(kProbeFinishButton) && !rig.widgets.IsEnabled(kProbeStartButton));
  EXPECT_EQ(rig.widgets.focus, kProbeFinishButton);
  EXPECT_EQ(rig.widgets.Log(), u"") << "the first state rewrites the log";
  EXPECT_EQ(Colour(Cell(A(1))), PinColour::Grey);
  ASSERT_TRUE(Touch({A(1), B(1)}));
  EXPECT_EQ(rig.widgets.Log(), u"c0:A01\r\nc0:B01\r\n");
  EXPECT_EQ(Colour(Cell(B(1))), PinColour::Yellow);
  EXPECT_EQ(Colour(Cell(A(2))), PinColour::Grey);
  ASSERT_TRUE(Touch({}));
  EXPECT_EQ(rig.widgets.Log(), u"");

  // During the stop delay only the pins reached now keep their colour.
  ASSERT_TRUE(Touch({A(2)}));
  rig.Press(kProbeFinishButton);
  EXPECT_FALSE(rig.widgets.IsEnabled(kProbeFinishButton));
  EXPECT_EQ(rig.widgets.Timer(kTimerStopDelay), kProbeStopDelayMs);
  EXPECT_EQ(Colour(Cell(A(2))), PinColour::Yellow);
  EXPECT_EQ(Colour(Cell(A(3))), PinColour::Default);
  ASSERT_TRUE(rig.UnitGets(kProbeFinish));
  EXPECT_EQ(rig.app.LinkOpen, 1) << "the link stays for the delay";
  const int repaints = rig.widgets.repaints;
  ASSERT_TRUE(rig.FireTimer(kTimerStopDelay));
  EXPECT_EQ(rig.state.ProbeFinishing, 0);
  EXPECT_GT(rig.widgets.repaints, repaints) << "no cell may stay yellow";
  EXPECT_EQ(Colour(Cell(A(2))), PinColour::Default);
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0");
}

// A stream at line rate is shown once per batch of records, and not at all
// when nothing changed; Probe+ still latches a pin only one record reached.
TEST_F(PanelTest, AProbeStreamIsShownOncePerBatch) {
  rig.Unit([](TesterModel& m) { m.Faults().noAnswer = true; });  // the test feeds the records itself
  const auto repaintsFor = [&](std::initializer_list<PinSet> states) {
    const int before = rig.widgets.repaints;
    for (const PinSet& pins : states) Arrive({ProbeFrame(pins)});
    rig.panel.OnFrameQueued();
    return rig.widgets.repaints - before;
  };
  Select(kProbe);
  rig.Press(kProbeStartButton);
  const PinSet reached = Pins({A(1), B(1)});
  const int sets = rig.widgets.logSets;
  EXPECT_EQ(repaintsFor({reached, reached, reached, reached, reached}), 1);
  EXPECT_EQ(rig.widgets.Log(), u"c0:A01\r\nc0:B01\r\n");
  EXPECT_EQ(repaintsFor({reached, reached}), 0) << "nothing changed";
  EXPECT_EQ(rig.widgets.logSets, sets + 1);

  Select(kProbePlus);
  rig.Press(kProbePlusStartButton);
  EXPECT_EQ(repaintsFor({Pins({}), Pins({C(3)}), Pins({})}), 1);
  EXPECT_EQ(Colour(Cell(C(3))), PinColour::Red) << "reached once, and not expected";
  EXPECT_EQ(repaintsFor({Pins({}), Pins({})}), 0) << "nothing changed";
  EXPECT_EQ(repaintsFor({Pins({C(3)})}), 1) << "reached again";
}

// Three tests in a row: every pin of the probe data reached (one of them only
// in passing), one left out, and one left out while a stray pin was reached.
TEST_F(PanelTest, ProbePlusJudgesEveryPinReachedSinceStart) {
  Select(kProbePlus);
  CableRecord& cable = rig.Cable(0);
  cable.probeData.pins = Pins({A(1), A(2)});
  rig.widgets.logFont = LogFont::kMediumBold;  // as Probe mode leaves it
  ASSERT_TRUE(StartProbing(kProbePlusStartButton));
  EXPECT_EQ(rig.widgets.logFont, LogFont::kNormal);
  EXPECT_EQ(rig.widgets.focus, kProbePlusFinishButton);
  ASSERT_TRUE(Touch({A(1)}));
  EXPECT_EQ(Colour(Cell(A(1))), PinColour::White);
  EXPECT_EQ(Colour(Cell(A(2))), PinColour::Yellow);
  ASSERT_TRUE(Touch({A(2)}));  // A01 released
  EXPECT_EQ(Colour(Cell(A(1))), PinColour::Blue);
  ASSERT_TRUE(Touch({}));
  ASSERT_TRUE(FinishProbing(kProbePlusFinishButton));
  EXPECT_EQ(rig.widgets.Log(), u"");
  EXPECT_EQ(rig.Outcome(), "closed [OK] 1 0 0 1");
  EXPECT_EQ(Colour(kResultBox), PinColour::ResultOk);
  EXPECT_EQ(Colour(Cell(A(2))), PinColour::Blue) << "the colours stay after the stop";
  EXPECT_TRUE(rig.widgets.IsEnabled(kProbePlusStartButton));

  // A03 never reached: not a fault, an incomplete check.
  cable.probeData.pins = Pins({A(1), A(3)});
  ASSERT_TRUE(StartProbing(kProbePlusStartButton));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"") << "cleared by the start";
  EXPECT_EQ(Colour(Cell(A(1))), PinColour::Yellow) << "nothing reached yet";
  ASSERT_TRUE(Touch({A(1)}));
  ASSERT_TRUE(FinishProbing(kProbePlusFinishButton));
  EXPECT_EQ(rig.widgets.Log(), PinLine(A(3), u"Unchecked"));
  EXPECT_EQ(Colour(kResultBox), PinColour::ResultNg);
  EXPECT_EQ(rig.ShownCounters(), u"1 0 1 2");
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"NC");

  // A stray A02 and an unreached B05: both lines in pin order, and NG wins.
  cable.probeData.pins = Pins({A(1), B(5)});
  rig.Press(kProbePlusStartButton);
  EXPECT_EQ(Colour(Cell(A(1))), PinColour::Yellow) << "nothing of the last test is reached";
  EXPECT_EQ(rig.widgets.Log(), u"");
  ASSERT_TRUE(Touch({A(1), A(2)}));
  ASSERT_TRUE(Touch({}));
  ASSERT_TRUE(FinishProbing(kProbePlusFinishButton));
  EXPECT_EQ(rig.widgets.Log(), PinLine(A(2), u"Connection error") + PinLine(B(5), u"Unchecked"));
  EXPECT_EQ(rig.Outcome(), "closed [NG] 1 1 1 3");
  EXPECT_EQ(rig.state.counters.values[kProbe][kCountTotal], 0);
}

// After a time-out there is no probe to finish: Finish is disabled, and even
// reached through its command id (the shell's close sends Probe Finish
// whatever runs) it judges nothing. Nor does a finish before the unit ever
// answered.
TEST_F(PanelTest, AProbeThatNeverAnsweredHasNothingToFinish) {
  rig.Cable(0).probeData.pins = Pins({A(1)});
  rig.Unit([](TesterModel& m) { m.Faults().noAnswer = true; });
  for (const uint16_t start : {kProbeStartButton, kProbePlusStartButton}) {
    const uint16_t finish = static_cast<uint16_t>(start + 1);
    Select(start == kProbeStartButton ? kProbe : kProbePlus);
    rig.Press(start);
    ASSERT_TRUE(rig.FireTimer(kTimerResponse));
    EXPECT_TRUE(rig.widgets.IsEnabled(start) && !rig.widgets.IsEnabled(finish));
    rig.Press(finish);
    EXPECT_FALSE(rig.widgets.TimerRunning(kTimerStopDelay));
    EXPECT_EQ(rig.state.ProbeFinishing, 0);
  }
  rig.Press(kProbePlusStartButton);
  rig.Press(kProbePlusFinishButton);
  ASSERT_TRUE(rig.Idle(kProbePlusStartButton));
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerResponse));
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0 e1028 e1028 e1028");
  EXPECT_EQ(rig.widgets.Log(), u"");
}

// A probe ended by a mode change finishes without judging; once it is
// finishing, another mode change is taken at once and does not finish it
// again. EndExchangeNow, before the shell lends the link to About, closes at
// once and leaves no phase 2 of a work test to follow.
TEST_F(PanelTest, AProbeEndedByAModeChangeOrAtOnceJudgesNothing) {
  Select(kProbePlus);
  rig.Cable(0).probeData.pins = Pins({A(1)});
  ASSERT_TRUE(StartProbing(kProbePlusStartButton));
  ASSERT_TRUE(Touch({B(9)}));  // stray: would be NG
  Select(kOneOnOne);
  EXPECT_EQ(rig.state.ProbeFinishing, 1);
  EXPECT_EQ(rig.widgets.Timer(kTimerStopDelay), kProbeStopDelayMs);
  EXPECT_TRUE(rig.link.IsOpen() && rig.widgets.IsEnabled(kOneOnOneStart));
  EXPECT_FALSE(rig.widgets.IsEnabled(kProbePlusFinishButton));
  ASSERT_TRUE(rig.UnitGets(kProbeFinish));
  Select(kProbe);
  ASSERT_TRUE(rig.FireTimer(kTimerStopDelay));
  EXPECT_TRUE(rig.widgets.IsEnabled(kProbeStartButton));
  EXPECT_EQ(rig.widgets.focus, kProbeStartButton);
  EXPECT_EQ(rig.state.counters.values[kProbePlus][kCountTotal], 0);

  ASSERT_TRUE(StartProbing(kProbeStartButton));
  rig.panel.EndExchangeNow();
  EXPECT_EQ(rig.HostCount(kProbeFinish), 2) << "the finish went out before the close";
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerStopDelay) || rig.widgets.TimerRunning(kTimerResponse));
  EXPECT_TRUE(rig.widgets.IsEnabled(kProbeStartButton) && !rig.widgets.IsEnabled(kProbeFinishButton));
  Select(kMasterWork);
  rig.Press(kWorkStartButton);
  rig.panel.EndExchangeNow();
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerStopDelay));
  EXPECT_TRUE(MasterWorkIdle());
  EXPECT_EQ(rig.HostCount(kStatusQuery), 0);
  rig.panel.EndExchangeNow();  // nothing running: nothing happens
  EXPECT_EQ(rig.HostCount(kProbeFinish), 2);
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0");
}

// Starts pressed while a finished probe's link still waits for its stop
// delay: the old exchange ends first and its delayed stop never reaches the
// new one. Read Master opens its link itself; Work Start stands for the other
// starts, which share theirs.
TEST_F(PanelTest, StartsWithinTheProbeStopDelayEndTheOldExchangeFirst) {
  rig.Plug(Rows().Net({A(1), B(1)}));
  for (const uint16_t start : {kReadMasterButton, kWorkStartButton}) {
    Select(kProbe);
    ASSERT_TRUE(StartProbing(kProbeStartButton));
    const int finishes = rig.HostCount(kProbeFinish);
    Select(kMasterWork);
    ASSERT_TRUE(rig.UnitGets(kProbeFinish, finishes + 1));
    const int closes = rig.port.RestoredCloses();
    rig.Press(start);
    EXPECT_EQ(rig.port.RestoredCloses(), closes + 1) << "the probe's link closed before the new one opened";
    EXPECT_EQ(rig.widgets.Timer(kTimerStopDelay), start == kWorkStartButton ? kMasterStopDelayMs : 0u);
    if (start == kWorkStartButton) {
      ASSERT_TRUE(rig.UnitGets(kMasterTransferEnd) && rig.EndDownload());
    }
    ASSERT_TRUE(MasterWorkIdle());
  }
  EXPECT_EQ(Rows(rig.Cable(0).connections), Rows().Net({A(1), B(1)}));
  EXPECT_EQ(rig.Outcome(), "closed [OK] 1 0 0 1");
}

// --- Master/Work ---

TEST_F(PanelTest, ReadMasterReplacesTheCurrentCablesWiring) {
  Select(kMasterWork);
  CopyText(rig.Cable(0).info.cableType, kCableTypeUnits, u"Harness-7");
  rig.Cable(0).connections[A(40)].bits = Pins({A(40), B(40)});  // old wiring the harness lacks
  rig.Plug(Harness());
  rig.widgets.texts[kResultBox] = u"NG";
  rig.Press(kReadMasterButton);
  ASSERT_TRUE(MasterWorkBusy() && MasterWorkIdle());
  EXPECT_EQ(rig.widgets.questionText, u"Overwrite information of cable1.Harness-7. OK?");
  EXPECT_EQ(rig.widgets.questionCaption, u"Read master");
  EXPECT_EQ(Rows(rig.Cable(0).connections), Harness()) << "pin bytes kept, rows not sent back to their own bit";
  EXPECT_EQ(rig.widgets.titlesShown, (std::vector<DocumentState>{kNewChanged}));
  EXPECT_EQ(Colour(Cell(C(2))), PinColour::Yellow);
  EXPECT_EQ(Colour(Cell(A(40))), PinColour::Grey);
  EXPECT_EQ(rig.unit.HostFrames(), (std::vector<FrameBytes>{AsBytes(kMasterRead)}));
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0");

  // Into cable 4 of a set from a file; a row that names no pin is dropped
  // without touching anything else.
  rig.app.document.state = kFileUnchanged;
  rig.widgets.selectorSelection = 3;
  rig.panel.OnCommand(kCableSelector, 1);
  CopyText(rig.Cable(3).info.cableType, kCableTypeUnits, u"Loom");
  rig.Unit([](TesterModel& m) { m.Faults().pinOutOfRange = true; });
  CableSet before;
  std::memcpy(&before, &rig.app.cableSet, sizeof before);
  rig.Press(kReadMasterButton);
  ASSERT_TRUE(MasterWorkIdle());
  EXPECT_EQ(rig.widgets.questionText, u"Overwrite information of cable4.Loom. OK?");
  std::memcpy(before.cables[3].connections, Harness().rows, sizeof Harness().rows);
  EXPECT_EQ(std::memcmp(&before, &rig.app.cableSet, sizeof before), 0);
  EXPECT_EQ(rig.app.document.state, kFileChanged);
}

// The rows are kept apart until the whole answer is in: picking a cable
// mid-read, or declining the question, stores nothing anywhere; nor does a
// Yes after the unit went away while the question was up.
TEST_F(PanelTest, AReadMasterCutShortStoresNothing) {
  Select(kMasterWork);
  rig.Plug(Harness());
  CableSet before;
  std::memcpy(&before, &rig.app.cableSet, sizeof before);
  rig.Press(kReadMasterButton);
  ASSERT_TRUE(rig.notifier.ServeUntil([&] { return rig.channel.queue.unreadCount >= 8; }, 3000));
  rig.widgets.selectorSelection = 0;
  rig.panel.OnCommand(kCableSelector, 1);
  rig.RunFor(20);
  EXPECT_TRUE(MasterWorkIdle());

  rig.widgets.answerYes = false;
  rig.widgets.portStatusShown.clear();
  rig.Press(kReadMasterButton);
  EXPECT_EQ(rig.widgets.questions, 2);
  EXPECT_EQ(rig.widgets.portStatusShown, (std::vector<int32_t>{0}));
  EXPECT_TRUE(MasterWorkIdle());

  rig.widgets.answerYes = true;
  rig.widgets.whileAsking = [&] {
    rig.Unit([](TesterModel& m) { m.SetDsr(false); });
    rig.FireTimer(kTimerLinkWatch);
  };
  rig.Press(kReadMasterButton);
  EXPECT_EQ(rig.widgets.postedCommands, (std::vector<uint16_t>{kExitCommand}));
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerResponse));
  EXPECT_TRUE(MasterWorkIdle());
  EXPECT_EQ(rig.HostCount(kMasterRead), 1);
  EXPECT_EQ(std::memcmp(&before, &rig.app.cableSet, sizeof before), 0);
  EXPECT_TRUE(rig.widgets.titlesShown.empty());
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0");
}

// A cable without wiring (the unit finds nothing to report, which is not a
// pass); the harness read as master, then tested as it is, with one wire
// moved (A03's wire from B03 to B04), as it is again, and with a row naming
// no pin.
TEST_F(PanelTest, WorkTestsReportEveryWireThatDiffersFromBothEnds) {
  Select(kMasterWork);
  ASSERT_TRUE(RunWork());
  EXPECT_EQ(rig.unit.HostFrames(), (std::vector<FrameBytes>{AsBytes(kMasterTransferStart), AsBytes(kMasterTransferEnd),
                                                       AsBytes(kStatusQuery), AsBytes(kWorkTest)}));
  EXPECT_EQ(rig.widgets.Log(), u"No connection\r\n");
  EXPECT_EQ(rig.widgets.logFont, LogFont::kMediumBold);
  EXPECT_EQ(rig.Outcome(), "closed [OK] 0 1 0 1");

  const Rows harness = Harness();
  rig.Plug(harness);
  rig.Press(kReadMasterButton);
  ASSERT_TRUE(MasterWorkIdle());
  ASSERT_TRUE(RunWork());
  EXPECT_EQ(rig.widgets.logFont, LogFont::kNormal);
  EXPECT_EQ(rig.Outcome(), "closed [OK] 1 1 0 2");
  rig.Plug(Rows(harness).Net({B(3)}).Net({A(3), B(4)}).Measure(C(4), {}));  // and C04 no longer sees itself
  ASSERT_TRUE(RunWork());
  EXPECT_EQ(rig.unit.With([](TesterModel& m) { return Rows(m.ExpectedWiring()); }), harness);
  EXPECT_EQ(rig.widgets.Log(), Line(A(3), B(3), u"No connection error") + Line(A(3), B(4), u"Connection error") +
                                   Line(B(3), A(3), u"No connection error") +
                                   Line(B(4), A(3), u"Connection error") +
                                   Line(C(4), C(4), u"No connection error"));
  EXPECT_EQ(Colour(kResultBox), PinColour::ResultNg);
  rig.Plug(harness);
  ASSERT_TRUE(RunWork());
  EXPECT_EQ(rig.widgets.Log(), u"") << "cleared by the start";
  EXPECT_EQ(Colour(kResultBox), PinColour::ResultOk);
  rig.Unit([](TesterModel& m) { m.Faults().pinOutOfRange = true; });
  ASSERT_TRUE(RunWork());
  EXPECT_EQ(rig.widgets.Log(), u"");
  EXPECT_EQ(rig.Outcome(), "closed [NG] 2 3 0 5");
  EXPECT_EQ(rig.port.RestoredCloses(), 11) << "the read, then download and test on links of their own";
}

// Phase 2 cannot start (the unit went away during the download's delay),
// then does not get an answer: no test, no result, both buttons usable.
TEST_F(PanelTest, AWorkTestWhosePhase2FailsLeavesReadMasterAndWorkStartUsable) {
  Select(kMasterWork);
  rig.Plug(Harness());
  rig.Press(kWorkStartButton);
  EXPECT_EQ(rig.state.WorkPhase2Pending, 1);
  ASSERT_TRUE(rig.UnitGets(kMasterTransferEnd));
  rig.Unit([](TesterModel& m) { m.SetDsr(false); });
  ASSERT_TRUE(rig.EndDownload());
  EXPECT_EQ(rig.state.WorkPhase2Pending + rig.app.PortOnline, 0);
  EXPECT_TRUE(MasterWorkIdle());

  rig.Unit([](TesterModel& m) {
    m.SetDsr(true);
    m.Faults().noAnswer = true;
  });
  rig.Press(kWorkStartButton);
  ASSERT_TRUE(rig.UnitGets(kMasterTransferEnd, 2) && rig.EndDownload());
  ASSERT_TRUE(rig.UnitGets(kStatusQuery));
  ASSERT_TRUE(rig.FireTimer(kTimerResponse));
  ASSERT_TRUE(MasterWorkIdle());
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0 e1028");
  EXPECT_EQ(rig.HostCount(kWorkTest), 0);
}

}  // namespace

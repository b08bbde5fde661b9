// The mode panel and its tests as whole exchanges, through the real link
// workers, the in-memory port and the simulated unit (support/panel_rig.h).
#include "modes/mode_panel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "app/journal.h"
#include "common/text.h"
#include "link/commands.h"
#include "support/memory_file_system.h"
#include "support/panel_rig.h"

namespace {

// Log lines of cable 1: "c0:A03 - c0:B07 Connection error", "c0:A02 - Unchecked".
std::u16string Line(unsigned a, unsigned k, const char16_t* what) {
  return Name(0, a) + u" - " + Name(0, k) + u" " + what + u"\r\n";
}
std::u16string PinLine(unsigned k, const char16_t* what) { return Name(0, k) + u" - " + what + u"\r\n"; }

class PanelTest : public ::testing::Test {
 protected:
  PanelTest() {
    journal.SetFile(u"results.csv");
    rig.panel.SetJournal(&journal);
  }
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
    rig.unit.With([&](TesterModel& m) { m.ProbeAt(now, Pins(pins)); });
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
    return rig.Press(finish) && !rig.IsEnabled(finish) && rig.UnitGets(kProbeFinish, finishes + 1) &&
           rig.FireTimer(kTimerStopDelay) && rig.app.LinkOpen == 0;
  }
  // Read Master and Work Start are both off while an exchange of theirs runs,
  // and both on after it.
  bool MasterWorkBusy() { return !rig.IsEnabled(kReadMasterButton) && !rig.IsEnabled(kWorkStartButton); }
  bool MasterWorkIdle() { return rig.Idle(kReadMasterButton) && rig.IsEnabled(kWorkStartButton); }
  // Work Start: the download, its delay once the unit has it all, then the
  // test proper, whose end stops the time-out before its stop is delivered.
  bool RunWork() {
    const int ends = rig.HostCount(kMasterTransferEnd);
    bool timedAtResult = false;
    rig.onResult = [&] { timedAtResult = rig.Timer(kTimerResponse) != 0; };
    rig.Press(kWorkStartButton);
    const bool ran = MasterWorkBusy() && rig.UnitGets(kMasterTransferEnd, ends + 1) &&
                     rig.Timer(kTimerStopDelay) == kMasterStopDelayMs && rig.EndDownload() &&
                     MasterWorkBusy() && MasterWorkIdle() && !timedAtResult;
    rig.onResult = nullptr;
    return ran;
  }

  // The verdicts and error codes journaled so far, in order: "OK NG 1028".
  std::string Journaled() {
    const std::vector<uint8_t>& bytes = files.files[u"results.csv"];
    const std::string text(bytes.begin(), bytes.end());
    const std::regex verdict(",(OK|NG|NC|\\d{4}),\\d+,\\d+,\\d+,\\d+,");
    std::string s;
    for (std::sregex_iterator it(text.begin(), text.end(), verdict), end; it != end; ++it)
      s += (s.empty() ? "" : " ") + (*it)[1].str();
    return s;
  }

  MemoryFileSystem files;
  Journal journal{files};
  PanelRig rig;
};

// --- the panel ---

TEST_F(PanelTest, StartUpShowsTheCurrentCableAndPinNoIsHeldWithin1To50) {
  EXPECT_EQ(rig.pinNoField, u"50");
  EXPECT_EQ(rig.checkedRadio, kOneOnOne);
  CopyText(rig.Cable(3).info.cableType, kCableTypeUnits, u"Harness-12345678901");
  CopyText(rig.Cable(3).info.comment, kCommentUnits, u"two\r\nlines");
  rig.app.cableSet.currentCable = 3;
  rig.panel.RefreshPanel();
  EXPECT_EQ(std::u16string(rig.selector.text[3]), u"4.Harness-12345678901");
  EXPECT_EQ(rig.selectorSelection, 3);
  EXPECT_EQ(rig.texts[kProductNoField + 4], u"two\r\nlines");
  rig.app.cableSet.currentCable = 0;

  // Pin No. is held within 1..50 and colours both sides; "" is on the way
  // to typing another value, and a start then sends the last one.
  for (const auto& [typed, shown] :
       {std::pair{u"70", u"50"}, std::pair{u"0", u"1"}, std::pair{u"5", u"5"}, std::pair{u"", u""}}) {
    rig.TypePinNo(typed);
    EXPECT_EQ(rig.pinNoField, shown);
  }
  for (unsigned k : {A(1), A(5), B(1), B(5)}) EXPECT_EQ(Colour(Cell(k)), PinColour::Yellow) << k;
  for (unsigned k : {A(6), A(50), B(6), C(1)}) EXPECT_EQ(Colour(Cell(k)), PinColour::Grey) << k;
  EXPECT_EQ(Colour(kOkCounter), PinColour::Default);
  EXPECT_EQ(Colour(kCableSelector), PinColour::Default) << "the control after the last cell";
  rig.Plug(Rows().Straight(50));
  ASSERT_TRUE(rig.RunOneOnOne());
  rig.pinNoField = u"300";  // a value the field shows without a change notice
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.unit.HostFrames().front()[3], 5);
  EXPECT_EQ(rig.unit.HostFrames().back()[3], 50) << "never 300's low byte, 44";
  rig.app.CurrentMode = kProbe;
  EXPECT_EQ(Colour(kResultBox), PinColour::Default) << "Probe has no result to colour";
}

// Picking a cable refreshes the panel without changing the document, and
// ends a test running on the cable it replaces: its answer, already queued,
// is dropped.
TEST_F(PanelTest, PickingACableEndsTheRunningTestAndLeavesTheDocument) {
  rig.app.document.state = kFileUnchanged;
  rig.Plug(Rows().Straight(50).Net({A(2)}).Net({B(2)}));
  rig.Press(kOneOnOneStart);
  ASSERT_TRUE(rig.notifier.ServeUntil([&] { return rig.channel.queue.unreadCount >= 2; }, 3000));
  rig.selectorSelection = 3;
  rig.panel.OnCommand(kCableSelector, 1);
  EXPECT_TRUE(rig.IsEnabled(kOneOnOneStart));
  rig.RunFor(20);
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0");
  EXPECT_EQ(rig.texts[Cell(A(1))], Name(3, A(1)));
  EXPECT_EQ(rig.app.document.state, kFileUnchanged);
}

TEST_F(PanelTest, ModeCommandsRadioButtonsAndEachModesCounters) {
  // A click checks the radio button itself; the panel asks the shell.
  rig.CheckModeRadio(kProbePlus);
  EXPECT_TRUE(rig.Press(kModeRadio + 3));
  rig.Press(kModeRadio + 1);  // not checked: nothing
  EXPECT_TRUE(rig.Press(kEditButton));
  EXPECT_FALSE(rig.Press(40001)) << "not the panel's";
  EXPECT_EQ(rig.postedCommands, (std::vector<uint16_t>{40009}));
  EXPECT_EQ(rig.sentCommands, (std::vector<uint16_t>{40010}));
  Select(kProbe);
  EXPECT_FALSE(rig.IsEnabled(kOneOnOneStart) || rig.IsEnabled(kOkCounter));
  Select(kOneOnOne);

  // During a 1 on 1 exchange a mode command is ignored and the radio buttons
  // go back to the mode that runs.
  rig.Plug(Rows().Straight(50));
  rig.Press(kOneOnOneStart);
  rig.CheckModeRadio(kMasterWork);
  EXPECT_FALSE(rig.panel.SelectMode(kMasterWork));
  EXPECT_EQ(rig.app.CurrentMode, kOneOnOne);
  EXPECT_EQ(rig.checkedRadio, kOneOnOne);
  ASSERT_TRUE(rig.Idle(kOneOnOneStart));
  EXPECT_EQ(rig.Outcome(), "closed [OK] 1 0 0 1");

  // Each mode shows and clears its own counters.
  rig.state.counters.values[kMasterWork][kCountNg] = 4;
  EXPECT_TRUE(rig.Press(kClearCounters));
  EXPECT_EQ(rig.Outcome(), "closed [OK] 0 0 0 0");
  Select(kMasterWork);
  EXPECT_EQ(rig.Outcome(), "closed [] 0 4 0 0");
  rig.texts[kResultBox] = rig.texts[kResultLog] = u"NG";
  EXPECT_TRUE(rig.Press(kResultClear));
  EXPECT_EQ(rig.texts[kResultBox] + rig.Log(), u"");
}

// One "frame queued" takes every record queued by then, in order, each by
// the mode at dispatch: a record of another test is ignored.
TEST_F(PanelTest, OneNoticeDispatchesEveryQueuedRecordByTheModeAtDispatch) {
  rig.unit.With([](TesterModel& m) { m.Faults().noAnswer = true; });
  rig.Press(kOneOnOneStart);
  EXPECT_EQ(rig.Timer(kTimerResponse), kResponseTimeoutMs);
  rig.FireTimer(kTimerLinkWatch);  // the unit is ready: only the answer is missing
  Arrive({RowFrame('O', A(3), Pins({A(3)})), EndFrame('O')});
  rig.app.CurrentMode = kMasterWork;
  rig.panel.OnFrameQueued();
  EXPECT_EQ(rig.texts[kResultBox], u"");
  rig.app.CurrentMode = kOneOnOne;
  Arrive({RowFrame('R', A(3), Pins({A(3), B(9)})), RowFrame('O', A(3), Pins({A(3)})), EndFrame('O')});
  rig.panel.OnFrameQueued();
  EXPECT_EQ(rig.Log(), Line(A(3), B(3), u"No connection"));
  rig.panel.OnFrameQueued();
  EXPECT_EQ(rig.Outcome(), "open [NG] 0 1 0 1") << "the later notice finds nothing; the answer ended";
}

// --- exchanges that cannot run ---

// A start the unit is not ready for opens no exchange: the status bar says
// so, nothing reaches the unit, nothing is asked, and the mode's start
// controls are as before. (A port that does not open is the link's to report.)
TEST_F(PanelTest, AStartWithoutAReadyUnitLeavesTheStartControlsUsable) {
  const std::pair<TestMode, uint16_t> starts[] = {{kOneOnOne, kOneOnOneStart},     {kProbe, kProbeStartButton},
                                                  {kProbePlus, kProbePlusStartButton}, {kMasterWork, kReadMasterButton},
                                                  {kMasterWork, kWorkStartButton}};
  rig.unit.With([](TesterModel& m) { m.SetDsr(false); });
  for (const auto& [mode, start] : starts) {
    SCOPED_TRACE(start);
    Select(mode);
    rig.Press(start);
    EXPECT_TRUE(rig.IsEnabled(start) && (mode != kMasterWork || MasterWorkIdle()));
    EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0") << "DSR off is shown in the status bar only";
  }
  EXPECT_EQ(rig.portStatusShown, std::vector<int32_t>(std::size(starts), 0));
  EXPECT_EQ(rig.question, u"");
  EXPECT_TRUE(rig.unit.HostFrames().empty());
}

// The unit going away mid-answer ends the exchange at once, with neither an
// error nor a result, and asks the shell to exit: found by the link watch,
// or by the time-out, which then is no time-out.
TEST_F(PanelTest, TheUnitGoingAwayMidAnswerEndsTheExchangeAndAsksToExit) {
  for (const uint16_t timer : {kTimerLinkWatch, kTimerResponse}) {
    SCOPED_TRACE(timer);
    const auto r = std::make_unique<PanelRig>();
    r->unit.With([](TesterModel& m) {
      m.PlugNothing();
      m.Faults().dsrDropAfterFrames = 3;
    });
    r->Press(kOneOnOneStart);
    ASSERT_TRUE(r->RunUntil([&] { return r->state.FaultCount == 3 && !r->unit.Dsr(); }));
    EXPECT_EQ(r->app.LinkOpen, 1) << "only the timer notices";
    ASSERT_TRUE(r->FireTimer(timer));
    EXPECT_EQ(r->app.PortOnline, 0);
    EXPECT_EQ(r->port.UnrestoredCloses(), 1);
    EXPECT_TRUE(r->IsEnabled(kOneOnOneStart) && r->Timer(kTimerLinkWatch) != 0);
    r->FireTimer(kTimerLinkWatch);
    r->RunFor(20);
    EXPECT_EQ(r->postedCommands, (std::vector<uint16_t>{kExitCommand})) << "asked once";
    EXPECT_EQ(r->Outcome(), "closed [] 0 0 0 0");
  }
}

// --- 1 on 1 ---

// A good cable, one with every kind of fault, then a good one again: each
// result stands on its own.
TEST_F(PanelTest, OneOnOneJudgesEachCableAfresh) {
  rig.Plug(Rows().Straight(50));
  rig.TypePinNo(u"5");
  rig.unit.With([](TesterModel& m) { m.Faults().unknownLetters = true; });  // a whole frame, ignored
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.Log(), u"All 5pins found correct\r\n");
  EXPECT_EQ(rig.Outcome(), "closed [OK] 1 0 0 1");

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
  EXPECT_EQ(rig.Log(), Line(A(3), B(7), u"Connection error") + Line(A(4), B(4), u"No connection") +
                                   Line(A(5), B(5), u"No connection") + Line(A(9), A(2), u"Connection error") +
                                   Line(A(9), B(9), u"No connection") + Line(A(9), B(20), u"Connection error") +
                                   Line(A(9), C(1), u"Connection error"));
  EXPECT_EQ(rig.Outcome(), "closed [NG] 1 1 0 2");

  // A frame cut off on an earlier link must not swallow the next answer.
  Arrive({{kStx, 0x11, 'O', 'D', 1}});
  rig.Plug(Rows().Straight(50));
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.Log(), u"All50pins found correct\r\n");
  EXPECT_EQ(rig.Outcome(), "closed [OK] 2 1 0 3");
  EXPECT_EQ(rig.portStatusShown, (std::vector<int32_t>{1, 1, 1}));
}

// 50 open pins and 206 rows more, 256 in all: far more records than the
// queue holds, every one logged in order, and a fault count that must not
// wrap to zero. A row naming no pin is a fault without a line.
TEST_F(PanelTest, EveryRowFailsTheCableHoweverManyAndWhateverPinItNames) {
  rig.unit.With([](TesterModel& m) {
    m.PlugNothing();
    m.Faults().burstFrames = 206;
  });
  ASSERT_TRUE(rig.RunOneOnOne());
  std::u16string expected;
  for (unsigned i = 0; i < 256; ++i) expected += Line(A(i % 50 + 1), B(i % 50 + 1), u"No connection");
  EXPECT_EQ(rig.Log(), expected);
  EXPECT_EQ(rig.Outcome(), "closed [NG] 0 1 0 1") << "one result, counted once";
  rig.unit.With([](TesterModel& m) {
    m.PlugStraight(50);
    m.Faults().burstFrames = 0;
    m.Faults().pinOutOfRange = true;
  });
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.Log(), u"");
  EXPECT_EQ(rig.Outcome(), "closed [NG] 0 2 0 2");
}

// --- Probe and Probe+ ---

TEST_F(PanelTest, ProbeShowsWhatTheProbeReachesNow) {
  Select(kProbe);
  rig.texts[kResultLog] = u"left from before";
  ASSERT_TRUE(StartProbing(kProbeStartButton));
  EXPECT_EQ(rig.logFont, LogFont::kMediumBold);
  EXPECT_TRUE(rig.IsEnabled(kProbeFinishButton) && !rig.IsEnabled(kProbeStartButton));
  EXPECT_EQ(rig.Log(), u"") << "the first state rewrites the log";
  EXPECT_EQ(Colour(Cell(A(1))), PinColour::Grey);
  ASSERT_TRUE(Touch({A(1), B(1)}));
  EXPECT_EQ(Colour(Cell(B(1))), PinColour::Yellow);
  ASSERT_TRUE(Touch({}));
  EXPECT_EQ(rig.Log(), u"");

  // During the stop delay only the pins reached now keep their colour.
  ASSERT_TRUE(Touch({A(2)}));
  rig.Press(kProbeFinishButton);
  EXPECT_FALSE(rig.IsEnabled(kProbeFinishButton));
  EXPECT_EQ(rig.Timer(kTimerStopDelay), kProbeStopDelayMs);
  EXPECT_EQ(Colour(Cell(A(2))), PinColour::Yellow);
  EXPECT_EQ(Colour(Cell(A(3))), PinColour::Default);
  ASSERT_TRUE(rig.UnitGets(kProbeFinish));
  const int repaints = rig.repaints;
  ASSERT_TRUE(rig.FireTimer(kTimerStopDelay));
  EXPECT_GT(rig.repaints, repaints) << "no cell may stay yellow";
  EXPECT_EQ(Colour(Cell(A(2))), PinColour::Default);
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0");
}

// A stream at line rate is shown once per batch of records, and not at all
// when nothing changed; Probe+ still latches a pin only one record reached.
TEST_F(PanelTest, AProbeStreamIsShownOncePerBatch) {
  rig.unit.With([](TesterModel& m) { m.Faults().noAnswer = true; });  // the test feeds the records itself
  const auto repaintsFor = [&](std::initializer_list<PinSet> states) {
    const int before = rig.repaints;
    for (const PinSet& pins : states) Arrive({ProbeFrame(pins)});
    rig.panel.OnFrameQueued();
    return rig.repaints - before;
  };
  Select(kProbe);
  rig.Press(kProbeStartButton);
  const PinSet reached = Pins({A(1), B(1)});
  EXPECT_EQ(repaintsFor({reached, reached, reached, reached, reached}), 1);
  EXPECT_EQ(rig.Log(), u"c0:A01\r\nc0:B01\r\n");
  EXPECT_EQ(repaintsFor({reached, reached}), 0) << "nothing changed";

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
  ASSERT_TRUE(StartProbing(kProbePlusStartButton));
  ASSERT_TRUE(Touch({A(1)}));
  EXPECT_EQ(Colour(Cell(A(1))), PinColour::White);
  EXPECT_EQ(Colour(Cell(A(2))), PinColour::Yellow);
  ASSERT_TRUE(Touch({A(2)}));  // A01 released
  EXPECT_EQ(Colour(Cell(A(1))), PinColour::Blue);
  ASSERT_TRUE(Touch({}));
  ASSERT_TRUE(FinishProbing(kProbePlusFinishButton));
  EXPECT_EQ(rig.Log(), u"");
  EXPECT_EQ(rig.Outcome(), "closed [OK] 1 0 0 1");
  EXPECT_EQ(Colour(Cell(A(2))), PinColour::Blue) << "the colours stay after the stop";

  // A03 never reached: not a fault, an incomplete check.
  cable.probeData.pins = Pins({A(1), A(3)});
  ASSERT_TRUE(StartProbing(kProbePlusStartButton));
  EXPECT_EQ(Colour(Cell(A(1))), PinColour::Yellow) << "nothing reached yet";
  ASSERT_TRUE(Touch({A(1)}));
  ASSERT_TRUE(FinishProbing(kProbePlusFinishButton));
  EXPECT_EQ(rig.Log(), PinLine(A(3), u"Unchecked"));
  EXPECT_EQ(rig.Outcome(), "closed [NC] 1 0 1 2");

  // A stray A02 and an unreached B05: both lines in pin order, and NG wins.
  cable.probeData.pins = Pins({A(1), B(5)});
  rig.Press(kProbePlusStartButton);
  ASSERT_TRUE(Touch({A(1), A(2)}));
  ASSERT_TRUE(Touch({}));
  ASSERT_TRUE(FinishProbing(kProbePlusFinishButton));
  EXPECT_EQ(rig.Log(), PinLine(A(2), u"Connection error") + PinLine(B(5), u"Unchecked"));
  EXPECT_EQ(rig.Outcome(), "closed [NG] 1 1 1 3");
  EXPECT_EQ(Journaled(), "OK NC NG");
}

// After a time-out there is no probe to finish: Finish is disabled, and even
// reached through its command id (the shell's close sends Probe Finish
// whatever runs) it judges nothing. Nor does a finish before the unit ever
// answered.
TEST_F(PanelTest, AProbeThatNeverAnsweredHasNothingToFinish) {
  rig.Cable(0).probeData.pins = Pins({A(1)});
  rig.unit.With([](TesterModel& m) { m.Faults().noAnswer = true; });
  for (const uint16_t start : {kProbeStartButton, kProbePlusStartButton}) {
    const uint16_t finish = static_cast<uint16_t>(start + 1);
    Select(start == kProbeStartButton ? kProbe : kProbePlus);
    rig.Press(start);
    ASSERT_TRUE(rig.FireTimer(kTimerResponse));
    EXPECT_TRUE(rig.IsEnabled(start) && !rig.IsEnabled(finish));
    rig.Press(finish);
    EXPECT_EQ(rig.Outcome(), start == kProbeStartButton ? "closed [] 0 0 0 0 e1028" : "closed [] 0 0 0 0 e1028 e1028");
  }
  rig.Press(kProbePlusStartButton);
  rig.Press(kProbePlusFinishButton);
  ASSERT_TRUE(rig.Idle(kProbePlusStartButton));
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0 e1028 e1028 e1028");
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
  // The probe's response timer, never fired here, runs on.
  EXPECT_EQ(rig.Outcome(), "open [] 0 0 0 0 timing stop-delay finishing");
  ASSERT_TRUE(rig.UnitGets(kProbeFinish));
  Select(kProbe);
  ASSERT_TRUE(rig.FireTimer(kTimerStopDelay));
  EXPECT_EQ(rig.state.counters.values[kProbePlus][kCountTotal], 0);

  ASSERT_TRUE(StartProbing(kProbeStartButton));
  rig.panel.EndExchangeNow();
  EXPECT_EQ(rig.HostCount(kProbeFinish), 2) << "the finish went out before the close";
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0");
  EXPECT_TRUE(rig.IsEnabled(kProbeStartButton) && !rig.IsEnabled(kProbeFinishButton));
  Select(kMasterWork);
  rig.Press(kWorkStartButton);
  rig.panel.EndExchangeNow();
  EXPECT_TRUE(MasterWorkIdle());
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0");
}

// A read pressed while a finished probe's link still waits for its stop
// delay: the probe's exchange ends first, and its delayed stop, which would
// end the read, goes with it. (The other starts set a stop delay of their own.)
TEST_F(PanelTest, AReadMasterWithinTheProbeStopDelayEndsTheProbeFirst) {
  rig.Plug(Rows().Net({A(1), B(1)}));
  Select(kProbe);
  ASSERT_TRUE(StartProbing(kProbeStartButton));
  Select(kMasterWork);
  ASSERT_TRUE(rig.UnitGets(kProbeFinish));
  rig.Press(kReadMasterButton);
  EXPECT_EQ(rig.port.RestoredCloses(), 1) << "the probe's link closed before the new one opened";
  EXPECT_EQ(rig.Outcome(), "open [] 0 0 0 0 timing") << "no stop delay";
  ASSERT_TRUE(MasterWorkIdle());
  EXPECT_EQ(Rows(rig.Cable(0).connections), Rows().Net({A(1), B(1)}));
}

// --- Master/Work ---

TEST_F(PanelTest, ReadMasterReplacesTheCurrentCablesWiring) {
  Select(kMasterWork);
  CopyText(rig.Cable(0).info.cableType, kCableTypeUnits, u"Harness-7");
  rig.Cable(0).connections[A(40)].bits = Pins({A(40), B(40)});  // old wiring the harness lacks
  rig.Plug(Harness());
  rig.texts[kResultBox] = u"NG";
  rig.Press(kReadMasterButton);
  ASSERT_TRUE(MasterWorkBusy() && MasterWorkIdle());
  EXPECT_EQ(rig.question, u"Read master: Overwrite information of cable1.Harness-7. OK?");
  EXPECT_EQ(Rows(rig.Cable(0).connections), Harness()) << "pin bytes kept, rows not sent back to their own bit";
  EXPECT_EQ(rig.titlesShown, (std::vector<DocumentState>{kNewChanged}));
  EXPECT_EQ(Colour(Cell(C(2))), PinColour::Yellow);
  EXPECT_EQ(Colour(Cell(A(40))), PinColour::Grey);
  EXPECT_EQ(rig.unit.HostFrames(), (std::vector<FrameBytes>{AsBytes(kMasterRead)}));
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0");

  // Into cable 4 of a set from a file; a row that names no pin is dropped
  // without touching anything else.
  rig.app.document.state = kFileUnchanged;
  rig.selectorSelection = 3;
  rig.panel.OnCommand(kCableSelector, 1);
  rig.unit.With([](TesterModel& m) { m.Faults().pinOutOfRange = true; });
  CableSet before = rig.app.cableSet;
  rig.Press(kReadMasterButton);
  ASSERT_TRUE(MasterWorkIdle());
  EXPECT_EQ(rig.question, u"Read master: Overwrite information of cable4.. OK?");
  std::memcpy(before.cables[3].connections, Harness().rows, sizeof Harness().rows);
  EXPECT_EQ(std::memcmp(&before, &rig.app.cableSet, sizeof before), 0);
  EXPECT_EQ(rig.app.document.state, kFileChanged);
}

// Declining the question stores nothing anywhere; nor does a Yes after the
// unit went away while the question was up. (A read cut short by damage is
// in damage_test.cpp.)
TEST_F(PanelTest, AReadMasterCutShortStoresNothing) {
  Select(kMasterWork);
  rig.Plug(Harness());
  const CableSet before = rig.app.cableSet;
  rig.answerYes = false;
  rig.Press(kReadMasterButton);
  EXPECT_EQ(rig.portStatusShown, (std::vector<int32_t>{0}));
  EXPECT_TRUE(MasterWorkIdle());

  rig.answerYes = true;
  rig.whileAsking = [&] {
    rig.unit.With([](TesterModel& m) { m.SetDsr(false); });
    rig.FireTimer(kTimerLinkWatch);
  };
  rig.Press(kReadMasterButton);
  EXPECT_EQ(rig.postedCommands, (std::vector<uint16_t>{kExitCommand}));
  EXPECT_TRUE(MasterWorkIdle());
  EXPECT_EQ(rig.HostCount(kMasterRead), 0);
  EXPECT_EQ(std::memcmp(&before, &rig.app.cableSet, sizeof before), 0);
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
  EXPECT_EQ(rig.Log(), u"No connection\r\n");
  EXPECT_EQ(rig.logFont, LogFont::kMediumBold);
  EXPECT_EQ(rig.Outcome(), "closed [OK] 0 1 0 1");

  const Rows harness = Harness();
  rig.Plug(harness);
  rig.Press(kReadMasterButton);
  ASSERT_TRUE(MasterWorkIdle());
  ASSERT_TRUE(RunWork());
  EXPECT_EQ(rig.logFont, LogFont::kNormal);
  EXPECT_EQ(rig.Outcome(), "closed [OK] 1 1 0 2");
  rig.Plug(Rows(harness).Net({B(3)}).Net({A(3), B(4)}).Measure(C(4), {}));  // and C04 no longer sees itself
  ASSERT_TRUE(RunWork());
  EXPECT_EQ(rig.Log(), Line(A(3), B(3), u"No connection error") + Line(A(3), B(4), u"Connection error") +
                           Line(B(3), A(3), u"No connection error") + Line(B(4), A(3), u"Connection error") +
                           Line(C(4), C(4), u"No connection error"));
  EXPECT_EQ(rig.Outcome(), "closed [NG] 1 2 0 3");
  rig.Plug(harness);
  ASSERT_TRUE(RunWork());
  EXPECT_EQ(rig.Log(), u"") << "cleared by the start";
  EXPECT_EQ(rig.Outcome(), "closed [OK] 2 2 0 4");
  rig.unit.With([](TesterModel& m) { m.Faults().pinOutOfRange = true; });
  ASSERT_TRUE(RunWork());
  EXPECT_EQ(rig.Log(), u"");
  EXPECT_EQ(rig.Outcome(), "closed [NG] 2 3 0 5");
  EXPECT_EQ(Journaled(), "NG OK NG OK NG") << "a cable without wiring counts as NG";
  EXPECT_EQ(rig.port.RestoredCloses(), 11) << "the read, then download and test on links of their own";
}

// Phase 2 cannot start (the unit went away during the download's delay):
// no test, no result, both buttons usable. (A phase 2 whose answer is lost
// is one of damage_test.cpp's cases.)
TEST_F(PanelTest, AWorkTestWhosePhase2FailsLeavesReadMasterAndWorkStartUsable) {
  Select(kMasterWork);
  rig.Plug(Harness());
  rig.Press(kWorkStartButton);
  EXPECT_EQ(rig.state.WorkPhase2Pending, 1);
  ASSERT_TRUE(rig.UnitGets(kMasterTransferEnd));
  rig.unit.With([](TesterModel& m) { m.SetDsr(false); });
  ASSERT_TRUE(rig.EndDownload());
  EXPECT_EQ(rig.app.PortOnline, 0);
  EXPECT_TRUE(MasterWorkIdle());
  EXPECT_EQ(rig.Outcome(), "closed [] 0 0 0 0");
}

}  // namespace

// The mode panel and the 1 on 1 test through the real link workers, the
// in-memory port and the simulated unit, with fake widgets and a test message
// loop (support/panel_rig.h).
#include "modes/mode_panel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "link/commands.h"
#include "support/panel_fixture.h"

namespace {

std::u16string ConnectionError(int cable, unsigned a, unsigned k) {
  return Name(cable, a) + u" - " + Name(cable, k) + u" Connection error\r\n";
}
std::u16string NoConnection(int cable, unsigned a) {
  return Name(cable, a) + u" - " + Name(cable, a + 50) + u" No connection\r\n";
}

class PanelTest : public PanelFixture {
 protected:
  // The OneOnOneStart frames the unit received.
  std::vector<FrameBytes> StartFrames() {
    std::vector<FrameBytes> starts;
    for (const FrameBytes& f : rig.frames.Host())
      if (f.size() >= 3 && f[2] == 'O') starts.push_back(f);
    return starts;
  }
  // A 1 on 1 test waiting for the answer that Arrive() then delivers.
  void AwaitOneOnOne() {
    rig.Unit([](TesterModel& m) { m.Faults().noAnswer = true; });
    rig.panel.OnCommand(kOneOnOneStart, 0);
    ASSERT_EQ(rig.app.LinkOpen, 1);
  }
  // Decodes a frame as the link would, posting "frame queued" per record.
  void Arrive(const FrameBytes& frame) {
    for (uint8_t b : frame)
      if (FeedByte(rig.channel, b)) rig.widgets.PostFrameQueued();
  }
};

// --- 1 on 1 through the link ---

TEST_F(PanelTest, PerfectCablePrintsTheCountInTwoColumns) {
  Plug(Rows().Straight(50));
  rig.TypePinNo(u"5");
  rig.widgets.logFont = LogFont::kMediumBold;  // as Probe mode leaves it
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.widgets.Log(), u"All 5pins found correct\r\n");
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"OK");
  EXPECT_EQ(rig.panel.PinCellColour(kResultBox), PinColour::ResultOk);
  EXPECT_EQ(rig.widgets.logFont, LogFont::kNormal);

  // A frame with letters no command draws is whole, and ignored.
  rig.Unit([](TesterModel& m) { m.Faults().unknownLetters = true; });
  rig.TypePinNo(u"50");
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.widgets.Log(), u"All50pins found correct\r\n") << "the log starts afresh";
  EXPECT_EQ(Counters(kOneOnOne), (std::vector<uint16_t>{2, 0, 0, 2}));

  const auto starts = StartFrames();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0], (std::vector<uint8_t>{0x02, 0x03, 0x4F, 0x05, 0x03, 0x5A}));
  EXPECT_EQ(starts[1], (std::vector<uint8_t>{0x02, 0x03, 0x4F, 0x32, 0x03, 0x87}));
  // Each exchange had its own link, closed with the port restored.
  EXPECT_EQ(rig.port.RestoredCloses(), 2);
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_EQ(rig.app.PortOnline, 1);
  EXPECT_EQ(rig.widgets.portStatusShown, (std::vector<int32_t>{1, 1}));
  EXPECT_TRUE(rig.errors.codes.empty());
}

// Every kind of row, each fault by name and in pin order; between good
// cables, so that nothing of one result leaks into the next.
TEST_F(PanelTest, MiswiredPinsGiveTheirLinesInPinOrderAndNg) {
  Plug(Rows().Straight(50));
  ASSERT_TRUE(rig.RunOneOnOne());
  Rows rows;
  rows.Straight(50)
      .Net({A(3), B(3), B(7)})                    // a short
      .Net({A(5)})                                // an open
      .Net({B(5)})
      .Measure(A(4), {A(4)})                      // partner missing
      .Measure(A(7), {B(7)})                      // own bit clear, partner set: nothing to say
      .Measure(A(9), {A(2), A(9), B(20), C(1)});  // extra pins either side of the missing partner
  Plug(rows);
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.widgets.Log().rfind(u"c0:A03 - c0:B07 Connection error\r\nc0:A04 - c0:B04 No connection\r\n", 0), 0u);
  EXPECT_EQ(rig.widgets.Log(), ConnectionError(0, A(3), B(7)) + NoConnection(0, A(4)) + NoConnection(0, A(5)) +
                                   ConnectionError(0, A(9), A(2)) + NoConnection(0, A(9)) +
                                   ConnectionError(0, A(9), B(20)) + ConnectionError(0, A(9), C(1)));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"NG");
  EXPECT_EQ(rig.panel.PinCellColour(kResultBox), PinColour::ResultNg);
  EXPECT_EQ(rig.state.FaultCount, 5);
  EXPECT_EQ(ShownCounters(), (std::vector<std::u16string>{u"1", u"1", u"0", u"2"}));

  Plug(Rows().Straight(50));
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"OK");
}

// No test is judged against a cable that changed under it: picking another
// cable ends the exchange, and its answer, already queued, is dropped.
TEST_F(PanelTest, PickingACableEndsTheRunningTest) {
  Plug(Rows().Straight(50).Net({A(2)}).Net({B(2)}));
  rig.panel.OnCommand(kOneOnOneStart, 0);
  ASSERT_TRUE(rig.notifier.ServeUntil([&] { return rig.channel.queue.unreadCount >= 2; }, 3000));
  rig.widgets.selectorSelection = 3;
  rig.panel.OnCommand(kCableSelector, 1);
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_TRUE(rig.widgets.IsEnabled(kOneOnOneStart));
  rig.RunFor(20);
  EXPECT_EQ(rig.widgets.Log(), u"");
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"");
  EXPECT_EQ(Counters(kOneOnOne), (std::vector<uint16_t>{0, 0, 0, 0}));
  EXPECT_EQ(rig.app.cableSet.currentCable, 3);
}

// 50 open pins and 20 more rows: far more records than the queue holds, and
// every one reaches the log, in order.
TEST_F(PanelTest, ABurstBeyondTheQueueLosesNothing) {
  rig.Unit([](TesterModel& m) {
    m.PlugNothing();
    m.Faults().burstFrames = 20;
  });
  ASSERT_TRUE(rig.RunOneOnOne());
  std::u16string expected;
  for (unsigned p = 1; p <= 50; ++p) expected += NoConnection(0, A(p));
  for (unsigned p = 1; p <= 20; ++p) expected += NoConnection(0, A(p));
  EXPECT_EQ(rig.widgets.Log(), expected);
  EXPECT_EQ(rig.state.FaultCount, 70);
  EXPECT_EQ(Counters(kOneOnOne), (std::vector<uint16_t>{0, 1, 0, 1})) << "one result, counted once";
}

TEST_F(PanelTest, RowsThatNameNoPinStillFailTheCable) {
  // A pin number outside 1..50 is a fault without a line.
  rig.Unit([](TesterModel& m) {
    m.PlugStraight(50);
    m.Faults().pinOutOfRange = true;
  });
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.widgets.Log(), u"");
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"NG");

  // 256 rows must not count round to zero and pass the cable.
  rig.Unit([](TesterModel& m) {
    m.Faults().pinOutOfRange = false;
    m.Faults().burstFrames = 256;
  });
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"NG");
  EXPECT_EQ(rig.state.FaultCount, 255);
  EXPECT_EQ(Counters(kOneOnOne), (std::vector<uint16_t>{0, 2, 0, 2}));
}

TEST_F(PanelTest, AFrameCutOffOnAnEarlierLinkDoesNotSwallowTheAnswer) {
  for (uint8_t b : {kStx, uint8_t{0x11}, uint8_t{'O'}, uint8_t{'D'}, uint8_t{1}}) FeedByte(rig.channel, b);
  Plug(Rows().Straight(50));
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"OK");
  EXPECT_TRUE(rig.errors.codes.empty());
}

// --- failures of an exchange ---

// The time-out stops with the answer's end; without any answer it ends the
// exchange.
TEST_F(PanelTest, NoAnswerTimesOutAndLeavesTheResultAlone) {
  Plug(Rows().Straight(50));
  ASSERT_TRUE(rig.RunOneOnOne());
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerResponse));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"OK");

  rig.Unit([](TesterModel& m) { m.Faults().noAnswer = true; });
  rig.panel.OnCommand(kOneOnOneStart, 0);
  EXPECT_EQ(rig.widgets.timers[kTimerResponse], 500u);
  EXPECT_FALSE(rig.widgets.IsEnabled(kOneOnOneStart));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"") << "cleared by the start";
  rig.RunFor(60);
  rig.FireTimer(kTimerLinkWatch);
  EXPECT_EQ(rig.app.LinkOpen, 1) << "the unit is ready: only the answer is missing";
  EXPECT_TRUE(rig.widgets.postedCommands.empty());
  ASSERT_TRUE(rig.FireTimer(kTimerResponse));
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerResponse)) << "one shot";
  ASSERT_TRUE(rig.RunUntil([&] { return rig.app.LinkOpen == 0 && rig.widgets.IsEnabled(kOneOnOneStart); }));
  EXPECT_EQ(rig.errors.codes, (std::vector<uint16_t>{kErrorCommTimeout}));
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"");
  EXPECT_EQ(Counters(kOneOnOne), (std::vector<uint16_t>{1, 0, 0, 1}));
}

TEST_F(PanelTest, UnitNotReadyOrPortMissingAtStart) {
  rig.Unit([](TesterModel& m) { m.SetDsr(false); });
  rig.panel.OnCommand(kOneOnOneStart, 0);
  EXPECT_TRUE(rig.errors.codes.empty()) << "DSR off is shown in the status bar only";
  EXPECT_EQ(rig.app.PortOnline, 0);
  EXPECT_EQ(rig.widgets.portStatusShown, (std::vector<int32_t>{0}));
  EXPECT_EQ(rig.app.LinkOpen, 0);
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_EQ(rig.port.RestoredCloses(), 1);
  EXPECT_TRUE(rig.widgets.IsEnabled(kOneOnOneStart));
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerResponse));
  EXPECT_TRUE(StartFrames().empty());

  rig.port.faults.failOpen = true;
  rig.Unit([](TesterModel& m) { m.SetDsr(true); });
  rig.panel.OnCommand(kOneOnOneStart, 0);
  EXPECT_EQ(rig.errors.codes, (std::vector<uint16_t>{kErrorPortOpen}));
  EXPECT_EQ(rig.widgets.portStatusShown, (std::vector<int32_t>{0, 0}));
  EXPECT_TRUE(rig.widgets.IsEnabled(kOneOnOneStart));
}

TEST_F(PanelTest, DsrDroppingMidTestEndsTheExchangeThenAsksToExit) {
  rig.FireTimer(kTimerLinkWatch);
  EXPECT_TRUE(rig.widgets.postedCommands.empty()) << "no link, nothing to watch";

  rig.Unit([](TesterModel& m) {
    m.PlugNothing();
    m.Faults().dsrDropAfterFrames = 3;
  });
  rig.panel.OnCommand(kOneOnOneStart, 0);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.state.FaultCount == 3 && !rig.unit.Dsr(); }));
  EXPECT_EQ(rig.app.LinkOpen, 1) << "only the watch notices";

  const int repaints = rig.widgets.repaints;
  ASSERT_TRUE(rig.FireTimer(kTimerLinkWatch));
  EXPECT_GT(rig.widgets.repaints, repaints);
  EXPECT_EQ(rig.app.LinkOpen, 0);
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_EQ(rig.port.UnrestoredCloses(), 1);
  EXPECT_EQ(rig.port.RestoredCloses(), 0);
  EXPECT_TRUE(rig.widgets.IsEnabled(kOneOnOneStart));
  EXPECT_EQ(rig.widgets.postedCommands, (std::vector<uint16_t>{kExitCommand}));
  EXPECT_EQ(rig.app.PortOnline, 0);
  EXPECT_FALSE(rig.widgets.TimerRunning(kTimerResponse));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"");
  EXPECT_EQ(Counters(kOneOnOne), (std::vector<uint16_t>{0, 0, 0, 0}));
  EXPECT_TRUE(rig.widgets.TimerRunning(kTimerLinkWatch));

  rig.FireTimer(kTimerLinkWatch);
  rig.RunFor(20);
  EXPECT_EQ(rig.widgets.postedCommands.size(), 1u) << "asked once";
}

// --- the panel itself ---

TEST_F(PanelTest, StartUpShowsTheCurrentCableAndPinNo50) {
  EXPECT_EQ(rig.widgets.pinNoField, u"50");
  EXPECT_EQ(rig.widgets.pinNoLow, 1);
  EXPECT_EQ(rig.widgets.pinNoHigh, 50);
  EXPECT_EQ(rig.widgets.timers[kTimerLinkWatch], 2000u);
  EXPECT_EQ(rig.widgets.focus, kOneOnOneStart);
  EXPECT_EQ(rig.widgets.CheckedRadio(), kOneOnOne);
  EXPECT_EQ(std::u16string(rig.widgets.selector.text[0]), u"1.");
  EXPECT_EQ(std::u16string(rig.widgets.selector.text[9]), u"10.");
  EXPECT_EQ(rig.widgets.selectorSelection, 0);

  CopyText(rig.Cable(3).info.cableType, kCableTypeUnits, u"Harness-12345678901");
  CopyText(rig.Cable(3).info.comment, kCommentUnits, u"two\r\nlines");
  rig.app.cableSet.currentCable = 3;
  rig.panel.RefreshPanel();
  EXPECT_EQ(std::u16string(rig.widgets.selector.text[3]), u"4.Harness-12345678901");
  EXPECT_EQ(rig.widgets.selectorSelection, 3);
  EXPECT_EQ(rig.widgets.texts[1331], u"Harness-12345678901");
  EXPECT_EQ(rig.widgets.texts[1332], u"two\r\nlines");
  EXPECT_EQ(rig.widgets.texts[Cell(C(4))], Name(3, C(4)));
}

TEST_F(PanelTest, PinNoIsHeldWithin1To50) {
  rig.TypePinNo(u"70");
  EXPECT_EQ(rig.widgets.pinNoField, u"50");
  rig.TypePinNo(u"0");
  EXPECT_EQ(rig.widgets.pinNoField, u"1");
  rig.TypePinNo(u"7");
  EXPECT_EQ(rig.widgets.pinNoField, u"7");
  const int repaints = rig.widgets.repaints;
  rig.TypePinNo(u"");  // on the way to typing another value
  EXPECT_EQ(rig.widgets.pinNoField, u"");
  EXPECT_GT(rig.widgets.repaints, repaints);
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(7))), PinColour::Yellow) << "an empty field keeps the last value";
  EXPECT_EQ(rig.panel.PinCellColour(Cell(A(8))), PinColour::Grey);

  Plug(Rows().Straight(50));
  ASSERT_TRUE(rig.RunOneOnOne());
  rig.widgets.pinNoField = u"300";  // a value the field shows without a change notice
  ASSERT_TRUE(rig.RunOneOnOne());
  const auto starts = StartFrames();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0][3], 7);
  EXPECT_EQ(starts[1][3], 50) << "never 300's low byte, 44";
  EXPECT_EQ(rig.widgets.Log(), u"All50pins found correct\r\n");
}

// The other modes' colours are checked as their exchanges run.
TEST_F(PanelTest, OneOnOneColoursThePinsUpToPinNoOnBothSides) {
  rig.TypePinNo(u"5");
  for (unsigned k : {A(1), A(5), B(1), B(5)}) EXPECT_EQ(rig.panel.PinCellColour(Cell(k)), PinColour::Yellow) << k;
  for (unsigned k : {A(6), A(50), B(6), C(1)}) EXPECT_EQ(rig.panel.PinCellColour(Cell(k)), PinColour::Grey) << k;
  EXPECT_EQ(rig.panel.PinCellColour(kOkCounter), PinColour::Default);
  // Probe has no result to colour.
  rig.state.LastResultOk = 1;
  rig.app.CurrentMode = kProbe;
  EXPECT_EQ(rig.panel.PinCellColour(kResultBox), PinColour::Default);
}

TEST_F(PanelTest, ClearCountersOnlyForTheCurrentMode) {
  Plug(Rows().Straight(50));
  ASSERT_TRUE(rig.RunOneOnOne());
  rig.state.counters.values[kMasterWork][kCountNg] = 4;
  rig.panel.OnCommand(kClearCounters, 0);
  EXPECT_EQ(Counters(kOneOnOne), (std::vector<uint16_t>{0, 0, 0, 0}));
  EXPECT_EQ(ShownCounters(), (std::vector<std::u16string>{u"0", u"0", u"0", u"0"}));
  EXPECT_EQ(rig.state.counters.values[kMasterWork][kCountNg], 4);

  ASSERT_TRUE(rig.panel.SelectMode(kMasterWork));
  EXPECT_EQ(rig.widgets.texts[1321], u"4") << "each mode shows its own counters";

  ASSERT_TRUE(rig.panel.SelectMode(kOneOnOne));
  rig.widgets.texts[kResultBox] = u"NG";
  rig.widgets.texts[kResultLog] = u"x";
  rig.panel.OnCommand(kResultClear, 0);
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"");
  EXPECT_EQ(rig.widgets.Log(), u"");
}

TEST_F(PanelTest, SelectingACableRefreshesWithoutChangingTheDocument) {
  rig.app.document.state = kFileUnchanged;
  rig.widgets.selectorSelection = 3;
  rig.panel.OnCommand(kCableSelector, 9);  // CBN_EDITCHANGE: not a selection
  EXPECT_EQ(rig.app.cableSet.currentCable, 0);

  const int repaints = rig.widgets.repaints;
  rig.panel.OnCommand(kCableSelector, 1);
  EXPECT_EQ(rig.app.cableSet.currentCable, 3);
  EXPECT_EQ(rig.widgets.texts[Cell(A(1))], Name(3, A(1)));
  EXPECT_GT(rig.widgets.repaints, repaints) << "the colours follow the cable";
  EXPECT_EQ(rig.app.document.state, kFileUnchanged);

  rig.widgets.selectorSelection = -1;
  rig.panel.OnCommand(kCableSelector, 1);
  EXPECT_EQ(rig.app.cableSet.currentCable, 0);
  EXPECT_EQ(rig.widgets.texts[Cell(A(1))], Name(0, A(1)));
}

TEST_F(PanelTest, ModeCommandsAndTheRadioButtons) {
  // A click checks the radio button itself; the panel asks the shell.
  rig.widgets.CheckModeRadio(kProbe);
  EXPECT_TRUE(rig.panel.OnCommand(kModeRadio + 1, 0));
  rig.panel.OnCommand(kModeRadio + 3, 0);  // not checked: nothing
  rig.panel.OnCommand(kEditButton, 0);
  EXPECT_EQ(rig.widgets.postedCommands, (std::vector<uint16_t>{40007}));
  EXPECT_EQ(rig.widgets.sentCommands, (std::vector<uint16_t>{40010}));

  ASSERT_TRUE(rig.panel.SelectMode(kProbe));
  EXPECT_EQ(rig.app.CurrentMode, kProbe);
  EXPECT_FALSE(rig.widgets.IsEnabled(kOneOnOneStart));
  EXPECT_TRUE(rig.widgets.IsEnabled(kProbeStartButton));
  EXPECT_FALSE(rig.widgets.IsEnabled(kOkCounter));
  EXPECT_EQ(rig.widgets.focus, kProbeStartButton);
  ASSERT_TRUE(rig.panel.SelectMode(kOneOnOne));

  // During a 1 on 1 exchange a mode command is ignored and the radio buttons
  // go back to the mode that runs.
  Plug(Rows().Straight(50));
  rig.panel.OnCommand(kOneOnOneStart, 0);
  rig.widgets.CheckModeRadio(kMasterWork);
  EXPECT_FALSE(rig.panel.SelectMode(kMasterWork));
  EXPECT_EQ(rig.app.CurrentMode, kOneOnOne);
  EXPECT_EQ(rig.widgets.CheckedRadio(), kOneOnOne);
  EXPECT_FALSE(rig.widgets.IsEnabled(kOneOnOneStart));
  ASSERT_TRUE(rig.RunUntil([&] { return rig.app.LinkOpen == 0; }));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"OK");
}

// --- dispatch ---

TEST_F(PanelTest, OneNoticeDispatchesEveryQueuedRecordInOrder) {
  AwaitOneOnOne();
  Arrive(RowFrame('O', A(3), Pins({A(3)})));
  Arrive(RowFrame('O', A(4), Pins({A(4), B(4)})));  // exactly straight: no line, still a fault
  Arrive(EndFrame('O'));
  ASSERT_EQ(rig.widgets.posted.size(), 3u);
  rig.widgets.posted.clear();
  rig.panel.OnFrameQueued();
  EXPECT_EQ(rig.widgets.Log(), NoConnection(0, A(3)));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"NG");
  rig.panel.OnFrameQueued();
  rig.panel.OnFrameQueued();
  EXPECT_EQ(Counters(kOneOnOne), (std::vector<uint16_t>{0, 1, 0, 1})) << "the later notices find nothing";
}

TEST_F(PanelTest, RecordsGoByTheModeAtDispatch) {
  AwaitOneOnOne();
  Arrive(RowFrame('R', A(3), Pins({A(3), B(9)})));  // a master row in 1 on 1: ignored
  Arrive(EndFrame('O'));
  rig.app.CurrentMode = kMasterWork;  // changed before the dispatch
  rig.DeliverPosted();
  EXPECT_EQ(Counters(kOneOnOne), (std::vector<uint16_t>{0, 0, 0, 0}));
  EXPECT_EQ(rig.widgets.texts[kResultBox], u"");

  rig.app.CurrentMode = kOneOnOne;
  Arrive(RowFrame('R', A(3), Pins({A(3), B(9)})));
  Arrive(EndFrame('O'));
  rig.DeliverPosted();
  EXPECT_EQ(rig.widgets.Log(), u"All50pins found correct\r\n");
  EXPECT_EQ(Counters(kOneOnOne), (std::vector<uint16_t>{1, 0, 0, 1}));
}

}  // namespace

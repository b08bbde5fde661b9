// A damaged or lost answer is never judged. Through the link's real workers,
// the in-memory port and the simulated unit: every way the line loses or
// garbles bytes ends a 1 on 1 test, a master read and a work test with the
// communication error and nothing else (no result, no count, the cable as it
// was); a lost end record is a time-out; a slow line gets its download whole
// before the work test; a stop never ends an exchange other than its own.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "link/commands.h"
#include "modes/mode_panel.h"
#include "support/panel_fixture.h"

namespace {

struct Damage {
  const char* name;
  void (*unit)(UnitFaults&);            // before the start, on the tested answer only
  void (*port)(MemoryPortFaults&);      // once the command is on its way
  void (*portFirst)(MemoryPortFaults&); // before the start
};

const Damage kDamages[] = {
    {"bad SUM", [](UnitFaults& f) { f.badChecksum = true; }, nullptr, nullptr},
    {"bad ETX", [](UnitFaults& f) { f.badEtx = true; }, nullptr, nullptr},
    {"lost STX", [](UnitFaults& f) { f.lostStx = true; }, nullptr, nullptr},
    {"lost byte", [](UnitFaults& f) { f.lostByte = true; }, nullptr, nullptr},
    {"noise", [](UnitFaults& f) { f.garbageBetweenFrames = true; }, nullptr, nullptr},
    {"line error", nullptr, [](MemoryPortFaults& f) { f.lineErrors = 1; }, nullptr},
    {"failed poll", nullptr, [](MemoryPortFaults& f) { f.failPolls = 1; }, nullptr},
    {"short read", nullptr, [](MemoryPortFaults& f) { f.shortReads = 1; }, nullptr},
    {"failed read", nullptr, [](MemoryPortFaults& f) { f.failReads = 1; }, nullptr},
    {"failed write", nullptr, nullptr, [](MemoryPortFaults& f) { f.failWrites = 1; }},
    {"short write", nullptr, nullptr, [](MemoryPortFaults& f) { f.shortWrites = 1; }},
    {"overrun", [](UnitFaults& f) { f.burstFrames = 200; }, nullptr,
     [](MemoryPortFaults& f) { f.overflowLoses = true; }},
};

// A harness, and the same with its A03 wire open: a cable that must fail.
Rows Harness() { return Rows().Net({A(1), B(1)}).Net({A(3), B(3)}).Net({A(7), B(20), C(2)}); }
Rows OpenA3() { return Rows().Net({A(1), B(1)}).Net({A(7), B(20), C(2)}); }

class DamageTest : public ::testing::Test {
 protected:
  void Fresh() {
    owner = std::make_unique<PanelRig>();
    std::memcpy(rig().Cable(0).connections, Harness().rows, sizeof Harness().rows);
  }
  PanelRig& rig() { return *owner; }

  template <size_t N>
  int HostCount(const uint8_t (&command)[N]) {
    int n = 0;
    for (const FrameBytes& f : rig().frames.Host()) n += f == AsBytes(command) ? 1 : 0;
    return n;
  }
  bool Idle(uint16_t start) {
    return rig().RunUntil([&] { return rig().app.LinkOpen == 0 && rig().widgets.IsEnabled(start); });
  }
  void Damaged(const Damage& d, char answer) {
    rig().Unit([&](TesterModel& m) {
      m.Faults().faultAnswer = answer;
      // Late enough that a port fault set after the start meets the answer.
      m.Faults().firstFrameDelayMs = d.port != nullptr ? 200 : 0;
      if (d.unit != nullptr) d.unit(m.Faults());
    });
    if (d.portFirst != nullptr) d.portFirst(rig().port.faults);
  }
  void Strike(const Damage& d) {
    if (d.port != nullptr) d.port(rig().port.faults);
  }
  // What a damaged exchange leaves: the error, and nothing else.
  void ExpectNothingJudged(TestMode mode) {
    EXPECT_EQ(rig().errors.codes, (std::vector<uint16_t>{kErrorCommDamaged}));
    EXPECT_EQ(rig().widgets.texts[kResultBox], u"");
    const uint16_t(&counts)[4] = rig().state.counters.values[mode];
    EXPECT_EQ(counts[kCountTotal], 0);
    EXPECT_EQ(Rows(rig().Cable(0).connections), Harness());
    EXPECT_EQ(rig().app.document.state, kNewUnchanged);
    EXPECT_TRUE(rig().widgets.titlesShown.empty());
    EXPECT_EQ(rig().widgets.Log().find(u"correct"), std::u16string::npos);
    EXPECT_FALSE(rig().link.IsOpen());
    EXPECT_FALSE(rig().widgets.TimerRunning(kTimerResponse));
    EXPECT_FALSE(rig().widgets.TimerRunning(kTimerStopDelay));
    EXPECT_EQ(rig().state.WorkPhase2Pending, 0);
  }

  // One exchange per way of damage, started by `start`: the open A03 wire
  // draws the rows that a damaged line must not lose into an OK.
  void EveryDamage(TestMode mode, uint16_t start, char answer) {
    for (const Damage& d : kDamages) {
      // A master read has no room for extra rows.
      if (mode == kMasterWork && std::string(d.name) == "overrun") continue;
      SCOPED_TRACE(d.name);
      Fresh();
      rig().app.CurrentMode = mode;
      rig().Unit([](TesterModel& m) { m.Plug(OpenA3().rows); });
      Damaged(d, answer);
      rig().panel.OnCommand(start, 0);
      Strike(d);
      ASSERT_TRUE(Idle(start));
      ExpectNothingJudged(mode);
    }
  }

  std::unique_ptr<PanelRig> owner;
};

TEST_F(DamageTest, OneOnOne) { EveryDamage(kOneOnOne, kOneOnOneStart, 'O'); }

TEST_F(DamageTest, MasterRead) { EveryDamage(kMasterWork, kReadMasterButton, 'R'); }

// The status reply stays whole; the damage hits the download (write faults)
// or the work test's answer.
TEST_F(DamageTest, WorkTest) {
  for (const Damage& d : kDamages) {
    SCOPED_TRACE(d.name);
    Fresh();
    rig().app.CurrentMode = kMasterWork;
    rig().Unit([](TesterModel& m) { m.Plug(OpenA3().rows); });
    Damaged(d, 'W');
    rig().panel.OnCommand(kWorkStartButton, 0);
    const bool downloadFails = d.portFirst != nullptr && d.unit == nullptr;
    if (!downloadFails) {
      ASSERT_TRUE(rig().RunUntil([&] { return HostCount(kMasterTransferEnd) == 1; }));
      ASSERT_TRUE(rig().FireTimer(kTimerStopDelay));
      rig().DeliverPosted();
      Strike(d);
    }
    ASSERT_TRUE(Idle(kWorkStartButton));
    ExpectNothingJudged(kMasterWork);
    EXPECT_TRUE(rig().widgets.IsEnabled(kReadMasterButton));
    if (downloadFails) {
      EXPECT_EQ(HostCount(kStatusQuery), 0) << "no test against half a download";
    }
  }
}

// The answer is timed to its end record: each row re-arms the time-out, and
// without the end it expires into 1028.
TEST_F(DamageTest, ALostEndRecordTimesOut) {
  Fresh();
  rig().Unit([](TesterModel& m) {
    m.Plug(Rows().Straight(47).rows);  // rows for A48..A50
    m.Faults().lostEnd = true;
  });
  rig().panel.OnCommand(kOneOnOneStart, 0);
  ASSERT_TRUE(rig().RunUntil([&] { return rig().state.FaultCount == 3; }));
  rig().RunFor(30);
  EXPECT_EQ(rig().widgets.timerStarts[kTimerResponse], 4) << "the command and each row";
  EXPECT_EQ(rig().widgets.timers[kTimerResponse], kResponseTimeoutMs);
  ASSERT_TRUE(rig().FireTimer(kTimerResponse));
  ASSERT_TRUE(Idle(kOneOnOneStart));
  EXPECT_EQ(rig().errors.codes, (std::vector<uint16_t>{kErrorCommTimeout}));
  EXPECT_EQ(rig().widgets.texts[kResultBox], u"");
  EXPECT_EQ(rig().state.counters.values[kOneOnOne][kCountTotal], 0);

  // A master read whose end is lost keeps the cable as it was.
  rig().app.CurrentMode = kMasterWork;
  rig().Unit([](TesterModel& m) { m.Plug(OpenA3().rows); });
  rig().panel.OnCommand(kReadMasterButton, 0);
  ASSERT_TRUE(rig().RunUntil([&] { return rig().widgets.timerStarts[kTimerResponse] >= 4 + 1 + 5; }));
  ASSERT_TRUE(rig().FireTimer(kTimerResponse));
  ASSERT_TRUE(Idle(kReadMasterButton));
  EXPECT_EQ(rig().errors.codes, (std::vector<uint16_t>{kErrorCommTimeout, kErrorCommTimeout}));
  EXPECT_EQ(Rows(rig().Cable(0).connections), Harness());
  EXPECT_TRUE(rig().widgets.titlesShown.empty());
}

// An answer cut short because the unit went away is no time-out: the
// program asks to exit, as the link watch would.
TEST_F(DamageTest, AnAnswerCutShortByTheUnitGoingAwayIsNoTimeOut) {
  Fresh();
  rig().Unit([](TesterModel& m) {
    m.PlugNothing();
    m.Faults().dsrDropAfterFrames = 3;
  });
  rig().panel.OnCommand(kOneOnOneStart, 0);
  ASSERT_TRUE(rig().RunUntil([&] { return rig().state.FaultCount == 3 && !rig().unit.Dsr(); }));
  ASSERT_TRUE(rig().FireTimer(kTimerResponse));
  rig().RunFor(20);
  EXPECT_TRUE(rig().errors.codes.empty());
  EXPECT_EQ(rig().widgets.postedCommands, (std::vector<uint16_t>{kExitCommand}));
  EXPECT_FALSE(rig().link.IsOpen());
}

// At 9600 baud the longest download takes over two seconds on the line: the
// work test waits for all of it, however long past the usual second.
TEST_F(DamageTest, ASlowLineGetsTheWholeDownloadBeforeTheWorkTest) {
  Fresh();
  Rows full = Rows().Straight(50).Net({C(1), C(2)}).Net({C(3), C(4)});  // a row for every pin
  std::memcpy(rig().Cable(0).connections, full.rows, sizeof full.rows);
  rig().Unit([&](TesterModel& m) { m.Plug(full.rows); });
  rig().app.settings.port.Speed = 9600;
  rig().port.faults.paceWrites = true;
  rig().app.CurrentMode = kMasterWork;

  rig().panel.OnCommand(kWorkStartButton, 0);
  EXPECT_EQ(rig().widgets.timers[kTimerStopDelay], 2180u + 500u) << "2092 bytes at 960 a second, then half a second";
  // Had the delay been the usual second: the download is still going out.
  rig().RunFor(kMasterStopDelayMs);
  ASSERT_TRUE(rig().FireTimer(kTimerStopDelay));
  rig().DeliverPosted();
  EXPECT_TRUE(rig().link.IsOpen());
  EXPECT_EQ(rig().widgets.timers[kTimerStopDelay], kDownloadPollMs);
  EXPECT_EQ(HostCount(kMasterTransferEnd), 0);
  for (int i = 0; i < 40 && HostCount(kStatusQuery) == 0; ++i) {
    rig().RunFor(kDownloadPollMs);
    rig().FireTimer(kTimerStopDelay);
    rig().DeliverPosted();
  }
  ASSERT_TRUE(Idle(kWorkStartButton));
  EXPECT_EQ(rig().unit.With([](TesterModel& m) { return Rows(m.ExpectedWiring()); }), full);
  EXPECT_EQ(rig().widgets.texts[kResultBox], u"OK");
  EXPECT_TRUE(rig().errors.codes.empty());

  // A download the port never finishes writing runs no test.
  rig().port.faults.holdPending = true;
  rig().panel.OnCommand(kWorkStartButton, 0);
  for (int i = 0; i < 200 && rig().FireTimer(kTimerStopDelay); ++i) rig().DeliverPosted();
  rig().port.faults.holdPending = false;
  ASSERT_TRUE(Idle(kWorkStartButton));
  EXPECT_EQ(rig().errors.codes, (std::vector<uint16_t>{kErrorCommDamaged}));
  EXPECT_EQ(HostCount(kStatusQuery), 1);
}

TEST_F(DamageTest, DownloadDelayFollowsTheLineSpeed) {
  struct Case {
    uint32_t bytes, speed;
    uint8_t stopBits;
    uint32_t delayMs;
  } cases[] = {{2092, 38400, 0, 1045}, {60, 38400, 0, kMasterStopDelayMs}, {2092, 19200, 0, 1590},
               {2092, 19200, 2, 1699}, {12, 9600, 0, 1000}};
  for (const Case& c : cases) {
    PortSettings port = kDefaultPortSettings;
    port.Speed = c.speed;
    port.StopB = c.stopBits;
    uint16_t polls = 0;
    EXPECT_EQ(DownloadStopDelayMs(c.bytes, port, polls), c.delayMs) << c.bytes << " at " << c.speed;
    EXPECT_GE(polls * kDownloadPollMs, 2000u);
  }
}

// A stop still queued for an exchange that is over (its box answered late,
// or the shell ended it for About) ends nothing of the next one; and nothing
// of the ended one keeps running.
TEST_F(DamageTest, AStopEndsOnlyItsOwnExchange) {
  Fresh();
  rig().Unit([](TesterModel& m) { m.Plug(Rows().Straight(50).rows); });
  rig().panel.OnCommand(kOneOnOneStart, 0);
  // Dispatch the answer, but keep its stop queued.
  ASSERT_TRUE(rig().notifier.ServeUntil(
      [&] {
        while (!rig().widgets.posted.empty() && rig().widgets.posted.front().kind == FakePanelWidgets::Kind::kFrameQueued) {
          rig().widgets.posted.pop_front();
          rig().panel.OnFrameQueued();
        }
        return !rig().widgets.posted.empty();
      },
      3000));
  const FakePanelWidgets::Posted stale = rig().widgets.posted.front();
  rig().widgets.posted.clear();
  rig().panel.EndExchangeNow();  // as before About
  EXPECT_FALSE(rig().widgets.TimerRunning(kTimerResponse)) << "About's reply is not timed by the panel";

  // About holds the link with the unit gone: the panel's watch leaves it be.
  rig().app.LinkOpen = 1;
  rig().Unit([](TesterModel& m) { m.SetDsr(false); });
  rig().FireTimer(kTimerLinkWatch);
  EXPECT_TRUE(rig().widgets.postedCommands.empty());
  rig().app.LinkOpen = 0;
  rig().Unit([](TesterModel& m) {
    m.SetDsr(true);
    m.Faults().firstFrameDelayMs = 300;
  });

  rig().panel.OnCommand(kOneOnOneStart, 0);
  rig().panel.OnTestStop(stale.exchange);
  EXPECT_TRUE(rig().link.IsOpen());
  EXPECT_FALSE(rig().widgets.IsEnabled(kOneOnOneStart));
  ASSERT_TRUE(Idle(kOneOnOneStart));
  EXPECT_EQ(rig().widgets.texts[kResultBox], u"OK");
  EXPECT_EQ(rig().state.counters.values[kOneOnOne][kCountOk], 2);
}

}  // namespace

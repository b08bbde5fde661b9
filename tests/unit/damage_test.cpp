// A damaged or lost answer is never judged. Through the link's real workers,
// the in-memory port and the simulated unit: each kind of way the line loses or
// garbles bytes ends a 1 on 1 test, a master read and a work test with the
// communication error and nothing else (no result, no count, the cable as it
// was); a lost end record is a time-out; a slow line gets its download whole
// before the work test; a stop never ends an exchange other than its own.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "link/commands.h"
#include "modes/mode_panel.h"
#include "support/panel_rig.h"

namespace {

struct Damage {
  const char* name;
  void (*unit)(UnitFaults&);             // before the start, on the tested answer only
  void (*port)(MemoryPortFaults&);       // once the command is on its way
  void (*portFirst)(MemoryPortFaults&);  // before the start
  uint16_t error = kErrorCommDamaged;
};

// One way per kind of damage the panel sees: the decoder's dropped bytes, the
// link's damage count on reading and on writing, a lost end; which faults
// count as which is the link's and the decoder's to test.
const Damage kDamages[] = {
    {"bad SUM", [](UnitFaults& f) { f.badChecksum = true; }, nullptr, nullptr},
    {"lost byte", [](UnitFaults& f) { f.lostByte = true; }, nullptr, nullptr},
    {"noise", [](UnitFaults& f) { f.garbageBetweenFrames = true; }, nullptr, nullptr},
    {"line error", nullptr, [](MemoryPortFaults& f) { f.lineErrors = 1; }, nullptr},
    {"failed read", nullptr, [](MemoryPortFaults& f) { f.failReads = 1; }, nullptr},
    {"short write", nullptr, nullptr, [](MemoryPortFaults& f) { f.shortWrites = 1; }},
    {"overrun", [](UnitFaults& f) { f.burstFrames = 200; }, nullptr,
     [](MemoryPortFaults& f) { f.overflowLoses = true; }},
    {"lost end", [](UnitFaults& f) { f.lostEnd = true; }, nullptr, nullptr, kErrorCommTimeout},
};

std::unique_ptr<PanelRig> Fresh(TestMode mode) {
  auto r = std::make_unique<PanelRig>();
  r->SetWiring(0, Harness());
  r->app.CurrentMode = mode;
  r->Plug(Rows().Net({A(1), B(1)}).Net({A(7), B(20), C(2)}));  // the harness with its A03 wire open: must fail
  return r;
}

// One exchange per way of damage and test: the open A03 wire draws the rows
// that a damaged line must not lose into an OK.
TEST(Damage, EveryDamageEndsTheExchangeWithItsErrorAndNothingElse) {
  const struct {
    TestMode mode;
    uint16_t start;
    char answer;  // the letter of the answer the damage hits
    int timings;  // response timer starts up to a lost end: the command(s), then each row
  } exchanges[] = {{kOneOnOne, kOneOnOneStart, 'O', 1 + 49},
                   {kMasterWork, kReadMasterButton, 'R', 1 + 5},
                   {kMasterWork, kWorkStartButton, 'W', 2 + 2}};
  for (const auto& x : exchanges)
    for (const Damage& d : kDamages) {
      // A master read has no room for extra rows.
      if (x.answer == 'R' && std::string(d.name) == "overrun") continue;
      SCOPED_TRACE(std::string(1, x.answer) + ": " + d.name);
      const auto r = Fresh(x.mode);
      r->unit.With([&](TesterModel& m) {
        m.Faults().faultAnswer = x.answer;
        // Late enough that a port fault set after the start meets the answer.
        m.Faults().firstFrameDelayMs = d.port != nullptr ? 200 : 0;
        if (d.unit != nullptr) d.unit(m.Faults());
      });
      if (d.portFirst != nullptr) d.portFirst(r->port.faults);
      r->Press(x.start);
      // The status reply stays whole; the damage hits the download (write
      // faults) or the work test's answer.
      const bool downloadFails = x.answer == 'W' && d.portFirst != nullptr && d.unit == nullptr;
      if (x.answer == 'W' && !downloadFails) {
        ASSERT_TRUE(r->UnitGets(kMasterTransferEnd) && r->EndDownload());
      }
      if (d.port != nullptr) d.port(r->port.faults);
      if (d.error == kErrorCommTimeout) {
        ASSERT_TRUE(r->RunUntil([&] { return r->timerStarts[kTimerResponse] == x.timings; }));
        ASSERT_TRUE(r->FireTimer(kTimerResponse));
      }
      ASSERT_TRUE(r->Idle(x.start));
      EXPECT_EQ(r->Outcome(), "closed [] 0 0 0 0 e" + std::to_string(d.error));
      EXPECT_EQ(Rows(r->Cable(0).connections), Harness());
      EXPECT_TRUE(!downloadFails || r->HostCount(kStatusQuery) == 0) << "no test against half a download";
    }
}

// At 9600 baud the longest download takes over two seconds on the line: the
// work test waits for all of it, however long past the usual second. A
// download the port never finishes writing runs no test.
TEST(Damage, ASlowLineGetsTheWholeDownloadBeforeTheWorkTest) {
  const auto r = Fresh(kMasterWork);
  const Rows full = Rows().Straight(50).Net({C(1), C(2)}).Net({C(3), C(4)});  // a row for every pin
  r->SetWiring(0, full);
  r->Plug(full);
  r->app.settings.port.Speed = 9600;
  r->port.faults.paceWrites = true;
  r->Press(kWorkStartButton);
  EXPECT_EQ(r->Timer(kTimerStopDelay), 2180u + 500u) << "2092 bytes at 960 a second, then half a second";
  // Had the delay been shorter: the download is still going out.
  ASSERT_TRUE(r->FireTimer(kTimerStopDelay));
  EXPECT_EQ(r->Outcome(), "open [] 0 0 0 0 stop-delay phase2");
  EXPECT_EQ(r->Timer(kTimerStopDelay), kDownloadPollMs);
  for (int i = 0; i < 40 && r->HostCount(kStatusQuery) == 0; ++i) {
    r->RunFor(kDownloadPollMs);
    r->FireTimer(kTimerStopDelay);
  }
  ASSERT_TRUE(r->Idle(kWorkStartButton));
  EXPECT_EQ(r->unit.With([](TesterModel& m) { return Rows(m.ExpectedWiring()); }), full);
  EXPECT_EQ(r->Outcome(), "closed [OK] 1 0 0 1");

  // It gets exactly the looks the delay allows, then fails.
  uint16_t polls = 0;
  DownloadStopDelayMs(2092, r->app.settings.port, polls);
  r->port.faults.holdPending = true;
  r->Press(kWorkStartButton);
  int looks = 0;
  while (looks < 1000 && r->FireTimer(kTimerStopDelay)) ++looks;
  EXPECT_EQ(looks, 1 + polls);
  r->port.faults.holdPending = false;
  ASSERT_TRUE(r->Idle(kWorkStartButton));
  EXPECT_EQ(r->Outcome(), "closed [] 1 0 0 1 e1029");
  EXPECT_EQ(r->HostCount(kStatusQuery), 1) << "no test against half a download";
}

// Two stop bits make eleven bits a byte; the rest of the sum (rounding, the
// floor of a second, the line speed) is seen through the panel.
TEST(DownloadStopDelay, CountsTwoStopBits) {
  PortSettings port = kDefaultPortSettings;
  port.Speed = 19200;
  port.StopB = 2;
  uint16_t polls = 0;
  EXPECT_EQ(DownloadStopDelayMs(2092, port, polls), 1199u + 500u);
  EXPECT_GE(polls * kDownloadPollMs, 2000u);
}

// A stop still queued for an exchange that is over (its box answered late,
// or the shell ended it for About) ends nothing of the next one; and nothing
// of the ended one keeps running.
TEST(Damage, AStopEndsOnlyItsOwnExchange) {
  const auto r = Fresh(kOneOnOne);
  r->Plug(Rows().Straight(50));
  r->Press(kOneOnOneStart);
  const uint32_t stale = r->state.exchange;
  r->panel.EndExchangeNow();  // as before About

  // About holds the link with the unit gone: the panel's watch leaves it be.
  r->app.LinkOpen = 1;
  r->unit.With([](TesterModel& m) { m.SetDsr(false); });
  r->FireTimer(kTimerLinkWatch);
  EXPECT_TRUE(r->postedCommands.empty());
  r->app.LinkOpen = 0;
  r->unit.With([](TesterModel& m) {
    m.SetDsr(true);
    m.Faults().firstFrameDelayMs = 300;
  });
  r->Press(kOneOnOneStart);
  r->panel.OnTestStop(stale);
  EXPECT_EQ(r->Outcome(), "open [] 0 0 0 0 timing");
  ASSERT_TRUE(r->Idle(kOneOnOneStart));
  EXPECT_EQ(r->Outcome(), "closed [OK] 1 0 0 1");
}

}  // namespace

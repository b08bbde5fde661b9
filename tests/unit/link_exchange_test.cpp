// Whole exchanges as the program runs them: the link's real workers, the
// in-memory port and the simulated unit's model on the other end, the window
// side decoding every "received" notice and taking the queued records.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/commands.h"
#include "link/frame_codec.h"
#include "link/serial_link.h"
#include "sim/tester_model.h"
#include "support/memory_serial_port.h"
#include "support/model_unit.h"
#include "support/sync_notifier.h"
#include "support/unit_frames.h"

namespace {

constexpr uint32_t kAnswerWaitMs = 3000;

class FailOnError final : public ErrorReporter {
 public:
  void ShowError(uint16_t code) override { ADD_FAILURE() << "error box " << code; }
};

// Frames the unit put on the line and commands it took; called under the
// ModelUnit's lock, so read through With().
struct FrameCounts final : TesterModel::FrameLog {
  void HostFrame(const uint8_t*, size_t) override { ++host; }
  void UnitFrame(const uint8_t*, size_t) override { ++unit; }
  int host = 0;
  int unit = 0;
};

// The window that owns the link: each "frame queued" notice, handled after the
// decoding that posted it, takes what is unread at that moment.
class Window final : public ResponseSink {
 public:
  void FrameQueued() override { ++posted_; }
  // A full queue is taken before the decoder goes on.
  void DrainResponses() override { TakeUnread(); }
  void DispatchPosted() {
    for (; posted_ > 0; --posted_) TakeUnread();
  }

  ResponseChannel channel{};
  std::vector<ResponseRecord> records;
  // What the window does with a record once it has it (the work test queues
  // its second command from here).
  std::function<void(const ResponseRecord&)> onRecord;

 private:
  void TakeUnread() {
    const int n = channel.queue.unreadCount;
    ResponseRecord r;
    for (int i = 0; i < n && TakeResponse(channel.queue, r); ++i) {
      records.push_back(r);
      if (onRecord) onRecord(r);
    }
  }
  int posted_ = 0;
};

FrameBytes FrameOf(const ResponseRecord& r) { return FrameBytes(r.frame, r.frame + r.frame[1] + 3); }

// A link on the in-memory port with the model at the far end. Declared so
// that the link goes first and the unit last.
struct ExchangeRig {
  ExchangeRig() {
    unit.With([&](TesterModel& m) { m.SetFrameLog(&counts); });
  }

  // Serves notices until `done` holds.
  template <typename Done>
  bool Await(Done done, uint32_t ms = kAnswerWaitMs) {
    return notifier.ServeUntil(done, ms);
  }
  bool AwaitRecord(ResponseKind kind) {
    return Await([&] {
      for (const ResponseRecord& r : window.records)
        if (r.kind == kind) return true;
      return false;
    });
  }
  // Until the unit has taken `frames` commands in all.
  bool AwaitUnitHeard(int frames) {
    return Await([&] { return HostFrames() >= frames; });
  }
  int HostFrames() {
    return unit.With([&](TesterModel&) { return counts.host; });
  }
  int UnitFrames() {
    return unit.With([&](TesterModel&) { return counts.unit; });
  }

  // Where the program starts an exchange: the queue is cleared, the command
  // queued and the response flag set.
  void StartExchange(const uint8_t* command, uint32_t n) {
    ClearResponses(window.channel);
    window.channel.ResponsePending = 1;
    ASSERT_TRUE(link.QueueTransmit(command, n));
  }
  // One exchange on a link opened for it: the frames up to the end record.
  std::vector<FrameBytes> Exchange(const uint8_t* command, uint32_t n, ResponseKind end) {
    window.records.clear();
    EXPECT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
    StartExchange(command, n);
    EXPECT_TRUE(AwaitRecord(end)) << "no end record";
    link.CloseLink(true);
    return Frames();
  }
  template <size_t N>
  std::vector<FrameBytes> Exchange(const uint8_t (&command)[N], ResponseKind end) {
    return Exchange(command, N, end);
  }
  std::vector<FrameBytes> Frames() const {
    std::vector<FrameBytes> frames;
    for (const ResponseRecord& r : window.records) frames.push_back(FrameOf(r));
    return frames;
  }

  FrameCounts counts;
  ModelUnit unit;
  MemorySerialPort port{unit};
  FailOnError errors;
  Window window;
  uint32_t bytesTaken = 0;  // every byte the window took from the receive ring
  SyncNotifier notifier{[this](LinkNotice notice) {
    if (notice != LinkNotice::kReceived) return;
    // The receive worker waits in this notice, so the ring cannot grow here.
    bytesTaken += link.ReceivedCount();
    DecodeReceivedBytes(link, window.channel, window);
    window.DispatchPosted();
  }};
  SerialLink link{port, errors};
};

class LinkExchangeTest : public ::testing::Test, protected ExchangeRig {};

// The cable for master reads and work tests: a few nets, the rest unwired.
Rows Harness() {
  Rows w;
  w.Net({A(1), B(1)}).Net({A(2), B(2), C(1)}).Net({A(10), A(11)});
  return w;
}

TEST_F(LinkExchangeTest, StatusQueryBringsTheVersion) {
  unit.With([](TesterModel& m) { m.SetVersion("2345"); });
  EXPECT_EQ(Exchange(kStatusQuery, StatusReply), std::vector<FrameBytes>{StatusFrame("2345")});
  EXPECT_EQ(window.channel.ResponsePending, 0u);
  char16_t version[6];
  StatusReplyVersion(window.records[0], version);
  EXPECT_EQ(std::u16string(version), u"2.345");
}

TEST_F(LinkExchangeTest, OneOnOneReportsOnlyTheMiswiredPins) {
  uint8_t start[kOneOnOneStartBytes];
  BuildOneOnOneStart(50, start);
  Rows straight;
  straight.Straight(50);
  unit.With([&](TesterModel& m) { m.Plug(straight.rows); });
  EXPECT_EQ(Exchange(start, OneOnOneEnd), std::vector<FrameBytes>{EndFrame('O')});

  Rows crossed = straight;
  crossed.Net({A(2), B(3)}).Net({A(3), B(2)});
  unit.With([&](TesterModel& m) { m.Plug(crossed.rows); });
  const std::vector<FrameBytes> expected = {RowFrame('O', A(2), Pins({A(2), B(3)})),
                                            RowFrame('O', A(3), Pins({A(3), B(2)})), EndFrame('O')};
  EXPECT_EQ(Exchange(start, OneOnOneEnd), expected);
}

TEST_F(LinkExchangeTest, MasterReadBringsEveryWiredPinThenTheEnd) {
  const Rows cable = Harness();
  unit.With([&](TesterModel& m) { m.Plug(cable.rows); });
  std::vector<FrameBytes> expected;
  for (unsigned pin : {A(1), A(2), A(10), A(11), B(1), B(2), C(1)})
    expected.push_back(RowFrame('R', pin, cable.Of(pin)));
  expected.push_back(EndFrame('R'));
  EXPECT_EQ(Exchange(kMasterRead, MasterEnd), expected);

  // Every pin on one net: 105 frames in one read, far more than the queue
  // holds, and none lost or taken twice.
  Rows all;
  PinSet every{};
  for (unsigned p = 0; p < kPinCount; ++p) PinSetAdd(every, p);
  for (ConnectionRow& row : all.rows) row.bits = every;
  unit.With([&](TesterModel& m) { m.Plug(all.rows); });
  expected.clear();
  for (unsigned p = 0; p < kPinCount; ++p) expected.push_back(RowFrame('R', p, every));
  expected.push_back(EndFrame('R'));
  EXPECT_EQ(Exchange(kMasterRead, MasterEnd), expected);
}

// The master goes over, the link is closed and opened again, and the work test
// is a status query whose reply makes the window send WorkTest at once.
TEST_F(LinkExchangeTest, WorkTestComparesWithTheTransferredMaster) {
  const Rows master = Harness();
  uint8_t transfer[kMasterTransferMaxBytes];
  const int size = BuildMasterTransfer(master.rows, transfer);
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  // Nothing is awaited: the link is closed once the unit has it all.
  ASSERT_TRUE(link.QueueTransmit(transfer, static_cast<uint32_t>(size)));
  ASSERT_TRUE(AwaitUnitHeard(2 + 7));  // start, seven rows, end
  link.CloseLink(true);
  EXPECT_TRUE(window.records.empty()) << "a transfer draws no answer";

  window.onRecord = [&](const ResponseRecord& r) {
    if (r.kind != StatusReply) return;
    ASSERT_TRUE(link.QueueTransmit(kWorkTest, sizeof kWorkTest));
    window.channel.ResponsePending = 1;
  };
  const auto workTest = [&](const Rows& work) {
    unit.With([&](TesterModel& m) { m.Plug(work.rows); });
    std::vector<FrameBytes> frames = Exchange(kStatusQuery, WorkEnd);
    EXPECT_EQ(window.channel.ResponsePending, 0u);
    if (!frames.empty()) {
      EXPECT_EQ(window.records[0].kind, StatusReply);
      frames.erase(frames.begin());
    }
    return frames;
  };
  EXPECT_EQ(workTest(master), std::vector<FrameBytes>{EndFrame('W')});

  // A1-B1 open, A20-A21 shorted.
  Rows faulty = master;
  faulty.Net({A(1)}).Net({B(1)}).Net({A(20), A(21)});
  const std::vector<FrameBytes> expected = {
      RowFrame('W', A(1), Pins({A(1)})), RowFrame('W', A(20), Pins({A(20), A(21)})),
      RowFrame('W', A(21), Pins({A(20), A(21)})), RowFrame('W', B(1), Pins({B(1)})),
      EndFrame('W')};
  EXPECT_EQ(workTest(faulty), expected);
}

TEST_F(LinkExchangeTest, ProbeStreamFollowsTheProbeUntilFinish) {
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  StartExchange(kProbeStart, sizeof kProbeStart);
  ASSERT_TRUE(AwaitRecord(ProbeState));
  // Scripted once the stream runs, on the port's clock: however late a frame
  // is made, it carries the reach of its own moment.
  const uint64_t t = unit.NowMs();
  const PinSet first = Pins({A(1), B(1)});
  const PinSet second = Pins({C(4)});
  unit.With([&](TesterModel& m) {
    m.ProbeAt(t + 2 * TesterModel::kProbePeriodMs, first);
    m.ProbeAt(t + 4 * TesterModel::kProbePeriodMs, second);
  });
  ASSERT_TRUE(Await([&] { return FrameOf(window.records.back()) == ProbeFrame(second); }))
      << "the probe never reached C04";
  ASSERT_TRUE(link.QueueTransmit(kProbeFinish, sizeof kProbeFinish));
  ASSERT_TRUE(AwaitUnitHeard(2));
  // The stream has ended once the unit has nothing more to send and the window
  // has every frame it sent.
  ASSERT_TRUE(Await([&] {
    return unit.With([](TesterModel& m) { return m.NextDueMs(); }) == UINT64_MAX &&
           static_cast<int>(window.records.size()) == UnitFrames();
  }));
  EXPECT_TRUE(link.IsUnitReady());
  link.CloseLink(true);

  // Nothing, then the first step, then the second, each at least once and
  // never going back.
  std::vector<FrameBytes> steps;
  for (const ResponseRecord& r : window.records) {
    ASSERT_EQ(r.kind, ProbeState);
    if (steps.empty() || steps.back() != FrameOf(r)) steps.push_back(FrameOf(r));
  }
  EXPECT_EQ(steps, (std::vector<FrameBytes>{ProbeFrame(PinSet{}), ProbeFrame(first), ProbeFrame(second)}));
}

TEST_F(LinkExchangeTest, CloseWithANoticePendingEndsTheProbeStream) {
  unit.With([](TesterModel& m) { m.ProbeAt(0, Pins({A(5)})); });
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  StartExchange(kProbeStart, sizeof kProbeStart);
  // The window is busy elsewhere: both workers end up waiting in a notice,
  // the transmit worker's "sent" and the receive worker's first probe frame.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
  while (notifier.Posted() < 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(notifier.Posted(), 2u);
  const auto start = std::chrono::steady_clock::now();
  link.CloseLink(true);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  EXPECT_FALSE(port.IsPortOpen());
  EXPECT_EQ(notifier.received, 1) << "the pending notice was handled, not dropped";
  EXPECT_EQ(Frames(), std::vector<FrameBytes>{ProbeFrame(Pins({A(5)}))});
  EXPECT_EQ(unit.With([](TesterModel& m) { return m.NextDueMs(); }), UINT64_MAX)
      << "dropping DTR ended the stream";

  // Nothing of the probe reaches the next exchange.
  EXPECT_EQ(Exchange(kStatusQuery, StatusReply), std::vector<FrameBytes>{StatusFrame("1000")});
}

TEST_F(LinkExchangeTest, DsrDroppingMidAnswerIsSeenThroughIsUnitReady) {
  const Rows cable = Harness();
  unit.With([&](TesterModel& m) {
    m.Plug(cable.rows);
    m.Faults().dsrDropAfterFrames = 2;
  });
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  ASSERT_TRUE(link.IsUnitReady());
  StartExchange(kMasterRead, sizeof kMasterRead);
  // What the mode panel's poll would see, and what came before the drop.
  ASSERT_TRUE(Await([&] { return !link.IsUnitReady() && window.records.size() >= 2; }));
  EXPECT_EQ(Frames(), (std::vector<FrameBytes>{RowFrame('R', A(1), cable.Of(A(1))),
                                               RowFrame('R', A(2), cable.Of(A(2)))}));
  // Closed as the program does before it asks to exit.
  link.CloseLink(false);
  EXPECT_EQ(port.UnrestoredCloses(), 1);
  EXPECT_EQ(window.records.size(), 2u) << "no end frame after the drop";
}

struct LineFault {
  const char* name;
  void (*apply)(UnitFaults&);
};

// Line noise the decoder rides out: the window must see exactly the records
// of a clean line, across notices and open/close cycles alike.
TEST(LinkExchange, RecoverableLineFaultsGiveTheRecordsOfACleanLine) {
  const LineFault faults[] = {
      {"clean", [](UnitFaults&) {}},
      {"garbage", [](UnitFaults& f) { f.garbageBetweenFrames = true; }},
      {"split", [](UnitFaults& f) { f.splitChunk = 3; }},
      {"bad SUM", [](UnitFaults& f) { f.badChecksum = true; }},
      {"all at once",
       [](UnitFaults& f) {
         f.garbageBetweenFrames = f.badChecksum = true;
         f.splitChunk = 4;
       }},
  };
  Rows cable = Harness();
  cable.Net({A(3), B(4)}).Net({A(4), B(3)});
  uint8_t start[kOneOnOneStartBytes];
  BuildOneOnOneStart(5, start);

  std::vector<FrameBytes> clean;
  uint32_t cleanBytes = 0;
  int cleanNotices = 0;
  for (const LineFault& fault : faults) {
    SCOPED_TRACE(fault.name);
    const auto owned = std::make_unique<ExchangeRig>();
    ExchangeRig& rig = *owned;
    rig.unit.With([&](TesterModel& m) {
      m.Plug(cable.rows);
      fault.apply(m.Faults());
    });
    std::vector<FrameBytes> got = rig.Exchange(kStatusQuery, StatusReply);
    for (const FrameBytes& f : rig.Exchange(start, OneOnOneEnd)) got.push_back(f);
    for (const FrameBytes& f : rig.Exchange(kMasterRead, MasterEnd)) got.push_back(f);
    if (clean.empty()) {
      // The reply; four rows of pins 2..5 and the end; eleven rows and the end.
      ASSERT_EQ(got.size(), 1u + 5u + 12u);
      clean = got;
      cleanBytes = rig.bytesTaken;
      cleanNotices = rig.notifier.received;
      continue;
    }
    EXPECT_EQ(got, clean);
    // And the fault did reach the window.
    const UnitFaults f = rig.unit.With([](TesterModel& m) { return m.Faults(); });
    if (f.garbageBetweenFrames || f.badChecksum) {
      EXPECT_GT(rig.bytesTaken, cleanBytes);
    }
    if (f.splitChunk != 0) {
      EXPECT_GT(rig.notifier.received, cleanNotices) << "a frame came in pieces";
    }
  }
}

}  // namespace

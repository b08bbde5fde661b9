// The link's rings and workers on the in-memory port, the simulated unit at
// the far end.
#include "link/serial_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>

#include "link/commands.h"
#include "support/memory_serial_port.h"
#include "support/model_unit.h"
#include "support/sync_notifier.h"

// Counts heap allocations from every thread while counting is on; the open
// link must make none.
namespace {
std::atomic<bool> gCountAllocations{false};
std::atomic<int> gAllocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (gCountAllocations.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The window side: counts what the decoder queues, without allocating.
class Responses final : public ResponseSink {
 public:
  void FrameQueued() override { ++queued; }
  void DrainResponses() override { ClearResponses(channel); }
  ResponseChannel channel{};
  int queued = 0;
};

// A link on an in-memory port with the unit's model behind it. The notifier
// is declared before the link so that it outlives it.
struct LinkRig {
  explicit LinkRig(uint32_t stopWaitMs = kWorkerStopMs) : link{port, errors, stopWaitMs} {}

  bool Open() { return link.OpenLink(notifier, kDefaultPortSettings); }
  void SendQuery() { ASSERT_TRUE(link.QueueTransmit(kStatusQuery, sizeof kStatusQuery)); }
  // Serves notices until `count` frames were decoded in all.
  bool AwaitFrames(int count, uint32_t ms = 3000) {
    return notifier.ServeUntil([&] { return responses.queued >= count; }, ms);
  }
  // The unit puts a StatusReply on the line unasked.
  void Reply() { unit.With([](TesterModel& m) { m.HostBytes(kStatusQuery, sizeof kStatusQuery, 0); }); }

  ModelUnit unit;
  MemorySerialPort port{unit};
  ShownErrors errors;
  Responses responses;
  bool decode = true;  // false: notices are only counted
  SyncNotifier notifier{[this](LinkNotice notice) {
    if (decode && notice == LinkNotice::kReceived) DecodeReceivedBytes(link, responses.channel, responses);
  }};
  SerialLink link;
};

class SerialLinkTest : public ::testing::Test, protected LinkRig {};

TEST_F(SerialLinkTest, RingsKeepOrderAcrossTheWrapAndNeverSplitABlock) {
  static uint8_t block[kRingBytes + 28];
  static uint8_t out[kRingBytes];
  for (uint32_t i = 0; i < sizeof block; ++i) block[i] = static_cast<uint8_t>(i * 7 + 1);
  ASSERT_TRUE(link.QueueTransmit(block, 3000));
  ASSERT_EQ(link.TakeTransmit(out), 3000u);
  // From position 3000 on: this block wraps.
  ASSERT_TRUE(link.QueueTransmit(block, 3000));
  EXPECT_FALSE(link.QueueTransmit(block, 73));
  EXPECT_TRUE(link.QueueTransmit(block + 3000, 72));
  ASSERT_EQ(link.TakeTransmit(out), kRingBytes);
  EXPECT_EQ(std::memcmp(out, block, kRingBytes), 0) << "nothing of a refused block went in";

  // A full receive ring keeps the head of a block, drops the rest and counts
  // the loss.
  link.PutReceived(block, 3000);
  link.PutReceived(block + 3000, 100);
  ASSERT_EQ(link.ReceivedCount(), kRingBytes);
  for (uint8_t& b : out) ASSERT_TRUE(link.TakeReceivedByte(b));
  EXPECT_EQ(std::memcmp(out, block, kRingBytes), 0);
  EXPECT_FALSE(link.TakeReceivedByte(out[0]));
  EXPECT_EQ(link.Damage(), 1u);
}

// The open takes the port or reports 1025, and starts with empty rings.
TEST_F(SerialLinkTest, ExchangesGoThroughTheWorkersWithoutAllocating) {
  port.faults.failOpen = true;
  EXPECT_FALSE(Open());
  link.CloseLink(true);  // a stray close is harmless
  port.faults.failOpen = false;
  port.faults.pendingTransfers = true;  // both sides wait for their transfers
  unit.With([](TesterModel& m) { m.SetFrameLog(nullptr); });  // the frame log allocates
  static uint8_t stale[1000];
  SendQuery();
  link.PutReceived(stale, sizeof stale);
  ASSERT_TRUE(Open());
  EXPECT_EQ(link.ReceivedCount(), 0u);
  EXPECT_TRUE(unit.With([](TesterModel& m) { return m.Dtr(); })) << "the link raises DTR";
  EXPECT_FALSE(Open()) << "never two links on one port";
  EXPECT_EQ(errors.codes, (std::vector<uint16_t>{kErrorPortOpen, kErrorPortOpen}));

  gAllocations = 0;
  gCountAllocations = true;
  for (int round = 1; round <= 3; ++round) {  // a failed check would allocate; the answers are counted below
    link.QueueTransmit(kStatusQuery, sizeof kStatusQuery);
    AwaitFrames(round);
  }
  gCountAllocations = false;
  EXPECT_EQ(gAllocations, 0);
  // Idle, the receive worker pauses between polls.
  const int polls = port.Polls();
  const auto start = Clock::now();
  notifier.ServeUntil([] { return false; }, 200);
  EXPECT_LE(port.Polls() - polls, MsSince(start) / kWorkerPauseMs + 2);
  EXPECT_EQ(responses.queued, 3) << "the query queued before the open was not sent";
  port.faults.lineErrors = 1;  // counted once, and the workers go on
  SendQuery();
  EXPECT_TRUE(AwaitFrames(4));
  EXPECT_EQ(link.Damage(), 1u);
  link.CloseLink(true);
}

// The window thread busy elsewhere: the workers wait in their notices (which
// the close then serves, not drops), or on transfers that never finish (whose
// stop is no error to report).
TEST(SerialLink, CloseEndsWorkersBlockedInNoticesOrWaitingOnTransfers) {
  for (const bool transfers : {false, true}) {
    SCOPED_TRACE(transfers);
    LinkRig rig;
    rig.decode = false;
    rig.port.faults.holdPending = transfers;
    ASSERT_TRUE(rig.Open());
    rig.SendQuery();
    if (transfers) rig.Reply();
    ASSERT_TRUE(transfers ? rig.notifier.ServeUntil([&] { return rig.port.InWaitPending() == 2; }, 2000)
                          : rig.notifier.WaitForBlockedWorkers(2, 2000));
    const auto start = Clock::now();
    rig.link.CloseLink(true);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(rig.notifier.handled, transfers ? 0 : 2);
    EXPECT_FALSE(rig.port.IsPortOpen());
  }
}

// A port call that ignores the stop request: the close gives up waiting, but
// the worker keeps the port and the link until it has ended.
TEST(SerialLink, AWorkerThatOutlivesTheCloseKeepsThePortUntilItEnds) {
  LinkRig rig{100};
  rig.port.faults.holdPending = true;
  rig.port.faults.ignoreStop = true;
  ASSERT_TRUE(rig.Open());
  rig.Reply();
  ASSERT_TRUE(rig.notifier.ServeUntil([&] { return rig.port.InWaitPending() == 1; }, 2000));
  const auto start = Clock::now();
  rig.link.CloseLink(true);
  const int64_t took = MsSince(start);
  EXPECT_TRUE(took >= 100 && took < 1000) << took;
  EXPECT_TRUE(rig.port.IsPortOpen()) << "the worker may still be using it";
  EXPECT_FALSE(rig.Open());
  EXPECT_EQ(rig.errors.codes, (std::vector<uint16_t>{kErrorPortOpen}));

  // The port call returns (failing) and the worker, seeing its stop, ends.
  rig.port.faults.holdPending = false;
  rig.port.ReleaseStuck();
  ASSERT_TRUE(rig.notifier.ServeUntil([&] { return rig.Open(); }, 2000));
  EXPECT_EQ(rig.port.RestoredCloses(), 1) << "the port was closed as the first close asked";
  EXPECT_EQ(rig.notifier.handled, 0) << "the late worker ended without a notice";
  rig.SendQuery();
  EXPECT_TRUE(rig.AwaitFrames(1));
  rig.link.CloseLink(true);
}

}  // namespace

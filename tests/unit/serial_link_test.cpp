// The link's rings and workers on the in-memory port, the simulated unit at
// the far end.
#include "link/serial_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

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

// The window side: decodes on every "received" notice and counts what the
// queue delivers, without allocating.
class Responses final : public ResponseSink {
 public:
  void FrameQueued() override { ++queued; }
  void DrainResponses() override { Drain(); }
  void Drain() {
    ResponseRecord r;
    while (TakeResponse(channel.queue, r)) replies += r.kind == StatusReply ? 1 : 0;
  }
  ResponseChannel channel{};
  int replies = 0;
  int queued = 0;
};

// A link on an in-memory port with the unit's model behind it. The notifier
// is declared before the link so that it outlives it.
struct LinkRig {
  explicit LinkRig(uint32_t stopWaitMs = kWorkerStopMs) : link{port, errors, stopWaitMs} {}

  bool Open() { return link.OpenLink(notifier, kDefaultPortSettings); }
  void SendQuery() { ASSERT_TRUE(link.QueueTransmit(kStatusQuery, sizeof kStatusQuery)); }
  // Serves notices until `frames` frames were decoded in all.
  bool AwaitFrames(int count, uint32_t ms = 3000) {
    return notifier.ServeUntil([&] { return responses.queued >= count; }, ms);
  }
  void ServeFor(uint32_t ms) { notifier.ServeUntil([] { return false; }, ms); }
  template <typename F>
  void Unit(F f) {
    unit.With(f);
  }
  // The unit puts a StatusReply on the line unasked.
  void Reply() { Unit([](TesterModel& m) { m.HostBytes(kStatusQuery, sizeof kStatusQuery, 0); }); }
  bool Dtr() { return unit.With([](TesterModel& m) { return m.Dtr(); }); }

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
  static uint8_t block[kRingBytes + 1];
  static uint8_t out[kRingBytes];
  for (uint32_t i = 0; i < sizeof block; ++i) block[i] = static_cast<uint8_t>(i * 7 + 1);
  EXPECT_FALSE(link.QueueTransmit(block, kRingBytes + 1));
  ASSERT_TRUE(link.QueueTransmit(block, 3000));
  ASSERT_EQ(link.TakeTransmit(out), 3000u);
  // From position 3000 on: this block wraps.
  ASSERT_TRUE(link.QueueTransmit(block, 3000));
  EXPECT_FALSE(link.QueueTransmit(block, 73));
  EXPECT_TRUE(link.QueueTransmit(block + 100, 72));
  EXPECT_FALSE(link.QueueTransmit(block, 1));
  ASSERT_EQ(link.TakeTransmit(out), kRingBytes);
  EXPECT_EQ(std::memcmp(out, block, 3000), 0);
  EXPECT_EQ(std::memcmp(out + 3000, block + 100, 72), 0) << "nothing of a refused block went in";
  EXPECT_EQ(link.TakeTransmit(out), 0u);

  // A full receive ring keeps the head of a block, drops the rest and counts
  // the loss.
  uint8_t b = 0;
  link.PutReceived(block, 3000);
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(link.TakeReceivedByte(b));
  link.PutReceived(block, 3000);
  link.PutReceived(block + 100, 100);
  ASSERT_EQ(link.ReceivedCount(), kRingBytes);
  for (uint32_t i = 0; i < kRingBytes; ++i) {
    ASSERT_TRUE(link.TakeReceivedByte(b));
    ASSERT_EQ(b, i < 3000 ? block[i] : block[100 + i - 3000]) << i;
  }
  EXPECT_FALSE(link.TakeReceivedByte(b));
  EXPECT_EQ(link.Damage(), 1u);
}

TEST_F(SerialLinkTest, OpenTakesThePortOrReports1025AndCloseEmptiesTheRings) {
  port.faults.failOpen = true;
  EXPECT_FALSE(Open());
  EXPECT_EQ(errors.codes, (std::vector<uint16_t>{kErrorPortOpen}));
  EXPECT_FALSE(link.IsOpen());
  EXPECT_FALSE(Dtr());
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  link.CloseLink(true);  // a stray close is harmless
  EXPECT_EQ(port.Polls() + port.RestoredCloses(), 0) << "no worker was started, nothing to close";

  port.faults.failOpen = false;
  ASSERT_TRUE(Open());
  EXPECT_TRUE(Dtr()) << "the link raises DTR";
  EXPECT_TRUE(link.IsUnitReady());
  EXPECT_FALSE(Open()) << "never two links on one port";
  EXPECT_EQ(errors.codes.size(), 2u);
  link.CloseLink(true);
  EXPECT_FALSE(port.IsPortOpen());
  EXPECT_FALSE(Dtr()) << "a restoring close drops DTR";
  EXPECT_FALSE(link.IsUnitReady());

  // A close empties the rings and a reopen starts empty. Writes that never
  // finish keep the second block in the transmit ring.
  static uint8_t block[kRingBytes];
  port.faults.holdPending = true;
  decode = false;
  ASSERT_TRUE(Open());
  SendQuery();
  ASSERT_TRUE(notifier.ServeUntil([&] { return port.InWaitPending() == 1; }, 2000));
  ASSERT_TRUE(link.QueueTransmit(block, 2000));
  link.PutReceived(block, 1000);
  link.CloseLink(true);
  EXPECT_EQ(link.ReceivedCount(), 0u);
  EXPECT_EQ(link.TakeTransmit(block), 0u);

  port.faults.holdPending = false;
  SendQuery();
  link.PutReceived(block, 1000);
  ASSERT_TRUE(Open());
  EXPECT_EQ(link.ReceivedCount(), 0u);
  ServeFor(100);
  EXPECT_EQ(unit.HostFrames().size(), 0u) << "nothing queued before the open is sent";
  EXPECT_TRUE(link.QueueTransmit(block, kRingBytes));
  link.CloseLink(false);
  EXPECT_EQ(port.UnrestoredCloses(), 1);
  EXPECT_TRUE(port.IsPortOpen()) << "an unrestored close leaves the port as the link set it";
  EXPECT_TRUE(Dtr());
}

TEST_F(SerialLinkTest, ExchangesGoThroughTheWorkersWithoutAllocating) {
  Unit([](TesterModel& m) { m.SetFrameLog(nullptr); });  // the frame log allocates
  ASSERT_TRUE(Open());
  gAllocations = 0;
  gCountAllocations = true;
  bool answered = true;
  for (int round = 1; round <= 3; ++round) {
    answered = link.QueueTransmit(kStatusQuery, sizeof kStatusQuery) && answered;
    answered = AwaitFrames(round) && answered;
  }
  gCountAllocations = false;
  EXPECT_EQ(gAllocations, 0);
  EXPECT_TRUE(answered);
  responses.Drain();
  EXPECT_EQ(responses.replies, 3);
  EXPECT_TRUE(notifier.ServeUntil([&] { return notifier.sent >= 3; }, 1000)) << "every whole write is reported sent";
  // Idle, the receive worker pauses between polls.
  const int polls = port.Polls();
  const auto start = Clock::now();
  ServeFor(200);
  EXPECT_LE(port.Polls() - polls, MsSince(start) / kWorkerPauseMs + 2);
  link.CloseLink(true);
  EXPECT_TRUE(errors.codes.empty());
}

// Each fault loses at most the answer it hits, is reported as a "received"
// notice and counted as damage, and the workers go on with the next.
TEST_F(SerialLinkTest, TransferFaultsAreNoticedAndTheWorkersCarryOn) {
  const struct {
    const char* name;
    std::atomic<int> MemoryPortFaults::*fault;  // null: transfers that complete later
    bool losesAnswer;
    size_t framesAtUnit;  // after both queries: a failed or short write is not retried
    int purges;           // only a read refused at once leaves the driver's queue in doubt
  } cases[] = {
      {"failed write", &MemoryPortFaults::failWrites, true, 1, 0},
      {"short write", &MemoryPortFaults::shortWrites, true, 1, 0},
      {"failed read", &MemoryPortFaults::failReads, true, 2, 1},
      {"short read", &MemoryPortFaults::shortReads, true, 2, 0},
      {"failed poll", &MemoryPortFaults::failPolls, false, 2, 0},
      {"line error", &MemoryPortFaults::lineErrors, false, 2, 0},
      {"pending transfers", nullptr, false, 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LinkRig rig;
    rig.port.faults.pendingTransfers = c.fault == nullptr;
    ASSERT_TRUE(rig.Open());
    if (c.fault != nullptr) {
      std::atomic<int>& fault = rig.port.faults.*c.fault;
      fault = 1;
      rig.SendQuery();
      EXPECT_TRUE(rig.notifier.ServeUntil([&] { return fault == 0 && rig.notifier.received >= 1; }, 2000));
    } else {
      rig.SendQuery();
    }
    rig.AwaitFrames(1, 150);
    EXPECT_EQ(rig.responses.queued, c.losesAnswer ? 0 : 1);

    rig.SendQuery();
    EXPECT_TRUE(rig.AwaitFrames(c.losesAnswer ? 1 : 2, 2000));
    EXPECT_EQ(rig.unit.HostFrames().size(), c.framesAtUnit);
    EXPECT_EQ(rig.port.Purges(), c.purges);
    EXPECT_EQ(rig.link.Damage(), c.fault != nullptr ? 1u : 0u);
    rig.link.CloseLink(true);
    EXPECT_TRUE(rig.errors.codes.empty()) << "transfer faults are not shown to the operator";
  }
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
    EXPECT_EQ(rig.notifier.Posted(), transfers ? 0u : 2u);
    EXPECT_EQ(rig.notifier.received + rig.notifier.sent, transfers ? 0 : 2);
    EXPECT_EQ(rig.port.InWaitPending(), 0);
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
  EXPECT_GE(took, 100);
  EXPECT_LT(took, 1000);
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_TRUE(rig.port.IsPortOpen()) << "the worker may still be using it";
  EXPECT_FALSE(rig.Open());
  EXPECT_EQ(rig.errors.codes, (std::vector<uint16_t>{kErrorPortOpen}));

  // The port call returns (failing) and the worker, seeing its stop, ends.
  rig.port.faults.holdPending = false;
  rig.port.ReleaseStuck();
  bool reopened = false;
  for (int i = 0; i < 200 && !reopened; ++i) {
    reopened = rig.Open();
    if (!reopened) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(reopened);
  EXPECT_EQ(rig.port.RestoredCloses(), 1) << "the port was closed as the first close asked";
  EXPECT_EQ(rig.notifier.Posted(), 0u) << "the late worker ended without a notice";
  rig.SendQuery();
  EXPECT_TRUE(rig.AwaitFrames(1));
  rig.link.CloseLink(true);
}

}  // namespace

#include "link/serial_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "link/commands.h"
#include "support/instant_unit.h"
#include "support/memory_serial_port.h"
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

class RecordingErrors final : public ErrorReporter {
 public:
  void ShowError(uint16_t code) override {
    if (count < 8) codes[count] = code;
    ++count;
  }
  uint16_t codes[8] = {};
  int count = 0;
};

// The window side of an exchange: decodes on every "received" notice and
// keeps what the queue delivers.
class Responses final : public ResponseSink {
 public:
  void FrameQueued() override { ++queued; }
  void DrainResponses() override {
    ++drains;
    Drain();
  }
  void Drain() {
    ResponseRecord r;
    while (TakeResponse(channel.queue, r)) {
      if (taken < 64) records[taken] = r;
      ++taken;
    }
  }
  ResponseChannel channel{};
  ResponseRecord records[64] = {};
  int taken = 0;
  int queued = 0;
  int drains = 0;
};

// A link on an in-memory port with an instant unit. The notifier is declared
// before the link so that it outlives it.
struct LinkRig {
  explicit LinkRig(uint32_t stopWaitMs = kWorkerStopMs) : link{port, errors, stopWaitMs} {}

  void SendQuery() { ASSERT_TRUE(link.QueueTransmit(kStatusQuery, sizeof kStatusQuery)); }
  // Serves notices until `frames` frames were decoded in all.
  bool AwaitFrames(int frames, uint32_t ms = 3000) {
    return notifier.ServeUntil([&] { return responses.queued >= frames; }, ms);
  }
  void ServeFor(uint32_t ms) { notifier.ServeUntil([] { return false; }, ms); }
  bool FirstRecordIsTheReply() {
    responses.Drain();
    return responses.taken >= 1 && responses.records[0].kind == StatusReply &&
           std::memcmp(responses.records[0].frame, kTestStatusReply, sizeof kTestStatusReply) == 0;
  }

  InstantUnit unit;
  MemorySerialPort port{unit};
  RecordingErrors errors;
  Responses responses;
  bool decode = true;  // false: notices are only counted
  SyncNotifier notifier{[this](LinkNotice notice) {
    if (decode && notice == LinkNotice::kReceived) DecodeReceivedBytes(link, responses.channel, responses);
  }};
  SerialLink link;
};

class SerialLinkTest : public ::testing::Test, protected LinkRig {};

void Fill(uint8_t* bytes, uint32_t n, uint8_t first) {
  for (uint32_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(first + i);
}

TEST_F(SerialLinkTest, TransmitRingTakesWholeBlocksOrNothing) {
  static uint8_t block[kRingBytes + 1];
  static uint8_t out[kRingBytes];
  Fill(block, sizeof block, 0);
  EXPECT_FALSE(link.QueueTransmit(block, kRingBytes + 1));
  EXPECT_EQ(link.TakeTransmit(out), 0u);
  EXPECT_TRUE(link.QueueTransmit(block, kRingBytes));
  EXPECT_EQ(link.TakeTransmit(out), kRingBytes);

  ASSERT_TRUE(link.QueueTransmit(block, 3000));
  EXPECT_FALSE(link.QueueTransmit(block, 73));
  EXPECT_TRUE(link.QueueTransmit(block + 100, 72));
  EXPECT_FALSE(link.QueueTransmit(block, 1));
  ASSERT_EQ(link.TakeTransmit(out), kRingBytes);
  EXPECT_EQ(std::memcmp(out, block, 3000), 0);
  EXPECT_EQ(std::memcmp(out + 3000, block + 100, 72), 0) << "nothing of the refused block went in";
}

TEST_F(SerialLinkTest, BothRingsKeepOrderAcrossTheWrap) {
  static uint8_t block[3000];
  static uint8_t out[kRingBytes];
  Fill(block, sizeof block, 7);
  // Move both rings' positions to 3000, then write 200 bytes over the end.
  ASSERT_TRUE(link.QueueTransmit(block, 3000));
  ASSERT_EQ(link.TakeTransmit(out), 3000u);
  ASSERT_TRUE(link.QueueTransmit(block, 200));
  ASSERT_EQ(link.TakeTransmit(out), 200u);
  EXPECT_EQ(std::memcmp(out, block, 200), 0);

  link.PutReceived(block, 3000);
  uint8_t b = 0;
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(link.TakeReceivedByte(b));
  link.PutReceived(block, 200);
  EXPECT_EQ(link.ReceivedCount(), 200u);
  for (uint32_t i = 0; i < 200; ++i) {
    ASSERT_TRUE(link.TakeReceivedByte(b));
    ASSERT_EQ(b, block[i]) << "byte " << i;
  }
  b = 0x5A;
  EXPECT_FALSE(link.TakeReceivedByte(b));
  EXPECT_EQ(b, 0x5A);
  EXPECT_EQ(link.ReceivedCount(), 0u);
}

TEST_F(SerialLinkTest, FullReceiveRingKeepsTheHeadOfABlockAndStillNotifies) {
  static uint8_t held[3000];
  static uint8_t arriving[100];
  Fill(held, sizeof held, 0);
  Fill(arriving, sizeof arriving, 0x80);
  decode = false;
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  // This thread is the notifier's window: the notices are handled at once.
  link.PutReceived(held, 3000);
  link.PutReceived(arriving, 100);
  EXPECT_EQ(notifier.received, 2);
  ASSERT_EQ(link.ReceivedCount(), kRingBytes);
  uint8_t b = 0;
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(link.TakeReceivedByte(b));
  for (uint32_t i = 0; i < 72; ++i) {
    ASSERT_TRUE(link.TakeReceivedByte(b));
    ASSERT_EQ(b, arriving[i]);
  }
  EXPECT_FALSE(link.TakeReceivedByte(b)) << "the last 28 bytes are dropped";
  EXPECT_EQ(link.Damage(), 1u) << "and their loss counted";
  link.CloseLink(true);
}

TEST_F(SerialLinkTest, FailedOpenReports1025AndLeavesNothingBehind) {
  port.faults.failOpen = true;
  EXPECT_FALSE(link.OpenLink(notifier, kDefaultPortSettings));
  ASSERT_EQ(errors.count, 1);
  EXPECT_EQ(errors.codes[0], kErrorPortOpen);
  EXPECT_FALSE(link.IsOpen());
  EXPECT_FALSE(port.IsPortOpen());
  EXPECT_FALSE(unit.dtr);
  EXPECT_FALSE(link.IsUnitReady());
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(port.Polls(), 0) << "no worker was started";
  link.CloseLink(true);  // the caller's flag says closed; a stray close is harmless
  EXPECT_EQ(port.RestoredCloses(), 0);

  port.faults.failOpen = false;
  const PortSettings settings{12, 7, 2, 2, 9600};
  ASSERT_TRUE(link.OpenLink(notifier, settings));
  EXPECT_TRUE(unit.dtr) << "the link raises DTR";
  const PortSettings used = port.Settings();
  EXPECT_EQ(used.Port, 12);
  EXPECT_EQ(used.DataL, 7);
  EXPECT_EQ(used.StopB, 2);
  EXPECT_EQ(used.Parity, 2);
  EXPECT_EQ(used.Speed, 9600u);
  EXPECT_FALSE(link.OpenLink(notifier, settings)) << "never two links on one port";
  EXPECT_EQ(errors.count, 2);
  link.CloseLink(true);
  EXPECT_FALSE(port.IsPortOpen());
  EXPECT_FALSE(unit.dtr) << "a restoring close drops DTR";
}

TEST_F(SerialLinkTest, CloseEmptiesTheRingsAndAReopenStartsEmpty) {
  static uint8_t block[kRingBytes];
  Fill(block, sizeof block, 1);
  // Writes that never finish keep the second block in the transmit ring.
  port.faults.holdPending = true;
  decode = false;
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  SendQuery();
  ASSERT_TRUE(notifier.ServeUntil([&] { return port.InWaitPending() == 1; }, 2000));
  ASSERT_TRUE(link.QueueTransmit(block, 2000));
  link.PutReceived(block, 1000);
  EXPECT_EQ(link.ReceivedCount(), 1000u);
  link.CloseLink(true);
  EXPECT_EQ(link.ReceivedCount(), 0u);
  uint8_t out[kRingBytes];
  EXPECT_EQ(link.TakeTransmit(out), 0u);
  EXPECT_EQ(unit.hostByteCount, 0u);

  port.faults.holdPending = false;
  ASSERT_TRUE(link.QueueTransmit(block, 1000));
  link.PutReceived(block, 1000);
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  EXPECT_EQ(link.ReceivedCount(), 0u);
  ServeFor(100);
  EXPECT_EQ(unit.hostByteCount, 0u) << "bytes queued before the open are not sent";
  EXPECT_TRUE(link.QueueTransmit(block, kRingBytes));
  link.CloseLink(false);
  EXPECT_EQ(port.UnrestoredCloses(), 1);
  EXPECT_TRUE(port.IsPortOpen()) << "an unrestored close leaves the port as the link set it";
  EXPECT_TRUE(unit.dtr);
}

TEST_F(SerialLinkTest, StatusQueriesGoThroughTheWorkersWithoutAllocating) {
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
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
  EXPECT_TRUE(FirstRecordIsTheReply());
  EXPECT_EQ(responses.taken, 3);
  EXPECT_EQ(unit.hostByteCount, 3 * sizeof kStatusQuery);
  EXPECT_TRUE(notifier.ServeUntil([&] { return notifier.sent >= 3; }, 1000)) << "every whole write is reported sent";
  link.CloseLink(true);
  EXPECT_EQ(errors.count, 0);
}

TEST_F(SerialLinkTest, PendingTransfersCompleteLikeImmediateOnes) {
  port.faults.pendingTransfers = true;
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  SendQuery();
  ASSERT_TRUE(AwaitFrames(1));
  EXPECT_TRUE(FirstRecordIsTheReply());
  link.CloseLink(true);
}

// Each fault loses at most the one exchange it hits, is reported as a
// "received" notice, and the workers go on with the next.
TEST_F(SerialLinkTest, TransferFaultsAreNoticedAndTheWorkersCarryOn) {
  struct Case {
    const char* name;
    std::atomic<int> MemoryPortFaults::*fault;
    bool losesAnswer;
    uint32_t bytesAtUnit;  // after both queries
    int purges;            // only a read refused at once leaves the driver's queue in doubt
  };
  const Case cases[] = {
      {"failed write", &MemoryPortFaults::failWrites, true, 6, 0},
      {"short write", &MemoryPortFaults::shortWrites, true, 11, 0},
      {"failed read", &MemoryPortFaults::failReads, true, 12, 1},
      {"short read", &MemoryPortFaults::shortReads, true, 12, 0},
      {"failed poll", &MemoryPortFaults::failPolls, false, 12, 0},
      {"line error", &MemoryPortFaults::lineErrors, false, 12, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LinkRig rig;
    ASSERT_TRUE(rig.link.OpenLink(rig.notifier, kDefaultPortSettings));
    std::atomic<int>& fault = rig.port.faults.*c.fault;
    fault = 1;
    rig.SendQuery();
    EXPECT_TRUE(rig.notifier.ServeUntil([&] { return fault == 0 && rig.notifier.received >= 1; }, 2000));
    rig.AwaitFrames(1, 150);
    EXPECT_EQ(rig.responses.queued, c.losesAnswer ? 0 : 1);

    rig.SendQuery();
    EXPECT_TRUE(rig.AwaitFrames(c.losesAnswer ? 1 : 2, 2000));
    EXPECT_TRUE(rig.FirstRecordIsTheReply());
    EXPECT_EQ(rig.unit.hostByteCount, c.bytesAtUnit) << "a failed or short write is not retried";
    EXPECT_EQ(rig.port.Purges(), c.purges);
    EXPECT_EQ(rig.link.Damage(), 1u);
    rig.link.CloseLink(true);
    EXPECT_EQ(rig.errors.count, 0) << "transfer faults are not shown to the operator";
  }
}

TEST_F(SerialLinkTest, AnIdleReceiveWorkerPausesBetweenPolls) {
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  const auto start = Clock::now();
  ServeFor(200);
  const int64_t took = MsSince(start);
  link.CloseLink(true);
  EXPECT_LE(port.Polls(), took / kWorkerPauseMs + 2);
}

TEST_F(SerialLinkTest, WritesStallWithoutDsrAndIsUnitReadyFollowsIt) {
  unit.dsr = false;
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings)) << "a unit switched off is no open failure";
  EXPECT_FALSE(link.IsUnitReady());
  SendQuery();
  ASSERT_TRUE(notifier.ServeUntil([&] { return notifier.received >= 1; }, 2000));
  EXPECT_EQ(notifier.sent, 0);
  EXPECT_EQ(unit.hostByteCount, 0u);
  unit.dsr = true;
  EXPECT_TRUE(link.IsUnitReady());
  SendQuery();
  EXPECT_TRUE(AwaitFrames(1));
  link.CloseLink(true);
  EXPECT_FALSE(link.IsUnitReady());
}

TEST_F(SerialLinkTest, CloseServesWorkersBlockedInNotices) {
  decode = false;
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  SendQuery();
  // The window thread is busy elsewhere: the transmit worker waits in its
  // "sent", the receive worker in its "received" for the instant answer.
  ASSERT_TRUE(notifier.WaitForBlockedWorkers(2, 2000));
  const auto start = Clock::now();
  link.CloseLink(true);
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_EQ(notifier.received, 1) << "the pending notices were handled, not dropped";
  EXPECT_EQ(notifier.sent, 1);
  EXPECT_FALSE(port.IsPortOpen());
}

TEST_F(SerialLinkTest, CloseStopsAWorkerThatAlwaysFindsBytes) {
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  unit.chatter = true;
  ASSERT_TRUE(AwaitFrames(40)) << "bytes keep coming, so the worker never pauses";
  const auto start = Clock::now();
  link.CloseLink(true);
  EXPECT_LT(MsSince(start), 1000);
}

TEST_F(SerialLinkTest, CloseEndsWorkersWaitingOnTransfers) {
  port.faults.holdPending = true;
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  SendQuery();
  ASSERT_TRUE(unit.Send(kTestStatusReply, sizeof kTestStatusReply));
  ASSERT_TRUE(notifier.ServeUntil([&] { return port.InWaitPending() == 2; }, 2000));
  const auto start = Clock::now();
  link.CloseLink(true);
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_EQ(port.InWaitPending(), 0);
  EXPECT_EQ(notifier.Posted(), 0u) << "a stopped transfer is no error to report";
  EXPECT_FALSE(port.IsPortOpen());
}

// A port call that ignores the stop request: the close gives up waiting, but
// the worker keeps the port and the link until it has ended.
TEST(SerialLink, AWorkerThatOutlivesTheCloseKeepsThePortUntilItEnds) {
  LinkRig rig{100};
  rig.port.faults.holdPending = true;
  rig.port.faults.ignoreStop = true;
  ASSERT_TRUE(rig.link.OpenLink(rig.notifier, kDefaultPortSettings));
  ASSERT_TRUE(rig.unit.Send(kTestStatusReply, sizeof kTestStatusReply));
  ASSERT_TRUE(rig.notifier.ServeUntil([&] { return rig.port.InWaitPending() == 1; }, 2000));
  const auto start = Clock::now();
  rig.link.CloseLink(true);
  const int64_t took = MsSince(start);
  EXPECT_GE(took, 100);
  EXPECT_LT(took, 1000);
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_TRUE(rig.port.IsPortOpen()) << "the worker may still be using it";
  EXPECT_FALSE(rig.link.OpenLink(rig.notifier, kDefaultPortSettings));
  ASSERT_EQ(rig.errors.count, 1);
  EXPECT_EQ(rig.errors.codes[0], kErrorPortOpen);

  // The port call returns (failing) and the worker, seeing its stop, ends.
  rig.port.faults.holdPending = false;
  rig.port.ReleaseStuck();
  bool reopened = false;
  for (int i = 0; i < 200 && !reopened; ++i) {
    reopened = rig.link.OpenLink(rig.notifier, kDefaultPortSettings);
    if (!reopened) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(reopened);
  EXPECT_EQ(rig.port.RestoredCloses(), 1) << "the port was closed as the first close asked";
  EXPECT_EQ(rig.notifier.Posted(), 0u) << "the late worker ended without a notice";
  rig.SendQuery();
  EXPECT_TRUE(rig.AwaitFrames(1));
  rig.link.CloseLink(true);
}

TEST_F(SerialLinkTest, DecodingDrainsAFullQueueBeforeItTakesMore) {
  // 40 answers in the ring at once: the 33rd must not overwrite the 1st.
  for (int i = 0; i < 40; ++i) link.PutReceived(kTestStatusReply, sizeof kTestStatusReply);
  DecodeReceivedBytes(link, responses.channel, responses);
  EXPECT_EQ(responses.queued, 40);
  EXPECT_EQ(responses.drains, 1);
  responses.Drain();
  EXPECT_EQ(responses.taken, 40);
  EXPECT_EQ(link.ReceivedCount(), 0u);
}

TEST_F(SerialLinkTest, CloseStillSendsWhatWasQueuedJustBefore) {
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  ServeFor(30);  // the transmit worker is in its pause now
  ASSERT_TRUE(link.QueueTransmit(kProbeFinish, sizeof kProbeFinish));
  link.CloseLink(true);
  EXPECT_EQ(unit.hostByteCount, sizeof kProbeFinish) << "a finish queued as the program exits reaches the unit";
}

}  // namespace

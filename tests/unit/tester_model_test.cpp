#include "sim/tester_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "link/commands.h"
#include "link/frame_codec.h"
#include "support/pins.h"

namespace {



std::vector<unsigned> Members(const PinSet& set) {
  std::vector<unsigned> pins;
  for (unsigned p = 0; p < kPinCount; ++p)
    if (PinSetHas(set, p)) pins.push_back(p);
  return pins;
}


std::vector<uint8_t> FrameOf(const ResponseRecord& r) { return {r.frame, r.frame + r.frame[1] + 3}; }
uint8_t PinOf(const ResponseRecord& r) { return r.frame[4]; }
PinSet RowSetOf(const ResponseRecord& r) {
  PinSet set;
  std::memcpy(set.bytes, &r.frame[5], kPinSetBytes);
  return set;
}
PinSet ProbeSetOf(const ResponseRecord& r) {
  PinSet set;
  std::memcpy(set.bytes, &r.frame[4], kPinSetBytes);
  return set;
}

struct Received {
  uint64_t atMs;
  ResponseRecord record;
};

// The host's side of the line: commands go in as the program frames them, and
// the unit's bytes are decoded with the program's own decoder as they fall due.
struct Bench {
  TesterModel unit;
  ResponseChannel host{};
  uint64_t now = 0;
  std::vector<Received> got;
  std::vector<uint8_t> raw;
  std::vector<size_t> reads;  // size of every non-empty take

  template <size_t N>
  void Send(const uint8_t (&frame)[N]) {
    unit.HostBytes(frame, N, now);
  }
  void SendOneOnOne(uint8_t n) {
    uint8_t frame[kOneOnOneStartBytes];
    BuildOneOnOneStart(n, frame);
    Send(frame);
  }
  void SendTransfer(const Rows& cable) {
    uint8_t block[kMasterTransferMaxBytes];
    const int n = BuildMasterTransfer(cable.rows, block);
    unit.HostBytes(block, static_cast<size_t>(n), now);
  }

  void RunUntil(uint64_t untilMs) {
    for (int guard = 0;; ++guard) {
      ASSERT_LT(guard, 100000) << "the unit keeps announcing output it never delivers";
      const uint64_t due = unit.NextDueMs();
      if (due > untilMs) break;
      if (due > now) now = due;
      uint8_t buffer[256];
      const size_t n = unit.TakeUnitBytes(buffer, sizeof buffer, now);
      if (n > 0) reads.push_back(n);
      for (size_t i = 0; i < n; ++i) {
        raw.push_back(buffer[i]);
        if (!FeedByte(host, buffer[i])) continue;
        ResponseRecord record;
        while (TakeResponse(host.queue, record)) got.push_back({now, record});
      }
    }
    if (untilMs > now) now = untilMs;
  }
  void Settle() { RunUntil(now + 5000); }

  std::vector<int> Kinds() const {
    std::vector<int> kinds;
    for (const Received& r : got) kinds.push_back(r.record.kind);
    return kinds;
  }
  std::vector<int> RowPins() const {
    std::vector<int> pins;
    for (const Received& r : got)
      if (r.record.kind == OneOnOneRow || r.record.kind == MasterRow || r.record.kind == WorkRow)
        pins.push_back(PinOf(r.record));
    return pins;
  }
  void Forget() {
    got.clear();
    raw.clear();
    reads.clear();
  }
};

class TesterModelTest : public ::testing::Test, public Bench {};

TEST_F(TesterModelTest, StatusReplyCarriesTheVersionAtOnce) {
  Send(kStatusQuery);
  Settle();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].atMs, 0u);
  EXPECT_EQ(got[0].record.kind, StatusReply);
  const std::vector<uint8_t> reply = {0x02, 0x08, 'S', 'T', 0x00, '1', '0', '0', '0', 0x03, 0x73};
  EXPECT_EQ(raw, reply);
  char16_t text[6];
  StatusReplyVersion(got[0].record, text);
  EXPECT_EQ(std::u16string(text), u"1.000");

  unit.SetVersion("1234");
  Forget();
  Send(kStatusQuery);
  Settle();
  ASSERT_EQ(got.size(), 1u);
  StatusReplyVersion(got[0].record, text);
  EXPECT_EQ(std::u16string(text), u"1.234");
}

TEST_F(TesterModelTest, OneOnOneOnAStraightCableSendsOnlyTheEnd) {
  unit.PlugStraight(50);
  SendOneOnOne(50);
  Settle();
  EXPECT_EQ(raw, (std::vector<uint8_t>{0x02, 0x03, 'O', 'E', 0x03, 0x9A}));
  // Pins beyond the straight part count only when asked for.
  unit.PlugStraight(10);
  Forget();
  SendOneOnOne(10);
  Settle();
  EXPECT_EQ(Kinds(), std::vector<int>{OneOnOneEnd});
  Forget();
  SendOneOnOne(12);
  Settle();
  EXPECT_EQ(RowPins(), (std::vector<int>{11, 12}));
}

TEST_F(TesterModelTest, OneOnOneReportsEachMiswiredPinWithItsMeasuredSet) {
  Rows cable;
  cable.Straight(50)
      .Net({A(2), B(3)})
      .Net({A(3), B(2)})
      .Net({A(5)})
      .Net({B(5)})
      .Net({A(7), B(7), A(8), B(8)});
  unit.Plug(cable.rows);
  SendOneOnOne(50);
  Settle();
  EXPECT_EQ(Kinds(), (std::vector<int>{OneOnOneRow, OneOnOneRow, OneOnOneRow, OneOnOneRow, OneOnOneRow,
                                       OneOnOneEnd}));
  EXPECT_EQ(RowPins(), (std::vector<int>{2, 3, 5, 7, 8}));
  EXPECT_EQ(Members(RowSetOf(got[0].record)), Members(Pins({A(2), B(3)})));
  EXPECT_EQ(Members(RowSetOf(got[2].record)), Members(Pins({A(5)})));
  EXPECT_EQ(Members(RowSetOf(got[4].record)), Members(Pins({A(7), B(7), A(8), B(8)})));
  EXPECT_EQ(got[0].record.frame[1], 0x11);

  Forget();
  SendOneOnOne(4);
  Settle();
  EXPECT_EQ(RowPins(), (std::vector<int>{2, 3}));

  // A count beyond CN-A stops at its last pin.
  unit.PlugNothing();
  Forget();
  SendOneOnOne(200);
  Settle();
  ASSERT_EQ(RowPins().size(), 50u);
  EXPECT_EQ(RowPins().back(), 50);
  EXPECT_EQ(Members(RowSetOf(got[49].record)), Members(Pins({A(50)})));
}

TEST_F(TesterModelTest, MasterReadSendsEveryWiredPinInOrder) {
  Rows cable;
  cable.Net({A(1), B(1)}).Net({A(2), B(2), C(1)});
  unit.Plug(cable.rows);
  Send(kMasterRead);
  Settle();
  EXPECT_EQ(RowPins(), (std::vector<int>{1, 2, 51, 52, 101}));
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(got.back().record.kind, MasterEnd);
  EXPECT_EQ(Members(RowSetOf(got[1].record)), Members(Pins({A(2), B(2), C(1)})));
  EXPECT_EQ(Members(RowSetOf(got[4].record)), Members(Pins({A(2), B(2), C(1)})));

  unit.PlugNothing();
  Forget();
  Send(kMasterRead);
  Settle();
  EXPECT_EQ(Kinds(), std::vector<int>{MasterEnd});
}

TEST_F(TesterModelTest, TransferredWiringIsWhatTheWorkTestComparesWith) {
  Rows master;
  master.Net({A(1), B(1)}).Net({A(2), B(2), C(1)});
  unit.SetDtr(true);
  SendTransfer(master);
  Settle();
  EXPECT_TRUE(raw.empty());
  for (int k = 0; k < kPinCount; ++k) EXPECT_EQ(Members(unit.ExpectedWiring()[k].bits), Members(master.rows[k].bits)) << k;

  // The link is closed and opened again before the work test.
  unit.SetDtr(false);
  unit.SetDtr(true);
  unit.Plug(master.rows);
  Send(kWorkTest);
  Settle();
  EXPECT_EQ(raw, (std::vector<uint8_t>{0x02, 0x03, 'W', 'E', 0x03, 0xA2}));

  Rows work = master;
  work.Net({A(1)}).Net({B(1)}).Net({A(3), B(3)});
  unit.Plug(work.rows);
  Forget();
  Send(kWorkTest);
  Settle();
  EXPECT_EQ(RowPins(), (std::vector<int>{1, 3, 51, 53}));
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(Members(RowSetOf(got[0].record)), Members(Pins({A(1)})));
  EXPECT_EQ(Members(RowSetOf(got[1].record)), Members(Pins({A(3), B(3)})));
  EXPECT_EQ(got.back().record.kind, WorkEnd);

  // A pin without a row in the next transfer is expected alone again.
  Rows smaller;
  smaller.Net({A(1), B(1)});
  SendTransfer(smaller);
  EXPECT_EQ(Members(unit.ExpectedWiring()[A(2)].bits), Members(Pins({A(2)})));
  EXPECT_EQ(Members(unit.ExpectedWiring()[C(1)].bits), Members(Pins({C(1)})));
  EXPECT_EQ(Members(unit.ExpectedWiring()[B(1)].bits), Members(Pins({A(1), B(1)})));
}

TEST_F(TesterModelTest, AMasterReadBackAndTransferredMatchesItsCable) {
  Rows cable;
  cable.Net({A(4), B(9), C(4)}).Net({A(20), A(21)});
  PinSetClear(cable.rows[A(10)].bits);  // a pin that does not even see itself
  unit.Plug(cable.rows);
  Send(kMasterRead);
  Settle();
  // What the program stores: identity rows, overwritten by the rows received.
  Rows stored;
  for (const Received& r : got)
    if (r.record.kind == MasterRow) stored.rows[PinOf(r.record) - 1].bits = RowSetOf(r.record);
  SendTransfer(stored);
  for (int k = 0; k < kPinCount; ++k) EXPECT_EQ(Members(unit.ExpectedWiring()[k].bits), Members(cable.rows[k].bits)) << k;
  Forget();
  Send(kWorkTest);
  Settle();
  EXPECT_EQ(Kinds(), std::vector<int>{WorkEnd});
}

TEST_F(TesterModelTest, ClosingTheLineAbandonsWhatIsHalfDone) {
  unit.SetDtr(true);
  Rows master;
  master.Net({A(1), B(1)});
  uint8_t block[kMasterTransferMaxBytes];
  const int n = BuildMasterTransfer(master.rows, block);
  unit.HostBytes(block, static_cast<size_t>(n) - sizeof kMasterTransferEnd, now);
  unit.SetDtr(false);
  unit.SetDtr(true);
  Send(kMasterTransferEnd);
  EXPECT_EQ(Members(unit.ExpectedWiring()[A(1)].bits), Members(Pins({A(1)})));

  // Half a command before the close does not swallow the next session's.
  unit.HostBytes(kStatusQuery, 3, now);
  unit.SetDtr(false);
  unit.SetDtr(true);
  Send(kWorkTest);
  Settle();
  EXPECT_EQ(Kinds(), std::vector<int>{WorkEnd});

  // Nor does an answer the host no longer reads wait for the next one.
  unit.Faults().firstFrameDelayMs = 100;
  Send(kStatusQuery);
  unit.SetDtr(false);
  EXPECT_EQ(unit.NextDueMs(), UINT64_MAX);
}

TEST_F(TesterModelTest, ProbeStreamFollowsTheScriptUntilFinish) {
  EXPECT_TRUE(unit.ProbeAt(120, Pins({A(1), B(1)})));
  EXPECT_TRUE(unit.ProbeAt(260, Pins({A(9)})));
  EXPECT_TRUE(unit.ProbeAt(260, Pins({C(4)})));  // the same moment again replaces it
  now = 100;
  Send(kProbeStart);
  RunUntil(330);
  Send(kProbeFinish);
  RunUntil(2000);

  const std::vector<uint64_t> times = {100, 150, 200, 250, 300};
  const std::vector<PinSet> sets = {Pins({}), Pins({A(1), B(1)}), Pins({A(1), B(1)}), Pins({A(1), B(1)}),
                                    Pins({C(4)})};
  ASSERT_EQ(got.size(), times.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].record.kind, ProbeState);
    EXPECT_EQ(got[i].record.frame[1], 0x10);
    EXPECT_EQ(got[i].atMs, times[i]);
    EXPECT_EQ(Members(ProbeSetOf(got[i].record)), Members(sets[i])) << i;
  }
  EXPECT_EQ(unit.NextDueMs(), UINT64_MAX);

  // Closing the line ends the stream as well.
  Send(kProbeStart);
  RunUntil(now + 60);
  unit.SetDtr(true);
  unit.SetDtr(false);
  EXPECT_EQ(unit.NextDueMs(), UINT64_MAX);
}

TEST_F(TesterModelTest, ProbeScriptIsBounded) {
  for (int i = 0; i < TesterModel::kProbeScriptSteps; ++i) EXPECT_TRUE(unit.ProbeAt(static_cast<uint64_t>(i), Pins({})));
  EXPECT_FALSE(unit.ProbeAt(1000, Pins({A(1)})));
  EXPECT_TRUE(unit.ProbeAt(5, Pins({A(2)})));
}

TEST_F(TesterModelTest, WithDsrOffTheUnitHearsAndSaysNothing) {
  unit.PlugNothing();
  unit.SetDsr(false);
  EXPECT_FALSE(unit.Dsr());
  Send(kStatusQuery);
  SendOneOnOne(3);
  Send(kProbeStart);
  Settle();
  EXPECT_TRUE(raw.empty());
  unit.SetDsr(true);
  Settle();
  EXPECT_TRUE(raw.empty());

  // Switching off drops what was still on its way.
  unit.Faults().firstFrameDelayMs = 100;
  Send(kStatusQuery);
  RunUntil(now + 50);
  unit.SetDsr(false);
  unit.SetDsr(true);
  Settle();
  EXPECT_TRUE(raw.empty());
}

TEST_F(TesterModelTest, NoAnswerStillKeepsATransfer) {
  unit.Faults().noAnswer = true;
  Send(kStatusQuery);
  SendOneOnOne(50);
  Send(kProbeStart);
  Send(kMasterRead);
  Send(kWorkTest);
  Rows master;
  master.Net({A(1), B(2)});
  SendTransfer(master);
  Settle();
  EXPECT_TRUE(raw.empty());
  EXPECT_EQ(Members(unit.ExpectedWiring()[B(2)].bits), Members(Pins({A(1), B(2)})));
}

TEST_F(TesterModelTest, LateFirstFrameHoldsTheWholeAnswer) {
  unit.PlugNothing();
  unit.Faults().firstFrameDelayMs = 400;
  SendOneOnOne(2);
  RunUntil(399);
  EXPECT_TRUE(got.empty());
  Settle();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].atMs, 400u);
  EXPECT_EQ(got[2].record.kind, OneOnOneEnd);
}

TEST_F(TesterModelTest, DsrDropsAfterTheGivenNumberOfFrames) {
  unit.PlugNothing();
  unit.Faults().dsrDropAfterFrames = 2;
  unit.Faults().firstFrameDelayMs = 10;
  SendOneOnOne(3);
  EXPECT_TRUE(unit.Dsr());  // not before the frames are out
  Settle();
  EXPECT_EQ(RowPins(), (std::vector<int>{1, 2}));
  EXPECT_EQ(Kinds().size(), 2u);
  EXPECT_FALSE(unit.Dsr());
  EXPECT_EQ(unit.NextDueMs(), UINT64_MAX);

  // Back on, the count starts again.
  unit.SetDsr(true);
  Forget();
  Send(kStatusQuery);
  Settle();
  EXPECT_EQ(Kinds(), std::vector<int>{StatusReply});
  EXPECT_TRUE(unit.Dsr());

  unit.Faults().dsrDropAfterFrames = 0;
  unit.SetDsr(false);
  unit.SetDsr(true);
  Forget();
  Send(kStatusQuery);
  Settle();
  EXPECT_TRUE(raw.empty());
  EXPECT_FALSE(unit.Dsr());
}

struct RecoverableFault {
  const char* name;
  void (*apply)(UnitFaults&);
};

// Line noise the decoder rides out: the host must see exactly the records of
// a clean line, though more bytes travelled.
TEST_F(TesterModelTest, RecoverableFaultsDecodeToTheSameRecords) {
  const RecoverableFault faults[] = {
      {"garbage", [](UnitFaults& f) { f.garbageBetweenFrames = true; }},
      {"split", [](UnitFaults& f) { f.splitChunk = 7;
         f.chunkGapMs = 3; }},
      {"split without gaps", [](UnitFaults& f) { f.splitChunk = 5; }},
      {"bad checksum", [](UnitFaults& f) { f.badChecksum = true; }},
      {"bad ETX", [](UnitFaults& f) { f.badEtx = true; }},
      {"all at once",
       [](UnitFaults& f) {
         f.garbageBetweenFrames = f.badChecksum = f.badEtx = true;
         f.splitChunk = 3;
         f.chunkGapMs = 1;
       }},
  };
  Rows cable;
  cable.Net({A(2), B(3), C(2)}).Net({A(5), B(5)});
  const auto exchange = [&](Bench& t) {
    t.unit.Plug(cable.rows);
    t.unit.ProbeAt(0, Pins({A(2), B(3), C(2)}));
    t.Send(kStatusQuery);
    t.Settle();
    t.SendOneOnOne(6);
    t.Settle();
    t.Send(kMasterRead);
    t.Settle();
    t.Send(kProbeStart);
    t.RunUntil(t.now + 120);
    t.Send(kProbeFinish);
    t.Settle();
  };
  exchange(*this);
  std::vector<std::vector<uint8_t>> clean;
  for (const Received& r : got) clean.push_back(FrameOf(r.record));
  ASSERT_EQ(clean.size(), 1 + 6 + 6 + 3u);  // status, 1 on 1, master read, probe
  const size_t cleanBytes = raw.size();
  const size_t cleanReads = reads.size();

  for (const RecoverableFault& fault : faults) {
    SCOPED_TRACE(fault.name);
    Bench faulty;
    fault.apply(faulty.unit.Faults());
    exchange(faulty);
    std::vector<std::vector<uint8_t>> seen;
    for (const Received& r : faulty.got) seen.push_back(FrameOf(r.record));
    EXPECT_EQ(seen, clean);
    // And the fault did happen.
    const UnitFaults& f = faulty.unit.Faults();
    if (f.garbageBetweenFrames || f.badChecksum || f.badEtx) {
      EXPECT_GT(faulty.raw.size(), cleanBytes);
    }
    if (f.splitChunk != 0) {
      EXPECT_GT(faulty.reads.size(), cleanReads);
      for (size_t n : faulty.reads) EXPECT_LE(n, f.splitChunk);
    }
  }
}

TEST_F(TesterModelTest, SplitChunksComeApart) {
  unit.Faults().splitChunk = 4;
  unit.Faults().chunkGapMs = 10;
  Send(kStatusQuery);
  Settle();
  EXPECT_EQ(reads, (std::vector<size_t>{4, 4, 3}));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].atMs, 20u);  // the frame completes with its last chunk
}

TEST_F(TesterModelTest, UnknownLettersPrecedeEachAnswer) {
  unit.PlugStraight(50);
  unit.Faults().unknownLetters = true;
  Send(kStatusQuery);
  Settle();
  SendOneOnOne(50);
  Settle();
  EXPECT_EQ(Kinds(), (std::vector<int>{UnknownResponse, StatusReply, UnknownResponse, OneOnOneEnd}));
  EXPECT_NE(got[0].record.frame[2], 'S');
}

TEST_F(TesterModelTest, OutOfRangePinRowsComeBeforeTheEnd) {
  unit.PlugStraight(50);
  unit.Faults().pinOutOfRange = true;
  SendOneOnOne(50);
  Settle();
  Send(kMasterRead);
  Settle();
  unit.PlugNothing();
  Send(kWorkTest);
  Settle();
  // 1 on 1: the stray row and the end; master read: 100 rows, the stray row,
  // the end; work test: the stray row and the end.
  ASSERT_EQ(got.size(), 2u + 102u + 2u);
  EXPECT_EQ(got[0].record.kind, OneOnOneRow);
  EXPECT_EQ(PinOf(got[0].record), TesterModel::kOutOfRangePin);
  EXPECT_EQ(got[1].record.kind, OneOnOneEnd);
  EXPECT_EQ(PinOf(got[101].record), 100);
  EXPECT_EQ(PinOf(got[102].record), TesterModel::kOutOfRangePin);
  EXPECT_EQ(got[103].record.kind, MasterEnd);
  EXPECT_EQ(got[104].record.kind, WorkRow);
  EXPECT_EQ(PinOf(got[104].record), TesterModel::kOutOfRangePin);
  EXPECT_EQ(got[105].record.kind, WorkEnd);
}

TEST_F(TesterModelTest, BurstsArriveInOneRead) {
  unit.PlugStraight(50);
  unit.Faults().burstFrames = 40;
  SendOneOnOne(50);
  uint8_t buffer[2048];
  const size_t n = unit.TakeUnitBytes(buffer, sizeof buffer, now);
  EXPECT_EQ(n, 40u * 20u + 6u);
  int frames = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!FeedByte(host, buffer[i])) continue;
    ResponseRecord record;
    while (TakeResponse(host.queue, record)) ++frames;
  }
  EXPECT_EQ(frames, 41);

  unit.PlugNothing();
  Send(kWorkTest);
  Settle();
  EXPECT_EQ(RowPins().size(), 40u);
  EXPECT_EQ(got.back().record.kind, WorkEnd);
}

TEST_F(TesterModelTest, OverfullScheduleLosesWholeFramesOnly) {
  unit.Faults().burstFrames = 1000;
  unit.PlugStraight(50);
  SendOneOnOne(50);
  Settle();
  EXPECT_GT(unit.LostFrames(), 0u);
  EXPECT_EQ(got.size() + unit.LostFrames(), 1001u);
  size_t rows = 0;
  for (const Received& r : got) rows += r.record.kind == OneOnOneRow ? 1 : 0;
  EXPECT_EQ(raw.size(), rows * 20 + (got.back().record.kind == OneOnOneEnd ? 6 : 0));
  EXPECT_EQ(rows + (got.back().record.kind == OneOnOneEnd ? 1 : 0), got.size());
}

struct Recorder : TesterModel::FrameLog {
  std::vector<std::vector<uint8_t>> host, unit;
  void HostFrame(const uint8_t* frame, size_t n) override { host.emplace_back(frame, frame + n); }
  void UnitFrame(const uint8_t* frame, size_t n) override { unit.emplace_back(frame, frame + n); }
};

TEST_F(TesterModelTest, FrameLogSeesCleanFramesBothWays) {
  Recorder log;
  unit.SetFrameLog(&log);
  unit.Faults().garbageBetweenFrames = true;
  unit.Faults().badChecksum = true;
  Send(kStatusQuery);
  Rows master;
  master.Net({A(1), B(1)});
  SendTransfer(master);
  Settle();
  ASSERT_EQ(log.host.size(), 5u);
  EXPECT_EQ(log.host[0], std::vector<uint8_t>(std::begin(kStatusQuery), std::end(kStatusQuery)));
  EXPECT_EQ(log.host[2].size(), 20u);
  EXPECT_EQ(log.host[2][4], 1);
  ASSERT_EQ(log.unit.size(), 1u);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(log.unit[0], FrameOf(got[0].record));
  unit.SetFrameLog(nullptr);
}

}  // namespace

#include "sim/tester_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "support/model_host.h"
#include "support/model_unit.h"

namespace {

class TesterModelTest : public ::testing::Test, public ModelHost {
 protected:
  std::vector<FrameBytes> OneOnOne(uint8_t n) {
    Forget();
    SendOneOnOne(n);
    Settle();
    return Frames();
  }
};

TEST_F(TesterModelTest, StatusReplyCarriesTheVersionAtOnce) {
  Send(kStatusQuery);
  Settle();
  EXPECT_EQ(raw, StatusFrame("1000"));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].atMs, 0u);
}

TEST_F(TesterModelTest, OneOnOneReportsEachMiswiredPinUpToTheCount) {
  unit.PlugStraight(50);
  SendOneOnOne(50);
  Settle();
  EXPECT_EQ(raw, EndFrame('O'));

  Rows cable;
  cable.Straight(50).Net({A(2), B(3)}).Net({A(3), B(2)}).Net({A(5)}).Net({B(5)}).Net({A(7), B(7), A(8), B(8)});
  unit.Plug(cable.rows);
  EXPECT_EQ(OneOnOne(50), Answer('O', cable, {A(2), A(3), A(5), A(7), A(8)}));
  EXPECT_EQ(OneOnOne(4), Answer('O', cable, {A(2), A(3)}));

  // A count beyond CN-A stops at its last pin.
  unit.PlugNothing();
  const std::vector<FrameBytes> all = OneOnOne(200);
  ASSERT_EQ(all.size(), 51u);
  EXPECT_EQ(all[49], RowFrame('O', A(50), Pins({A(50)})));
}

TEST_F(TesterModelTest, AMasterReadBackAndTransferredMatchesItsCable) {
  Rows cable;
  cable.Net({A(4), B(9), C(4)}).Net({A(20), A(21)});
  PinSetClear(cable.rows[A(10)].bits);  // a pin that does not even see itself
  unit.Plug(cable.rows);
  EXPECT_EQ(Exchange(kMasterRead), Answer('R', cable, {A(4), A(10), A(20), A(21), B(9), C(4)}));
  // What the program stores: identity rows, overwritten by the rows received.
  Rows stored;
  for (const Received& r : got)
    if (r.record.kind == MasterRow) std::memcpy(stored.rows[r.record.frame[4] - 1].bits.bytes, &r.record.frame[5], kPinSetBytes);
  SendTransfer(stored);
  EXPECT_EQ(Rows(unit.ExpectedWiring()), cable);
  EXPECT_EQ(Exchange(kWorkTest), Answer('W', cable, {}));

  unit.PlugNothing();
  EXPECT_EQ(Exchange(kMasterRead), Answer('R', cable, {}));
}

TEST_F(TesterModelTest, TheWorkTestReportsEveryRowThatDiffersFromTheTransferredWiring) {
  Rows master;
  master.Net({A(1), B(1)}).Net({A(2), B(2), C(1)});
  unit.SetDtr(true);
  SendTransfer(master);
  Settle();
  EXPECT_TRUE(raw.empty()) << "a transfer draws no answer";
  EXPECT_EQ(Rows(unit.ExpectedWiring()), master);

  // The link is closed and opened again before the work test.
  unit.SetDtr(false);
  unit.SetDtr(true);
  unit.Plug(master.rows);
  EXPECT_EQ(Exchange(kWorkTest), Answer('W', master, {}));
  Rows work = master;
  work.Net({A(1)}).Net({B(1)}).Net({A(3), B(3)});
  unit.Plug(work.rows);
  EXPECT_EQ(Exchange(kWorkTest), Answer('W', work, {A(1), A(3), B(1), B(3)}));

  // A pin without a row in the next transfer is expected alone again.
  Rows smaller;
  smaller.Net({A(1), B(1)});
  SendTransfer(smaller);
  EXPECT_EQ(Rows(unit.ExpectedWiring()), smaller);
}

TEST_F(TesterModelTest, ClosingTheLineAbandonsWhatIsHalfDone) {
  unit.SetDtr(true);
  Rows master;
  master.Net({A(1), B(1)});
  uint8_t block[kMasterTransferMaxBytes];
  const int n = BuildMasterTransfer(master.rows, block);
  Send(block, static_cast<size_t>(n) - sizeof kMasterTransferEnd);
  unit.SetDtr(false);
  unit.SetDtr(true);
  Send(kMasterTransferEnd);
  EXPECT_EQ(Rows(unit.ExpectedWiring()), Rows());

  // Half a command before the close does not swallow the next session's.
  Send(kStatusQuery, 3);
  unit.SetDtr(false);
  unit.SetDtr(true);
  EXPECT_EQ(Exchange(kWorkTest), Answer('W', master, {}));

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

  const FrameBytes a1b1 = ProbeFrame(Pins({A(1), B(1)}));
  EXPECT_EQ(Frames(), (std::vector<FrameBytes>{ProbeFrame({}), a1b1, a1b1, a1b1, ProbeFrame(Pins({C(4)}))}));
  const uint64_t times[] = {100, 150, 200, 250, 300};
  for (size_t i = 0; i < got.size() && i < std::size(times); ++i) EXPECT_EQ(got[i].atMs, times[i]) << i;
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
  unit.SetDsr(false);
  Send(kStatusQuery);
  SendOneOnOne(3);
  Send(kProbeStart);
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
  EXPECT_EQ(Rows(unit.ExpectedWiring()), master);
}

TEST_F(TesterModelTest, LateFirstFrameHoldsTheWholeAnswer) {
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
  unit.Faults().dsrDropAfterFrames = 2;
  unit.Faults().firstFrameDelayMs = 10;
  SendOneOnOne(3);
  EXPECT_TRUE(unit.Dsr());  // not before the frames are out
  Settle();
  EXPECT_EQ(Kinds(), (std::vector<int>{OneOnOneRow, OneOnOneRow}));
  EXPECT_FALSE(unit.Dsr());
  EXPECT_EQ(unit.NextDueMs(), UINT64_MAX);

  // Back on, the count starts again.
  unit.SetDsr(true);
  EXPECT_EQ(Exchange(kStatusQuery).size(), 1u);
  EXPECT_TRUE(unit.Dsr());

  unit.Faults().dsrDropAfterFrames = 0;
  unit.SetDsr(false);
  unit.SetDsr(true);
  EXPECT_TRUE(Exchange(kStatusQuery).empty());
  EXPECT_FALSE(unit.Dsr());
}

struct RecoverableFault {
  const char* name;
  void (*apply)(UnitFaults&);
};

// Line noise the decoder rides out: the host must see exactly the records of
// a clean line, though more bytes travelled. (A damaged frame is not noise: the
// host drops it, see DamageFaultsPutExactlyTheirBytesOnTheLine.)
TEST_F(TesterModelTest, RecoverableFaultsDecodeToTheSameRecords) {
  const RecoverableFault faults[] = {
      {"garbage", [](UnitFaults& f) { f.garbageBetweenFrames = true; }},
      {"split",
       [](UnitFaults& f) {
         f.splitChunk = 7;
         f.chunkGapMs = 3;
       }},
      {"split without gaps", [](UnitFaults& f) { f.splitChunk = 5; }},
      {"all at once",
       [](UnitFaults& f) {
         f.garbageBetweenFrames = true;
         f.splitChunk = 3;
         f.chunkGapMs = 1;
       }},
  };
  Rows cable;
  cable.Net({A(2), B(3), C(2)}).Net({A(5), B(5)});
  const auto exchange = [&](ModelHost& t) {
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
  const std::vector<FrameBytes> clean = Frames();
  ASSERT_EQ(clean.size(), 1 + 6 + 6 + 3u);  // status, 1 on 1, master read, probe

  for (const RecoverableFault& fault : faults) {
    SCOPED_TRACE(fault.name);
    ModelHost faulty;
    fault.apply(faulty.unit.Faults());
    exchange(faulty);
    EXPECT_EQ(faulty.Frames(), clean);
    // And the fault did happen.
    const UnitFaults& f = faulty.unit.Faults();
    if (f.garbageBetweenFrames) {
      EXPECT_GT(faulty.raw.size(), raw.size());
    }
    if (f.splitChunk != 0) {
      EXPECT_GT(faulty.reads.size(), reads.size());
      for (size_t n : faulty.reads) EXPECT_LE(n, f.splitChunk);
    }
  }
}

// `f` with `drop` bytes at `at` replaced by `add`, made at its full size (see
// Framed).
FrameBytes Spliced(const FrameBytes& f, size_t at, size_t drop, std::initializer_list<uint8_t> add) {
  FrameBytes out(f.size() - drop + add.size());
  std::copy(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(at), out.begin());
  std::copy(add.begin(), add.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
  std::copy(f.begin() + static_cast<std::ptrdiff_t>(at + drop), f.end(),
            out.begin() + static_cast<std::ptrdiff_t>(at + add.size()));
  return out;
}

FrameBytes Joined(std::initializer_list<FrameBytes> frames) {
  FrameBytes all;
  for (const FrameBytes& f : frames) all.insert(all.end(), f.begin(), f.end());
  return all;
}

TEST_F(TesterModelTest, DamageFaultsPutExactlyTheirBytesOnTheLine) {
  const FrameBytes row = RowFrame('O', A(1), Pins({A(1)}));
  const FrameBytes end = EndFrame('O');
  const FrameBytes garbage(std::begin(TesterModel::kGarbage), std::end(TesterModel::kGarbage));
  const auto badSum = [](const FrameBytes& f) { return Spliced(f, f.size() - 1, 0, {uint8_t(f.back() + 1)}); };
  const auto badEtx = [](const FrameBytes& f) { return Spliced(f, f.size() - 2, 0, {0xFF}); };
  struct Case {
    const char* name;
    void (*apply)(UnitFaults&);
    FrameBytes line;
  };
  const Case cases[] = {
      {"lost STX", [](UnitFaults& f) { f.lostStx = true; }, Joined({Spliced(row, 0, 1, {}), end})},
      {"lost byte", [](UnitFaults& f) { f.lostByte = true; }, Joined({Spliced(row, row.size() - 3, 1, {}), end})},
      {"lost end", [](UnitFaults& f) { f.lostEnd = true; }, row},
      {"bad checksum", [](UnitFaults& f) { f.badChecksum = true; }, Joined({badSum(row), badSum(end)})},
      {"bad ETX", [](UnitFaults& f) { f.badEtx = true; }, Joined({badEtx(row), badEtx(end)})},
      {"garbage", [](UnitFaults& f) { f.garbageBetweenFrames = true; }, Joined({garbage, row, garbage, end})},
      {"burst", [](UnitFaults& f) { f.burstFrames = 2; },
       Joined({row, row, RowFrame('O', A(2), Pins({A(2)})), end})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ModelHost faulty;
    c.apply(faulty.unit.Faults());
    faulty.SendOneOnOne(1);
    faulty.Settle();
    EXPECT_EQ(HexBytes(faulty.raw.data(), faulty.raw.size()), HexBytes(c.line.data(), c.line.size()));
  }
}

// One answer damaged, the others clean: a lost STX shows on the first byte,
// a burst in the rows counted.
TEST_F(TesterModelTest, FaultAnswerPicksTheAnswersTheFaultsHit) {
  const char answers[] = {'S', 'O', 'P', 'R', 'W'};
  for (const char pick : {'\0', 'S', 'O', 'P', 'R', 'W'}) {
    SCOPED_TRACE(pick == 0 ? '0' : pick);
    ModelHost faulty;
    faulty.unit.Faults().lostStx = true;
    faulty.unit.Faults().burstFrames = 2;
    faulty.unit.Faults().faultAnswer = pick;
    for (const char answer : answers) {
      faulty.Forget();
      if (answer == 'S') faulty.Send(kStatusQuery);
      if (answer == 'O') faulty.SendOneOnOne(1);  // a row and the end
      if (answer == 'P') {
        faulty.Send(kProbeStart);
        faulty.RunUntil(faulty.now + 60);  // two ProbeStates
        faulty.Send(kProbeFinish);
      }
      if (answer == 'R') faulty.Send(kMasterRead);
      if (answer == 'W') faulty.Send(kWorkTest);
      faulty.Settle();
      ASSERT_FALSE(faulty.raw.empty()) << answer;
      const bool hit = pick == 0 || pick == answer;
      EXPECT_EQ(faulty.raw[0] != kStx, hit) << answer;
      // Later frames of the answer keep their STX, a stream's included.
      const size_t frames = answer == 'O' || answer == 'P' ? 2 : 1;
      const size_t burst = hit && (answer == 'O' || answer == 'W') ? 2 : 0;
      EXPECT_EQ(faulty.got.size(), frames + burst - (hit ? 1 : 0)) << answer;
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
  const auto stray = [](char letter) { return RowFrame(letter, TesterModel::kOutOfRangePin - 1u, PinSet{}); };
  unit.PlugStraight(50);
  unit.Faults().pinOutOfRange = true;
  EXPECT_EQ(OneOnOne(50), (std::vector<FrameBytes>{stray('O'), EndFrame('O')}));
  const std::vector<FrameBytes> read = Exchange(kMasterRead);
  ASSERT_EQ(read.size(), 102u);  // the 100 straight pins, the stray row, the end
  EXPECT_EQ(read[100], stray('R'));
  unit.PlugNothing();
  EXPECT_EQ(Exchange(kWorkTest), (std::vector<FrameBytes>{stray('W'), EndFrame('W')}));
}

TEST_F(TesterModelTest, BurstsArriveInOneRead) {
  // More than the program's 3072-byte receive ring holds.
  unit.PlugStraight(50);
  unit.Faults().burstFrames = 200;
  SendOneOnOne(50);
  uint8_t buffer[8192];
  EXPECT_EQ(unit.TakeUnitBytes(buffer, sizeof buffer, now), 200u * 20u + 6u);
  unit.Faults().burstFrames = 40;

  unit.PlugNothing();
  const std::vector<FrameBytes> work = Exchange(kWorkTest);
  ASSERT_EQ(work.size(), 41u);
  EXPECT_EQ(work.back(), EndFrame('W'));
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

TEST_F(TesterModelTest, PacedOutputLeavesAtLineRate) {
  unit.PlugStraight(50);
  ModelHost unpaced;
  unpaced.unit.PlugStraight(50);
  unpaced.Send(kMasterRead);
  unpaced.Settle();
  ASSERT_EQ(unpaced.raw.size(), 100u * 20u + 6u);

  // 960 bytes a second; the last of the 2006 leaves at 2089.58 ms.
  unit.SetLineSpeed(9600);
  Send(kMasterRead);
  uint8_t buffer[4096];
  const auto take = [&](uint64_t t) {
    const uint64_t due = unit.NextDueMs();
    const size_t n = unit.TakeUnitBytes(buffer, sizeof buffer, t);
    if (n > 0) {
      EXPECT_LE(due, t) << "output came before it was announced";
    }
    raw.insert(raw.end(), buffer, buffer + n);
  };
  for (uint64_t t = 0; t < 2090; ++t) {
    take(t);
    ASSERT_LE(raw.size(), t * 960 / 1000 + 1) << t;
  }
  EXPECT_LT(raw.size(), unpaced.raw.size());
  take(2090);
  EXPECT_EQ(raw, unpaced.raw);

  // On an idle line the next answer starts when it is due, a byte at a time.
  raw.clear();
  now = 3000;
  Send(kStatusQuery);
  take(3001);
  EXPECT_TRUE(raw.empty());
  EXPECT_EQ(unit.NextDueMs(), 3002u);
  take(3011);
  EXPECT_EQ(raw.size(), 10u);
  take(3012);
  EXPECT_EQ(raw, StatusFrame("1000"));
}

TEST_F(TesterModelTest, BackToBackProbeStatesFillTheLine) {
  // 19 bytes at 38400 bit/s: 4.948 ms a frame, 202 whole ones in a second.
  unit.SetLineSpeed(38400);
  unit.SetProbePeriodMs(0);
  Send(kProbeStart);
  RunUntil(1000);
  EXPECT_EQ(got.size(), 202u);
  EXPECT_EQ(Kinds(), std::vector<int>(got.size(), ProbeState));
  EXPECT_LT(raw.size(), (got.size() + 1) * 19);
  EXPECT_EQ(unit.SentFrames(), got.size());

  // A long silence of the caller's clock skips ahead instead of piling up.
  uint8_t buffer[8192];
  const size_t n = unit.TakeUnitBytes(buffer, sizeof buffer, 60000);
  EXPECT_GT(n, 0u);
  EXPECT_LE(n, 25u * 19u);

  // Unpaced, a period of 0 means one a millisecond.
  ModelHost unpaced;
  unpaced.unit.SetProbePeriodMs(0);
  unpaced.Send(kProbeStart);
  unpaced.RunUntil(100);
  EXPECT_EQ(unpaced.got.size(), 101u);
}

TEST_F(TesterModelTest, FrameLogSeesCleanFramesBothWays) {
  HostFrameLog log;
  unit.SetFrameLog(&log);
  unit.Faults().garbageBetweenFrames = true;
  unit.Faults().badChecksum = true;
  Send(kStatusQuery);
  Rows master;
  master.Net({A(1), B(1)});
  SendTransfer(master);
  Settle();
  const std::vector<FrameBytes> sent = log.Host();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[0], FrameBytes(std::begin(kStatusQuery), std::end(kStatusQuery)));
  EXPECT_EQ(sent[2].size(), 20u);
  EXPECT_EQ(sent[2][4], 1);
  EXPECT_EQ(log.Unit(), std::vector<FrameBytes>{StatusFrame("1000")});
  unit.SetFrameLog(nullptr);
}

}  // namespace

#include "sim/tester_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "support/model_host.h"
#include "support/model_unit.h"

namespace {

// The simulated unit's own behaviour that the program's tests cannot see:
// exactly which bytes each damage puts on the line, which answers it hits,
// pacing, and what a closed line abandons. What each answer holds shows in
// the panel's tests, which judge it.
class TesterModelTest : public ::testing::Test, public ModelHost {};

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

struct RecoverableFault {
  const char* name;
  void (*apply)(UnitFaults&);
};

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

}  // namespace

// The simulated unit's own behaviour that the program's tests cannot see:
// what a closed line abandons; and unitsim's control commands. What each
// answer holds, and that each damage spoils it, shows in the panel's tests.
#include "sim/tester_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cabledata/posix_file_system.h"
#include "link/commands.h"
#include "sim/unit_control.h"
#include "support/unit_frames.h"

namespace {

// The host's side of the line on one thread and a clock of the test's own:
// commands go in as the program frames them, the unit's bytes are decoded
// with the program's own decoder as they fall due.
struct ModelHost {
  TesterModel unit;
  ResponseChannel host{};
  uint64_t now = 0;
  std::vector<FrameBytes> got;

  void Send(const uint8_t* bytes, size_t n) { unit.HostBytes(bytes, n, now); }
  template <size_t N>
  void Send(const uint8_t (&frame)[N]) {
    Send(frame, N);
  }
  void RunUntil(uint64_t untilMs) {
    for (uint64_t due; (due = unit.NextDueMs()) <= untilMs;) {
      now = std::max(now, due);
      uint8_t buffer[256];
      const size_t n = unit.TakeUnitBytes(buffer, sizeof buffer, now);
      ResponseRecord record;
      for (size_t i = 0; i < n; ++i) {
        if (FeedByte(host, buffer[i]) && TakeResponse(host.queue, record)) got.push_back(FrameOf(record));
      }
    }
    now = std::max(now, untilMs);
  }
  void Settle() { RunUntil(now + 5000); }
  // Sends, lets the answer come and returns its frames alone.
  template <size_t N>
  std::vector<FrameBytes> Exchange(const uint8_t (&frame)[N]) {
    got.clear();
    Send(frame);
    Settle();
    return got;
  }
};

class TesterModelTest : public ::testing::Test, public ModelHost {};

TEST_F(TesterModelTest, ClosingTheLineAbandonsWhatIsHalfDone) {
  unit.SetDtr(true);
  uint8_t block[kMasterTransferMaxBytes];
  const int n = BuildMasterTransfer(Rows().Net({A(1), B(1)}).rows, block);
  Send(block, static_cast<size_t>(n) - sizeof kMasterTransferEnd);
  unit.SetDtr(false);
  unit.SetDtr(true);
  Send(kMasterTransferEnd);
  EXPECT_EQ(Rows(unit.ExpectedWiring()), Rows());

  // Half a command before the close does not swallow the next session's.
  Send(kStatusQuery, 3);
  unit.SetDtr(false);
  unit.SetDtr(true);
  EXPECT_EQ(Exchange(kWorkTest), std::vector<FrameBytes>{EndFrame('W')});

  // Nor does an answer the host no longer reads wait for the next one.
  unit.Faults().firstFrameDelayMs = 100;
  Send(kStatusQuery);
  unit.SetDtr(false);
  EXPECT_EQ(unit.NextDueMs(), UINT64_MAX);
}

// --- unitsim's control commands ---

bool IsError(const std::string& reply) { return reply.rfind("error: ", 0) == 0; }

class UnitControlTest : public TesterModelTest {
 protected:
  UnitControlTest() {
    now = 1000;
    unit.SetFrameLog(&recorder);
  }
  std::string Run(const std::string& line) { return control.Execute(line, now); }
  // What the unit measures now, read back with a master read.
  Rows Measured() {
    Rows rows;
    for (const FrameBytes& f : Exchange(kMasterRead))
      if (f[3] == 'D') std::memcpy(rows.rows[f[4] - 1].bits.bytes, &f[5], kPinSetBytes);
    return rows;
  }

  FrameRecorder recorder;
  PosixFileSystem files;
  UnitControl control{unit, recorder, files};
};

// Every command line answers "ok", a value, or an error that leaves the unit
// as it was; what the unit holds reads back.
TEST_F(UnitControlTest, CommandsTakeOnlyTheirValues) {
  constexpr const char* kError = nullptr;
  const struct {
    const char* line;
    const char* reply;
  } cases[] = {
      {"version 4321", "ok\n"},       {"version 12345", kError},     {"version 12\t4", kError},
      {"dsr?", "ok on\n"},            {"dsr off", "ok\n"},           {"dsr?", "ok off\n"},
      {"dsr sideways", kError},       {"dsr on", "ok\n"},            {"dtr?", "ok off\n"},
      {"speed 9600", "ok\n"},         {"speed -1", kError},          {"speed 1000001", kError},
      {"speed", kError},              {"speed?", "ok 9600\n"},       {"probe period 0", "ok\n"},
      {"probe period -5", kError},    {"probe period 5 6", kError},  {"probe period?", "ok 0\n"},
      {"clear probe", "ok\n"},        {"probe period?", "ok 50\n"},  {"fault noAnswer maybe", kError},
      {"fault burstFrames -1", kError}, {"fault dsrDropAfterFrames -2", kError}, {"fault noAnswer", kError},
      {"fault faultAnswer w", kError}, {"fault faultAnswer SW", kError}, {"fault lostEnd on", "ok\n"},
      {"clear faults", "ok\n"},       {"", kError},                  {"plugh", kError},
      {"log everything", kError},     {"plug straight 2", "ok\n"},   {"plug straight 51", kError},
      {"plug nets A01,X07", kError},  {"plug sideways", kError},     {"probe A51", kError},
  };
  for (const auto& c : cases) {
    const std::string reply = Run(c.line);
    EXPECT_TRUE(c.reply == kError ? IsError(reply) : reply == c.reply) << c.line << ": " << reply;
  }
  EXPECT_EQ(Exchange(kStatusQuery), std::vector<FrameBytes>{StatusFrame("4321")});
  EXPECT_FALSE(unit.Faults().lostEnd) << "cleared";
  EXPECT_EQ(Measured(), Rows().Straight(2)) << "refused plugs leave the cable";
  EXPECT_EQ(Run("plug nets A01,B02 C01,C02,C04"), "ok\n");
  EXPECT_EQ(Measured(), Rows().Net({A(1), B(2)}).Net({C(1), C(2), C(4)}));
  EXPECT_EQ(Run("plug nothing"), "ok\n");
  EXPECT_EQ(Measured(), Rows());
  EXPECT_FALSE(control.QuitRequested());
  EXPECT_EQ(Run("quit\r\n"), "ok\n");
  EXPECT_TRUE(control.QuitRequested());

  // The probe, the log and the expected wiring show what the unit holds.
  EXPECT_EQ(Run("probe A01,B01 C04"), "ok\n");
  EXPECT_EQ(Exchange(kProbeStart).at(0), ProbeFrame(Pins({A(1), B(1), C(4)})));
  // A cleared script reaches nothing, however many steps it held.
  EXPECT_EQ(Run("clear probe"), "ok\n");
  EXPECT_EQ(Exchange(kProbeStart).back(), ProbeFrame({}));
  Exchange(kProbeFinish);

  EXPECT_EQ(Run("clear log"), "ok\n");
  ASSERT_EQ(Run("version 1234"), "ok\n");
  Exchange(kStatusQuery);
  EXPECT_EQ(Run("log"), "host 02 03 53 54 03 AD\nunit 02 08 53 54 00 31 32 33 34 03 7C\nok\n");
  EXPECT_EQ(Run("clear log"), "ok\n");
  EXPECT_EQ(Run("log"), "ok\n");

  uint8_t block[kMasterTransferMaxBytes];
  Send(block, static_cast<size_t>(BuildMasterTransfer(Rows().Measure(A(2), {A(2), B(5), C(1)}).rows, block)));
  EXPECT_EQ(Run("expected"), "A02: A02 B05 C01\nok\n");
}

}  // namespace

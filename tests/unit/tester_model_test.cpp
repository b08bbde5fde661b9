// The simulated unit's own behaviour that the program's tests cannot see:
// which answers a damage hits, what a closed line abandons; and
// unitsim's control commands. What each answer holds, and that each damage
// spoils it, shows in the panel's tests, which judge it.
#include "sim/tester_model.h"

#include <cbltool/set_json.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cabledata/cable_file.h"
#include "cabledata/posix_file_system.h"
#include "link/commands.h"
#include "sim/unit_control.h"
#include "support/sync_notifier.h"
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
  FrameBytes raw;

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
        raw.push_back(buffer[i]);
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
    raw.clear();
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

// One answer damaged, the others clean: a lost STX shows on the first byte,
// a burst in the rows counted.
TEST_F(TesterModelTest, FaultAnswerPicksTheAnswersTheFaultsHit) {
  for (const char pick : {'\0', 'S', 'O', 'P', 'R', 'W'}) {
    ModelHost faulty;
    faulty.unit.Faults().lostStx = true;
    faulty.unit.Faults().burstFrames = 2;
    faulty.unit.Faults().faultAnswer = pick;
    for (const char answer : {'S', 'O', 'P', 'R', 'W'}) {
      SCOPED_TRACE((std::string{pick, ' ', answer}));
      faulty.got.clear();
      faulty.raw.clear();
      uint8_t one[kOneOnOneStartBytes];
      BuildOneOnOneStart(1, one);  // a row and the end
      if (answer == 'S') faulty.Send(kStatusQuery);
      if (answer == 'O') faulty.Send(one);
      if (answer == 'P') {
        faulty.Send(kProbeStart);
        faulty.RunUntil(faulty.now + 60);  // two ProbeStates
        faulty.Send(kProbeFinish);
      }
      if (answer == 'R') faulty.Send(kMasterRead);
      if (answer == 'W') faulty.Send(kWorkTest);
      faulty.Settle();
      ASSERT_FALSE(faulty.raw.empty());
      const bool hit = pick == 0 || pick == answer;
      EXPECT_EQ(faulty.raw[0] != kStx, hit);
      // Later frames of the answer keep their STX, a stream's included.
      const size_t frames = answer == 'O' || answer == 'P' ? 2 : 1;
      const size_t burst = hit && (answer == 'O' || answer == 'W') ? 2 : 0;
      EXPECT_EQ(faulty.got.size(), frames + burst - (hit ? 1 : 0));
    }
  }
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
// as it was.
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
}

TEST_F(UnitControlTest, PlugsACableFromACableSetFileOrItsJson) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "pinvoro unit control test";
  std::filesystem::create_directories(dir);
  const auto set = std::make_unique<CableSet>();
  InitCableSet(*set);
  PinSetAdd(set->cables[3].connections[A(7)].bits, C(3));
  PinSetAdd(set->cables[3].connections[C(3)].bits, A(7));
  const std::string cbl = (dir / "set.cbl").string();
  const std::u16string cbl16(cbl.begin(), cbl.end());
  ShownErrors errors;
  ASSERT_TRUE(SaveCableSetFile(files, errors, cbl16.c_str(), *set, SaveDisposition::kCreateOrReplace));
  const std::string json = (dir / "set.json").string();
  std::ofstream(json) << ExportCableSetJson(*set);
  std::ofstream(dir / "short.cbl") << "too short";
  std::string windows = "Z:" + json;  // as a driver under Wine names it
  for (char& c : windows) c = c == '/' ? '\\' : c;

  const Rows wired = Rows().Net({A(7), C(3)});
  // The path is the rest of the line, blanks and all.
  const struct {
    std::string line, reply;
    Rows measured;
  } cases[] = {
      {"plug cbl 3 " + cbl, "ok\n", wired},
      {"plug cbl 2 " + cbl, "ok\n", Rows()},
      {"plug json 4 " + windows, "ok\n", wired},
      {"plug cbl 0 " + (dir / "short.cbl").string(), "error: cannot read", wired},
      {"plug json 0 " + json, "error: cable number is 1..10\n", wired},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.line).substr(0, c.reply.size()), c.reply) << c.line;
    EXPECT_EQ(Measured(), c.measured) << c.line;
  }
  EXPECT_TRUE(errors.codes.empty());
  std::filesystem::remove_all(dir);
}

TEST_F(UnitControlTest, ProbeLogAndExpectedShowWhatTheUnitHolds) {
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

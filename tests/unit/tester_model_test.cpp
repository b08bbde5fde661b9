// The simulated unit's own behaviour that the program's tests cannot see:
// what a closed line abandons; and unitsim's control commands. What each
// answer holds, and that each damage spoils it, shows in the panel's tests.
#include "sim/tester_model.h"

#include <gtest/gtest.h>

#include <string>

#include "cabledata/posix_file_system.h"
#include "link/commands.h"
#include "sim/unit_control.h"
#include "support/unit_frames.h"

namespace {

// Unpaced, every answer is due whole at the time of its command: the test's
// clock stays at 0.
TEST(TesterModel, ClosingTheLineAbandonsWhatIsHalfDone) {
  TesterModel unit;
  unit.SetDtr(true);
  uint8_t block[kMasterTransferMaxBytes];
  const int n = BuildMasterTransfer(Rows().Net({A(1), B(1)}).rows, block);
  unit.HostBytes(block, static_cast<size_t>(n) - sizeof kMasterTransferEnd, 0);
  unit.SetDtr(false);
  unit.SetDtr(true);
  unit.HostBytes(kMasterTransferEnd, sizeof kMasterTransferEnd, 0);
  EXPECT_EQ(Rows(unit.ExpectedWiring()), Rows());

  // Half a command before the close does not swallow the next session's.
  unit.HostBytes(kStatusQuery, 3, 0);
  unit.SetDtr(false);
  unit.SetDtr(true);
  unit.HostBytes(kWorkTest, sizeof kWorkTest, 0);
  uint8_t out[64];
  EXPECT_EQ(FrameBytes(out, out + unit.TakeUnitBytes(out, sizeof out, 0)), EndFrame('W'));

  // Nor does an answer the host no longer reads wait for the next one.
  unit.Faults().firstFrameDelayMs = 100;
  unit.HostBytes(kStatusQuery, sizeof kStatusQuery, 0);
  unit.SetDtr(false);
  EXPECT_EQ(unit.NextDueMs(), UINT64_MAX);
}

// --- unitsim's control commands ---

// The end-to-end tests wait on "dtr?" for the program to let the line go, and
// send only good lines: a bad one is refused, not half taken.
TEST(UnitControl, ReportsDtrAndRefusesBadLines) {
  TesterModel unit;
  FrameRecorder recorder;
  PosixFileSystem files;
  UnitControl control{unit, recorder, files};
  EXPECT_EQ(control.Execute("dtr?", 0), "ok off\n");
  unit.SetDtr(true);
  EXPECT_EQ(control.Execute("dtr?", 0), "ok on\n");
  for (const char* line : {"version 12345", "dsr sideways", "speed 1000001", "probe period -5", "fault burstFrames -1",
                           "plug straight 51", "plug nets A01,X07", "probe A51", "plugh", ""})
    EXPECT_EQ(control.Execute(line, 0).rfind("error: ", 0), 0u) << line;
}

}  // namespace

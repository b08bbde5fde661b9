#include "sim/unit_control.h"

#include <cbltool/set_json.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "cabledata/cable_file.h"
#include "cabledata/posix_file_system.h"
#include "link/commands.h"
#include "support/pins.h"

namespace {



bool Same(const PinSet& a, const PinSet& b) { return std::memcmp(a.bytes, b.bytes, kPinSetBytes) == 0; }

class NoErrors final : public ErrorReporter {
 public:
  void ShowError(uint16_t code) override { ADD_FAILURE() << "error " << code; }
};

class UnitControlTest : public ::testing::Test {
 protected:
  UnitControlTest() { model.SetFrameLog(&recorder); }

  std::string Run(const std::string& line) { return control.Execute(line, nowMs); }

  // The host's side of one exchange: sends the command, decodes what the unit
  // sends until nothing more comes.
  std::vector<ResponseRecord> Exchange(const uint8_t* command, size_t n) {
    model.HostBytes(command, n, nowMs);
    std::vector<ResponseRecord> records;
    ResponseChannel channel{};
    uint8_t bytes[8192];
    for (int step = 0; step < 20; ++step, nowMs += 10) {
      const size_t got = model.TakeUnitBytes(bytes, sizeof bytes, nowMs);
      for (size_t i = 0; i < got; ++i) {
        if (!FeedByte(channel, bytes[i])) continue;
        ResponseRecord r;
        while (TakeResponse(channel.queue, r)) records.push_back(r);
      }
    }
    return records;
  }

  // What the unit measures now, read back with a master read.
  std::vector<std::pair<unsigned, PinSet>> Measured() {
    std::vector<std::pair<unsigned, PinSet>> rows;
    for (const ResponseRecord& r : Exchange(kMasterRead, sizeof kMasterRead)) {
      if (r.kind != MasterRow) continue;
      PinSet set;
      std::memcpy(set.bytes, &r.frame[5], kPinSetBytes);
      rows.emplace_back(r.frame[4] - 1u, set);
    }
    return rows;
  }

  uint64_t nowMs = 1000;
  TesterModel model;
  FrameRecorder recorder;
  PosixFileSystem files;
  UnitControl control{model, recorder, files};
};

using RowList = std::vector<std::pair<unsigned, PinSet>>;

void ExpectRows(const RowList& got, const RowList& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].first, want[i].first) << i;
    EXPECT_TRUE(Same(got[i].second, want[i].second)) << "row of pin " << want[i].first;
  }
}

TEST_F(UnitControlTest, PlugCommandsChangeTheMeasuredCable) {
  EXPECT_EQ(Run("plug nets A01,B02 C01,C02,C04"), "ok\n");
  ExpectRows(Measured(), {{A(1), Pins({A(1), B(2)})},
                          {B(2), Pins({A(1), B(2)})},
                          {C(1), Pins({C(1), C(2), C(4)})},
                          {C(2), Pins({C(1), C(2), C(4)})},
                          {C(4), Pins({C(1), C(2), C(4)})}});

  EXPECT_EQ(Run("plug straight 2"), "ok\n");
  ExpectRows(Measured(), {{A(1), Pins({A(1), B(1)})},
                          {A(2), Pins({A(2), B(2)})},
                          {B(1), Pins({A(1), B(1)})},
                          {B(2), Pins({A(2), B(2)})}});

  EXPECT_EQ(Run("plug nothing"), "ok\n");
  EXPECT_TRUE(Measured().empty());

  // A refused plug leaves the cable as it was.
  EXPECT_EQ(Run("plug straight 1"), "ok\n");
  EXPECT_EQ(Run("plug straight 51").rfind("error: ", 0), 0u);
  EXPECT_EQ(Run("plug nets A01,X07").rfind("error: 'X07'", 0), 0u);
  EXPECT_EQ(Run("plug sideways").rfind("error: ", 0), 0u);
  ExpectRows(Measured(), {{A(1), Pins({A(1), B(1)})}, {B(1), Pins({A(1), B(1)})}});
}

TEST_F(UnitControlTest, PlugsACableFromACableSetFileOrItsJson) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "pinvoro unit control test";
  std::filesystem::create_directories(dir);
  const auto set = std::make_unique<CableSet>();
  InitCableSet(*set);
  ConnectionRow(&rows)[kPinCount] = set->cables[3].connections;
  PinSetAdd(rows[A(7)].bits, C(3));
  PinSetAdd(rows[C(3)].bits, A(7));

  const std::string cbl = (dir / "set.cbl").string();
  std::u16string cbl16(cbl.begin(), cbl.end());
  NoErrors errors;
  ASSERT_TRUE(SaveCableSetFile(files, errors, cbl16.c_str(), *set, SaveDisposition::kCreateOrReplace));
  const std::string json = (dir / "set.json").string();
  std::ofstream(json) << ExportCableSetJson(*set);

  const RowList want = {{A(7), Pins({A(7), C(3)})}, {C(3), Pins({A(7), C(3)})}};
  // The path is the rest of the line, blanks and all.
  EXPECT_EQ(Run("plug cbl 3 " + cbl), "ok\n");
  ExpectRows(Measured(), want);
  EXPECT_EQ(Run("plug cbl 2 " + cbl), "ok\n");
  EXPECT_TRUE(Measured().empty());
  EXPECT_EQ(Run("plug json 4 " + json), "ok\n");
  ExpectRows(Measured(), want);
  // As a driver under Wine names it.
  std::string windows = "Z:" + json;
  for (char& c : windows) c = c == '/' ? '\\' : c;
  EXPECT_EQ(Run("plug json 4 " + windows), "ok\n");

  std::ofstream(dir / "short.cbl") << "too short";
  EXPECT_EQ(Run("plug cbl 0 " + (dir / "short.cbl").string()).rfind("error: cannot read", 0), 0u);
  EXPECT_EQ(Run("plug cbl 0 " + (dir / "missing.cbl").string()).rfind("error: cannot open", 0), 0u);
  EXPECT_EQ(Run("plug cbl 10 " + cbl), "error: cable index is 0..9\n");
  EXPECT_EQ(Run("plug json 0 " + json), "error: cable number is 1..10\n");
  std::ofstream(dir / "bad.json") << "{\"cables\": 3}";
  EXPECT_EQ(Run("plug json 1 " + (dir / "bad.json").string()).rfind("error: ", 0), 0u);
  ExpectRows(Measured(), want);
  std::filesystem::remove_all(dir);
}

TEST_F(UnitControlTest, FaultsAreSetByTheirNamesAndClearedTogether) {
  EXPECT_EQ(Run("fault noAnswer on"), "ok\n");
  EXPECT_EQ(Run("fault firstFrameDelayMs 700"), "ok\n");
  EXPECT_EQ(Run("fault dsrDropAfterFrames 3"), "ok\n");
  EXPECT_EQ(Run("fault splitChunk 4"), "ok\n");
  EXPECT_EQ(Run("fault chunkGapMs 15"), "ok\n");
  EXPECT_EQ(Run("fault burstFrames 40"), "ok\n");
  for (const char* name : {"garbageBetweenFrames", "badChecksum", "badEtx", "unknownLetters", "pinOutOfRange"}) {
    EXPECT_EQ(Run(std::string("fault ") + name + " 1"), "ok\n") << name;
  }
  const UnitFaults& f = model.Faults();
  EXPECT_TRUE(f.noAnswer && f.garbageBetweenFrames && f.badChecksum && f.badEtx && f.unknownLetters &&
              f.pinOutOfRange);
  EXPECT_EQ(f.firstFrameDelayMs, 700u);
  EXPECT_EQ(f.dsrDropAfterFrames, 3);
  EXPECT_EQ(f.splitChunk, 4u);
  EXPECT_EQ(f.chunkGapMs, 15u);
  EXPECT_EQ(f.burstFrames, 40);

  EXPECT_EQ(Run("fault noAnswer maybe").rfind("error: ", 0), 0u);
  EXPECT_EQ(Run("fault firstFrameDelayMs -1").rfind("error: ", 0), 0u);
  EXPECT_EQ(Run("fault burstFrames -1").rfind("error: ", 0), 0u);
  EXPECT_EQ(Run("fault dsrDropAfterFrames -2").rfind("error: ", 0), 0u);
  EXPECT_EQ(Run("fault sparks 1").rfind("error: unknown fault 'sparks'", 0), 0u);
  EXPECT_EQ(Run("fault noAnswer").rfind("error: ", 0), 0u);
  EXPECT_EQ(Run("fault dsrDropAfterFrames -1"), "ok\n");
  EXPECT_EQ(f.dsrDropAfterFrames, -1);

  EXPECT_EQ(Run("clear faults"), "ok\n");
  EXPECT_FALSE(f.noAnswer || f.garbageBetweenFrames || f.badChecksum || f.badEtx || f.unknownLetters ||
               f.pinOutOfRange);
  EXPECT_EQ(f.firstFrameDelayMs + f.splitChunk + f.chunkGapMs, 0u);
  EXPECT_EQ(f.burstFrames, 0);
}

TEST_F(UnitControlTest, VersionDsrAndDtrAsTheUnitShowsThem) {
  EXPECT_EQ(Run("version 4321"), "ok\n");
  const std::vector<ResponseRecord> status = Exchange(kStatusQuery, sizeof kStatusQuery);
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(std::memcmp(&status[0].frame[5], "4321", 4), 0);
  EXPECT_EQ(Run("version 12345"), "error: version takes four characters, e.g. 1234\n");
  EXPECT_EQ(Run("version 12\t4").rfind("error: ", 0), 0u);

  EXPECT_EQ(Run("dsr?"), "ok on\n");
  EXPECT_EQ(Run("dsr off"), "ok\n");
  EXPECT_FALSE(model.Dsr());
  EXPECT_EQ(Run("dsr?"), "ok off\n");
  EXPECT_TRUE(Exchange(kStatusQuery, sizeof kStatusQuery).empty());
  EXPECT_EQ(Run("dsr sideways").rfind("error: ", 0), 0u);
  EXPECT_EQ(Run("dsr on"), "ok\n");
  EXPECT_TRUE(model.Dsr());

  EXPECT_EQ(Run("dtr?"), "ok off\n");
  model.SetDtr(true);
  EXPECT_EQ(Run("dtr?"), "ok on\n");
  EXPECT_EQ(Run("status"), "ok dsr on dtr on lost 0 frames 2\n");
}

TEST_F(UnitControlTest, ProbeReachesTheNamedPinsFromNow) {
  EXPECT_EQ(Run("probe A01,B01 C04"), "ok\n");
  const std::vector<ResponseRecord> states = Exchange(kProbeStart, sizeof kProbeStart);
  ASSERT_FALSE(states.empty());
  PinSet reached;
  std::memcpy(reached.bytes, &states[0].frame[4], kPinSetBytes);
  EXPECT_TRUE(Same(reached, Pins({A(1), B(1), C(4)})));
  EXPECT_EQ(Run("probe A51").rfind("error: 'A51'", 0), 0u);

  // A cleared script reaches nothing, however many steps it held.
  EXPECT_EQ(Run("clear probe"), "ok\n");
  const std::vector<ResponseRecord> after = Exchange(kProbeStart, sizeof kProbeStart);
  ASSERT_FALSE(after.empty());
  std::memcpy(reached.bytes, &after.back().frame[4], kPinSetBytes);
  EXPECT_TRUE(Same(reached, PinSet{}));
}

TEST_F(UnitControlTest, LogListsEveryFrameInHexUntilCleared) {
  ASSERT_EQ(Run("version 1234"), "ok\n");
  Exchange(kStatusQuery, sizeof kStatusQuery);
  EXPECT_EQ(Run("log"), "host 02 03 53 54 03 AD\nunit 02 08 53 54 00 31 32 33 34 03 7C\nok\n");
  EXPECT_EQ(Run("clear log"), "ok\n");
  EXPECT_EQ(Run("log"), "ok\n");
}

TEST_F(UnitControlTest, ExpectedShowsTheTransferredWiring) {
  ConnectionRow rows[kPinCount];
  InitConnectionRows(rows);
  rows[A(2)].bits = Pins({A(2), B(5), C(1)});
  uint8_t transfer[kMasterTransferMaxBytes];
  const int n = BuildMasterTransfer(rows, transfer);
  Exchange(transfer, static_cast<size_t>(n));
  EXPECT_EQ(Run("expected"), "A02: A02 B05 C01\nok\n");
}

TEST_F(UnitControlTest, EveryOtherLineIsAnErrorUntilQuit) {
  EXPECT_EQ(Run(""), "error: empty command\n");
  EXPECT_EQ(Run("plugh"), "error: unknown command 'plugh'\n");
  EXPECT_EQ(Run("log everything").rfind("error: ", 0), 0u);
  EXPECT_FALSE(control.QuitRequested());
  EXPECT_EQ(Run("quit\r\n"), "ok\n");
  EXPECT_TRUE(control.QuitRequested());
}

}  // namespace

#include "sim/unit_control.h"

#include <cbltool/set_json.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cabledata/cable_file.h"
#include "cabledata/posix_file_system.h"
#include "support/model_host.h"

namespace {

class NoErrors final : public ErrorReporter {
 public:
  void ShowError(uint16_t code) override { ADD_FAILURE() << "error " << code; }
};

bool IsError(const std::string& reply) { return reply.rfind("error: ", 0) == 0; }

class UnitControlTest : public ::testing::Test, protected ModelHost {
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
      if (f[2] == 'R' && f[3] == 'D') std::memcpy(rows.rows[f[4] - 1].bits.bytes, &f[5], kPinSetBytes);
    return rows;
  }

  FrameRecorder recorder;
  PosixFileSystem files;
  UnitControl control{unit, recorder, files};
};

TEST_F(UnitControlTest, PlugCommandsChangeTheMeasuredCable) {
  EXPECT_EQ(Run("plug nets A01,B02 C01,C02,C04"), "ok\n");
  EXPECT_EQ(Measured(), Rows().Net({A(1), B(2)}).Net({C(1), C(2), C(4)}));
  EXPECT_EQ(Run("plug straight 2"), "ok\n");
  EXPECT_EQ(Measured(), Rows().Straight(2));
  EXPECT_EQ(Run("plug nothing"), "ok\n");
  EXPECT_EQ(Measured(), Rows());

  // A refused plug leaves the cable as it was.
  EXPECT_EQ(Run("plug straight 1"), "ok\n");
  EXPECT_TRUE(IsError(Run("plug straight 51")));
  EXPECT_EQ(Run("plug nets A01,X07").rfind("error: 'X07'", 0), 0u);
  EXPECT_TRUE(IsError(Run("plug sideways")));
  EXPECT_EQ(Measured(), Rows().Straight(1));
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

  const Rows want = Rows().Net({A(7), C(3)});
  // The path is the rest of the line, blanks and all.
  EXPECT_EQ(Run("plug cbl 3 " + cbl), "ok\n");
  EXPECT_EQ(Measured(), want);
  EXPECT_EQ(Run("plug cbl 2 " + cbl), "ok\n");
  EXPECT_EQ(Measured(), Rows());
  EXPECT_EQ(Run("plug json 4 " + json), "ok\n");
  EXPECT_EQ(Measured(), want);
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
  EXPECT_TRUE(IsError(Run("plug json 1 " + (dir / "bad.json").string())));
  EXPECT_EQ(Measured(), want);
  std::filesystem::remove_all(dir);
}

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
      {"log everything", kError},
  };
  for (const auto& c : cases) {
    const std::string reply = Run(c.line);
    if (c.reply == kError) {
      EXPECT_TRUE(IsError(reply)) << c.line << ": " << reply;
    } else {
      EXPECT_EQ(reply, c.reply) << c.line;
    }
  }
  EXPECT_EQ(Exchange(kStatusQuery), std::vector<FrameBytes>{StatusFrame("4321")});
  EXPECT_FALSE(unit.Faults().lostEnd) << "cleared";
  EXPECT_FALSE(control.QuitRequested());
  EXPECT_EQ(Run("quit\r\n"), "ok\n");
  EXPECT_TRUE(control.QuitRequested());
}

// Each fault "help" names takes the values it lists, and a name that is none
// of them is answered with all of them.
TEST_F(UnitControlTest, HelpListsEveryFaultWithTheValuesItTakes) {
  const std::string help = Run("help");
  ASSERT_TRUE(help.ends_with("\nok\n")) << help;
  std::istringstream lines(help);
  std::vector<std::string> names;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string command, name, values;
    words >> command >> name >> values;
    if (command != "fault" || name == "NAME") continue;
    names.push_back(name);
    std::istringstream each(values);
    for (std::string value; std::getline(each, value, '|');) {
      const bool placeholder = value == "MS" || value == "N" || value == "BYTES";
      EXPECT_EQ(Run("fault " + name + " " + (placeholder ? "3" : value)), "ok\n") << name << " " << value;
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"noAnswer", "firstFrameDelayMs", "dsrDropAfterFrames",
                                             "garbageBetweenFrames", "splitChunk", "chunkGapMs", "badChecksum",
                                             "badEtx", "lostStx", "lostByte", "lostEnd", "unknownLetters",
                                             "pinOutOfRange", "burstFrames", "faultAnswer"}));
  const std::string unknown = Run("fault sparks 1");
  const size_t open = unknown.find('(');
  ASSERT_NE(open, std::string::npos) << unknown;
  std::istringstream listed(unknown.substr(open + 1, unknown.find(')') - open - 1));
  EXPECT_EQ(std::vector<std::string>(std::istream_iterator<std::string>(listed), {}), names);
}

TEST_F(UnitControlTest, ProbeReachesTheNamedPinsFromNow) {
  EXPECT_EQ(Run("probe A01,B01 C04"), "ok\n");
  const std::vector<FrameBytes> states = Exchange(kProbeStart);
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states[0], ProbeFrame(Pins({A(1), B(1), C(4)})));
  EXPECT_EQ(Run("probe A51").rfind("error: 'A51'", 0), 0u);

  // A cleared script reaches nothing, however many steps it held.
  EXPECT_EQ(Run("clear probe"), "ok\n");
  const std::vector<FrameBytes> after = Exchange(kProbeStart);
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(after.back(), ProbeFrame({}));
}

TEST_F(UnitControlTest, LogListsEveryFrameInHexUntilCleared) {
  ASSERT_EQ(Run("version 1234"), "ok\n");
  Exchange(kStatusQuery);
  EXPECT_EQ(Run("log"), "host 02 03 53 54 03 AD\nunit 02 08 53 54 00 31 32 33 34 03 7C\nok\n");
  EXPECT_EQ(Run("clear log"), "ok\n");
  EXPECT_EQ(Run("log"), "ok\n");
}

TEST_F(UnitControlTest, ExpectedShowsTheTransferredWiring) {
  Rows rows;
  rows.Measure(A(2), {A(2), B(5), C(1)});
  SendTransfer(rows);
  EXPECT_EQ(Run("expected"), "A02: A02 B05 C01\nok\n");
}

}  // namespace

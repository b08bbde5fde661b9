#include "cbltool/cbltool.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cabledata/cable_file.h"
#include "cabledata/posix_file_system.h"
#include "support/cable_images.h"
#include "support/memory_file_system.h"

namespace {

using namespace std::literals;
using Bytes = std::vector<uint8_t>;

struct Result {
  int code;
  std::string out, err;
};

Result Cbltool(FileSystem& fs, std::vector<std::string> args) {
  args.insert(args.begin(), "cbltool");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::ostringstream out, err;
  const int code = RunCbltool(static_cast<int>(args.size()), argv.data(), fs, out, err);
  return {code, out.str(), err.str()};
}

// Failures are one line on stderr, always.
bool OneLine(const std::string& text) {
  return !text.empty() && text.back() == '\n' && text.find('\n') == text.size() - 1;
}

std::unique_ptr<CableSet> NewSet() {
  auto set = std::make_unique<CableSet>();  // zero-filled, like the program's set
  InitCableSet(*set);
  return set;
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

void SetText(char16_t* field, std::u16string_view text) {
  std::memcpy(field, text.data(), text.size() * sizeof(char16_t));
  field[text.size()] = 0;
}

// Runs in a folder of its own, so that paths are as short as a user types them.
class CbltoolOnDisk : public ::testing::Test {
 protected:
  std::filesystem::path dir, previous = std::filesystem::current_path();
  PosixFileSystem fs;

  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::filesystem::path(::testing::TempDir()) / ("cbltool-" + std::to_string(::getpid()) + "-" + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
  }
  void TearDown() override {
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
  }

  Bytes Read(const std::string& name) const {
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  void Write(const std::string& name, const Bytes& bytes) const {
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
};

// A set with something unusual in every field the export carries.
std::unique_ptr<CableSet> Sample() {
  auto set = NewSet();
  CableRecord& c = set->cables[0];
  SetText(c.pinNames[0], u"信号線テスト一二三四五");  // 11 units, the most a name holds
  SetText(c.pinNames[56], u"B07 \"shld\"");
  c.connections[56].pin = 9;  // damaged
  PinSetAdd(c.connections[0].bits, 50);
  PinSetAdd(c.connections[50].bits, 0);
  PinSetAdd(c.connections[1].bits, 2);  // one way only
  PinSetRemove(c.connections[3].bits, 3);
  c.probeData.reserved = 3;
  PinSetAdd(c.probeData.pins, 0);
  PinSetAdd(c.probeData.pins, 103);
  SetText(c.info.productNo, u"PN-0123456");
  SetText(c.info.modelCustomer, u"顧客 Model-X");
  SetText(c.info.blockName, u"\U0001F50Cblock");  // a surrogate pair
  SetText(c.info.comment, u"一行目\r\n二行目\r\n");
  c.selectedPin = 255;
  c.alignment = 0xA5;
  CableRecord& last = set->cables[9];
  last.selectedPin = 103;
  SetText(last.info.cableType, u"UL1007 AWG24");
  PinSetAdd(last.connections[103].bits, 100);
  SetText(set->tag, u"CUSTOM");
  set->reserved = 7;
  set->currentCable = 9;
  return set;
}

TEST_F(CbltoolOnDisk, ExportAndImportRestoreTheFileByteForByte) {
  const auto sample = Sample();
  // Damage no readable field can hold, all in cable 5.
  CableRecord& d = sample->cables[4];
  for (char16_t& unit : d.pinNames[3]) unit = u'x';
  SetText(d.pinNames[4], u"A05 \0stale"sv);
  d.connections[7].pin = 0;
  d.connections[8].pin = 200;
  d.selectedPin = 150;
  sample->currentCable = 12;
  Write("in.cbl", Image(*sample));

  Result r = Cbltool(fs, {"export", "in.cbl"});
  ASSERT_EQ(r.code, 0) << r.err;
  Write("set.json", ToBytes(r.out));
  r = Cbltool(fs, {"import", "set.json", "out.cbl"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Read("out.cbl"), Image(*sample));

  // The export is meant to be read. The round trip shows it loses nothing, and
  // the sample set pins the fields its JSON source uses; these are the others.
  const auto j = nlohmann::json::parse(Read("set.json"));
  for (const auto& bytes : j["bytes"]) {
    const size_t offset = bytes["offset"];
    EXPECT_TRUE((offset >= 4 * 4518 && offset < 5 * 4518) || offset == 45201) << "only the damage: " << offset;
  }
  EXPECT_EQ(j["tag"], "CUSTOM");
  const auto& c = j["cables"][0];
  EXPECT_EQ(c["pinNames"][0], "信号線テスト一二三四五");
  EXPECT_EQ(c["connections"][0]["connected"], nlohmann::json({"A01", "B01"}));
  EXPECT_EQ(c["connections"][1]["connected"], nlohmann::json({"A02", "A03"}));
  EXPECT_EQ(c["connections"][3]["connected"], nlohmann::json::array());
  EXPECT_EQ(c["connections"][56]["pin"], 9);
  EXPECT_EQ(c["probe"], nlohmann::json({{"reserved", 3}, {"pins", {"A01", "C04"}}}));
  EXPECT_EQ(c["info"]["blockName"],
            "\xF0\x9F\x94\x8C"
            "block");
  EXPECT_EQ(c["selectedPin"], 255);
  EXPECT_EQ(c["alignment"], 0xA5);
}

// Every refusal is one line, at once, and leaves every file as it was. The
// kept file is locked, as another program would hold it, and the FIFO has a
// writer, so that a tool that opened it would fail rather than hang.
TEST_F(CbltoolOnDisk, RefusalsSayWhyAndTouchNothing) {
  const Bytes precious = ToBytes("precious");
  Write("kept.cbl", precious);
  Write("old.cbl", OldLayoutImage(*NewSet()));
  Write("current.cbl", Image(*NewSet()));
  Write("short.cbl", Bytes(45061, 0));
  Write("long.cbl", Bytes(45203, 0));
  Write("set.json", ToBytes("{}"));
  std::filesystem::create_directory("folder");
  ASSERT_EQ(::mkfifo("fifo", 0600), 0);
  const int fifoWriter = ::open("fifo", O_RDWR | O_NONBLOCK);
  const int lock = ::open("kept.cbl", O_RDONLY);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string message;
  } cases[] = {
      {{"show", "fifo"}, 1, "fifo is not a regular file"},
      {{"check", "folder"}, 1, "folder is not a regular file"},
      {{"new", "folder", "--force"}, 1, "folder is not a regular file"},
      {{"new", "kept.cbl"}, 3, "kept.cbl exists; use --force to replace it"},
      {{"convert", "old.cbl", "kept.cbl"}, 3, "kept.cbl exists; use --force to replace it"},
      {{"import", "set.json", "kept.cbl"}, 3, "kept.cbl exists; use --force to replace it"},
      {{"import", "missing.json", "out.cbl"}, 1, "cannot open missing.json"},
      {{"export", "old.cbl"}, 1, "old.cbl is in the old layout; convert it first with 'cbltool convert old.cbl NEW'"},
      {{"show", "short.cbl"}, 1, "short.cbl is 45061 bytes, not a cable-set file (45202 bytes)"},
      {{"export", "long.cbl"}, 1, "long.cbl is 45203 bytes, not a cable-set file (45202 bytes)"},
      {{"convert", "current.cbl", "out.cbl"}, 1, "current.cbl is already in the current layout"},
      {{"convert", "short.cbl", "out.cbl"}, 1, "short.cbl is 45061 bytes, not an old-layout file (45062 bytes)"},
      {{"convert", "long.cbl", "out.cbl"}, 1, "long.cbl is 45203 bytes, not an old-layout file (45062 bytes)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const Result r = Cbltool(fs, c.args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.err, "cbltool: " + c.message + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(std::filesystem::exists("out.cbl"));
    EXPECT_EQ(Read("kept.cbl"), precious);
  }
  ::close(lock);
  ::close(fifoWriter);

  // Converting the old image of a new set gives that set again.
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"new", "kept.cbl", "--force"},
                                             {"convert", "old.cbl", "kept.cbl", "--force"},
                                             {"import", "set.json", "kept.cbl", "--force"}}) {
    Write("kept.cbl", precious);
    const Result r = Cbltool(fs, args);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Read("kept.cbl"), Image(*NewSet())) << args[0];
  }
}

class CbltoolInMemory : public ::testing::Test {
 protected:
  MemoryFileSystem fs;
  void Put(const std::u16string& path, const Bytes& bytes) { fs.files[path] = bytes; }
};

TEST_F(CbltoolInMemory, CheckNamesEveryDamageOnItsOwnLine) {
  auto set = NewSet();
  Put(u"good.cbl", Image(*set));
  Result r = Cbltool(fs, {"check", "good.cbl"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "good.cbl: OK\n");

  set->cables[0].selectedPin = 104;
  for (char16_t& unit : set->cables[2].pinNames[56]) unit = u'x';
  set->cables[2].connections[56].pin = 9;
  for (char16_t& unit : set->cables[4].info.comment) unit = u'c';
  set->cables[9].probeData.reserved = 2;
  set->cables[9].selectedPin = 255;  // none: fine
  SetText(set->tag, u"OTHER\u202E");
  set->currentCable = 10;
  Put(u"bad.cbl", Image(*set));
  r = Cbltool(fs, {"check", "bad.cbl"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out,
            "note: tag is 'OTHER\\u202E', not 'VORKEL_DD' (the program does not check it)\n"
            "cable 1: selectedPin is 104, expected 0..103 or 255\n"
            "cable 3, pin B07: name has no terminator within 12 units\n"
            "cable 3, pin B07: row pin byte is 9, expected 57\n"
            "cable 5: Comment has no terminator within 201 units\n"
            "cable 10: probe reserved byte is 2, expected 0\n"
            "currentCable is 10, expected 0..9\n"
            "bad.cbl: 6 problems\n");

  // The tag alone is only a note; an unterminated one is a problem.
  auto tagged = NewSet();
  SetText(tagged->tag, u"X");
  Put(u"tag.cbl", Image(*tagged));
  r = Cbltool(fs, {"check", "tag.cbl"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "note: tag is 'X', not 'VORKEL_DD' (the program does not check it)\ntag.cbl: OK\n");
  for (char16_t& unit : tagged->tag) unit = u'T';
  Put(u"tag.cbl", Image(*tagged));
  r = Cbltool(fs, {"check", "tag.cbl"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("tag has no terminator within 10 units\n"), std::string::npos) << r.out;
}

TEST_F(CbltoolInMemory, CheckJudgesTheSizeFirst) {
  Bytes longer = Image(*NewSet());
  longer.push_back(0);
  longer[45201] = 12;  // still checked: the program loads these bytes
  Put(u"long.cbl", longer);
  Put(u"short.cbl", Bytes(45201, 0));
  Put(u"empty.cbl", Bytes());
  Put(u"old.cbl", Bytes(45062, 0));
  struct Case {
    const char* file;
    std::string out;
  } cases[] = {
      {"long.cbl", "size is 45203 bytes, expected 45202\ncurrentCable is 12, expected 0..9\nlong.cbl: 2 problems\n"},
      {"short.cbl", "size is 45201 bytes, expected 45202\nshort.cbl: 1 problem\n"},
      {"empty.cbl", "size is 0 bytes, expected 45202\nempty.cbl: 1 problem\n"},
      {"old.cbl", "old layout, convert it with 'cbltool convert'\nold.cbl: 1 problem\n"},
  };
  for (const Case& c : cases) {
    const Result r = Cbltool(fs, {"check", c.file});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, c.out);
  }
}

// A 104-entry array of names with one replaced, for the cases that need one.
std::string Names(size_t at, const std::string& name) {
  std::string list = "[";
  for (size_t i = 0; i < 104; ++i) list += (i ? ",\"" : "\"") + (i == at ? name : "n") + "\"";
  return list + "]";
}

std::string Rows(size_t at, const std::string& row) {
  std::string list = "[";
  for (size_t i = 0; i < 104; ++i) list += (i ? "," : "") + (i == at ? row : "{}");
  return list + "]";
}

TEST_F(CbltoolInMemory, ImportRejectsBadInputAndWritesNothing) {
  struct Case {
    std::string json;
    std::string message;
  } cases[] = {
      {R"({"cables": [)", "parse error at line 1"},
      {"[]", "top level: expected an object, got an array"},
      {R"({"cable": []})", "top level: unknown key 'cable'"},
      {R"({"cables": [{}, {}, {"pinNames": )" + Names(5, "ABCDEFGHIJKL") + "}]}",
       "cables[2].pinNames[5]: 'ABCDEFGHIJKL' is longer than 11 characters"},
      {R"({"cables": [{"pinNames": )" + Names(0, "x") + R"(, "probe": {"pins": ["A51\u202e"]}}]})",
       "cables[0].probe.pins[0]: unknown pin label 'A51\\u202E'"},
      {R"({"cables": [{"pinNames": ["A01"]}]})", "cables[0].pinNames: has 1 entry, expected 104"},
      {R"({"cables": [{"info": {"productNo": "123456789\ud83d\udd0c"}}]})",
       "cables[0].info.productNo: '123456789\xF0\x9F\x94\x8C' is longer than 10 characters"},
      {R"({"tag": "VORKEL_DD_"})", "tag: 'VORKEL_DD_' is longer than 9 characters"},
      {R"({"cables": [{"number": 2}, {}]})", "cables[1]: cable number 2 appears twice (also cables[0])"},
      {R"({"cables": [{"number": 11}]})", "cables[0].number: 11 is out of range 1..10"},
      {R"({"currentCable": 10})", "currentCable: 10 is out of range 0..9"},
      {R"({"reserved": -1})", "reserved: -1 is out of range 0..255"},
      {R"({"cables": [{"selectedPin": 104}]})", "cables[0].selectedPin: 104 is out of range 0..103 or 255"},
      {R"({"cables": [{"alignment": 1.5}]})", "cables[0].alignment: expected a whole number, got 1.5"},
      {R"({"cables": [{"info": {"comment": "a\u0000b"}}]})", "cables[0].info.comment: contains a NUL character"},
      {"{\"tag\": \"\xFF\"}", "invalid string: ill-formed UTF-8 byte"},
      {R"({"cables": [{}, {"info": {"comment": "a", "comment": "b"}}]})",
       "cables[1].info: key 'comment' appears twice"},
      {R"({"cables": [{"probe": {"pins": ["C01", "C01"]}}]})", "cables[0].probe.pins[1]: 'C01' is listed twice"},
      {R"({"cables": [{"nets": [["A01", "B01"], ["B01", "C01"]]}]})",
       "cables[0].nets[1][0]: 'B01' is already in cables[0].nets[0]"},
      {R"({"cables": [{"connections": [{"pin": 0}]}]})", "cables[0].connections: has 1 entry, expected 104"},
      {R"({"cables": [{"nets": [[]]}]})", "cables[0].nets[0]: has 0 entries, expected at least 1"},
      {R"({"cables": )" + std::string(100000, '[') + std::string(100000, ']') + "}", "nested too deeply"},
      {R"({"cables": [{}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}]})", "cables: has 11 entries, expected at most 10"},
      {R"({"bytes": [{"offset": 45201, "hex": "0c0c"}]})", "bytes[0].hex: runs past the end of the set (45202 bytes)"},
      {R"({"bytes": [{"offset": 0, "hex": "0g"}]})", "bytes[0].hex: '0g' is not pairs of hex digits"},
      {R"({"cables": [{"connections": )" + Rows(7, R"({"pin": 105})") + "}]}",
       "cables[0].connections[7].pin: 105 is out of range 1..104"},
  };
  const Bytes previous = ToBytes("previous content");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json.substr(0, 80));
    Put(u"in.json", ToBytes(c.json));
    Put(u"kept.cbl", previous);
    for (const char* target : {"new.cbl", "kept.cbl"}) {
      const Result r = Cbltool(fs, {"import", "in.json", target, "--force"});
      EXPECT_EQ(r.code, 1);
      EXPECT_TRUE(OneLine(r.err)) << r.err;
      EXPECT_NE(r.err.find("in.json: "), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(fs.files.count(u"new.cbl"), 0u);
    EXPECT_EQ(fs.files[u"kept.cbl"], previous);
  }
}

TEST_F(CbltoolInMemory, ImportBuildsAMeaningfulSetFromAFewLines) {
  Put(u"demo.json", ToBytes(R"({
    "currentCable": 1,
    "cables": [{
      "number": 2,
      "info": {"productNo": "DEMO-1", "modelCustomer": "試験用ケーブル", "comment": "first\r\nsecond"},
      "nets": [["A01", "B01"], ["A02", "B02", "C01"]],
      "probe": {"pins": ["A01", "A02"]},
      "selectedPin": 255
    }]
  })"));
  Result r = Cbltool(fs, {"import", "demo.json", "demo.cbl"});
  ASSERT_EQ(r.code, 0) << r.err;
  ASSERT_EQ(fs.files[u"demo.cbl"].size(), 45202u);
  auto set = std::make_unique<CableSet>();
  std::memcpy(set.get(), fs.files[u"demo.cbl"].data(), sizeof *set);
  const CableRecord& c = set->cables[1];
  for (unsigned pin : {51u, 100u}) {
    SCOPED_TRACE(pin);
    EXPECT_EQ(PinSetCount(c.connections[pin].bits), 3);
    EXPECT_TRUE(PinSetHas(c.connections[pin].bits, 1));
  }
  EXPECT_EQ(PinSetCount(set->cables[0].connections[0].bits), 1) << "other cables keep their defaults";

  r = Cbltool(fs, {"check", "demo.cbl"});
  EXPECT_EQ(r.code, 0) << r.out;
  r = Cbltool(fs, {"show", "demo.cbl", "--cable", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.find("Cable 1\n"), std::string::npos) << "only the cable asked for";
  EXPECT_NE(r.out.find("Cable 2 (current)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  Model/Customer : 試験用ケーブル\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  Comment        : first\n                   second\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  Selected pin   : none\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("A01 'A01 '"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  Connections (2 nets):\n    A01(A01 ) B01(B01 )\n    A02(A02 ) B02(B02 ) C01(C01 )\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  Probe pins: A01(A01 ) A02(A02 )\n"), std::string::npos) << r.out;
}

TEST_F(CbltoolInMemory, ShowJoinsOneWayRowsIntoNetsAndSkipsLonePins) {
  auto set = NewSet();
  CableRecord& c = set->cables[0];
  SetText(c.pinNames[2], u"電源\u202E\u0085\u0001");
  PinSetAdd(c.connections[2].bits, 60);  // A03 -> B11, one way
  PinSetAdd(c.connections[60].bits, 5);  // B11 -> A06: joins the same net
  PinSetAdd(c.connections[9].bits, 9);   // own pin only: no net
  Put(u"nets.cbl", Image(*set));
  const Result r = Cbltool(fs, {"show", "nets.cbl", "--cable", "1"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("  Connections (1 net):\n    A03(電源\\u202E\\u0085\\u0001) A06(A06 ) B11(B11 )\n  Probe"),
            std::string::npos)
      << r.out;
}

TEST_F(CbltoolInMemory, DiskFailuresAreReportedAndLeaveNothing) {
  Put(u"old.cbl", Bytes(45062, 0));
  Put(u"set.cbl", Image(*NewSet()));
  fs.failRead = true;
  Result r = Cbltool(fs, {"show", "set.cbl"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "cbltool: cannot read set.cbl\n");
  fs.failRead = false;

  fs.failWrite = true;
  r = Cbltool(fs, {"new", "out.cbl"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "cbltool: cannot write out.cbl\n");
  fs.failWrite = false;
  fs.shortWriteBy = 1;
  r = Cbltool(fs, {"convert", "old.cbl", "out.cbl"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "cbltool: cannot write out.cbl\n");
  EXPECT_EQ(fs.files.count(u"out.cbl"), 0u) << "no partial file";
  EXPECT_EQ(fs.files.size(), 2u) << "no temporary file left";
  EXPECT_EQ(fs.openHandles, 0);
}

TEST_F(CbltoolInMemory, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> usages = {
      {},
      {"frobnicate"},
      {"--nope"},
      {"show"},
      {"show", "a.cbl", "--cable", "0"},
      {"show", "a.cbl", "--cable", "11"},
      {"show", "a.cbl", "--cable", "x"},
      {"convert", "a.cbl"},
      {"new", "a.cbl", "b.cbl"},
      {"check", "bad\xFF.cbl"},
  };
  for (const auto& args : usages) {
    SCOPED_TRACE(args.empty() ? "(none)" : args[0] + " ...");
    const Result r = Cbltool(fs, args);
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    EXPECT_EQ(r.err.rfind("cbltool: ", 0), 0u) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_TRUE(fs.files.empty());

  const Result help = Cbltool(fs, {"--help"});
  EXPECT_EQ(help.code, 0);
  for (const char* command : {"new", "show", "check", "convert", "export", "import"}) {
    EXPECT_NE(help.out.find(std::string("  ") + command + " "), std::string::npos) << command;
  }
}

}  // namespace

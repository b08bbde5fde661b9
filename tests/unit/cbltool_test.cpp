// cbltool run in process, over an in-memory disk and, for what only a real
// folder shows, on real files.
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
#include <tuple>
#include <vector>

#include "cabledata/posix_file_system.h"
#include "support/pins.h"
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
  std::ostringstream out, err;
  const int code = RunCbltool(static_cast<int>(args.size()), argv.data(), fs, out, err);
  return {code, out.str(), err.str()};
}

// Failures are one line on stderr, always.
bool OneLine(const std::string& text) { return !text.empty() && text.find('\n') == text.size() - 1; }

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

class CbltoolInMemory : public ::testing::Test {
 protected:
  MemoryFileSystem fs;
  void Put(const std::u16string& path, const Bytes& bytes) { fs.files[path] = bytes; }
  void Put(const std::u16string& path, const std::string& text) { fs.files[path] = ToBytes(text); }
};

TEST_F(CbltoolInMemory, ExportAndImportRestoreTheFileByteForByte) {
  auto set = NewSet();
  CableRecord& c = set->cables[0];
  SetText(c.pinNames[0], u"信号線テスト一二三四五");  // 11 units, the most a name holds
  PinSetAdd(c.connections[0].bits, 50);
  PinSetAdd(c.connections[1].bits, 2);  // one way only
  PinSetRemove(c.connections[3].bits, 3);
  c.probeData = {3, Pins({0, 103})};
  SetText(c.info.blockName, u"\U0001F50Cblock");
  SetText(c.info.comment, u"一行目\r\n二行目\r\n");
  std::tie(c.selectedPin, c.alignment, set->reserved) = std::tuple(255, 0xA5, 7);
  SetText(set->tag, u"CUSTOM");
  // Damage no readable field can hold, all in cable 5.
  CableRecord& d = set->cables[4];
  for (char16_t& unit : d.pinNames[3]) unit = u'x';
  SetText(d.pinNames[4], u"A05 \0stale"sv);
  std::tie(d.connections[7].pin, d.connections[8].pin, d.selectedPin, set->currentCable) = std::tuple(0, 200, 150, 12);
  Put(u"in.cbl", Image(*set));

  Result r = Cbltool(fs, {"export", "in.cbl"});
  Put(u"set.json", r.out);
  r = Cbltool(fs, {"import", "set.json", "out.cbl"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(fs.files[u"out.cbl"], Image(*set));

  // The export is meant to be read: only the damage goes out as raw bytes.
  const auto j = nlohmann::json::parse(fs.files[u"set.json"]);
  for (const auto& bytes : j["bytes"]) {
    const size_t offset = bytes["offset"];
    EXPECT_TRUE((offset >= 4 * 4518 && offset < 5 * 4518) || offset == 45201) << offset;
  }
  EXPECT_EQ(j["cables"][0]["connections"][1]["connected"], nlohmann::json({"A02", "A03"}));
  EXPECT_EQ(j["cables"][0]["info"]["blockName"], "\xF0\x9F\x94\x8C" "block");
}

// Every refusal is one line, at once, and leaves every file as it was. The
// kept file is locked, as another program would hold it, and the FIFO has a
// writer, so that a tool that opened it would fail rather than hang.
TEST(CbltoolOnDisk, RefusalsSayWhyAndTouchNothing) {
  const auto dir = std::filesystem::path(::testing::TempDir()) / ("cbltool-" + std::to_string(::getpid()));
  const auto previous = std::filesystem::current_path();
  std::filesystem::create_directories(dir / "folder");
  std::filesystem::current_path(dir);  // paths as short as a user types them
  const auto write = [](const char* name, const Bytes& bytes) {
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes));
  };
  const auto read = [](const char* name) {
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  };
  const Bytes precious = ToBytes("precious");
  write("kept.cbl", precious);
  write("old.cbl", OldLayoutImage(*NewSet()));
  write("current.cbl", Image(*NewSet()));
  write("short.cbl", Bytes(45061, 0));
  write("long.cbl", Bytes(45203, 0));
  write("set.json", ToBytes("{}"));
  ASSERT_EQ(::mkfifo("fifo", 0600), 0);
  const int fifoWriter = ::open("fifo", O_RDWR | O_NONBLOCK);
  const int lock = ::open("kept.cbl", O_RDONLY);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  const struct {
    std::vector<std::string> args;
    int code;
    std::string message;
  } cases[] = {
      {{"show", "fifo"}, 1, "fifo is not a regular file"},
      {{"new", "folder", "--force"}, 1, "folder is not a regular file"},
      {{"new", "kept.cbl"}, 3, "kept.cbl exists; use --force to replace it"},
      {{"convert", "old.cbl", "kept.cbl"}, 3, "kept.cbl exists; use --force to replace it"},
      {{"import", "set.json", "kept.cbl"}, 3, "kept.cbl exists; use --force to replace it"},
      {{"import", "missing.json", "out.cbl"}, 1, "cannot open missing.json"},
      {{"export", "old.cbl"}, 1, "old.cbl is in the old layout; convert it first with 'cbltool convert old.cbl NEW'"},
      {{"show", "short.cbl"}, 1, "short.cbl is 45061 bytes, not a cable-set file (45202 bytes)"},
      {{"export", "long.cbl"}, 1, "long.cbl is 45203 bytes, not a cable-set file (45202 bytes)"},
      {{"convert", "current.cbl", "out.cbl"}, 1, "current.cbl is already in the current layout"},
      {{"convert", "long.cbl", "out.cbl"}, 1, "long.cbl is 45203 bytes, not an old-layout file (45062 bytes)"},
  };
  PosixFileSystem fs;
  for (const auto& c : cases) {
    const Result r = Cbltool(fs, c.args);
    EXPECT_EQ(r.code, c.code) << c.message;
    EXPECT_EQ(r.err + r.out, "cbltool: " + c.message + "\n");
    EXPECT_FALSE(std::filesystem::exists("out.cbl")) << c.message;
    EXPECT_EQ(read("kept.cbl"), precious) << c.message;
  }
  ::close(lock);
  ::close(fifoWriter);

  // Converting the old image of a new set gives that set again.
  for (const auto& args : std::vector<std::vector<std::string>>{{"new", "kept.cbl", "--force"},
                                                                {"convert", "old.cbl", "kept.cbl", "--force"},
                                                                {"import", "set.json", "kept.cbl", "--force"}}) {
    write("kept.cbl", precious);
    EXPECT_EQ(Cbltool(fs, args).code, 0) << args[0];
    EXPECT_EQ(read("kept.cbl"), Image(*NewSet())) << args[0];
  }
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(dir);
}

TEST_F(CbltoolInMemory, CheckNamesEveryDamageOnItsOwnLine) {
  auto set = NewSet();
  Put(u"good.cbl", Image(*set));
  for (char16_t& unit : set->cables[2].pinNames[56]) unit = u'x';
  for (char16_t& unit : set->cables[4].info.comment) unit = u'c';
  SetText(set->tag, u"OTHER\u202E");
  // selectedPin 255 of cable 10 means none, and is fine.
  std::tie(set->cables[0].selectedPin, set->cables[2].connections[56].pin, set->cables[9].probeData.reserved,
           set->cables[9].selectedPin, set->currentCable) = std::tuple(104, 9, 2, 255, 10);
  Put(u"bad.cbl", Image(*set));
  EXPECT_EQ(Cbltool(fs, {"check", "good.cbl"}).out, "good.cbl: OK\n");
  const Result r = Cbltool(fs, {"check", "bad.cbl"});
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
}

TEST_F(CbltoolInMemory, ImportRejectsBadInputAndWritesNothing) {
  const struct {
    std::string json;
    std::string message;
  } cases[] = {
      {R"({"cables": [)", "parse error at line 1"},
      {R"({"cable": []})", "top level: unknown key 'cable'"},
      {R"({"cables": [{}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}]})", "cables: has 11 entries, expected at most 10"},
      {R"({"cables": [{"alignment": 1.5}]})", "cables[0].alignment: expected a whole number, got 1.5"},
      {R"({"cables": [{"info": {"productNo": "123456789\ud83d\udd0c"}}]})",
       "cables[0].info.productNo: '123456789\xF0\x9F\x94\x8C' is longer than 10 characters"},
      {R"({"cables": [{}, {"info": {"comment": "a", "comment": "b"}}]})", "cables[1].info: key 'comment' appears twice"},
      {R"({"cables": [{"nets": [["A01", "B01"], ["B01", "C01"]]}]})", "cables[0].nets[1][0]: 'B01' is already in"},
      {R"({"cables": )" + std::string(100000, '[') + std::string(100000, ']') + "}", "nested too deeply"},
      {R"({"bytes": [{"offset": 45201, "hex": "0c0c"}]})", "bytes[0].hex: runs past the end of the set (45202 bytes)"},
  };
  const Bytes previous = ToBytes("previous content");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json.substr(0, 80));
    Put(u"in.json", c.json);
    Put(u"kept.cbl", previous);
    for (const char* target : {"new.cbl", "kept.cbl"}) {
      const Result r = Cbltool(fs, {"import", "in.json", target, "--force"});
      EXPECT_EQ(r.code, 1);
      EXPECT_TRUE(OneLine(r.err) && r.err.find("in.json: ") != std::string::npos &&
                  r.err.find(c.message) != std::string::npos)
          << r.err;
    }
    EXPECT_EQ(fs.files.count(u"new.cbl"), 0u);
    EXPECT_EQ(fs.files[u"kept.cbl"], previous);
  }
}

// The shipped sample checks what import builds; this is what show makes of a set.
TEST_F(CbltoolInMemory, ShowJoinsOneWayRowsIntoNetsForTheCableAskedFor) {
  auto set = NewSet();
  set->currentCable = 1;
  CableRecord& c = set->cables[1];
  SetText(c.pinNames[2], u"電源\u202E\u0085\u0001");
  PinSetAdd(c.connections[2].bits, 60);  // A03 -> B11, one way
  PinSetAdd(c.connections[60].bits, 5);  // B11 -> A06: joins the same net
  PinSetAdd(c.connections[9].bits, 9);   // own pin only: no net
  for (char16_t& unit : c.pinNames[9]) unit = u'y';  // shown as the program loads it, cut to 11
  PinSetAdd(c.connections[100].bits, 0);
  PinSetAdd(c.probeData.pins, 1);
  SetText(c.info.modelCustomer, u"試験用ケーブル");
  SetText(c.info.comment, u"first\r\nsecond");
  c.selectedPin = 255;
  Put(u"nets.cbl", Image(*set));
  const Result r = Cbltool(fs, {"show", "nets.cbl", "--cable", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.find("Cable 1\n"), std::string::npos) << "only the cable asked for";
  for (const char* part : {"Tag: 'VORKEL_DD'   Current cable: 2\n\nCable 2 (current)\n",
                           "  Model/Customer : 試験用ケーブル\n", "  Comment        : first\n                   second\n",
                           "  Selected pin   : none\n", "A02 'A02 '", "A10 'yyyyyyyyyyy'",
                           "  Connections (2 nets):\n    A01(A01 ) C01(C01 )\n"
                           "    A03(電源\\u202E\\u0085\\u0001) A06(A06 ) B11(B11 )\n  Probe pins: A02(A02 )\n"}) {
    EXPECT_NE(r.out.find(part), std::string::npos) << part << "\nin\n" << r.out;
  }
}

TEST_F(CbltoolInMemory, DiskFailuresAndUsageErrorsLeaveNothing) {
  Put(u"old.cbl", Bytes(45062, 0));
  Put(u"set.cbl", Image(*NewSet()));
  fs.failRead = true;
  EXPECT_EQ(Cbltool(fs, {"show", "set.cbl"}).err, "cbltool: cannot read set.cbl\n");
  fs.failRead = false;
  fs.shortWriteBy = 1;
  const Result r = Cbltool(fs, {"convert", "old.cbl", "out.cbl"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "cbltool: cannot write out.cbl\n");
  EXPECT_EQ(fs.files.size() + fs.openHandles, 2u) << "no partial or temporary file, nothing left open";

  const std::vector<std::vector<std::string>> usages = {
      {}, {"frobnicate"}, {"--nope"}, {"show"}, {"show", "a.cbl", "--cable", "0"}, {"show", "a.cbl", "--cable", "11"},
      {"show", "a.cbl", "--cable", "x"}, {"convert", "a.cbl"}, {"new", "a.cbl", "b.cbl"}, {"check", "bad\xFF.cbl"},
      {"diff", "a.cbl:0", "a.cbl"}, {"diff", "a.cbl:11", "a.cbl"}, {"diff", "a.cbl"}, {"journal", "r.csv", "--since", "2026-5-1"},
  };
  for (const auto& args : usages) {
    const Result u = Cbltool(fs, args);
    EXPECT_EQ(u.code, 2) << args.size();
    EXPECT_TRUE(OneLine(u.err) && u.err.rfind("cbltool: ", 0) == 0 && u.out.empty()) << u.err;
  }
  EXPECT_EQ(fs.files.size(), 2u);
  EXPECT_EQ(Cbltool(fs, {"--help"}).code, 0);
}

// Two cables of two lots, a hostile model name, an error end and a line a
// full disk cut short.
TEST_F(CbltoolInMemory, JournalSummarizesPerCableWithinTheTimesAsked) {
  Put(u"r.csv",
      "\xEF\xBB\xBFTime,Version,Mode,Cable,Product No.,Model/Customer,Block Name,Cable Type,Comment,Verdict,OK,NG,Skip,"
      "Total,Faults\r\n"
      "2026-04-30T23:59:59Z,1.32,1 on 1,1,P1,\"M,\x1B[31m\",B,T,\"two\r\nlines\",OK,1,0,0,1,\r\n"
      "2026-05-01T08:00:00Z,1.32,1 on 1,1,P1,\"M,\x1B[31m\",B,T,,NG,1,1,0,2,\"A01 - B01 \"\"x\"\" | A02\"\r\n"
      "2026-05-01T09:00:00Z,1.32,Work,1,P1,\"M,\x1B[31m\",B,T,,1029,1,1,0,2,\r\n"
      "2026-05-01T09:30:00Z,1.32,Probe+,2,P2,M,B,T,,NC,0,0,1,1,\r\n"
      "2026-05-01T10:0\r\n"
      "2026-05-02T00:00:00Z,1.32,1 on 1,1,P1,\"M,\x1B[31m\",B,T,,OK,2,1,0,3,\r\n"s);
  const std::string cable1 = "Cable 1  Product No. 'P1'  Model/Customer 'M,\\u001B[31m'  Block Name 'B'  Cable Type 'T'\n";
  const struct {
    std::vector<std::string> filters;
    std::string out;
  } cases[] = {
      {{}, cable1 + "  4 tests: 2 OK, 1 NG, 0 NC, 1 error\n  first 2026-04-30T23:59:59Z, last 2026-05-02T00:00:00Z\n" +
               "Cable 2  Product No. 'P2'  Model/Customer 'M'  Block Name 'B'  Cable Type 'T'\n" +
               "  1 test: 0 OK, 0 NG, 1 NC, 0 errors\n  first 2026-05-01T09:30:00Z, last 2026-05-01T09:30:00Z\n" +
               "5 tests of 2 cables\n"},
      {{"--since", "2026-05-01", "--until", "2026-05-01T09:00"},
       cable1 + "  2 tests: 0 OK, 1 NG, 0 NC, 1 error\n  first 2026-05-01T08:00:00Z, last 2026-05-01T09:00:00Z\n" +
           "2 tests of 1 cable\n"},
      {{"--until", "2026-05-01T09:29:59Z", "--since", "2026-05-01T09:00:00"},
       cable1 + "  1 test: 0 OK, 0 NG, 0 NC, 1 error\n  first 2026-05-01T09:00:00Z, last 2026-05-01T09:00:00Z\n" +
           "1 test of 1 cable\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"journal", "r.csv"};
    args.insert(args.end(), c.filters.begin(), c.filters.end());
    const Result r = Cbltool(fs, args);
    EXPECT_EQ(r.code, 1) << c.filters.size();
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "cbltool: r.csv: 1 damaged line skipped\n");
  }
  for (const char* bad : {"2026-05-01T24:00", "2026-13-01"}) {
    EXPECT_EQ(Cbltool(fs, {"journal", "r.csv", "--until", bad}).code, 2) << bad;
  }
}

// Cable 1 as drawn; cable 2 the same learned from a sample, its pins elsewhere
// but named alike, one-way entries, and the shield's wire moved onto a signal
// pin; cable 3 as cable 2 with the shield's wire back.
TEST_F(CbltoolInMemory, DiffComparesByPinNameAndTellsAMovedWire) {
  auto set = NewSet();
  CableRecord& drawn = set->cables[0];
  for (auto& name : drawn.pinNames) name[0] = 0;
  const char16_t* names[] = {u"VCC", u"  GND ", u"SIG", u"SIG", u"", u"SHLD"};
  const unsigned pins[] = {A(1), B(1), A(2), B(2), A(3), C(1)};
  for (int i = 0; i < 6; ++i) SetText(drawn.pinNames[pins[i]], names[i]);
  std::memcpy(drawn.connections, Rows().Net({A(1), B(1)}).Net({A(2), B(2)}).Net({A(3), C(1)}).rows,
              sizeof drawn.connections);
  CableRecord& moved = set->cables[1];
  moved = drawn;
  InitConnectionRows(moved.connections);
  SetText(moved.pinNames[A(1)], u"");
  SetText(moved.pinNames[A(9)], u"VCC");
  PinSetAdd(moved.connections[A(9)].bits, B(1));
  PinSetAdd(moved.connections[A(2)].bits, B(2));
  set->cables[2] = moved;
  PinSetAdd(moved.connections[C(1)].bits, A(2));
  PinSetAdd(set->cables[2].connections[C(1)].bits, A(3));
  set->currentCable = 2;
  Put(u"a.cbl", Image(*set));

  const Result same = Cbltool(fs, {"diff", "a.cbl:1", "a.cbl"});
  EXPECT_EQ(same.code, 0);
  EXPECT_EQ(same.out, "a.cbl:1 and a.cbl:3 have the same connections\n");
  const Result r = Cbltool(fs, {"diff", "a.cbl:1", "a.cbl:2"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out,
            "Only in a.cbl:1 (2 nets):\n"
            "  SIG(A02) SIG(B02)\n"
            "  (A03) SHLD\n"
            "Only in a.cbl:2 (1 net):\n"
            "  SIG(A02) SIG(B02) SHLD\n"
            "Moved (1 pin):\n"
            "  SHLD: with (A03) in a.cbl:1, with SIG(A02) SIG(B02) in a.cbl:2\n");
  EXPECT_EQ(Cbltool(fs, {"diff", "a.cbl", "b.cbl"}).code, 2) << "a missing file";
}

}  // namespace

// cbltool run in process, over an in-memory disk.
#include "cbltool/cbltool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "common/text.h"
#include "support/cable_images.h"
#include "support/pins.h"
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

class CbltoolInMemory : public ::testing::Test {
 protected:
  MemoryFileSystem fs;
  void Put(const std::u16string& path, const std::string& text) { fs.files[path] = Bytes(text.begin(), text.end()); }
};

// A set holding more than the editor makes: check names every damage on its
// own line; export hands out only the damage as raw bytes, and import restores
// the file byte for byte. (The shipped sample checks what import builds.)
TEST_F(CbltoolInMemory, ADamagedSetIsCheckedShownAndExportedByteForByte) {
  auto set = NewSet();
  fs.files[u"good.cbl"] = Image(*set);
  CableRecord& c = set->cables[0];
  CopyText(c.pinNames[0], kPinNameUnits, u"信号線テスト一二三四五");  // 11 units, the most a name holds
  PinSetAdd(c.connections[0].bits, 50);
  PinSetAdd(c.connections[1].bits, 2);  // one way only
  PinSetRemove(c.connections[3].bits, 3);
  PinSetAdd(c.connections[100].bits, 50);  // C01 -> B01: joins A01's net
  c.probeData = {3, Pins({0, 103})};
  CopyText(c.info.blockName, kBlockNameUnits, u"\U0001F50Cblock");
  CopyText(c.info.comment, kCommentUnits, u"一行目\r\n二行目\r\n");
  std::tie(c.selectedPin, c.alignment, set->reserved) = std::tuple(255, 0xA5, 7);  // selectedPin 255: none, fine
  CopyText(set->tag, kTagUnits, u"OTHER\u202E");
  // Damage no readable field can hold, all in cable 5.
  CableRecord& d = set->cables[4];
  for (char16_t& unit : d.pinNames[3]) unit = u'x';
  for (char16_t& unit : d.info.comment) unit = u'c';
  std::memcpy(d.pinNames[4], u"A05 \0stale", sizeof u"A05 \0stale");
  std::tie(d.connections[7].pin, d.connections[8].pin, d.selectedPin, set->currentCable) = std::tuple(0, 200, 104, 12);
  fs.files[u"in.cbl"] = Image(*set);
  EXPECT_EQ(Cbltool(fs, {"check", "good.cbl"}).out, "good.cbl: OK\n");
  Result r = Cbltool(fs, {"check", "in.cbl"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out,
            "note: tag is 'OTHER\\u202E', not 'VORKEL_DD' (the program does not check it)\n"
            "cable 1: probe reserved byte is 3, expected 0\n"
            "cable 5, pin A04: name has no terminator within 12 units\n"
            "cable 5, pin A08: row pin byte is 0, expected 8\n"
            "cable 5, pin A09: row pin byte is 200, expected 9\n"
            "cable 5: Comment has no terminator within 201 units\n"
            "cable 5: selectedPin is 104, expected 0..103 or 255\n"
            "currentCable is 12, expected 0..9\n"
            "in.cbl: 7 problems\n");

  Put(u"set.json", Cbltool(fs, {"export", "in.cbl"}).out);
  EXPECT_EQ(Cbltool(fs, {"import", "set.json", "out.cbl"}).err, "");
  EXPECT_EQ(fs.files[u"out.cbl"], Image(*set));
  const auto j = nlohmann::json::parse(fs.files[u"set.json"]);
  for (const auto& bytes : j["bytes"]) {
    const size_t offset = bytes["offset"];
    EXPECT_TRUE((offset >= 4 * 4518 && offset < 5 * 4518) || offset == 45201) << offset;
  }
  EXPECT_EQ(j["cables"][0]["connections"][1]["connected"], nlohmann::json({"A02", "A03"}));

  // show lines up wide names and joins one-way rows into nets, for the cable asked for only.
  r = Cbltool(fs, {"show", "in.cbl", "--cable", "1"});
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* part : {"in.cbl\nTag: 'OTHER\\u202E'   Current cable: invalid (12)\n\nCable 1\n",
                           "  Comment        : 一行目\n                   二行目\n", "  Selected pin   : none\n",
                           "    A01 '信号線テスト一二三四五'  A02 'A02 '\n    A03 'A03 '                    A04"}) {
    EXPECT_NE(r.out.find(part), std::string::npos) << part << "\nin\n" << r.out;
  }
  EXPECT_TRUE(r.out.ends_with("  Connections (2 nets):\n    A01(信号線テスト一二三四五) B01(B01 ) C01(C01 )\n"
                              "    A02(A02 ) A03(A03 )\n  Probe pins: A01(信号線テスト一二三四五) C04(C04 )\n"))
      << r.out;
}

// Every refusal is one line, at once, and leaves every file as it was. The
// kept file is held by another program, and exists all the same.
TEST_F(CbltoolInMemory, RefusalsSayWhyAndTouchNothing) {
  const Bytes precious(8, 'p');
  fs.locked.insert(u"kept.cbl");
  fs.others = {u"fifo", u"folder"};
  fs.files[u"old.cbl"] = OldLayoutImage(*NewSet());
  fs.files[u"current.cbl"] = Image(*NewSet());
  fs.files[u"short.cbl"] = Bytes(45061, 0);
  fs.files[u"long.cbl"] = Bytes(45203, 0);
  Put(u"set.json", "{}");
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
      // With --force each makes a new set; the old image of a new set converts to that set again.
      {{"new", "kept.cbl", "--force"}, 0, "wrote kept.cbl"},
      {{"convert", "old.cbl", "kept.cbl", "--force"}, 0, "wrote kept.cbl"},
      {{"import", "set.json", "kept.cbl", "--force"}, 0, "wrote kept.cbl"},
  };
  for (const auto& c : cases) {
    fs.files[u"kept.cbl"] = precious;
    const Result r = Cbltool(fs, c.args);
    EXPECT_EQ(r.code, c.code) << c.message;
    EXPECT_EQ(r.err + r.out, (c.code ? "cbltool: " : "") + c.message + "\n");
    EXPECT_EQ(fs.files.count(u"out.cbl"), 0u) << c.message;
    EXPECT_EQ(fs.files[u"kept.cbl"], c.code ? precious : Image(*NewSet())) << c.message;
  }
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
  const Bytes previous(16, 'v');
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json.substr(0, 80));
    Put(u"in.json", c.json);
    fs.files[u"kept.cbl"] = previous;
    const Result r = Cbltool(fs, {"import", "in.json", "kept.cbl", "--force"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(OneLine(r.err) && r.err.starts_with("cbltool: in.json: ") && r.err.find(c.message) != std::string::npos)
        << r.err;
    EXPECT_EQ(fs.files[u"kept.cbl"], previous);
  }
}

TEST_F(CbltoolInMemory, DiskFailuresAndUsageErrorsLeaveNothing) {
  fs.files[u"old.cbl"] = Bytes(45062, 0);
  fs.files[u"set.cbl"] = Image(*NewSet());
  fs.failRead = true;
  EXPECT_EQ(Cbltool(fs, {"show", "set.cbl"}).err, "cbltool: cannot read set.cbl\n");
  fs.failRead = false;
  fs.shortWriteBy = 1;
  const Result r = Cbltool(fs, {"convert", "old.cbl", "out.cbl"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "cbltool: cannot write out.cbl\n");
  EXPECT_EQ(fs.files.size() + fs.openHandles, 2u) << "no partial or temporary file, nothing left open";

  const std::vector<std::vector<std::string>> usages = {
      {}, {"frobnicate"}, {"show", "a.cbl", "--cable", "0"}, {"show", "a.cbl", "--cable", "11"},
      {"new", "a.cbl", "b.cbl"}, {"check", "bad\xFF.cbl"}, {"diff", "a.cbl:0", "a.cbl"}, {"diff", "a.cbl:11", "a.cbl"},
      {"journal", "r.csv", "--since", "2026-5-1"}, {"journal", "r.csv", "--until", "2026-05-01T24:00"},
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
  const auto journal = [&](std::vector<std::string> filters) {
    filters.insert(filters.begin(), {"journal", "r.csv"});
    const Result r = Cbltool(fs, filters);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "cbltool: r.csv: 1 damaged line skipped\n");
    return r.out;
  };
  EXPECT_EQ(journal({}),
            cable1 + "  4 tests: 2 OK, 1 NG, 0 NC, 1 error\n  first 2026-04-30T23:59:59Z, last 2026-05-02T00:00:00Z\n" +
                "Cable 2  Product No. 'P2'  Model/Customer 'M'  Block Name 'B'  Cable Type 'T'\n" +
                "  1 test: 0 OK, 0 NG, 1 NC, 0 errors\n  first 2026-05-01T09:30:00Z, last 2026-05-01T09:30:00Z\n" +
                "5 tests of 2 cables\n");
  EXPECT_EQ(journal({"--since", "2026-05-01", "--until", "2026-05-01T09:00"}),
            cable1 + "  2 tests: 0 OK, 1 NG, 0 NC, 1 error\n  first 2026-05-01T08:00:00Z, last 2026-05-01T09:00:00Z\n" +
                "2 tests of 1 cable\n");
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
  for (int i = 0; i < 6; ++i) CopyText(drawn.pinNames[pins[i]], kPinNameUnits, names[i]);
  std::memcpy(drawn.connections, Rows().Net({A(1), B(1)}).Net({A(2), B(2)}).Net({A(3), C(1)}).rows,
              sizeof drawn.connections);
  CableRecord& moved = set->cables[1];
  moved = drawn;
  InitConnectionRows(moved.connections);
  moved.pinNames[A(1)][0] = 0;
  CopyText(moved.pinNames[A(9)], kPinNameUnits, u"VCC");
  PinSetAdd(moved.connections[A(9)].bits, B(1));
  PinSetAdd(moved.connections[A(2)].bits, B(2));
  set->cables[2] = moved;
  PinSetAdd(moved.connections[C(1)].bits, A(2));
  PinSetAdd(set->cables[2].connections[C(1)].bits, A(3));
  set->currentCable = 2;
  fs.files[u"a.cbl"] = Image(*set);

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

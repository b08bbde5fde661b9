// cbltool journal and diff, run in process over an in-memory disk.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cbltool/cbltool.h"
#include "support/memory_file_system.h"
#include "support/pins.h"

namespace {

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

void Put(MemoryFileSystem& fs, const char16_t* path, const std::string& text) {
  fs.files[path].assign(text.begin(), text.end());
}

// Two cables of two lots, a hostile model name, an error end and a line a
// full disk cut short.
const std::string kJournal =
    "\xEF\xBB\xBFTime,Version,Mode,Cable,Product No.,Model/Customer,Block Name,Cable Type,Comment,Verdict,OK,NG,Skip,"
    "Total,Faults\r\n"
    "2026-04-30T23:59:59Z,1.32,1 on 1,1,P1,\"M,\x1B[31m\",B,T,\"two\r\nlines\",OK,1,0,0,1,\r\n"
    "2026-05-01T08:00:00Z,1.32,1 on 1,1,P1,\"M,\x1B[31m\",B,T,,NG,1,1,0,2,\"A01 - B01 \"\"x\"\" | A02\"\r\n"
    "2026-05-01T09:00:00Z,1.32,Work,1,P1,\"M,\x1B[31m\",B,T,,1029,1,1,0,2,\r\n"
    "2026-05-01T09:30:00Z,1.32,Probe+,2,P2,M,B,T,,NC,0,0,1,1,\r\n"
    "2026-05-01T10:0\r\n"
    "2026-05-02T00:00:00Z,1.32,1 on 1,1,P1,\"M,\x1B[31m\",B,T,,OK,2,1,0,3,\r\n";

const std::string kCable1 = "Cable 1  Product No. 'P1'  Model/Customer 'M,\\u001B[31m'  Block Name 'B'  Cable Type 'T'\n";
const std::string kCable2 = "Cable 2  Product No. 'P2'  Model/Customer 'M'  Block Name 'B'  Cable Type 'T'\n";

TEST(CbltoolJournal, SummarizesPerCableWithinTheTimesAsked) {
  MemoryFileSystem fs;
  Put(fs, u"r.csv", kJournal);
  const struct {
    std::vector<std::string> filters;
    int code;
    std::string out;
  } cases[] = {
      {{}, 1,
       kCable1 + "  4 tests: 2 OK, 1 NG, 0 NC, 1 error\n  first 2026-04-30T23:59:59Z, last 2026-05-02T00:00:00Z\n" +
           kCable2 + "  1 test: 0 OK, 0 NG, 1 NC, 0 errors\n  first 2026-05-01T09:30:00Z, last 2026-05-01T09:30:00Z\n" +
           "5 tests of 2 cables\n"},
      {{"--since", "2026-05-01", "--until", "2026-05-01T09:00"}, 1,
       kCable1 + "  2 tests: 0 OK, 1 NG, 0 NC, 1 error\n  first 2026-05-01T08:00:00Z, last 2026-05-01T09:00:00Z\n" +
           "2 tests of 1 cable\n"},
      {{"--until", "2026-05-01T09:29:59Z", "--since", "2026-05-01T09:00:00"}, 1,
       kCable1 + "  1 test: 0 OK, 0 NG, 0 NC, 1 error\n  first 2026-05-01T09:00:00Z, last 2026-05-01T09:00:00Z\n" +
           "1 test of 1 cable\n"},
      {{"--since", "2026-5-1"}, 2, ""},
      {{"--until", "2026-05-01T24:00"}, 2, ""},
      {{"--since", "2026-13-01"}, 2, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"journal", "r.csv"};
    args.insert(args.end(), c.filters.begin(), c.filters.end());
    const Result r = Cbltool(fs, args);
    EXPECT_EQ(r.code, c.code) << c.filters.size();
    EXPECT_EQ(r.out, c.out);
    if (c.code == 1) {
      EXPECT_EQ(r.err, "cbltool: r.csv: 1 damaged line skipped\n");
    }
  }
}

// Cable 1 as drawn, the same learned from a sample with one wire moved, and
// pins renamed or left without names.
class CbltoolDiff : public ::testing::Test {
 protected:
  CbltoolDiff() {
    InitCableSet(*set);
    CableRecord& drawn = set->cables[0];
    for (unsigned p = 0; p < kPinCount; ++p) drawn.pinNames[p][0] = 0;
    const char16_t* names[] = {u"VCC", u"  GND ", u"SIG", u"SIG", u"", u"SHLD"};
    const unsigned pins[] = {A(1), B(1), A(2), B(2), A(3), C(1)};
    for (int i = 0; i < 6; ++i) CopyText(drawn.pinNames[pins[i]], kPinNameUnits, names[i]);
    std::memcpy(drawn.connections, Rows().Net({A(1), B(1)}).Net({A(2), B(2)}).Net({A(3), C(1)}).rows,
                sizeof drawn.connections);
    // The same cable, its pins elsewhere but named alike; one-way entries.
    CableRecord& moved = set->cables[1];
    moved = drawn;
    InitConnectionRows(moved.connections);
    CopyText(moved.pinNames[A(1)], kPinNameUnits, u"");
    CopyText(moved.pinNames[A(9)], kPinNameUnits, u"VCC");
    PinSetAdd(moved.connections[A(9)].bits, B(1));
    PinSetAdd(moved.connections[A(2)].bits, B(2));
    PinSetAdd(moved.connections[C(1)].bits, A(2));  // the shield's wire now on a signal pin
    set->cables[2] = moved;
    PinSetRemove(set->cables[2].connections[C(1)].bits, A(2));
    PinSetAdd(set->cables[2].connections[C(1)].bits, A(3));
    set->currentCable = 2;
    const auto* bytes = reinterpret_cast<const uint8_t*>(set.get());
    fs.files[u"a.cbl"].assign(bytes, bytes + sizeof(CableSet));
  }
  std::unique_ptr<CableSet> set = std::make_unique<CableSet>();
  MemoryFileSystem fs;
};

TEST_F(CbltoolDiff, ComparesByPinNameAndTellsAMovedWire) {
  const Result same = Cbltool(fs, {"diff", "a.cbl:1", "a.cbl"});
  EXPECT_EQ(same.code, 0);
  EXPECT_EQ(same.out, "a.cbl:1 and a.cbl:3 have the same connections\n");

  const Result moved = Cbltool(fs, {"diff", "a.cbl:1", "a.cbl:2"});
  EXPECT_EQ(moved.code, 1);
  EXPECT_EQ(moved.out,
            "Only in a.cbl:1 (2 nets):\n"
            "  SIG(A02) SIG(B02)\n"
            "  (A03) SHLD\n"
            "Only in a.cbl:2 (1 net):\n"
            "  SIG(A02) SIG(B02) SHLD\n"
            "Moved (1 pin):\n"
            "  SHLD: with (A03) in a.cbl:1, with SIG(A02) SIG(B02) in a.cbl:2\n");

  for (const auto& args : std::vector<std::vector<std::string>>{
           {"diff", "a.cbl:0", "a.cbl"}, {"diff", "a.cbl:11", "a.cbl"}, {"diff", "a.cbl"}, {"diff", "a.cbl", "b.cbl"}}) {
    const Result bad = Cbltool(fs, args);
    EXPECT_EQ(bad.code, 2) << args.back();
    EXPECT_EQ(bad.out, "");
  }
}

}  // namespace

// The results journal: its CSV lines, its failures, and the panel's verdicts
// reaching it.
#include "app/journal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "cabledata/posix_file_system.h"
#include "cbltool/journal_summary.h"
#include "support/memory_file_system.h"
#include "support/panel_rig.h"
#include "support/pins.h"
#include "version.h"

namespace {

constexpr char16_t kPath[] = u"results.csv";
constexpr char kHeader[] =
    "\xEF\xBB\xBFTime,Version,Mode,Cable,Product No.,Model/Customer,Block Name,Cable Type,Comment,Verdict,OK,NG,Skip,"
    "Total,Faults\r\n";

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Every kind of text a hostile file can put in a name, and the names of two
// languages.
const std::string kHostileFields =
    "\"say \"\"hi\"\"\",\"a,b;c\",\xC2\x85\xC2\x9B\xE2\x80\xAEtxt,\xE3\x82\xB1\xE3\x83\xBC\xE3\x83\x96\xE3\x83\xAB"
    "\xE7\x94\xB5\xE7\xBC\x86,\"line 1\r\nline \"\"2\"\"\n\"";

class JournalTest : public ::testing::Test {
 protected:
  JournalTest() {
    InitCableSet(*set);
    CableInfo& info = set->cables[2].info;
    CopyText(info.productNo, kProductNoUnits, u"say \"hi\"");
    CopyText(info.modelCustomer, kModelCustomerUnits, u"a,b;c");
    CopyText(info.blockName, kBlockNameUnits, u"\u0085\u009B\u202Etxt");
    CopyText(info.cableType, kCableTypeUnits, u"ケーブル电缆");
    CopyText(info.comment, kCommentUnits, u"line 1\r\nline \"2\"\n");
    journal.SetFile(kPath);
  }
  JournalEntry Entry(uint16_t error, const char* verdict) {
    return JournalEntry{{2026, 5, 4, 9, 7, 3}, kOneOnOne, 3, &set->cables[2], error, verdict, {1, 2, 0, 3}};
  }
  std::unique_ptr<CableSet> set = std::make_unique<CableSet>();
  MemoryFileSystem fs;
  Journal journal{fs};
};

TEST_F(JournalTest, LinesAreQuotedAsRfc4180AndTheHeaderComesOnce) {
  journal.AddFaults(u"\r\nA01 - B02 Connection error\r\nA03 - B03 No connection\r\nX");
  ASSERT_TRUE(journal.Append(Entry(0, "NG")));
  journal.ClearFaults();
  ASSERT_TRUE(journal.Append(Entry(1028, "")));
  const std::string start = "2026-05-04T09:07:03Z," PINVORO_VERSION_TEXT ",1 on 1,3,";
  EXPECT_EQ(Text(fs.files[kPath]), kHeader + start + kHostileFields +
                                       ",NG,1,2,0,3,A01 - B02 Connection error | A03 - B03 No connection | X\r\n" + start +
                                       kHostileFields + ",1028,1,2,0,3,\r\n");
  EXPECT_FALSE(journal.TakeFailureReport());

  // A real CSV reader checks the same bytes: JOURNAL_CSV names where to leave them.
  if (const char* out = std::getenv("JOURNAL_CSV")) {
    char16_t path[kMaxPathUnits];
    ASSERT_NE(Utf8ToUtf16(out, std::strlen(out), path, kMaxPathUnits), SIZE_MAX);
    PosixFileSystem disk;
    disk.Remove(path);
    Journal real(disk);
    real.SetFile(path);
    real.AddFaults(u"\"A01\" - B,02 Connection error\r\n");
    ASSERT_TRUE(real.Append(Entry(0, "NG")));
  }
}

// A file that cannot be had is reported once per run; a half line a full
// disk left is closed inside its quotes and never swallows the next line.
TEST_F(JournalTest, FailuresAreReportedOnceAndHalfLinesClosed) {
  fs.failCreate = true;
  EXPECT_FALSE(journal.Append(Entry(0, "OK")));
  EXPECT_TRUE(journal.TakeFailureReport());
  EXPECT_FALSE(journal.Append(Entry(0, "OK")));
  EXPECT_FALSE(journal.TakeFailureReport()) << "once per run";
  fs.failCreate = false;
  ASSERT_TRUE(journal.Append(Entry(0, "OK")));
  const std::string line = Text(fs.files[kPath]).substr(sizeof kHeader - 1);
  fs.shortWriteBy = static_cast<uint32_t>(line.size() - line.find("line 1"));
  EXPECT_FALSE(journal.Append(Entry(0, "NG")));
  fs.shortWriteBy = 0;
  ASSERT_TRUE(journal.Append(Entry(0, "OK")));
  const std::vector<CsvRecord> records = ReadCsv(Text(fs.files[kPath]));
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[2].size(), 9u);
  EXPECT_EQ(records[3], records[1]);
}

// Verdicts and error ends are recorded with the counters after them. A
// journal that cannot be written costs a box after the verdict and nothing else.
TEST(PanelJournal, VerdictsAndErrorEndsAreRecordedAndAnUnwritableJournalChangesNothing) {
  MemoryFileSystem fs;
  Journal journal{fs};
  journal.SetFile(kPath);
  const auto rig = std::make_unique<PanelRig>();
  rig->app.cableSet.currentCable = 2;
  rig->panel.SetJournal(&journal);
  rig->Plug(Rows().Straight(50).Net({A(2)}).Net({B(2)}));
  ASSERT_TRUE(rig->RunOneOnOne());
  rig->unit.With([](TesterModel& m) { m.Faults().noAnswer = true; });
  rig->Press(kOneOnOneStart);
  ASSERT_TRUE(rig->FireTimer(kTimerResponse) && rig->Idle(kOneOnOneStart));
  const std::vector<CsvRecord> lines = ReadCsv(Text(fs.files[kPath]));
  ASSERT_EQ(lines.size(), 3u);
  // After the time and version: the mode, the cable's number and (empty) fields, then the result.
  EXPECT_EQ(CsvRecord(lines[1].begin() + 2, lines[1].end()),
            (CsvRecord{"1 on 1", "3", "", "", "", "", "", "NG", "0", "1", "0", "1", "A02  - B02  No connection"}));
  EXPECT_EQ(CsvRecord(lines[2].begin() + 2, lines[2].end()),
            (CsvRecord{"1 on 1", "3", "", "", "", "", "", "1028", "0", "1", "0", "1", ""}));

  fs.failCreate = true;
  rig->unit.With([](TesterModel& m) { m.Faults().noAnswer = false; });
  ASSERT_TRUE(rig->RunOneOnOne());
  EXPECT_EQ(rig->Outcome(), "closed [NG] 0 2 0 2 e1028 e770");
  // A new run's journal failing first at an error end: reported after the error.
  Journal next{fs};
  next.SetFile(kPath);
  rig->panel.SetJournal(&next);
  rig->unit.With([](TesterModel& m) { m.Faults().noAnswer = true; });
  rig->Press(kOneOnOneStart);
  ASSERT_TRUE(rig->FireTimer(kTimerResponse) && rig->Idle(kOneOnOneStart));
  EXPECT_EQ(rig->Outcome(), "closed [] 0 2 0 2 e1028 e770 e1028 e770");
}

}  // namespace

// The results journal on real Windows files: appended across runs while a
// reader holds the file open, and refused by a file it may not write (held by
// a spreadsheet program that denies writers; a read-only attribute would not
// do under Wine run as root) or a folder that is not there.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "app/journal.h"
#include "cabledata/file_system_win.h"
#include "temp_folder_win.h"

namespace {

class JournalWin : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    InitCableSet(set);
  }
  std::wstring Path() const { return dir + L"検査.csv"; }
  // One run of the program: a journal of its own, one verdict.
  bool Run(const std::wstring& path, bool& reported) {
    Journal journal(fs);
    journal.SetFile(reinterpret_cast<const char16_t*>(path.c_str()));
    const bool ok = journal.Append(JournalEntry{{2026, 5, 4, 9, 7, 3}, kOneOnOne, 1, &set.cables[0], 0, "OK", {1, 0, 0, 1}});
    reported = journal.TakeFailureReport() && !journal.TakeFailureReport();
    return ok;
  }
  std::string Read() const {
    std::string bytes(4096, '\0');
    const HANDLE h = CreateFileW(Path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    DWORD n = 0;
    if (h == INVALID_HANDLE_VALUE || !ReadFile(h, bytes.data(), 4096, &n, nullptr)) n = 0;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    bytes.resize(n);
    return bytes;
  }

  Win32FileSystem fs;
  static inline CableSet set;
};

TEST_F(JournalWin, TwoRunsAppendWhileAReaderHoldsTheFile) {
  bool reported = true;
  ASSERT_TRUE(Run(Path(), reported));
  EXPECT_FALSE(reported);
  const std::string first = Read();
  // As a spreadsheet or an editor keeps it open.
  const HANDLE reader = CreateFileW(Path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Run(Path(), reported));
  CloseHandle(reader);
  const std::string both = Read();
  const size_t line = both.size() - first.size();
  ASSERT_GT(line, 0u);
  EXPECT_EQ(both.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(both.find("\xEF\xBB\xBF", 3), std::string::npos) << "one mark, one header";
  EXPECT_EQ(both.find("Time,", 10), std::string::npos);
  EXPECT_EQ(both.substr(first.size()), first.substr(first.size() - line));
}

TEST_F(JournalWin, UnwritableFileOrFolderFailsOnceAndChangesNothing) {
  bool reported = false;
  ASSERT_TRUE(Run(Path(), reported));
  const std::string before = Read();
  const HANDLE holder =
      CreateFileW(Path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Run(Path(), reported));
  EXPECT_TRUE(reported);
  CloseHandle(holder);
  EXPECT_EQ(Read(), before);
  EXPECT_FALSE(Run(dir + L"missing\\results.csv", reported));
  EXPECT_TRUE(reported);
  EXPECT_FALSE(std::filesystem::exists(dir + L"missing"));
}

}  // namespace

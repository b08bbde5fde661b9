// The results journal on real Windows files: appended across runs while a
// reader holds the file open, and refused by a file it may not write (held by
// a spreadsheet program that denies writers; a read-only attribute would not
// do under Wine run as root) or a folder that is not there.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/journal.h"
#include "cabledata/file_system_win.h"
#include "temp_folder_win.h"

namespace {

class JournalWin : public TempFolderTest {
 protected:
  std::wstring Path() const { return dir + L"検査.csv"; }
  // One run of the program: a journal of its own, one verdict.
  bool Run(const std::wstring& path) {
    InitCableSet(set);
    Journal journal(fs);
    journal.SetFile(reinterpret_cast<const char16_t*>(path.c_str()));
    return journal.Append(JournalEntry{{2026, 5, 4, 9, 7, 3}, kOneOnOne, 1, &set.cables[0], 0, "OK", {1, 0, 0, 1}});
  }
  std::string Read() const {
    std::ifstream file(std::filesystem::path(Path()), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }

  Win32FileSystem fs;
  static inline CableSet set;
};

TEST_F(JournalWin, AppendsAcrossRunsBesideAReaderAndRefusedChangesNothing) {
  ASSERT_TRUE(Run(Path()));
  const std::string first = Read();
  // As a spreadsheet or an editor keeps it open.
  HANDLE other = CreateFileW(Path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Run(Path()));
  CloseHandle(other);
  // The second run adds its line alone: no second mark or header.
  const std::string both = Read();
  EXPECT_EQ(both, first + first.substr(first.find('\n') + 1));

  // Held by a program that denies writers, or in a folder that is not there.
  other = CreateFileW(Path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Run(Path()));
  CloseHandle(other);
  EXPECT_EQ(Read(), both);
  EXPECT_FALSE(Run(dir + L"missing\\results.csv"));
  EXPECT_FALSE(std::filesystem::exists(dir + L"missing"));
}

}  // namespace

// The Win32 file seam against real files under Wine: what the portable save
// and load rely on and only the platform decides (names, long paths, sharing,
// the replace, what counts as a regular file).
#include "cabledata/file_system_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "cabledata/cable_file.h"
#include "support/memory_file_system.h"
#include "temp_folder_win.h"

namespace {

class AlwaysYes final : public ConversionPrompt {
 public:
  bool ConfirmOldLayoutConversion() override { return true; }
};

class WinFiles : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    InitCableSet(set);
  }
  std::u16string Path(const std::wstring& name) const {
    const std::wstring w = dir + name;
    return std::u16string(w.begin(), w.end());
  }
  static const wchar_t* W(const std::u16string& p) { return reinterpret_cast<const wchar_t*>(p.c_str()); }
  size_t Entries() const { return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {})); }
  bool Save(const std::u16string& path, SaveDisposition d) { return SaveCableSetFile(fs, errors, path.c_str(), set, d); }
  bool Load(const std::u16string& path, CableSet& into) { return LoadCableSetFile({fs, errors, yes}, path.c_str(), into); }

  Win32FileSystem fs;
  RecordingErrors errors;
  AlwaysYes yes;
  static inline CableSet set, loaded;
};

TEST_F(WinFiles, UnicodeAndLongestPathsSaveAndLoadWithoutLeftovers) {
  // A name the ANSI code page may not hold, and the longest path the dialogs
  // give, which only the \\?\ form takes past MAX_PATH.
  const std::u16string paths[] = {Path(L"ケーブル.cbl"), Path(std::wstring(259 - dir.size() - 4, L'x') + L".cbl")};
  std::memcpy(set.cables[3].info.productNo, u"製品-01", 12);
  for (const std::u16string& path : paths) {
    ASSERT_TRUE(Save(path, SaveDisposition::kCreateOrReplace));
    EXPECT_EQ(fs.KindOf(path.c_str()), PathKind::kRegular);
    InitCableSet(loaded);
    ASSERT_TRUE(Load(path, loaded));
    EXPECT_EQ(std::memcmp(&loaded, &set, sizeof set), 0);
    set.cables[0].selectedPin = 42;  // saved over the existing file
    ASSERT_TRUE(Save(path, SaveDisposition::kExistingFile));
    ASSERT_TRUE(Load(path, loaded));
    EXPECT_EQ(loaded.cables[0].selectedPin, 42);
  }
  EXPECT_TRUE(errors.codes.empty());
  EXPECT_EQ(Entries(), 2u) << "no temporary file left behind";
}

TEST_F(WinFiles, NeitherSideSharesAnOpenFile) {
  const std::u16string path = Path(L"held.cbl");
  ASSERT_TRUE(Save(path, SaveDisposition::kCreateOrReplace));
  HANDLE other = CreateFileW(W(path), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Load(path, loaded));
  EXPECT_FALSE(Save(path, SaveDisposition::kExistingFile));
  CloseHandle(other);

  const FileHandle ours = fs.OpenForRead(path.c_str());
  ASSERT_NE(ours, kNoFile);
  HANDLE again = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(again, INVALID_HANDLE_VALUE) << "the program's handle lets nobody in";
  if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
  fs.Close(ours);

  // A file gone since it was opened is not made anew by a save over it.
  ASSERT_TRUE(DeleteFileW(W(path)));
  EXPECT_FALSE(Save(path, SaveDisposition::kExistingFile));
  EXPECT_EQ(fs.KindOf(path.c_str()), PathKind::kMissing);
  EXPECT_EQ(errors.codes, (std::vector<uint16_t>{768, 768, 768}));
}

TEST_F(WinFiles, FoldersAndDevicesAreNoCableSets) {
  const std::u16string folder = Path(L"sub.cbl");
  ASSERT_TRUE(CreateDirectoryW(W(folder), nullptr));
  for (const std::u16string& path : {folder, std::u16string(u"NUL"), std::u16string(u"\\\\.\\COM1")}) {
    EXPECT_EQ(fs.KindOf(path.c_str()), PathKind::kOther) << std::string(path.begin(), path.end());
  }
  EXPECT_FALSE(Load(folder, loaded));
  EXPECT_EQ(errors.codes, std::vector<uint16_t>{768});
}

}  // namespace

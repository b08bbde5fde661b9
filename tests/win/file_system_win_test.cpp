// The Win32 file seam against real files under Wine, and the cable-set file
// logic on top of it.
#include "cabledata/file_system_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cabledata/cable_file.h"
#include "support/memory_file_system.h"

namespace {

class YesPrompt final : public ConversionPrompt {
 public:
  bool ConfirmOldLayoutConversion() override { return true; }
};

std::u16string U16(const std::wstring& w) { return std::u16string(w.begin(), w.end()); }

class WinFileTest : public ::testing::Test {
 protected:
  Win32FileSystem fs;
  RecordingErrors errors;
  YesPrompt prompt;
  std::wstring dir;
  static inline CableSet set;

  void SetUp() override {
    wchar_t tmp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, tmp), 0u);
    dir = std::wstring(tmp) + L"pinvoro-test-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    InitCableSet(set);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  size_t Entries() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
  }
  std::u16string Path(const wchar_t* name) const { return U16(dir + name); }
  std::vector<uint8_t> ReadAll(const std::u16string& path) {
    std::vector<uint8_t> out;
    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    uint8_t buf[4096];
    DWORD n;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) out.insert(out.end(), buf, buf + n);
    CloseHandle(h);
    return out;
  }
  bool Exists(const std::u16string& path) {
    return GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str())) != INVALID_FILE_ATTRIBUTES;
  }
  std::vector<uint8_t> Image(const CableSet& s) {
    const auto* p = reinterpret_cast<const uint8_t*>(&s);
    return std::vector<uint8_t>(p, p + sizeof s);
  }
};

TEST_F(WinFileTest, SaveAndLoadThroughRealFiles) {
  // A name the ANSI code page may not hold, and the longest path the dialogs
  // give, which its \\?\ form takes past MAX_PATH.
  const std::u16string paths[] = {Path(L"ケーブル.cbl"),
                                  Path((std::wstring(259 - dir.size() - 4, L'x') + L".cbl").c_str())};
  std::memcpy(set.cables[3].info.productNo, u"製品-01", 12);
  for (const auto& path : paths) {
    ASSERT_TRUE(SaveCableSetFile(fs, errors, path.c_str(), set, SaveDisposition::kCreateOrReplace));
    EXPECT_EQ(ReadAll(path), Image(set));

    static CableSet loaded;
    InitCableSet(loaded);
    ASSERT_TRUE(LoadCableSetFile({fs, errors, prompt}, path.c_str(), loaded));
    EXPECT_EQ(Image(loaded), Image(set));
  }
  EXPECT_TRUE(errors.codes.empty());
  EXPECT_EQ(Entries(), 2u) << "no temporary file left behind";
}

TEST_F(WinFileTest, FileHeldByAnotherHandleCannotBeOpened) {
  const auto path = Path(L"held.cbl");
  ASSERT_TRUE(SaveCableSetFile(fs, errors, path.c_str(), set, SaveDisposition::kCreateOrReplace));
  HANDLE other = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(fs.OpenForRead(path.c_str()), kNoFile);
  EXPECT_FALSE(LoadCableSetFile({fs, errors, prompt}, path.c_str(), set));
  EXPECT_FALSE(SaveCableSetFile(fs, errors, path.c_str(), set, SaveDisposition::kExistingFile));
  EXPECT_EQ(errors.codes, (std::vector<uint16_t>{768, 768}));
  CloseHandle(other);

  // And the other way round: while we hold it, nobody else may open it.
  const FileHandle ours = fs.OpenForRead(path.c_str());
  ASSERT_NE(ours, kNoFile);
  HANDLE again = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(again, INVALID_HANDLE_VALUE);
  if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
  fs.Close(ours);
}

TEST_F(WinFileTest, DispositionsAndAVanishedFile) {
  const auto path = Path(L"vanish.cbl");
  EXPECT_FALSE(SaveCableSetFile(fs, errors, path.c_str(), set, SaveDisposition::kExistingFile));
  EXPECT_FALSE(Exists(path)) << "existing-file save creates nothing";
  EXPECT_TRUE(SaveCableSetFile(fs, errors, path.c_str(), set, SaveDisposition::kCreateOrReplace));
  set.cables[0].selectedPin = 42;
  EXPECT_TRUE(SaveCableSetFile(fs, errors, path.c_str(), set, SaveDisposition::kExistingFile));
  EXPECT_EQ(ReadAll(path), Image(set));
  ASSERT_TRUE(DeleteFileW(reinterpret_cast<const wchar_t*>(path.c_str())));
  EXPECT_FALSE(SaveCableSetFile(fs, errors, path.c_str(), set, SaveDisposition::kExistingFile));
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(errors.codes, (std::vector<uint16_t>{768, 768}));
}

// Passes everything to the real files but fails the write halfway, as a full
// disk or a pulled USB stick would.
class FailingWrites final : public FileSystem {
 public:
  explicit FailingWrites(FileSystem& real) : real_(real) {}
  FileHandle OpenForRead(const char16_t* p) override { return real_.OpenForRead(p); }
  FileHandle OpenForWrite(const char16_t* p) override { return real_.OpenForWrite(p); }
  bool ResolveLinks(const char16_t* p, char16_t* r, size_t c) override { return real_.ResolveLinks(p, r, c); }
  FileHandle CreateTemporary(const char16_t* t, char16_t* p, size_t c) override {
    return real_.CreateTemporary(t, p, c);
  }
  bool GetSize(FileHandle f, uint64_t& s) override { return real_.GetSize(f, s); }
  bool Read(FileHandle f, void* b, uint32_t c, uint32_t& d) override { return real_.Read(f, b, c, d); }
  bool Write(FileHandle f, const void* data, uint32_t size, uint32_t& done) override {
    real_.Write(f, data, size / 2, done);
    return false;
  }
  bool Flush(FileHandle f) override { return real_.Flush(f); }
  void Close(FileHandle f) override { real_.Close(f); }
  bool Replace(const char16_t* s, const char16_t* t) override { return real_.Replace(s, t); }
  void Remove(const char16_t* p) override { real_.Remove(p); }
  PathKind KindOf(const char16_t* p) override { return real_.KindOf(p); }

 private:
  FileSystem& real_;
};

TEST_F(WinFileTest, FailedWriteKeepsTheOldFile) {
  const auto path = Path(L"keep.cbl");
  ASSERT_TRUE(SaveCableSetFile(fs, errors, path.c_str(), set, SaveDisposition::kCreateOrReplace));
  const auto before = ReadAll(path);
  static CableSet changed;
  changed = set;
  changed.cables[1].pinNames[0][0] = u'Z';
  FailingWrites failing(fs);
  for (auto d : {SaveDisposition::kExistingFile, SaveDisposition::kCreateOrReplace}) {
    EXPECT_FALSE(SaveCableSetFile(failing, errors, path.c_str(), changed, d));
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(Entries(), 1u) << "temporary file removed";
  }
  EXPECT_EQ(errors.codes, (std::vector<uint16_t>{768, 768}));
}

TEST_F(WinFileTest, ShortAndOldFilesFromDisk) {
  const auto path = Path(L"short.cbl");
  HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                         nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::vector<uint8_t> bytes(45100, 0x41);
  DWORD n;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(h);
  const auto before = Image(set);
  EXPECT_FALSE(LoadCableSetFile({fs, errors, prompt}, path.c_str(), set));
  EXPECT_EQ(Image(set), before);
  EXPECT_EQ(errors.codes, std::vector<uint16_t>{769});
}

}  // namespace

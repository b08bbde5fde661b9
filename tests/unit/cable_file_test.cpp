#include "cabledata/cable_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "cabledata/posix_file_system.h"
#include "support/cable_images.h"
#include "support/memory_file_system.h"

namespace {

class ScriptedPrompt final : public ConversionPrompt {
 public:
  bool answer = true;
  int asked = 0;
  bool ConfirmOldLayoutConversion() override {
    ++asked;
    return answer;
  }
};

class CableFileTest : public ::testing::Test {
 protected:
  MemoryFileSystem fs;
  RecordingErrors errors;
  ScriptedPrompt prompt;
  CableFileContext ctx{fs, errors, prompt};
  static inline CableSet set, reference;

  void SetUp() override {
    InitCableSet(set);
    std::memcpy(set.cables[0].info.productNo, u"SET", 8);
    reference = set;
  }
  bool Load(const char16_t* path) { return LoadCableSetFile(ctx, path, set); }
  bool Unchanged() const { return std::memcmp(&set, &reference, sizeof set) == 0; }

  // A distinctive set: every cable differs, probe pins, long texts.
  static CableSet Sample() {
    CableSet s;
    InitCableSet(s);
    for (int k = 0; k < kCableCount; ++k) {
      CableRecord& c = s.cables[k];
      c.pinNames[k][0] = static_cast<char16_t>(u'a' + k);
      PinSetAdd(c.connections[k].bits, 50u + k);
      PinSetAdd(c.probeData.pins, 100u + k % 4);
      std::memcpy(c.info.productNo, u"P-0123456", 20);
      std::memcpy(c.info.comment, u"line1\r\nline2", 26);
      c.selectedPin = static_cast<uint8_t>(k * 10);
    }
    s.reserved = 7;
    s.currentCable = 4;
    return s;
  }
};

TEST_F(CableFileTest, SaveAndLoadRoundTrip) {
  static CableSet sample = Sample();
  for (auto d : {SaveDisposition::kCreateOrReplace, SaveDisposition::kExistingFile}) {
    ASSERT_TRUE(SaveCableSetFile(fs, errors, u"a.cbl", sample, d));
    ASSERT_EQ(fs.files[u"a.cbl"], Image(sample));
    ASSERT_TRUE(Load(u"a.cbl"));
    EXPECT_EQ(Image(set), Image(sample));
  }
  EXPECT_TRUE(errors.codes.empty());
  EXPECT_EQ(prompt.asked, 0);
  EXPECT_EQ(fs.openHandles, 0);
  EXPECT_EQ(fs.files.size(), 1u) << "no temporary file left behind";
}

TEST_F(CableFileTest, LoadReadsInPiecesAndIgnoresTrailingBytes) {
  static CableSet sample = Sample();
  // Made at its final size: growing a fresh copy trips gcc 12's -Warray-bounds.
  std::vector<uint8_t> image(sizeof sample + 100, 0xEE);
  std::memcpy(image.data(), &sample, sizeof sample);
  fs.files[u"long.cbl"] = image;
  fs.readChunk = 1000;
  ASSERT_TRUE(Load(u"long.cbl"));
  EXPECT_EQ(Image(set), Image(sample));
  EXPECT_EQ(prompt.asked, 0);
}

TEST_F(CableFileTest, LoadFailuresLeaveTheSetUnchanged) {
  struct Case {
    const char16_t* path;
    size_t size;
    bool yes;
    bool failRead;
    std::vector<uint16_t> codes;
    int prompts;
  } cases[] = {
      {u"missing.cbl", 0, true, false, {768}, 0},
      {u"short.cbl", 45201, true, false, {769}, 0},       // current layout, cut short
      {u"s45063.cbl", 45063, true, false, {769}, 0},
      {u"old-short.cbl", 45061, true, false, {769}, 1},  // old layout, cut short
      {u"empty.cbl", 0, true, false, {769}, 1},
      {u"declined.cbl", 45062, false, false, {}, 1},
      {u"readfail.cbl", 45202, true, true, {769}, 0},
      {u"oldfail.cbl", 45062, true, true, {769}, 1},
      {u"busy.cbl", 45202, true, false, {768}, 0},  // held open by another program
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path, c.path + std::char_traits<char16_t>::length(c.path)));
    fs.files.clear();
    if (c.path != std::u16string(u"missing.cbl")) fs.files[c.path] = std::vector<uint8_t>(c.size, 0x41);
    errors.codes.clear();
    prompt.asked = 0;
    prompt.answer = c.yes;
    fs.failRead = c.failRead;
    fs.locked.clear();
    if (c.path == std::u16string(u"busy.cbl")) fs.locked[c.path] = 1;
    EXPECT_FALSE(Load(c.path));
    EXPECT_EQ(errors.codes, c.codes);
    EXPECT_EQ(prompt.asked, c.prompts);
    EXPECT_TRUE(Unchanged());
    EXPECT_EQ(fs.openHandles, 0) << "file closed on every path";
  }
}

TEST_F(CableFileTest, OldLayoutIsConvertedAfterYes) {
  static CableSet want = Sample();
  fs.files[u"old.cbl"] = OldLayoutImage(want);
  // Whatever the set held before must not leak into the converted cables.
  for (auto& c : set.cables) PinSetAdd(c.probeData.pins, 77);
  std::memcpy(set.tag, u"XXXXXXXXX", 20);

  ASSERT_TRUE(Load(u"old.cbl"));
  EXPECT_EQ(prompt.asked, 1);
  EXPECT_TRUE(errors.codes.empty());
  AsConverted(want);
  EXPECT_EQ(Image(set), Image(want));
}

TEST_F(CableFileTest, LoadedTextAlwaysHasATerminator) {
  static CableSet damaged = Sample();
  for (auto& u : damaged.cables[1].pinNames[3]) u = u'Z';
  for (auto& u : damaged.cables[8].info.cableType) u = u'Q';
  fs.files[u"d.cbl"] = Image(damaged);
  ASSERT_TRUE(Load(u"d.cbl"));
  EXPECT_EQ(std::u16string(set.cables[1].pinNames[3]).size(), 11u);
  EXPECT_EQ(std::u16string(set.cables[8].info.cableType).size(), 20u);
}

TEST_F(CableFileTest, ExistingFileDispositionNeedsTheFile) {
  EXPECT_FALSE(SaveCableSetFile(fs, errors, u"gone.cbl", set, SaveDisposition::kExistingFile));
  EXPECT_EQ(errors.codes, std::vector<uint16_t>{768});
  EXPECT_TRUE(fs.files.empty()) << "nothing created";
  EXPECT_TRUE(SaveCableSetFile(fs, errors, u"gone.cbl", set, SaveDisposition::kCreateOrReplace));
  EXPECT_EQ(fs.files[u"gone.cbl"].size(), 45202u);
}

TEST_F(CableFileTest, FailedSaveKeepsTheOldFile) {
  const std::vector<uint8_t> old(45202, 0x33);
  struct Fault {
    const char* name;
    bool MemoryFileSystem::*flag;
    uint32_t shortBy;
  } faults[] = {{"create", &MemoryFileSystem::failCreate, 0},
                {"write", &MemoryFileSystem::failWrite, 0},
                {"short", nullptr, 1},
                {"flush", &MemoryFileSystem::failFlush, 0},
                {"replace", &MemoryFileSystem::failReplace, 0}};
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.name);
    for (auto d : {SaveDisposition::kCreateOrReplace, SaveDisposition::kExistingFile}) {
      MemoryFileSystem disk;
      RecordingErrors errs;
      disk.files[u"keep.cbl"] = old;
      if (f.flag) disk.*(f.flag) = true;
      disk.shortWriteBy = f.shortBy;
      EXPECT_FALSE(SaveCableSetFile(disk, errs, u"keep.cbl", set, d));
      EXPECT_EQ(errs.codes, std::vector<uint16_t>{768});
      EXPECT_EQ(disk.files[u"keep.cbl"], old);
      EXPECT_EQ(disk.files.size(), 1u) << "temporary file removed";
      EXPECT_EQ(disk.openHandles, 0);
    }
  }
}

TEST_F(CableFileTest, SaveRefusesABusyFileOrAnOverlongPath) {
  fs.files[u"busy.cbl"] = std::vector<uint8_t>(10, 1);
  fs.locked[u"busy.cbl"] = 1;
  EXPECT_FALSE(SaveCableSetFile(fs, errors, u"busy.cbl", set, SaveDisposition::kExistingFile));
  std::u16string longPath(kMaxPathUnits, u'x');
  EXPECT_FALSE(SaveCableSetFile(fs, errors, longPath.c_str(), set, SaveDisposition::kCreateOrReplace));
  EXPECT_FALSE(SaveCableSetFile(fs, errors, u"", set, SaveDisposition::kCreateOrReplace));
  EXPECT_EQ(errors.codes, (std::vector<uint16_t>{768, 768, 768}));
  EXPECT_EQ(fs.files[u"busy.cbl"], std::vector<uint8_t>(10, 1));
}

TEST(ExtendedLengthPathTest, ASharePathTakesTheUncForm) {
  char16_t out[32];
  ASSERT_TRUE(ExtendedLengthPath(u"\\\\srv\\s\\a.cbl", out, 32));
  EXPECT_EQ(std::u16string(out), u"\\\\?\\UNC\\srv\\s\\a.cbl");
}

// The POSIX seam on real files, for what only a real folder shows.
class PosixSaveTest : public ::testing::Test {
 protected:
  PosixFileSystem fs;
  const std::filesystem::path dir =
      std::filesystem::path(::testing::TempDir()) / ("pinvoro-save-" + std::to_string(::getpid()));

  void SetUp() override { std::filesystem::create_directories(dir / "real"); }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::u16string At(const char* name) const {
    const std::string path = (dir / name).string();
    return std::u16string(path.begin(), path.end());
  }
  std::string Content(const char* name) const {
    std::ifstream in(dir / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void Plant(const char* name, const char* text) const { std::ofstream(dir / name) << text; }
};

// Files planted under the names a save used to take (beside the link, or
// beside the file it leads to) are neither written through nor replaced.
TEST_F(PosixSaveTest, ALinkedDocumentIsSavedIntoItsFileAndNothingElse) {
  Plant("real/target.cbl", "old");
  std::filesystem::permissions(dir / "real/target.cbl", std::filesystem::perms{0604});  // no umask gives it
  std::filesystem::create_symlink("real/target.cbl", dir / "link.cbl");
  Plant("victim", "keep");
  std::filesystem::create_symlink(dir / "victim", dir / "real/target.cbl.pinvoro-save.tmp");
  Plant("link.cbl.pinvoro-save.tmp", "mine");

  static const CableSet blank{};
  RecordingErrors errors;
  ASSERT_TRUE(SaveCableSetFile(fs, errors, At("link.cbl").c_str(), blank, SaveDisposition::kCreateOrReplace));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.cbl"));
  EXPECT_EQ(Content("real/target.cbl").size(), kCableSetFileSize);
  EXPECT_EQ(std::filesystem::status(dir / "real/target.cbl").permissions(), std::filesystem::perms{0604});
  EXPECT_EQ(Content("victim"), "keep");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "real/target.cbl.pinvoro-save.tmp"));
  EXPECT_EQ(Content("link.cbl.pinvoro-save.tmp"), "mine");
}

TEST_F(PosixSaveTest, AFifoIsRefusedAtOnce) {
  ASSERT_EQ(::mkfifo((dir / "pipe.cbl").c_str(), 0600), 0);
  ::alarm(10);  // an open that blocks ends the run rather than hanging it
  EXPECT_EQ(fs.OpenForRead(At("pipe.cbl").c_str()), kNoFile);
  EXPECT_EQ(fs.OpenForWrite(At("pipe.cbl").c_str()), kNoFile);
  ::alarm(0);
}

}  // namespace

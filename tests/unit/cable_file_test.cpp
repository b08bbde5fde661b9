// Cable-set files over an in-memory disk that fails on demand, and the POSIX
// file system on real files for what only a real folder shows.
#include "cabledata/cable_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

#include "cabledata/posix_file_system.h"
#include "support/cable_images.h"
#include "support/memory_file_system.h"

namespace {

using namespace std::literals;

struct ScriptedPrompt final : ConversionPrompt {
  bool answer = true;
  int asked = 0;
  bool ConfirmOldLayoutConversion() override {
    ++asked;
    return answer;
  }
};

// Switches a disk fault on by name.
void Break(MemoryFileSystem& disk, const std::string& fault) {
  disk.failRead = fault == "read";
  disk.failCreate = fault == "create";
  disk.failWrite = fault == "write";
  disk.shortWriteBy = fault == "short" ? 1 : 0;
  disk.failFlush = fault == "flush";
  disk.failReplace = fault == "replace";
}

struct CableFile : ::testing::Test {
  MemoryFileSystem disk;
  RecordingErrors errors;
  ScriptedPrompt prompt;
  static inline CableSet set, sample;

  void SetUp() override {
    InitCableSet(set);
    InitCableSet(sample);  // every cable differs; probe pins, texts with CR LF
    for (int k = 0; k < kCableCount; ++k) {
      CableRecord& c = sample.cables[k];
      c.pinNames[k][0] = static_cast<char16_t>(u'a' + k);
      PinSetAdd(c.connections[k].bits, 50u + k);
      PinSetAdd(c.probeData.pins, 100u + k % 4);
      std::memcpy(c.info.comment, u"line1\r\nline2", 26);
      std::tie(c.selectedPin, c.alignment) = std::tuple(k * 10, 0xA5);  // conversion must clear the alignment
    }
    sample.reserved = 7;
    sample.currentCable = 4;
  }
  bool Load() { return LoadCableSetFile({disk, errors, prompt}, u"f.cbl", set); }
};

TEST_F(CableFile, AnImageLoadsInPiecesAndTheOldLayoutAfterYes) {
  for (auto& u : sample.cables[8].info.cableType) u = u'Q';
  disk.files[u"f.cbl"] = Image(sample);
  disk.files[u"f.cbl"].resize(sizeof sample + 100, 0xEE);  // trailing bytes are ignored
  disk.readChunk = 1000;
  ASSERT_TRUE(Load());
  sample.cables[8].info.cableType[20] = 0;  // an unterminated text is cut on load
  EXPECT_EQ(Image(set), Image(sample));
  EXPECT_EQ(errors.codes.size() + prompt.asked + disk.openHandles, 0u);

  // Converted: no probe data, no alignment byte, the standard tag. Whatever
  // the set held before must not leak into the converted cables.
  disk.files[u"f.cbl"] = OldLayoutImage(sample);
  ASSERT_TRUE(Load());
  EXPECT_EQ(prompt.asked, 1);
  for (CableRecord& cable : sample.cables) std::tie(cable.probeData, cable.alignment) = std::tuple(ProbeData{}, 0);
  std::memcpy(sample.tag, u"VORKEL_DD", sizeof u"VORKEL_DD");
  EXPECT_EQ(Image(set), Image(sample));
}

TEST_F(CableFile, FailedLoadsLeaveTheSetUnchangedAndTheFileClosed) {
  const struct {
    int size;  // -1: no file
    const char* fault;
    bool yes;
    std::vector<uint16_t> codes;
    int prompts;
  } cases[] = {{-1, "", true, {768}, 0},  {45201, "", true, {769}, 0},     {45061, "", true, {769}, 1},
               {45062, "", false, {}, 1}, {45202, "read", true, {769}, 0}, {45062, "read", true, {769}, 1}};
  const CableSet before = set;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + c.fault);
    disk = MemoryFileSystem{};
    errors.codes.clear();
    std::tie(prompt.asked, prompt.answer) = std::tuple(0, c.yes);
    if (c.size >= 0) disk.files[u"f.cbl"] = std::vector<uint8_t>(static_cast<size_t>(c.size), 0x41);
    Break(disk, c.fault);
    EXPECT_FALSE(Load());
    EXPECT_EQ(std::tuple(errors.codes, prompt.asked, disk.openHandles), std::tuple(c.codes, c.prompts, 0));
    EXPECT_EQ(Image(set), Image(before));
  }
}

TEST_F(CableFile, FailedSaveReportsAndKeepsTheOldFileWhole) {
  const std::vector<uint8_t> old(45202, 0x33);
  const std::u16string overlong(kMaxPathUnits, u'x');
  constexpr auto kExisting = SaveDisposition::kExistingFile, kAny = SaveDisposition::kCreateOrReplace;
  const struct {
    const char* fault;
    const char16_t* path;
    SaveDisposition disposition;
  } cases[] = {{"create", u"f.cbl", kAny},      {"write", u"f.cbl", kExisting}, {"short", u"f.cbl", kAny},
               {"flush", u"f.cbl", kExisting},   {"replace", u"f.cbl", kAny},    {"", u"gone.cbl", kExisting},
               {"", u"", kAny},                  {"", overlong.c_str(), kAny}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault + std::string(c.path, c.path + std::u16string(c.path).size() % 20));
    disk = MemoryFileSystem{};
    errors.codes.clear();
    disk.files[u"f.cbl"] = old;
    Break(disk, c.fault);
    EXPECT_FALSE(SaveCableSetFile(disk, errors, c.path, set, c.disposition));
    EXPECT_EQ(errors.codes, std::vector<uint16_t>{768});
    // No temporary or new file left, nothing open.
    EXPECT_EQ(std::tuple(disk.files, disk.openHandles), std::tuple(decltype(disk.files){{u"f.cbl", old}}, 0));
  }
}

// Through a relative link to an absolute one, a save goes into the file they
// lead to and keeps its permissions; a bare new name gets a new file; a FIFO is
// refused at once, and only regular files count as files.
TEST(PosixFileSystem, ALinkedDocumentIsSavedIntoItsFileAndAFifoRefused) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(::testing::TempDir()) / ("pinvoro-save-" + std::to_string(::getpid()));
  fs::create_directories(dir / "real");
  const auto at = [&](const char* name) { return (dir / name).u16string(); };
  std::ofstream(dir / "real/target.cbl") << "old";
  fs::permissions(dir / "real/target.cbl", fs::perms{0604});  // no umask gives it
  fs::create_symlink(dir / "real/target.cbl", dir / "real/absolute");
  fs::create_symlink("real/absolute", dir / "link.cbl");

  PosixFileSystem posix;
  static const CableSet blank{};
  RecordingErrors errors;
  const fs::path previous = fs::current_path();
  fs::current_path(dir);  // new.cbl goes by its bare name, into the working folder
  for (const std::u16string& name : {at("link.cbl"), u"new.cbl"s}) {
    EXPECT_TRUE(SaveCableSetFile(posix, errors, name.c_str(), blank, SaveDisposition::kCreateOrReplace));
  }
  fs::current_path(previous);
  EXPECT_EQ(fs::file_size(dir / "real/target.cbl") + fs::file_size(dir / "new.cbl"), 2 * kCableSetFileSize);
  EXPECT_TRUE(fs::is_symlink(dir / "link.cbl"));
  EXPECT_EQ(fs::status(dir / "real/target.cbl").permissions(), fs::perms{0604});
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), {}), 2) << "no temporary file left";

  ASSERT_EQ(::mkfifo((dir / "pipe.cbl").c_str(), 0600), 0);
  ::alarm(10);  // an open that blocks ends the run rather than hanging it
  EXPECT_EQ(posix.OpenForRead(at("pipe.cbl").c_str()), kNoFile);
  EXPECT_EQ(posix.OpenForWrite(at("pipe.cbl").c_str()), kNoFile);
  ::alarm(0);
  const auto kind = [&](const char* name) { return posix.KindOf(at(name).c_str()); };
  EXPECT_EQ(std::tuple(kind("pipe.cbl"), kind("real"), kind("link.cbl"), kind("gone.cbl")),
            std::tuple(PathKind::kOther, PathKind::kOther, PathKind::kRegular, PathKind::kMissing));
  fs::remove_all(dir);
}

}  // namespace

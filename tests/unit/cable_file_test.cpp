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

class ScriptedPrompt final : public ConversionPrompt {
 public:
  bool answer = true;
  int asked = 0;
  bool ConfirmOldLayoutConversion() override {
    ++asked;
    return answer;
  }
};

// Switches a disk fault on by name; "busy" is another program holding f.cbl.
void Break(MemoryFileSystem& disk, const std::string& fault) {
  disk.failRead = fault == "read";
  disk.failCreate = fault == "create";
  disk.failWrite = fault == "write";
  disk.shortWriteBy = fault == "short" ? 1 : 0;
  disk.failFlush = fault == "flush";
  disk.failReplace = fault == "replace";
  if (fault == "busy") disk.locked.insert(u"f.cbl");
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
      c.selectedPin = static_cast<uint8_t>(k * 10);
    }
    sample.reserved = 7;
    sample.currentCable = 4;
  }
  bool Load() { return LoadCableSetFile({disk, errors, prompt}, u"f.cbl", set); }
};

TEST_F(CableFile, SavedImageLoadsBackInPiecesAndTheOldLayoutAfterYes) {
  for (auto d : {SaveDisposition::kCreateOrReplace, SaveDisposition::kExistingFile}) {
    ASSERT_TRUE(SaveCableSetFile(disk, errors, u"f.cbl", sample, d));
    ASSERT_EQ(disk.files, (decltype(disk.files){{u"f.cbl", Image(sample)}})) << "no temporary file left";
  }
  for (auto& u : sample.cables[8].info.cableType) u = u'Q';
  disk.files[u"f.cbl"] = Image(sample);
  disk.files[u"f.cbl"].resize(sizeof sample + 100, 0xEE);  // trailing bytes are ignored
  disk.readChunk = 1000;
  ASSERT_TRUE(Load());
  EXPECT_EQ(std::u16string(set.cables[8].info.cableType).size(), 20u);
  sample.cables[8].info.cableType[20] = 0;
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
    uint16_t code;  // 0: none
    int prompts;
  } cases[] = {{-1, "", true, 768, 0},      {45202, "busy", true, 768, 0}, {45201, "", true, 769, 0},
               {45063, "", true, 769, 0},   {45061, "", true, 769, 1},     {0, "", true, 769, 1},
               {45062, "", false, 0, 1},    {45202, "read", true, 769, 0}, {45062, "read", true, 769, 1}};
  const CableSet before = set;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + c.fault);
    MemoryFileSystem fresh;
    disk = fresh;
    errors.codes.clear();
    prompt = {};
    prompt.answer = c.yes;
    if (c.size >= 0) disk.files[u"f.cbl"] = std::vector<uint8_t>(static_cast<size_t>(c.size), 0x41);
    Break(disk, c.fault);
    EXPECT_FALSE(Load());
    EXPECT_EQ(errors.codes, c.code ? std::vector<uint16_t>{c.code} : std::vector<uint16_t>{});
    EXPECT_EQ(prompt.asked, c.prompts);
    EXPECT_EQ(Image(set), Image(before));
    EXPECT_EQ(disk.openHandles, 0);
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
  } cases[] = {{"create", u"f.cbl", kAny},   {"write", u"f.cbl", kExisting}, {"short", u"f.cbl", kAny},
               {"flush", u"f.cbl", kExisting}, {"replace", u"f.cbl", kAny}, {"busy", u"f.cbl", kExisting},
               {"", u"gone.cbl", kExisting},  {"", u"", kAny},              {"", overlong.c_str(), kAny}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault + std::string(c.path, c.path + std::u16string(c.path).size() % 20));
    MemoryFileSystem fresh;
    disk = fresh;
    errors.codes.clear();
    disk.files[u"f.cbl"] = old;
    Break(disk, c.fault);
    EXPECT_FALSE(SaveCableSetFile(disk, errors, c.path, set, c.disposition));
    EXPECT_EQ(errors.codes, std::vector<uint16_t>{768});
    EXPECT_EQ(disk.files, (decltype(disk.files){{u"f.cbl", old}})) << "no temporary or new file left";
    EXPECT_EQ(disk.openHandles, 0);
  }
}

// Files planted under the names a save used to take (beside the link, or
// beside the file it leads to) are neither written through nor replaced; a
// FIFO is refused at once.
TEST(PosixFileSystem, ALinkedDocumentIsSavedIntoItsFileAndNothingElse) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(::testing::TempDir()) / ("pinvoro-save-" + std::to_string(::getpid()));
  fs::create_directories(dir / "real");
  const auto plant = [&](const char* name, const char* text) { std::ofstream(dir / name) << text; };
  const auto content = [&](const char* name) {
    std::ifstream in(dir / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const auto at = [&](const char* name) {
    const std::string path = (dir / name).string();
    return std::u16string(path.begin(), path.end());
  };
  plant("real/target.cbl", "old");
  fs::permissions(dir / "real/target.cbl", fs::perms{0604});  // no umask gives it
  fs::create_symlink("real/target.cbl", dir / "link.cbl");
  plant("victim", "keep");
  fs::create_symlink(dir / "victim", dir / "real/target.cbl.pinvoro-save.tmp");
  plant("link.cbl.pinvoro-save.tmp", "mine");

  PosixFileSystem posix;
  static const CableSet blank{};
  RecordingErrors errors;
  ASSERT_TRUE(SaveCableSetFile(posix, errors, at("link.cbl").c_str(), blank, SaveDisposition::kCreateOrReplace));
  EXPECT_TRUE(fs::is_symlink(dir / "link.cbl"));
  EXPECT_EQ(content("real/target.cbl").size(), kCableSetFileSize);
  EXPECT_EQ(fs::status(dir / "real/target.cbl").permissions(), fs::perms{0604});
  EXPECT_EQ(content("victim") + content("link.cbl.pinvoro-save.tmp"), "keepmine");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), {}), 2) << "no temporary file left";

  ASSERT_EQ(::mkfifo((dir / "pipe.cbl").c_str(), 0600), 0);
  ::alarm(10);  // an open that blocks ends the run rather than hanging it
  EXPECT_EQ(posix.OpenForRead(at("pipe.cbl").c_str()), kNoFile);
  EXPECT_EQ(posix.OpenForWrite(at("pipe.cbl").c_str()), kNoFile);
  ::alarm(0);
  fs::remove_all(dir);
}

}  // namespace

// The File menu as the operator uses it: opening a set and a file of the old
// layout, starting over, saving a changed set under a name and over its file,
// and leaving with changes. Changes come from a master read, the operator's
// everyday way of changing the set.
#include <filesystem>
#include <fstream>

#include "scenario_win.h"
#include "support/wine_path_win.h"

namespace {

constexpr uintmax_t kSetFileSize = 45202, kOldSetFileSize = 45062;

class FileMenu : public ProgramTest {
 protected:
  static uintmax_t SizeOf(const std::wstring& path) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
  }
  void Open(const std::wstring& path) {
    op_.ChooseMenu(kMenuOpen);
    ASSERT_TRUE(Operator::CompleteFileDialog(WaitForDialog(L"Open file", 0), path));
  }
  // The set changed as a master read changes it: cable 1 gets the wiring.
  void ChangeBySomeMasterRead(const char* plug) {
    ASSERT_EQ(unit_.Do(plug), "ok");
    ASSERT_TRUE(ChooseMode(kMenuMasterWork, kReadMaster));
    Operator::Press(op_.Control(kReadMaster));
    ExpectBox(L"Read master", L"Overwrite information of cable1.. OK?", IDYES);
    ASSERT_TRUE(WaitUntil([&] { return Enabled(kWorkStart) && Caption().ends_with(L" *]"); })) << Utf8(Caption());
  }
};

TEST_F(FileMenu, OpenAnOldFileInitializeSaveAsSaveThenLeaveWithChanges) {
  ASSERT_NE(Start(), nullptr);
  const std::wstring sample = WinePathOfUnix(L"" PINVORO_E2E_SAMPLE_SET);
  Open(sample);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + sample + L"]")) << Utf8(Caption());
  EXPECT_EQ((std::vector<std::wstring>{Status(0), TextOf(kPinCellBase), TextOf(kPanelProductNo), TextOf(kCableSelector)}),
            (std::vector<std::wstring>{sample, L"PWR+", L"DM-0001", L"1.PWR+CAN 8P"}));
  EXPECT_TRUE(op_.Dialogs().empty()) << "no box for a good file";
  Snapshot(op_.Main(), L"sample");

  // A file of the old layout is only read after a question, in Japanese
  // whatever the interface language.
  const std::wstring old = dir_ + L"\\old.cbl";
  std::ofstream(std::filesystem::path(old), std::ios::binary) << std::string(kOldSetFileSize, '\0');
  for (int answer : {IDNO, IDYES}) {
    Open(old);
    ExpectBox(L"ファイル形式", L"古いファイル形式です。読み込んで変換しますか?", answer, answer == IDNO ? L"question" : nullptr);
    EXPECT_TRUE(CaptionBecomes(L"Pinvoro[" + (answer == IDNO ? sample : old) + L"]")) << Utf8(Caption());
  }

  op_.ChooseMenu(kMenuInitialize);
  ExpectBox(L"Caution", L"Initialize cable data. OK?", IDYES, L"initialize");
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[New cable data]")) << Utf8(Caption());
  EXPECT_TRUE(WaitUntil([&] { return TextOf(kPinCellBase) == L"A01 "; }));

  ChangeBySomeMasterRead("plug nets A01,B01");
  const std::wstring path = dir_ + L"\\harness.cbl", kept = dir_ + L"\\kept.cbl";
  op_.ChooseMenu(kMenuSaveAs);
  ASSERT_TRUE(Operator::CompleteFileDialog(WaitForDialog(L"Save file", 0), path));
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + path + L"]")) << Utf8(Caption());
  EXPECT_EQ(SizeOf(path), kSetFileSize);

  // Saving over the file asks first, also when nothing changed since; the
  // file cut short meanwhile shows that it is written again.
  std::ofstream(std::filesystem::path(path), std::ios::binary) << "cut";
  op_.ChooseMenu(kMenuSave);
  ExpectBox(L"Overwrite", L"Overwrite present cable data?", IDYES, L"overwrite");
  EXPECT_TRUE(WaitUntil([&] { return SizeOf(path) == kSetFileSize; })) << "not saved again";

  // Leaving with changes asks; Cancel stays and writes no settings, Yes saves
  // under a new name.
  ChangeBySomeMasterRead("plug nets A02,B02");
  op_.ChooseMenu(kMenuExit);
  ExpectBox(L"Save as", L"Data changed. Save changes?", IDCANCEL, L"question");
  EXPECT_EQ(Caption(), L"Pinvoro[" + path + L" *]");
  EXPECT_EQ(SettingsSection(L"RS232C"), (std::vector<std::wstring>{L"Port=1", L"Lang=2"})) << "settings written";
  op_.ChooseMenu(kMenuExit);
  ExpectBox(L"Save as", L"Data changed. Save changes?", IDYES);
  ASSERT_TRUE(Operator::CompleteFileDialog(WaitForDialog(L"Save file", 0), kept));
  ExpectExitsWithZero();
  EXPECT_EQ(SizeOf(kept), kSetFileSize);
}

}  // namespace

// The File menu as the operator uses it: opening a set, the files the program
// refuses or asks about, saving a changed set, saving again over its file, a
// file that vanished, leaving with changes and starting over. Changes come
// from a master read, the operator's everyday way of changing the set.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "scenario_win.h"
#include "support/wine_path_win.h"

namespace {

constexpr uintmax_t kSetFileSize = 45202;

class FileMenu : public ProgramTest {
 protected:
  std::wstring PathIn(const wchar_t* name) const { return dir_ + L"\\" + name; }
  static uintmax_t SizeOf(const std::wstring& path) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(std::filesystem::path(path), ec);
    return ec ? 0 : size;
  }
  std::wstring WriteFile(const wchar_t* name, size_t size) {
    const std::wstring path = PathIn(name);
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out << std::string(size, '\0');
    return path;
  }
  void ExpectNewDocumentStill() {
    EXPECT_EQ(Caption(), L"Pinvoro[New cable data]");
    EXPECT_EQ(Status(0), L"New cable data");
    EXPECT_EQ(TextOf(kPinCellBase), L"A01 ");
  }

  // The set changed as a master read changes it: cable 1 gets the wiring.
  void ChangeBySomeMasterRead() {
    ASSERT_EQ(unit_.Do("plug nets A01,B01"), "ok");
    op_.ChooseMenu(kMenuMasterWork);
    ASSERT_TRUE(WaitUntil([&] { return Enabled(kReadMaster); }));
    op_.Press(op_.Control(kReadMaster));
    const std::optional<ProgramDialog> box = op_.WaitForMessageBox();
    ASSERT_TRUE(box.has_value()) << "no overwrite prompt of the master read";
    ASSERT_TRUE(op_.Answer(*box, IDYES));
    ASSERT_TRUE(WaitUntil([&] { return Enabled(kWorkStart); }));
    ASSERT_TRUE(WaitUntil([&] { return Caption().ends_with(L" *]"); })) << Narrow(Caption());
  }
};

TEST_F(FileMenu, ANewSetIsSavedUnderANameThenOverItsFile) {
  ASSERT_NE(StartIn(), nullptr);
  // Nothing to save yet: neither command shows anything.
  op_.ChooseMenu(kMenuSave);
  op_.ChooseMenu(kMenuSaveAs);
  EXPECT_FALSE(op_.WaitForFileDialog(1500).has_value());
  EXPECT_TRUE(op_.Dialogs().empty());

  ChangeBySomeMasterRead();
  EXPECT_EQ(Caption(), L"Pinvoro[New cable data *]");
  EXPECT_EQ(Status(0), L"New cable data *");
  // The cable chosen is kept in the file, and ignored when it is opened again.
  ASSERT_TRUE(op_.SelectComboItem(op_.Control(kCableSelector), 2));

  const std::wstring path = PathIn(L"harness.cbl");
  op_.ChooseMenu(kMenuSave);
  CompleteFileDialog(L"Save file", path);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + path + L"]")) << Narrow(Caption());
  EXPECT_EQ(Status(0), path);
  EXPECT_EQ(SizeOf(path), kSetFileSize);

  // Saving over the file asks first, also when nothing changed since.
  op_.ChooseMenu(kMenuSave);
  ExpectBox(L"Overwrite", L"Overwrite present cable data?", IDYES, L"overwrite");
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + path + L"]"));
  EXPECT_EQ(SizeOf(path), kSetFileSize);

  // Back to a new set, then the saved one again: the first cable is shown.
  op_.ChooseMenu(kMenuInitialize);
  ExpectBox(L"Caution", L"Initialize cable data. OK?", IDYES);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[New cable data]"));
  Open(path);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + path + L"]"));
  EXPECT_EQ(TextOf(kCableSelector).substr(0, 2), L"1.");
  EXPECT_TRUE(op_.Dialogs().empty());
}

TEST_F(FileMenu, SavingOverAFileThatVanishedReports768AndCreatesNothing) {
  ASSERT_NE(StartIn(), nullptr);
  const std::wstring path = PathIn(L"doc.cbl");
  std::filesystem::copy_file(std::filesystem::path(WinePathOfUnix(PINVORO_E2E_SAMPLE_SET)), std::filesystem::path(path));
  Open(path);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + path + L"]"));
  ChangeBySomeMasterRead();

  std::filesystem::remove(std::filesystem::path(path));
  op_.ChooseMenu(kMenuSave);
  ExpectBox(L"Overwrite", L"Overwrite present cable data?", IDYES);
  ExpectBox(L"Error", L"Code 768:\r\nFailed in opening file\r\n", IDOK, L"error");
  EXPECT_EQ(Caption(), L"Pinvoro[" + path + L" *]") << "still changed";
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path)));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path + L".pinvoro-save.tmp")));
}

TEST_F(FileMenu, LeavingWithChangesStaysOpenUntilTheyAreSaved) {
  ASSERT_NE(StartIn(), nullptr);
  ChangeBySomeMasterRead();

  op_.ChooseMenu(kMenuExit);
  ExpectBox(L"Save as", L"Data changed. Save changes?", IDYES, L"question");
  CancelFileDialog();
  EXPECT_FALSE(op_.WaitForMessageBox(1000).has_value());
  EXPECT_TRUE(op_.Running()) << "a cancelled save must not lose the changes";
  EXPECT_EQ(Caption(), L"Pinvoro[New cable data *]");

  op_.ChooseMenu(kMenuExit);
  ExpectBox(L"Save as", L"Data changed. Save changes?", IDCANCEL);
  EXPECT_TRUE(op_.Running());

  const std::wstring path = PathIn(L"kept.cbl");
  op_.ChooseMenu(kMenuExit);
  ExpectBox(L"Save as", L"Data changed. Save changes?", IDYES);
  CompleteFileDialog(L"Save file", path);
  ExpectExitsWithZero();
  EXPECT_EQ(SizeOf(path), kSetFileSize);
  snapshotOfFinalState_ = false;
}

TEST_F(FileMenu, InitializeAsksAndThenStartsANewSet) {
  ASSERT_NE(StartIn(), nullptr);
  const std::wstring sample = WinePathOfUnix(PINVORO_E2E_SAMPLE_SET);
  Open(sample);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + sample + L"]"));

  op_.ChooseMenu(kMenuInitialize);
  ExpectBox(L"Caution", L"Initialize cable data. OK?", IDNO, L"question");
  EXPECT_EQ(TextOf(kPinCellBase), L"PWR+");

  op_.ChooseMenu(kMenuInitialize);
  ExpectBox(L"Caution", L"Initialize cable data. OK?", IDYES);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[New cable data]"));
  EXPECT_EQ(Status(0), L"New cable data");
  EXPECT_TRUE(WaitUntil([&] { return TextOf(kPinCellBase) == L"A01 "; }));
  EXPECT_EQ(TextOf(kPanelProductNo), L"");
}

TEST_F(FileMenu, AnOldFileIsConvertedOnYes) {
  ASSERT_NE(StartIn(), nullptr);
  const std::wstring path = WriteFile(L"old.cbl", 45062);
  Open(path);
  ExpectBox(L"ファイル形式", L"古いファイル形式です。読み込んで変換しますか?", IDYES);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + path + L"]")) << Narrow(Caption());
  EXPECT_EQ(SizeOf(path), 45062u) << "reading converts in memory only";
}

using OpenCableSet = FileMenu;

TEST_F(OpenCableSet, TheSampleSetShowsOnThePanelAndInTheTitle) {
  ASSERT_NE(StartIn(), nullptr);
  const std::wstring sample = WinePathOfUnix(PINVORO_E2E_SAMPLE_SET);
  Open(sample);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + sample + L"]")) << Narrow(Caption());
  EXPECT_EQ(Status(0), sample);
  EXPECT_EQ(TextOf(kPinCellBase), L"PWR+");
  EXPECT_EQ(TextOf(kPanelProductNo), L"DM-0001");
  EXPECT_EQ(TextOf(kCableSelector), L"1.PWR+CAN 8P");
  EXPECT_TRUE(op_.Dialogs().empty()) << "no box for a good file";
}

TEST_F(OpenCableSet, AnOldFileIsOnlyReadAfterTheFixedJapaneseQuestion) {
  ASSERT_NE(StartIn(), nullptr);
  Open(WriteFile(L"old.cbl", 45062));
  // Japanese whatever the interface language.
  ExpectBox(L"ファイル形式", L"古いファイル形式です。読み込んで変換しますか?", IDNO, L"question");
  ExpectNewDocumentStill();
}

TEST_F(OpenCableSet, AFileCutShortIsRefusedAndChangesNothing) {
  ASSERT_NE(StartIn(), nullptr);
  Open(WriteFile(L"short.cbl", 45100));
  ExpectBox(L"Error", L"Code 769:\r\nFile pointer error\r\n", IDOK, L"box");
  ExpectNewDocumentStill();
}

}  // namespace

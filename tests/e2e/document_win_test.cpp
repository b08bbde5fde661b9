// The File menu as the operator uses it: saving a changed set, saving again
// over its file, a file that vanished, leaving with changes, starting over,
// and an old file converted on Yes. Changes come from a master read, the
// operator's everyday way of changing the set.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "scenario_win.h"
#include "support/wine_path_win.h"

namespace {

constexpr WORD kMenuOpen = 40001;
constexpr WORD kMenuSave = 40002;
constexpr WORD kMenuSaveAs = 40003;
constexpr WORD kMenuInitialize = 40004;
constexpr WORD kMenuMasterWork = 40008;
constexpr int kReadMaster = 1315;
constexpr int kWorkStart = 1316;
constexpr int kFirstPinCell = 1333;
constexpr int kProductNo = 1328;
constexpr int kCableSelector = 1437;
constexpr uintmax_t kSetFileSize = 45202;

class FileMenu : public ProgramTest {
 protected:
  HWND StartInEnglish() {
    EXPECT_EQ(unit_.Do("dsr on"), "ok");
    WriteSettingsFile({L"[RS232C]", L"Port=1", L"Lang=2"});
    return StartProgramAndWait();
  }
  std::wstring Caption() const { return Operator::Text(op_.Main()); }
  bool CaptionBecomes(const std::wstring& caption) {
    return WaitUntil([&] { return Caption() == caption; });
  }
  std::wstring PathIn(const wchar_t* name) const { return dir_ + L"\\" + name; }
  static uintmax_t SizeOf(const std::wstring& path) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(std::filesystem::path(path), ec);
    return ec ? 0 : size;
  }

  // The set changed as a master read changes it: cable 1 gets the wiring.
  void ChangeBySomeMasterRead() {
    ASSERT_EQ(unit_.Do("plug nets A01,B01"), "ok");
    op_.ChooseMenu(kMenuMasterWork);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(op_.Control(kReadMaster)) != FALSE; }));
    op_.Press(op_.Control(kReadMaster));
    const std::optional<ProgramDialog> box = op_.WaitForMessageBox();
    ASSERT_TRUE(box.has_value()) << "no overwrite prompt of the master read";
    ASSERT_TRUE(op_.Answer(*box, IDYES));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(op_.Control(kWorkStart)) != FALSE; }));
    ASSERT_TRUE(WaitUntil([&] { return Caption().ends_with(L" *]"); })) << Narrow(Caption());
  }

  // The prompt that must come now, answered.
  void Expect(const wchar_t* caption, const wchar_t* text, int answer, const wchar_t* snapshot = nullptr) {
    const std::optional<ProgramDialog> box = op_.WaitForMessageBox();
    ASSERT_TRUE(box.has_value()) << "no box \"" << Narrow(text) << "\"";
    EXPECT_EQ(box->caption, caption);
    EXPECT_EQ(box->text, text);
    if (snapshot) Snapshot(box->hwnd, snapshot);
    ASSERT_TRUE(op_.Answer(*box, answer));
  }
  void CompleteFileDialog(const wchar_t* caption, const std::wstring& path) {
    const std::optional<ProgramDialog> dialog = op_.WaitForFileDialog();
    ASSERT_TRUE(dialog.has_value()) << "no file dialog";
    EXPECT_EQ(dialog->caption, caption);
    ASSERT_TRUE(op_.CompleteFileDialog(*dialog, path));
  }
  void CancelFileDialog() {
    const std::optional<ProgramDialog> dialog = op_.WaitForFileDialog();
    ASSERT_TRUE(dialog.has_value()) << "no file dialog";
    ASSERT_TRUE(op_.Answer(*dialog, IDCANCEL));
  }
  void Open(const std::wstring& path) {
    op_.ChooseMenu(kMenuOpen);
    CompleteFileDialog(L"Open file", path);
  }
  // The panel's cable selector moved as the operator moves it.
  void SelectCable(int index) {
    HWND selector = op_.Control(kCableSelector);
    SendMessageW(selector, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(GetParent(selector), WM_COMMAND, MAKEWPARAM(kCableSelector, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(selector));
  }
};

TEST_F(FileMenu, ANewSetIsSavedUnderANameThenOverItsFile) {
  ASSERT_NE(StartInEnglish(), nullptr);
  // Nothing to save yet: neither command shows anything.
  op_.ChooseMenu(kMenuSave);
  op_.ChooseMenu(kMenuSaveAs);
  EXPECT_FALSE(op_.WaitForFileDialog(1500).has_value());
  EXPECT_TRUE(op_.Dialogs().empty());

  ChangeBySomeMasterRead();
  EXPECT_EQ(Caption(), L"Pinvoro[New cable data *]");
  EXPECT_EQ(Status(0), L"New cable data *");
  SelectCable(2);  // kept in the file, and ignored when it is opened again

  const std::wstring path = PathIn(L"harness.cbl");
  op_.ChooseMenu(kMenuSave);
  CompleteFileDialog(L"Save file", path);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + path + L"]")) << Narrow(Caption());
  EXPECT_EQ(Status(0), path);
  EXPECT_EQ(SizeOf(path), kSetFileSize);

  // Saving over the file asks first, also when nothing changed since.
  op_.ChooseMenu(kMenuSave);
  Expect(L"Overwrite", L"Overwrite present cable data?", IDYES, L"overwrite");
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + path + L"]"));
  EXPECT_EQ(SizeOf(path), kSetFileSize);

  // Back to a new set, then the saved one again: the first cable is shown.
  op_.ChooseMenu(kMenuInitialize);
  Expect(L"Caution", L"Initialize cable data. OK?", IDYES);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[New cable data]"));
  Open(path);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + path + L"]"));
  EXPECT_EQ(Operator::Text(op_.Control(kCableSelector)).substr(0, 2), L"1.");
  EXPECT_TRUE(op_.Dialogs().empty());
}

TEST_F(FileMenu, SavingOverAFileThatVanishedReports768AndCreatesNothing) {
  ASSERT_NE(StartInEnglish(), nullptr);
  const std::wstring path = PathIn(L"doc.cbl");
  std::filesystem::copy_file(std::filesystem::path(WinePathOfUnix(PINVORO_E2E_SAMPLE_SET)), std::filesystem::path(path));
  Open(path);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + path + L"]"));
  ChangeBySomeMasterRead();

  std::filesystem::remove(std::filesystem::path(path));
  op_.ChooseMenu(kMenuSave);
  Expect(L"Overwrite", L"Overwrite present cable data?", IDYES);
  Expect(L"Error", L"Code 768:\r\nFailed in opening file\r\n", IDOK, L"error");
  EXPECT_EQ(Caption(), L"Pinvoro[" + path + L" *]") << "still changed";
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path)));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path + L".pinvoro-save.tmp")));
}

TEST_F(FileMenu, LeavingWithChangesStaysOpenUntilTheyAreSaved) {
  ASSERT_NE(StartInEnglish(), nullptr);
  ChangeBySomeMasterRead();

  op_.ChooseMenu(kMenuExit);
  Expect(L"Save as", L"Data changed. Save changes?", IDYES, L"question");
  CancelFileDialog();
  EXPECT_FALSE(op_.WaitForMessageBox(1000).has_value());
  EXPECT_TRUE(op_.Running()) << "a cancelled save must not lose the changes";
  EXPECT_EQ(Caption(), L"Pinvoro[New cable data *]");

  op_.ChooseMenu(kMenuExit);
  Expect(L"Save as", L"Data changed. Save changes?", IDCANCEL);
  EXPECT_TRUE(op_.Running());

  const std::wstring path = PathIn(L"kept.cbl");
  op_.ChooseMenu(kMenuExit);
  Expect(L"Save as", L"Data changed. Save changes?", IDYES);
  CompleteFileDialog(L"Save file", path);
  ExpectExitsWithZero();
  EXPECT_EQ(SizeOf(path), kSetFileSize);
  snapshotOfFinalState_ = false;
}

TEST_F(FileMenu, InitializeAsksAndThenStartsANewSet) {
  ASSERT_NE(StartInEnglish(), nullptr);
  const std::wstring sample = WinePathOfUnix(PINVORO_E2E_SAMPLE_SET);
  Open(sample);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + sample + L"]"));

  op_.ChooseMenu(kMenuInitialize);
  Expect(L"Caution", L"Initialize cable data. OK?", IDNO, L"question");
  EXPECT_EQ(Operator::Text(op_.Control(kFirstPinCell)), L"PWR+");

  op_.ChooseMenu(kMenuInitialize);
  Expect(L"Caution", L"Initialize cable data. OK?", IDYES);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[New cable data]"));
  EXPECT_EQ(Status(0), L"New cable data");
  EXPECT_TRUE(WaitUntil([&] { return Operator::Text(op_.Control(kFirstPinCell)) == L"A01 "; }));
  EXPECT_EQ(Operator::Text(op_.Control(kProductNo)), L"");
}

TEST_F(FileMenu, AnOldFileIsConvertedOnYes) {
  ASSERT_NE(StartInEnglish(), nullptr);
  const std::wstring path = PathIn(L"old.cbl");
  {
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out << std::string(45062, '\0');
  }
  Open(path);
  Expect(L"ファイル形式", L"古いファイル形式です。読み込んで変換しますか?", IDYES);
  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[" + path + L"]")) << Narrow(Caption());
  EXPECT_EQ(SizeOf(path), 45062u) << "reading converts in memory only";
}

}  // namespace

// File > Open as the operator uses it: the open dialog, the loaded set on the
// panel and in the title, and the files the program refuses or asks about.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scenario_win.h"
#include "support/wine_path_win.h"

namespace {

constexpr WORD kMenuOpen = 40001;
constexpr int kFirstPinCell = 1333;
constexpr int kProductNo = 1328;
constexpr int kCableSelector = 1437;

class OpenCableSet : public ProgramTest {
 protected:
  HWND StartInEnglish() {
    EXPECT_EQ(unit_.Do("dsr on"), "ok");
    WriteSettingsFile({L"[RS232C]", L"Port=1", L"Lang=2"});
    return StartProgramAndWait();
  }
  // Chooses File > Open and confirms the dialog with path.
  void Open(const std::wstring& path) {
    op_.ChooseMenu(kMenuOpen);
    const std::optional<ProgramDialog> dialog = op_.WaitForFileDialog();
    ASSERT_TRUE(dialog.has_value()) << "no open dialog";
    EXPECT_EQ(dialog->caption, L"Open file");
    ASSERT_TRUE(op_.CompleteFileDialog(*dialog, path));
  }
  std::wstring WriteFile(const wchar_t* name, size_t size) {
    const std::wstring path = dir_ + L"\\" + name;
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out << std::string(size, '\0');
    return path;
  }
  void ExpectNewDocumentStill(HWND main) {
    EXPECT_EQ(Operator::Text(main), L"Pinvoro[New cable data]");
    EXPECT_EQ(Status(0), L"New cable data");
    EXPECT_EQ(Operator::Text(op_.Control(kFirstPinCell)), L"A01 ");
  }
};

TEST_F(OpenCableSet, TheSampleSetShowsOnThePanelAndInTheTitle) {
  HWND main = StartInEnglish();
  ASSERT_NE(main, nullptr);
  const std::wstring sample = WinePathOfUnix(PINVORO_E2E_SAMPLE_SET);
  Open(sample);
  ASSERT_TRUE(WaitUntil([&] { return Operator::Text(main) == L"Pinvoro[" + sample + L"]"; }, kWaitMs))
      << Narrow(Operator::Text(main));
  EXPECT_EQ(Status(0), sample);
  EXPECT_EQ(Operator::Text(op_.Control(kFirstPinCell)), L"PWR+");
  EXPECT_EQ(Operator::Text(op_.Control(kProductNo)), L"DM-0001");
  EXPECT_EQ(Operator::Text(op_.Control(kCableSelector)), L"1.PWR+CAN 8P");
  EXPECT_TRUE(op_.Dialogs().empty()) << "no box for a good file";
}

TEST_F(OpenCableSet, AnOldFileIsOnlyReadAfterTheFixedJapaneseQuestion) {
  HWND main = StartInEnglish();
  ASSERT_NE(main, nullptr);
  Open(WriteFile(L"old.cbl", 45062));
  const std::optional<ProgramDialog> box = op_.WaitForMessageBox();
  ASSERT_TRUE(box.has_value()) << "no conversion question";
  EXPECT_EQ(box->caption, L"ファイル形式") << "Japanese whatever the interface language";
  EXPECT_EQ(box->text, L"古いファイル形式です。読み込んで変換しますか?");
  Snapshot(nullptr, L"question");
  ASSERT_TRUE(op_.Answer(*box, IDNO));
  ExpectNewDocumentStill(main);
}

TEST_F(OpenCableSet, AFileCutShortIsRefusedAndChangesNothing) {
  HWND main = StartInEnglish();
  ASSERT_NE(main, nullptr);
  Open(WriteFile(L"short.cbl", 45100));
  const std::optional<ProgramDialog> box = op_.WaitForMessageBox();
  ASSERT_TRUE(box.has_value()) << "no error box";
  EXPECT_EQ(box->caption, L"Error");
  EXPECT_EQ(box->text, L"Code 769:\r\nFile pointer error\r\n");
  Snapshot(nullptr, L"box");
  ASSERT_TRUE(op_.Answer(*box, IDOK));
  ExpectNewDocumentStill(main);
}

}  // namespace

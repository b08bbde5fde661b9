// The cable list and the editors it opens, as the operator uses them: copying
// a cable, its information and probe pins, what the panel and the title show
// afterwards, and the dialogs in each language.
#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "scenario_win.h"

namespace {

constexpr WORD kMenuEditCableData = 40010;
constexpr WORD kMenuProbePlus = 40009;

// The cable list (106) and the editors over one cable.
constexpr int kList = 1290;
constexpr int kCopy = 1291;
constexpr int kPaste = 1292;
constexpr int kCableInfo = 1293;
constexpr int kProbeData = 1295;
constexpr int kProductNoEdit = 1280;
constexpr int kModelEdit = 1281;
constexpr int kCommentEdit = 1284;
constexpr int kPinCheckBase = 1051;

// The mode panel.
constexpr int kProbePlusStart = 1318;
constexpr int kProbePlusFinish = 1319;
constexpr int kResultBox = 1325;
constexpr int kResultLog = 1326;
constexpr int kPanelProductNo = 1328;
constexpr int kPanelModel = 1329;
constexpr int kPanelComment = 1332;
constexpr int kPinCellBase = 1333;
constexpr int kCableSelector = 1437;

constexpr int kA01 = 0, kA50 = 49, kB01 = 50, kB02 = 51, kC04 = 103;
constexpr COLORREF kYellow = RGB(247, 247, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlue = RGB(0, 127, 255);
constexpr COLORREF kRed = RGB(255, 63, 0);

struct Language {
  int index;  // the settings file's Lang
  const char* name;
  const wchar_t* listTitle;
  const wchar_t* infoTitle;
  const wchar_t* probeTitle;
};
const Language kLanguages[] = {
    {0, "Japanese", L"ケーブルデータ編集", L"ケーブル情報編集", L"プローブデータ編集"},
    {1, "Chinese", L"电缆数据编辑", L"电缆情报编辑", L"探针数据编辑"},
    {2, "English", L"Edit Cable Data", L"Edit Cable Information", L"Edit Probe Data"},
};
const Language& kEnglish = kLanguages[2];

class CableListTest : public ProgramTest {
 protected:
  HWND Start(const Language& language = kEnglish) {
    WriteSettingsFile({L"[RS232C]", L"Port=1", L"Lang=" + std::to_wstring(language.index)});
    return StartProgramAndWait();
  }

  // The program's dialog with this caption, once it is on screen.
  HWND WaitForDialog(const std::wstring& caption) {
    HWND found = nullptr;
    WaitUntil([&] {
      for (const ProgramDialog& d : op_.Dialogs()) {
        if (d.caption == caption && IsWindowVisible(d.hwnd)) found = d.hwnd;
      }
      return found != nullptr;
    });
    return found;
  }
  HWND OpenList(const Language& language = kEnglish) {
    op_.ChooseMenu(kMenuEditCableData);
    return WaitForDialog(language.listTitle);
  }
  // Presses a button of the dialog that opens another dialog, and waits for it.
  HWND Open(HWND dialog, int button, const std::wstring& caption) {
    op_.Press(Operator::Control(dialog, button));
    return WaitForDialog(caption);
  }
  // Without a window manager Wine holds the program for a while after it
  // hides a top-level window: wait until it answers again, so that what is
  // read or pictured next is up to date.
  bool Gone(HWND dialog) {
    DWORD_PTR ignored = 0;
    return WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }) &&
           SendMessageTimeoutW(op_.Main(), WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &ignored) != 0;
  }
  bool Close(HWND dialog, int button) {
    op_.Press(Operator::Control(dialog, button));
    return Gone(dialog);
  }
  bool CloseWithKey(HWND dialog, WORD key) { return op_.PressKeys(dialog, {key}) && Gone(dialog); }

  std::wstring Cell(HWND list, int row, int column) const { return op_.ListText(list, row, column); }
  static bool Checked(HWND dialog, int id) {
    return SendMessageW(Operator::Control(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  std::wstring Panel(int id) const { return Operator::Text(op_.Control(id)); }
  bool Enabled(int id) const { return IsWindowEnabled(op_.Control(id)) != FALSE; }
  bool CellsAre(std::initializer_list<int> pins, COLORREF colour) const {
    for (int pin : pins) {
      HWND cell = op_.Control(kPinCellBase + pin);
      RECT r{};
      GetClientRect(cell, &r);
      if (Operator::Pixel(cell, r.right - 3, r.bottom / 2) != colour) return false;
    }
    return true;
  }
};

TEST_F(CableListTest, InformationEditedThenCopiedOntoCableFive) {
  HWND main = Start();
  ASSERT_NE(main, nullptr);
  HWND dialog = OpenList();
  ASSERT_NE(dialog, nullptr) << "no cable list";
  HWND list = Operator::Control(dialog, kList);
  ASSERT_EQ(op_.ListCount(list), 10);
  EXPECT_EQ(Cell(list, 0, 0), L"1.");
  EXPECT_EQ(Cell(list, 9, 0), L"10.");
  EXPECT_EQ(op_.ListSelection(list), 0) << "the current cable is selected";

  HWND info = Open(dialog, kCableInfo, L"Edit Cable Information");
  ASSERT_NE(info, nullptr);
  // The eleventh character of the product number is refused as it is typed.
  ASSERT_TRUE(op_.Type(Operator::Control(info, kProductNoEdit), L"ABCDEFGHIJK"));
  EXPECT_TRUE(WaitUntil([&] { return Operator::Text(Operator::Control(info, kProductNoEdit)).size() >= 10; }));
  EXPECT_EQ(Operator::Text(Operator::Control(info, kProductNoEdit)), L"ABCDEFGHIJ");
  ASSERT_TRUE(op_.Type(Operator::Control(info, kModelEdit), L"Model 7"));
  ASSERT_TRUE(op_.Type(Operator::Control(info, kCommentEdit), L"first\nsecond"));
  ASSERT_TRUE(WaitUntil([&] { return Operator::Text(Operator::Control(info, kCommentEdit)) == L"first\r\nsecond"; }))
      << Narrow(Operator::Text(Operator::Control(info, kCommentEdit)));
  Snapshot(info, L"info");
  ASSERT_TRUE(Close(info, IDOK));
  EXPECT_TRUE(WaitUntil([&] { return Cell(list, 0, 1) == L"ABCDEFGHIJ"; })) << Narrow(Cell(list, 0, 1));
  EXPECT_EQ(Cell(list, 0, 2), L"Model 7");
  EXPECT_EQ(Cell(list, 0, 5), L"first\r\nsecond");

  op_.Press(Operator::Control(dialog, kCopy));
  ASSERT_TRUE(op_.ClickListRow(list, 4));
  ASSERT_TRUE(WaitUntil([&] { return op_.ListSelection(list) == 4; }));
  op_.Press(Operator::Control(dialog, kPaste));
  ASSERT_TRUE(WaitUntil([&] { return Cell(list, 4, 1) == L"ABCDEFGHIJ"; })) << "row 5 does not show cable 1";
  EXPECT_EQ(Cell(list, 4, 2), L"Model 7");
  EXPECT_EQ(Cell(list, 4, 5), L"first\r\nsecond");
  EXPECT_EQ(Cell(list, 3, 1), L"");
  Snapshot(dialog, L"list");

  // Enter closes the list; cable 5 becomes the current one.
  ASSERT_TRUE(CloseWithKey(dialog, VK_RETURN));
  EXPECT_TRUE(WaitUntil([&] { return Operator::Text(main) == L"Pinvoro[New cable data *]"; }))
      << Narrow(Operator::Text(main));
  EXPECT_TRUE(WaitUntil([&] { return Panel(kPanelProductNo) == L"ABCDEFGHIJ"; })) << Narrow(Panel(kPanelProductNo));
  EXPECT_EQ(Panel(kPanelModel), L"Model 7");
  EXPECT_EQ(Panel(kPanelComment), L"first\r\nsecond");
  EXPECT_EQ(Panel(kCableSelector), L"5.");
  Snapshot(main);
}

TEST_F(CableListTest, ProbeDataDecidesTheProbePlusTest) {
  HWND main = Start();
  ASSERT_NE(main, nullptr);
  HWND dialog = OpenList();
  ASSERT_NE(dialog, nullptr) << "no cable list";
  HWND probe = Open(dialog, kProbeData, L"Edit Probe Data");
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(Operator::Text(Operator::Control(probe, kPinCheckBase + kA01)), L"A01 ");
  EXPECT_EQ(Operator::Text(Operator::Control(probe, kPinCheckBase + kC04)), L"C04 ");
  for (int pin : {kA01, kA50, kB01, kC04}) op_.Press(Operator::Control(probe, kPinCheckBase + pin));
  ASSERT_TRUE(WaitUntil([&] { return Checked(probe, kPinCheckBase + kC04); }));
  for (int pin : {kA01, kA50, kB01}) EXPECT_TRUE(Checked(probe, kPinCheckBase + pin)) << pin;
  EXPECT_FALSE(Checked(probe, kPinCheckBase + kB02));
  Snapshot(probe, L"probe");
  ASSERT_TRUE(Close(probe, IDOK));
  // Escape after a confirmed editor still reports the change.
  ASSERT_TRUE(CloseWithKey(dialog, VK_ESCAPE));
  EXPECT_TRUE(WaitUntil([&] { return Operator::Text(main) == L"Pinvoro[New cable data *]"; }))
      << Narrow(Operator::Text(main));

  op_.ChooseMenu(kMenuProbePlus);
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusStart); }));
  EXPECT_TRUE(WaitUntil([&] { return CellsAre({kA01, kA50, kB01, kC04}, kYellow); })) << "probe pins wait in yellow";

  // The first and the last cell: while records stream in, the last cells are
  // the ones a slow repaint would leave behind.
  auto probeRun = [&](const std::string& pins) {
    op_.Press(op_.Control(kProbePlusStart));
    ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusFinish); }));
    // The first record of the run, with nothing probed yet.
    ASSERT_TRUE(WaitUntil([&] { return CellsAre({kA01}, kYellow); }));
    ASSERT_EQ(unit_.Do("probe " + pins), "ok");
    ASSERT_TRUE(WaitUntil([&] { return CellsAre({kA01, kC04}, kWhite); })) << "probe not shown";
    ASSERT_EQ(unit_.Do("probe"), "ok");
    ASSERT_TRUE(WaitUntil([&] { return CellsAre({kA01, kC04}, kBlue); })) << "release not shown";
    op_.Press(op_.Control(kProbePlusFinish));
    ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusStart); }));
  };
  // Exactly the probe pins: OK.
  probeRun("A01 A50 B01 C04");
  EXPECT_EQ(Panel(kResultBox), L"OK");
  EXPECT_EQ(Panel(kResultLog), L"");
  Snapshot(main, L"ok");

  // One pin more: NG, and the log names it.
  probeRun("A01 A50 B01 B02 C04");
  EXPECT_EQ(Panel(kResultBox), L"NG");
  EXPECT_EQ(Panel(kResultLog), L"B02  - Connection error\r\n");
  EXPECT_TRUE(WaitUntil([&] { return CellsAre({kA01, kA50, kB01, kC04}, kBlue) && CellsAre({kB02}, kRed); }));
  Snapshot(main);
}

class CableListLanguage : public CableListTest, public ::testing::WithParamInterface<Language> {};

// Another row chosen and only cancelled editors: the list closes with no
// change to the document, but the panel follows the new current cable.
TEST_P(CableListLanguage, AnotherRowCancelledEditorsAndEscape) {
  const Language& language = GetParam();
  HWND main = Start(language);
  ASSERT_NE(main, nullptr);
  const std::wstring title = Operator::Text(main);
  HWND dialog = OpenList(language);
  ASSERT_NE(dialog, nullptr) << "no cable list";
  HWND list = Operator::Control(dialog, kList);
  EXPECT_EQ(Cell(list, 9, 0), L"10.");
  ASSERT_TRUE(op_.ClickListRow(list, 2));
  ASSERT_TRUE(WaitUntil([&] { return op_.ListSelection(list) == 2; }));
  Snapshot(dialog, L"list");

  HWND info = Open(dialog, kCableInfo, language.infoTitle);
  ASSERT_NE(info, nullptr);
  HWND productNo = Operator::Control(info, kProductNoEdit);
  ASSERT_TRUE(op_.Type(productNo, L"XYZ"));
  ASSERT_TRUE(WaitUntil([&] { return Operator::Text(productNo) == L"XYZ"; }));
  Snapshot(info, L"info");
  ASSERT_TRUE(CloseWithKey(info, VK_ESCAPE));
  EXPECT_EQ(Cell(list, 2, 1), L"");
  HWND probe = Open(dialog, kProbeData, language.probeTitle);
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(Operator::Text(Operator::Control(probe, kPinCheckBase + kB01)), L"B01 ");
  op_.Press(Operator::Control(probe, kPinCheckBase + kB01));
  ASSERT_TRUE(WaitUntil([&] { return Checked(probe, kPinCheckBase + kB01); }));
  Snapshot(probe, L"probe");
  ASSERT_TRUE(Close(probe, IDCANCEL));
  ASSERT_TRUE(CloseWithKey(dialog, VK_ESCAPE));

  EXPECT_TRUE(WaitUntil([&] { return Panel(kCableSelector) == L"3."; })) << Narrow(Panel(kCableSelector));
  EXPECT_EQ(Operator::Text(main), title) << "the document is not marked changed";
  EXPECT_EQ(Panel(kPanelProductNo), L"");
  // Opened again, the list starts on that cable.
  dialog = OpenList(language);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(op_.ListSelection(Operator::Control(dialog, kList)), 2);
  ASSERT_TRUE(CloseWithKey(dialog, VK_ESCAPE));
  Snapshot(main);
}

INSTANTIATE_TEST_SUITE_P(Languages, CableListLanguage, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<Language>& param) { return std::string(param.param.name); });

}  // namespace

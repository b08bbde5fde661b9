// The cable list and the editors it opens, as the operator uses them: copying
// a cable, its information and probe pins, what the panel and the title show
// afterwards, and the dialogs in each language.
#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "scenario_win.h"

namespace {

// The cable list (106) and the editors over one cable.
constexpr int kList = 1290, kCopy = 1291, kPaste = 1292, kCableInfo = 1293, kProbeData = 1295;
constexpr int kProductNoEdit = 1280, kModelEdit = 1281, kCommentEdit = 1284, kPinCheckBase = 1051;

class CableListTest : public ProgramTest {
 protected:
  HWND OpenList(const Language& language = kEnglish) {
    op_.ChooseMenu(kMenuEditCableData);
    return WaitForDialog(language.listTitle);
  }
  // Presses a button of the dialog that opens another dialog, and waits for it.
  HWND OpenFrom(HWND dialog, int button, const std::wstring& caption) {
    op_.Press(Operator::Control(dialog, button));
    return WaitForDialog(caption);
  }

  std::wstring Cell(HWND list, int row, int column) const { return op_.ListText(list, row, column); }
  static bool Checked(HWND dialog, int id) {
    return SendMessageW(Operator::Control(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
};

TEST_F(CableListTest, InformationEditedThenCopiedOntoCableFive) {
  HWND main = StartIn();
  ASSERT_NE(main, nullptr);
  HWND dialog = OpenList();
  ASSERT_NE(dialog, nullptr) << "no cable list";
  HWND list = Operator::Control(dialog, kList);
  ASSERT_EQ(op_.ListCount(list), 10);
  EXPECT_EQ(Cell(list, 0, 0), L"1.");
  EXPECT_EQ(Cell(list, 9, 0), L"10.");
  EXPECT_EQ(op_.ListSelection(list), 0) << "the current cable is selected";

  HWND info = OpenFrom(dialog, kCableInfo, L"Edit Cable Information");
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
  EXPECT_TRUE(WaitUntil([&] { return Caption() == L"Pinvoro[New cable data *]"; }))
      << Narrow(Caption());
  EXPECT_TRUE(WaitUntil([&] { return TextOf(kPanelProductNo) == L"ABCDEFGHIJ"; })) << Narrow(TextOf(kPanelProductNo));
  EXPECT_EQ(TextOf(kPanelModel), L"Model 7");
  EXPECT_EQ(TextOf(kPanelComment), L"first\r\nsecond");
  EXPECT_EQ(TextOf(kCableSelector), L"5.");
  Snapshot(main);
}

TEST_F(CableListTest, ProbeDataDecidesTheProbePlusTest) {
  HWND main = StartIn();
  ASSERT_NE(main, nullptr);
  HWND dialog = OpenList();
  ASSERT_NE(dialog, nullptr) << "no cable list";
  HWND probe = OpenFrom(dialog, kProbeData, L"Edit Probe Data");
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
  EXPECT_TRUE(WaitUntil([&] { return Caption() == L"Pinvoro[New cable data *]"; }))
      << Narrow(Caption());

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
  EXPECT_EQ(TextOf(kResultBox), L"OK");
  EXPECT_EQ(TextOf(kResultLog), L"");
  Snapshot(main, L"ok");

  // One pin more: NG, and the log names it.
  probeRun("A01 A50 B01 B02 C04");
  EXPECT_EQ(TextOf(kResultBox), L"NG");
  EXPECT_EQ(TextOf(kResultLog), L"B02  - Connection error\r\n");
  EXPECT_TRUE(WaitUntil([&] { return CellsAre({kA01, kA50, kB01, kC04}, kBlue) && CellsAre({kB02}, kRed); }));
  Snapshot(main);
}

class CableListLanguage : public CableListTest, public ::testing::WithParamInterface<Language> {};

// Another row chosen and only cancelled editors: the list closes with no
// change to the document, but the panel follows the new current cable.
TEST_P(CableListLanguage, AnotherRowCancelledEditorsAndEscape) {
  const Language& language = GetParam();
  HWND main = StartIn(language);
  ASSERT_NE(main, nullptr);
  const std::wstring title = Operator::Text(main);
  HWND dialog = OpenList(language);
  ASSERT_NE(dialog, nullptr) << "no cable list";
  HWND list = Operator::Control(dialog, kList);
  EXPECT_EQ(Cell(list, 9, 0), L"10.");
  ASSERT_TRUE(op_.ClickListRow(list, 2));
  ASSERT_TRUE(WaitUntil([&] { return op_.ListSelection(list) == 2; }));
  Snapshot(dialog, L"list");

  HWND info = OpenFrom(dialog, kCableInfo, language.infoTitle);
  ASSERT_NE(info, nullptr);
  HWND productNo = Operator::Control(info, kProductNoEdit);
  ASSERT_TRUE(op_.Type(productNo, L"XYZ"));
  ASSERT_TRUE(WaitUntil([&] { return Operator::Text(productNo) == L"XYZ"; }));
  Snapshot(info, L"info");
  ASSERT_TRUE(CloseWithKey(info, VK_ESCAPE));
  EXPECT_EQ(Cell(list, 2, 1), L"");
  HWND probe = OpenFrom(dialog, kProbeData, language.probeTitle);
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(Operator::Text(Operator::Control(probe, kPinCheckBase + kB01)), L"B01 ");
  op_.Press(Operator::Control(probe, kPinCheckBase + kB01));
  ASSERT_TRUE(WaitUntil([&] { return Checked(probe, kPinCheckBase + kB01); }));
  Snapshot(probe, L"probe");
  ASSERT_TRUE(Close(probe, IDCANCEL));
  ASSERT_TRUE(CloseWithKey(dialog, VK_ESCAPE));

  EXPECT_TRUE(WaitUntil([&] { return TextOf(kCableSelector) == L"3."; })) << Narrow(TextOf(kCableSelector));
  EXPECT_EQ(Operator::Text(main), title) << "the document is not marked changed";
  EXPECT_EQ(TextOf(kPanelProductNo), L"");
  // Opened again, the list starts on that cable.
  dialog = OpenList(language);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(op_.ListSelection(Operator::Control(dialog, kList)), 2);
  ASSERT_TRUE(CloseWithKey(dialog, VK_ESCAPE));
  Snapshot(main);
}

INSTANTIATE_TEST_SUITE_P(Languages, CableListLanguage, ::testing::ValuesIn(kLanguages), LanguageName);

}  // namespace

// The cable list and the editors it opens, as the operator uses them: a
// cable's information edited and copied onto another cable; pin names typed,
// connections ticked and a consecutive run of names, then a work test against
// the wiring entered by hand.
#include "scenario_win.h"

namespace {

constexpr int kCopy = 1291, kPaste = 1292, kModelEdit = 1281, kCommentEdit = 1284;
// Edit Cable Data and its dialogs.
constexpr int kPinNoLabel = 1268, kStoreAndClose = 1274, kConnector = 1031, kPinNumber = 1032,
              kRepeatCount = 1033, kAlphabet = 1037, kStartBox = 1039;

class Editors : public ProgramTest {
 protected:
  HWND OpenList() {
    op_.ChooseMenu(kMenuEditCableData);
    return list_ = WaitForDialog(L"Edit Cable Data", kCableList);
  }
  bool Typed(HWND dialog, int id, const std::wstring& keys, const std::wstring& shown) {
    return op_.Type(Operator::Control(dialog, id), keys) && WaitUntil([&] { return TextIn(dialog, id) == shown; });
  }

  HWND Box(int pin) const { return Operator::Control(editor_, kPinBox + pin); }
  // Clicks the pin's box and waits until the editor shows it as selected.
  bool Select(int pin) {
    const int n = pin % 50 + 1;
    const std::wstring label{L"ABC"[pin / 50], static_cast<wchar_t>(L'0' + n / 10), static_cast<wchar_t>(L'0' + n % 10)};
    return op_.Click(Box(pin)) &&
           WaitUntil([&] { return Operator::FocusOf(Box(pin)) == Box(pin) && TextIn(editor_, kPinNoLabel) == label; });
  }

  HWND list_ = nullptr;
  HWND editor_ = nullptr;
};

TEST_F(Editors, CableInformationEditedThenCopiedOntoCableFive) {
  ASSERT_NE(Start(), nullptr);
  ASSERT_NE(OpenList(), nullptr) << "no cable list";
  HWND list = Operator::Control(list_, kCableList);
  EXPECT_EQ(Ask(list, LVM_GETITEMCOUNT), 10);
  EXPECT_EQ(Ask(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 0) << "the current cable is selected";

  // Cancel keeps nothing of what was typed.
  HWND info = OpenFrom(list_, kCableInfoButton, L"Edit Cable Information", kProductNoEdit);
  ASSERT_NE(info, nullptr);
  ASSERT_TRUE(Typed(info, kModelEdit, L"dropped", L"dropped"));
  ASSERT_TRUE(Close(info, IDCANCEL));
  ASSERT_NE(info = OpenFrom(list_, kCableInfoButton, L"Edit Cable Information", kProductNoEdit), nullptr);
  EXPECT_EQ(TextIn(info, kModelEdit), L"");
  // The eleventh character of the product number is refused as it is typed.
  ASSERT_TRUE(op_.Type(Operator::Control(info, kProductNoEdit), L"ABCDEFGHIJK"));
  ASSERT_TRUE(Typed(info, kModelEdit, L"Model 7", L"Model 7"));
  ASSERT_TRUE(Typed(info, kCommentEdit, L"first\nsecond", L"first\r\nsecond"));
  EXPECT_EQ(TextIn(info, kProductNoEdit), L"ABCDEFGHIJ");
  Snapshot(info, L"info");
  ASSERT_TRUE(Close(info, IDOK));

  // Cable 5 picked by typing its number into the list.
  Operator::Press(Operator::Control(list_, kCopy));
  ASSERT_TRUE(op_.Type(list, L"5"));
  ASSERT_TRUE(WaitUntil([&] { return Ask(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) == 4; }));
  Operator::Press(Operator::Control(list_, kPaste));
  Snapshot(list_, L"list");

  // Enter closes the list; cable 5 becomes the current one, with the copy.
  ASSERT_TRUE(Close(list_, 0, VK_RETURN));
  EXPECT_TRUE(CaptionBecomes(L"Pinvoro[New cable data *]")) << Utf8(Caption());
  EXPECT_TRUE(WaitUntil([&] { return TextOf(kPanelProductNo) == L"ABCDEFGHIJ"; })) << Utf8(TextOf(kPanelProductNo));
  EXPECT_EQ((std::vector<std::wstring>{TextOf(kPanelModel), TextOf(kPanelComment), TextOf(kCableSelector)}),
            (std::vector<std::wstring>{L"Model 7", L"first\r\nsecond", L"5."}));
}

TEST_F(Editors, PinNamesConnectionsAndAConsecutiveRunDecideTheWorkTest) {
  ASSERT_EQ(unit_.Do("plug nets A01,B05,C02"), "ok");
  ASSERT_NE(Start(), nullptr);
  ASSERT_NE(OpenList(), nullptr) << "no cable list";
  editor_ = OpenFrom(list_, kCableDataButton, L"Edit Cable Data", kPinBox);
  ASSERT_NE(editor_, nullptr) << "no Edit Cable Data";
  // A01 is selected on opening.
  EXPECT_TRUE(WaitUntil([&] { return TextIn(editor_, kPinNoLabel) == L"A01" && Operator::FocusOf(editor_) == Box(kA01); }));

  // Plain letter keys come out in upper case; Enter moves on to the next
  // pin, A18 at the top of the next column, caret after its name.
  ASSERT_TRUE(Select(kA17));
  ASSERT_TRUE(Typed(editor_, kPinBox + kA17, L"\b\b\b\bgnd", L"GND"));
  ASSERT_TRUE(op_.Type(Box(kA17), L"\n"));
  ASSERT_TRUE(WaitUntil([&] { return Operator::FocusOf(editor_) == Box(kA18); })) << "Enter did not move to A18";
  ASSERT_TRUE(Typed(editor_, kPinBox + kA18, L"sig", L"A18 SIG"));

  // F3 opens Connection for the selected pin. The work test passes only if
  // B05 and C02 got A01 too (the editor's default adds the other direction).
  ASSERT_TRUE(Select(kA01));
  ASSERT_TRUE(op_.PressKeys(editor_, {VK_F3}));
  HWND connection = WaitForDialog(L"Connection", kConnectionPinName);
  ASSERT_NE(connection, nullptr) << "F3 opened no Connection dialog";
  EXPECT_EQ(TextIn(connection, kConnectionPinName), L"A01 ");
  for (int pin : {kB05, kC02}) Operator::Press(Operator::Control(connection, kPinCheckBase + pin));
  ASSERT_TRUE(WaitUntil([&] { return Checked(Operator::Control(connection, kPinCheckBase + kC02)); }));
  ASSERT_TRUE(Close(connection, IDOK));

  // Consecutive Number starts on the selected pin; letters count from "A"
  // on their own and come in upper case.
  ASSERT_TRUE(Select(kB10));
  HWND number = OpenFrom(editor_, kConsecutiveNumber, L"Consecutive Number", kFixedName);
  ASSERT_NE(number, nullptr);
  EXPECT_EQ(TextIn(number, kConnector) + TextIn(number, kPinNumber), L"B10");
  ASSERT_TRUE(Operator::SelectComboItem(Operator::Control(number, kConnector), 2));
  ASSERT_TRUE(Operator::SelectComboItem(Operator::Control(number, kPinNumber), 1));
  Operator::Press(Operator::Control(number, kAlphabet));
  EXPECT_TRUE(WaitUntil([&] { return TextIn(number, kStartBox) == L"A"; }));
  ASSERT_TRUE(Typed(number, kFixedName, L"gnd", L"GND"));
  ASSERT_TRUE(Typed(number, kRepeatCount, L"\b\b\b3", L"3"));
  Snapshot(number, L"number");
  ASSERT_TRUE(Close(number, IDOK));
  ASSERT_TRUE(WaitUntil([&] { return Operator::Text(Box(kC04)) == L"C04 GNDC"; })) << Utf8(Operator::Text(Box(kC04)));
  Snapshot(editor_, L"editor");

  // OK stores it all: the panel shows the names, the work test the wiring.
  ASSERT_TRUE(Close(editor_, kStoreAndClose));
  ASSERT_TRUE(Close(list_, 0, VK_ESCAPE));
  EXPECT_TRUE(CaptionBecomes(L"Pinvoro[New cable data *]")) << Utf8(Caption());
  EXPECT_TRUE(WaitUntil([&] { return TextOf(kPinCellBase + kA17) == L"GND"; })) << Utf8(TextOf(kPinCellBase + kA17));
  EXPECT_EQ(TextOf(kPinCellBase + kA18) + L"|" + TextOf(kPinCellBase + kC03), L"A18 SIG|C03 GNDB");
  ASSERT_TRUE(ChooseMode(kMenuMasterWork, kWorkStart));
  EXPECT_TRUE(Run(kWorkStart, [&] { return TextOf(kResultBox) == L"OK"; })) << Utf8(TextOf(kResultLog));
}

}  // namespace

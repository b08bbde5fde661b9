// Pin names and connections of one cable as the operator edits them: typing
// with Enter moving on, the Connection dialog by F3 and double click, the
// opposite direction added or not, Consecutive Number, Cancel and OK, the
// saved record, and a work test against the edited wiring.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "scenario_win.h"

namespace {

// The cable list and the cable information dialog.
constexpr int kCableList = 1290, kCableInfoButton = 1293, kCableDataButton = 1294, kProductNoEdit = 1280;
// Edit Cable Data; the box of pin k is kPinBox + k, its check box in
// Connection kPinCheck + k.
constexpr int kLegendSelected = 1160, kPinBox = 1163, kConnectedList = 1267, kPinNoLabel = 1268,
              kMirrorOption = 1269, kInitializePinNames = 1270, kConsecutiveNumber = 1271,
              kInitializeConnections = 1273, kStoreAndClose = 1274;
// Connection.
constexpr int kConnectionPinName = 1050, kPinCheck = 1051;
// Consecutive Number.
constexpr int kFixedName = 1030, kConnector = 1031, kPinNumber = 1032, kRepeatCount = 1033, kNumbersButton = 1036,
              kStartBox = 1039, kAscendingButton = 1040;

// Each key down then up, or only down or up: as the keyboard sends them.
bool Keys(const std::vector<WORD>& keys, bool down = true, bool up = true) {
  std::vector<INPUT> in;
  for (WORD vk : keys) {
    for (bool release : {false, true}) {
      if (release ? !up : !down) continue;
      INPUT key{};
      key.type = INPUT_KEYBOARD;
      key.ki.wVk = vk;
      key.ki.dwFlags = release ? KEYEVENTF_KEYUP : 0;
      in.push_back(key);
    }
  }
  return SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)) == in.size();
}

// Letters as the plain keys of the keyboard, without Shift, so that the case
// is the program's own doing; digits and blanks as their keys.
bool TypeKeys(const std::wstring& text) {
  std::vector<WORD> keys;
  for (wchar_t c : text)
    keys.push_back(c >= L'a' && c <= L'z' ? static_cast<WORD>(c - L'a' + 'A') : c == L' ' ? WORD{VK_SPACE} : c);
  return Keys(keys);
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

// "A01".."C04".
std::wstring LabelOf(int pin) {
  const int number = pin % 50 + 1;
  return {static_cast<wchar_t>(L'A' + pin / 50), static_cast<wchar_t>(L'0' + number / 10),
          static_cast<wchar_t>(L'0' + number % 10)};
}

bool Checked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// One cable of a saved cable-set file.
struct SavedCable {
  std::vector<uint8_t> bytes;
  std::wstring Name(int pin) const {
    std::wstring name;
    for (size_t at = 24u * static_cast<size_t>(pin); bytes[at] != 0 || bytes[at + 1] != 0; at += 2)
      name += static_cast<wchar_t>(bytes[at] | bytes[at + 1] << 8);
    return name;
  }
  std::vector<int> Row(int pin) const {
    std::vector<int> pins;
    const size_t row = 2496 + 14u * static_cast<size_t>(pin);
    for (int p = 0; p < 104; ++p)
      if (bytes[row + 1 + static_cast<size_t>(p / 8)] >> (p % 8) & 1) pins.push_back(p);
    return pins;
  }
  int selectedPin() const { return bytes[4516]; }
};

class EditCableDataTest : public ProgramTest {
 protected:
  // The cable list, then Edit Cable Data for its selected cable.
  bool OpenEditor(const Language& language = kEnglish) {
    if (list_ == nullptr) {
      op_.ChooseMenu(kMenuEditCableData);
      list_ = WaitForDialog(language.listTitle, kCableList);
      if (list_ == nullptr) return false;
    }
    op_.Press(Operator::Control(list_, kCableDataButton));
    editor_ = WaitForDialog(language.editorTitle, kPinBox);
    return editor_ != nullptr;
  }
  bool CloseList() {
    if (!CloseWithKey(list_, VK_ESCAPE)) return false;
    list_ = nullptr;
    return true;
  }

  HWND Box(int pin) const { return Operator::Control(editor_, kPinBox + pin); }
  std::wstring Name(int pin) const { return Operator::Text(Box(pin)); }
  std::wstring Label() const { return Operator::Text(Operator::Control(editor_, kPinNoLabel)); }
  // Clicks the pin's box and waits until the editor shows it as selected.
  bool Select(int pin) {
    return Focus(Box(pin)) && WaitUntil([&] { return Label() == LabelOf(pin); });
  }
  bool Focus(HWND control) {
    return op_.Click(control) && WaitUntil([&] { return FocusOf(control) == control; }, 3000);
  }
  std::vector<std::wstring> ConnectedNames() const {
    HWND list = Operator::Control(editor_, kConnectedList);
    std::vector<std::wstring> names;
    for (int i = 0, n = op_.ListCount(list); i < n; ++i) names.push_back(op_.ListText(list, i, 0));
    return names;
  }
  ::testing::AssertionResult BoxesAre(std::initializer_list<int> pins, COLORREF colour) const {
    return ColoursAre(editor_, kPinBox, pins, colour);
  }

  bool DoubleClick(HWND window) {
    RECT r{};
    if (!GetWindowRect(window, &r) || !op_.BringToFront(GetAncestor(window, GA_ROOT)) ||
        !SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2)) {
      return false;
    }
    std::vector<INPUT> in(4);
    for (size_t i = 0; i < in.size(); ++i) {
      in[i].type = INPUT_MOUSE;
      in[i].mi.dwFlags = i % 2 == 0 ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    }
    return SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)) == in.size();
  }

  // Empties a box by its keys and types text into it.
  bool Retype(HWND box, const std::wstring& text) {
    std::vector<WORD> keys(13, VK_BACK);
    keys[0] = VK_END;
    return Focus(box) && Keys(keys) && WaitUntil([&] { return Operator::Text(box).empty(); }) && op_.Type(box, text);
  }

  // Ticks the pins in the Connection dialog and confirms it.
  bool ConnectTo(HWND connection, std::initializer_list<int> pins) {
    for (int pin : pins) op_.Press(Operator::Control(connection, kPinCheck + pin));
    for (int pin : pins) {
      if (!WaitUntil([&] { return Checked(Operator::Control(connection, kPinCheck + pin)); })) return false;
    }
    return Close(connection, IDOK);
  }

  // File > Save As into the scratch directory; cable 1 of the file.
  SavedCable SaveAndReadCableOne() {
    const std::wstring path = dir_ + L"\\edited.cbl";
    op_.ChooseMenu(kMenuSaveAs);
    CompleteFileDialog(L"Save file", path);
    // Read until the whole file comes: under Wine an open right after the
    // program's rename has once come back empty.
    SavedCable cable;
    EXPECT_TRUE(WaitUntil([&] {
      std::ifstream in(std::filesystem::path(path), std::ios::binary);
      cable.bytes.assign(std::istreambuf_iterator<char>(in), {});
      return cable.bytes.size() == 45202;
    })) << "not saved";
    cable.bytes.resize(4518);
    return cable;
  }

  HWND list_ = nullptr;
  HWND editor_ = nullptr;
};

TEST_F(EditCableDataTest, TypingInUpperCaseAndEnterMovingOn) {
  HWND main = StartIn();
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(OpenEditor()) << "no Edit Cable Data";
  // A01 is selected on opening. The dialog paints its controls one by one,
  // so the colours must settle.
  const auto legend = [&](int i) { return ColourOf(Operator::Control(editor_, kLegendSelected + i)); };
  EXPECT_TRUE(WaitUntil([&] {
    return BoxesAre({kA01}, kRed) && BoxesAre({kA02, kC04}, kWhite) && legend(0) == kRed &&
           legend(1) == kBlue && legend(2) == kYellow;
  })) << BoxesAre({kA01}, kRed).message() << BoxesAre({kA02, kC04}, kWhite).message();
  EXPECT_EQ(Label(), L"A01");
  EXPECT_EQ(FocusOf(editor_), Box(kA01));
  EXPECT_TRUE(ConnectedNames().empty());
  EXPECT_TRUE(Checked(Operator::Control(editor_, kMirrorOption)));

  // Plain letter keys come out in upper case.
  ASSERT_TRUE(Select(kA17));
  ASSERT_TRUE(Keys({VK_END, VK_BACK, VK_BACK, VK_BACK, VK_BACK}));
  ASSERT_TRUE(TypeKeys(L"gnd"));
  ASSERT_TRUE(WaitUntil([&] { return Name(kA17) == L"GND"; })) << Narrow(Name(kA17));
  EXPECT_EQ(Label(), L"A17");

  // Enter going down moves nothing: the next key still lands in A17. Let go,
  // it moves to A18 at the top of the next column, caret after the name.
  ASSERT_TRUE(Keys({VK_RETURN}, true, false));
  ASSERT_TRUE(TypeKeys(L"x"));
  ASSERT_TRUE(WaitUntil([&] { return Name(kA17) == L"GNDX"; })) << Narrow(Name(kA17));
  ASSERT_TRUE(Keys({VK_RETURN}, false, true));
  ASSERT_TRUE(WaitUntil([&] { return FocusOf(editor_) == Box(kA18); })) << "Enter did not move to A18";
  ASSERT_TRUE(TypeKeys(L"sig"));
  ASSERT_TRUE(WaitUntil([&] { return Name(kA18) == L"A18 SIG"; })) << Narrow(Name(kA18));
  EXPECT_TRUE(WaitUntil([&] { return Label() == L"A18" && BoxesAre({kA18}, kRed) && BoxesAre({kA17}, kWhite); }));

  // After the last pin comes the first.
  ASSERT_TRUE(Select(kC04));
  ASSERT_TRUE(Keys({VK_RETURN}));
  ASSERT_TRUE(WaitUntil([&] { return FocusOf(editor_) == Box(kA01); })) << "Enter in C04 did not move to A01";
  EXPECT_TRUE(WaitUntil([&] { return Label() == L"A01"; }));
  Snapshot(editor_, L"typed");

  // OK stores the names; the panel shows them once the list is closed.
  ASSERT_TRUE(Close(editor_, kStoreAndClose));
  // Caps Lock is the operator's again: lower case stays lower case.
  op_.Press(Operator::Control(list_, kCableInfoButton));
  HWND info = WaitForDialog(L"Edit Cable Information", kProductNoEdit);
  ASSERT_NE(info, nullptr);
  ASSERT_TRUE(Focus(Operator::Control(info, kProductNoEdit)));
  ASSERT_TRUE(TypeKeys(L"abc"));
  EXPECT_TRUE(WaitUntil([&] { return Operator::Text(Operator::Control(info, kProductNoEdit)) == L"abc"; }))
      << Narrow(Operator::Text(Operator::Control(info, kProductNoEdit)));
  ASSERT_TRUE(Close(info, IDCANCEL));
  ASSERT_TRUE(CloseList());
  EXPECT_TRUE(WaitUntil([&] { return Caption() == L"Pinvoro[New cable data *]"; }));
  EXPECT_TRUE(WaitUntil([&] { return TextOf(kPinCellBase + kA17) == L"GNDX"; }));
  EXPECT_EQ(TextOf(kPinCellBase + kA18), L"A18 SIG");
  Snapshot(main);
}

TEST_F(EditCableDataTest, ConnectionsWithAndWithoutTheOppositeDirection) {
  HWND main = StartIn();
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(OpenEditor()) << "no Edit Cable Data";

  // F3 opens Connection for the pin of the box.
  ASSERT_TRUE(Select(kB05));
  ASSERT_TRUE(Keys({VK_F3}));
  HWND connection = WaitForDialog(L"Connection", kConnectionPinName);
  ASSERT_NE(connection, nullptr) << "F3 opened no Connection dialog";
  EXPECT_EQ(Operator::Text(Operator::Control(connection, kConnectionPinName)), L"B05 ");
  EXPECT_FALSE(IsWindowEnabled(Operator::Control(connection, kPinCheck + kB05)));
  ASSERT_TRUE(Close(connection, IDCANCEL));

  // So does a double click, for the pin clicked.
  ASSERT_TRUE(DoubleClick(Box(kA01)));
  connection = WaitForDialog(L"Connection", kConnectionPinName);
  ASSERT_NE(connection, nullptr) << "a double click opened no Connection dialog";
  EXPECT_EQ(Operator::Text(Operator::Control(connection, kConnectionPinName)), L"A01 ");
  ASSERT_TRUE(ConnectTo(connection, {kB05, kC02}));
  ASSERT_TRUE(WaitUntil([&] { return ConnectedNames() == std::vector<std::wstring>{L"B05 ", L"C02 "}; }));
  EXPECT_TRUE(WaitUntil([&] {
    return BoxesAre({kA01}, kRed) && BoxesAre({kB05, kC02}, kBlue) && BoxesAre({kA02, kB06}, kWhite);
  }));

  // With the option checked, B05 lists A01 too, and C02 from the joined net.
  ASSERT_TRUE(Select(kB05));
  EXPECT_TRUE(WaitUntil([&] { return ConnectedNames() == std::vector<std::wstring>{L"A01 ", L"C02 "}; }));

  // Without it only the edited row changes.
  op_.Press(Operator::Control(editor_, kMirrorOption));
  ASSERT_TRUE(WaitUntil([&] { return !Checked(Operator::Control(editor_, kMirrorOption)); }));
  ASSERT_TRUE(Select(kA02));
  ASSERT_TRUE(Keys({VK_F3}));
  connection = WaitForDialog(L"Connection", kConnectionPinName);
  ASSERT_NE(connection, nullptr);
  ASSERT_TRUE(ConnectTo(connection, {kB06}));
  ASSERT_TRUE(WaitUntil([&] { return ConnectedNames() == std::vector<std::wstring>{L"B06 "}; }));
  ASSERT_TRUE(Select(kB06));
  EXPECT_TRUE(WaitUntil([&] { return ConnectedNames().empty() && Label() == L"B06"; }));
  // Pins whose own rows list others are yellow; B06 is listed by A02 only.
  EXPECT_TRUE(WaitUntil([&] { return BoxesAre({kB06}, kRed) && BoxesAre({kA01, kA02, kB05, kC02}, kYellow); }));
  Snapshot(editor_, L"wired");

  ASSERT_TRUE(Close(editor_, kStoreAndClose));
  ASSERT_TRUE(CloseList());
  const SavedCable saved = SaveAndReadCableOne();
  ASSERT_FALSE(HasFailure());
  EXPECT_EQ(saved.Row(kA01), (std::vector<int>{kA01, kB05, kC02}));
  EXPECT_EQ(saved.Row(kB05), (std::vector<int>{kA01, kB05, kC02}));
  EXPECT_EQ(saved.Row(kC02), (std::vector<int>{kA01, kB05, kC02}));
  EXPECT_EQ(saved.Row(kA02), (std::vector<int>{kA02, kB06}));
  EXPECT_EQ(saved.Row(kB06), (std::vector<int>{kB06}));
  EXPECT_EQ(saved.selectedPin(), kB06) << "the pin selected last";
  Snapshot(main);
}

TEST_F(EditCableDataTest, ConsecutiveNumberThenCancelThenOk) {
  HWND main = StartIn();
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(OpenEditor()) << "no Edit Cable Data";
  ASSERT_TRUE(Select(kB10));
  op_.Press(Operator::Control(editor_, kConsecutiveNumber));
  HWND number = WaitForDialog(L"Consecutive Number", kFixedName);
  ASSERT_NE(number, nullptr);
  // It starts on the selected pin, with the first settings of the run.
  EXPECT_EQ(Operator::Text(Operator::Control(number, kConnector)), L"B");
  EXPECT_EQ(Operator::Text(Operator::Control(number, kPinNumber)), L"10");
  EXPECT_EQ(SendMessageW(Operator::Control(number, kPinNumber), CB_GETCOUNT, 0, 0), 50);
  EXPECT_EQ(Operator::Text(Operator::Control(number, kRepeatCount)), L"1");
  EXPECT_EQ(Operator::Text(Operator::Control(number, kStartBox)), L"1");
  EXPECT_TRUE(Checked(Operator::Control(number, kNumbersButton)));
  EXPECT_TRUE(Checked(Operator::Control(number, kAscendingButton)));

  // A count of 0 is refused and the dialog stays.
  ASSERT_TRUE(Retype(Operator::Control(number, kRepeatCount), L"0"));
  op_.Press(Operator::Control(number, IDOK));
  ExpectBox(L"Error", L"Pin number value out of range", IDOK);
  EXPECT_TRUE(IsWindowVisible(number));

  ASSERT_TRUE(Retype(Operator::Control(number, kRepeatCount), L"3"));
  ASSERT_TRUE(Focus(Operator::Control(number, kFixedName)));
  ASSERT_TRUE(TypeKeys(L"gnd")) << "letters in upper case here too";
  ASSERT_TRUE(WaitUntil([&] { return Operator::Text(Operator::Control(number, kFixedName)) == L"GND"; }));
  ASSERT_TRUE(Retype(Operator::Control(number, kStartBox), L"01"));
  Snapshot(number, L"number");
  ASSERT_TRUE(Close(number, IDOK));
  ASSERT_TRUE(WaitUntil([&] { return Name(kB10) == L"B10 GND01"; })) << Narrow(Name(kB10));
  EXPECT_EQ(Name(kB11), L"B11 GND02");
  EXPECT_EQ(Name(kB12), L"B12 GND03");
  EXPECT_EQ(Name(kB13), L"B13 ");

  // Initialize Pin Name and Initialize Connection, then Cancel: nothing stays.
  op_.Press(Operator::Control(editor_, kInitializePinNames));
  ExpectBox(L"Caution", L"Initialize pin name. OK?", IDYES);
  ASSERT_TRUE(WaitUntil([&] { return Name(kB10) == L"B10" && Name(kA01) == L"A01"; })) << Narrow(Name(kB10));
  op_.Press(Operator::Control(editor_, kInitializeConnections));
  ExpectBox(L"Caution", L"Initialize connection info. OK?", IDYES);
  ASSERT_TRUE(Close(editor_, IDCANCEL));
  ASSERT_TRUE(OpenEditor());
  EXPECT_EQ(Name(kA01), L"A01 ");
  EXPECT_EQ(Name(kB10), L"B10 ");

  // The settings of the last OK come back; the start number without its width.
  ASSERT_TRUE(Select(kB10));
  op_.Press(Operator::Control(editor_, kConsecutiveNumber));
  number = WaitForDialog(L"Consecutive Number", kFixedName);
  ASSERT_NE(number, nullptr);
  EXPECT_EQ(Operator::Text(Operator::Control(number, kFixedName)), L"GND");
  EXPECT_EQ(Operator::Text(Operator::Control(number, kRepeatCount)), L"3");
  EXPECT_EQ(Operator::Text(Operator::Control(number, kStartBox)), L"1");
  ASSERT_TRUE(Close(number, IDOK));
  ASSERT_TRUE(WaitUntil([&] { return Name(kB12) == L"B12 GND3"; })) << Narrow(Name(kB12));
  ASSERT_TRUE(Select(kC03));
  ASSERT_TRUE(Close(editor_, kStoreAndClose));
  ASSERT_TRUE(CloseList());
  EXPECT_TRUE(WaitUntil([&] { return TextOf(kPinCellBase + kB10) == L"B10 GND1"; }));

  const SavedCable saved = SaveAndReadCableOne();
  ASSERT_FALSE(HasFailure());
  EXPECT_EQ(saved.Name(kB11), L"B11 GND2");
  EXPECT_EQ(saved.Name(kA01), L"A01 ");
  EXPECT_EQ(saved.selectedPin(), kC03);
  Snapshot(main);
}

// The wiring entered by hand is what the work test downloads and checks.
TEST_F(EditCableDataTest, EditedWiringDecidesTheWorkTest) {
  ASSERT_EQ(unit_.Do("plug nets A01,B05,C02"), "ok");
  HWND main = StartIn();
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(OpenEditor()) << "no Edit Cable Data";
  ASSERT_TRUE(DoubleClick(Box(kA01)));
  HWND connection = WaitForDialog(L"Connection", kConnectionPinName);
  ASSERT_NE(connection, nullptr);
  ASSERT_TRUE(ConnectTo(connection, {kB05, kC02}));
  ASSERT_TRUE(WaitUntil([&] { return ConnectedNames().size() == 2; }));
  ASSERT_TRUE(Close(editor_, kStoreAndClose));
  ASSERT_TRUE(CloseList());

  op_.ChooseMenu(kMenuMasterWork);
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kWorkStart); }));
  op_.Press(op_.Control(kWorkStart));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(kResultBox) == L"OK" && Enabled(kWorkStart); }))
      << Narrow(TextOf(kResultLog));
  Snapshot(main, L"ok");

  ASSERT_EQ(unit_.Do("plug nets A01,B05"), "ok");
  op_.Press(op_.Control(kWorkStart));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(kResultBox) == L"NG" && Enabled(kWorkStart); }));
  const std::wstring log = TextOf(kResultLog);
  EXPECT_NE(log.find(L"A01  - C02  No connection error\r\n"), std::wstring::npos) << Narrow(log);
  EXPECT_NE(log.find(L"C02  - B05  No connection error\r\n"), std::wstring::npos) << Narrow(log);
  Snapshot(main);
}

class EditCableDataLanguage : public EditCableDataTest, public ::testing::WithParamInterface<Language> {};

TEST_P(EditCableDataLanguage, EditorNumberAndConnectionDialogs) {
  const Language& language = GetParam();
  HWND main = StartIn(language);
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(OpenEditor(language)) << "no Edit Cable Data";
  ASSERT_TRUE(WaitUntil([&] { return BoxesAre({kA01}, kRed); }));
  Snapshot(editor_, L"editor");

  op_.Press(Operator::Control(editor_, kConsecutiveNumber));
  HWND number = WaitForDialog(language.numberTitle, kFixedName);
  ASSERT_NE(number, nullptr);
  Snapshot(number, L"number");
  ASSERT_TRUE(Close(number, IDCANCEL));

  ASSERT_TRUE(Select(kA01));
  ASSERT_TRUE(Keys({VK_F3}));
  HWND connection = WaitForDialog(language.connectionTitle, kConnectionPinName);
  ASSERT_NE(connection, nullptr);
  Snapshot(connection, L"connection");
  ASSERT_TRUE(Close(connection, IDCANCEL));
  ASSERT_TRUE(Close(editor_, IDCANCEL));
  ASSERT_TRUE(CloseList());
  Snapshot(main);
}

INSTANTIATE_TEST_SUITE_P(Languages, EditCableDataLanguage, ::testing::ValuesIn(kLanguages), LanguageName);

}  // namespace

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
#include <optional>
#include <string>
#include <vector>

#include "scenario_win.h"

namespace {

constexpr WORD kMenuSaveAs = 40003;
constexpr WORD kMenuMasterWork = 40008;
constexpr WORD kMenuEditCableData = 40010;

// The cable list and the cable information dialog.
constexpr int kCableList = 1290;
constexpr int kCableInfoButton = 1293;
constexpr int kCableDataButton = 1294;
constexpr int kProductNoEdit = 1280;
// Edit Cable Data.
constexpr int kLegendSelected = 1160;
constexpr int kPinBox = 1163;  // + PinIndex
constexpr int kConnectedList = 1267;
constexpr int kPinNoLabel = 1268;
constexpr int kMirrorOption = 1269;
constexpr int kInitializePinNames = 1270;
constexpr int kConsecutiveNumber = 1271;
constexpr int kInitializeConnections = 1273;
constexpr int kStoreAndClose = 1274;
// Connection.
constexpr int kConnectionPinName = 1050;
constexpr int kPinCheck = 1051;  // + PinIndex
// Consecutive Number.
constexpr int kFixedName = 1030;
constexpr int kConnector = 1031;
constexpr int kPinNumber = 1032;
constexpr int kRepeatCount = 1033;
constexpr int kNumbersButton = 1036;
constexpr int kStartBox = 1039;
constexpr int kAscendingButton = 1040;
// The mode panel.
constexpr int kWorkStart = 1316;
constexpr int kResultBox = 1325;
constexpr int kResultLog = 1326;
constexpr int kPanelPinCell = 1333;

constexpr int kA01 = 0, kA02 = 1, kA17 = 16, kA18 = 17;
constexpr int kB05 = 54, kB06 = 55, kB10 = 59, kB11 = 60, kB12 = 61, kB13 = 62;
constexpr int kC02 = 101, kC03 = 102, kC04 = 103;

constexpr COLORREF kOrangeRed = RGB(255, 63, 0);
constexpr COLORREF kBlue = RGB(0, 127, 255);
constexpr COLORREF kYellow = RGB(247, 247, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

struct Language {
  int index;  // the settings file's Lang
  const char* name;
  const wchar_t* listTitle;
  const wchar_t* editorTitle;
  const wchar_t* connectionTitle;
  const wchar_t* numberTitle;
};
const Language kLanguages[] = {
    {0, "Japanese", L"ケーブルデータ編集", L"ケーブルデータ編集", L"接続", L"連続番号"},
    {1, "Chinese", L"电缆数据编辑", L"ケーブルデータ編集", L"连接", L"连号"},
    {2, "English", L"Edit Cable Data", L"Edit Cable Data", L"Connection", L"Consecutive Number"},
};
const Language& kEnglish = kLanguages[2];

void AddKey(std::vector<INPUT>& inputs, WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  inputs.push_back(in);
}

bool Send(std::vector<INPUT> inputs) {
  return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

bool KeyDown(WORD vk) {
  std::vector<INPUT> in;
  AddKey(in, vk, false);
  return Send(in);
}
bool KeyUp(WORD vk) {
  std::vector<INPUT> in;
  AddKey(in, vk, true);
  return Send(in);
}
bool Keys(std::initializer_list<WORD> keys) {
  std::vector<INPUT> in;
  for (WORD vk : keys) {
    AddKey(in, vk, false);
    AddKey(in, vk, true);
  }
  return Send(in);
}

// Letters as the plain keys of the keyboard, without Shift, so that the case
// is the program's own doing; digits and blanks as their keys.
bool TypeKeys(const std::wstring& text) {
  std::vector<INPUT> in;
  for (wchar_t c : text) {
    const WORD vk = c >= L'a' && c <= L'z' ? static_cast<WORD>(c - L'a' + 'A') : c == L' ' ? VK_SPACE : c;
    AddKey(in, vk, false);
    AddKey(in, vk, true);
  }
  return Send(in);
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

// "A01".."C04".
std::wstring LabelOf(int pin) {
  const int number = pin < 50 ? pin + 1 : pin < 100 ? pin - 49 : pin - 99;
  std::wstring label(1, pin < 50 ? L'A' : pin < 100 ? L'B' : L'C');
  label += static_cast<wchar_t>(L'0' + number / 10);
  label += static_cast<wchar_t>(L'0' + number % 10);
  return label;
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
  HWND Start(const Language& language = kEnglish) {
    WriteSettingsFile({L"[RS232C]", L"Port=1", L"Lang=" + std::to_wstring(language.index)});
    return StartProgramAndWait();
  }

  // The program's dialog with this caption and control, once on screen.
  HWND WaitForDialog(const std::wstring& caption, int control) {
    HWND found = nullptr;
    WaitUntil([&] {
      for (const ProgramDialog& d : op_.Dialogs()) {
        if (d.caption == caption && IsWindowVisible(d.hwnd) && GetDlgItem(d.hwnd, control) != nullptr) found = d.hwnd;
      }
      return found != nullptr;
    });
    return found;
  }
  static bool Gone(HWND dialog) {
    return WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); });
  }
  bool Close(HWND dialog, int button) {
    op_.Press(Operator::Control(dialog, button));
    return Gone(dialog);
  }

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
    if (!op_.PressKeys(list_, {VK_ESCAPE}) || !Gone(list_)) return false;
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
  static std::optional<COLORREF> Colour(HWND control) {
    RECT r{};
    GetClientRect(control, &r);
    return Operator::Pixel(control, r.right - 3, r.bottom / 2);
  }
  ::testing::AssertionResult BoxesAre(std::initializer_list<int> pins, COLORREF colour) const {
    for (int pin : pins) {
      if (Colour(Box(pin)) != colour) return ::testing::AssertionFailure() << "box of pin " << pin;
    }
    return ::testing::AssertionSuccess();
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
    return Send(in);
  }

  // Empties a box by its keys and types text into it.
  bool Retype(HWND box, const std::wstring& text) {
    if (!Focus(box)) return false;
    std::vector<INPUT> in;
    AddKey(in, VK_END, false);
    AddKey(in, VK_END, true);
    for (int i = 0; i < 12; ++i) {
      AddKey(in, VK_BACK, false);
      AddKey(in, VK_BACK, true);
    }
    return Send(in) && WaitUntil([&] { return Operator::Text(box).empty(); }) && op_.Type(box, text);
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
  std::optional<SavedCable> SaveAndReadCableOne() {
    const std::wstring path = dir_ + L"\\edited.cbl";
    op_.ChooseMenu(kMenuSaveAs);
    const std::optional<ProgramDialog> dialog = op_.WaitForFileDialog();
    if (!dialog || !op_.CompleteFileDialog(*dialog, path)) return std::nullopt;
    std::error_code error;
    if (!WaitUntil([&] { return std::filesystem::file_size(std::filesystem::path(path), error) == 45202; }))
      return std::nullopt;
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    SavedCable cable{std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {})};
    cable.bytes.resize(4518);
    return cable;
  }

  HWND list_ = nullptr;
  HWND editor_ = nullptr;
};

TEST_F(EditCableDataTest, TypingInUpperCaseAndEnterMovingOn) {
  HWND main = Start();
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(OpenEditor()) << "no Edit Cable Data";
  // A01 is selected on opening. The dialog paints its controls one by one,
  // so the colours must settle.
  const auto legend = [&](int i) { return Colour(Operator::Control(editor_, kLegendSelected + i)); };
  EXPECT_TRUE(WaitUntil([&] {
    return BoxesAre({kA01}, kOrangeRed) && BoxesAre({kA02, kC04}, kWhite) && legend(0) == kOrangeRed &&
           legend(1) == kBlue && legend(2) == kYellow;
  })) << BoxesAre({kA01}, kOrangeRed).message() << BoxesAre({kA02, kC04}, kWhite).message();
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
  ASSERT_TRUE(KeyDown(VK_RETURN));
  ASSERT_TRUE(TypeKeys(L"x"));
  ASSERT_TRUE(WaitUntil([&] { return Name(kA17) == L"GNDX"; })) << Narrow(Name(kA17));
  ASSERT_TRUE(KeyUp(VK_RETURN));
  ASSERT_TRUE(WaitUntil([&] { return FocusOf(editor_) == Box(kA18); })) << "Enter did not move to A18";
  ASSERT_TRUE(TypeKeys(L"sig"));
  ASSERT_TRUE(WaitUntil([&] { return Name(kA18) == L"A18 SIG"; })) << Narrow(Name(kA18));
  EXPECT_TRUE(WaitUntil([&] { return Label() == L"A18" && BoxesAre({kA18}, kOrangeRed) && BoxesAre({kA17}, kWhite); }));

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
  EXPECT_TRUE(WaitUntil([&] { return Operator::Text(main) == L"Pinvoro[New cable data *]"; }));
  EXPECT_TRUE(WaitUntil([&] { return Operator::Text(op_.Control(kPanelPinCell + kA17)) == L"GNDX"; }));
  EXPECT_EQ(Operator::Text(op_.Control(kPanelPinCell + kA18)), L"A18 SIG");
  Snapshot(main);
}

TEST_F(EditCableDataTest, ConnectionsWithAndWithoutTheOppositeDirection) {
  HWND main = Start();
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
    return BoxesAre({kA01}, kOrangeRed) && BoxesAre({kB05, kC02}, kBlue) && BoxesAre({kA02, kB06}, kWhite);
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
  EXPECT_TRUE(WaitUntil([&] { return BoxesAre({kB06}, kOrangeRed) && BoxesAre({kA01, kA02, kB05, kC02}, kYellow); }));
  Snapshot(editor_, L"wired");

  ASSERT_TRUE(Close(editor_, kStoreAndClose));
  ASSERT_TRUE(CloseList());
  const std::optional<SavedCable> saved = SaveAndReadCableOne();
  ASSERT_TRUE(saved.has_value()) << "not saved";
  EXPECT_EQ(saved->Row(kA01), (std::vector<int>{kA01, kB05, kC02}));
  EXPECT_EQ(saved->Row(kB05), (std::vector<int>{kA01, kB05, kC02}));
  EXPECT_EQ(saved->Row(kC02), (std::vector<int>{kA01, kB05, kC02}));
  EXPECT_EQ(saved->Row(kA02), (std::vector<int>{kA02, kB06}));
  EXPECT_EQ(saved->Row(kB06), (std::vector<int>{kB06}));
  EXPECT_EQ(saved->selectedPin(), kB06) << "the pin selected last";
  Snapshot(main);
}

TEST_F(EditCableDataTest, ConsecutiveNumberThenCancelThenOk) {
  HWND main = Start();
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
  std::optional<ProgramDialog> box = op_.WaitForMessageBox();
  ASSERT_TRUE(box.has_value()) << "no error box";
  EXPECT_EQ(box->caption, L"Error");
  EXPECT_EQ(box->text, L"Pin number value out of range");
  ASSERT_TRUE(op_.Answer(*box, IDOK));
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
  box = op_.WaitForMessageBox();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->caption, L"Caution");
  EXPECT_EQ(box->text, L"Initialize pin name. OK?");
  ASSERT_TRUE(op_.Answer(*box, IDYES));
  ASSERT_TRUE(WaitUntil([&] { return Name(kB10) == L"B10" && Name(kA01) == L"A01"; })) << Narrow(Name(kB10));
  op_.Press(Operator::Control(editor_, kInitializeConnections));
  box = op_.WaitForMessageBox();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->text, L"Initialize connection info. OK?");
  ASSERT_TRUE(op_.Answer(*box, IDYES));
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
  EXPECT_TRUE(WaitUntil([&] { return Operator::Text(op_.Control(kPanelPinCell + kB10)) == L"B10 GND1"; }));

  const std::optional<SavedCable> saved = SaveAndReadCableOne();
  ASSERT_TRUE(saved.has_value()) << "not saved";
  EXPECT_EQ(saved->Name(kB11), L"B11 GND2");
  EXPECT_EQ(saved->Name(kA01), L"A01 ");
  EXPECT_EQ(saved->selectedPin(), kC03);
  Snapshot(main);
}

// The wiring entered by hand is what the work test downloads and checks.
TEST_F(EditCableDataTest, EditedWiringDecidesTheWorkTest) {
  ASSERT_EQ(unit_.Do("plug nets A01,B05,C02"), "ok");
  HWND main = Start();
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
  HWND work = op_.Control(kWorkStart);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(work) != FALSE; }));
  op_.Press(work);
  ASSERT_TRUE(WaitUntil([&] { return Operator::Text(op_.Control(kResultBox)) == L"OK" && IsWindowEnabled(work); }))
      << Narrow(Operator::Text(op_.Control(kResultLog)));
  Snapshot(main, L"ok");

  ASSERT_EQ(unit_.Do("plug nets A01,B05"), "ok");
  op_.Press(work);
  ASSERT_TRUE(WaitUntil([&] { return Operator::Text(op_.Control(kResultBox)) == L"NG" && IsWindowEnabled(work); }));
  const std::wstring log = Operator::Text(op_.Control(kResultLog));
  EXPECT_NE(log.find(L"A01  - C02  No connection error\r\n"), std::wstring::npos) << Narrow(log);
  EXPECT_NE(log.find(L"C02  - B05  No connection error\r\n"), std::wstring::npos) << Narrow(log);
  Snapshot(main);
}

class EditCableDataLanguage : public EditCableDataTest, public ::testing::WithParamInterface<Language> {};

TEST_P(EditCableDataLanguage, EditorNumberAndConnectionDialogs) {
  const Language& language = GetParam();
  HWND main = Start(language);
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(OpenEditor(language)) << "no Edit Cable Data";
  ASSERT_TRUE(WaitUntil([&] { return BoxesAre({kA01}, kOrangeRed); }));
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

INSTANTIATE_TEST_SUITE_P(Languages, EditCableDataLanguage, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<Language>& param) { return std::string(param.param.name); });

}  // namespace

// The cable list with its copy buffer, and the editors over one cable.
#include "editors/cable_editing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "common/text.h"
#include "support/pins.h"
#include "support/table_text_source.h"

namespace {

class FakeListView final : public CableListView {
 public:
  std::u16string cells[kCableCount][kCableListColumns];
  std::u16string headers;
  int selected = kNoRow;
  intptr_t editorResult = 2;
  std::string editors;  // "i", "d", "p" per editor run

  void AddColumn(int, const char16_t* header, int width) override {
    headers += header + (u":" + std::u16string(1, static_cast<char16_t>(u'0' + width / 25))) + u" ";
  }
  void AddRow(int row, const char16_t* first) override { cells[row][0] = first; }
  void SetCell(int row, int column, const char16_t* text) override { cells[row][column] = text; }
  void SelectRow(int row) override { selected = row; }
  int SelectedRow() override { return selected; }
  intptr_t RunEditor(Editor which, CableRecord& cable) override {
    editors += "idp"[static_cast<int>(which)];
    if (which == Editor::kInfo && editorResult == 1) CopyText(cable.info.blockName, kBlockNameUnits, u"BLK");
    return editorResult;
  }
};

struct ListRig {
  static inline CableClipboard clipboard;  // one for the whole run
  static inline CableSet set;
  TableTextSource texts;
  FakeListView view;
  CableList list{set, clipboard, texts, view};

  ListRig() {
    InitCableSet(set);
    CopyText(set.cables[0].info.productNo, kProductNoUnits, u"P-1");
    set.cables[0].pinNames[0][0] = u'X';
    set.currentCable = 2;
    list.Open();
  }
  // Presses each button on its row; the last one must end the dialog.
  intptr_t Press(std::initializer_list<std::pair<int, uint16_t>> steps) {
    intptr_t result = 0;
    for (auto step = steps.begin(); step != steps.end(); ++step) {
      view.selected = step->first;
      EXPECT_EQ(list.Command(step->second, result), step + 1 == steps.end()) << step->second;
    }
    return result;
  }
};

TEST(CableList, CopyPasteAndEditorsChangeOnlyTheSelectedCable) {
  ListRig::clipboard = {};
  {
    ListRig rig;  // before any Copy, and without a row, nothing happens
    EXPECT_EQ(rig.view.headers, u"No.:1 Product No.:3 Model/Customer:6 Block Name:3 Cable Type:4 Comment:4 ");
    EXPECT_EQ(rig.view.cells[9][0] + rig.view.cells[0][1], u"10.P-1");
    EXPECT_EQ(rig.view.selected, 2);
    const CableSet before = ListRig::set;
    EXPECT_EQ(rig.Press({{3, kPasteButton}, {kNoRow, kCopyButton}, {kNoRow, kCableInfoButton},
                         {kNoRow, kCableDataButton}, {kNoRow, kProbeDataButton}, {5, kPasteButton}, {kNoRow, kIdOk}}),
              2);
    EXPECT_EQ(rig.view.editors, "");
    EXPECT_EQ(std::memcmp(&ListRig::set, &before, sizeof before), 0) << "current cable included";
  }
  ListRig rig;
  EXPECT_EQ(rig.Press({{6, kCableInfoButton}, {6, kCableDataButton}, {6, kProbeDataButton}, {6, kIdCancel}}), 2)
      << "cancelled editors change nothing";
  EXPECT_EQ(rig.view.editors, "idp");
  EXPECT_EQ(rig.Press({{0, kCopyButton}, {4, kPasteButton}, {4, kIdCancel}}), 1);
  EXPECT_EQ(std::memcmp(&ListRig::set.cables[4], &ListRig::set.cables[0], sizeof(CableRecord)), 0);
  EXPECT_EQ(rig.view.cells[4][1], u"P-1");
  EXPECT_EQ(ListRig::set.currentCable, 4);

  ListRig later;  // the copy outlives the dialog
  EXPECT_EQ(later.Press({{9, kPasteButton}, {9, kIdOk}}), 1);
  EXPECT_EQ(ListRig::set.cables[9].pinNames[0][0], u'X');
  for (uint16_t id : {kCableDataButton, kProbeDataButton, kCableInfoButton}) {
    ListRig other;  // any editor's OK counts as a change; the information shows at once
    other.view.editorResult = 1;
    EXPECT_EQ(other.Press({{7, id}, {7, kIdCancel}}), 1) << id;
    EXPECT_EQ(other.view.cells[7][3], id == kCableInfoButton ? u"BLK" : u"") << id;
  }
}

class FakeControls final : public EditorControls {
 public:
  std::map<uint16_t, std::u16string> text;
  std::map<uint16_t, size_t> limit;
  std::map<uint16_t, bool> checked, enabled;

  void SetText(uint16_t id, const char16_t* t) override { text[id] = t; }
  // As an edit control does: cut to the buffer, always terminated.
  void ReadText(uint16_t id, char16_t* out, size_t capacity) override { CopyText(out, capacity, text[id].c_str()); }
  void LimitText(uint16_t id, size_t characters) override { limit[id] = characters; }
  void Check(uint16_t id, bool on) override { checked[id] = on; }
  bool IsChecked(uint16_t id) override { return checked[id]; }
  void Enable(uint16_t id, bool on) override { enabled[id] = on; }

  PinSet CheckedPins() {
    PinSet pins{};
    for (unsigned p = 0; p < kPinCount; ++p)
      if (checked[static_cast<uint16_t>(kPinCheckBase + p)]) PinSetAdd(pins, p);
    return pins;
  }
  void CheckOnly(std::initializer_list<unsigned> pins) {
    ClearPinChecks(*this);
    for (unsigned p : pins) checked[static_cast<uint16_t>(kPinCheckBase + p)] = true;
  }
};

struct CableRig : ::testing::Test {
  static inline CableSet set;
  CableRecord& cable = set.cables[0];
  FakeControls controls;
  void SetUp() override { InitCableSet(set); }
};

TEST_F(CableRig, InfoEditsAreLimitedAndReadBackWithinEachField) {
  for (auto& u : cable.info.cableType) u = u'T';  // unterminated, as from a damaged file
  ShowCableInfo(controls, cable);
  EXPECT_EQ(controls.limit, (std::map<uint16_t, size_t>{{1280, 10}, {1281, 30}, {1282, 10}, {1283, 20}, {1284, 200}}));
  EXPECT_EQ(controls.text[1283], std::u16string(20, u'T'));
  controls.text = {{1280, u"12345678901"}, {1281, std::u16string(40, u'm')}, {1284, u"line 1\r\nline 2"}};
  StoreCableInfo(controls, cable);
  EXPECT_EQ(std::u16string(cable.info.productNo), u"1234567890");
  EXPECT_EQ(std::u16string(cable.info.modelCustomer), std::u16string(30, u'm'));
  EXPECT_EQ(cable.info.blockName[0] + cable.info.cableType[0], 0);
  EXPECT_EQ(std::u16string(cable.info.comment), u"line 1\r\nline 2");
}

TEST_F(CableRig, ProbeDataOkRewritesAllBitsAndLeavesTheReservedByte) {
  cable.probeData.reserved = 0x5A;
  cable.probeData.pins = Pins({A(2), B(50), C(1)});
  CopyText(cable.pinNames[A(2)], kPinNameUnits, u"GND");
  ShowProbeData(controls, cable);
  EXPECT_EQ(controls.CheckedPins(), Pins({A(2), B(50), C(1)}));
  EXPECT_EQ(controls.text[kPinCheckBase + A(2)] + controls.text[kPinCheckBase + C(4)], u"GNDC04 ");
  controls.CheckOnly({A(1), A(50), B(1), C(4)});
  StoreProbeData(controls, cable);
  EXPECT_EQ(cable.probeData.pins, Pins({A(1), A(50), B(1), C(4)}));
  EXPECT_EQ(cable.probeData.reserved, 0x5A);
}

TEST_F(CableRig, ConnectionShowsTheOtherPinsAndOkRebuildsOnlyThatRow) {
  cable.selectedPin = static_cast<uint8_t>(A(2));
  cable.connections[A(2)].bits = Pins({A(2), A(7), B(5)});
  const CableRecord before = cable;
  ASSERT_TRUE(ShowConnectionRow(controls, cable));
  EXPECT_EQ(controls.text[kSelectedPinName], u"A02 ");
  EXPECT_EQ(controls.CheckedPins(), Pins({A(7), B(5)}));
  EXPECT_FALSE(controls.enabled[kPinCheckBase + A(2)]);
  EXPECT_TRUE(controls.enabled[kPinCheckBase + A(1)] && controls.enabled[kPinCheckBase + A(3)]);
  controls.CheckOnly({C(4), B(5), A(1)});
  ASSERT_TRUE(StoreConnectionRow(controls, cable));
  EXPECT_EQ(cable.connections[A(2)].bits, Pins({A(1), A(2), B(5), C(4)}));
  cable.connections[A(2)] = before.connections[A(2)];
  EXPECT_EQ(std::memcmp(&cable, &before, sizeof before), 0) << "another row or the pin byte changed";

  // A pin byte naming another pin gives that pin's bit on OK, and the locked
  // box of the selected pin stays unchecked on opening.
  cable.connections[A(2)] = {3, Pins({A(2)})};
  ASSERT_TRUE(ShowConnectionRow(controls, cable));
  EXPECT_EQ(controls.CheckedPins(), PinSet{});
  StoreConnectionRow(controls, cable);
  EXPECT_EQ(cable.connections[A(2)].bits, Pins({A(3)}));
  // Without a selected pin both refuse.
  cable.selectedPin = kNoPin;
  EXPECT_FALSE(ShowConnectionRow(controls, cable) || StoreConnectionRow(controls, cable));
}

}  // namespace

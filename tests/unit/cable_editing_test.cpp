#include "editors/cable_editing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
#include "support/pins.h"
#include "support/table_text_source.h"

namespace {

using V = std::vector<unsigned>;
std::u16string Str(const char16_t* text, size_t capacity) { return {text, TextLength(text, capacity)}; }
V Members(const PinSet& set) {
  V pins;
  for (unsigned p = 0; p < kPinCount; ++p)
    if (PinSetHas(set, p)) pins.push_back(p);
  return pins;
}

class FakeListView final : public CableListView {
 public:
  std::u16string cells[kCableCount][kCableListColumns];
  int selected = kNoRow;
  // The operator's work in an editor; returns its result.
  std::function<intptr_t(Editor, CableRecord&)> editor = [](Editor, CableRecord&) { return intptr_t{2}; };
  int editorsRun = 0;

  void AddColumn(int, const char16_t*, int) override {}
  void AddRow(int row, const char16_t* first) override { cells[row][0] = first; }
  void SetCell(int row, int column, const char16_t* text) override { cells[row][column] = text; }
  void SelectRow(int row) override { selected = row; }
  int SelectedRow() override { return selected; }
  intptr_t RunEditor(Editor which, CableRecord& cable) override {
    ++editorsRun;
    return editor(which, cable);
  }
};

// The clipboard lives for the whole run; each rig starts it empty.
CableClipboard g_clipboard;

struct ListRig {
  CableSet set{};
  TableTextSource texts;
  FakeListView view;
  CableList list{set, g_clipboard, texts, view};

  ListRig() {
    g_clipboard = CableClipboard{};
    InitCableSet(set);
    CopyText(set.cables[0].info.productNo, kProductNoUnits, u"P-1");
    set.cables[0].pinNames[0][0] = u'X';
    list.Open();
  }
  void Press(uint16_t id) {
    intptr_t result = 0;
    EXPECT_FALSE(list.Command(id, result)) << id << " ended the dialog";
  }
  intptr_t Close(uint16_t id) {
    intptr_t result = 0;
    EXPECT_TRUE(list.Command(id, result)) << id << " did not end the dialog";
    return result;
  }
};

TEST(CableList, CopyOntoAnotherCableMakesAnExactCopyThatOutlivesTheDialog) {
  ListRig rig;
  rig.view.selected = 0;
  rig.Press(kCopyButton);
  rig.view.selected = 4;
  rig.Press(kPasteButton);
  EXPECT_EQ(std::memcmp(&rig.set.cables[4], &rig.set.cables[0], sizeof(CableRecord)), 0);
  EXPECT_EQ(rig.view.cells[4][1], u"P-1");
  EXPECT_EQ(rig.Close(kIdCancel), 1);
  EXPECT_EQ(rig.set.currentCable, 4);

  CableList later(rig.set, g_clipboard, rig.texts, rig.view);
  later.Open();
  rig.view.selected = 9;
  intptr_t result = 0;
  later.Command(kPasteButton, result);
  EXPECT_EQ(Str(rig.set.cables[9].info.productNo, kProductNoUnits), u"P-1");
  EXPECT_TRUE(later.Command(kIdOk, result));
  EXPECT_EQ(result, 1);
}

TEST(CableList, NothingToPasteOrNoSelectedRowChangesNothing) {
  ListRig rig;
  const CableSet before = rig.set;
  rig.view.selected = 3;
  rig.Press(kPasteButton);  // before any Copy in the run
  rig.view.selected = kNoRow;
  for (uint16_t id : {kCopyButton, kPasteButton, kCableInfoButton, kCableDataButton, kProbeDataButton}) rig.Press(id);
  rig.view.selected = 5;
  rig.Press(kPasteButton);  // the Copy without a row copied nothing
  EXPECT_EQ(rig.view.editorsRun, 0);
  rig.view.selected = kNoRow;
  EXPECT_EQ(rig.Close(kIdOk), 2);
  EXPECT_EQ(std::memcmp(&rig.set, &before, sizeof before), 0) << "current cable included";
}

TEST(CableList, EditorsOnTheSelectedCableAndTheResultOfTheDialog) {
  ListRig rig;
  rig.view.selected = 6;
  // Only another row, and cancelled editors: no change, a new current cable.
  rig.Press(kCableInfoButton);
  rig.Press(kProbeDataButton);
  EXPECT_EQ(rig.Close(kIdCancel), 2);
  EXPECT_EQ(rig.set.currentCable, 6);

  // The information editor's OK shows at once in the row.
  rig.view.editor = [](CableListView::Editor which, CableRecord& cable) {
    if (which == CableListView::Editor::kInfo) CopyText(cable.info.blockName, kBlockNameUnits, u"BLK");
    return intptr_t{1};
  };
  rig.Press(kCableInfoButton);
  EXPECT_EQ(rig.view.cells[6][3], u"BLK");
  EXPECT_EQ(rig.Close(kIdOk), 1);

  // Any editor's OK counts as a change, even without an edit.
  for (uint16_t id : {kCableDataButton, kProbeDataButton}) {
    ListRig other;
    other.view.selected = 1;
    other.view.editor = [](CableListView::Editor, CableRecord&) { return intptr_t{1}; };
    other.Press(id);
    EXPECT_EQ(other.Close(kIdCancel), 1) << id;
  }
}

// ---- dialogs over one cable

class FakeControls final : public EditorControls {
 public:
  std::map<uint16_t, std::u16string> text;
  std::map<uint16_t, size_t> limit;
  std::map<uint16_t, bool> checked, enabled;

  void SetText(uint16_t id, const char16_t* t) override { text[id] = t; }
  // As an edit control does: cut to the buffer, always terminated.
  void ReadText(uint16_t id, char16_t* buffer, size_t capacity) override {
    CopyText(buffer, capacity, text[id].c_str());
  }
  void LimitText(uint16_t id, size_t characters) override { limit[id] = characters; }
  void Check(uint16_t id, bool on) override { checked[id] = on; }
  bool IsChecked(uint16_t id) override { return checked[id]; }
  void Enable(uint16_t id, bool on) override { enabled[id] = on; }

  V CheckedPins() {
    V pins;
    for (unsigned p = 0; p < kPinCount; ++p)
      if (checked[static_cast<uint16_t>(kPinCheckBase + p)]) pins.push_back(p);
    return pins;
  }
  void CheckOnly(std::initializer_list<unsigned> pins) {
    ClearPinChecks(*this);
    for (unsigned p : pins) checked[static_cast<uint16_t>(kPinCheckBase + p)] = true;
  }
};

CableRecord NewCable() {
  CableSet set{};
  InitCableSet(set);
  return set.cables[0];
}

TEST(CableInfo, EditsAreLimitedAndReadBackWithinEachField) {
  CableRecord cable = NewCable();
  FakeControls controls;
  ShowCableInfo(controls, cable);
  EXPECT_EQ(controls.limit, (std::map<uint16_t, size_t>{{1280, 10}, {1281, 30}, {1282, 10}, {1283, 20}, {1284, 200}}));

  controls.text[1280] = u"12345678901";  // one too many, as a pasted text might be
  controls.text[1281] = std::u16string(40, u'm');
  controls.text[1284] = u"line 1\r\nline 2";
  StoreCableInfo(controls, cable);
  EXPECT_EQ(Str(cable.info.productNo, kProductNoUnits), u"1234567890");
  EXPECT_EQ(Str(cable.info.modelCustomer, kModelCustomerUnits), std::u16string(30, u'm'));
  EXPECT_EQ(cable.info.blockName[0], 0);
  EXPECT_EQ(Str(cable.info.comment, kCommentUnits), u"line 1\r\nline 2");
}

TEST(ProbeData, OkRewritesAllBitsAndLeavesTheReservedByte) {
  CableRecord cable = NewCable();
  cable.probeData.reserved = 0x5A;
  cable.probeData.pins = Pins({A(2), B(50), C(1)});
  CopyText(cable.pinNames[A(2)], kPinNameUnits, u"GND");
  FakeControls controls;
  ShowProbeData(controls, cable);
  EXPECT_EQ(controls.CheckedPins(), (V{A(2), B(50), C(1)}));
  EXPECT_EQ(controls.text[kPinCheckBase + A(2)], u"GND");

  controls.CheckOnly({A(1), A(50), B(1), C(4)});
  StoreProbeData(controls, cable);
  EXPECT_EQ(Members(cable.probeData.pins), (V{0, 49, 50, 103}));
  EXPECT_EQ(cable.probeData.reserved, 0x5A);
  controls.CheckOnly({});
  StoreProbeData(controls, cable);
  EXPECT_EQ(Members(cable.probeData.pins), V{});
}

TEST(Connection, ShowsTheOtherPinsAndOkRebuildsOnlyThatRow) {
  CableRecord working = NewCable();
  working.selectedPin = static_cast<uint8_t>(A(1));
  working.connections[A(1)].bits = Pins({A(1), A(7), B(5)});
  const CableRecord before = working;
  FakeControls controls;
  ASSERT_TRUE(ShowConnectionRow(controls, working));
  EXPECT_EQ(controls.text[kSelectedPinName], u"A01 ");
  EXPECT_EQ(controls.CheckedPins(), (V{A(7), B(5)}));
  EXPECT_FALSE(controls.enabled[kPinCheckBase + A(1)]);
  EXPECT_TRUE(controls.enabled[kPinCheckBase + A(2)]);

  controls.CheckOnly({C(2), B(5), A(2)});
  ASSERT_TRUE(StoreConnectionRow(controls, working));
  EXPECT_EQ(Members(working.connections[A(1)].bits), (V{A(1), A(2), B(5), C(2)}));
  working.connections[A(1)] = before.connections[A(1)];
  EXPECT_EQ(std::memcmp(&working, &before, sizeof before), 0) << "another row or the pin byte changed";

  // A pin byte naming another pin: its bit is the own bit on OK, and the
  // locked box of the selected pin stays unchecked on opening.
  working.connections[A(1)].pin = 3;
  working.connections[A(1)].bits = Pins({A(1)});
  ASSERT_TRUE(ShowConnectionRow(controls, working));
  EXPECT_EQ(controls.CheckedPins(), V{});
  StoreConnectionRow(controls, working);
  EXPECT_EQ(Members(working.connections[A(1)].bits), V{A(3)});
}

TEST(Connection, ADamagedPinByteOrNoSelectedPinWritesNothingOutsideTheRow) {
  CableRecord working = NewCable();
  working.selectedPin = static_cast<uint8_t>(C(4));
  FakeControls controls;
  controls.CheckOnly({A(1)});
  for (uint8_t pin : {uint8_t{0}, uint8_t{105}, uint8_t{200}, uint8_t{255}}) {
    working.connections[C(4)].pin = pin;
    const ProbeData after = working.probeData;  // the bytes right after the last row
    ASSERT_TRUE(StoreConnectionRow(controls, working));
    EXPECT_EQ(Members(working.connections[C(4)].bits), V{A(1)}) << int{pin};
    EXPECT_EQ(std::memcmp(&working.probeData, &after, sizeof after), 0) << int{pin};
  }

  working.selectedPin = kNoPin;
  const CableRecord before = working;
  FakeControls untouched;
  EXPECT_FALSE(ShowConnectionRow(untouched, working));
  EXPECT_TRUE(untouched.text.empty());
  EXPECT_FALSE(StoreConnectionRow(controls, working));
  EXPECT_EQ(std::memcmp(&working, &before, sizeof before), 0);
}

}  // namespace

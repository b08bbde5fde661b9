#include "editors/cable_editing.h"

#include <cstdlib>
#include <cstring>

#include "cabledata/connection_matrix.h"
#include "common/format_text.h"
#include "common/text.h"

namespace {

constexpr size_t kHeaderUnits = 32;

bool IsCableRow(int row) { return row >= 0 && row < kCableCount; }

// Texts go to the controls through a terminated copy: a record from outside
// may hold a field without its terminator.
void ShowText(EditorControls& controls, uint16_t control, const char16_t* text, size_t capacity) {
  char16_t shown[kCommentUnits];
  CopyText(shown, capacity < kCommentUnits ? capacity : kCommentUnits, text);
  controls.SetText(control, shown);
}

uint16_t PinCheck(int pin) { return static_cast<uint16_t>(kPinCheckBase + pin); }

}  // namespace

// ---- the cable list

void CableList::Open() {
  changed_ = false;
  for (int c = 0; c < kCableListColumns; ++c) {
    char16_t header[kHeaderUnits];
    LoadTextOrEmpty(texts_, kCableListColumnTable[c].header, header, kHeaderUnits);
    view_.AddColumn(c, header, kCableListColumnTable[c].width);
  }
  for (int k = 0; k < kCableCount; ++k) {
    char16_t number[8];
    FormatText(number, 8, u"%ld.", k + 1);
    view_.AddRow(k, number);
    ShowRow(k);
  }
  if (IsCableRow(set_.currentCable)) view_.SelectRow(set_.currentCable);
}

void CableList::ShowRow(int row) {
  for (int f = 0; f < 5; ++f) {
    const TextField& field = kInfoFields[f];
    char16_t text[kCommentUnits];
    CopyText(text, field.units, InfoField(set_.cables[row], field));
    view_.SetCell(row, f + 1, text);
  }
}

bool CableList::Command(uint16_t id, intptr_t& result) {
  const int row = view_.SelectedRow();
  const bool selected = IsCableRow(row);
  switch (id) {
    case kIdOk:
    case kIdCancel:
      if (selected) set_.currentCable = static_cast<uint8_t>(row);
      result = changed_ ? 1 : 2;
      return true;
    case kCopyButton:
      if (selected) {
        std::memcpy(&clipboard_.record, &set_.cables[row], sizeof(CableRecord));
        clipboard_.filled = true;
      }
      return false;
    case kPasteButton:
      if (selected && clipboard_.filled) {
        std::memcpy(&set_.cables[row], &clipboard_.record, sizeof(CableRecord));
        ShowRow(row);
        changed_ = true;
      }
      return false;
    case kCableInfoButton:
    case kCableDataButton:
    case kProbeDataButton: {
      if (!selected) return false;
      const CableListView::Editor editor = id == kCableInfoButton   ? CableListView::Editor::kInfo
                                           : id == kCableDataButton ? CableListView::Editor::kPinData
                                                                    : CableListView::Editor::kProbeData;
      if (view_.RunEditor(editor, set_.cables[row]) != 1) return false;
      changed_ = true;
      // Only the information editor changes what the row shows.
      if (editor == CableListView::Editor::kInfo) ShowRow(row);
      return false;
    }
    default:
      return false;
  }
}

// ---- the dialogs over one cable

void ShowCableInfo(EditorControls& controls, const CableRecord& cable) {
  for (int f = 0; f < 5; ++f) {
    const TextField& field = kInfoFields[f];
    const uint16_t edit = static_cast<uint16_t>(kInfoEditBase + f);
    controls.LimitText(edit, field.units - 1);
    ShowText(controls, edit, InfoField(cable, field), field.units);
  }
}

void StoreCableInfo(EditorControls& controls, CableRecord& cable) {
  for (int f = 0; f < 5; ++f) {
    const TextField& field = kInfoFields[f];
    controls.ReadText(static_cast<uint16_t>(kInfoEditBase + f), InfoField(cable, field), field.units);
  }
}

void ShowPinChecks(EditorControls& controls, const CableRecord& cable, const PinSet& checked) {
  for (int i = 0; i < kPinCount; ++i) {
    ShowText(controls, PinCheck(i), cable.pinNames[i], kPinNameUnits);
    controls.Check(PinCheck(i), PinSetHas(checked, static_cast<unsigned>(i)));
  }
}

void ClearPinChecks(EditorControls& controls) {
  for (int i = 0; i < kPinCount; ++i) controls.Check(PinCheck(i), false);
}

void ShowProbeData(EditorControls& controls, const CableRecord& cable) {
  ShowPinChecks(controls, cable, cable.probeData.pins);
}

void StoreProbeData(EditorControls& controls, CableRecord& cable) {
  for (int i = 0; i < kPinCount; ++i) {
    if (controls.IsChecked(PinCheck(i)))
      PinSetAdd(cable.probeData.pins, static_cast<unsigned>(i));
    else
      PinSetRemove(cable.probeData.pins, static_cast<unsigned>(i));
  }
}

bool ShowConnectionRow(EditorControls& controls, const CableRecord& working) {
  const unsigned s = working.selectedPin;
  if (s >= kPinCount) return false;
  ShowText(controls, kSelectedPinName, working.pinNames[s], kPinNameUnits);

  uint8_t list[kPinCount];
  const uint8_t count = ListConnectedPins(working.connections[s], list);
  PinSet connected{};
  for (uint8_t n = 0; n < count; ++n) PinSetAdd(connected, list[n]);
  // A damaged pin byte lets the own pin into the list; its box stays
  // unchecked all the same, since the user cannot uncheck it.
  PinSetRemove(connected, s);
  ShowPinChecks(controls, working, connected);
  for (unsigned i = 0; i < kPinCount; ++i) controls.Enable(PinCheck(static_cast<int>(i)), i != s);
  return true;
}

bool StoreConnectionRow(EditorControls& controls, CableRecord& working) {
  const unsigned s = working.selectedPin;
  if (s >= kPinCount) return false;

  int32_t values[kPinCount];
  int count = 0;
  for (int i = 0; i < kPinCount; ++i) {
    const bool checked = controls.IsChecked(PinCheck(i));
    values[i] = checked ? i : kNoPin;
    count += checked ? 1 : 0;
  }
  std::qsort(values, kPinCount, sizeof values[0], ComparePinValues);

  ConnectionRow& row = working.connections[s];
  PinSetClear(row.bits);
  // The own bit comes from the pin byte; 0 or anything above 104 (a damaged
  // file) names no pin and sets nothing.
  PinSetAdd(row.bits, static_cast<unsigned>(row.pin) - 1u);
  for (int n = 0; n < count; ++n) PinSetAdd(row.bits, static_cast<unsigned>(values[n]));
  return true;
}

#pragma once
// The editors' logic on cable records, without windows: the cable list with
// its copy buffer, and what the information, probe data and connection
// dialogs show in their controls and write back on OK.
#include <cstddef>
#include <cstdint>

#include "cabledata/cable_set.h"
#include "app/language.h"

// Control ids shared by the templates and this logic.
inline constexpr uint16_t kIdOk = 1;
inline constexpr uint16_t kIdCancel = 2;
inline constexpr uint16_t kSelectedPinName = 1050;
inline constexpr uint16_t kPinCheckBase = 1051;  // + PinIndex, dialogs 104 and 109
inline constexpr uint16_t kClearButton = 1155;
inline constexpr uint16_t kInfoEditBase = 1280;  // + field, in record order
inline constexpr uint16_t kCableListView = 1290;
inline constexpr uint16_t kCopyButton = 1291;
inline constexpr uint16_t kPasteButton = 1292;
inline constexpr uint16_t kCableInfoButton = 1293;
inline constexpr uint16_t kCableDataButton = 1294;
inline constexpr uint16_t kProbeDataButton = 1295;

// ---- the cable list

// One record image for the whole run, so that a Copy in one opening of the
// list can be pasted in a later one. Until the first Copy there is nothing to
// paste: writing the zero image would wipe a cable for no reason.
struct CableClipboard {
  CableRecord record;
  bool filled;
};

inline constexpr int kNoRow = -1;
inline constexpr int kCableListColumns = 6;

struct CableListColumn {
  uint16_t header;  // string id
  int width;        // pixels
};
inline constexpr CableListColumn kCableListColumnTable[kCableListColumns] = {
    {40058, 30}, {40059, 75}, {40060, 150}, {40061, 75}, {40062, 100}, {40063, 100},
};

// The list's window as the logic sees it.
class CableListView {
 public:
  enum class Editor : uint8_t { kInfo, kPinData, kProbeData };

  virtual void AddColumn(int column, const char16_t* header, int width) = 0;
  virtual void AddRow(int row, const char16_t* first) = 0;
  virtual void SetCell(int row, int column, const char16_t* text) = 0;
  virtual void SelectRow(int row) = 0;
  // kNoRow when the list has lost its selection.
  virtual int SelectedRow() = 0;
  // Runs one editor modally on the cable; 1 means OK.
  virtual intptr_t RunEditor(Editor editor, CableRecord& cable) = 0;

 protected:
  ~CableListView() = default;
};

// Works on the live set: every change is in the set at once, and the result
// only tells the shell whether the document changed.
class CableList {
 public:
  CableList(CableSet& set, CableClipboard& clipboard, TextSource& texts, CableListView& view)
      : set_(set), clipboard_(clipboard), texts_(texts), view_(view) {}

  // Columns, the ten rows, and the current cable selected.
  void Open();
  // Handles a command of the dialog; true when it ends the dialog, with
  // result 1 if anything was changed while it was open, else 2.
  bool Command(uint16_t id, intptr_t& result);

 private:
  void ShowRow(int row);

  CableSet& set_;
  CableClipboard& clipboard_;
  TextSource& texts_;
  CableListView& view_;
  bool changed_ = false;
};

// ---- the dialogs over one cable

// The controls of an editor dialog as its logic sees them.
class EditorControls {
 public:
  virtual void SetText(uint16_t control, const char16_t* text) = 0;
  // At most capacity - 1 units and a terminator.
  virtual void ReadText(uint16_t control, char16_t* buffer, size_t capacity) = 0;
  virtual void LimitText(uint16_t control, size_t characters) = 0;
  virtual void Check(uint16_t control, bool on) = 0;
  virtual bool IsChecked(uint16_t control) = 0;
  virtual void Enable(uint16_t control, bool on) = 0;

 protected:
  ~EditorControls() = default;
};

// Cable information (105): the five texts, each edit limited to what its
// field holds, and read back cut to the field's capacity.
void ShowCableInfo(EditorControls& controls, const CableRecord& cable);
void StoreCableInfo(EditorControls& controls, CableRecord& cable);

// The 104 pin check boxes of 104 and 109, labelled with the cable's names.
void ShowPinChecks(EditorControls& controls, const CableRecord& cable, const PinSet& checked);
void ClearPinChecks(EditorControls& controls);

// Probe data (109): all 104 bits of the probe pin set from the boxes; the
// byte before the set is left alone.
void ShowProbeData(EditorControls& controls, const CableRecord& cable);
void StoreProbeData(EditorControls& controls, CableRecord& cable);

// Connection (104) on the pin-name editor's working copy, for its
// selectedPin. False, and nothing shown or written, when no pin is selected.
bool ShowConnectionRow(EditorControls& controls, const CableRecord& working);
bool StoreConnectionRow(EditorControls& controls, CableRecord& working);

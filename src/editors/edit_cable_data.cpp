#include "editors/edit_cable_data.h"

#include "cabledata/connection_matrix.h"
#include "common/text.h"

PinIndex NextPin(uint8_t selected) {
  const auto next = static_cast<uint8_t>(selected + 1);
  return next < kPinCount ? next : 0;
}

PinBoxColour PinBoxColourOf(const CableRecord& working, unsigned pin) {
  const unsigned selected = working.selectedPin;
  if (selected >= kPinCount || pin >= kPinCount) return PinBoxColour::kDefault;
  if (pin == selected) return PinBoxColour::kSelected;
  uint8_t list[kPinCount];
  const uint8_t count = ListConnectedPins(working.connections[selected], list);
  for (uint8_t i = 0; i < count; ++i)
    if (list[i] == pin) return PinBoxColour::kConnected;
  return ListConnectedPins(working.connections[pin], list) > 0 ? PinBoxColour::kWired : PinBoxColour::kDefault;
}

void ResetPinNames(CableRecord& working) {
  for (int i = 0; i < kPinCount; ++i) CopyText(working.pinNames[i], kPinNameUnits, DefaultPinLabels[i]);
}

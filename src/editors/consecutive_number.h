#pragma once
// Names for a run of consecutive pins, without windows: the choices kept for
// the run, the checks of what the operator entered, and the names themselves.
#include <cstdint>

#include "cabledata/cable_set.h"

enum NumberKind : uint8_t { kNumbers = 0, kAlphabet = 1, kNoCounter = 2 };

inline constexpr int kFixedNameChars = 5;

// Shown again at every opening of the dialog during a run; never saved.
struct ConsecutiveNumberSettings {
  char16_t fixedName[kFixedNameChars + 1] = {};
  uint16_t repeatCount = 1;
  uint8_t step = 1;  // 2 with "Skip one"
  int omitPinLabel = 0;
  uint8_t numberKind = kNumbers;
  uint16_t startNumber = 1;
  char16_t startLetter[2] = {u'A', 0};
  int ascending = 1;

  bool operator==(const ConsecutiveNumberSettings&) const = default;
};

// What the dialog holds when OK is pressed, as plain values and texts.
struct ConsecutiveNumberForm {
  const char16_t* fixedName = u"";
  int connector = -1;  // entry of the connector list, -1 without a selection
  int pinEntry = -1;   // entry of the pin-number list, -1 without a selection
  const char16_t* repeatCount = u"";
  bool skipOne = false;
  bool omitPinLabel = false;
  NumberKind kind = kNumbers;   // no kind button checked reads as kNoCounter
  const char16_t* start = u"";  // the starting number or letter as typed
  bool descending = false;
};

// The connector and pin-number entries the dialog proposes for the editor's
// selected pin. The pin list still has 50 entries then, also for CN-C.
struct StartingPosition {
  int connector;
  int pinEntry;
};
StartingPosition StartingPositionOf(uint8_t selectedPin);

// The first failing check gives the id of its message (40051..40055) and
// leaves settings alone; 0 means the inputs were stored into settings.
uint16_t ValidateConsecutiveNumber(const ConsecutiveNumberForm& form, ConsecutiveNumberSettings& settings);

// Writes settings.repeatCount names from the form's starting pin on, every
// settings.step pins. Call after a successful validation of the same form;
// a pin beyond C04 is never written.
void GeneratePinNames(const ConsecutiveNumberForm& form, const ConsecutiveNumberSettings& settings,
                      CableRecord& record);

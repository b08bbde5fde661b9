#pragma once
// The program's process-wide state: the shell owns it, the modes and editors
// work on it. Touched on the window thread only.
#include <cstdint>

#include "cabledata/cable_set.h"
#include "app/document.h"
#include "app/settings.h"

enum TestMode : uint8_t { kOneOnOne = 0, kProbe = 1, kMasterWork = 2, kProbePlus = 3 };

struct App {
  CableSet cableSet;
  Settings settings;  // PortSettings and LanguageIndex
  Document document;
  TestMode CurrentMode;
  int32_t LinkOpen;
  int32_t PortOnline;
};

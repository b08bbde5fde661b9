#pragma once
// Which controls of the mode panel each test mode enables.
#include <cstdint>

inline constexpr uint16_t kLayoutControls[14] = {1310, 1311, 1312, 1313, 1314, 1315, 1316,
                                                 1318, 1319, 1320, 1321, 1322, 1323, 1324};
// One bit per entry of kLayoutControls, per TestMode.
inline constexpr uint16_t kModeLayoutMasks[4] = {0x3607, 0x0008, 0x3660, 0x3E80};
// The control that takes the focus when a mode is laid out.
inline constexpr uint16_t kModeFocusControl[4] = {1310, 1313, 1315, 1318};

inline constexpr int kPinCellBase = 1333;
inline constexpr int kPanelWidthDu = 564;
inline constexpr int kPanelHeightDu = 304;

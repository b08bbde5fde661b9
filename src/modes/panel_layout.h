#pragma once
// Control ids of the mode panel (dialog 107) and which controls each test
// mode enables.
#include <cstdint>

inline constexpr uint16_t kOneOnOneStart = 1310;
inline constexpr uint16_t kPinNoEdit = 1311;
inline constexpr uint16_t kPinNoUpDown = 1312;
inline constexpr uint16_t kProbeStartButton = 1313;
inline constexpr uint16_t kProbeFinishButton = 1314;
inline constexpr uint16_t kReadMasterButton = 1315;
inline constexpr uint16_t kWorkStartButton = 1316;
inline constexpr uint16_t kWorkPhase2Button = 1317;  // hidden; the command id of the work test's second phase
inline constexpr uint16_t kProbePlusStartButton = 1318;
inline constexpr uint16_t kProbePlusFinishButton = 1319;
inline constexpr uint16_t kOkCounter = 1320;  // 1320..1323: OK, NG, Skip, Total
inline constexpr uint16_t kClearCounters = 1324;
inline constexpr uint16_t kResultBox = 1325;
inline constexpr uint16_t kResultLog = 1326;
inline constexpr uint16_t kResultClear = 1327;
inline constexpr uint16_t kProductNoField = 1328;  // 1328..1332: productNo, modelCustomer, blockName, cableType, comment
inline constexpr uint16_t kCableSelector = 1437;
inline constexpr uint16_t kEditButton = 1438;
inline constexpr uint16_t kModeRadio = 2000;  // 2000..2003, one per TestMode

inline constexpr uint16_t kLayoutControls[14] = {1310, 1311, 1312, 1313, 1314, 1315, 1316,
                                                 1318, 1319, 1320, 1321, 1322, 1323, 1324};
// One bit per entry of kLayoutControls, per TestMode.
inline constexpr uint16_t kModeLayoutMasks[4] = {0x3607, 0x0008, 0x3660, 0x3E80};
// The control that takes the focus when a mode is laid out.
inline constexpr uint16_t kModeFocusControl[4] = {1310, 1313, 1315, 1318};

inline constexpr int kPinCellBase = 1333;  // cell of PinIndex k: 1333 + k
inline constexpr int kPanelWidthDu = 564;
inline constexpr int kPanelHeightDu = 304;

// Pin No.: pins per side of a 1 on 1 test.
inline constexpr int32_t kPinNoMin = 1;
inline constexpr int32_t kPinNoMax = 50;

// Menu commands the panel gives the main window.
inline constexpr uint16_t kExitCommand = 40005;
inline constexpr uint16_t kFirstModeCommand = 40006;  // 40006..40009, one per TestMode
inline constexpr uint16_t kEditCableCommand = 40010;

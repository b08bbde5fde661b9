#pragma once
// What every end-to-end scenario shares: the operator, unitsim's control
// channel, a scratch working directory per test holding the program's
// settings file, and a screenshot of the final state.
//
// Run through tests/e2e/run_e2e.sh, which provides the display, unitsim on
// COM1 and these variables (Unix or Windows paths):
//   PINVORO_E2E_PROGRAM    pinvoro.exe (default: the one of this build)
//   PINVORO_E2E_ARTIFACTS  screenshots, <suite>.<test>[-<picture>].png
//   PINVORO_E2E_SCRATCH    working directories, one per test
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "operator_win.h"
#include "support/unitsim_client_win.h"

// Menu commands of the main window.
inline constexpr WORD kMenuOpen = 40001, kMenuSave = 40002, kMenuSaveAs = 40003, kMenuInitialize = 40004,
                      kMenuExit = 40005, kMenuProbe = 40007, kMenuMasterWork = 40008,
                      kMenuProbePlus = 40009, kMenuEditCableData = 40010, kMenuOption = 40011, kMenuAbout = 40012;
// The mode panel: the counters OK, NG, Skip, Total follow kOkCounter, the
// cell of pin k is kPinCellBase + k. The check box of pin k in Edit Probe
// Data and in Connection is kPinCheckBase + k.
inline constexpr int kStatusBar = 700, kModeRadio = 2000, kOneOnOneStart = 1310, kProbeStart = 1313,
                     kProbeFinish = 1314, kReadMaster = 1315, kWorkStart = 1316, kProbePlusStart = 1318,
                     kProbePlusFinish = 1319, kOkCounter = 1320, kResultBox = 1325, kResultLog = 1326,
                     kPanelProductNo = 1328, kPanelModel = 1329, kPanelComment = 1332, kPinCellBase = 1333,
                     kCableSelector = 1437, kPinCheckBase = 1051;
// The cable list and the editors it opens; Option and About.
inline constexpr int kCableList = 1290, kCableInfoButton = 1293, kCableDataButton = 1294, kProbeDataButton = 1295,
                     kProductNoEdit = 1280, kPinBox = 1163, kConsecutiveNumber = 1271, kFixedName = 1030,
                     kConnectionPinName = 1050, kLanguageList = 1011, kPortList = 1010, kAboutProduct = 1000,
                     kAboutStatus = 1001;
// Pin indices: CN-A from 0, CN-B from 50, CN-C from 100.
inline constexpr int kA01 = 0, kA17 = 16, kA18 = 17, kA50 = 49, kB01 = 50, kB05 = 54, kB10 = 59,
                     kC02 = 101, kC03 = 102, kC04 = 103;
inline constexpr COLORREF kYellow = RGB(247, 247, 0), kWhite = RGB(255, 255, 255), kBlue = RGB(0, 127, 255);

// The settings file of a start on COM1 in a language (0 Japanese, 1
// Chinese, 2 English).
std::vector<std::wstring> SettingsIn(int language = 2);

// The main window as the panel sizes it: at the top left corner, the panel
// filling the client area above the status bar.
::testing::AssertionResult FitsThePanel(HWND main);
bool IsMessageBox(const ProgramDialog& dialog);

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the settings file and starts the program; with `wait`, waits for
  // its main window too.
  HWND Start(const std::vector<std::wstring>& settings = SettingsIn(), bool wait = true);
  void ExpectExitsWithZero();
  // The "key=value" lines of a section of the settings file, in file order.
  std::vector<std::wstring> SettingsSection(const wchar_t* section) const;

  std::wstring Caption() const { return Operator::Text(op_.Main()); }
  bool CaptionBecomes(const std::wstring& caption) {
    return WaitUntil([&] { return Caption() == caption; });
  }
  std::wstring Status(int part) const { return op_.StatusText(op_.Control(kStatusBar), part); }
  std::wstring TextOf(int id) const { return Operator::Text(op_.Control(id)); }
  static std::wstring TextIn(HWND dialog, int id) { return Operator::Text(Operator::Control(dialog, id)); }
  bool Enabled(int id) const { return IsWindowEnabled(op_.Control(id)) != FALSE; }
  static bool Checked(HWND button) { return Ask(button, BM_GETCHECK) == BST_CHECKED; }
  // Chooses a mode from the menu and waits for its start button.
  bool ChooseMode(WORD menuCommand, int startButton) {
    op_.ChooseMenu(menuCommand);
    return WaitUntil([&] { return Enabled(startButton); });
  }
  // Counters OK, NG, Skip, Total as shown.
  std::vector<std::wstring> Counters() const;
  // Starts the panel's test with a click and waits until `done` holds with
  // the button enabled again.
  bool Run(int button, const std::function<bool()>& done);
  // The panel's cells of the pins all of the colour (inside, right of the text).
  ::testing::AssertionResult CellsAre(std::initializer_list<int> pins, COLORREF colour) const;

  // The message box that must come now, alone: checked, pictured when
  // `snapshot` names a picture, and answered.
  void ExpectBox(const std::wstring& caption, const std::wstring& text, int answer,
                 const wchar_t* snapshot = nullptr);
  // The program's dialog with this caption (any for null) and control.
  HWND WaitForDialog(const wchar_t* caption, int control);
  HWND OpenFrom(HWND dialog, int button, const wchar_t* caption, int control) {
    Operator::Press(Operator::Control(dialog, button));
    return WaitForDialog(caption, control);
  }
  // Presses the dialog's button, or with `key` the key, and waits until it is
  // gone and the program answers again.
  bool Close(HWND dialog, int button, WORD key = 0);
  // A picture of the window (the screen for null) as this test's final
  // state, or with a name as a picture on the way: <suite>.<test>-<name>.png.
  // Without one the final state is the screen, while the program runs.
  void Snapshot(HWND window = nullptr, const wchar_t* name = nullptr);

  Operator op_;
  UnitSim unit_;
  std::wstring dir_;

 private:
  bool finalSnapshotTaken_ = false;
};

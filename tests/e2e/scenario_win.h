#pragma once
// What every end-to-end scenario shares: where the program and the artifacts
// are, a scratch working directory per test holding the program's settings
// file, unitsim's control channel, and a screenshot of the final state.
//
// Run through tests/e2e/run_e2e.sh, which provides the display, unitsim on
// COM1 and these variables (Unix or Windows paths):
//   PINVORO_E2E_PROGRAM    pinvoro.exe (default: the one of this build)
//   PINVORO_E2E_ARTIFACTS  screenshots, <suite>.<test>.png (default: beside the tests)
//   PINVORO_E2E_SCRATCH    working directories, one per test (default: beside the tests)
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "operator_win.h"
#include "support/unitsim_client_win.h"

// Menu commands of the main window.
inline constexpr WORD kMenuOpen = 40001, kMenuSave = 40002, kMenuSaveAs = 40003, kMenuInitialize = 40004,
                      kMenuExit = 40005, kMenuOneOnOne = 40006, kMenuProbe = 40007, kMenuMasterWork = 40008,
                      kMenuProbePlus = 40009, kMenuEditCableData = 40010, kMenuOption = 40011, kMenuAbout = 40012;
inline constexpr int kStatusBarId = 700;
inline constexpr wchar_t kMainWindowClass[] = L"MainWindowClass";

// Controls of the mode panel. The counters OK, NG, Skip, Total follow
// kOkCounter; the cell of pin k is kPinCellBase + k.
inline constexpr int kOneOnOneStart = 1310, kPinNo = 1311, kProbeStart = 1313, kProbeFinish = 1314,
                     kReadMaster = 1315, kWorkStart = 1316, kProbePlusStart = 1318, kProbePlusFinish = 1319,
                     kOkCounter = 1320, kResultBox = 1325, kResultLog = 1326, kPanelProductNo = 1328,
                     kPanelModel = 1329, kPanelComment = 1332, kPinCellBase = 1333, kCableSelector = 1437;

// Pin indices: CN-A from 0, CN-B from 50, CN-C from 100.
inline constexpr int kA01 = 0, kA02 = 1, kA03 = 2, kA04 = 3, kA05 = 4, kA06 = 5, kA10 = 9, kA17 = 16, kA18 = 17,
                     kA50 = 49, kB01 = 50, kB02 = 51, kB03 = 52, kB04 = 53, kB05 = 54, kB06 = 55, kB10 = 59,
                     kB11 = 60, kB12 = 61, kB13 = 62, kB50 = 99, kC01 = 100, kC02 = 101, kC03 = 102, kC04 = 103;

// Colours of the pin cells and the result texts.
inline constexpr COLORREF kGrey = RGB(191, 191, 191), kYellow = RGB(247, 247, 0), kWhite = RGB(255, 255, 255),
                          kRed = RGB(255, 63, 0), kBlue = RGB(0, 127, 255);

// What the operator reads in each language, as the program's texts stand.
struct Language {
  int index;  // the settings file's Lang
  const char* name;
  LANGID id;
  const wchar_t* suffix;  // of screenshots
  const wchar_t* newDocument;
  const wchar_t* portNormal;
  const wchar_t* portAbnormal;
  const wchar_t* modeNormal;
  const wchar_t* errorCaption;
  const wchar_t* cannotOpen;
  const wchar_t* notOnline;
  const wchar_t* timedOut;
  // The 1 on 1 test.
  const wchar_t* start;
  const wchar_t* allCorrect50;
  const wchar_t* connectionError;
  const wchar_t* noConnection;
  const wchar_t* ok;
  const wchar_t* ng;
  // Dialog captions.
  const wchar_t* listTitle;
  const wchar_t* infoTitle;
  const wchar_t* probeTitle;
  const wchar_t* editorTitle;
  const wchar_t* connectionTitle;
  const wchar_t* numberTitle;
  const wchar_t* optionCaption;
  const wchar_t* aboutCaption;
  // Tool > Option and Help > About.
  std::vector<std::wstring> languageNames;
  const wchar_t* hardwareVersion;
  const wchar_t* product;

  std::wstring Caption() const { return std::wstring(L"Pinvoro[") + newDocument + L"]"; }
};
extern const Language kLanguages[3];
inline const Language& kJapanese = kLanguages[0];
inline const Language& kChinese = kLanguages[1];
inline const Language& kEnglish = kLanguages[2];
std::string LanguageName(const ::testing::TestParamInfo<Language>& param);
void PrintTo(const Language& language, std::ostream* os);

// The settings file of a start on COM`port` in the language.
std::vector<std::wstring> SettingsFor(const Language& language, int port = 1);

std::wstring ProgramPath();
std::wstring ArtifactsDir();
std::wstring ScratchRoot();
// The directory of the running test executable, with its final backslash.
std::wstring OwnDirectory();

// One key of a settings file, in file order.
struct IniEntry {
  std::wstring section;
  std::wstring key;
  std::wstring value;
  bool operator==(const IniEntry&) const = default;
};
// Every key of an INI file (UTF-16 with a byte-order mark, or 8-bit text);
// empty when the file is missing.
std::vector<IniEntry> ReadIni(const std::wstring& path);
std::vector<IniEntry> SectionOf(const std::vector<IniEntry>& entries, const std::wstring& section);

// Printable in assertion messages.
void PrintTo(const IniEntry& entry, std::ostream* os);
std::string Narrow(const std::wstring& text);
std::string Hex(COLORREF colour);

// The colour inside a control, right of its text.
std::optional<COLORREF> ColourOf(HWND control);
// Controls baseId + pin below root, all of the colour.
::testing::AssertionResult ColoursAre(HWND root, int baseId, std::initializer_list<int> pins, COLORREF colour);
// Resource `name` of type `type` in the program's file, for the language;
// passed to use while the file is loaded. False when it is not there.
bool WithProgramResource(const wchar_t* type, const wchar_t* name, LANGID language,
                         const std::function<void(const void*)>& use);

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the settings file the program will find (lines joined with CRLF).
  void WriteSettingsFile(const std::vector<std::wstring>& lines);
  std::vector<IniEntry> SettingsFile() const { return ReadIni(dir_ + L"\\pinvoro.ini"); }
  bool SettingsFileExists() const;

  // Starts pinvoro.exe in the scratch directory.
  void StartProgram();
  // Starts it and waits for its main window, failing the test on a time-out.
  HWND StartProgramAndWait();
  // Writes the settings of the language on COM1, starts and waits.
  HWND StartIn(const Language& language = kEnglish);
  // Status bar part of the main window.
  std::wstring Status(int part) const { return op_.StatusText(op_.Control(kStatusBarId), part); }
  // Waits for the program to end and expects exit code 0.
  void ExpectExitsWithZero();

  std::wstring Caption() const { return Operator::Text(op_.Main()); }
  bool CaptionBecomes(const std::wstring& caption) {
    return WaitUntil([&] { return Caption() == caption; });
  }
  std::wstring TextOf(int id) const { return Operator::Text(op_.Control(id)); }
  bool Enabled(int id) const { return IsWindowEnabled(op_.Control(id)) != FALSE; }
  ::testing::AssertionResult CellsAre(std::initializer_list<int> pins, COLORREF colour) const {
    return ColoursAre(op_.Main(), kPinCellBase, pins, colour);
  }

  // The message box that must come now: checks it, pictures it when
  // `snapshot` names a picture, and answers it. `alone`: no other dialog.
  void ExpectBox(const std::wstring& caption, const std::wstring& text, int answer,
                 const wchar_t* snapshot = nullptr, bool alone = false);
  // The file dialog that must come now, with its caption, completed or cancelled.
  void CompleteFileDialog(const wchar_t* caption, const std::wstring& path);
  void CancelFileDialog();
  // File > Open with path.
  void Open(const std::wstring& path);
  // The program's visible dialog with this caption (and control), once there.
  HWND WaitForDialog(const std::wstring& caption, int control = 0);
  // Presses the dialog's button, or the key, and waits until it is gone and
  // the program answers again: without a window manager Wine holds it for a
  // while after it hides a top-level window.
  bool Close(HWND dialog, int button);
  bool CloseWithKey(HWND dialog, WORD key);
  bool Gone(HWND dialog);
  // Saves the screenshot of this test's final state: the window, or the
  // whole screen when there is none. Pictures on the way there take a name
  // of their own, e.g. "box" for <suite>.<test>-box.png.
  void Snapshot(HWND window = nullptr, const wchar_t* name = nullptr);

  Operator op_;
  UnitSim unit_;
  std::wstring dir_;

  // False: a screenshot only when the test fails.
  bool snapshotOfFinalState_ = true;

 private:
  bool snapshotTaken_ = false;
};

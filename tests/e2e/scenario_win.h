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

#include <string>
#include <vector>

#include "operator_win.h"
#include "support/unitsim_client_win.h"

// Menu commands and controls the scenarios use.
inline constexpr WORD kMenuExit = 40005;
inline constexpr int kStatusBarId = 700;
inline constexpr wchar_t kMainWindowClass[] = L"MainWindowClass";

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
  // Status bar part of the main window.
  std::wstring Status(int part) const { return op_.StatusText(op_.Control(kStatusBarId), part); }
  // Waits for the program to end and expects exit code 0.
  void ExpectExitsWithZero();
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

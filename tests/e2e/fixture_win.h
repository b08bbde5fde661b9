#pragma once
// What the fixture window (e2e_fixture.exe) holds, shared with its tests.
#include <windows.h>

inline constexpr wchar_t kFixtureClass[] = L"PinvoroE2eFixture";

enum FixtureControl : int {
  kEdit = 101,     // typing goes here
  kReturns = 102,  // "returns N": Enter keys its keyboard hook saw
  kOpen = 103,     // open dialog
  kResult = 104,   // what the last dialog or box gave
  kSave = 105,     // save dialog
  kAsk = 106,      // a Yes/No message box
  kRedArea = 107,  // areas of one colour each
  kBlueArea = 108,
  kList = 109,     // list view, 3 rows of 2 columns
  kStatus = 110,   // status bar, 3 parts
  kCounter = 111,  // "clicks N"
};

inline constexpr COLORREF kFixtureRed = RGB(255, 63, 0);
inline constexpr COLORREF kFixtureBlue = RGB(0, 127, 255);

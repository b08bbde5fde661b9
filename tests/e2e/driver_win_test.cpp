// The operator's vocabulary against the fixture window, for the parts the
// program does not offer yet: a wrong reading here would make every scenario
// built on it wrong.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <fstream>
#include <iterator>

#include "fixture_win.h"
#include "png_file.h"
#include "scenario_win.h"

namespace {

class Driver : public ProgramTest {
 protected:
  void SetUp() override {
    snapshotOfFinalState_ = false;
    ProgramTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(op_.Start(OwnDirectory() + L"e2e_fixture.exe", dir_));
    window_ = op_.WaitForWindow(kFixtureClass);
    ASSERT_NE(window_, nullptr);
  }

  HWND C(int id) const { return op_.Control(id); }
  // Waits for a control to show text; the assertion names what it showed.
  void ExpectText(int id, const std::wstring& text) {
    EXPECT_TRUE(WaitUntil([&] { return Operator::Text(C(id)) == text; }, 5000))
        << "control " << id << " shows '" << Narrow(Operator::Text(C(id))) << "', not '" << Narrow(text) << "'";
  }

  HWND window_ = nullptr;
};

TEST_F(Driver, TypesRealKeysThatAKeyboardHookSees) {
  ASSERT_TRUE(op_.Type(C(kEdit), L"CAN-H 高速 1\n"));
  ExpectText(kEdit, L"CAN-H 高速 1");
  // The Enter key went through the thread's keyboard hook once.
  ExpectText(kReturns, L"returns 1");
}

TEST_F(Driver, ClicksWithTheMouseAndByMessage) {
  ASSERT_TRUE(op_.Click(C(kCounter)));
  ExpectText(kCounter, L"clicks 1");
  op_.Press(C(kCounter));
  ExpectText(kCounter, L"clicks 2");
}

TEST_F(Driver, ReadsStatusBarPartsAndListItems) {
  EXPECT_EQ(op_.StatusText(C(kStatus), 0), L"part zero");
  EXPECT_EQ(op_.StatusText(C(kStatus), 1), L"部品 one");
  EXPECT_EQ(op_.StatusText(C(kStatus), 2), L"");
  ASSERT_EQ(op_.ListCount(C(kList)), 3);
  EXPECT_EQ(op_.ListText(C(kList), 0, 0), L"A01");
  EXPECT_EQ(op_.ListText(C(kList), 1, 1), L"PWR-");
  EXPECT_EQ(op_.ListText(C(kList), 2, 1), L"CAN-H 高");
}

TEST_F(Driver, ReadsPixelColoursOffTheScreen) {
  const auto colourAt = [&](int id) { return Operator::Pixel(C(id), 10, 10).value_or(CLR_INVALID); };
  EXPECT_TRUE(WaitUntil([&] { return colourAt(kRedArea) == kFixtureRed; })) << std::hex << colourAt(kRedArea);
  EXPECT_TRUE(WaitUntil([&] { return colourAt(kBlueArea) == kFixtureBlue; })) << std::hex << colourAt(kBlueArea);
}

TEST_F(Driver, FindsReadsAndAnswersAMessageBox) {
  EXPECT_TRUE(op_.Dialogs().empty());
  op_.Press(C(kAsk));
  const std::optional<ProgramDialog> box = op_.WaitForMessageBox();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->caption, L"Fixture question");
  EXPECT_EQ(box->text, L"Go on?");
  ASSERT_TRUE(op_.Answer(*box, IDNO));
  ExpectText(kResult, L"answer no");
  EXPECT_TRUE(op_.Dialogs().empty());
}

TEST_F(Driver, CompletesTheOpenAndSaveDialogs) {
  const std::wstring existing = dir_ + L"\\set a.cbl";
  std::ofstream(std::filesystem::path(existing)) << "x";
  op_.Press(C(kOpen));
  std::optional<ProgramDialog> dialog = op_.WaitForFileDialog();
  ASSERT_TRUE(dialog.has_value());
  ASSERT_TRUE(op_.CompleteFileDialog(*dialog, existing));
  ExpectText(kResult, L"open " + existing);

  const std::wstring fresh = dir_ + L"\\new set.cbl";
  op_.Press(C(kSave));
  dialog = op_.WaitForFileDialog();
  ASSERT_TRUE(dialog.has_value());
  ASSERT_TRUE(op_.CompleteFileDialog(*dialog, fresh));
  ExpectText(kResult, L"save " + fresh);
}

TEST_F(Driver, SeesTheFramesAndTheModemLinesOnTheLine) {
  // The operator plays the host here: the unit answers a status query.
  HANDLE port = CreateFileW(L"\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(EscapeCommFunction(port, SETDTR));
  ModemLinesState lines{};
  ASSERT_TRUE(UnitSim::ReadModemLines(lines));
  EXPECT_EQ(lines.dtr, 1u);
  const uint8_t statusQuery[] = {0x02, 0x03, 'S', 'T', 0x03, 0xAD};
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(port, statusQuery, sizeof statusQuery, &written, nullptr));
  std::vector<std::string> frames;
  EXPECT_TRUE(WaitUntil([&] { return (frames = unit_.Frames()).size() >= 2; }, 5000));
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(frames[0], "host 02 03 53 54 03 AD");
  EXPECT_EQ(frames[1].rfind("unit 02 ", 0), 0u) << frames[1];
  EXPECT_TRUE(EscapeCommFunction(port, CLRDTR));
  CloseHandle(port);
  ASSERT_TRUE(UnitSim::ReadModemLines(lines));
  EXPECT_EQ(lines.dtr, 0u);
}

TEST_F(Driver, ScreenshotHoldsWhatIsOnTheScreen) {
  ASSERT_TRUE(WaitUntil([&] { return Operator::Pixel(C(kRedArea), 10, 10) == kFixtureRed; }));
  const std::wstring path = dir_ + L"\\shot.png";
  ASSERT_TRUE(Operator::SaveScreenshot(window_, path));
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  const std::vector<uint8_t> png((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
  ASSERT_TRUE(DecodeStoredPng(png, width, height, rgb));
  RECT w, red;
  GetWindowRect(window_, &w);
  GetWindowRect(C(kRedArea), &red);
  EXPECT_EQ(width, static_cast<uint32_t>(w.right - w.left));
  EXPECT_EQ(height, static_cast<uint32_t>(w.bottom - w.top));
  // The red area's pixel, found in the picture where the window shows it.
  const size_t at =
      (static_cast<size_t>(red.top + 10 - w.top) * width + static_cast<size_t>(red.left + 10 - w.left)) * 3;
  ASSERT_LT(at + 2, rgb.size());
  EXPECT_EQ(RGB(rgb[at], rgb[at + 1], rgb[at + 2]), kFixtureRed);
  Snapshot(window_);
}

}  // namespace

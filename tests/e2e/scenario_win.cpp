#include "scenario_win.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "support/wine_path_win.h"

namespace {

// The variable's path, or the fallback when it is not set.
std::wstring PathFromEnvironment(const wchar_t* name, const std::wstring& fallback) {
  const wchar_t* path = _wgetenv(name);
  return WinePathOfUnix(path != nullptr && *path != L'\0' ? path : fallback);
}

std::wstring ProgramPath() { return PathFromEnvironment(L"PINVORO_E2E_PROGRAM", L"" PINVORO_E2E_DEFAULT_PROGRAM); }

std::wstring FolderFromEnvironment(const wchar_t* name, const wchar_t* fallback) {
  return PathFromEnvironment(name, std::filesystem::current_path().wstring() + L"\\" + fallback);
}

// "Suite.Test" with the parameter's slash made file-name safe.
std::wstring CurrentTestName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::wstring name;
  for (const char* p : {info->test_suite_name(), ".", info->name()}) {
    for (; *p != '\0'; ++p) name += *p == '/' ? L'-' : static_cast<wchar_t>(*p);
  }
  return name;
}

// Without a window manager (Xvfb) Wine waits two seconds for each window that
// hides to be withdrawn; the program's windows left unmanaged hide at once,
// as they do on a desktop.
class UnmanagedWindows : public ::testing::Environment {
  static constexpr wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\pinvoro.exe\\X11 Driver";
  void SetUp() override { RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"Managed", REG_SZ, L"N", 4); }
  void TearDown() override { RegDeleteKeyW(HKEY_CURRENT_USER, kKey); }
};
[[maybe_unused]] ::testing::Environment* const kUnmanaged = ::testing::AddGlobalTestEnvironment(new UnmanagedWindows);

}  // namespace

std::vector<std::wstring> SettingsIn(int language) {
  return {L"[RS232C]", L"Port=1", L"Lang=" + std::to_wstring(language)};
}

bool IsMessageBox(const ProgramDialog& dialog) { return !dialog.text.empty(); }

::testing::AssertionResult FitsThePanel(HWND main) {
  std::vector<LONG> got;
  // The window may show a moment before it is fitted.
  WaitUntil([&] {
    RECT window{}, client{}, panel{}, status{};
    POINT o{0, 0};
    GetWindowRect(main, &window);
    GetClientRect(main, &client);
    GetWindowRect(FindWindowExW(main, nullptr, L"#32770", nullptr), &panel);
    GetWindowRect(Operator::Control(main, kStatusBar), &status);
    ClientToScreen(main, &o);
    got = {window.left, window.top, panel.left - o.x, panel.top - o.y, client.right - panel.right + o.x,
           status.top - panel.bottom, client.bottom + o.y - status.bottom};
    return got == std::vector<LONG>(7, 0);
  });
  if (got == std::vector<LONG>(7, 0)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the window's corner (x, y), the panel's offset in the client area (x, y), "
                                       << "the room right of it, the gaps above and below the status bar: "
                                       << ::testing::PrintToString(got);
}

void ProgramTest::SetUp() {
  dir_ = FolderFromEnvironment(L"PINVORO_E2E_SCRATCH", L"e2e-scratch") + L"\\" + CurrentTestName();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
  ASSERT_TRUE(std::filesystem::create_directories(dir_)) << Utf8(dir_);
  ASSERT_TRUE(unit_.Connected()) << "run through tests/e2e/run_e2e.sh (PINVORO_UNITSIM_PORT)";
  // Every scenario starts from a ready unit with nothing plugged in, no probe
  // script, its first version and an empty frame log.
  for (const char* command : {"clear faults", "clear probe", "plug nothing", "dsr on", "version 1000", "clear log"})
    ASSERT_EQ(unit_.Do(command), "ok") << command;
}

void ProgramTest::TearDown() {
  if (HasFailure() || (!finalSnapshotTaken_ && IsWindow(op_.Main()))) Snapshot();
}

HWND ProgramTest::Start(const std::vector<std::wstring>& settings, bool wait) {
  std::ofstream file(std::filesystem::path(dir_ + L"\\pinvoro.ini"), std::ios::binary);
  for (const std::wstring& line : settings) file << Utf8(line) << "\r\n";
  file.close();
  EXPECT_TRUE(file.good() && op_.Start(ProgramPath(), dir_)) << Utf8(ProgramPath());
  HWND main = wait ? op_.WaitForWindow(L"MainWindowClass") : nullptr;
  EXPECT_TRUE(main != nullptr || !wait) << "no main window";
  return main;
}

void ProgramTest::ExpectExitsWithZero() {
  DWORD code = 1234;
  ASSERT_TRUE(op_.WaitForExit(code)) << "the program did not end";
  EXPECT_EQ(code, 0u);
}

std::vector<std::wstring> ProgramTest::SettingsSection(const wchar_t* section) const {
  wchar_t buffer[4096];
  const DWORD n = GetPrivateProfileSectionW(section, buffer, 4096, (dir_ + L"\\pinvoro.ini").c_str());
  std::vector<std::wstring> lines;
  for (const wchar_t* p = buffer; p < buffer + n && *p != L'\0'; p += lines.back().size() + 1) lines.emplace_back(p);
  return lines;
}

std::vector<std::wstring> ProgramTest::Counters() const {
  return {TextOf(kOkCounter), TextOf(kOkCounter + 1), TextOf(kOkCounter + 2), TextOf(kOkCounter + 3)};
}

bool ProgramTest::Run(int button, const std::function<bool()>& done) {
  return op_.Click(op_.Control(button)) && WaitUntil([&] { return done() && Enabled(button); });
}

::testing::AssertionResult ProgramTest::CellsAre(std::initializer_list<int> pins, COLORREF colour) const {
  for (int pin : pins) {
    RECT r{};
    HWND cell = op_.Control(kPinCellBase + pin);
    const COLORREF got = GetClientRect(cell, &r) ? Operator::Pixel(cell, {r.right - 3, r.bottom / 2}) : CLR_INVALID;
    if (got != colour)
      return ::testing::AssertionFailure() << "pin " << pin << " is " << std::hex << got << ", not " << colour;
  }
  return ::testing::AssertionSuccess();
}

void ProgramTest::ExpectBox(const std::wstring& caption, const std::wstring& text, int answer,
                            const wchar_t* snapshot) {
  const std::optional<ProgramDialog> box = op_.WaitForDialog(IsMessageBox);
  ASSERT_TRUE(box.has_value()) << "no box \"" << Utf8(text) << "\"";
  EXPECT_EQ(box->caption, caption);
  EXPECT_EQ(box->text, text);
  EXPECT_EQ(op_.Dialogs().size(), 1u) << "another dialog beside the box";
  if (snapshot) Snapshot(box->hwnd, snapshot);
  ASSERT_TRUE(Operator::Answer(box->hwnd, answer));
}

HWND ProgramTest::WaitForDialog(const wchar_t* caption, int control) {
  const std::optional<ProgramDialog> dialog = op_.WaitForDialog([&](const ProgramDialog& d) {
    return (caption == nullptr || d.caption == caption) && (control == 0 || GetDlgItem(d.hwnd, control) != nullptr);
  });
  return dialog ? dialog->hwnd : nullptr;
}

bool ProgramTest::Close(HWND dialog, int button, WORD key) {
  if (key == 0) Operator::Press(Operator::Control(dialog, button));
  else if (!op_.PressKeys(dialog, {key})) return false;
  // Hidden is not yet gone: the program gives the activation back to the
  // window below once the hide is done, and answers again after that.
  return WaitUntil([&] {
           const HWND active = Operator::FocusOf(op_.Main(), true);
           return (!IsWindow(dialog) || !IsWindowVisible(dialog)) && active != nullptr && active != dialog;
         }) &&
         Ask(op_.Main(), WM_NULL) != -1;
}

void ProgramTest::Snapshot(HWND window, const wchar_t* name) {
  const std::wstring dir = FolderFromEnvironment(L"PINVORO_E2E_ARTIFACTS", L"e2e-artifacts");
  const std::wstring path = dir + L"\\" + CurrentTestName() + (name ? L"-" + std::wstring(name) : L"") + L".png";
  std::error_code ignored;
  std::filesystem::create_directories(dir, ignored);
  EXPECT_TRUE(Operator::SaveScreenshot(window != nullptr ? window : GetDesktopWindow(), path)) << Utf8(path);
  finalSnapshotTaken_ = finalSnapshotTaken_ || name == nullptr;
}

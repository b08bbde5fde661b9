#include "scenario_win.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

#include "support/wine_path_win.h"

namespace {

std::wstring FromEnvironment(const char* name, const std::wstring& fallback) {
  const std::wstring path = WinePathOfUnix(std::getenv(name));
  return path.empty() ? fallback : path;
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

std::wstring Trim(const std::wstring& s) {
  const size_t first = s.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return {};
  return s.substr(first, s.find_last_not_of(L" \t") - first + 1);
}

}  // namespace

std::wstring OwnDirectory() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

std::wstring ProgramPath() {
  return FromEnvironment("PINVORO_E2E_PROGRAM", WinePathOfUnix(PINVORO_E2E_DEFAULT_PROGRAM));
}

std::wstring ArtifactsDir() { return FromEnvironment("PINVORO_E2E_ARTIFACTS", OwnDirectory() + L"e2e-artifacts"); }

std::wstring ScratchRoot() { return FromEnvironment("PINVORO_E2E_SCRATCH", OwnDirectory() + L"e2e-scratch"); }

std::string Narrow(const std::wstring& text) {
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

void PrintTo(const IniEntry& entry, std::ostream* os) {
  *os << '[' << Narrow(entry.section) << "] " << Narrow(entry.key) << '=' << Narrow(entry.value);
}

std::vector<IniEntry> ReadIni(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::wstring text;
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text += static_cast<wchar_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8);
    }
  } else {
    for (char c : bytes) text += static_cast<wchar_t>(static_cast<uint8_t>(c));
  }
  std::vector<IniEntry> entries;
  std::wstring section;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = Trim(text.substr(start, end - start));
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    start = end + 1;
    if (line.empty() || line[0] == L';') continue;
    if (line[0] == L'[') {
      section = line.substr(1, line.find(L']') - 1);
      continue;
    }
    const size_t eq = line.find(L'=');
    entries.push_back({section, Trim(line.substr(0, eq)), eq == std::wstring::npos ? L"" : Trim(line.substr(eq + 1))});
  }
  return entries;
}

std::vector<IniEntry> SectionOf(const std::vector<IniEntry>& entries, const std::wstring& section) {
  std::vector<IniEntry> out;
  for (const IniEntry& e : entries) {
    if (e.section == section) out.push_back(e);
  }
  return out;
}

void ProgramTest::SetUp() {
  dir_ = ScratchRoot() + L"\\" + CurrentTestName();
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(dir_), ignored);
  ASSERT_TRUE(std::filesystem::create_directories(std::filesystem::path(dir_))) << Narrow(dir_);
  ASSERT_TRUE(unit_.Connected()) << "run through tests/e2e/run_e2e.sh (PINVORO_UNITSIM_PORT)";
  // Every scenario starts from a ready unit with nothing plugged in, no probe
  // script and an empty frame log; the scenario changes what it needs.
  for (const char* command : {"clear faults", "clear probe", "plug nothing", "dsr on", "clear log"}) {
    ASSERT_EQ(unit_.Do(command), "ok") << command;
  }
}

void ProgramTest::TearDown() {
  if (HasFailure() || (!snapshotTaken_ && snapshotOfFinalState_)) Snapshot();
  // The operator's destructor ends a program that is still running.
}

void ProgramTest::WriteSettingsFile(const std::vector<std::wstring>& lines) {
  std::string text;
  for (const std::wstring& line : lines) text += Narrow(line) + "\r\n";
  std::ofstream file(std::filesystem::path(dir_ + L"\\pinvoro.ini"), std::ios::binary);
  file << text;
  ASSERT_TRUE(file.good());
}

bool ProgramTest::SettingsFileExists() const {
  return GetFileAttributesW((dir_ + L"\\pinvoro.ini").c_str()) != INVALID_FILE_ATTRIBUTES;
}

void ProgramTest::StartProgram() { ASSERT_TRUE(op_.Start(ProgramPath(), dir_)) << Narrow(ProgramPath()); }

HWND ProgramTest::StartProgramAndWait() {
  StartProgram();
  HWND main = op_.WaitForWindow(kMainWindowClass);
  EXPECT_NE(main, nullptr) << "no main window";
  return main;
}

void ProgramTest::ExpectExitsWithZero() {
  DWORD code = 1234;
  ASSERT_TRUE(op_.WaitForExit(code)) << "the program did not end";
  EXPECT_EQ(code, 0u);
}

void ProgramTest::Snapshot(HWND window, const wchar_t* name) {
  const std::wstring dir = ArtifactsDir();
  CreateDirectoryW(dir.c_str(), nullptr);
  const std::wstring path = dir + L"\\" + CurrentTestName() + (name ? L"-" + std::wstring(name) : L"") + L".png";
  EXPECT_TRUE(Operator::SaveScreenshot(window != nullptr ? window : GetDesktopWindow(), path)) << Narrow(path);
  if (name == nullptr) snapshotTaken_ = true;
}

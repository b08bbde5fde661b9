#include "scenario_win.h"

#include <cstdio>
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

const Language kLanguages[3] = {
    {0, "Japanese", MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), L"ja", L"新規ケーブルデータ", L"通信ポート : 正常",
     L"通信ポート : 異常", L"モード : 正常", L"エラー", L"ポートが開けません。", L"ポートがオンラインになりません。",
     L"通信がタイムアウトしました。", L"開始", L"全50ピンを検査し正常です\r\n", L"接続エラー", L"未接続", L"OK", L"NG",
     L"ケーブルデータ編集", L"ケーブル情報編集", L"プローブデータ編集", L"ケーブルデータ編集", L"接続", L"連続番号",
     L"オプション", L"バージョン情報", {L"日本語", L"中国語", L"英語"}, L"本体バージョン : ",
     L"ケーブルチェッカー  Pinvoro\r\nVer.1.32 \r\nCopyright (C) 2026 株式会社 Vorkel\r\n株式会社 Vorkel"},
    {1, "Chinese", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), L"zh", L"新建电缆数据", L"通讯端口 : 正常",
     L"通讯端口 : 异常", L"模式 : 正常", L"错误", L"端口无法打开。", L"端口不能被连通。", L"通讯超时。", L"开始",
     L"检查全50针正常\r\n", L"连接错误", L"未连接", L"良", L"不良", L"电缆数据编辑", L"电缆情报编辑", L"探针数据编辑",
     L"ケーブルデータ編集", L"连接", L"连号", L"选项", L"关于", {L"日语", L"中文", L"英文"}, L"机箱版本 : ",
     L"电缆检查机  Pinvoro\r\nVer.1.32 \r\nCopyright (C) 2026 株式会社 Vorkel\r\n株式会社 Vorkel"},
    {2, "English", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), L"en", L"New cable data", L"Comm. Port : Normal",
     L"Comm. Port : Abnormal", L"Mode : Normal", L"Error", L"Unable to open port", L"Port not online",
     L"Communication timed out", L"Start", L"All50pins found correct\r\n", L"Connection error", L"No connection",
     L"OK", L"NG", L"Edit Cable Data", L"Edit Cable Information", L"Edit Probe Data", L"Edit Cable Data",
     L"Connection", L"Consecutive Number", L"Option", L"About", {L"Japanese", L"Chinese", L"English"},
     L"Hardware Ver. : ",
     L"Cable Checker  Pinvoro\r\nVer.1.32 \r\nCopyright (C) 2026 Vorkel Corporation\r\nVorkel Corporation"},
};

std::string LanguageName(const ::testing::TestParamInfo<Language>& param) { return param.param.name; }

void PrintTo(const Language& language, std::ostream* os) { *os << language.name; }

std::vector<std::wstring> SettingsFor(const Language& language, int port) {
  return {L"[RS232C]", L"Port=" + std::to_wstring(port), L"Lang=" + std::to_wstring(language.index)};
}

std::string Hex(COLORREF colour) {
  char text[24];
  std::snprintf(text, sizeof text, "RGB(%u,%u,%u)", GetRValue(colour), GetGValue(colour), GetBValue(colour));
  return text;
}

std::optional<COLORREF> ColourOf(HWND control) {
  RECT r{};
  if (control == nullptr || !GetClientRect(control, &r)) return std::nullopt;
  return Operator::Pixel(control, r.right - 3, r.bottom / 2);
}

::testing::AssertionResult ColoursAre(HWND root, int baseId, std::initializer_list<int> pins, COLORREF colour) {
  for (int pin : pins) {
    const std::optional<COLORREF> got = ColourOf(Operator::Control(root, baseId + pin));
    if (got != colour) {
      return ::testing::AssertionFailure() << "pin " << pin << " is " << (got ? Hex(*got) : "unreadable")
                                           << ", not " << Hex(colour);
    }
  }
  return ::testing::AssertionSuccess();
}

bool WithProgramResource(const wchar_t* type, const wchar_t* name, LANGID language,
                         const std::function<void(const void*)>& use) {
  HMODULE program =
      LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (program == nullptr) return false;
  HRSRC found = FindResourceExW(program, type, name, language);
  const void* data = found ? LockResource(LoadResource(program, found)) : nullptr;
  if (data != nullptr) use(data);
  FreeLibrary(program);
  return data != nullptr;
}

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

HWND ProgramTest::StartIn(const Language& language) {
  WriteSettingsFile(SettingsFor(language));
  return StartProgramAndWait();
}

void ProgramTest::ExpectBox(const std::wstring& caption, const std::wstring& text, int answer,
                            const wchar_t* snapshot, bool alone) {
  const std::optional<ProgramDialog> box = op_.WaitForMessageBox();
  ASSERT_TRUE(box.has_value()) << "no box \"" << Narrow(text) << "\"";
  EXPECT_EQ(box->caption, caption);
  EXPECT_EQ(box->text, text);
  if (alone) {
    EXPECT_EQ(op_.Dialogs().size(), 1u);
  }
  if (snapshot) Snapshot(box->hwnd, snapshot);
  ASSERT_TRUE(op_.Answer(*box, answer));
}

void ProgramTest::CompleteFileDialog(const wchar_t* caption, const std::wstring& path) {
  const std::optional<ProgramDialog> dialog = op_.WaitForFileDialog();
  ASSERT_TRUE(dialog.has_value()) << "no file dialog";
  EXPECT_EQ(dialog->caption, caption);
  ASSERT_TRUE(op_.CompleteFileDialog(*dialog, path));
}

void ProgramTest::CancelFileDialog() {
  const std::optional<ProgramDialog> dialog = op_.WaitForFileDialog();
  ASSERT_TRUE(dialog.has_value()) << "no file dialog";
  ASSERT_TRUE(op_.Answer(*dialog, IDCANCEL));
}

void ProgramTest::Open(const std::wstring& path) {
  op_.ChooseMenu(kMenuOpen);
  CompleteFileDialog(L"Open file", path);
}

HWND ProgramTest::WaitForDialog(const std::wstring& caption, int control) {
  HWND found = nullptr;
  WaitUntil([&] {
    for (const ProgramDialog& d : op_.Dialogs()) {
      if (d.caption == caption && IsWindowVisible(d.hwnd) && (control == 0 || GetDlgItem(d.hwnd, control) != nullptr))
        found = d.hwnd;
    }
    return found != nullptr;
  });
  return found;
}

bool ProgramTest::Gone(HWND dialog) {
  DWORD_PTR ignored = 0;
  return WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }) &&
         SendMessageTimeoutW(op_.Main(), WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &ignored) != 0;
}

bool ProgramTest::Close(HWND dialog, int button) {
  op_.Press(Operator::Control(dialog, button));
  return Gone(dialog);
}

bool ProgramTest::CloseWithKey(HWND dialog, WORD key) { return op_.PressKeys(dialog, {key}) && Gone(dialog); }

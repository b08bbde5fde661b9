#include "shell/settings_win.h"

#include <cwchar>

#include "cabledata/cable_file.h"

namespace {

constexpr wchar_t kSection[] = L"RS232C";
const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

}  // namespace

PrivateProfile::PrivateProfile() {
  wchar_t dir[MAX_PATH];
  const DWORD n = GetCurrentDirectoryW(MAX_PATH, dir);
  if (n == 0 || n >= MAX_PATH) dir[0] = 0;
  // A root directory already ends in a backslash.
  const wchar_t* sep = (n > 0 && n < MAX_PATH && dir[n - 1] == L'\\') ? L"" : L"\\";
  std::swprintf(path_, sizeof path_ / sizeof path_[0], L"%ls%lspinvoro.ini", dir, sep);
}

uint32_t PrivateProfile::ReadInt(const char16_t* key, uint32_t def) {
  wchar_t text[32];
  // A default no number can equal tells a missing key from an empty one.
  GetPrivateProfileStringW(kSection, W(key), L"\x1F", text, 32, path_);
  if (text[0] == L'\x1F' && text[1] == 0) return def;
  return ParseProfileUnsigned(reinterpret_cast<const char16_t*>(text));
}

void PrivateProfile::ReadJournalFile(char16_t* path, size_t capacity) {
  auto* out = reinterpret_cast<wchar_t*>(path);
  wchar_t name[kMaxPathUnits];
  out[0] = 0;
  const DWORD n = GetPrivateProfileStringW(L"Journal", L"File", L"", name, kMaxPathUnits, path_);
  if (n == 0 || n >= kMaxPathUnits - 1) return;
  const DWORD full = GetFullPathNameW(name, static_cast<DWORD>(capacity), out, nullptr);
  if (full == 0 || full >= capacity) out[0] = 0;
}

void PrivateProfile::WriteString(const char16_t* key, const char16_t* value) {
  WritePrivateProfileStringW(kSection, W(key), W(value), path_);
}

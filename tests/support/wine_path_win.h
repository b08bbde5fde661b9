#pragma once
// Unix paths handed to Windows programs under Wine (environment variables and
// arguments set by the test scripts). Wine shows the Unix root as drive Z:.
#include <windows.h>

#include <string>

inline std::wstring WinePathOfUnix(std::wstring path) {
  if (path.empty() || path[0] != L'/') return path;  // already a Windows path
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return L"Z:" + path;
}

// The same for UTF-8 text, e.g. from getenv; empty for null.
inline std::wstring WinePathOfUnix(const char* path) {
  if (path == nullptr || *path == '\0') return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path, -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));
  return WinePathOfUnix(std::move(wide));
}

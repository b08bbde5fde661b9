#pragma once
// Unix paths handed to Windows programs under Wine (environment variables and
// arguments set by the test scripts). Wine shows the Unix root as drive Z:.
#include <string>

inline std::wstring WinePathOfUnix(std::wstring path) {
  if (path.empty() || path[0] != L'/') return path;  // already a Windows path
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return L"Z:" + path;
}

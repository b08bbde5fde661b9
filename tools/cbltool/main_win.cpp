// Windows entry: arguments arrive as UTF-16 and the console shows UTF-8 only
// when told to, so both are put right before the portable tool runs.
#include <windows.h>

#include <cwchar>
#include <iostream>
#include <string>
#include <vector>

#include "cabledata/file_system_win.h"
#include "cbltool/cbltool.h"
#include "common/text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t));

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  args.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) {
    const auto* wide = reinterpret_cast<const char16_t*>(argv[i]);
    const size_t units = std::wcslen(argv[i]);
    std::vector<char> utf8(units * 3 + 1);  // a unit never needs more than 3 bytes
    const size_t n = Utf16ToUtf8(wide, units, utf8.data(), utf8.size());
    args.emplace_back(utf8.data(), n == SIZE_MAX ? 0 : n);
  }
  std::vector<char*> pointers;
  for (std::string& arg : args) pointers.push_back(arg.data());
  pointers.push_back(nullptr);

  const UINT previous = GetConsoleOutputCP();
  SetConsoleOutputCP(CP_UTF8);
  Win32FileSystem files;
  const int code = RunCbltool(argc, pointers.data(), files, std::cout, std::cerr);
  std::cout.flush();
  std::cerr.flush();
  if (previous != 0) SetConsoleOutputCP(previous);
  return code;
}

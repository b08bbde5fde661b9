// e2e_snapshot PROGRAM WORKDIR PNG [--open CBL] [--keep-open]   (Unix or Windows paths)
//
// Starts PROGRAM in WORKDIR, answers any box it shows at start (printing its
// text), waits for its main window, opens the cable set CBL through File >
// Open when asked to, and saves a screenshot of it to PNG. Then closes the
// program, or with --keep-open waits until the user closes it.
// Exit status 0 when the screenshot was saved and the program ended cleanly.
#include <windows.h>

#include <cstdio>
#include <string>

#include "operator_win.h"
#include "support/wine_path_win.h"

namespace {

void Print(const wchar_t* label, const std::wstring& text) {
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), n, nullptr, nullptr);
  std::printf("%ls: %s\n", label, utf8.c_str());
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool keepOpen = false;
  std::wstring open;
  bool usage = argc < 4;
  for (int i = 4; i < argc && !usage; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--keep-open") keepOpen = true;
    else if (arg == L"--open" && i + 1 < argc) open = WinePathOfUnix(argv[++i]);
    else usage = true;
  }
  if (usage) {
    std::fprintf(stderr, "usage: e2e_snapshot PROGRAM WORKDIR PNG [--open CBL] [--keep-open]\n");
    return 2;
  }
  const std::wstring program = WinePathOfUnix(argv[1]);
  const std::wstring png = WinePathOfUnix(argv[3]);
  Operator op;
  if (!op.Start(program, WinePathOfUnix(argv[2]))) {
    std::fprintf(stderr, "e2e_snapshot: cannot start %ls\n", program.c_str());
    return 1;
  }
  HWND main = nullptr;
  // Start-up boxes come before the main window; each is shown and answered.
  WaitUntil(
      [&] {
        for (const ProgramDialog& box : op.Dialogs()) {
          Print(L"box", box.caption + L": " + box.text);
          op.Answer(box, IDOK);
        }
        main = op.WaitForWindow(L"MainWindowClass", 0);
        return main != nullptr;
      },
      30000);
  if (main == nullptr) {
    std::fprintf(stderr, "e2e_snapshot: no main window\n");
    return 1;
  }
  if (!open.empty()) {
    op.ChooseMenu(40001);
    const std::optional<ProgramDialog> dialog = op.WaitForFileDialog();
    if (!dialog || !op.CompleteFileDialog(*dialog, open) ||
        !WaitUntil([&] { return Operator::Text(main).find(L".cbl") != std::wstring::npos; }, kWaitMs)) {
      std::fprintf(stderr, "e2e_snapshot: could not open %ls\n", open.c_str());
      return 1;
    }
  }
  Print(L"caption", Operator::Text(main));
  Print(L"status", op.StatusText(op.Control(700), 1));
  if (!Operator::SaveScreenshot(main, png)) {
    std::fprintf(stderr, "e2e_snapshot: cannot write %ls\n", png.c_str());
    return 1;
  }
  if (!keepOpen) PostMessageW(main, WM_CLOSE, 0, 0);
  DWORD code = 1;
  if (!op.WaitForExit(code, keepOpen ? INFINITE : kWaitMs)) {
    std::fprintf(stderr, "e2e_snapshot: the program did not end\n");
    return 1;
  }
  return code == 0 ? 0 : 1;
}

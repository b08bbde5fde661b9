// e2e_snapshot PROGRAM WORKDIR PNG CBL [--keep-open]   (Unix or Windows paths)
//
// Starts PROGRAM in WORKDIR, answers any box it shows at start (printing its
// text), opens the cable set CBL through File > Open and saves a screenshot
// of the main window to PNG. Then closes the program, or with --keep-open
// waits until the user closes it. Exit status 0 when the screenshot was saved
// and the program ended cleanly.
#include <cstdio>

#include "operator_win.h"
#include "support/wine_path_win.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: e2e_snapshot PROGRAM WORKDIR PNG CBL [--keep-open]\n");
    return 2;
  }
  const bool keepOpen = argc > 5 && std::wstring(argv[5]) == L"--keep-open";
  const std::wstring cbl = WinePathOfUnix(argv[4]);
  Operator op;
  HWND main = nullptr;
  // Start-up boxes come before the main window; each is shown and answered.
  const bool opened = op.Start(WinePathOfUnix(argv[1]), WinePathOfUnix(argv[2])) && WaitUntil([&] {
    for (const ProgramDialog& box : op.Dialogs()) {
      std::printf("box: %s: %s\n", Utf8(box.caption).c_str(), Utf8(box.text).c_str());
      Operator::Answer(box.hwnd, IDOK);
    }
    return (main = op.WaitForWindow(L"MainWindowClass", 0)) != nullptr;
  }, 30000);
  op.ChooseMenu(40001);  // File > Open
  const std::optional<ProgramDialog> dialog = op.WaitForDialog([](const ProgramDialog& d) { return d.text.empty(); });
  if (!opened || !dialog || !Operator::CompleteFileDialog(dialog->hwnd, cbl) ||
      !WaitUntil([&] { return Operator::Text(main).find(L".cbl") != std::wstring::npos; })) {
    std::fprintf(stderr, "e2e_snapshot: could not start the program or open %ls\n", cbl.c_str());
    return 1;
  }
  std::printf("caption: %s\nstatus: %s\n", Utf8(Operator::Text(main)).c_str(),
              Utf8(op.StatusText(op.Control(700), 1)).c_str());
  if (!Operator::SaveScreenshot(main, WinePathOfUnix(argv[3]))) {
    std::fprintf(stderr, "e2e_snapshot: cannot write the screenshot\n");
    return 1;
  }
  if (!keepOpen) PostMessageW(main, WM_CLOSE, 0, 0);
  DWORD code = 1;
  return op.WaitForExit(code, keepOpen ? INFINITE : kWaitMs) && code == 0 ? 0 : 1;
}

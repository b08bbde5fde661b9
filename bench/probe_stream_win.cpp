// probe_stream_win: the real pinvoro.exe in a probe mode while unitsim streams
// ProbeState frames back to back at line rate. Run by bench/probe_stream.sh
// through tests/win/with_unitsim.sh (display, unitsim on COM1, its control port).
//
//   probe_stream_win.exe --exe PROGRAM --scratch DIR [--seconds N]
//                        [--speeds BAUD,...] [--modes probe,probeplus]
//
// For each mode and speed the program starts in a fresh working directory;
// the probe moves to another pin pair every 100 ms, so the panel changes often
// but not with every frame. Prints one table row per run:
//   frames    sent by the unit between Start and Finish, and per second
//   idle/run  round trip of WM_GETTEXT to the main window, every 100 ms, before
//             Start and while streaming: median / worst ms (+ time-outs)
//   unit off  ms from the Finish click until the unit's sent count stops
//   start on  ms from the Finish click until Start is enabled again
//   cpu       user + system time of pinvoro.exe's Linux process over the
//             stream's wall time
//   boxes     message boxes seen during the run, and the first one's text
#include "support/unitsim_client_win.h"  // first: winsock2.h before windows.h

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "operator_win.h"
#include "support/wine_path_win.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Mode {
  const char* name;
  WORD menu;
  int start;
  int finish;
};
constexpr Mode kModes[] = {{"probe", 40007, 1313, 1314}, {"probeplus", 40009, 1318, 1319}};

constexpr milliseconds kTick{100};
constexpr DWORD kPingTimeoutMs = 2000;
constexpr double kStopWaitMs = 10000;
// The unit counts as stopped once its count has held this long.
constexpr double kQuietMs = 500;
// unitsim's probe script holds 64 steps; it is started afresh before it fills.
constexpr int kStepsPerScript = 60;

double MsSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// The round trip of a message the window thread answers itself; -1 on time-out.
double Ping(HWND window) {
  wchar_t text[256];
  DWORD_PTR copied = 0;
  const Clock::time_point t = Clock::now();
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, kPingTimeoutMs,
                           &copied)) {
    return -1;
  }
  return MsSince(t);
}

// Pings from a thread of its own, so that a window that falls behind does not
// hold up the probe's moves.
class Pinger {
 public:
  explicit Pinger(HWND window)
      : thread_([this, window] {
          while (!stop_) {
            const Clock::time_point next = Clock::now() + kTick;
            samples_.push_back(Ping(window));
            std::this_thread::sleep_until(next);
          }
        }) {}
  ~Pinger() { Stop(); }
  Pinger(const Pinger&) = delete;
  Pinger& operator=(const Pinger&) = delete;

  const std::vector<double>& Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return samples_;
  }

 private:
  std::vector<double> samples_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// "median/worst", time-outs counted as kPingTimeoutMs and added as "+N".
std::string Summary(std::vector<double> samples) {
  if (samples.empty()) return "-";
  const auto timeouts = std::count(samples.begin(), samples.end(), -1.0);
  for (double& s : samples) s = s < 0 ? kPingTimeoutMs : s;
  std::sort(samples.begin(), samples.end());
  char text[48];
  std::snprintf(text, sizeof text, "%.1f/%.0f", samples[samples.size() / 2], samples.back());
  return timeouts ? text + std::string("+") + std::to_string(timeouts) + "to" : text;
}

// The unit's "sent" count from "ok dsr .. dtr .. lost .. frames .. sent N"; -1 unread.
long long Sent(UnitSim& unit) {
  const std::string reply = unit.Do("status");
  const size_t at = reply.find(" sent ");
  return at == std::string::npos ? -1 : std::atoll(reply.c_str() + at + 6);
}

// Wine's GetProcessTimes tells nothing for another process (it showed under
// 1 % where Linux counted 18 %), so the program's CPU time comes from Linux's
// /proc, seen through drive Z:.
std::string ReadAll(const std::wstring& path) {
  std::ifstream file{std::filesystem::path(path), std::ios::binary};
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The /proc directory of the Linux process whose command line starts with exe
// (Wine names its processes by their Windows path); empty when none is.
std::wstring LinuxProcessOf(const std::wstring& exe) {
  const std::string name(exe.begin(), exe.end());
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  std::wstring dir;
  do {
    const std::wstring candidate = std::wstring(L"Z:\\proc\\") + found.cFileName;
    if (iswdigit(found.cFileName[0]) && ReadAll(candidate + L"\\cmdline").rfind(name, 0) == 0) dir = candidate;
  } while (dir.empty() && FindNextFileW(search, &found));
  FindClose(search);
  return dir;
}

// utime + stime in ms; -1 once the process is gone.
double CpuMs(const std::wstring& procDir) {
  const std::string stat = ReadAll(procDir + L"\\stat");
  const size_t end = stat.rfind(')');
  if (end == std::string::npos) return -1;
  unsigned long long utime = 0, stime = 0;
  // Fields 14 and 15, counted after the command's closing parenthesis.
  if (std::sscanf(stat.c_str() + end + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                  &stime) != 2) {
    return -1;
  }
  return static_cast<double>(utime + stime) * 10;  // USER_HZ is 100 on Linux
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c == L'\r' || c == L'\n' ? ' ' : c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

struct Row {
  std::string mode;
  unsigned baud = 0;
  double streamMs = 0;
  long long frames = -1;
  std::string idle, run;
  double unitOffMs = -1;   // -1: still sending when we stopped looking
  double startOnMs = -1;   // -1: not enabled again within kStopWaitMs
  double cpuPercent = -1;
  size_t boxes = 0;
  std::string firstBox;
  std::string trouble;
};

class Bench {
 public:
  Bench(std::wstring exe, std::wstring scratch, int seconds) : exe_(exe), scratch_(scratch), seconds_(seconds) {}

  Row Run(const Mode& mode, unsigned baud) {
    Row row;
    row.mode = mode.name;
    row.baud = baud;
    const std::vector<std::string> setUp = {"clear faults", "clear probe",  "plug nothing",
                                            "dsr on",       "clear log",    "speed " + std::to_string(baud),
                                            "probe period 0", "probe A01 B01"};
    for (const std::string& command : setUp) {
      if (unit_.Do(command) != "ok") return Trouble(row, "unitsim refused: " + command);
    }
    const std::wstring dir = scratch_ + L"\\" + std::wstring(mode.name, mode.name + strlen(mode.name)) + L"-" +
                             std::to_wstring(baud);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    std::filesystem::create_directories(dir, ignored);
    // COM1, English.
    std::ofstream(std::filesystem::path(dir + L"\\pinvoro.ini"), std::ios::binary) << "[RS232C]\r\nPort=1\r\nLang=2\r\n";

    Operator op;
    if (!op.Start(exe_, dir)) return Trouble(row, "cannot start the program");
    HWND main = op.WaitForWindow(L"MainWindowClass", 30000);
    if (main == nullptr) return Trouble(row, "no main window");
    const std::wstring linuxProcess = LinuxProcessOf(exe_);
    if (linuxProcess.empty()) row.trouble = "no Linux process for the program; ";
    op.ChooseMenu(mode.menu);
    HWND start = op.Control(mode.start);
    HWND finish = op.Control(mode.finish);
    if (!WaitUntil([&] { return start != nullptr && IsWindowEnabled(start); }))
      return Trouble(row, "Start stays disabled");

    {
      Pinger idle(main);
      std::this_thread::sleep_for(milliseconds(3000));
      row.idle = Summary(idle.Stop());
    }

    std::set<HWND> boxes;
    const auto lookForBoxes = [&] {
      for (const ProgramDialog& d : op.Dialogs()) {
        if (boxes.insert(d.hwnd).second && row.firstBox.empty()) row.firstBox = Narrow(d.caption + L": " + d.text);
      }
    };

    const long long sentBefore = Sent(unit_);
    const double cpuBefore = CpuMs(linuxProcess);
    const Clock::time_point streamStart = Clock::now();
    if (!op.Click(start)) op.Press(start);
    if (!WaitUntil([&] { return IsWindowEnabled(finish); })) row.trouble = "Finish not enabled after Start; ";
    {
      Pinger running(main);
      int steps = 1;
      for (int tick = 1; MsSince(streamStart) < seconds_ * 1000.0; ++tick) {
        std::this_thread::sleep_until(streamStart + tick * kTick);
        if (++steps > kStepsPerScript) {
          // Clearing the script puts the period back to its default.
          unit_.Do("clear probe");
          unit_.Do("probe period 0");
          steps = 1;
        }
        char probe[32];
        std::snprintf(probe, sizeof probe, "probe A%02d B%02d", tick % 50 + 1, (tick * 7) % 50 + 1);
        unit_.Do(probe);
        if (tick % 5 == 0) lookForBoxes();
      }
      row.run = Summary(running.Stop());
    }
    const long long sentAfter = Sent(unit_);
    const double cpuAfter = CpuMs(linuxProcess);
    row.streamMs = MsSince(streamStart);
    row.frames = sentBefore < 0 || sentAfter < 0 ? -1 : sentAfter - sentBefore;
    if (cpuBefore >= 0 && cpuAfter >= 0) row.cpuPercent = 100 * (cpuAfter - cpuBefore) / row.streamMs;

    const Clock::time_point clicked = Clock::now();
    if (!op.Click(finish)) op.Press(finish);
    long long last = Sent(unit_);
    double lastChangeMs = 0;
    bool quiet = false;
    for (;;) {
      std::this_thread::sleep_for(milliseconds(10));
      const double now = MsSince(clicked);
      const long long sent = Sent(unit_);
      if (sent != last) {
        last = sent;
        lastChangeMs = now;
      }
      if (row.startOnMs < 0 && IsWindowEnabled(start)) row.startOnMs = now;
      quiet = now - lastChangeMs >= kQuietMs;
      if ((quiet && row.startOnMs >= 0) || now >= kStopWaitMs) break;
    }
    if (quiet) row.unitOffMs = lastChangeMs;
    lookForBoxes();
    row.boxes = boxes.size();
    return row;  // the operator ends the program
  }

  bool Connected() const { return unit_.Connected(); }

 private:
  static Row& Trouble(Row& row, const std::string& why) {
    row.trouble += why;
    return row;
  }

  UnitSim unit_;
  std::wstring exe_;
  std::wstring scratch_;
  int seconds_;
};

std::vector<std::wstring> Split(const std::wstring& list) {
  std::vector<std::wstring> items;
  for (size_t start = 0; start <= list.size();) {
    size_t end = list.find(L',', start);
    if (end == std::wstring::npos) end = list.size();
    if (end > start) items.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

std::string Ms(double ms, double limit) {
  char text[16];
  std::snprintf(text, sizeof text, ms < 0 ? ">%.0f" : "%.0f", ms < 0 ? limit : ms);
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring exe, scratch, speeds = L"38400", modes = L"probe,probeplus";
  int seconds = 60;
  bool usage = false;
  for (int i = 1; i < argc && !usage; ++i) {
    const std::wstring arg = argv[i];
    if (i + 1 >= argc) usage = true;
    else if (arg == L"--exe") exe = WinePathOfUnix(argv[++i]);
    else if (arg == L"--scratch") scratch = WinePathOfUnix(argv[++i]);
    else if (arg == L"--seconds") seconds = _wtoi(argv[++i]);
    else if (arg == L"--speeds") speeds = argv[++i];
    else if (arg == L"--modes") modes = argv[++i];
    else usage = true;
  }
  if (usage || exe.empty() || scratch.empty() || seconds <= 0) {
    std::fprintf(stderr, "usage: probe_stream_win --exe PROGRAM --scratch DIR [--seconds N] [--speeds BAUD,...] "
                         "[--modes probe,probeplus]\n");
    return 2;
  }
  Bench bench(exe, scratch, seconds);
  if (!bench.Connected()) {
    std::fprintf(stderr, "probe_stream_win: no unitsim (run through tests/win/with_unitsim.sh)\n");
    return 2;
  }
  std::vector<Row> rows;
  for (const std::wstring& speed : Split(speeds)) {
    for (const std::wstring& name : Split(modes)) {
      const Mode* mode = nullptr;
      for (const Mode& m : kModes) {
        if (name == std::wstring(m.name, m.name + strlen(m.name))) mode = &m;
      }
      if (mode == nullptr) {
        std::fprintf(stderr, "probe_stream_win: no mode %ls\n", name.c_str());
        return 2;
      }
      std::fprintf(stderr, "probe_stream: %s at %ls for %d s\n", mode->name, speed.c_str(), seconds);
      rows.push_back(bench.Run(*mode, static_cast<unsigned>(_wtoi(speed.c_str()))));
    }
  }

  std::printf("program: %ls\nresponse: WM_GETTEXT to the main window every 100 ms, median/worst ms "
              "(+N to: time-outs at %lu ms)\n",
              exe.c_str(), kPingTimeoutMs);
  std::printf("%-9s %6s %6s %7s %6s %-12s %-14s %8s %8s %5s %s\n", "mode", "baud", "s", "frames", "fr/s",
              "idle", "streaming", "unit off", "start on", "cpu%", "boxes");
  bool ok = true;
  for (const Row& r : rows) {
    const double s = r.streamMs / 1000;
    std::printf("%-9s %6u %6.1f %7lld %6.1f %-12s %-14s %8s %8s %5.1f %zu%s%s%s%s\n", r.mode.c_str(), r.baud, s,
                r.frames, s > 0 && r.frames >= 0 ? static_cast<double>(r.frames) / s : 0.0, r.idle.c_str(), r.run.c_str(),
                Ms(r.unitOffMs, kStopWaitMs).c_str(), Ms(r.startOnMs, kStopWaitMs).c_str(), r.cpuPercent, r.boxes,
                r.firstBox.empty() ? "" : " (", r.firstBox.c_str(), r.firstBox.empty() ? "" : ")",
                r.trouble.empty() ? "" : ("  trouble: " + r.trouble).c_str());
    ok = ok && r.trouble.empty();
  }
  return ok ? 0 : 1;
}

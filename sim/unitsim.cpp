// unitsim: the simulated tester unit on a Linux pseudo-terminal.
//
// Prints "device <slave path>" and "control <port>" as its first two lines,
// then serves the unit's side of the serial line on the pseudo-terminal and
// line commands (see unit_control.h, or send "help") on 127.0.0.1:<port>.
// With --modem-state it shares DSR and DTR with the library preloaded into
// Wine; with --speed its output is paced as on a real line.
#include <CLI/CLI.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cabledata/posix_file_system.h"
#include "sim/modemlines/modem_lines.h"
#include "sim/tester_model.h"
#include "sim/unit_control.h"

namespace {

volatile sig_atomic_t stopSignal = 0;

void OnStopSignal(int) { stopSignal = 1; }

// Reports a failed system call; false, for the callers that pass it on.
bool Fail(const char* what) {
  std::fprintf(stderr, "unitsim: %s: %s\n", what, std::strerror(errno));
  return false;
}

// The same, for main's exit status.
int FailExit(const char* what) {
  Fail(what);
  return 1;
}

bool SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// The pseudo-terminal: the master is the unit's end. unitsim holds the slave
// open too, so the master never sees a hang-up between the host's sessions,
// and it can drop what the host left unread when the host lets go of DTR.
struct Line {
  int master = -1;
  int slave = -1;
  std::string device;
  std::vector<uint8_t> pending;  // unit bytes the pseudo-terminal did not take yet

  bool Open() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) return Fail("posix_openpt");
    if (grantpt(master) != 0 || unlockpt(master) != 0) return Fail("grantpt/unlockpt");
    const char* name = ptsname(master);
    if (name == nullptr) return Fail("ptsname");
    device = name;
    // Raw both ways: a pseudo-terminal's terminal settings live on the slave,
    // and the master's calls reach them.
    termios tio{};
    if (tcgetattr(master, &tio) != 0) return Fail("tcgetattr");
    cfmakeraw(&tio);
    if (tcsetattr(master, TCSANOW, &tio) != 0) return Fail("tcsetattr");
    slave = open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) return Fail("open slave");
    return SetNonBlocking(master) || Fail("O_NONBLOCK");
  }

  void Flush() {
    if (!pending.empty()) {
      const ssize_t n = write(master, pending.data(), pending.size());
      if (n > 0) pending.erase(pending.begin(), pending.begin() + n);
    }
  }

  void DropUnread() {
    pending.clear();
    tcflush(slave, TCIFLUSH);
  }
};

// The state shared with the preloaded library (modem_lines.h).
struct ModemLines {
  ModemLinesState* state = nullptr;
  uint32_t seenDrops = 0;

  bool Open(const std::string& path) {
    // Rewritten in place, never replaced: processes that mapped it before keep
    // seeing it.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return Fail(path.c_str());
    struct stat st {};
    if (fstat(fd, &st) != 0 || (st.st_size < static_cast<off_t>(sizeof(ModemLinesState)) &&
                                ftruncate(fd, sizeof(ModemLinesState)) != 0)) {
      close(fd);
      return Fail(path.c_str());
    }
    void* map = mmap(nullptr, sizeof(ModemLinesState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (map == MAP_FAILED) return Fail("mmap");
    state = static_cast<ModemLinesState*>(map);
    __atomic_store_n(&state->dtr, 0u, __ATOMIC_RELEASE);
    __atomic_store_n(&state->rts, 0u, __ATOMIC_RELEASE);
    seenDrops = __atomic_load_n(&state->dtrDrops, __ATOMIC_ACQUIRE);
    __atomic_store_n(&state->magic, MODEM_LINES_MAGIC, __ATOMIC_RELEASE);
    return true;
  }

  // Brings the model's DTR up to the host's and publishes the unit's DSR.
  void Sync(TesterModel& model, Line& line) {
    if (state == nullptr) return;
    const uint32_t drops = __atomic_load_n(&state->dtrDrops, __ATOMIC_ACQUIRE);
    const bool dtr = __atomic_load_n(&state->dtr, __ATOMIC_ACQUIRE) != 0;
    if (drops != seenDrops) {
      // The host closed the port since the last look, perhaps opening it again.
      seenDrops = drops;
      model.SetDtr(false);
      line.DropUnread();
    }
    model.SetDtr(dtr);
    __atomic_store_n(&state->dsr, model.Dsr() ? 1u : 0u, __ATOMIC_RELEASE);
  }

  void SwitchOff() {
    if (state != nullptr) __atomic_store_n(&state->dsr, 0u, __ATOMIC_RELEASE);
  }
};

struct Client {
  int fd;
  std::string in;
  std::string out;
  bool gone = false;
};

int Listen(uint16_t port, uint16_t& bound) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    Fail("socket");
    return -1;
  }
  const int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  socklen_t size = sizeof addr;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size) != 0 || !SetNonBlocking(fd)) {
    Fail("control socket");
    close(fd);
    return -1;
  }
  bound = ntohs(addr.sin_port);
  return fd;
}

class Clock {
 public:
  uint64_t NowMs() const {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count());
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// How often DTR is looked at while nothing else happens.
constexpr uint64_t kModemPollMs = 5;

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"unitsim: a simulated tester unit on a pseudo-terminal"};
  uint16_t controlPort = 0;
  std::string logPath;
  std::string statePath;
  std::string linkPath;
  std::vector<std::string> startCommands;
  uint32_t speed = 0;
  app.add_option("--control-port", controlPort, "TCP port on 127.0.0.1 for control commands (0: any free port)");
  app.add_option("--log", logPath, "Append every frame on the line to this file");
  app.add_option("--modem-state", statePath, "Share DTR and DSR with the preloaded modem-lines library through this file");
  app.add_option("--link", linkPath, "Make this path a symbolic link to the pseudo-terminal");
  app.add_option("--speed", speed, "Pace the unit's output at this many bit/s, ten bits a byte (0: unpaced)")
      ->check(CLI::Range(0u, 1000000u));
  app.add_option("-e,--exec", startCommands, "Run a control command before serving (repeatable)");
  app.footer("Control commands: send \"help\" on the control port for the list.");
  CLI11_PARSE(app, argc, argv);

  std::FILE* logFile = nullptr;
  if (!logPath.empty()) {
    logFile = std::fopen(logPath.c_str(), "a");
    if (logFile == nullptr) return FailExit(logPath.c_str());
  }

  Clock clock;
  static TesterModel model;  // large; kept off the stack
  FrameRecorder recorder(logFile);
  model.SetFrameLog(&recorder);
  model.SetLineSpeed(speed);
  PosixFileSystem files;
  UnitControl control(model, recorder, files);
  for (const std::string& command : startCommands) {
    const std::string reply = control.Execute(command, clock.NowMs());
    if (reply.rfind("ok", 0) != 0) {
      std::fprintf(stderr, "unitsim: %s: %s", command.c_str(), reply.c_str());
      return 2;
    }
  }

  Line line;
  if (!line.Open()) return 1;
  ModemLines modem;
  if (!statePath.empty() && !modem.Open(statePath)) return 1;
  if (!linkPath.empty()) {
    // Replaced, not removed first, so the name never goes missing.
    const std::string temporary = linkPath + ".new";
    unlink(temporary.c_str());
    if (symlink(line.device.c_str(), temporary.c_str()) != 0 || rename(temporary.c_str(), linkPath.c_str()) != 0) {
      return FailExit(linkPath.c_str());
    }
  }
  uint16_t boundPort = 0;
  const int listener = Listen(controlPort, boundPort);
  if (listener < 0) return 1;

  struct sigaction stop {};
  stop.sa_handler = OnStopSignal;  // no SA_RESTART: poll returns on a signal
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGHUP, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::printf("device %s\ncontrol %u\n", line.device.c_str(), static_cast<unsigned>(boundPort));
  std::fflush(stdout);

  std::vector<Client> clients;
  uint8_t buffer[4096];
  while (!stopSignal && !control.QuitRequested()) {
    uint64_t now = clock.NowMs();
    modem.Sync(model, line);
    recorder.SetClock(now);
    for (size_t n; (n = model.TakeUnitBytes(buffer, sizeof buffer, now)) > 0;) {
      line.pending.insert(line.pending.end(), buffer, buffer + n);
    }
    line.Flush();
    modem.Sync(model, line);

    std::vector<pollfd> fds;
    fds.push_back({line.master, static_cast<short>(POLLIN | (line.pending.empty() ? 0 : POLLOUT)), 0});
    fds.push_back({listener, POLLIN, 0});
    for (const Client& c : clients) {
      fds.push_back({c.fd, static_cast<short>(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
    }
    // Paced output falls due a few bytes each millisecond: every wake-up
    // above hands out all that is due, not a byte at a time.
    const uint64_t due = model.NextDueMs();
    uint64_t wait = due == UINT64_MAX ? 1000 : due > now ? due - now : 0;
    if (modem.state != nullptr) wait = std::min(wait, kModemPollMs);
    if (poll(fds.data(), fds.size(), static_cast<int>(wait)) < 0 && errno != EINTR) return FailExit("poll");

    now = clock.NowMs();
    // DTR may have changed just before these bytes or commands came.
    modem.Sync(model, line);
    if (fds[0].revents & POLLIN) {
      const ssize_t n = read(line.master, buffer, sizeof buffer);
      if (n > 0) {
        recorder.SetClock(now);
        model.HostBytes(buffer, static_cast<size_t>(n), now);
      }
    }
    for (size_t i = 0; i < clients.size(); ++i) {
      Client& c = clients[i];
      const short revents = fds[2 + i].revents;
      if (revents & (POLLIN | POLLHUP | POLLERR)) {
        const ssize_t n = read(c.fd, buffer, sizeof buffer);
        if (n > 0) {
          c.in.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
          c.gone = true;
        }
      }
      for (size_t end; !control.QuitRequested() && (end = c.in.find('\n')) != std::string::npos;) {
        c.out += control.Execute(std::string_view(c.in).substr(0, end), clock.NowMs());
        c.in.erase(0, end + 1);
      }
    }
    // A command's effect on DSR is visible before its "ok" is.
    modem.Sync(model, line);
    for (Client& c : clients) {
      if (!c.out.empty()) {
        // Written at once, so even the answer to "quit" goes out before the
        // loop ends; a long log dump continues on POLLOUT.
        const ssize_t n = write(c.fd, c.out.data(), c.out.size());
        if (n > 0) c.out.erase(0, static_cast<size_t>(n));
        if (n < 0 && errno != EAGAIN && errno != EINTR) c.gone = true;
      }
    }
    std::erase_if(clients, [](const Client& c) {
      if (c.gone) close(c.fd);
      return c.gone;
    });
    // Accepted last: the client loop above walks only the polled ones.
    if (fds[1].revents & POLLIN) {
      const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd >= 0) clients.push_back(Client{fd, {}, {}});
    }
  }

  modem.SwitchOff();
  if (!linkPath.empty()) {
    char target[4096];
    const ssize_t n = readlink(linkPath.c_str(), target, sizeof target - 1);
    if (n > 0 && line.device == std::string(target, static_cast<size_t>(n))) unlink(linkPath.c_str());
  }
  for (const Client& c : clients) close(c.fd);
  close(listener);
  if (logFile != nullptr) std::fclose(logFile);
  return 0;
}

// unitsim as a host program meets it: the pseudo-terminal it prints, opened
// raw, carries every exchange with exactly the frames the plugged cable calls
// for, and its frame log holds both directions.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/commands.h"
#include "support/unit_frames.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWaitMs = 5000;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits up to ms for bytes and appends what one read gives; false when none
// came.
bool ReadSome(int fd, std::string& out, size_t most, int ms) {
  pollfd p{fd, POLLIN, 0};
  int ready = 0;
  while ((ready = poll(&p, 1, ms)) < 0 && errno == EINTR) {
  }
  if (ready <= 0) return false;
  char buffer[4096];
  const ssize_t n = read(fd, buffer, most < sizeof buffer ? most : sizeof buffer);
  if (n <= 0) return false;
  out.append(buffer, static_cast<size_t>(n));
  return true;
}

// Reads into `out` until it holds `size` bytes or the time is up.
void ReadFor(int fd, std::string& out, size_t size, int ms) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  while (out.size() < size && ReadSome(fd, out, size - out.size(), MsLeft(deadline))) {
  }
}

// A control reply is complete with its "ok" or "error" line.
bool CompleteReply(const std::string& reply) {
  if (reply.empty() || reply.back() != '\n') return false;
  const size_t previous = reply.size() >= 2 ? reply.rfind('\n', reply.size() - 2) : std::string::npos;
  const std::string_view last = std::string_view(reply).substr(previous == std::string::npos ? 0 : previous + 1);
  return last.starts_with("ok") || last.starts_with("error");
}

// unitsim in a child process. Stopped whatever happens: with "quit" when its
// control channel answers, with SIGKILL when it does not go.
class Unitsim {
 public:
  Unitsim() = default;
  Unitsim(const Unitsim&) = delete;
  Unitsim& operator=(const Unitsim&) = delete;
  ~Unitsim() { Stop(); }

  // Starts it and reads the two lines it prints first. Empty on success, else
  // what went wrong.
  std::string Start(const std::vector<std::string>& arguments) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return "pipe failed";
    std::vector<std::string> args = {PINVORO_UNITSIM_PATH};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    stdout_ = out[0];
    if (failed != 0) {
      pid_ = -1;
      return "cannot start " + args[0];
    }

    std::string text;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (std::count(text.begin(), text.end(), '\n') < 2 && ReadSome(stdout_, text, SIZE_MAX, MsLeft(deadline))) {
    }
    std::istringstream in(text);
    std::string word;
    int port = 0;
    in >> word >> device;
    if (word != "device") return "unexpected first line: " + text;
    in >> word >> port;
    if (word != "control" || port <= 0 || port > 65535) return "unexpected second line: " + text;
    return Connect(static_cast<uint16_t>(port));
  }

  // One control command; its reply, up to and including the "ok" or "error"
  // line.
  std::string Command(const std::string& line) {
    const std::string sent = line + "\n";
    if (control_ < 0 || write(control_, sent.data(), sent.size()) != static_cast<ssize_t>(sent.size()))
      return "error: not connected\n";
    std::string reply;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!CompleteReply(reply)) {
      if (!ReadSome(control_, reply, SIZE_MAX, MsLeft(deadline))) return reply + "error: no reply\n";
    }
    return reply;
  }

  // Quits it and waits for it; its exit status, or -1 when it had to be
  // killed.
  int Stop() {
    if (pid_ < 0) return -1;
    if (control_ >= 0) Command("quit");
    int status = 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
    pid_t done = 0;
    while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && MsLeft(deadline) > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    int result = done == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    if (control_ >= 0) close(control_);
    if (stdout_ >= 0) close(stdout_);
    control_ = stdout_ = -1;
    return result;
  }

  std::string device;

 private:
  std::string Connect(uint16_t port) {
    control_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (control_ < 0 || connect(control_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
      return "cannot connect to the control port";
    return {};
  }

  pid_t pid_ = -1;
  int stdout_ = -1;
  int control_ = -1;
};

// The host's end of the line, opened as a serial port is: raw, no echo, no
// line editing.
class Terminal {
 public:
  ~Terminal() { Close(); }
  bool Open(const std::string& device) {
    fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (fd_ < 0 || tcgetattr(fd_, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd_, TCSANOW, &tio) == 0;
  }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  bool Send(const uint8_t* bytes, size_t n) { return write(fd_, bytes, n) == static_cast<ssize_t>(n); }
  // What arrives until `size` bytes have come or the time is up.
  FrameBytes Receive(size_t size, int ms = kWaitMs) {
    std::string got;
    ReadFor(fd_, got, size, ms);
    return FrameBytes(got.begin(), got.end());
  }

 private:
  int fd_ = -1;
};

FrameBytes Joined(const std::vector<FrameBytes>& frames) {
  FrameBytes all;
  for (const FrameBytes& f : frames) all.insert(all.end(), f.begin(), f.end());
  return all;
}

// The frame log's lines without their time stamps.
std::vector<std::string> LogLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.find_first_of("hu");
    if (at != std::string::npos) lines.push_back(line.substr(at));
  }
  return lines;
}

TEST(UnitsimClient, AnswersEveryExchangeForThePluggedCableAndLogsBothWays) {
  const std::filesystem::path log =
      std::filesystem::temp_directory_path() / ("unitsim_client_" + std::to_string(getpid()) + ".log");
  std::filesystem::remove(log);
  Unitsim unitsim;
  ASSERT_EQ(unitsim.Start({"--log", log.string()}), "");

  // Straight but for a crossed pair, a pin joined to CN-C and two A pins
  // bridged; A10 and A11 are on no B pin.
  Rows cable;
  cable.Straight(9)
      .Net({A(2), B(3)})
      .Net({A(3), B(2)})
      .Net({A(4), B(4), C(1)})
      .Net({A(10), A(11)});
  const std::string nets = "plug nets A01,B01 A02,B03 A03,B02 A04,B04,C01 A05,B05 A06,B06 A07,B07 A08,B08 A09,B09";
  EXPECT_EQ(unitsim.Command("version 2345"), "ok\n");
  EXPECT_EQ(unitsim.Command(nets + " A10,A11"), "ok\n");

  Terminal line;
  ASSERT_TRUE(line.Open(unitsim.device)) << unitsim.device;
  std::vector<std::string> expectedLog;
  // Sends a command and compares everything that comes back with `answer`.
  const auto exchange = [&](const uint8_t* command, size_t n, const std::vector<FrameBytes>& answer) {
    ASSERT_TRUE(line.Send(command, n));
    const FrameBytes expected = Joined(answer);
    EXPECT_EQ(HexBytes(line.Receive(expected.size())), HexBytes(expected)) << "answer to " << HexBytes(command, n);
    expectedLog.push_back("host " + HexBytes(command, n));
    for (const FrameBytes& f : answer) expectedLog.push_back("unit " + HexBytes(f));
  };
  exchange(kStatusQuery, sizeof kStatusQuery, {StatusFrame("2345")});

  // A long answer, whose LEN bytes (0x11) a terminal not in raw mode would take for XON.
  uint8_t oneOnOne[kOneOnOneStartBytes];
  BuildOneOnOneStart(50, oneOnOne);
  std::vector<FrameBytes> answer = Answer('O', cable, {A(2), A(3), A(4), A(10), A(11)});
  answer.pop_back();
  for (unsigned p = 12; p <= 50; ++p) answer.push_back(RowFrame('O', A(p), Pins({A(p)})));
  answer.push_back(EndFrame('O'));
  exchange(oneOnOne, sizeof oneOnOne, answer);

  // The master goes over with no answer; the host closes and reopens the
  // line, then runs the work test on a cable with the A10-A11 bridge missing.
  uint8_t transfer[kMasterTransferMaxBytes];
  const int size = BuildMasterTransfer(cable.rows, transfer);
  ASSERT_TRUE(line.Send(transfer, static_cast<size_t>(size)));
  for (int at = 0; at < size; at += transfer[at + 1] + 3)
    expectedLog.push_back("host " + HexBytes(transfer + at, transfer[at + 1] + 3u));
  line.Close();
  ASSERT_TRUE(line.Open(unitsim.device));
  EXPECT_EQ(unitsim.Command(nets), "ok\n");
  exchange(kWorkTest, sizeof kWorkTest,
           {RowFrame('W', A(10), Pins({A(10)})), RowFrame('W', A(11), Pins({A(11)})), EndFrame('W')});
  EXPECT_EQ(HexBytes(line.Receive(1, 100)), "") << "nothing after the last answer";

  // The control channel's log and the log file, both directions, in order.
  std::string reply = unitsim.Command("log");
  ASSERT_GE(reply.size(), 3u);
  EXPECT_EQ(reply.substr(reply.size() - 3), "ok\n");
  reply.resize(reply.size() - 3);
  EXPECT_EQ(LogLines(reply), expectedLog);
  EXPECT_EQ(unitsim.Stop(), 0) << "quit ends unitsim cleanly";
  std::ifstream file(log);
  std::ostringstream text;
  text << file.rdbuf();
  EXPECT_EQ(LogLines(text.str()), expectedLog);
  std::filesystem::remove(log);
}

}  // namespace

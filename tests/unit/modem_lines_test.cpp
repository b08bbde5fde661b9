// The modem-lines library as Wine uses it, called through dlopen so that only
// this test's calls go through it.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/modemlines/modem_lines.h"

namespace {

template <typename Fn>
Fn Symbol(void* library, const char* name) {
  void* p = dlsym(library, name);
  Fn fn = nullptr;
  std::memcpy(&fn, &p, sizeof fn);
  return fn;
}

// A pseudo-terminal the library is told by a link to it, as with_unitsim.sh
// does, and the state file. One state file serves the whole run: the library
// keeps the first mapping it makes, as unitsim's rewrite-in-place allows.
class ModemLinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    void* library = dlopen(PINVORO_MODEMLINES_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    ioctl_ = Symbol<int (*)(int, unsigned long, ...)>(library, "ioctl");
    open_ = Symbol<int (*)(const char*, int, ...)>(library, "open");
    close_ = Symbol<int (*)(int)>(library, "close");
    dup_ = Symbol<int (*)(int)>(library, "dup");
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(ioctl_ && open_ && close_ && dup_ && master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0);
    device_ = ptsname(master_);
    unlink(link_.c_str());
    ASSERT_EQ(symlink(device_.c_str(), link_.c_str()), 0);
    const int fd = ::open(StatePath().c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_TRUE(fd >= 0 && ftruncate(fd, sizeof(ModemLinesState)) == 0);
    void* map = mmap(nullptr, sizeof(ModemLinesState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    ASSERT_NE(map, MAP_FAILED);
    state_ = static_cast<ModemLinesState*>(map);
    *state_ = ModemLinesState{MODEM_LINES_MAGIC, 1, 0, 0, 0};
    setenv(MODEM_LINES_DEVICE_ENV, link_.c_str(), 1);
    setenv(MODEM_LINES_STATE_ENV, StatePath().c_str(), 1);
  }
  void TearDown() override {
    unsetenv(MODEM_LINES_DEVICE_ENV);
    unsetenv(MODEM_LINES_STATE_ENV);
    if (state_ != nullptr) munmap(state_, sizeof(ModemLinesState));
    unlink(link_.c_str());
    if (master_ >= 0) ::close(master_);
  }
  static void TearDownTestSuite() { unlink(StatePath().c_str()); }
  static std::string StatePath() { return "/tmp/pinvoro-modemlines-test-" + std::to_string(getpid()) + ".state"; }

  int Lines(int fd) {
    int bits = -1;
    EXPECT_EQ(ioctl_(fd, TIOCMGET, &bits), 0);
    return bits;
  }
  int Set(int fd, unsigned long request, int bits) { return ioctl_(fd, request, &bits); }

  int (*ioctl_)(int, unsigned long, ...) = nullptr;
  int (*open_)(const char*, int, ...) = nullptr;
  int (*close_)(int) = nullptr;
  int (*dup_)(int) = nullptr;
  int master_ = -1;
  std::string device_;
  std::string link_ = "/tmp/pinvoro-modemlines-test-" + std::to_string(getpid());
  ModemLinesState* state_ = nullptr;
};

TEST_F(ModemLinesTest, ModemRequestsOnThePortUseTheSharedState) {
  const int port = ::open(device_.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(port, 0);
  int bits = -1;
  ASSERT_EQ(::ioctl(port, TIOCMGET, &bits), -1) << "a pseudo-terminal has no modem lines of its own";
  EXPECT_EQ(Lines(port), TIOCM_DSR);
  state_->dsr = 0;
  EXPECT_EQ(Lines(port), 0);
  ASSERT_EQ(Set(port, TIOCMBIS, TIOCM_DTR), 0);
  EXPECT_EQ(state_->dtr, 1u);
  EXPECT_EQ(Lines(port), TIOCM_DTR);
  ASSERT_EQ(Set(port, TIOCMBIC, TIOCM_DTR), 0);
  ASSERT_EQ(Set(port, TIOCMBIC, TIOCM_DTR), 0);
  EXPECT_EQ(state_->dtr, 0u);
  EXPECT_EQ(state_->dtrDrops, 1u) << "only a fall counts";
  ASSERT_EQ(Set(port, TIOCMSET, TIOCM_DTR | TIOCM_RTS), 0);
  state_->dsr = 1;
  EXPECT_EQ(Lines(port), TIOCM_DTR | TIOCM_RTS | TIOCM_DSR);
  ASSERT_EQ(Set(port, TIOCMSET, TIOCM_RTS), 0);
  EXPECT_EQ(state_->dtr, 0u);
  EXPECT_EQ(state_->dtrDrops, 2u);
  // Other requests, and other terminals, pass through.
  int queued = -1;
  EXPECT_EQ(ioctl_(port, FIONREAD, &queued), 0);
  EXPECT_EQ(queued, 0);
  const int other = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(other >= 0 && grantpt(other) == 0 && unlockpt(other) == 0);
  const int otherPort = ::open(ptsname(other), O_RDWR | O_NOCTTY);
  errno = 0;
  EXPECT_EQ(ioctl_(otherPort, TIOCMGET, &bits), -1);
  EXPECT_EQ(errno, ENOTTY);
  for (int fd : {otherPort, other, port}) ::close(fd);
}

TEST_F(ModemLinesTest, ThePortOpensOnceAtATime) {
  const int first = open_(link_.c_str(), O_RDWR);
  ASSERT_GE(first, 0);
  errno = 0;
  EXPECT_EQ(open_(device_.c_str(), O_RDWR), -1) << "by any of its names";
  EXPECT_EQ(errno, EACCES);
  const int copy = dup_(first);
  ASSERT_GE(copy, 0);
  ASSERT_EQ(close_(first), 0);
  EXPECT_EQ(open_(link_.c_str(), O_RDWR), -1) << "a duplicate still holds the port";
  ASSERT_EQ(close_(copy), 0);
  const int again = open_(link_.c_str(), O_RDWR);
  EXPECT_GE(again, 0) << "closed for good, the port opens again";
  // Other files are not held.
  const int a = open_("/dev/null", O_RDWR);
  const int b = open_("/dev/null", O_RDWR);
  EXPECT_TRUE(a >= 0 && b >= 0);
  close_(a);
  close_(b);
  close_(again);
}

}  // namespace

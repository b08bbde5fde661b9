/* Preloaded into Wine (LD_PRELOAD) so that a pseudo-terminal served by unitsim
 * behaves like a COM port with a modem:
 *
 * - Wine drives DTR and reads DSR with TIOCMGET / TIOCMSET / TIOCMBIS /
 *   TIOCMBIC, which a pseudo-terminal rejects (ENOTTY); EscapeCommFunction and
 *   GetCommModemStatus then fail with ERROR_NOT_SUPPORTED. For the device named
 *   by PINVORO_MODEMLINES_DEVICE these requests are answered from the shared
 *   state file (modem_lines.h) instead.
 * - wineserver opens the Unix device for every CreateFile and never refuses a
 *   second open of a character device, whereas a Windows COM port is
 *   exclusive. In the process that opens the device (wineserver), a second
 *   open while the first is still open fails with EACCES, which Wine reports as
 *   ERROR_ACCESS_DENIED, as Windows does for a port in use. It also opens the
 *   port with O_NOCTTY, so that the pseudo-terminal never becomes
 *   wineserver's controlling terminal.
 *
 * Everything else passes through untouched; without the environment variables
 * the library does nothing. It is plain C without sanitizers, since it is
 * loaded into every process the Wine command starts.
 */
#undef _FORTIFY_SOURCE
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "modem_lines.h"

#define EXPORT __attribute__((visibility("default")))

/* ---- the functions we stand in front of -------------------------------- */

typedef int (*IoctlFn)(int, unsigned long, ...);
typedef int (*OpenAtFn)(int, const char*, int, ...);
typedef int (*CloseFn)(int);
typedef int (*DupFn)(int);
typedef int (*Dup2Fn)(int, int);

/* Resolved once; a racing second lookup finds the same address, so the
 * relaxed atomics only keep the compiler honest. */
static void* Next(void** cache, const char* name) {
  void* fn = __atomic_load_n(cache, __ATOMIC_RELAXED);
  if (!fn) {
    fn = dlsym(RTLD_NEXT, name);
    __atomic_store_n(cache, fn, __ATOMIC_RELAXED);
  }
  return fn;
}

/* dlsym hands back an object pointer; memcpy turns it into a function
 * pointer without the cast ISO C does not define. */
#define NEXT(Type, name)                      \
  static Type Real_##name(void) {             \
    static void* cache;                       \
    void* p = Next(&cache, #name);            \
    Type fn;                                  \
    memcpy(&fn, &p, sizeof fn);               \
    return fn;                                \
  }
NEXT(IoctlFn, ioctl)
NEXT(OpenAtFn, openat)
NEXT(OpenAtFn, openat64)
NEXT(CloseFn, close)
NEXT(DupFn, dup)
NEXT(Dup2Fn, dup2)

/* ---- which file is the simulated port ----------------------------------- */

/* Compared by device number, so any name of the device matches, including
 * the link that unitsim repoints to each new pseudo-terminal. */
static int IsPortDevice(const struct stat* st) {
  const char* device = getenv(MODEM_LINES_DEVICE_ENV);
  if (!device || !*device || !S_ISCHR(st->st_mode)) return 0;
  struct stat want;
  return stat(device, &want) == 0 && S_ISCHR(want.st_mode) && want.st_rdev == st->st_rdev;
}

static int IsSimulatedPort(int fd) {
  struct stat st;
  return fd >= 0 && fstat(fd, &st) == 0 && IsPortDevice(&st);
}

static int NamesSimulatedPort(int dir, const char* path) {
  struct stat st;
  return path && fstatat(dir, path, &st, 0) == 0 && IsPortDevice(&st);
}

/* ---- the shared state --------------------------------------------------- */

static pthread_mutex_t stateLock = PTHREAD_MUTEX_INITIALIZER;
static struct ModemLinesState* state; /* guarded by stateLock until set */

/* Maps the state file on first use; retried while it is missing, since a
 * long-lived process may start before unitsim. */
static struct ModemLinesState* State(void) {
  struct ModemLinesState* s = __atomic_load_n(&state, __ATOMIC_ACQUIRE);
  if (s) return s;
  pthread_mutex_lock(&stateLock);
  s = state;
  const char* path = getenv(MODEM_LINES_STATE_ENV);
  if (!s && path && *path) {
    const int fd = Real_openat()(AT_FDCWD, path, O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
      struct stat st;
      if (fstat(fd, &st) == 0 && st.st_size >= (off_t)sizeof(struct ModemLinesState)) {
        void* map = mmap(NULL, sizeof(struct ModemLinesState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map != MAP_FAILED) {
          s = (struct ModemLinesState*)map;
          if (__atomic_load_n(&s->magic, __ATOMIC_ACQUIRE) == MODEM_LINES_MAGIC) {
            __atomic_store_n(&state, s, __ATOMIC_RELEASE);
          } else {
            munmap(map, sizeof(struct ModemLinesState));
            s = NULL;
          }
        }
      }
      Real_close()(fd);
    }
  }
  pthread_mutex_unlock(&stateLock);
  return s;
}

static void SetRts(struct ModemLinesState* s, int on) { __atomic_store_n(&s->rts, on ? 1u : 0u, __ATOMIC_RELEASE); }

static void SetDtr(struct ModemLinesState* s, int on) {
  const uint32_t was = __atomic_exchange_n(&s->dtr, on ? 1u : 0u, __ATOMIC_ACQ_REL);
  if (was && !on) __atomic_add_fetch(&s->dtrDrops, 1u, __ATOMIC_ACQ_REL);
}

static int ModemRequest(struct ModemLinesState* s, unsigned long request, int* bits) {
  if (!bits) {
    errno = EFAULT;
    return -1;
  }
  switch (request) {
    case TIOCMGET:
      *bits = (__atomic_load_n(&s->dtr, __ATOMIC_ACQUIRE) ? TIOCM_DTR : 0) |
              (__atomic_load_n(&s->rts, __ATOMIC_ACQUIRE) ? TIOCM_RTS : 0) |
              (__atomic_load_n(&s->dsr, __ATOMIC_ACQUIRE) ? TIOCM_DSR : 0);
      return 0;
    case TIOCMSET:
      SetDtr(s, *bits & TIOCM_DTR);
      SetRts(s, *bits & TIOCM_RTS);
      return 0;
    case TIOCMBIS:
      if (*bits & TIOCM_DTR) SetDtr(s, 1);
      if (*bits & TIOCM_RTS) SetRts(s, 1);
      return 0;
    default: /* TIOCMBIC */
      if (*bits & TIOCM_DTR) SetDtr(s, 0);
      if (*bits & TIOCM_RTS) SetRts(s, 0);
      return 0;
  }
}

EXPORT int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  if (request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC) {
    if (IsSimulatedPort(fd)) {
      struct ModemLinesState* s = State();
      if (s) return ModemRequest(s, request, (int*)arg);
    }
  }
  return Real_ioctl()(fd, request, arg);
}

/* ---- one open at a time ------------------------------------------------- */

enum { kTracked = 8 };
static pthread_mutex_t openLock = PTHREAD_MUTEX_INITIALIZER;
static int openFds[kTracked]; /* descriptors of the port, plus one; 0 = free */

static int TrackedIndex(int fd) {
  for (int i = 0; i < kTracked; ++i) {
    if (openFds[i] == fd + 1) return i;
  }
  return -1;
}

static int AnyTracked(void) {
  for (int i = 0; i < kTracked; ++i) {
    if (openFds[i]) return 1;
  }
  return 0;
}

static void Track(int fd) {
  for (int i = 0; i < kTracked; ++i) {
    if (!openFds[i]) {
      openFds[i] = fd + 1;
      return;
    }
  }
}

/* After a successful open of the port: keeps it exclusive to its first
 * opener. */
static int AfterPortOpen(int fd) {
  if (fd < 0) return fd;
  pthread_mutex_lock(&openLock);
  const int busy = AnyTracked();
  if (!busy) Track(fd);
  pthread_mutex_unlock(&openLock);
  if (!busy) return fd;
  Real_close()(fd);
  errno = EACCES;
  return -1;
}

static void Forget(int fd) {
  pthread_mutex_lock(&openLock);
  const int slot = TrackedIndex(fd);
  if (slot >= 0) openFds[slot] = 0;
  pthread_mutex_unlock(&openLock);
}

/* A duplicate keeps the port open as long as the original. */
static void AfterDup(int oldFd, int newFd) {
  if (newFd < 0 || newFd == oldFd) return;
  pthread_mutex_lock(&openLock);
  const int newSlot = TrackedIndex(newFd);
  if (newSlot >= 0) openFds[newSlot] = 0; /* dup2 closed what newFd was */
  if (TrackedIndex(oldFd) >= 0) Track(newFd);
  pthread_mutex_unlock(&openLock);
}

static mode_t ModeArgument(int flags, va_list ap) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(ap, unsigned int) : 0;
}

/* open(path) is openat(AT_FDCWD, path), so all four opens come here.
 * wineserver opens the port without O_NOCTTY; being a session leader without
 * a terminal, it would make the pseudo-terminal its controlling terminal and
 * get a SIGHUP whenever unitsim goes away. */
static int Open(OpenAtFn real, int dir, const char* path, int flags, mode_t mode) {
  if (!NamesSimulatedPort(dir, path)) return real(dir, path, flags, mode);
  return AfterPortOpen(real(dir, path, flags | O_NOCTTY, mode));
}

#define MODE_ARGUMENT(flags)                   \
  va_list ap;                                  \
  va_start(ap, flags);                         \
  const mode_t mode = ModeArgument(flags, ap); \
  va_end(ap)

EXPORT int open(const char* path, int flags, ...) {
  MODE_ARGUMENT(flags);
  return Open(Real_openat(), AT_FDCWD, path, flags, mode);
}

EXPORT int open64(const char* path, int flags, ...) {
  MODE_ARGUMENT(flags);
  return Open(Real_openat64(), AT_FDCWD, path, flags, mode);
}

EXPORT int openat(int dir, const char* path, int flags, ...) {
  MODE_ARGUMENT(flags);
  return Open(Real_openat(), dir, path, flags, mode);
}

EXPORT int openat64(int dir, const char* path, int flags, ...) {
  MODE_ARGUMENT(flags);
  return Open(Real_openat64(), dir, path, flags, mode);
}

EXPORT int close(int fd) {
  Forget(fd);
  return Real_close()(fd);
}

EXPORT int dup(int fd) {
  const int copy = Real_dup()(fd);
  AfterDup(fd, copy);
  return copy;
}

EXPORT int dup2(int fd, int target) {
  const int copy = Real_dup2()(fd, target);
  AfterDup(fd, copy);
  return copy;
}

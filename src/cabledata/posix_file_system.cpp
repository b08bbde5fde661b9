#include "cabledata/posix_file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cabledata/cable_file.h"
#include "common/text.h"

namespace {

constexpr size_t kNativeBytes = kMaxPathUnits * 3 + 1;
constexpr int kMaxLinkHops = 40;      // as the kernel allows; more is a loop
constexpr int kCreateAttempts = 8;    // a 64-bit name collides only when planted

// Paths arrive as UTF-16; the file system wants UTF-8 bytes.
struct NativePath {
  char bytes[kNativeBytes];
  bool ok;
  explicit NativePath(const char16_t* path) {
    ok = Utf16ToUtf8(path, TextLength(path, kMaxPathUnits), bytes, sizeof bytes) != SIZE_MAX && bytes[0] != 0;
  }
};

// O_NONBLOCK lets a FIFO or a device refuse at once instead of waiting for a
// writer; anything but a regular file is then turned away.
FileHandle OpenLocked(const char16_t* path, int flags) {
  const NativePath native(path);
  if (!native.ok) return kNoFile;
  const int fd = ::open(native.bytes, flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return kNoFile;
  struct stat st;
  const int status = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0 ||
      ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return kNoFile;
  }
  return fd;
}

}  // namespace

FileHandle PosixFileSystem::OpenForRead(const char16_t* path) { return OpenLocked(path, O_RDONLY); }

FileHandle PosixFileSystem::OpenForWrite(const char16_t* path) { return OpenLocked(path, O_WRONLY); }

FileHandle PosixFileSystem::OpenForAppend(const char16_t* path) {
  const NativePath native(path);
  if (!native.ok) return kNoFile;
  const int fd = ::open(native.bytes, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  if (fd < 0) return kNoFile;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return kNoFile;
  }
  return fd;
}

// Only the last component needs following: rename follows the links in the
// folders above it by itself.
bool PosixFileSystem::ResolveLinks(const char16_t* path, char16_t* real, size_t capacity) {
  NativePath current(path);
  if (!current.ok) return false;
  for (int hops = 0;; ++hops) {
    struct stat st;
    if (::lstat(current.bytes, &st) != 0) {
      if (errno != ENOENT) return false;
      break;  // a new file, or the one a dangling link promises
    }
    if (!S_ISLNK(st.st_mode)) break;
    char target[kNativeBytes];
    const ssize_t n = ::readlink(current.bytes, target, sizeof target);
    if (hops == kMaxLinkHops || n <= 0 || static_cast<size_t>(n) == sizeof target) return false;
    // A relative link counts from the folder that holds it.
    const char* slash = target[0] == '/' ? nullptr : std::strrchr(current.bytes, '/');
    const size_t keep = slash != nullptr ? static_cast<size_t>(slash + 1 - current.bytes) : 0;
    if (keep + static_cast<size_t>(n) >= sizeof current.bytes) return false;
    std::memcpy(current.bytes + keep, target, static_cast<size_t>(n));
    current.bytes[keep + static_cast<size_t>(n)] = 0;
  }
  return Utf8ToUtf16(current.bytes, std::strlen(current.bytes), real, capacity) != SIZE_MAX;
}

FileHandle PosixFileSystem::CreateTemporary(const char16_t* target, char16_t* temp, size_t capacity) {
  const NativePath model(target);
  struct stat st;
  if (!model.ok) return kNoFile;
  const bool copyMode = ::stat(model.bytes, &st) == 0;
  if (!copyMode && errno != ENOENT) return kNoFile;
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    uint64_t random = 0;
    if (::getrandom(&random, sizeof random, 0) != static_cast<ssize_t>(sizeof random) ||
        !TemporaryPathBeside(target, random, temp, capacity, u"/")) {
      return kNoFile;
    }
    const NativePath native(temp);
    if (!native.ok) return kNoFile;
    // O_EXCL and O_NOFOLLOW: a file or link planted under the name fails the
    // create rather than being written through.
    const int fd = ::open(native.bytes, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return kNoFile;
    if (copyMode && ::fchmod(fd, st.st_mode & 07777) != 0) {
      ::close(fd);
      ::unlink(native.bytes);
      return kNoFile;
    }
    return fd;
  }
  return kNoFile;
}

bool PosixFileSystem::GetSize(FileHandle file, uint64_t& size) {
  struct stat st;
  if (::fstat(static_cast<int>(file), &st) != 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool PosixFileSystem::Read(FileHandle file, void* buffer, uint32_t capacity, uint32_t& done) {
  done = 0;
  ssize_t n;
  do {
    n = ::read(static_cast<int>(file), buffer, capacity);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return false;
  done = static_cast<uint32_t>(n);
  return true;
}

bool PosixFileSystem::Write(FileHandle file, const void* data, uint32_t size, uint32_t& done) {
  done = 0;
  while (done < size) {
    const ssize_t n = ::write(static_cast<int>(file), static_cast<const char*>(data) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<uint32_t>(n);
  }
  return true;
}

bool PosixFileSystem::Flush(FileHandle file) { return ::fsync(static_cast<int>(file)) == 0; }

void PosixFileSystem::Close(FileHandle file) { ::close(static_cast<int>(file)); }

bool PosixFileSystem::Replace(const char16_t* source, const char16_t* target) {
  const NativePath from(source);
  NativePath to(target);
  if (!from.ok || !to.ok || std::rename(from.bytes, to.bytes) != 0) return false;
  // The new name survives a power cut only once its folder is on disk too.
  char* slash = std::strrchr(to.bytes, '/');
  if (slash == nullptr) std::memcpy(to.bytes, ".", 2);
  else slash[slash == to.bytes ? 1 : 0] = 0;
  const int folder = ::open(to.bytes, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return false;
  const bool synced = ::fsync(folder) == 0 || errno == EINVAL;  // EINVAL: folders cannot be synced there
  ::close(folder);
  return synced;
}

PathKind PosixFileSystem::KindOf(const char16_t* path) {
  const NativePath native(path);
  struct stat st;
  if (!native.ok || ::stat(native.bytes, &st) != 0) return errno == ENOENT ? PathKind::kMissing : PathKind::kOther;
  return S_ISREG(st.st_mode) ? PathKind::kRegular : PathKind::kOther;
}

void PosixFileSystem::Remove(const char16_t* path) {
  const NativePath native(path);
  if (native.ok) ::unlink(native.bytes);
}

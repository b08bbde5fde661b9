#include "cabledata/posix_file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "cabledata/cable_file.h"
#include "common/text.h"

namespace {

// Paths arrive as UTF-16; the file system wants UTF-8 bytes.
struct NativePath {
  char bytes[kMaxPathUnits * 3 + 1];
  bool ok;
  explicit NativePath(const char16_t* path) {
    ok = Utf16ToUtf8(path, TextLength(path, kMaxPathUnits), bytes, sizeof bytes) != SIZE_MAX && bytes[0] != 0;
  }
};

FileHandle OpenLocked(const char16_t* path, int flags) {
  const NativePath native(path);
  if (!native.ok) return kNoFile;
  const int fd = ::open(native.bytes, flags | O_CLOEXEC, 0666);
  if (fd < 0) return kNoFile;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return kNoFile;
  }
  return fd;
}

}  // namespace

FileHandle PosixFileSystem::OpenForRead(const char16_t* path) { return OpenLocked(path, O_RDONLY); }

FileHandle PosixFileSystem::OpenForWrite(const char16_t* path, WriteOpen how) {
  if (how == WriteOpen::kExisting) return OpenLocked(path, O_WRONLY);
  // Truncate only once the lock is ours, so a busy file is left whole.
  const FileHandle fd = OpenLocked(path, O_WRONLY | O_CREAT);
  if (fd != kNoFile && ::ftruncate(static_cast<int>(fd), 0) != 0) {
    ::close(static_cast<int>(fd));
    return kNoFile;
  }
  return fd;
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
  const NativePath from(source), to(target);
  return from.ok && to.ok && std::rename(from.bytes, to.bytes) == 0;
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

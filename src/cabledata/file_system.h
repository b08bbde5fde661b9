#pragma once
// The file operations the cable-set file needs, as a seam: Win32 in the
// program, POSIX for the tools and tests, in memory for unit tests and fuzzing.
// Paths are NUL-terminated UTF-16, as the program holds them.
#include <cstddef>
#include <cstdint>

using FileHandle = intptr_t;
inline constexpr FileHandle kNoFile = -1;

// What a path names, without opening it (a FIFO would block an open).
enum class PathKind : uint8_t {
  kMissing,
  kRegular,  // a regular file, or a link to one
  kOther,    // a folder, FIFO, device or anything else a cable set cannot be
};

class FileSystem {
 public:
  // Both opens take an existing regular file without sharing it, so nobody
  // else writes it meanwhile; they return kNoFile when that is not possible,
  // at once, also for a FIFO or a device.
  virtual FileHandle OpenForRead(const char16_t* path) = 0;
  virtual FileHandle OpenForWrite(const char16_t* path) = 0;
  // A log file: created when missing, shared with readers and other writers,
  // every Write landing whole at its end. kNoFile when it cannot be had, as
  // always where files are only ever cable sets.
  virtual FileHandle OpenForAppend(const char16_t*) { return kNoFile; }
  // The file a save must replace: path itself, or the file a link at path
  // leads to, so that the link stays and the file it names gets the content.
  virtual bool ResolveLinks(const char16_t* path, char16_t* real, size_t capacity) = 0;
  // Creates and opens a new file in target's folder under a name nobody can
  // guess beforehand, with target's permissions when it exists; its path goes
  // to temp. Whatever already sits under a name is never opened.
  virtual FileHandle CreateTemporary(const char16_t* target, char16_t* temp, size_t capacity) = 0;
  virtual bool GetSize(FileHandle file, uint64_t& size) = 0;
  // Transfers from or to the current position, as many bytes as the file
  // gives or takes; `done` tells how many that were.
  virtual bool Read(FileHandle file, void* buffer, uint32_t capacity, uint32_t& done) = 0;
  virtual bool Write(FileHandle file, const void* data, uint32_t size, uint32_t& done) = 0;
  // Makes the written bytes durable before a replace relies on them.
  virtual bool Flush(FileHandle file) = 0;
  virtual void Close(FileHandle file) = 0;
  // Atomically puts source in target's place, replacing target if it exists,
  // and makes the new name durable.
  virtual bool Replace(const char16_t* source, const char16_t* target) = 0;
  virtual void Remove(const char16_t* path) = 0;
  virtual PathKind KindOf(const char16_t* path) = 0;

 protected:
  ~FileSystem() = default;
};

// Composes "~pinvoro-<16 hex digits of random>.tmp" in the folder of target
// (everything up to its last separator). The name does not grow with the
// file's own, so a name near the file system's limit still has a temporary.
// False when it does not fit capacity.
inline bool TemporaryPathBeside(const char16_t* target, uint64_t random, char16_t* temp, size_t capacity,
                                const char16_t* separators) {
  size_t folder = 0;
  for (size_t i = 0; target[i] != 0; ++i) {
    for (const char16_t* s = separators; *s != 0; ++s) {
      if (target[i] == *s) folder = i + 1;
    }
  }
  static constexpr char16_t kPrefix[] = u"~pinvoro-", kSuffix[] = u".tmp";
  constexpr size_t kPrefixUnits = sizeof kPrefix / sizeof kPrefix[0] - 1;
  constexpr size_t kNameUnits = kPrefixUnits + 16 + sizeof kSuffix / sizeof kSuffix[0] - 1;
  if (folder + kNameUnits + 1 > capacity) return false;
  for (size_t i = 0; i < folder; ++i) temp[i] = target[i];
  char16_t* out = temp + folder;
  for (size_t i = 0; i < kPrefixUnits; ++i) *out++ = kPrefix[i];
  for (int shift = 60; shift >= 0; shift -= 4) *out++ = u"0123456789abcdef"[(random >> shift) & 15];
  for (const char16_t* s = kSuffix; *s != 0; ++s) *out++ = *s;
  *out = 0;
  return true;
}

// The \\?\ form of an absolute Windows path, which the old MAX_PATH limit does
// not apply to: "C:\x" -> "\\?\C:\x", "\\server\share\x" ->
// "\\?\UNC\server\share\x"; a \\?\ or \\.\ path stays as it is. False when it
// does not fit capacity.
inline bool ExtendedLengthPath(const char16_t* full, char16_t* out, size_t capacity) {
  const auto startsWith = [full](const char16_t* start) {
    for (size_t i = 0; start[i] != 0; ++i) {
      if (full[i] != start[i]) return false;
    }
    return true;
  };
  const char16_t* prefix = u"\\\\?\\";
  const char16_t* rest = full;
  if (startsWith(u"\\\\?\\") || startsWith(u"\\\\.\\")) {
    prefix = u"";
  } else if (startsWith(u"\\\\")) {
    prefix = u"\\\\?\\UNC\\";
    rest = full + 2;
  }
  size_t n = 0;
  const auto append = [&](const char16_t* s) {
    for (; *s != 0; ++s) {
      if (n + 1 >= capacity) return false;
      out[n++] = *s;
    }
    return true;
  };
  if (!append(prefix) || !append(rest)) return false;
  out[n] = 0;
  return true;
}

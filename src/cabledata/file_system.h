#pragma once
// The file operations the cable-set file needs, as a seam: Win32 in the
// program, POSIX for the tools and tests, in memory for unit tests and fuzzing.
// Paths are NUL-terminated UTF-16, as the program holds them.
#include <cstdint>

using FileHandle = intptr_t;
inline constexpr FileHandle kNoFile = -1;

// What a path names, without opening it (a FIFO would block an open).
enum class PathKind : uint8_t {
  kMissing,
  kRegular,  // a regular file, or a link to one
  kOther,    // a folder, FIFO, device or anything else a cable set cannot be
};

enum class WriteOpen {
  kExisting,       // the file must exist; it is opened, not truncated
  kCreateAlways,   // created, or truncated when it exists
};

class FileSystem {
 public:
  // Both opens take the file without sharing it, so nobody else writes it
  // meanwhile; they return kNoFile when that is not possible.
  virtual FileHandle OpenForRead(const char16_t* path) = 0;
  virtual FileHandle OpenForWrite(const char16_t* path, WriteOpen how) = 0;
  virtual bool GetSize(FileHandle file, uint64_t& size) = 0;
  // Transfers from or to the current position, as many bytes as the file
  // gives or takes; `done` tells how many that were.
  virtual bool Read(FileHandle file, void* buffer, uint32_t capacity, uint32_t& done) = 0;
  virtual bool Write(FileHandle file, const void* data, uint32_t size, uint32_t& done) = 0;
  // Makes the written bytes durable before a replace relies on them.
  virtual bool Flush(FileHandle file) = 0;
  virtual void Close(FileHandle file) = 0;
  // Atomically puts source in target's place, replacing target if it exists.
  virtual bool Replace(const char16_t* source, const char16_t* target) = 0;
  virtual void Remove(const char16_t* path) = 0;
  virtual PathKind KindOf(const char16_t* path) = 0;

 protected:
  ~FileSystem() = default;
};

#pragma once
// Files on Linux for the tools and native tests. POSIX has no mandatory locks;
// an advisory exclusive lock stands in for "no sharing" between our programs.
#include "cabledata/file_system.h"

class PosixFileSystem final : public FileSystem {
 public:
  FileHandle OpenForRead(const char16_t* path) override;
  FileHandle OpenForWrite(const char16_t* path) override;
  FileHandle OpenForAppend(const char16_t* path) override;
  bool ResolveLinks(const char16_t* path, char16_t* real, size_t capacity) override;
  FileHandle CreateTemporary(const char16_t* target, char16_t* temp, size_t capacity) override;
  bool GetSize(FileHandle file, uint64_t& size) override;
  bool Read(FileHandle file, void* buffer, uint32_t capacity, uint32_t& done) override;
  bool Write(FileHandle file, const void* data, uint32_t size, uint32_t& done) override;
  bool Flush(FileHandle file) override;
  void Close(FileHandle file) override;
  bool Replace(const char16_t* source, const char16_t* target) override;
  void Remove(const char16_t* path) override;
  PathKind KindOf(const char16_t* path) override;
};

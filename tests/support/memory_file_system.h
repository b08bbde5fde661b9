#pragma once
// An in-memory FileSystem for unit tests and fuzzing, with switches that make
// single operations fail the way disks and networks do.
#include <cstring>
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cabledata/file_system.h"
#include "common/error_report.h"
#include "common/text.h"

class MemoryFileSystem final : public FileSystem {
 public:
  std::map<std::u16string, std::vector<uint8_t>> files;
  std::set<std::u16string> locked;  // paths someone else holds open
  std::set<std::u16string> others;  // paths of what is not a file: folders, FIFOs, devices

  // Fault switches.
  bool failRead = false, failCreate = false, failWrite = false, failFlush = false, failReplace = false;
  uint32_t readChunk = 0;     // deliver at most this much per Read (0 = all)
  uint32_t shortWriteBy = 0;  // the write moves this many bytes fewer
  int openHandles = 0;

  FileHandle OpenForRead(const char16_t* path) override { return OpenForWrite(path); }
  FileHandle OpenForWrite(const char16_t* path) override {
    return files.count(path) && !locked.count(path) ? Open(path) : kNoFile;
  }
  // Writes always land at the end here.
  FileHandle OpenForAppend(const char16_t* path) override {
    if (failCreate || locked.count(path)) return kNoFile;
    files[path];
    return Open(path);
  }
  bool ResolveLinks(const char16_t* path, char16_t* real, size_t capacity) override {
    CopyText(real, capacity, path);
    return std::u16string(path).size() < capacity;
  }
  // Names count up instead of being random; a taken one is skipped.
  FileHandle CreateTemporary(const char16_t* target, char16_t* temp, size_t capacity) override {
    do {
      if (failCreate || !TemporaryPathBeside(target, ++temporaries_, temp, capacity, u"/")) return kNoFile;
    } while (files.count(temp));
    files[temp];
    return Open(temp);
  }
  bool GetSize(FileHandle f, uint64_t& size) override {
    size = files[handles_[f].first].size();
    return true;
  }
  bool Read(FileHandle f, void* buffer, uint32_t capacity, uint32_t& done) override {
    done = 0;
    if (failRead) return false;
    auto& [path, pos] = handles_[f];
    const auto& data = files[path];
    done = static_cast<uint32_t>(std::min<size_t>(capacity, data.size() - std::min(data.size(), pos)));
    if (readChunk) done = std::min(done, readChunk);
    if (done) std::memcpy(buffer, data.data() + pos, done);
    pos += done;
    return true;
  }
  bool Write(FileHandle f, const void* data, uint32_t size, uint32_t& done) override {
    done = failWrite ? 0 : size - std::min(size, shortWriteBy);
    auto& file = files[handles_[f].first];
    file.insert(file.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + done);
    return !failWrite;
  }
  bool Flush(FileHandle) override { return !failFlush; }
  void Close(FileHandle f) override {
    handles_.erase(f);
    --openHandles;
  }
  bool Replace(const char16_t* source, const char16_t* target) override {
    if (failReplace || !files.count(source)) return false;
    files[target] = files[source];
    files.erase(source);
    return true;
  }
  void Remove(const char16_t* path) override { files.erase(path); }
  PathKind KindOf(const char16_t* path) override {
    return others.count(path) ? PathKind::kOther : files.count(path) ? PathKind::kRegular : PathKind::kMissing;
  }

 private:
  FileHandle Open(const char16_t* path) {
    handles_[next_] = {path, 0};
    ++openHandles;
    return next_++;
  }
  std::map<FileHandle, std::pair<std::u16string, size_t>> handles_;  // path and read position
  FileHandle next_ = 1;
  uint64_t temporaries_ = 0;
};

// Records the codes instead of showing boxes.
struct RecordingErrors final : ErrorReporter {
  std::vector<uint16_t> codes;
  void ShowError(uint16_t code) override { codes.push_back(code); }
};

#include "cabledata/cable_file.h"

#include <cstring>

#include "common/text.h"

namespace {

constexpr uint32_t kOldNamesAndRows = 3952;            // bytes 0..3951 keep their place
constexpr uint32_t kOldInfoOffset = 3952;              // info + selectedPin, 551 bytes
constexpr uint32_t kOldInfoSize = 4503 - kOldInfoOffset;
constexpr uint32_t kOldReservedOffset = 45060;
constexpr uint32_t kOldCurrentCableOffset = 45061;
static_assert(kOldCableRecordSize * kCableCount + 22 == kOldCableSetFileSize);
static_assert(offsetof(CableRecord, info) + kOldInfoSize == offsetof(CableRecord, alignment));

// Reads until capacity or the end of the file; false on a failed read.
bool ReadFully(FileSystem& files, FileHandle file, void* buffer, uint32_t capacity, uint32_t& got) {
  got = 0;
  while (got < capacity) {
    uint32_t n = 0;
    if (!files.Read(file, static_cast<uint8_t*>(buffer) + got, capacity - got, n)) return false;
    if (n == 0) break;
    got += n;
  }
  return true;
}

// The staging copy keeps the 45 KB image off the heap and lets a failed read
// leave the caller's set untouched.
bool LoadCurrentLayout(FileSystem& files, FileHandle file, CableSet& set) {
  static CableSet staging;
  uint32_t got = 0;
  if (!ReadFully(files, file, &staging, kCableSetFileSize, got) || got != kCableSetFileSize) return false;
  TerminateAllText(staging);
  std::memcpy(&set, &staging, sizeof set);
  return true;
}

bool LoadOldLayout(FileSystem& files, FileHandle file, CableSet& set) {
  static uint8_t old[kOldCableSetFileSize];
  uint32_t got = 0;
  if (!ReadFully(files, file, old, kOldCableSetFileSize, got) || got != kOldCableSetFileSize) return false;
  ConvertOldCableSet(old, set);
  return true;
}

}  // namespace

void ConvertOldCableSet(const uint8_t (&old)[kOldCableSetFileSize], CableSet& set) {
  for (int k = 0; k < kCableCount; ++k) {
    const uint8_t* src = old + kOldCableRecordSize * k;
    CableRecord& cable = set.cables[k];
    auto* dst = reinterpret_cast<uint8_t*>(&cable);
    std::memcpy(dst, src, kOldNamesAndRows);
    std::memset(&cable.probeData, 0, sizeof cable.probeData);
    std::memcpy(dst + offsetof(CableRecord, info), src + kOldInfoOffset, kOldInfoSize);
    cable.alignment = 0;
  }
  std::memcpy(set.tag, kCableSetTag, sizeof set.tag);
  set.reserved = old[kOldReservedOffset];
  set.currentCable = old[kOldCurrentCableOffset];
  TerminateAllText(set);
}

bool LoadCableSetFile(const CableFileContext& ctx, const char16_t* path, CableSet& set) {
  const FileHandle file = ctx.files.OpenForRead(path);
  if (file == kNoFile) {
    ctx.errors.ShowError(kErrorFileOpen);
    return false;
  }
  uint64_t size = 0;
  if (!ctx.files.GetSize(file, size)) {
    ctx.files.Close(file);
    ctx.errors.ShowError(kErrorFileRead);
    return false;
  }
  bool ok;
  if (size > kOldCableSetFileSize) {
    ok = LoadCurrentLayout(ctx.files, file, set);
  } else {
    if (!ctx.prompt.ConfirmOldLayoutConversion()) {
      ctx.files.Close(file);
      return false;
    }
    ok = LoadOldLayout(ctx.files, file, set);
  }
  ctx.files.Close(file);
  if (!ok) ctx.errors.ShowError(kErrorFileRead);
  return ok;
}

bool SaveCableSetFile(FileSystem& files, ErrorReporter& errors, const char16_t* path, const CableSet& set,
                      SaveDisposition disposition) {
  auto fail = [&] {
    errors.ShowError(kErrorFileOpen);
    return false;
  };
  const size_t length = TextLength(path, kMaxPathUnits);
  if (length == 0 || length == kMaxPathUnits) return fail();

  if (disposition == SaveDisposition::kExistingFile) {
    // The file must be there and free to write, as an in-place rewrite would need.
    const FileHandle existing = files.OpenForWrite(path);
    if (existing == kNoFile) return fail();
    files.Close(existing);
  }

  char16_t real[kMaxPathUnits], temp[kMaxPathUnits];
  if (!files.ResolveLinks(path, real, kMaxPathUnits)) return fail();
  const FileHandle file = files.CreateTemporary(real, temp, kMaxPathUnits);
  if (file == kNoFile) return fail();
  uint32_t written = 0;
  const bool complete = files.Write(file, &set, kCableSetFileSize, written) && written == kCableSetFileSize &&
                        files.Flush(file);
  files.Close(file);
  if (!complete || !files.Replace(temp, real)) {
    files.Remove(temp);
    return fail();
  }
  return true;
}

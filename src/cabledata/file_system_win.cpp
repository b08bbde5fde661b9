// rand_s, the C runtime's door to the system's random source, is declared only
// when this comes before the first include of <stdlib.h>.
#define _CRT_RAND_S
#include <stdlib.h>

#include "cabledata/file_system_win.h"

#include <windows.h>

#include "cabledata/cable_file.h"

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

constexpr DWORD kLongPathUnits = kMaxPathUnits + 8;  // room for "\\?\UNC\"
constexpr int kCreateAttempts = 8;                   // a 64-bit name collides only when planted

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle FromHandle(HANDLE h) {
  return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(h);
}

// Every path reaches Windows absolute and in its \\?\ form, so MAX_PATH never
// applies: a path the dialogs give (259 units) still has room for the
// temporary name beside it, whatever the manifest says.
struct LongPath {
  wchar_t units[kLongPathUnits];
  bool ok = false;
  explicit LongPath(const char16_t* path) {
    wchar_t full[kLongPathUnits];
    const DWORD n = GetFullPathNameW(reinterpret_cast<const wchar_t*>(path), kLongPathUnits, full, nullptr);
    ok = n != 0 && n < kLongPathUnits &&
         ExtendedLengthPath(reinterpret_cast<const char16_t*>(full), reinterpret_cast<char16_t*>(units),
                            kLongPathUnits);
  }
};

// A pipe, console or port is never a cable set, and CreateFileW on one of
// them returns at once, so the check can follow the open.
FileHandle OpenExisting(const char16_t* path, DWORD access) {
  const LongPath native(path);
  if (!native.ok) return kNoFile;
  const HANDLE h = CreateFileW(native.units, access, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return kNoFile;
  }
  return FromHandle(h);
}

}  // namespace

FileHandle Win32FileSystem::OpenForRead(const char16_t* path) { return OpenExisting(path, GENERIC_READ); }

FileHandle Win32FileSystem::OpenForWrite(const char16_t* path) { return OpenExisting(path, GENERIC_WRITE); }

// Append access alone: the system puts each write at the end of the file, even
// with another writer (a second program) appending too.
FileHandle Win32FileSystem::OpenForAppend(const char16_t* path) {
  const LongPath native(path);
  if (!native.ok) return kNoFile;
  const HANDLE h = CreateFileW(native.units, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return kNoFile;
  }
  return FromHandle(h);
}

// A handle opened through links lands on the file meant, and its final path
// names that file (Wine resolves its Unix links this way too). Where there is
// no file yet, or no final path to be had (Wine gives none past MAX_PATH), the
// path stands for itself.
bool Win32FileSystem::ResolveLinks(const char16_t* path, char16_t* real, size_t capacity) {
  const LongPath native(path);
  if (!native.ok) return false;
  auto* out = reinterpret_cast<wchar_t*>(real);
  const HANDLE h = CreateFileW(native.units, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    const DWORD n =
        GetFinalPathNameByHandleW(h, out, static_cast<DWORD>(capacity), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(h);
    if (n != 0 && n < capacity) return true;
  }
  if (wcslen(native.units) >= capacity) return false;
  wcscpy(out, native.units);
  return true;
}

FileHandle Win32FileSystem::CreateTemporary(const char16_t* target, char16_t* temp, size_t capacity) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    unsigned high = 0, low = 0;
    if (rand_s(&high) != 0 || rand_s(&low) != 0 ||
        !TemporaryPathBeside(target, (uint64_t{high} << 32) | low, temp, capacity, u"\\/")) {
      return kNoFile;
    }
    const LongPath native(temp);
    if (!native.ok) return kNoFile;
    // CREATE_NEW: a file or link planted under the name fails the create
    // rather than being written through.
    const HANDLE h = CreateFileW(native.units, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return FromHandle(h);
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return kNoFile;
  }
  return kNoFile;
}

bool Win32FileSystem::GetSize(FileHandle file, uint64_t& size) {
  LARGE_INTEGER li;
  if (!GetFileSizeEx(ToHandle(file), &li)) return false;
  size = static_cast<uint64_t>(li.QuadPart);
  return true;
}

bool Win32FileSystem::Read(FileHandle file, void* buffer, uint32_t capacity, uint32_t& done) {
  DWORD n = 0;
  const BOOL ok = ReadFile(ToHandle(file), buffer, capacity, &n, nullptr);
  done = n;
  return ok != FALSE;
}

bool Win32FileSystem::Write(FileHandle file, const void* data, uint32_t size, uint32_t& done) {
  DWORD n = 0;
  const BOOL ok = WriteFile(ToHandle(file), data, size, &n, nullptr);
  done = n;
  return ok != FALSE;
}

bool Win32FileSystem::Flush(FileHandle file) { return FlushFileBuffers(ToHandle(file)) != FALSE; }

void Win32FileSystem::Close(FileHandle file) { CloseHandle(ToHandle(file)); }

bool Win32FileSystem::Replace(const char16_t* source, const char16_t* target) {
  const LongPath from(source), to(target);
  return from.ok && to.ok &&
         MoveFileExW(from.units, to.units, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

void Win32FileSystem::Remove(const char16_t* path) {
  const LongPath native(path);
  if (native.ok) DeleteFileW(native.units);
}

PathKind Win32FileSystem::KindOf(const char16_t* path) {
  const LongPath native(path);
  if (!native.ok) return PathKind::kOther;
  const DWORD attributes = GetFileAttributesW(native.units);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::kMissing : PathKind::kOther;
  }
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ? PathKind::kOther : PathKind::kRegular;
}

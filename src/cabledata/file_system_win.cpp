#include "cabledata/file_system_win.h"

#include <windows.h>

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

const wchar_t* Wide(const char16_t* path) { return reinterpret_cast<const wchar_t*>(path); }
HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle FromHandle(HANDLE h) {
  return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(h);
}

}  // namespace

FileHandle Win32FileSystem::OpenForRead(const char16_t* path) {
  return FromHandle(CreateFileW(Wide(path), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle Win32FileSystem::OpenForWrite(const char16_t* path, WriteOpen how) {
  const DWORD disposition = how == WriteOpen::kExisting ? OPEN_EXISTING : CREATE_ALWAYS;
  return FromHandle(CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
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
  return MoveFileExW(Wide(source), Wide(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

void Win32FileSystem::Remove(const char16_t* path) { DeleteFileW(Wide(path)); }

PathKind Win32FileSystem::KindOf(const char16_t* path) {
  const DWORD attributes = GetFileAttributesW(Wide(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::kMissing : PathKind::kOther;
  }
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ? PathKind::kOther : PathKind::kRegular;
}

#pragma once
// Section "RS232C" of "pinvoro.ini" through the private-profile calls.
#include <windows.h>

#include "app/settings.h"

class PrivateProfile final : public ProfileStore {
 public:
  // The file sits in the directory that is current now; later changes of the
  // current directory (file dialogs) do not move it.
  PrivateProfile();
  uint32_t ReadInt(const char16_t* key, uint32_t def) override;
  void WriteString(const char16_t* key, const char16_t* value) override;
  const wchar_t* Path() const { return path_; }
  // Key "File" of section "Journal": the results journal's full path, relative
  // names taken from the current directory; empty when the key is missing or
  // empty, which keeps the journal off.
  void ReadJournalFile(char16_t* path, size_t capacity);

 private:
  wchar_t path_[MAX_PATH + 16];
};

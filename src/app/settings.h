#pragma once
// The settings file: serial line and interface language, section "RS232C" of
// "pinvoro.ini" in the start-up directory, read at start and written at close.
// Section "Journal" (the results journal's file) is the operator's, read only.
#include <cstdint>

#include "link/serial_port.h"
#include "app/language.h"

struct Settings {
  PortSettings port;
  LanguageIndex language;
};

inline constexpr Settings kDefaultSettings{kDefaultPortSettings, kJapanese};

// The private-profile calls of the platform, for one file and section.
class ProfileStore {
 public:
  // The value of key, or def when the key is missing; text that is not a
  // number reads as 0.
  virtual uint32_t ReadInt(const char16_t* key, uint32_t def) = 0;
  virtual void WriteString(const char16_t* key, const char16_t* value) = 0;

 protected:
  ~ProfileStore() = default;
};

// Reads an unsigned decimal as the profile calls do, but a negative value or
// text that is not a number gives 0.
uint32_t ParseProfileUnsigned(const char16_t* text);

// The 8-bit fields keep the low byte of what the file holds; a language
// outside the table reads as Japanese.
Settings ReadSettings(ProfileStore& store);
void WriteSettings(ProfileStore& store, const Settings& settings);

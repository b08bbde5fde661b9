#include "app/settings.h"

#include "common/format_text.h"

namespace {

uint8_t LowByte(uint32_t v) { return static_cast<uint8_t>(v & 0xFF); }

void WriteUnsigned(ProfileStore& store, const char16_t* key, uint32_t value) {
  char16_t text[11];
  FormatText(text, 11, u"%u", value);
  store.WriteString(key, text);
}

}  // namespace

uint32_t ParseProfileUnsigned(const char16_t* text) {
  while (*text == u' ' || *text == u'\t') ++text;
  if (*text == u'+') ++text;
  uint32_t v = 0;
  for (; *text >= u'0' && *text <= u'9'; ++text) v = v * 10 + static_cast<uint32_t>(*text - u'0');
  return v;
}

Settings ReadSettings(ProfileStore& store) {
  Settings s = kDefaultSettings;
  s.port.Port = LowByte(store.ReadInt(u"Port", kDefaultPortSettings.Port));
  s.port.Speed = store.ReadInt(u"Speed", kDefaultPortSettings.Speed);
  s.port.DataL = LowByte(store.ReadInt(u"DataL", kDefaultPortSettings.DataL));
  s.port.StopB = LowByte(store.ReadInt(u"StopB", kDefaultPortSettings.StopB));
  s.port.Parity = LowByte(store.ReadInt(u"Parity", kDefaultPortSettings.Parity));
  const uint8_t lang = LowByte(store.ReadInt(u"Lang", kJapanese));
  s.language = lang < kLanguageCount ? static_cast<LanguageIndex>(lang) : kJapanese;
  return s;
}

void WriteSettings(ProfileStore& store, const Settings& s) {
  WriteUnsigned(store, u"Port", s.port.Port);
  WriteUnsigned(store, u"Speed", s.port.Speed);
  WriteUnsigned(store, u"DataL", s.port.DataL);
  WriteUnsigned(store, u"StopB", s.port.StopB);
  WriteUnsigned(store, u"Parity", s.port.Parity);
  WriteUnsigned(store, u"Lang", s.language);
}

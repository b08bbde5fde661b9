#include "shell/option.h"

#include "common/format_text.h"

void FormatPortEntry(int entry, char16_t (&out)[kPortEntryUnits]) {
  FormatText(out, kPortEntryUnits, u"COM%d", entry + 1);
}

int PortEntryOf(const Settings& settings) {
  const int port = settings.port.Port;
  return port >= 1 && port <= kOptionPortCount ? port - 1 : -1;
}

int LanguageEntryOf(const Settings& settings) { return settings.language < kLanguageCount ? settings.language : -1; }

void StoreOptionChoice(Settings& settings, int portEntry, int languageEntry) {
  if (portEntry >= 0 && portEntry < kOptionPortCount) settings.port.Port = static_cast<uint8_t>(portEntry + 1);
  if (languageEntry >= 0 && languageEntry < kLanguageCount) {
    settings.language = static_cast<LanguageIndex>(languageEntry);
  } else if (settings.language >= kLanguageCount) {
    // The language must name one of the three whatever the file held.
    settings.language = kJapanese;
  }
}

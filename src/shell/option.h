#pragma once
// The Option dialog's lists without the window: which entry shows a setting,
// and what OK stores from the entries chosen.
#include <cstddef>

#include "app/settings.h"

inline constexpr int kOptionPortCount = 10;  // COM1 to COM10
inline constexpr size_t kPortEntryUnits = 8;

// "COM1" for entry 0.
void FormatPortEntry(int entry, char16_t (&out)[kPortEntryUnits]);

// The entry showing the setting, or -1: a value the list does not offer
// (only an edited settings file holds one) leaves the list unselected.
int PortEntryOf(const Settings& settings);
int LanguageEntryOf(const Settings& settings);

// OK: the chosen port and language. A list without a selection (-1, or
// anything outside the list) keeps the value the settings had.
void StoreOptionChoice(Settings& settings, int portEntry, int languageEntry);

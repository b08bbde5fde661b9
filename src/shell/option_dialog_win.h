#pragma once
// The Option dialog (108): the interface language and the COM port.
#include <windows.h>

#include "app/language.h"
#include "app/settings.h"

// Opens over owner in the language of settings.language. OK stores the chosen
// port and language into settings and returns 1; Cancel returns 2 and changes
// nothing.
INT_PTR RunOptionDialog(HWND owner, TextSource& texts, Settings& settings);

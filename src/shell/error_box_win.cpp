#include "shell/error_box_win.h"

#include <windows.h>

#include "app/error_table.h"
#include "app/localization_win.h"

void ErrorBox::ShowError(uint16_t code) {
  char16_t text[kErrorTextUnits];
  char16_t caption[kErrorCaptionUnits];
  FormatErrorBox(texts_, code, text, caption);
  MessageBoxExW(nullptr, reinterpret_cast<LPCWSTR>(text), reinterpret_cast<LPCWSTR>(caption), MB_OK | MB_ICONERROR,
                ThreadLanguage());
}

#pragma once
// What the shell knows about the document besides its content: new or from a
// file, changed or not, and which file; and how that reads in the caption and
// in the status bar.
#include <cstdint>

#include "app/language.h"

enum DocumentState : uint8_t {
  kNewUnchanged = 0,
  kNewChanged = 1,
  kFileUnchanged = 2,
  kFileChanged = 3,
};

inline constexpr int kDocumentPathUnits = 260;
inline constexpr int kTitleUnits = 256;

struct Document {
  DocumentState state;
  char16_t DocumentDirectory[kDocumentPathUnits];  // with its final backslash
  char16_t DocumentFileName[kDocumentPathUnits];
};

struct DocumentTitle {
  char16_t caption[kTitleUnits];
  char16_t status[kTitleUnits];
};

// Composes both texts. A path too long for them is shortened at the front
// ("..." and the end of the path), so the file name stays readable.
void ComposeDocumentTitle(TextSource& texts, const Document& doc, DocumentTitle& title);

// 0 -> 1 and 2 -> 3; changed states stay.
void MarkDocumentChanged(Document& doc);

bool HasUnsavedChanges(const Document& doc);

// Takes what a file dialog returned: the full path, the offset of the file
// name in it, and the file name.
void SetDocumentPath(Document& doc, const char16_t* fullPath, unsigned fileNameOffset, const char16_t* fileName);

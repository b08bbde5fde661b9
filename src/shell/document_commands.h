#pragma once
// The File menu's commands on the one document: Open, Save, Save as,
// Initialize, and the question before the program closes. The windows they
// need (prompts, file dialogs, caption, panel) sit behind DocumentUi.
#include <cstddef>
#include <cstdint>

#include "cabledata/cable_file.h"
#include "cabledata/cable_set.h"
#include "app/document.h"
#include "app/language.h"

enum class Answer : uint8_t { kYes, kNo, kCancel };
enum class FileDialogKind : uint8_t { kOpen, kSaveAs };

// What a file dialog returned: the full path, the offset of the file name in
// it and the file name alone.
struct ChosenFile {
  char16_t path[kDocumentPathUnits];
  uint16_t nameOffset;
  char16_t name[kDocumentPathUnits];
};

class DocumentUi {
 public:
  // A Yes/No/Cancel warning over the main window; a closed box is Cancel.
  virtual Answer Ask(uint16_t textId, uint16_t captionId) = 0;
  // False when the dialog ended without a file.
  virtual bool ChooseFile(FileDialogKind kind, ChosenFile& file) = 0;
  virtual void ShowDocumentTitle() = 0;
  virtual void RefreshPanel() = 0;

 protected:
  ~DocumentUi() = default;
};

struct DocumentContext {
  CableSet& set;
  Document& doc;
  CableFileContext files;
  DocumentUi& ui;
};

// How a save that the operator asked for ended. kDeclined: the overwrite
// question was answered No, which is an answer of its own, not a failure.
enum class SaveOutcome : uint8_t { kSaved, kDeclined, kNotSaved };

SaveOutcome SaveDocument(const DocumentContext& ctx);    // overwrite the document's file
SaveOutcome SaveDocumentAs(const DocumentContext& ctx);  // ask for a file, create or replace
// True when a set was loaded.
bool OpenDocument(const DocumentContext& ctx);
void InitializeDocument(const DocumentContext& ctx);
// The close's question about unsaved changes; false keeps the program open:
// Cancel, or a Yes whose save did not happen.
bool MayClose(const DocumentContext& ctx);

// The file dialogs' one filter: "<string 40038>\0*.cbl\0\0". Returns the
// units used, all three terminators included; 0 when capacity is too small.
size_t BuildFileFilter(TextSource& texts, char16_t* out, size_t capacity);

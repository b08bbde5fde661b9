#include "shell/document_commands.h"

#include "common/text.h"

namespace {

void Saved(const DocumentContext& ctx) {
  ctx.doc.state = kFileUnchanged;
  ctx.ui.ShowDocumentTitle();
}

}  // namespace

SaveOutcome SaveDocument(const DocumentContext& ctx) {
  switch (ctx.doc.state) {
    case kNewUnchanged:
      return SaveOutcome::kNotSaved;
    case kNewChanged:
      return SaveDocumentAs(ctx);
    case kFileUnchanged:
    case kFileChanged:
      break;
  }
  switch (ctx.ui.Ask(40030, 40031)) {
    case Answer::kYes:
      break;
    case Answer::kNo:
      return SaveOutcome::kDeclined;
    case Answer::kCancel:
      return SaveOutcome::kNotSaved;
  }
  char16_t path[2 * kDocumentPathUnits];
  CopyText(path, 2 * kDocumentPathUnits, ctx.doc.DocumentDirectory);
  const size_t dirLen = TextLength(path, 2 * kDocumentPathUnits);
  CopyText(path + dirLen, 2 * kDocumentPathUnits - dirLen, ctx.doc.DocumentFileName);
  if (!SaveCableSetFile(ctx.files.files, ctx.files.errors, path, ctx.set, SaveDisposition::kExistingFile)) {
    return SaveOutcome::kNotSaved;
  }
  Saved(ctx);
  return SaveOutcome::kSaved;
}

SaveOutcome SaveDocumentAs(const DocumentContext& ctx) {
  // An unchanged new set has nothing worth a file.
  if (ctx.doc.state == kNewUnchanged) return SaveOutcome::kNotSaved;
  ChosenFile file{};
  if (!ctx.ui.ChooseFile(FileDialogKind::kSaveAs, file)) return SaveOutcome::kNotSaved;
  TerminateText(file.path, kDocumentPathUnits);
  TerminateText(file.name, kDocumentPathUnits);
  if (!SaveCableSetFile(ctx.files.files, ctx.files.errors, file.path, ctx.set, SaveDisposition::kCreateOrReplace)) {
    return SaveOutcome::kNotSaved;
  }
  SetDocumentPath(ctx.doc, file.path, file.nameOffset, file.name);
  Saved(ctx);
  return SaveOutcome::kSaved;
}

bool OpenDocument(const DocumentContext& ctx) {
  if (HasUnsavedChanges(ctx.doc)) {
    switch (ctx.ui.Ask(40029, 40028)) {
      case Answer::kYes:
        // The changes must be in a file before another set replaces them;
        // only a No to the overwrite question lets the Open go on without.
        if (SaveDocument(ctx) == SaveOutcome::kNotSaved) return false;
        break;
      case Answer::kNo:
        break;
      case Answer::kCancel:
        return false;
    }
  }
  ChosenFile file{};
  if (!ctx.ui.ChooseFile(FileDialogKind::kOpen, file)) return false;
  TerminateText(file.path, kDocumentPathUnits);
  TerminateText(file.name, kDocumentPathUnits);
  if (!LoadCableSetFile(ctx.files, file.path, ctx.set)) return false;
  SetDocumentPath(ctx.doc, file.path, file.nameOffset, file.name);
  ctx.doc.state = kFileUnchanged;
  ctx.ui.ShowDocumentTitle();
  ctx.set.currentCable = 0;
  ctx.ui.RefreshPanel();
  return true;
}

void InitializeDocument(const DocumentContext& ctx) {
  if (ctx.ui.Ask(40057, 40033) != Answer::kYes) return;
  InitCableSet(ctx.set);
  ctx.doc.state = kNewUnchanged;
  ctx.ui.ShowDocumentTitle();
  ctx.ui.RefreshPanel();
}

bool MayClose(const DocumentContext& ctx) {
  if (!HasUnsavedChanges(ctx.doc)) return true;
  switch (ctx.ui.Ask(40027, 40028)) {
    case Answer::kYes:
      return SaveDocumentAs(ctx) == SaveOutcome::kSaved;
    case Answer::kNo:
      return true;
    case Answer::kCancel:
      break;
  }
  return false;
}

size_t BuildFileFilter(TextSource& texts, char16_t* out, size_t capacity) {
  constexpr char16_t kPattern[] = u"*.cbl";
  constexpr size_t kPatternUnits = sizeof kPattern / sizeof kPattern[0];  // with its terminator
  char16_t name[32];
  LoadTextOrEmpty(texts, 40038, name, 32);
  const size_t nameLen = TextLength(name, 32);
  const size_t total = nameLen + 1 + kPatternUnits + 1;
  if (capacity < total) return 0;
  size_t o = 0;
  for (size_t i = 0; i < nameLen; ++i) out[o++] = name[i];
  out[o++] = 0;
  for (size_t i = 0; i < kPatternUnits; ++i) out[o++] = kPattern[i];
  out[o++] = 0;
  return o;
}

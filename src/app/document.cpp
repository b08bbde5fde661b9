#include "app/document.h"

#include "common/text.h"

namespace {

constexpr char16_t kEllipsis[] = u"...";

struct Builder {
  char16_t* out;
  size_t capacity;  // terminator included
  size_t length = 0;
  void Append(const char16_t* s, size_t n) {
    for (size_t i = 0; i < n && length + 1 < capacity; ++i) out[length++] = s[i];
    out[length] = 0;
  }
  void Append(const char16_t* s) { Append(s, TextLength(s, capacity)); }
  size_t Room() const { return capacity - 1 - length; }
};

// Appends directory + file name, keeping the end when `room` is too small.
void AppendPath(Builder& b, const Document& doc, size_t room) {
  const size_t dirLen = TextLength(doc.DocumentDirectory, kDocumentPathUnits);
  const size_t fileLen = TextLength(doc.DocumentFileName, kDocumentPathUnits);
  if (dirLen + fileLen <= room) {
    b.Append(doc.DocumentDirectory, dirLen);
    b.Append(doc.DocumentFileName, fileLen);
    return;
  }
  const size_t ellipsis = TextLength(kEllipsis, 4);
  size_t keep = room > ellipsis ? room - ellipsis : 0;
  b.Append(kEllipsis, room < ellipsis ? room : ellipsis);
  if (keep >= fileLen) {
    const size_t fromDir = keep - fileLen;
    b.Append(doc.DocumentDirectory + (dirLen - fromDir), fromDir);
    b.Append(doc.DocumentFileName, fileLen);
  } else {
    b.Append(doc.DocumentFileName + (fileLen - keep), keep);
  }
}

}  // namespace

void ComposeDocumentTitle(TextSource& texts, const Document& doc, DocumentTitle& title) {
  if (doc.state == kNewUnchanged || doc.state == kNewChanged) {
    const bool changed = doc.state == kNewChanged;
    LoadTextOrEmpty(texts, changed ? 40023 : 40022, title.status, kTitleUnits);
    LoadTextOrEmpty(texts, changed ? 40025 : 40024, title.caption, kTitleUnits);
    return;
  }
  const char16_t* mark = doc.state == kFileChanged ? u" *" : u"";
  const size_t markLen = TextLength(mark, 3);

  Builder status{title.status, kTitleUnits};
  AppendPath(status, doc, status.Room() - markLen);
  status.Append(mark, markLen);

  char16_t prefix[kTitleUnits];
  LoadTextOrEmpty(texts, 40026, prefix, kTitleUnits);
  Builder caption{title.caption, kTitleUnits};
  caption.Append(prefix);
  const size_t reserve = markLen + 1;  // mark and "]"
  AppendPath(caption, doc, caption.Room() > reserve ? caption.Room() - reserve : 0);
  caption.Append(mark, markLen);
  caption.Append(u"]", 1);
}

void MarkDocumentChanged(Document& doc) {
  if (doc.state == kNewUnchanged) doc.state = kNewChanged;
  else if (doc.state == kFileUnchanged) doc.state = kFileChanged;
}

bool HasUnsavedChanges(const Document& doc) { return doc.state == kNewChanged || doc.state == kFileChanged; }

void SetDocumentPath(Document& doc, const char16_t* fullPath, unsigned fileNameOffset, const char16_t* fileName) {
  const size_t pathLen = TextLength(fullPath, 2 * kDocumentPathUnits);
  // The directory is everything before the separator that precedes the name.
  size_t dirLen = fileNameOffset > 0 ? fileNameOffset - 1 : 0;
  if (dirLen > pathLen) dirLen = pathLen;
  if (dirLen > kDocumentPathUnits - 2) dirLen = kDocumentPathUnits - 2;
  for (size_t i = 0; i < dirLen; ++i) doc.DocumentDirectory[i] = fullPath[i];
  size_t o = dirLen;
  if (fileNameOffset > 0) doc.DocumentDirectory[o++] = u'\\';
  doc.DocumentDirectory[o] = 0;
  CopyText(doc.DocumentFileName, kDocumentPathUnits, fileName);
}

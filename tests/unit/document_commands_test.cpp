// The File menu's commands through scripted prompts and file dialogs over an
// in-memory disk: every state, and that nothing the operator keeps is lost.
#include "shell/document_commands.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <tuple>
#include <vector>

#include "common/text.h"
#include "support/memory_file_system.h"
#include "support/table_text_source.h"

namespace {

using namespace std::literals;

// Logs what the operator sees: "ask30 saveas title open refresh ...", ask30 for the question of text 40030.
// No file here is in the old layout.
struct ScriptedUi final : DocumentUi, ConversionPrompt {
  std::deque<Answer> answers;          // in the order the prompts come
  std::deque<std::u16string> choices;  // full paths; an empty one cancels
  std::string log;

  Answer Ask(uint16_t textId, uint16_t) override {
    log += "ask" + std::to_string(textId - 40000) + " ";
    const Answer a = answers.empty() ? Answer::kCancel : answers.front();
    if (!answers.empty()) answers.pop_front();
    return a;
  }
  bool ChooseFile(FileDialogKind kind, ChosenFile& file) override {
    log += kind == FileDialogKind::kOpen ? "open " : "saveas ";
    const std::u16string path = choices.empty() ? u"" : choices.front();
    if (!choices.empty()) choices.pop_front();
    const size_t offset = path.rfind(u'\\') + 1;
    std::copy(path.begin(), path.end(), file.path);
    std::copy(path.begin() + static_cast<std::ptrdiff_t>(offset), path.end(), file.name);
    file.nameOffset = static_cast<uint16_t>(offset);
    return !path.empty();
  }
  void ShowDocumentTitle() override { log += "title "; }
  void RefreshPanel() override { log += "refresh "; }
  bool ConfirmOldLayoutConversion() override { return false; }
};

enum Command { kSave, kSaveAs, kOpen, kClose, kInitialize };

// want: what the command gave | the prompts in order | the document's state, the set's product no. and current
// cable, then for a file its path and the product no. in it, and the error codes.
struct Case {
  const char* name;
  DocumentState start;  // file states start from C:\m.cbl
  Command command;
  std::deque<Answer> answers;
  std::deque<std::u16string> choices;
  const char* fault;  // "replace", "gone" or ""
  std::string want;
};

constexpr Answer Y = Answer::kYes, N = Answer::kNo, C = Answer::kCancel;

const Case kCases[] = {
    {"unchanged new set: save", kNewUnchanged, kSave, {}, {}, "", "not saved||0 #4"},
    {"unchanged new set: save as", kNewUnchanged, kSaveAs, {}, {}, "", "not saved||0 #4"},
    {"changed new set: save asks for a file", kNewChanged, kSave, {}, {u"D:\\data\\a.cbl"}, "",
     "saved|saveas title |2 MINE#4 D:\\data\\a.cbl=MINE"},
    {"save: unchanged still asks", kFileUnchanged, kSave, {Y}, {}, "", "saved|ask30 title |2 DISK#0 C:\\m.cbl=DISK"},
    {"save: the file went away", kFileChanged, kSave, {Y}, {}, "gone",
     "not saved|ask30 |3 MINE#4 C:\\m.cbl=<none> e768"},
    {"save as fails: the path stays", kFileChanged, kSaveAs, {}, {u"E:\\b.cbl"}, "replace",
     "not saved|saveas |3 MINE#4 C:\\m.cbl=DISK e768"},
    {"open: nothing to save", kNewUnchanged, kOpen, {}, {u"C:\\n.cbl"}, "",
     "yes|open title refresh |2 NEXT#0 C:\\n.cbl=NEXT"},
    {"open: a damaged file changes nothing", kFileChanged, kOpen, {N}, {u"C:\\bad.cbl"}, "",
     "no|ask29 open |3 MINE#4 C:\\m.cbl=DISK e769"},
    // The save question before Open: Yes must really save, or the Open stops.
    {"open: Cancel", kNewChanged, kOpen, {C}, {}, "", "no|ask29 |1 MINE#4"},
    {"open: No discards", kNewChanged, kOpen, {N}, {u"C:\\n.cbl"}, "",
     "yes|ask29 open title refresh |2 NEXT#0 C:\\n.cbl=NEXT"},
    {"open: Yes, overwrite declined", kFileChanged, kOpen, {Y, N}, {u"C:\\n.cbl"}, "",
     "yes|ask29 ask30 open title refresh |2 NEXT#0 C:\\n.cbl=NEXT"},
    {"open: Yes, overwrite cancelled", kFileChanged, kOpen, {Y, C}, {}, "", "no|ask29 ask30 |3 MINE#4 C:\\m.cbl=DISK"},
    {"open: Yes, overwritten", kFileChanged, kOpen, {Y, Y}, {u"C:\\n.cbl"}, "",
     "yes|ask29 ask30 title open title refresh |2 NEXT#0 C:\\n.cbl=NEXT"},
    // The close always saves under a new name.
    {"close: nothing changed", kFileUnchanged, kClose, {}, {}, "", "yes||2 DISK#0 C:\\m.cbl=DISK"},
    {"close: Cancel", kFileChanged, kClose, {C}, {}, "", "no|ask27 |3 MINE#4 C:\\m.cbl=DISK"},
    {"close: Yes, save as cancelled", kFileChanged, kClose, {Y}, {u""}, "", "no|ask27 saveas |3 MINE#4 C:\\m.cbl=DISK"},
    {"close: Yes, saved", kFileChanged, kClose, {Y}, {u"C:\\o.cbl"}, "",
     "yes|ask27 saveas title |2 MINE#4 C:\\o.cbl=MINE"},
    {"close: No", kNewChanged, kClose, {N}, {}, "", "yes|ask27 |1 MINE#4"},
    {"initialize: No", kFileChanged, kInitialize, {N}, {}, "", "|ask57 |3 MINE#4 C:\\m.cbl=DISK"},
    {"initialize: Yes keeps the path", kFileChanged, kInitialize, {Y}, {}, "",
     "|ask57 title refresh |0 #0 C:\\m.cbl=DISK"},
};

TEST(DocumentCommands, EveryCommandInEveryStateKeepsWhatTheOperatorKeeps) {
  static CableSet set, loaded;
  const auto narrow = [](std::u16string_view text) { return std::string(text.begin(), text.end()); };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem disk;
    RecordingErrors errors;
    ScriptedUi ui;
    Document doc{};
    const DocumentContext ctx{set, doc, {disk, errors, ui}, ui};
    for (const char16_t* name : {u"DISK", u"NEXT"}) {
      InitCableSet(set);
      CopyText(set.cables[0].info.productNo, kProductNoUnits, name);
      set.currentCable = 7;  // an Open starts at cable 1 whatever the file holds
      SaveCableSetFile(disk, errors, name[0] == u'D' ? u"C:\\m.cbl" : u"C:\\n.cbl", set,
                       SaveDisposition::kCreateOrReplace);
    }
    disk.files[u"C:\\bad.cbl"] = std::vector<uint8_t>(45100, 0);
    InitCableSet(set);
    ui.choices = {u"C:\\m.cbl"};
    ASSERT_TRUE(c.start < kFileUnchanged || OpenDocument(ctx));
    if (HasUnsavedChanges({c.start, {}, {}})) {
      CopyText(set.cables[0].info.productNo, kProductNoUnits, u"MINE");
      MarkDocumentChanged(doc);
    }
    set.currentCable = c.start == kFileUnchanged ? 0 : 4;
    std::tie(ui.answers, ui.choices, ui.log) = std::tuple(c.answers, c.choices, "");
    disk.failReplace = c.fault == "replace"s;
    if (c.fault == "gone"s) disk.files.erase(u"C:\\m.cbl");

    static const char* const kOutcomes[] = {"saved", "declined", "not saved"};
    std::string got;
    switch (c.command) {
      case kSave: got = kOutcomes[static_cast<int>(SaveDocument(ctx))]; break;
      case kSaveAs: got = kOutcomes[static_cast<int>(SaveDocumentAs(ctx))]; break;
      case kOpen: got = OpenDocument(ctx) ? "yes" : "no"; break;
      case kClose: got = MayClose(ctx) ? "yes" : "no"; break;
      case kInitialize: InitializeDocument(ctx); break;
    }
    const std::u16string path = std::u16string(doc.DocumentDirectory) + doc.DocumentFileName;
    got += "|" + ui.log + "|" + std::to_string(doc.state) + " " + narrow(set.cables[0].info.productNo) + "#" +
           std::to_string(set.currentCable);
    RecordingErrors quiet;
    if (!path.empty()) {
      const bool read = LoadCableSetFile({disk, quiet, ui}, path.c_str(), loaded);
      got += " " + narrow(path) + "=" + (read ? narrow(loaded.cables[0].info.productNo) : "<none>");
    }
    for (uint16_t code : errors.codes) got += " e" + std::to_string(code);
    EXPECT_EQ(got, c.want);
  }
}

// The Open and Save dialogs' filter: its name, then the pattern, each ended,
// and the list ended; a buffer too small for it all gives nothing.
TEST(FileFilter, NameThenPatternThenTheEnd) {
  TableTextSource texts;
  char16_t out[40];
  const size_t n = BuildFileFilter(texts, out, 40);
  EXPECT_EQ(std::u16string(out, n), std::u16string(u"Cable data (*.cbl)\0*.cbl\0\0", 26));
  EXPECT_EQ(BuildFileFilter(texts, out, 25), 0u);
}

}  // namespace

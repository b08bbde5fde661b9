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

// Logs what the operator sees: "ask40030 saveas title open refresh ...".
class ScriptedUi final : public DocumentUi {
 public:
  std::deque<Answer> answers;          // in the order the prompts come
  std::deque<std::u16string> choices;  // full paths; an empty one cancels
  std::string log;

  Answer Ask(uint16_t textId, uint16_t) override {
    log += "ask" + std::to_string(textId) + " ";
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
};

class NoOldLayout final : public ConversionPrompt {
  bool ConfirmOldLayoutConversion() override { return false; }
};

enum class Command { kSave, kSaveAs, kOpen, kClose, kInitialize };

struct Case {
  const char* name;
  DocumentState start;  // file states start from C:\mine.cbl
  Command command;
  std::deque<Answer> answers;
  std::deque<std::u16string> choices;
  const char* fault;  // "write", "replace", "gone" or ""
  std::string outcome, log;
  DocumentState state;
  std::u16string set, path, onDisk;  // product no. and current cable; the document's file and its product no.
  std::vector<uint16_t> errors;
};

constexpr Answer Y = Answer::kYes, N = Answer::kNo, C = Answer::kCancel;

const Case kCases[] = {
    {"unchanged new set: save", kNewUnchanged, Command::kSave, {}, {}, "", "not saved", "", kNewUnchanged, u"#4", u"",
     u"", {}},
    {"unchanged new set: save as", kNewUnchanged, Command::kSaveAs, {}, {}, "", "not saved", "", kNewUnchanged, u"#4",
     u"", u"", {}},
    {"changed new set: save asks for a file", kNewChanged, Command::kSave, {}, {u"D:\\data\\a.cbl"}, "", "saved",
     "saveas title ", kFileUnchanged, u"MINE#4", u"D:\\data\\a.cbl", u"MINE", {}},
    {"save: unchanged still asks", kFileUnchanged, Command::kSave, {Y}, {}, "", "saved", "ask40030 title ",
     kFileUnchanged, u"ONDISK#0", u"C:\\mine.cbl", u"ONDISK", {}},
    {"save: the file went away", kFileChanged, Command::kSave, {Y}, {}, "gone", "not saved", "ask40030 ", kFileChanged,
     u"MINE#4", u"C:\\mine.cbl", u"<none>", {768}},
    {"save as fails: the path stays", kFileChanged, Command::kSaveAs, {}, {u"E:\\b.cbl"}, "replace", "not saved",
     "saveas ", kFileChanged, u"MINE#4", u"C:\\mine.cbl", u"ONDISK", {768}},
    {"open: nothing to save", kNewUnchanged, Command::kOpen, {}, {u"C:\\next.cbl"}, "", "yes", "open title refresh ",
     kFileUnchanged, u"NEXT#0", u"C:\\next.cbl", u"NEXT", {}},
    {"open: a damaged file changes nothing", kFileChanged, Command::kOpen, {N}, {u"C:\\bad.cbl"}, "", "no",
     "ask40029 open ", kFileChanged, u"MINE#4", u"C:\\mine.cbl", u"ONDISK", {769}},
    // The save question before Open: Yes must really save, or the Open stops.
    {"open: Cancel", kNewChanged, Command::kOpen, {C}, {}, "", "no", "ask40029 ", kNewChanged, u"MINE#4", u"", u"", {}},
    {"open: No discards", kNewChanged, Command::kOpen, {N}, {u"C:\\next.cbl"}, "", "yes",
     "ask40029 open title refresh ", kFileUnchanged, u"NEXT#0", u"C:\\next.cbl", u"NEXT", {}},
    {"open: Yes, save as cancelled", kNewChanged, Command::kOpen, {Y}, {u""}, "", "no", "ask40029 saveas ",
     kNewChanged, u"MINE#4", u"", u"", {}},
    {"open: Yes, saved as", kNewChanged, Command::kOpen, {Y}, {u"C:\\kept.cbl", u"C:\\next.cbl"}, "", "yes",
     "ask40029 saveas title open title refresh ", kFileUnchanged, u"NEXT#0", u"C:\\next.cbl", u"NEXT", {}},
    {"open: Yes, overwrite declined", kFileChanged, Command::kOpen, {Y, N}, {u"C:\\next.cbl"}, "", "yes",
     "ask40029 ask40030 open title refresh ", kFileUnchanged, u"NEXT#0", u"C:\\next.cbl", u"NEXT", {}},
    {"open: Yes, overwrite cancelled", kFileChanged, Command::kOpen, {Y, C}, {}, "", "no", "ask40029 ask40030 ",
     kFileChanged, u"MINE#4", u"C:\\mine.cbl", u"ONDISK", {}},
    {"open: Yes, save fails", kFileChanged, Command::kOpen, {Y, Y}, {}, "write", "no", "ask40029 ask40030 ",
     kFileChanged, u"MINE#4", u"C:\\mine.cbl", u"ONDISK", {768}},
    {"open: Yes, overwritten", kFileChanged, Command::kOpen, {Y, Y}, {u"C:\\next.cbl"}, "", "yes",
     "ask40029 ask40030 title open title refresh ", kFileUnchanged, u"NEXT#0", u"C:\\next.cbl", u"NEXT", {}},
    // The close always saves under a new name.
    {"close: nothing changed", kFileUnchanged, Command::kClose, {}, {}, "", "yes", "", kFileUnchanged, u"ONDISK#0",
     u"C:\\mine.cbl", u"ONDISK", {}},
    {"close: Cancel", kFileChanged, Command::kClose, {C}, {}, "", "no", "ask40027 ", kFileChanged, u"MINE#4",
     u"C:\\mine.cbl", u"ONDISK", {}},
    {"close: Yes, save as cancelled", kFileChanged, Command::kClose, {Y}, {u""}, "", "no", "ask40027 saveas ",
     kFileChanged, u"MINE#4", u"C:\\mine.cbl", u"ONDISK", {}},
    {"close: Yes, saved", kFileChanged, Command::kClose, {Y}, {u"C:\\o.cbl"}, "", "yes", "ask40027 saveas title ",
     kFileUnchanged, u"MINE#4", u"C:\\o.cbl", u"MINE", {}},
    {"close: No", kNewChanged, Command::kClose, {N}, {}, "", "yes", "ask40027 ", kNewChanged, u"MINE#4", u"", u"", {}},
    {"initialize: No", kFileChanged, Command::kInitialize, {N}, {}, "", "", "ask40057 ", kFileChanged, u"MINE#4",
     u"C:\\mine.cbl", u"ONDISK", {}},
    {"initialize: Yes keeps the path", kFileChanged, Command::kInitialize, {Y}, {}, "", "", "ask40057 title refresh ",
     kNewUnchanged, u"#0", u"C:\\mine.cbl", u"ONDISK", {}},
};

TEST(DocumentCommands, EveryCommandInEveryStateKeepsWhatTheOperatorKeeps) {
  static CableSet set;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem disk;
    RecordingErrors errors;
    NoOldLayout prompt;
    ScriptedUi ui;
    Document doc{};
    const DocumentContext ctx{set, doc, {disk, errors, prompt}, ui};
    for (const char16_t* name : {u"ONDISK", u"NEXT"}) {
      InitCableSet(set);
      CopyText(set.cables[0].info.productNo, kProductNoUnits, name);
      SaveCableSetFile(disk, errors, name[0] == u'O' ? u"C:\\mine.cbl" : u"C:\\next.cbl", set,
                       SaveDisposition::kCreateOrReplace);
    }
    disk.files[u"C:\\bad.cbl"] = std::vector<uint8_t>(45100, 0);
    InitCableSet(set);
    ui.choices = {u"C:\\mine.cbl"};
    if (c.start == kFileUnchanged || c.start == kFileChanged) {
      ASSERT_TRUE(OpenDocument(ctx));
    }
    if (HasUnsavedChanges({c.start, {}, {}})) {
      CopyText(set.cables[0].info.productNo, kProductNoUnits, u"MINE");
      MarkDocumentChanged(doc);
    }
    set.currentCable = c.start == kFileUnchanged ? 0 : 4;
    ui.answers = c.answers;
    ui.choices = c.choices;
    ui.log.clear();
    const std::string fault = c.fault;
    std::tie(disk.failWrite, disk.failReplace) = std::tuple(fault == "write", fault == "replace");
    if (fault == "gone") disk.files.erase(u"C:\\mine.cbl");
    const size_t filesBefore = disk.files.size();

    static const char* const kOutcomes[] = {"saved", "declined", "not saved"};
    std::string outcome;
    switch (c.command) {
      case Command::kSave: outcome = kOutcomes[static_cast<int>(SaveDocument(ctx))]; break;
      case Command::kSaveAs: outcome = kOutcomes[static_cast<int>(SaveDocumentAs(ctx))]; break;
      case Command::kOpen: outcome = OpenDocument(ctx) ? "yes" : "no"; break;
      case Command::kClose: outcome = MayClose(ctx) ? "yes" : "no"; break;
      case Command::kInitialize: InitializeDocument(ctx); break;
    }
    const std::u16string path = std::u16string(doc.DocumentDirectory) + doc.DocumentFileName;
    EXPECT_EQ(outcome + "|" + ui.log, c.outcome + "|" + c.log);
    EXPECT_TRUE(ui.answers.empty() && ui.choices.empty()) << "every prompt and dialog came";
    EXPECT_EQ(doc.state, c.state);
    const auto current = static_cast<char16_t>(u'0' + set.currentCable);
    EXPECT_EQ(set.cables[0].info.productNo + (u"#" + std::u16string(1, current)), c.set);
    EXPECT_EQ(path, c.path);
    static CableSet loaded;
    RecordingErrors quiet;
    const bool read = !path.empty() && LoadCableSetFile({disk, quiet, prompt}, path.c_str(), loaded);
    EXPECT_EQ(read ? loaded.cables[0].info.productNo : path.empty() ? u"" : u"<none>", c.onDisk);
    EXPECT_EQ(errors.codes, c.errors);
    EXPECT_LE(disk.files.size(), filesBefore + (c.outcome == "yes" || c.outcome == "saved")) << "no temporary file";
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

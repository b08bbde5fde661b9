// The File menu's commands through scripted prompts and file dialogs over an
// in-memory disk: every state, and that nothing the operator keeps is lost.
#include "shell/document_commands.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "common/text.h"
#include "support/memory_file_system.h"
#include "support/table_text_source.h"

namespace {

class ScriptedUi final : public DocumentUi {
 public:
  std::deque<Answer> answers;          // in the order the prompts come
  std::deque<std::u16string> choices;  // full paths; an empty one cancels
  std::vector<uint16_t> asked;         // text ids of the prompts shown
  std::vector<FileDialogKind> dialogs;
  int titles = 0, refreshes = 0;

  Answer Ask(uint16_t textId, uint16_t) override {
    asked.push_back(textId);
    EXPECT_FALSE(answers.empty()) << "unexpected prompt " << textId;
    if (answers.empty()) return Answer::kCancel;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  bool ChooseFile(FileDialogKind kind, ChosenFile& file) override {
    dialogs.push_back(kind);
    EXPECT_FALSE(choices.empty()) << "unexpected file dialog";
    if (choices.empty() || choices.front().empty()) {
      if (!choices.empty()) choices.pop_front();
      return false;
    }
    const std::u16string path = choices.front();
    choices.pop_front();
    const size_t offset = path.rfind(u'\\') + 1;
    std::copy(path.begin(), path.end(), file.path);
    std::copy(path.begin() + static_cast<std::ptrdiff_t>(offset), path.end(), file.name);
    file.nameOffset = static_cast<uint16_t>(offset);
    return true;
  }
  void ShowDocumentTitle() override { ++titles; }
  void RefreshPanel() override { ++refreshes; }
};

class NoOldLayout final : public ConversionPrompt {
 public:
  bool ConfirmOldLayoutConversion() override { return false; }
};

class DocumentCommands : public ::testing::Test {
 protected:
  void SetUp() override { InitCableSet(set); }

  DocumentContext Ctx() { return DocumentContext{set, doc, {disk, errors, prompt}, ui}; }
  // A set saved at path whose first cable's product number is marker.
  void PutFile(const std::u16string& path, const char16_t* marker) {
    CableSet other;
    InitCableSet(other);
    CopyText(other.cables[0].info.productNo, 11, marker);
    other.currentCable = 7;
    ASSERT_TRUE(SaveCableSetFile(disk, errors, path.c_str(), other, SaveDisposition::kCreateOrReplace));
  }
  std::u16string ProductNoOnDisk(const std::u16string& path) {
    CableSet loaded;
    InitCableSet(loaded);
    RecordingErrors quiet;
    if (!LoadCableSetFile({disk, quiet, prompt}, path.c_str(), loaded)) return u"<unreadable>";
    return loaded.cables[0].info.productNo;
  }
  void BecomeFileDocument(const std::u16string& path) {
    PutFile(path, u"ONDISK");
    ui.choices = {path};
    ASSERT_TRUE(OpenDocument(Ctx()));
  }
  void Edit(const char16_t* productNo) {
    CopyText(set.cables[0].info.productNo, 11, productNo);
    MarkDocumentChanged(doc);
  }

  CableSet set;
  Document doc{};
  MemoryFileSystem disk;
  RecordingErrors errors;
  NoOldLayout prompt;
  ScriptedUi ui;
};

TEST_F(DocumentCommands, AnUnchangedNewSetIsNeverSaved) {
  EXPECT_EQ(SaveDocument(Ctx()), SaveOutcome::kNotSaved);
  EXPECT_EQ(SaveDocumentAs(Ctx()), SaveOutcome::kNotSaved);
  EXPECT_TRUE(ui.asked.empty());
  EXPECT_TRUE(ui.dialogs.empty());
  EXPECT_TRUE(disk.files.empty());
}

TEST_F(DocumentCommands, SaveOfAChangedNewSetAsksForAFileAndTakesItsPath) {
  Edit(u"NEW");
  ui.choices = {u"D:\\data\\a.cbl"};
  EXPECT_EQ(SaveDocument(Ctx()), SaveOutcome::kSaved);
  EXPECT_EQ(ui.dialogs, std::vector<FileDialogKind>{FileDialogKind::kSaveAs});
  EXPECT_EQ(doc.state, kFileUnchanged);
  EXPECT_EQ(std::u16string(doc.DocumentDirectory), u"D:\\data\\");
  EXPECT_EQ(std::u16string(doc.DocumentFileName), u"a.cbl");
  EXPECT_EQ(ProductNoOnDisk(u"D:\\data\\a.cbl"), u"NEW");
  EXPECT_EQ(disk.files.size(), 1u);  // no temporary file left beside it
}

TEST_F(DocumentCommands, SaveOverwritesTheDocumentsFileOnlyOnYes) {
  BecomeFileDocument(u"D:\\a.cbl");
  EXPECT_EQ(std::u16string(doc.DocumentDirectory), u"D:\\");
  Edit(u"EDITED");

  for (Answer declined : {Answer::kNo, Answer::kCancel}) {
    ui.answers = {declined};
    EXPECT_NE(SaveDocument(Ctx()), SaveOutcome::kSaved);
    EXPECT_EQ(doc.state, kFileChanged);
    EXPECT_EQ(ProductNoOnDisk(u"D:\\a.cbl"), u"ONDISK");
  }
  ui.answers = {Answer::kYes};
  EXPECT_EQ(SaveDocument(Ctx()), SaveOutcome::kSaved);
  EXPECT_EQ(ui.asked.back(), 40030);
  EXPECT_EQ(doc.state, kFileUnchanged);
  EXPECT_EQ(ProductNoOnDisk(u"D:\\a.cbl"), u"EDITED");

  // Unchanged, Save still asks and rewrites.
  ui.answers = {Answer::kYes};
  EXPECT_EQ(SaveDocument(Ctx()), SaveOutcome::kSaved);
}

TEST_F(DocumentCommands, FailedSavesKeepStatePathAndTheOldFile) {
  BecomeFileDocument(u"D:\\a.cbl");
  Edit(u"EDITED");

  disk.failFlush = true;
  ui.answers = {Answer::kYes};
  EXPECT_EQ(SaveDocument(Ctx()), SaveOutcome::kNotSaved);
  EXPECT_EQ(doc.state, kFileChanged);
  EXPECT_EQ(ProductNoOnDisk(u"D:\\a.cbl"), u"ONDISK");
  disk.failFlush = false;

  // The file went away meanwhile: Save does not quietly create it again.
  disk.files.erase(u"D:\\a.cbl");
  ui.answers = {Answer::kYes};
  EXPECT_EQ(SaveDocument(Ctx()), SaveOutcome::kNotSaved);
  EXPECT_EQ(errors.codes, (std::vector<uint16_t>{768, 768}));
  EXPECT_TRUE(disk.files.empty());

  // Save as to a place that cannot be written: the path stays the old one.
  disk.failReplace = true;
  ui.choices = {u"E:\\b.cbl"};
  EXPECT_EQ(SaveDocumentAs(Ctx()), SaveOutcome::kNotSaved);
  EXPECT_EQ(std::u16string(doc.DocumentFileName), u"a.cbl");
  EXPECT_EQ(doc.state, kFileChanged);
}

TEST_F(DocumentCommands, OpenLoadsSelectsTheFirstCableAndRefreshes) {
  PutFile(u"C:\\sets\\one.cbl", u"ONE");
  set.currentCable = 4;
  ui.choices = {u"C:\\sets\\one.cbl"};
  EXPECT_TRUE(OpenDocument(Ctx()));
  EXPECT_TRUE(ui.asked.empty());  // nothing to save in state 0
  EXPECT_EQ(std::u16string(set.cables[0].info.productNo), u"ONE");
  EXPECT_EQ(set.currentCable, 0);
  EXPECT_EQ(doc.state, kFileUnchanged);
  EXPECT_EQ(ui.refreshes, 1);

  // A damaged file changes nothing.
  disk.files[u"C:\\sets\\bad.cbl"] = std::vector<uint8_t>(45100, 0);
  Edit(u"KEEP");
  ui.answers = {Answer::kNo};
  ui.choices = {u"C:\\sets\\bad.cbl"};
  EXPECT_FALSE(OpenDocument(Ctx()));
  EXPECT_EQ(errors.codes.back(), 769);
  EXPECT_EQ(std::u16string(set.cables[0].info.productNo), u"KEEP");
  EXPECT_EQ(doc.state, kFileChanged);
  EXPECT_EQ(std::u16string(doc.DocumentFileName), u"one.cbl");
}

// The save question before Open: Yes must really save, or the Open stops.
TEST_F(DocumentCommands, OpenAfterChangesNeverLosesThem) {
  PutFile(u"C:\\next.cbl", u"NEXT");
  struct Case {
    const char* name;
    DocumentState state;
    std::deque<Answer> answers;
    std::deque<std::u16string> choices;  // save dialog (state 1), then open dialog
    bool opened;
  };
  const Case cases[] = {
      {"cancel", kNewChanged, {Answer::kCancel}, {}, false},
      {"no discards", kNewChanged, {Answer::kNo}, {u"C:\\next.cbl"}, true},
      {"yes, save as cancelled", kNewChanged, {Answer::kYes}, {u""}, false},
      {"yes, saved as", kNewChanged, {Answer::kYes}, {u"C:\\kept.cbl", u"C:\\next.cbl"}, true},
      {"yes, overwrite declined", kFileChanged, {Answer::kYes, Answer::kNo}, {u"C:\\next.cbl"}, true},
      {"yes, overwrite cancelled", kFileChanged, {Answer::kYes, Answer::kCancel}, {}, false},
      {"yes, overwritten", kFileChanged, {Answer::kYes, Answer::kYes}, {u"C:\\next.cbl"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InitCableSet(set);
    doc = Document{};
    disk.files.erase(u"C:\\kept.cbl");
    if (c.state == kFileChanged) BecomeFileDocument(u"C:\\mine.cbl");
    Edit(u"MINE");
    ui.answers = c.answers;
    ui.choices = c.choices;
    ui.asked.clear();
    EXPECT_EQ(OpenDocument(Ctx()), c.opened);
    EXPECT_EQ(ui.asked.front(), 40029);
    EXPECT_TRUE(ui.answers.empty());
    EXPECT_TRUE(ui.choices.empty());
    if (c.opened) {
      EXPECT_EQ(std::u16string(set.cables[0].info.productNo), u"NEXT");
    } else {
      EXPECT_EQ(std::u16string(set.cables[0].info.productNo), u"MINE");
      EXPECT_TRUE(HasUnsavedChanges(doc));
    }
  }
  EXPECT_EQ(ProductNoOnDisk(u"C:\\mine.cbl"), u"MINE");  // the last case saved it
}

TEST_F(DocumentCommands, CloseStopsUnlessTheChangesAreSafeOrDiscarded) {
  EXPECT_TRUE(MayClose(Ctx()));  // nothing changed: no question
  EXPECT_TRUE(ui.asked.empty());

  BecomeFileDocument(u"C:\\mine.cbl");
  Edit(u"MINE");
  ui.answers = {Answer::kCancel};
  EXPECT_FALSE(MayClose(Ctx()));
  ui.answers = {Answer::kYes};
  ui.choices = {u""};  // Save as cancelled
  EXPECT_FALSE(MayClose(Ctx()));
  EXPECT_EQ(ui.dialogs.back(), FileDialogKind::kSaveAs);  // the close always saves under a new name
  disk.failWrite = true;
  ui.answers = {Answer::kYes};
  ui.choices = {u"C:\\other.cbl"};
  EXPECT_FALSE(MayClose(Ctx()));
  disk.failWrite = false;
  ui.answers = {Answer::kYes};
  ui.choices = {u"C:\\other.cbl"};
  EXPECT_TRUE(MayClose(Ctx()));
  EXPECT_EQ(ProductNoOnDisk(u"C:\\other.cbl"), u"MINE");
  Edit(u"GONE");
  ui.answers = {Answer::kNo};
  EXPECT_TRUE(MayClose(Ctx()));
  EXPECT_EQ(ui.asked, (std::vector<uint16_t>{40027, 40027, 40027, 40027, 40027}));
}

TEST_F(DocumentCommands, InitializeOnlyOnYesAndKeepsThePath) {
  BecomeFileDocument(u"C:\\mine.cbl");
  for (Answer declined : {Answer::kNo, Answer::kCancel}) {
    ui.answers = {declined};
    InitializeDocument(Ctx());
    EXPECT_EQ(std::u16string(set.cables[0].info.productNo), u"ONDISK");
  }
  ui.answers = {Answer::kYes};
  InitializeDocument(Ctx());
  EXPECT_EQ(ui.asked.back(), 40057);
  EXPECT_EQ(std::u16string(set.cables[0].info.productNo), u"");
  EXPECT_EQ(doc.state, kNewUnchanged);
  EXPECT_EQ(std::u16string(doc.DocumentFileName), u"mine.cbl");
  // A new unchanged set again: Save as does nothing.
  EXPECT_EQ(SaveDocumentAs(Ctx()), SaveOutcome::kNotSaved);
}

TEST(FileFilter, OneFilterWithThreeTerminators) {
  TableTextSource texts;
  char16_t out[40];
  for (LanguageIndex lang : {kEnglish, kJapanese}) {
    texts.language = lang;
    char16_t name[32];
    LoadTextOrEmpty(texts, 40038, name, 32);
    const size_t n = BuildFileFilter(texts, out, 40);
    const std::u16string expected = std::u16string(name) + u'\0' + u"*.cbl" + u'\0' + u'\0';
    EXPECT_EQ(std::u16string(out, n), expected);
  }
  EXPECT_EQ(BuildFileFilter(texts, out, 5), 0u);
}

}  // namespace

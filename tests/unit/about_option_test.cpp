// The About dialog's look at the link, run against the simulated unit through
// the real link; the Option dialog's list rules. The texts in each language
// are seen by the end-to-end scenarios.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <string>
#include <vector>

#include "shell/about.h"
#include "shell/option.h"
#include "support/memory_serial_port.h"
#include "support/model_unit.h"
#include "support/sync_notifier.h"
#include "support/table_text_source.h"
#include "support/unit_frames.h"

namespace {

class Errors final : public ErrorReporter {
 public:
  void ShowError(uint16_t code) override { codes.push_back(code); }
  std::vector<uint16_t> codes;
};

class FakeAboutWidgets final : public AboutWidgets {
 public:
  enum class Posted { kTestStop, kFrameQueued };
  explicit FakeAboutWidgets(const App& app) : app_(app) {}

  void ShowStatusText(const char16_t* text) override { status = text; }
  void ShowPortStatus() override { portStatusShown.push_back(app_.PortOnline); }
  void StartTimer(uint16_t id, uint32_t) override { timerRunning = id == kAboutTimerResponse; }
  void StopTimer(uint16_t id) override {
    if (id == kAboutTimerResponse) timerRunning = false;
  }
  void PostTestStop() override { posted.push_back(Posted::kTestStop); }
  void PostFrameQueued() override { posted.push_back(Posted::kFrameQueued); }

  std::u16string status;
  std::vector<int32_t> portStatusShown;
  bool timerRunning = false;
  std::deque<Posted> posted;

 private:
  const App& app_;
};

// The dialog as the program runs it, without a window: the link's workers on
// the in-memory port with the unit's model at the far end, and a small message
// loop on the test's thread.
struct AboutRig {
  AboutRig() { app.settings = kDefaultSettings; }
  ~AboutRig() { check.OnEnd(); }

  void DeliverPosted() {
    while (!widgets.posted.empty()) {
      const FakeAboutWidgets::Posted message = widgets.posted.front();
      widgets.posted.pop_front();
      if (message == FakeAboutWidgets::Posted::kTestStop) check.OnTestStop();
      else check.OnFrameQueued();
    }
  }
  template <typename Done>
  bool RunUntil(Done done, uint32_t ms = 3000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      DeliverPosted();
      if (done()) return true;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      notifier.ServeNotices(1);
    }
  }
  void Unit(void (*f)(TesterModel&)) {
    unit.With([f](TesterModel& m) {
      f(m);
      return 0;
    });
  }

  ModelUnit unit;
  MemorySerialPort port{unit};
  Errors errors;
  TableTextSource texts;
  App app{};
  ResponseChannel channel{};
  FakeAboutWidgets widgets{app};
  SyncNotifier notifier{[this](LinkNotice notice) {
    if (notice == LinkNotice::kReceived) check.OnLinkReceived();
  }};
  SerialLink link{port, errors};
  AboutCheck check{app, link, channel, errors, texts, notifier, widgets};
};

std::u16string Status(const char16_t* port, const char16_t* mode, const char16_t* version) {
  return std::u16string(port) + u"\r\n" + mode + u"\r\nHardware Ver. : " + version;
}

TEST(AboutCheck, AZeroByteEndsTheVersionAndASecondReplyWins) {
  AboutRig rig;
  rig.Unit([](TesterModel& m) { m.Faults().noAnswer = true; });
  rig.check.OnInit();
  // Two replies decoded in one pass: both are taken, each asks for a stop.
  for (const FrameBytes& frame : {StatusFrame("1320"), StatusFrame("13\0" "0")})
    for (uint8_t b : frame) FeedByte(rig.channel, b);
  rig.check.OnFrameQueued();
  EXPECT_EQ(std::u16string(rig.check.State().HardwareVersion), u"1.3");
  ASSERT_EQ(rig.widgets.posted.size(), 2u);
  rig.DeliverPosted();
  EXPECT_EQ(rig.port.RestoredCloses(), 1) << "the second stop finds the link closed";
  EXPECT_EQ(rig.widgets.status, Status(u"Comm. Port : Normal", u"Mode : Normal", u"1.3"));
}

TEST(AboutCheck, NoAnswerTimesOutOnceAndNoLinkOutlivesTheDialog) {
  AboutRig rig;
  rig.Unit([](TesterModel& m) { m.Faults().noAnswer = true; });
  rig.check.OnInit();
  rig.check.OnTimer(kAboutTimerResponse);
  EXPECT_EQ(rig.errors.codes, (std::vector<uint16_t>{kErrorCommTimeout}));
  EXPECT_FALSE(rig.widgets.timerRunning);
  rig.DeliverPosted();
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_EQ(rig.widgets.status, Status(u"Comm. Port : Normal", u"Mode : Normal", u""));

  // Ended before any answer: the link closes with the dialog.
  rig.check.OnInit();
  ASSERT_TRUE(rig.link.IsOpen());
  rig.check.OnEnd();
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_EQ(rig.app.LinkOpen, 0);
  EXPECT_EQ(rig.channel.ResponsePending, 0u);
}

TEST(OptionLists, EntriesShowTheSettingsAndAnEmptyListKeepsThePreviousValue) {
  char16_t entry[kPortEntryUnits];
  FormatPortEntry(9, entry);
  EXPECT_EQ(std::u16string(entry), u"COM10");
  Settings s = kDefaultSettings;
  s.port.Port = 3;
  s.language = kEnglish;
  EXPECT_EQ(PortEntryOf(s), 2);
  EXPECT_EQ(LanguageEntryOf(s), 2);
  StoreOptionChoice(s, 0, kJapanese);
  EXPECT_EQ(s.port.Port, 1);
  EXPECT_EQ(s.language, kJapanese);
  StoreOptionChoice(s, 9, kChinese);
  EXPECT_EQ(s.port.Port, 10);
  EXPECT_EQ(s.language, kChinese);

  // Ports the list does not offer leave it unselected, and OK keeps them.
  for (int port : {0, 11, 44}) {
    s.port.Port = static_cast<uint8_t>(port);
    EXPECT_EQ(PortEntryOf(s), -1) << port;
    StoreOptionChoice(s, -1, -1);
    EXPECT_EQ(s.port.Port, port);
    EXPECT_EQ(s.language, kChinese);
  }
  s.language = static_cast<LanguageIndex>(7);
  EXPECT_EQ(LanguageEntryOf(s), -1);
  StoreOptionChoice(s, 0, -1);
  EXPECT_EQ(s.port.Port, 1);
  EXPECT_EQ(s.language, kJapanese) << "never a language outside the table";
}

}  // namespace

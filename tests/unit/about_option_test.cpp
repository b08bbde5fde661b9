// The About dialog's look at the link, with the simulated unit behind the
// real link; the Option dialog's list rules. The texts in each language are
// seen by the end-to-end scenarios.
#include <gtest/gtest.h>

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

// The dialog without its window; the test delivers what it posts.
struct AboutRig final : AboutWidgets {
  AboutRig() { app.settings = kDefaultSettings; }
  ~AboutRig() { check.OnEnd(); }

  void ShowStatusText(const char16_t* text) override { status = text; }
  void ShowPortStatus() override {}
  void StartTimer(uint16_t, uint32_t) override { timerRunning = true; }
  void StopTimer(uint16_t) override { timerRunning = false; }
  void PostTestStop() override { ++stops; }
  void PostFrameQueued() override { ++queued; }

  std::u16string status;
  bool timerRunning = false;
  int stops = 0;
  int queued = 0;
  ModelUnit unit;
  MemorySerialPort port{unit};
  ShownErrors errors;
  TableTextSource texts;
  App app{};
  ResponseChannel channel{};
  SyncNotifier notifier{[this](LinkNotice n) {
    if (n == LinkNotice::kReceived) check.OnLinkReceived();
  }};
  SerialLink link{port, errors};
  AboutCheck check{app, link, channel, errors, texts, notifier, *this};
};

std::u16string Status(const char16_t* version) {
  return std::u16string(u"Comm. Port : Normal\r\nMode : Normal\r\nHardware Ver. : ") + version;
}

TEST(AboutCheck, TheReplyIsReadOffTheLineTheLastOfTwoWinsAndNoAnswerTimesOutOnce) {
  AboutRig rig;
  rig.check.OnInit();
  EXPECT_TRUE(rig.timerRunning);
  ASSERT_TRUE(rig.notifier.ServeUntil([&] { return rig.queued > 0; }, 3000));
  rig.check.OnFrameQueued();
  rig.check.OnTestStop();
  EXPECT_EQ(rig.status, Status(u"1.000"));

  // From here the test feeds the replies. Two decoded in one pass: both are
  // taken, each asks for a stop, and a zero byte ends the version.
  rig.unit.With([](TesterModel& m) { m.Faults().noAnswer = true; });
  rig.check.OnInit();
  for (const FrameBytes& frame : {StatusFrame("1320"), StatusFrame("13\0" "0")})
    for (uint8_t b : frame) FeedByte(rig.channel, b);
  rig.check.OnFrameQueued();
  EXPECT_EQ(rig.stops, 3);
  rig.check.OnTestStop();
  rig.check.OnTestStop();
  EXPECT_EQ(rig.port.RestoredCloses(), 2) << "the second stop finds the link closed";
  EXPECT_EQ(rig.status, Status(u"1.3"));
  rig.check.OnTimer(kAboutTimerResponse);
  EXPECT_TRUE(rig.errors.codes.empty()) << "answered: no time-out";

  // No answer: one time-out.
  rig.check.OnInit();
  rig.check.OnTimer(kAboutTimerResponse);
  EXPECT_EQ(rig.errors.codes, (std::vector<uint16_t>{kErrorCommTimeout}));
  EXPECT_FALSE(rig.timerRunning);
  rig.check.OnTestStop();
  EXPECT_FALSE(rig.link.IsOpen());
  EXPECT_EQ(rig.status, Status(u""));

  // Ended before any answer: the link closes with the dialog.
  rig.check.OnInit();
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

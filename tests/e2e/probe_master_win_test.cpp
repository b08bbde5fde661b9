// The probe modes and the Master/Work test against the simulated unit: what
// goes over the line, what the operator reads in the result box and the log,
// and the colours of the pin cells.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "scenario_win.h"
#include "support/wine_path_win.h"

namespace {

const std::string kProbeStartFrame = "host 02 03 50 53 03 A9";
const std::string kProbeFinishFrame = "host 02 03 50 45 03 9B";

std::string HexByte(unsigned byte) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", byte & 0xFFu);
  return text;
}

// The MasterTransferRow for a pin and the pins of its row, as unitsim logs it.
std::string TransferRow(int pin, std::initializer_list<int> row) {
  uint8_t bits[13] = {};
  for (int k : row) bits[k / 8] = static_cast<uint8_t>(bits[k / 8] | 1u << (k % 8));
  unsigned sum = 0x11 + 0x54 + 0x44 + static_cast<unsigned>(pin + 1) + 0x03;
  std::string line = "host 02 11 54 44";
  line.append(" ").append(HexByte(static_cast<unsigned>(pin + 1)));
  for (uint8_t b : bits) {
    line.append(" ").append(HexByte(b));
    sum += b;
  }
  return line.append(" 03 ").append(HexByte(sum));
}

std::vector<std::string> HostFrames(const std::vector<std::string>& log) {
  std::vector<std::string> host;
  for (const std::string& line : log) {
    if (line.rfind("host ", 0) == 0) host.push_back(line);
  }
  return host;
}

bool Contains(const std::vector<std::string>& log, const std::string& line) {
  for (const std::string& l : log) {
    if (l == line) return true;
  }
  return false;
}

// A string of the program's own table in one language.
std::wstring ProgramString(UINT id, LANGID language) {
  std::wstring text;
  // RT_STRING: blocks of 16 counted strings.
  WithProgramResource(MAKEINTRESOURCEW(6), MAKEINTRESOURCEW((id >> 4) + 1), language, [&](const void* data) {
    const auto* block = static_cast<const WCHAR*>(data);
    for (UINT i = 0; i < (id & 15); ++i) block += 1 + *block;
    text.assign(block + 1, *block);
  });
  return text;
}

std::wstring Replace(std::wstring text, const std::wstring& what, const std::wstring& with) {
  const size_t at = text.find(what);
  if (at != std::wstring::npos) text.replace(at, what.size(), with);
  return text;
}

class ProbeMaster : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (HasFatalFailure()) return;
    // unitsim keeps its probe script from scenario to scenario: from now on
    // the probe reaches nothing until a scenario says otherwise.
    ASSERT_EQ(unit_.Do("probe"), "ok");
  }

  HWND StartInMode(WORD modeCommand, int startButton) {
    HWND main = StartIn();
    if (main == nullptr) return nullptr;
    op_.ChooseMenu(modeCommand);
    EXPECT_TRUE(WaitUntil([&] { return Enabled(startButton); })) << "the mode's start button stays disabled";
    return main;
  }

  // OK, NG, Skip, Total as shown.
  std::vector<std::wstring> Counters() const {
    return {TextOf(kOkCounter), TextOf(kOkCounter + 1), TextOf(kOkCounter + 2), TextOf(kOkCounter + 3)};
  }

  bool CellIs(int pin, COLORREF colour) const { return CellsAre({pin}, colour); }

  // The height in pixels of the first line of dark text in the result log.
  int FirstLineInkHeight() const {
    const std::optional<Picture> picture = Operator::Capture(op_.Control(kResultLog));
    if (!picture) return 0;
    int first = -1;
    int last = -1;
    for (int y = 0; y < picture->height; ++y) {
      bool ink = false;
      // Left half only: the scroll bar is dark too.
      for (int x = 2; x < picture->width / 2 && !ink; ++x) {
        const uint8_t* p = &picture->rgb[static_cast<size_t>((y * picture->width + x) * 3)];
        ink = p[0] < 96 && p[1] < 96 && p[2] < 96;
      }
      if (ink && first < 0) first = y;
      if (ink) last = y;
      if (!ink && first >= 0) break;
    }
    return first < 0 ? 0 : last - first + 1;
  }

  bool UnitSaw(const std::string& frame) { return Contains(unit_.Frames(), frame); }
  // At least `frames` frames from the unit so far.
  bool UnitAnswered(int frames = 1) {
    int n = 0;
    for (const std::string& line : unit_.Frames()) n += line.rfind("unit ", 0) == 0 ? 1 : 0;
    return n >= frames;
  }
  bool LinkClosed() { return unit_.Do("dtr?") == "ok off"; }
};

TEST_F(ProbeMaster, ReadMasterThenWorkTestOkAndWithAMovedWire) {
  ASSERT_EQ(unit_.Do("plug nets A01,B01 A02,B02,B03 A10,C01"), "ok");
  HWND main = StartInMode(kMenuMasterWork, kReadMaster);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(Operator::Text(main), L"Pinvoro[New cable data]");

  // Read Master asks first: the new set's cable 1 has no type yet.
  op_.Press(op_.Control(kReadMaster));
  const std::wstring format = ProgramString(40047, kEnglish.id);
  EXPECT_EQ(format, L"Overwrite information of cable%d.%s. OK?");
  ExpectBox(L"Read master", Replace(Replace(format, L"%d", L"1"), L"%s", L""), IDYES, L"prompt");

  ASSERT_TRUE(CaptionBecomes(L"Pinvoro[New cable data *]")) << Narrow(Caption());
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kReadMaster) && Enabled(kWorkStart); }));
  EXPECT_TRUE(Contains(unit_.Frames(), "host 02 03 4D 52 03 A5"));
  // The cells of the wiring read are yellow, the rest grey.
  EXPECT_TRUE(WaitUntil([&] { return CellIs(kC01, kYellow); }));
  EXPECT_TRUE(CellsAre({kA01, kA02, kA10, kB01, kB02, kB03, kC01}, kYellow));
  EXPECT_TRUE(CellsAre({kA03, kB04, kB05}, kGrey));
  Snapshot(main, L"master");

  // The wiring goes to the unit row by row, identity rows left out; the
  // work test proper follows on a link opened anew.
  ASSERT_EQ(unit_.Do("clear log"), "ok");
  op_.Press(op_.Control(kWorkStart));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(kResultBox) == L"OK" && Enabled(kWorkStart); }));
  EXPECT_EQ(TransferRow(kA01, {kA01, kB01}), "host 02 11 54 44 01 01 00 00 00 00 00 04 00 00 00 00 00 00 03 B2");
  const std::vector<std::string> expectedHost = {
      "host 02 03 4D 54 03 A7",
      TransferRow(kA01, {kA01, kB01}),
      TransferRow(kA02, {kA02, kB02, kB03}),
      TransferRow(kA10, {kA10, kC01}),
      TransferRow(kB01, {kA01, kB01}),
      TransferRow(kB02, {kA02, kB02, kB03}),
      TransferRow(kB03, {kA02, kB02, kB03}),
      TransferRow(kC01, {kA10, kC01}),
      "host 02 03 54 45 03 9F",
      "host 02 03 53 54 03 AD",
      "host 02 03 57 4B 03 A8",
  };
  const std::vector<std::string> log = unit_.Frames();
  EXPECT_EQ(HostFrames(log), expectedHost);
  // Nothing from the unit before the status query: the transfer is not answered.
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[expectedHost.size() - 2], "host 02 03 53 54 03 AD");
  EXPECT_EQ(TextOf(kResultLog), L"");
  EXPECT_EQ(Counters(), (std::vector<std::wstring>{L"1", L"0", L"0", L"1"}));
  Snapshot(main, L"ok");

  // A02's wire moved from B02/B03 to B04: the unit reports the four rows
  // that differ, in pin order.
  ASSERT_EQ(unit_.Do("plug nets A01,B01 A02,B04 B02,B03 A10,C01"), "ok");
  op_.Press(op_.Control(kWorkStart));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(kResultBox) == L"NG" && Enabled(kWorkStart); }));
  EXPECT_EQ(TextOf(kResultLog),
            L"A02  - B02  No connection error\r\n"
            L"A02  - B03  No connection error\r\n"
            L"A02  - B04  Connection error\r\n"
            L"B02  - A02  No connection error\r\n"
            L"B03  - A02  No connection error\r\n"
            L"B04  - A02  Connection error\r\n");
  EXPECT_EQ(Counters(), (std::vector<std::wstring>{L"1", L"1", L"0", L"2"}));
  EXPECT_TRUE(Enabled(kReadMaster));
  Snapshot(main);
}

TEST_F(ProbeMaster, ProbeShowsTheReachedPinsUntilFinish) {
  HWND main = StartInMode(kMenuProbe, kProbeStart);
  ASSERT_NE(main, nullptr);
  EXPECT_FALSE(Enabled(kProbeFinish));

  op_.Press(op_.Control(kProbeStart));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbeFinish); }));
  EXPECT_FALSE(Enabled(kProbeStart));
  ASSERT_EQ(unit_.Do("probe A01 B05"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return TextOf(kResultLog) == L"A01 \r\nB05 \r\n"; })) << Narrow(TextOf(kResultLog));
  // The panel repaints with every record (20 a second), so a single read of
  // the screen may fall into a repaint: the colours must settle.
  EXPECT_TRUE(WaitUntil([&] { return CellsAre({kA01, kB05}, kYellow) && CellsAre({kA02, kB01, kB04, kC01}, kGrey); }))
      << CellsAre({kA01, kB05}, kYellow).message() << " " << CellsAre({kA02, kB01, kB04, kC01}, kGrey).message();
  // The log's medium bold font (36 high) against the normal one (18): the
  // capitals of the first line alone stand taller than a normal line.
  int inkHeight = 0;
  EXPECT_TRUE(WaitUntil([&] { return (inkHeight = FirstLineInkHeight()) > 18; })) << "first line " << inkHeight << " px";
  Snapshot(main, L"probing");

  op_.Press(op_.Control(kProbeFinish));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbeStart); })) << "the exchange did not end";
  EXPECT_FALSE(Enabled(kProbeFinish));
  EXPECT_TRUE(LinkClosed());
  const std::vector<std::string> host = HostFrames(unit_.Frames());
  EXPECT_EQ(host, (std::vector<std::string>{kProbeStartFrame, kProbeFinishFrame}));
  // Without a link every cell has its ordinary look again.
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  EXPECT_TRUE(WaitUntil([&] { return CellIs(kA01, face) && CellIs(kA02, face); }));
  Snapshot(main);
}

TEST_F(ProbeMaster, ProbePlusWithoutProbeDataIsOkUntilAPinIsTouched) {
  // A new cable has no probe pins, so "NC" (a probe pin left unchecked)
  // cannot come up here; touching nothing is OK, touching anything NG.
  HWND main = StartInMode(kMenuProbePlus, kProbePlusStart);
  ASSERT_NE(main, nullptr);

  op_.Press(op_.Control(kProbePlusStart));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusFinish); }));
  // A Finish before the program took in any answer would judge nothing:
  // a few states on, the first has long arrived.
  ASSERT_TRUE(WaitUntil([&] { return UnitAnswered(4); })) << "no ProbeState from the unit";
  op_.Press(op_.Control(kProbePlusFinish));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusStart); }));
  EXPECT_EQ(TextOf(kResultBox), L"OK");
  EXPECT_EQ(TextOf(kResultLog), L"");
  EXPECT_EQ(Counters(), (std::vector<std::wstring>{L"1", L"0", L"0", L"1"}));
  Snapshot(main, L"ok");

  // A01 touched once and let go still counts.
  op_.Press(op_.Control(kProbePlusStart));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusFinish); }));
  EXPECT_EQ(TextOf(kResultBox), L"");
  ASSERT_EQ(unit_.Do("probe A01"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return CellIs(kA01, kWhite); })) << "A01 never shown as reached";
  ASSERT_EQ(unit_.Do("probe"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return CellIs(kA01, kRed); })) << "A01 not shown as a stray pin";
  EXPECT_TRUE(CellsAre({kA02, kB01}, kGrey));
  op_.Press(op_.Control(kProbePlusFinish));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusStart); }));
  EXPECT_EQ(TextOf(kResultBox), L"NG");
  EXPECT_EQ(TextOf(kResultLog), L"A01  - Connection error\r\n");
  EXPECT_EQ(Counters(), (std::vector<std::wstring>{L"1", L"1", L"0", L"2"}));
  EXPECT_TRUE(LinkClosed());
  // The colours of the test stay after the stop.
  EXPECT_TRUE(CellsAre({kA01}, kRed));
  Snapshot(main);
}

// The sample set's cable 1 has probe pins A01..A05 and C01, so the two
// results a new set cannot give come up: NC for probe pins left unchecked,
// and NG, which wins over NC, for a pin that is not a probe pin.
TEST_F(ProbeMaster, ProbePlusOnTheSampleSetGivesNcThenNgOverNc) {
  HWND main = StartIn();
  ASSERT_NE(main, nullptr);
  Open(WinePathOfUnix(PINVORO_E2E_SAMPLE_SET));
  ASSERT_TRUE(WaitUntil([&] { return Operator::Text(main).find(L"demo.cbl") != std::wstring::npos; }));
  op_.ChooseMenu(kMenuProbePlus);
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusStart); }));
  auto name = [&](int pin) { return TextOf(kPinCellBase + pin); };
  // Before a test the probe pins wait in yellow.
  EXPECT_TRUE(WaitUntil([&] { return CellsAre({kA01, kA05, kC01}, kYellow) && CellsAre({kA06, kB01}, kGrey); }));

  op_.Press(op_.Control(kProbePlusStart));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusFinish); }));
  ASSERT_EQ(unit_.Do("probe A01 A02 A03"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return CellsAre({kA01, kA02, kA03}, kWhite); }));
  ASSERT_EQ(unit_.Do("probe"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return CellsAre({kA01, kA02, kA03}, kBlue); })) << "checked probe pins turn blue";
  op_.Press(op_.Control(kProbePlusFinish));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusStart); }));
  EXPECT_EQ(TextOf(kResultBox), L"NC");
  EXPECT_EQ(TextOf(kResultLog), name(kA04) + L" - Unchecked\r\n" + name(kA05) + L" - Unchecked\r\n" + name(kC01) +
                                    L" - Unchecked\r\n");
  EXPECT_EQ(Counters(), (std::vector<std::wstring>{L"0", L"0", L"1", L"1"})) << "NC counts as Skip";
  Snapshot(main, L"nc");

  op_.Press(op_.Control(kProbePlusStart));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusFinish); }));
  ASSERT_EQ(unit_.Do("probe A01 A06"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return CellsAre({kA01, kA06}, kWhite); }));
  op_.Press(op_.Control(kProbePlusFinish));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbePlusStart); }));
  EXPECT_EQ(TextOf(kResultBox), L"NG");
  EXPECT_EQ(TextOf(kResultLog), name(kA02) + L" - Unchecked\r\n" + name(kA03) + L" - Unchecked\r\n" + name(kA04) +
                                    L" - Unchecked\r\n" + name(kA05) + L" - Unchecked\r\n" + name(kA06) +
                                    L" - Connection error\r\n" + name(kC01) + L" - Unchecked\r\n");
  EXPECT_EQ(Counters(), (std::vector<std::wstring>{L"0", L"1", L"1", L"2"}));
  Snapshot(main);
}

TEST_F(ProbeMaster, ModeChangeWhileProbingFinishesTheProbe) {
  HWND main = StartInMode(kMenuProbe, kProbeStart);
  ASSERT_NE(main, nullptr);
  op_.Press(op_.Control(kProbeStart));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kProbeFinish); }));
  ASSERT_TRUE(WaitUntil([&] { return UnitSaw(kProbeStartFrame); }));

  op_.ChooseMenu(kMenuOneOnOne);
  ASSERT_TRUE(WaitUntil([&] { return UnitSaw(kProbeFinishFrame); })) << "no ProbeFinish on the line";
  ASSERT_TRUE(WaitUntil([&] { return Enabled(kOneOnOneStart); }));
  EXPECT_FALSE(Enabled(kProbeStart));
  EXPECT_FALSE(Enabled(kProbeFinish));
  EXPECT_TRUE(WaitUntil([&] { return LinkClosed(); })) << "the probe link stayed open";
  EXPECT_EQ(HostFrames(unit_.Frames()), (std::vector<std::string>{kProbeStartFrame, kProbeFinishFrame}));
  Snapshot(main);
}

}  // namespace

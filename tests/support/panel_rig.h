#pragma once
// The mode panel as the program runs it, without a window: the real link and
// its workers on the in-memory port, the simulated unit's model at the far
// end, the panel's controls as plain data, and a small message loop on the
// test's thread that serves the workers' notices (the panel's "received"
// message) and delivers what the panel posts to itself. Timers fire only when
// the test says so. Cables 1 and 4 name their pins after themselves ("c3:B07").
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
#include "modes/mode_panel.h"
#include "support/memory_serial_port.h"
#include "support/model_unit.h"
#include "support/pins.h"
#include "support/sync_notifier.h"
#include "support/table_text_source.h"
#include "support/unit_frames.h"

constexpr uint16_t Cell(unsigned pin) { return static_cast<uint16_t>(kPinCellBase + pin); }

// The name NameCable gives pin `pin` of cable `cable`.
inline std::u16string Name(int cable, unsigned pin) {
  return u"c" + std::u16string(1, static_cast<char16_t>(u'0' + cable)) + u":" + DefaultPinLabels[pin];
}

// A harness with some wiring on every connector.
inline Rows Harness() { return Rows().Net({A(1), B(1)}).Net({A(3), B(3)}).Net({A(7), B(20), C(2)}); }

struct PanelRig final : PanelWidgets {
  using Clock = std::chrono::steady_clock;
  static constexpr uint32_t kFrameQueued = UINT32_MAX;  // posted; anything else is a stop's exchange

  // --- what a test reads (and, for the operator's input, writes) ---
  std::map<uint16_t, std::u16string> texts;  // the result log is texts[kResultLog]
  std::map<uint16_t, bool> enabled;
  int checkedRadio = -1;     // the TestMode whose radio button is checked
  std::u16string pinNoField;  // what the Pin No. edit shows
  LogFont logFont = LogFont::kNormal;
  SelectorEntries selector{};
  int selectorSelection = -1;
  std::map<uint16_t, uint32_t> timers;  // running timers and their periods
  std::map<uint16_t, int> timerStarts;
  std::deque<uint32_t> posted;
  int repaints = 0;
  std::vector<int32_t> portStatusShown;  // App::PortOnline at each status update
  std::vector<uint16_t> postedCommands, sentCommands;
  bool answerYes = true;
  std::u16string question;  // the latest, "caption: text"; empty: none asked
  std::function<void()> whileAsking;  // the messages a modal box dispatches
  std::vector<DocumentState> titlesShown;  // App::document.state at each title update
  std::function<void()> onResult;     // the Result box text changed

  const std::u16string& Log() { return texts[kResultLog]; }
  bool IsEnabled(uint16_t control) const { return enabled.count(control) != 0 && enabled.at(control); }
  uint32_t Timer(uint16_t id) const { return timers.count(id) != 0 ? timers.at(id) : 0; }  // its period, 0 when stopped

  // --- PanelWidgets ---
  void SetText(uint16_t control, const char16_t* text) override {
    texts[control] = text;
    if (control == kResultBox && onResult) onResult();
  }
  void AppendLog(const char16_t* text) override { texts[kResultLog] += text; }
  void SetLog(const char16_t* text) override { texts[kResultLog] = text; }
  void Enable(uint16_t control, bool on) override { enabled[control] = on; }
  void Focus(uint16_t) override {}
  void CheckModeRadio(TestMode mode) override { checkedRadio = mode; }
  bool IsChecked(uint16_t control) override { return control == kModeRadio + checkedRadio; }
  void SetPinNoRange(int32_t, int32_t) override {}
  void SetPinNo(int32_t value) override {
    const std::string s = std::to_string(value);
    pinNoField.assign(s.begin(), s.end());
  }
  bool ReadPinNo(int32_t& value) override {
    value = 0;
    for (char16_t c : pinNoField) value = value * 10 + (c - u'0');  // the tests type digits only
    return !pinNoField.empty();
  }
  void SetLogFont(LogFont font) override { logFont = font; }
  void FillSelector(const SelectorEntries& entries, int selected) override {
    selector = entries;
    selectorSelection = selected;
  }
  int SelectorSelection() override { return selectorSelection; }
  void StartTimer(uint16_t id, uint32_t ms) override {
    timers[id] = ms;
    ++timerStarts[id];
  }
  void StopTimer(uint16_t id) override { timers.erase(id); }
  void PostTestStop(uint32_t exchange) override { posted.push_back(exchange); }
  void PostFrameQueued() override { posted.push_back(kFrameQueued); }
  void Repaint() override { ++repaints; }
  void ShowPortStatus() override { portStatusShown.push_back(app.PortOnline); }
  void ShowDocumentTitle() override { titlesShown.push_back(app.document.state); }
  void PostMainCommand(uint16_t id) override { postedCommands.push_back(id); }
  void SendMainCommand(uint16_t id) override { sentCommands.push_back(id); }
  bool AskYesNo(const char16_t* text, const char16_t* caption) override {
    question = caption + (u": " + std::u16string(text));
    if (whileAsking) whileAsking();
    return answerYes;
  }

  PanelRig() {
    InitCableSet(app.cableSet);
    app.settings.port = kDefaultPortSettings;
    for (int c : {0, 3})
      for (unsigned k = 0; k < kPinCount; ++k) CopyText(Cable(c).pinNames[k], kPinNameUnits, Name(c, k).c_str());
    // As the shell creates the panel: the dialog's start-up, then the layout.
    panel.OnInit();
    panel.ApplyModeLayout();
  }
  ~PanelRig() {
    // As the window's destruction: no worker may outlive the panel.
    panel.OnDestroy();
  }

  // Delivers the messages the panel posted to itself, in order.
  void DeliverPosted() {
    while (!posted.empty()) {
      const uint32_t message = posted.front();
      posted.pop_front();
      handlingSince = Clock::now();
      if (message == kFrameQueued) panel.OnFrameQueued();
      else panel.OnTestStop(message);
      handling += Clock::now() - handlingSince;
    }
  }
  // The message loop: until done() holds or ms have passed.
  template <typename Done>
  bool RunUntil(Done done, uint32_t ms = 3000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      DeliverPosted();
      if (done()) return true;
      if (Clock::now() >= deadline) return false;
      notifier.ServeNotices(1);
    }
  }
  void RunFor(uint32_t ms) { RunUntil([] { return false; }, ms); }
  // Until no link is open and `start` may be pressed again.
  bool Idle(uint16_t start) { return RunUntil([&] { return app.LinkOpen == 0 && IsEnabled(start); }); }
  // Fires a running timer, then delivers what it posted; false when it is not running.
  bool FireTimer(uint16_t id) {
    if (Timer(id) == 0) return false;
    panel.OnTimer(id);
    DeliverPosted();
    return true;
  }
  // The download's stop delay, once the link has put the last byte on the
  // line: fired earlier, the panel would wait for a poll no one fires.
  bool EndDownload() { return RunUntil([&] { return link.TransmitIdle(); }) && FireTimer(kTimerStopDelay); }
  bool Press(uint16_t id) { return panel.OnCommand(id, 0); }
  // The operator presses Start; runs until the exchange has ended.
  bool RunOneOnOne() {
    Press(kOneOnOneStart);
    return Idle(kOneOnOneStart);
  }
  void TypePinNo(const std::u16string& text) {
    pinNoField = text;
    panel.OnCommand(kPinNoEdit, 0x0300);  // EN_CHANGE
  }
  CableRecord& Cable(int i) { return app.cableSet.cables[i]; }
  void SetWiring(int cable, const Rows& rows) { std::memcpy(Cable(cable).connections, rows.rows, sizeof rows.rows); }
  void Plug(const Rows& rows) {
    unit.With([&](TesterModel& m) { m.Plug(rows.rows); });
  }
  // How often the unit has received the command.
  template <size_t N>
  int HostCount(const uint8_t (&command)[N]) {
    int n = 0;
    for (const FrameBytes& f : unit.HostFrames()) n += f == AsBytes(command) ? 1 : 0;
    return n;
  }
  // Runs the loop until the unit has received the command `count` times in all.
  template <size_t N>
  bool UnitGets(const uint8_t (&command)[N], int count = 1) {
    return RunUntil([&] { return HostCount(command) >= count; });
  }
  // An exchange's outcome at a glance, "closed [NG] 0 1 0 1 e1028": the link
  // and the Result box, each marked "!" where App::LinkOpen or the box's colour
  // says otherwise; the current mode's counters as shown (a fifth number is
  // text written over the CL button); the errors shown; and what of an
  // exchange is still pending: its timers, phase 2, a probe's finish.
  std::string Outcome() {
    const auto narrow = [](const std::u16string& text) { return std::string(text.begin(), text.end()); };
    const std::u16string& box = texts[kResultBox];
    std::string s = link.IsOpen() ? "open" : "closed";
    if (link.IsOpen() != (app.LinkOpen != 0)) s += '!';
    s += " [" + narrow(box);
    if (!box.empty() && (panel.PinCellColour(kResultBox) == PinColour::ResultOk) != (box == u"OK")) s += '!';
    s += ']';
    for (uint16_t c = kOkCounter; c <= kClearCounters; ++c)
      if (texts.count(c) != 0) s += ' ' + narrow(texts[c]);
    for (uint16_t code : errors.codes) s += " e" + std::to_string(code);
    if (Timer(kTimerResponse) != 0) s += " timing";
    if (Timer(kTimerStopDelay) != 0) s += " stop-delay";
    if (state.WorkPhase2Pending != 0) s += " phase2";
    if (state.ProbeFinishing != 0) s += " finishing";
    return s;
  }

  // Time the panel spent handling the loop's messages (its own share), and
  // when the message being handled now began.
  Clock::duration handling{};
  Clock::time_point handlingSince{};

  ModelUnit unit;
  MemorySerialPort port{unit};
  ShownErrors errors;
  TableTextSource textSource;
  App app{};
  PanelState state{};
  ResponseChannel channel{};
  // Declared before the link, which may serve notices while it closes.
  SyncNotifier notifier{[this](LinkNotice notice) {
    if (notice != LinkNotice::kReceived) return;
    handlingSince = Clock::now();
    panel.OnLinkReceived();
    handling += Clock::now() - handlingSince;
  }};
  SerialLink link{port, errors};
  ModePanel panel{PanelEnvironment{app, state, link, channel, errors, textSource}, notifier, *this};
};

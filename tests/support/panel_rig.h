#pragma once
// The mode panel as the program runs it, without a window: the real link and
// its workers on the in-memory port, the simulated unit's model at the far
// end, fake widgets, and a small message loop on the test's thread that
// serves the workers' notices (the panel's "received" message) and delivers
// what the panel posts to itself. Timers fire only when the test says so.
#include <chrono>
#include <cstdint>
#include <vector>

#include "fake_panel_widgets.h"
#include "memory_serial_port.h"
#include "model_unit.h"
#include "modes/mode_panel.h"
#include "sync_notifier.h"
#include "table_text_source.h"

class ShownErrors final : public ErrorReporter {
 public:
  void ShowError(uint16_t code) override { codes.push_back(code); }
  std::vector<uint16_t> codes;
};

struct PanelRig {
  using Clock = std::chrono::steady_clock;

  PanelRig() {
    InitCableSet(app.cableSet);
    app.settings.port = kDefaultPortSettings;
    unit.With([this](TesterModel& m) {
      m.SetFrameLog(&frames);
      return 0;
    });
    // As the shell creates the panel: the dialog's start-up, then the layout.
    panel.OnInit();
    panel.ApplyModeLayout();
  }
  ~PanelRig() {
    // As the window's destruction: no worker may outlive the panel.
    panel.OnDestroy();
    unit.With([](TesterModel& m) {
      m.SetFrameLog(nullptr);
      return 0;
    });
  }

  // Delivers the messages the panel posted to itself, in order.
  void DeliverPosted() {
    while (!widgets.posted.empty()) {
      const FakePanelWidgets::Posted message = widgets.posted.front();
      widgets.posted.pop_front();
      handlingSince = Clock::now();
      if (message.kind == FakePanelWidgets::Kind::kTestStop) panel.OnTestStop(message.exchange);
      else panel.OnFrameQueued();
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
  // Fires a running timer; false when it is not running.
  bool FireTimer(uint16_t id) {
    if (!widgets.TimerRunning(id)) return false;
    panel.OnTimer(id);
    return true;
  }
  // The operator presses Start; runs until the exchange has ended.
  bool RunOneOnOne(uint32_t ms = 3000) {
    panel.OnCommand(kOneOnOneStart, 0);
    return RunUntil([this] { return app.LinkOpen == 0 && widgets.IsEnabled(kOneOnOneStart); }, ms);
  }
  void TypePinNo(const std::u16string& text) {
    widgets.pinNoField = text;
    panel.OnCommand(kPinNoEdit, 0x0300);  // EN_CHANGE
  }
  CableRecord& Cable(int i) { return app.cableSet.cables[i]; }
  template <typename F>
  void Unit(F f) {
    unit.With([&](TesterModel& m) {
      f(m);
      return 0;
    });
  }

  // Time the panel spent handling the loop's messages (its own share), and
  // when the message being handled now began.
  Clock::duration handling{};
  Clock::time_point handlingSince{};

  ModelUnit unit;
  MemorySerialPort port{unit};
  HostFrameLog frames;
  ShownErrors errors;
  TableTextSource texts;
  App app{};
  PanelState state{};
  ResponseChannel channel{};
  FakePanelWidgets widgets{app};
  // Declared before the link, which may serve notices while it closes.
  SyncNotifier notifier{[this](LinkNotice notice) {
    if (notice != LinkNotice::kReceived) return;
    handlingSince = Clock::now();
    panel.OnLinkReceived();
    handling += Clock::now() - handlingSince;
  }};
  SerialLink link{port, errors};
  ModePanel panel{PanelEnvironment{app, state, link, channel, errors, texts}, notifier, widgets};
};

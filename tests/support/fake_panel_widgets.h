#pragma once
// The mode panel's controls as plain data, for native tests: texts, enabled
// states, the Pin No. field, timers and the messages the panel posts, which
// the test's message loop (panel_rig.h) delivers.
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "modes/mode_panel.h"

class FakePanelWidgets final : public PanelWidgets {
 public:
  enum class Kind : uint8_t { kTestStop, kFrameQueued };
  struct Posted {
    Kind kind;
    uint32_t exchange;  // of a stop
  };

  explicit FakePanelWidgets(const App& app) : app_(app) {}

  // --- what a test reads (and, for the operator's input, writes) ---
  std::map<uint16_t, std::u16string> texts;  // the result log is texts[1326]
  std::map<uint16_t, bool> enabled;
  uint16_t focus = 0;
  bool radio[4] = {};            // 2000..2003 as checked
  std::u16string pinNoField;     // what the Pin No. edit shows
  int32_t pinNoLow = 0, pinNoHigh = 0;
  LogFont logFont = LogFont::kNormal;
  SelectorEntries selector{};
  int selectorSelection = -1;
  std::map<uint16_t, uint32_t> timers;  // running timers and their periods
  std::map<uint16_t, int> timerStarts;
  std::deque<Posted> posted;
  int repaints = 0;
  int logSets = 0;  // the whole log replaced
  std::vector<int32_t> portStatusShown;  // App::PortOnline at each status update
  std::vector<uint16_t> postedCommands;
  std::vector<uint16_t> sentCommands;
  bool answerYes = true;
  int questions = 0;
  std::u16string questionText, questionCaption;  // of the latest question
  // Runs while the question is up, as the messages a modal box dispatches.
  void (*whileAsking)(void*) = nullptr;
  void* whileAskingContext = nullptr;
  std::vector<DocumentState> titlesShown;  // App::document.state at each title update
  // Called whenever the Result box text changes (the benchmark's clock).
  void (*onResult)(void*) = nullptr;
  void* onResultContext = nullptr;

  const std::u16string& Log() { return texts[kResultLog]; }
  bool IsEnabled(uint16_t control) const {
    const auto it = enabled.find(control);
    return it != enabled.end() && it->second;
  }
  bool TimerRunning(uint16_t id) const { return timers.count(id) != 0; }
  int CheckedRadio() const {
    int found = -1;
    for (int m = 0; m < 4; ++m)
      if (radio[m]) found = found == -1 ? m : -2;  // -2: more than one
    return found;
  }

  // --- PanelWidgets ---
  void SetText(uint16_t control, const char16_t* text) override {
    texts[control] = text;
    if (control == kResultBox && onResult != nullptr) onResult(onResultContext);
  }
  void AppendLog(const char16_t* text) override { texts[kResultLog] += text; }
  void SetLog(const char16_t* text) override {
    texts[kResultLog] = text;
    ++logSets;
  }
  void Enable(uint16_t control, bool on) override { enabled[control] = on; }
  void Focus(uint16_t control) override { focus = control; }
  void CheckModeRadio(TestMode mode) override {
    for (int m = 0; m < 4; ++m) radio[m] = m == mode;
  }
  bool IsChecked(uint16_t control) override {
    return control >= kModeRadio && control < kModeRadio + 4 && radio[control - kModeRadio];
  }
  void SetPinNoRange(int32_t low, int32_t high) override {
    pinNoLow = low;
    pinNoHigh = high;
  }
  void SetPinNo(int32_t value) override {
    std::u16string s;
    for (char c : std::to_string(value)) s += static_cast<char16_t>(c);
    pinNoField = s;
  }
  bool ReadPinNo(int32_t& value) override {
    if (pinNoField.empty() || pinNoField.size() > 9) return false;
    int32_t v = 0;
    for (char16_t c : pinNoField) {
      if (c < u'0' || c > u'9') return false;
      v = v * 10 + (c - u'0');
    }
    value = v;
    return true;
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
  void PostTestStop(uint32_t exchange) override { posted.push_back({Kind::kTestStop, exchange}); }
  void PostFrameQueued() override { posted.push_back({Kind::kFrameQueued, 0}); }
  void Repaint() override { ++repaints; }
  void ShowPortStatus() override { portStatusShown.push_back(app_.PortOnline); }
  void ShowDocumentTitle() override { titlesShown.push_back(app_.document.state); }
  void PostMainCommand(uint16_t id) override { postedCommands.push_back(id); }
  void SendMainCommand(uint16_t id) override { sentCommands.push_back(id); }
  bool AskYesNo(const char16_t* text, const char16_t* caption) override {
    ++questions;
    questionText = text;
    questionCaption = caption;
    if (whileAsking != nullptr) whileAsking(whileAskingContext);
    return answerYes;
  }

 private:
  const App& app_;
};

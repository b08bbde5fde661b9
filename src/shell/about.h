#pragma once
// The About dialog without its window: the program's texts, and the look at
// the tester link it takes while open (open the port, read DSR, ask the unit
// for its hardware version, close again). The window layer turns its messages
// into the On... calls below and shows what they hand to AboutWidgets. All of
// it runs on the window thread.
#include <cstddef>
#include <cstdint>

#include "common/error_report.h"
#include "link/frame_codec.h"
#include "link/serial_link.h"
#include "app/app.h"
#include "app/language.h"

inline constexpr uint16_t kAboutTimerResponse = 900;
inline constexpr uint32_t kAboutResponseTimeoutMs = 500;

// Four strings of up to 63 units each, and the fixed parts between them.
inline constexpr size_t kProductTextUnits = 288;
// Three strings of up to 31 units, the version and two line breaks.
inline constexpr size_t kAboutStatusUnits = 112;

struct AboutState {
  bool portOpened;              // the port opened when the dialog started
  bool unitReady;               // and the unit's DSR was on
  char16_t HardwareVersion[6];  // "1.320"; empty until a StatusReply came
};

// Name, version, copyright and maker, one per line.
void ComposeProductText(TextSource& texts, char16_t (&out)[kProductTextUnits]);
// Port, unit and hardware version lines of the status box.
void ComposeAboutStatus(TextSource& texts, const AboutState& state, char16_t (&out)[kAboutStatusUnits]);

// What the dialog does to its window and the shell.
class AboutWidgets {
 public:
  virtual void ShowStatusText(const char16_t* text) = 0;
  // Status-bar part 1 shows App::PortOnline.
  virtual void ShowPortStatus() = 0;
  virtual void StartTimer(uint16_t id, uint32_t ms) = 0;
  virtual void StopTimer(uint16_t id) = 0;
  // Queue the dialog's own "test stop" and "frame queued" messages.
  virtual void PostTestStop() = 0;
  virtual void PostFrameQueued() = 0;

 protected:
  ~AboutWidgets() = default;
};

class AboutCheck final : private ResponseSink {
 public:
  // notifier: how the link's workers reach the dialog's window.
  AboutCheck(App& app, SerialLink& link, ResponseChannel& channel, ErrorReporter& errors, TextSource& texts,
             LinkNotifier& notifier, AboutWidgets& widgets);
  AboutCheck(const AboutCheck&) = delete;
  AboutCheck& operator=(const AboutCheck&) = delete;

  // Opens the link and, with the unit ready, asks for the version.
  void OnInit();
  void OnLinkReceived();
  void OnFrameQueued();
  void OnTestStop();
  void OnTimer(uint16_t id);
  // The dialog ends: no link may outlive the window its workers notify.
  void OnEnd();

  const AboutState& State() const { return state_; }

 private:
  void FrameQueued() override;
  void DrainResponses() override;
  void CloseOpenLink();
  void ShowStatus();

  App& app_;
  SerialLink& link_;
  ResponseChannel& channel_;
  ErrorReporter& errors_;
  TextSource& texts_;
  LinkNotifier& notifier_;
  AboutWidgets& widgets_;
  AboutState state_{};
};

#pragma once
// The operator's mode panel without its window: the test exchanges (open the
// link, send, time out, watch DSR, close), the dispatch of the unit's
// responses to the running test, the counters and the pin-cell colours. The
// window layer turns its messages into the On... calls below and paints what
// PinCellColour returns; everything the panel does to its controls goes
// through PanelWidgets. All of it runs on the window thread.
//
// The test procedures are members defined in their own files: one_on_one.cpp,
// probe_test.cpp, master_work.cpp; the dispatch is response_dispatch.cpp.
#include <cstdint>

#include "cabledata/cable_set.h"
#include "common/error_report.h"
#include "link/frame_codec.h"
#include "link/serial_link.h"
#include "modes/panel_layout.h"
#include "app/app.h"
#include "app/language.h"

class Journal;

enum PanelTimer : uint16_t {
  kTimerResponse = 900,   // one shot: the answer's next frame is late
  kTimerStopDelay = 901,  // one shot: the link closes after a finish or a download
  kTimerLinkWatch = 902,  // periodic: DSR while a link is open
};
inline constexpr uint32_t kResponseTimeoutMs = 500;
inline constexpr uint32_t kProbeStopDelayMs = 200;
inline constexpr uint32_t kMasterStopDelayMs = 1000;
inline constexpr uint32_t kLinkWatchMs = 2000;
// After the download's delay, how often the panel looks again whether the
// port has written it all.
inline constexpr uint32_t kDownloadPollMs = 100;

// How long phase 1 of a work test keeps the link open for a download of
// `bytes`: at least the usual second, and at slow speeds the time the bytes
// take on the line plus half a second for the unit to store them. Also sets
// `polls`, how many further kDownloadPollMs looks a download that is still
// being written gets before it counts as failed.
uint32_t DownloadStopDelayMs(uint32_t bytes, const PortSettings& port, uint16_t& polls);

enum class LogFont : uint8_t { kNormal, kMediumBold };

// The colours a control of the panel is painted in; Default leaves the
// control's own.
enum class PinColour : uint8_t { Default, Grey, Yellow, White, Blue, Red, ResultOk, ResultNg };

inline constexpr int kSelectorEntryUnits = 32;  // "10." and a 20-character cable type fit
struct SelectorEntries {
  char16_t text[kCableCount][kSelectorEntryUnits];
};

// What the panel does to its controls, timers and neighbours. Control ids are
// those of panel_layout.h.
class PanelWidgets {
 public:
  virtual void SetText(uint16_t control, const char16_t* text) = 0;
  // Inserts text at the caret of the result log (its end unless the operator
  // clicked into it).
  virtual void AppendLog(const char16_t* text) = 0;
  // Replaces the whole result log and shows its last line, as appending
  // would have.
  virtual void SetLog(const char16_t* text) = 0;
  virtual void Enable(uint16_t control, bool on) = 0;
  virtual void Focus(uint16_t control) = 0;
  // Checks radio button 2000 + mode and clears the other three.
  virtual void CheckModeRadio(TestMode mode) = 0;
  virtual bool IsChecked(uint16_t control) = 0;
  virtual void SetPinNoRange(int32_t low, int32_t high) = 0;
  // Position of the up-down and text of its edit field.
  virtual void SetPinNo(int32_t value) = 0;
  // The number in the Pin No. field as typed, whether or not within the
  // range; false when the field holds no number.
  virtual bool ReadPinNo(int32_t& value) = 0;
  virtual void SetLogFont(LogFont font) = 0;
  virtual void FillSelector(const SelectorEntries& entries, int selected) = 0;
  virtual int SelectorSelection() = 0;  // -1 when nothing is selected
  // Starting a running timer restarts it with the new period.
  virtual void StartTimer(uint16_t id, uint32_t ms) = 0;
  virtual void StopTimer(uint16_t id) = 0;
  // Queue the panel's own "test stop" and "frame queued" messages. A stop
  // carries the number of the exchange it ends and comes back with it.
  virtual void PostTestStop(uint32_t exchange) = 0;
  virtual void PostFrameQueued() = 0;
  // Every cell asks for its colour again (invalidate without erasing).
  virtual void Repaint() = 0;
  // Status-bar part 1 shows App::PortOnline (the shell's port status).
  virtual void ShowPortStatus() = 0;
  // The caption and status-bar part 0 show App::document (the shell's
  // document title), after the panel changed the document's state.
  virtual void ShowDocumentTitle() = 0;
  // Menu commands to the main window: posted, or sent and handled at once.
  virtual void PostMainCommand(uint16_t id) = 0;
  virtual void SendMainCommand(uint16_t id) = 0;
  // A Yes/No question owned by the panel; true for Yes.
  virtual bool AskYesNo(const char16_t* text, const char16_t* caption) = 0;

 protected:
  ~PanelWidgets() = default;
};

enum CounterSlot : uint8_t { kCountOk = 0, kCountNg = 1, kCountSkip = 2, kCountTotal = 3 };
// Per TestMode: OK, NG, Skip, Total; increments wrap at 65536.
struct ModeCounters {
  uint16_t values[4][4];
};

// The test-exchange state. It outlives the panel window, which a language
// switch re-creates, so the shell owns it.
struct PanelState {
  int32_t WorkPhase2Pending;  // the work test proper is still to start
  int32_t ProbeFinishing;     // ProbeFinish sent, the stop follows
  int32_t LastResultOk;       // colour of the Result box
  uint8_t FaultCount;         // fault records of the running test, held at 255
  uint8_t TouchedNow[kPinCount];
  uint8_t TouchedEver[kPinCount];
  ModeCounters counters;
  // Numbers the exchanges: a new one at every start and every end, so a stop
  // posted for one never ends another.
  uint32_t exchange;
};

// The shell's long-lived parts the panel works with.
struct PanelEnvironment {
  App& app;
  PanelState& state;
  SerialLink& link;
  ResponseChannel& channel;
  ErrorReporter& errors;
  TextSource& texts;
};

class ModePanel final : private ResponseSink {
 public:
  // notifier: how the link's workers reach this panel's window.
  ModePanel(const PanelEnvironment& env, LinkNotifier& notifier, PanelWidgets& widgets);
  ModePanel(const ModePanel&) = delete;
  ModePanel& operator=(const ModePanel&) = delete;

  // --- the window's messages ---
  void OnInit();
  // Ends an exchange still running: the link's workers must not outlive the
  // window they notify.
  void OnDestroy();
  // True when the command was the panel's.
  bool OnCommand(uint16_t id, uint16_t code);
  void OnTimer(uint16_t id);
  void OnLinkReceived();
  void OnFrameQueued() {
    frameQueuedPosted_ = false;
    DispatchResponses();
  }
  void OnTestStop(uint32_t exchange) { EndExchange(exchange); }
  PinColour PinCellColour(uint16_t control);

  // --- operations for the shell ---
  void RefreshPanel();
  // The mode's controls, counters and radio button; the result and the log
  // stay (a language switch keeps them, a mode change clears them first).
  void ApplyModeLayout();
  void RepaintPanel();
  // A mode command (menu or radio button). False when it is ignored because a
  // 1 on 1 or Master/Work exchange runs; the radio buttons then show the
  // current mode again. The shell checks the menu item when it is taken.
  bool SelectMode(TestMode mode);
  // Ends a running exchange at once, before the shell lends the link to
  // another window; the start controls are enabled again.
  void EndExchangeNow();

  // The results journal the verdicts go to; null keeps none. The shell owns it.
  void SetJournal(Journal* journal) { journal_ = journal; }

  void DispatchResponses();
  // Records taken from the queue since the panel was made, for diagnostics.
  uint32_t DispatchedRecords() const { return dispatched_; }

 private:
  // ResponseSink: the decoder's notices while OnLinkReceived feeds it.
  void FrameQueued() override;
  void DrainResponses() override;

  // What the open link is for; records are routed by it where the mode
  // alone cannot tell (a master read's answer from a work test's).
  enum class Exchange : uint8_t { kNone, kOneOnOne, kProbe, kProbePlus, kReadingMaster, kDownload, kWorkTesting };

  // Exchange steps shared by the tests.
  bool BeginExchange(Exchange kind);
  // Opens a fresh link, ending first any exchange whose link is still open;
  // true when it opened and the unit is ready (otherwise it is closed again).
  bool OpenReadyLink(Exchange kind);
  // From here on a damaged line voids the exchange: its result may be judged
  // only from an answer that arrived whole.
  void StartJudging();
  // Queues the command and times the answer: its first frame, and with
  // awaitEnd every further one until the end record.
  void SendExpectingReply(const uint8_t* frame, uint32_t size, bool awaitEnd);
  // A record of the awaited answer arrived: the end, or one more row.
  void AnswerEnded();
  void AnswerContinues();
  // Damage the link or the decoder saw during a judged exchange fails it.
  void CheckDamage();
  // Nothing more of this exchange is judged; its stop follows and shows the
  // error. Safe inside a worker's notice, which must not close the link.
  void FailExchange(uint16_t code);
  void EndExchange(uint32_t exchange);
  void EndFailedExchange(uint16_t code);
  // Timers stopped, the panel's link closed, the exchange's flags cleared and
  // its number retired; a following work phase stays pending.
  void CloseExchange();
  // The same, with no phase to follow.
  void DropExchange();
  void ArmTimer(uint16_t id, uint32_t ms);
  void DisarmTimer(uint16_t id);
  // The current mode's start controls enabled, as after any exchange.
  void ShowIdleControls();
  void WatchLink();

  // 1 on 1 (one_on_one.cpp).
  void StartOneOnOne();
  void EvaluateOneOnOne(const CableRecord& cable, const ResponseRecord& record);

  // Probe and Probe+ (probe_test.cpp).
  void StartProbe();
  void FinishProbe();
  void StartProbePlus();
  void FinishProbePlus();
  // The finish without evaluation, also run by a mode change during probing.
  void RunProbeFinishSteps();
  bool ProbeRunning() const;
  // Per record: what the probe reaches now (and in Probe+ ever). What it
  // changes is shown once per batch, by ShowProbeChanges.
  void TakeProbeState(const ResponseRecord& record);
  void LatchProbeState(const ResponseRecord& record);
  void ShowProbeChanges(const CableRecord& cable);
  void EvaluateProbePlus(const CableRecord& cable);

  // Master/Work (master_work.cpp).
  void ReadMaster();
  bool ConfirmMasterOverwrite();
  void StartWork();
  // Phase 1 of a work test: the cable's wiring to the unit. False when the
  // exchange could not start.
  bool DownloadMaster(const CableRecord& cable);
  void RunWorkPhase2();
  void StoreMasterRow(const ResponseRecord& record);
  void FinishMasterRead();
  // Phase 1's delay ran out: on to phase 2 once the port has written it all.
  void CheckDownloadSent();
  void EvaluateWork(const CableRecord& cable, const ResponseRecord& record);

  // Shared by the evaluations.
  CableRecord& CurrentCable();
  // Pin No. as the tests use it: the typed value held within 1..50.
  uint8_t PinNo();
  void AppendLogLine(uint16_t formatId, const char16_t* first, const char16_t* second);
  void SetResultText(uint16_t textId);
  // Adds one to the slot and to Total of the current mode, then shows all four.
  void CountOutcome(CounterSlot slot);
  void ShowCounters();
  void ClearResultAndLog();
  // The journal's line for a verdict just shown ("OK", "NG", "NC") or for a
  // test that ended with an error code.
  void RecordVerdict(const char* verdict);
  void RecordFailure(uint16_t code);
  void RecordInJournal(TestMode mode, const char* verdict, uint16_t error);

  App& app_;
  PanelState& state_;
  SerialLink& link_;
  ResponseChannel& channel_;
  ErrorReporter& errors_;
  TextSource& texts_;
  LinkNotifier& notifier_;
  PanelWidgets& widgets_;
  int32_t pinNo_ = kPinNoMax;  // the last Pin No. read, for a field left empty

  // The running exchange. A language switch ends it before it re-creates
  // the panel, so none of this has to outlive the window.
  Exchange exchange_ = Exchange::kNone;  // kNone: the panel holds no link
  bool judging_ = false;       // damage voids the result
  bool awaitingEnd_ = false;   // the answer's end record is still due
  uint16_t failure_ = 0;       // the error the exchange failed with; its stop is posted
  uint32_t linkDamageSeen_ = 0;  // the link's damage count when judging began
  bool responseArmed_ = false;   // a WM_TIMER already queued for a stopped timer is ignored
  bool stopDelayArmed_ = false;
  uint16_t downloadPolls_ = 0;   // looks left before a download still being written fails
  // A stream of probe records is shown per batch, not per record: at line
  // rate, per-record display work would starve the operator's commands.
  bool frameQueuedPosted_ = false;  // at most one "frame queued" waits at a time
  bool probeChanged_ = false;       // the probe state differs from what is shown
  uint32_t dispatched_ = 0;
  // A master read's rows, kept apart until its end record arrives whole.
  ConnectionRow masterRows_[kPinCount] = {};
  uint8_t masterCable_ = 0;
  Journal* journal_ = nullptr;
};

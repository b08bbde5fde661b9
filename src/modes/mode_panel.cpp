#include "modes/mode_panel.h"

#include "app/journal.h"
#include "cabledata/connection_matrix.h"
#include "common/format_text.h"

namespace {

constexpr uint16_t kCbnSelChange = 1;
constexpr int kCounterTextUnits = 8;

int32_t HoldPinNo(int32_t value) { return value < kPinNoMin ? kPinNoMin : value > kPinNoMax ? kPinNoMax : value; }

bool IsPinCell(uint16_t control) { return control >= kPinCellBase && control < kPinCellBase + kPinCount; }

TestMode ModeOf(const App& app) { return app.CurrentMode <= kProbePlus ? app.CurrentMode : kOneOnOne; }

// Time for the unit to take in a download once its last byte is on the line.
constexpr uint32_t kDownloadSettleMs = 500;

}  // namespace

uint32_t DownloadStopDelayMs(uint32_t bytes, const PortSettings& port, uint16_t& polls) {
  // Start bit, data bits, parity bit, stop bits (one and a half counted as two).
  const uint32_t bitsPerByte = 1u + port.DataL + (port.Parity != 0 ? 1u : 0u) + (port.StopB == 0 ? 1u : 2u);
  const uint32_t speed = port.Speed != 0 ? port.Speed : 1;
  const uint64_t wireMs = (uint64_t{bytes} * bitsPerByte * 1000u + speed - 1) / speed;
  const uint64_t delay = wireMs + kDownloadSettleMs > kMasterStopDelayMs ? wireMs + kDownloadSettleMs
                                                                        : uint64_t{kMasterStopDelayMs};
  // A driver slower than the line: as long again, and two seconds more.
  const uint64_t extra = (wireMs + 2000u) / kDownloadPollMs;
  polls = static_cast<uint16_t>(extra > 0xFFFF ? 0xFFFF : extra);
  return static_cast<uint32_t>(delay > 0xFFFFFFFFu ? 0xFFFFFFFFu : delay);
}

ModePanel::ModePanel(const PanelEnvironment& env, LinkNotifier& notifier, PanelWidgets& widgets)
    : app_(env.app),
      state_(env.state),
      link_(env.link),
      channel_(env.channel),
      errors_(env.errors),
      texts_(env.texts),
      notifier_(notifier),
      widgets_(widgets) {}

// --- messages ---

void ModePanel::OnInit() {
  widgets_.SetPinNoRange(kPinNoMin, kPinNoMax);
  pinNo_ = kPinNoMax;
  widgets_.SetPinNo(kPinNoMax);
  widgets_.StartTimer(kTimerLinkWatch, kLinkWatchMs);
  RefreshPanel();
  widgets_.Focus(kOneOnOneStart);
}

void ModePanel::OnDestroy() {
  widgets_.StopTimer(kTimerLinkWatch);
  DropExchange();
}

void ModePanel::CloseExchange() {
  DisarmTimer(kTimerResponse);
  DisarmTimer(kTimerStopDelay);
  // Only the panel's own link: About borrows the same one.
  if (exchange_ != Exchange::kNone && link_.IsOpen()) link_.CloseLink(true);  // puts what is queued on the line first
  if (exchange_ != Exchange::kNone) app_.LinkOpen = 0;
  exchange_ = Exchange::kNone;
  state_.ProbeFinishing = 0;
  channel_.ResponsePending = 0;
  judging_ = false;
  awaitingEnd_ = false;
  failure_ = 0;
  ++state_.exchange;
}

void ModePanel::DropExchange() {
  CloseExchange();
  state_.WorkPhase2Pending = 0;
}

void ModePanel::EndExchangeNow() {
  if (exchange_ == Exchange::kNone) return;
  // A probing unit is told to stop before the line goes quiet.
  if (ProbeRunning()) RunProbeFinishSteps();
  DropExchange();
  RepaintPanel();
  ShowIdleControls();
}

bool ModePanel::OnCommand(uint16_t id, uint16_t code) {
  switch (id) {
    case kOneOnOneStart:
      StartOneOnOne();
      return true;
    case kPinNoEdit: {
      // A typed value outside 1..50 is put back within it, so the field
      // always shows the count a start would send.
      int32_t typed = 0;
      if (widgets_.ReadPinNo(typed)) {
        pinNo_ = HoldPinNo(typed);
        if (pinNo_ != typed) widgets_.SetPinNo(pinNo_);
      }
      RepaintPanel();
      return true;
    }
    case kProbeStartButton:
      StartProbe();
      return true;
    case kProbeFinishButton:
      FinishProbe();
      return true;
    case kReadMasterButton:
      ReadMaster();
      return true;
    case kWorkStartButton:
      StartWork();
      return true;
    case kWorkPhase2Button:
      RunWorkPhase2();
      return true;
    case kProbePlusStartButton:
      StartProbePlus();
      return true;
    case kProbePlusFinishButton:
      FinishProbePlus();
      return true;
    case kClearCounters:
      for (uint16_t& value : state_.counters.values[ModeOf(app_)]) value = 0;
      ShowCounters();
      RepaintPanel();
      return true;
    case kResultClear:
      ClearResultAndLog();
      return true;
    case kCableSelector:
      if (code != kCbnSelChange) return true;
      // No exchange runs on a cable that changes under it.
      EndExchangeNow();
      {
        const int selected = widgets_.SelectorSelection();
        // Choosing which cable to look at is not an edit of the document.
        app_.cableSet.currentCable = static_cast<uint8_t>(selected >= 0 && selected < kCableCount ? selected : 0);
      }
      RefreshPanel();
      return true;
    case kEditButton:
      widgets_.SendMainCommand(kEditCableCommand);
      return true;
    default:
      break;
  }
  if (id >= kModeRadio && id < kModeRadio + 4) {
    if (widgets_.IsChecked(id)) widgets_.PostMainCommand(static_cast<uint16_t>(kFirstModeCommand + (id - kModeRadio)));
    return true;
  }
  return false;
}

void ModePanel::OnTimer(uint16_t id) {
  switch (id) {
    case kTimerResponse:
      if (!responseArmed_) break;  // queued before its exchange ended
      DisarmTimer(kTimerResponse);
      // No frame since the command, or the answer stopped short of its end.
      if (channel_.ResponsePending == 0 && !awaitingEnd_) break;
      // An answer cut off because the unit went away is that, not a time-out.
      if (exchange_ != Exchange::kNone && !link_.IsUnitReady()) WatchLink();
      else FailExchange(kErrorCommTimeout);
      break;
    case kTimerStopDelay:
      if (!stopDelayArmed_) break;
      DisarmTimer(kTimerStopDelay);
      if (exchange_ == Exchange::kDownload) CheckDownloadSent();
      else widgets_.PostTestStop(state_.exchange);
      break;
    case kTimerLinkWatch:
      WatchLink();
      break;
    default:
      break;
  }
}

void ModePanel::OnLinkReceived() {
  DecodeReceivedBytes(link_, channel_, *this);
  CheckDamage();
}

void ModePanel::FrameQueued() {
  // One pass takes every record queued by then.
  if (frameQueuedPosted_) return;
  frameQueuedPosted_ = true;
  widgets_.PostFrameQueued();
}

// The queue is full: its records go to their handlers before another byte is
// decoded, so none is overwritten.
void ModePanel::DrainResponses() { DispatchResponses(); }

PinColour ModePanel::PinCellColour(uint16_t control) {
  const TestMode mode = ModeOf(app_);
  const bool cell = IsPinCell(control);
  const int k = control - kPinCellBase;
  if (mode == kProbe) {
    if (!cell || app_.LinkOpen == 0) return PinColour::Default;
    if (state_.TouchedNow[k] != 0) return PinColour::Yellow;
    return state_.ProbeFinishing != 0 ? PinColour::Default : PinColour::Grey;
  }
  if (control == kResultBox) return state_.LastResultOk != 0 ? PinColour::ResultOk : PinColour::ResultNg;
  if (!cell) return PinColour::Default;
  switch (mode) {
    case kOneOnOne: {
      const int n = PinNo();
      return k < n || (k >= 50 && k < 50 + n) ? PinColour::Yellow : PinColour::Grey;
    }
    case kMasterWork: {
      uint8_t list[kPinCount];
      return ListConnectedPins(CurrentCable().connections[k], list) != 0 ? PinColour::Yellow : PinColour::Grey;
    }
    default: {  // Probe+
      if (state_.TouchedNow[k] != 0) return PinColour::White;
      const bool expected = PinSetHas(CurrentCable().probeData.pins, static_cast<unsigned>(k));
      const bool reached = state_.TouchedEver[k] != 0;
      if (expected) return reached ? PinColour::Blue : PinColour::Yellow;
      return reached ? PinColour::Red : PinColour::Grey;
    }
  }
}

// --- operations for the shell ---

void ModePanel::RefreshPanel() {
  CableSet& set = app_.cableSet;
  SelectorEntries entries;
  for (int i = 0; i < kCableCount; ++i)
    FormatText(entries.text[i], kSelectorEntryUnits, u"%d.%s", i + 1, set.cables[i].info.cableType);
  const CableRecord& cable = CurrentCable();
  widgets_.FillSelector(entries, set.currentCable < kCableCount ? set.currentCable : 0);
  for (int f = 0; f < 5; ++f)
    widgets_.SetText(static_cast<uint16_t>(kProductNoField + f), InfoField(cable, kInfoFields[f]));
  for (int k = 0; k < kPinCount; ++k) widgets_.SetText(static_cast<uint16_t>(kPinCellBase + k), cable.pinNames[k]);
  // The Master/Work and Probe+ colours follow the cable, not only its names.
  RepaintPanel();
}

void ModePanel::ApplyModeLayout() {
  const TestMode mode = ModeOf(app_);
  for (int i = 0; i < 14; ++i) widgets_.Enable(kLayoutControls[i], ((kModeLayoutMasks[mode] >> i) & 1) != 0);
  ShowCounters();
  widgets_.CheckModeRadio(mode);
  widgets_.Focus(kModeFocusControl[mode]);
}

void ModePanel::RepaintPanel() { widgets_.Repaint(); }

bool ModePanel::SelectMode(TestMode mode) {
  // A probe exchange already finishing ends by itself within its stop delay,
  // whatever the mode by then; it holds up no mode change.
  if (app_.LinkOpen != 0 && state_.ProbeFinishing == 0) {
    const TestMode running = ModeOf(app_);
    if (running == kProbe || running == kProbePlus) {
      RunProbeFinishSteps();
    } else {
      widgets_.CheckModeRadio(running);
      return false;
    }
  }
  app_.CurrentMode = mode <= kProbePlus ? mode : kOneOnOne;
  ClearResultAndLog();
  ApplyModeLayout();  // checks the mode's radio button too
  RepaintPanel();
  return true;
}

// --- exchange steps ---

bool ModePanel::BeginExchange(Exchange kind) {
  if (journal_ != nullptr) journal_->ClearFaults();
  if (OpenReadyLink(kind)) {
    app_.PortOnline = 1;
    widgets_.ShowPortStatus();
    return true;
  }
  app_.PortOnline = 0;
  widgets_.ShowPortStatus();
  return false;
}

bool ModePanel::OpenReadyLink(Exchange kind) {
  // A start while the old link is still open (the stop delay after a probe
  // finish) ends the old exchange first: its timers and its stop, which may
  // still be queued, end nothing of the new one. Nothing of it is awaited any
  // more either.
  CloseExchange();
  // A frame cut off on an earlier link can never be completed; left in the
  // decoder it would swallow the first frame of this answer.
  channel_.decoder = FrameDecoder{};
  app_.LinkOpen = link_.OpenLink(notifier_, app_.settings.port) ? 1 : 0;
  if (app_.LinkOpen == 0) return false;
  if (link_.IsUnitReady()) {
    exchange_ = kind;
    return true;
  }
  link_.CloseLink(true);
  app_.LinkOpen = 0;
  return false;
}

void ModePanel::StartJudging() {
  // Whatever came before the first command (noise while a question was up)
  // is no part of the answer.
  channel_.decoder = FrameDecoder{};
  channel_.dropped = 0;
  linkDamageSeen_ = link_.Damage();
  judging_ = true;
}

void ModePanel::SendExpectingReply(const uint8_t* frame, uint32_t size, bool awaitEnd) {
  if (!link_.QueueTransmit(frame, size)) {
    FailExchange(kErrorCommDamaged);
    return;
  }
  channel_.ResponsePending = 1;
  awaitingEnd_ = awaitEnd;
  ArmTimer(kTimerResponse, kResponseTimeoutMs);
}

void ModePanel::AnswerEnded() {
  awaitingEnd_ = false;
  DisarmTimer(kTimerResponse);
}

void ModePanel::AnswerContinues() { ArmTimer(kTimerResponse, kResponseTimeoutMs); }

void ModePanel::CheckDamage() {
  if (!judging_ || failure_ != 0) return;
  if (channel_.dropped != 0 || link_.Damage() != linkDamageSeen_) FailExchange(kErrorCommDamaged);
}

void ModePanel::FailExchange(uint16_t code) {
  if (failure_ != 0 || exchange_ == Exchange::kNone) return;
  failure_ = code;
  judging_ = false;
  awaitingEnd_ = false;
  DisarmTimer(kTimerResponse);
  DisarmTimer(kTimerStopDelay);
  // Closing the link here could wait on the very worker whose notice is
  // being handled; the stop does it.
  widgets_.PostTestStop(state_.exchange);
}

void ModePanel::EndExchange(uint32_t exchange) {
  if (exchange != state_.exchange || exchange_ == Exchange::kNone) return;  // one that is over
  if (failure_ != 0) {
    EndFailedExchange(failure_);
    return;
  }
  CloseExchange();
  RepaintPanel();  // the Probe colours follow the link
  if (ModeOf(app_) == kMasterWork && state_.WorkPhase2Pending != 0) {
    RunWorkPhase2();
    state_.WorkPhase2Pending = 0;
    return;
  }
  ShowIdleControls();
  // After the verdict, never in its way.
  if (journal_ != nullptr && journal_->TakeFailureReport()) errors_.ShowError(kErrorJournalWrite);
}

void ModePanel::EndFailedExchange(uint16_t code) {
  RecordFailure(code);
  const bool journalFailed = journal_ != nullptr && journal_->TakeFailureReport();
  ErrorReporter& errors = errors_;
  if (ProbeRunning()) RunProbeFinishSteps();
  DropExchange();
  ClearResponses(channel_);
  RepaintPanel();
  ShowIdleControls();
  // Last: the box keeps messages flowing, and the operator may start the next
  // test, or even switch languages and so replace this panel, before it goes.
  errors.ShowError(code);
  if (journalFailed) errors.ShowError(kErrorJournalWrite);
}

void ModePanel::ArmTimer(uint16_t id, uint32_t ms) {
  (id == kTimerResponse ? responseArmed_ : stopDelayArmed_) = true;
  widgets_.StartTimer(id, ms);
}

void ModePanel::DisarmTimer(uint16_t id) {
  (id == kTimerResponse ? responseArmed_ : stopDelayArmed_) = false;
  widgets_.StopTimer(id);
}

void ModePanel::ShowIdleControls() {
  switch (ModeOf(app_)) {
    case kOneOnOne:
      widgets_.Enable(kOneOnOneStart, true);
      break;
    case kProbe:
      // Finish too: after a time-out or a DSR drop there is no probe to finish.
      widgets_.Enable(kProbeFinishButton, false);
      widgets_.Enable(kProbeStartButton, true);
      widgets_.Focus(kProbeStartButton);
      break;
    case kMasterWork:
      widgets_.Enable(kWorkStartButton, true);
      widgets_.Enable(kReadMasterButton, true);
      break;
    case kProbePlus:
      widgets_.Enable(kProbePlusFinishButton, false);
      widgets_.Enable(kProbePlusStartButton, true);
      widgets_.Focus(kProbePlusStartButton);
      break;
  }
}

void ModePanel::WatchLink() {
  // Only the panel's own exchanges: About's link is not watched here.
  if (exchange_ == Exchange::kNone || link_.IsUnitReady()) return;
  // The unit went away mid-test. The exchange ends here, cleanly, before the
  // shell is asked to exit: should the operator cancel the exit, the panel
  // is idle rather than stuck in a test no frame will ever finish.
  link_.CloseLink(false);
  DropExchange();
  app_.LinkOpen = 0;
  app_.PortOnline = 0;
  widgets_.ShowPortStatus();
  RepaintPanel();
  ShowIdleControls();
  widgets_.PostMainCommand(kExitCommand);
}

// --- shared by the evaluations ---

CableRecord& ModePanel::CurrentCable() {
  CableSet& set = app_.cableSet;
  return set.cables[set.currentCable < kCableCount ? set.currentCable : 0];
}

uint8_t ModePanel::PinNo() {
  int32_t typed = 0;
  if (widgets_.ReadPinNo(typed)) pinNo_ = HoldPinNo(typed);
  return static_cast<uint8_t>(pinNo_);
}

void ModePanel::AppendLogLine(uint16_t formatId, const char16_t* first, const char16_t* second) {
  char16_t format[64];
  char16_t line[128];
  LoadTextOrEmpty(texts_, formatId, format, 64);
  FormatText(line, 128, format, first, second);
  widgets_.AppendLog(line);
  if (journal_ != nullptr) journal_->AddFaults(line);
}

void ModePanel::SetResultText(uint16_t textId) {
  char16_t text[16];
  LoadTextOrEmpty(texts_, textId, text, 16);
  widgets_.SetText(kResultBox, text);
}

void ModePanel::CountOutcome(CounterSlot slot) {
  uint16_t(&values)[4] = state_.counters.values[ModeOf(app_)];
  ++values[slot];
  ++values[kCountTotal];
  ShowCounters();
}

void ModePanel::ShowCounters() {
  const uint16_t(&values)[4] = state_.counters.values[ModeOf(app_)];
  for (int i = 0; i < 4; ++i) {
    char16_t text[kCounterTextUnits];
    FormatText(text, kCounterTextUnits, u"%u", values[i]);
    widgets_.SetText(static_cast<uint16_t>(kOkCounter + i), text);
  }
}

void ModePanel::ClearResultAndLog() {
  widgets_.SetText(kResultBox, u"");
  widgets_.SetText(kResultLog, u"");
}

void ModePanel::RecordVerdict(const char* verdict) { RecordInJournal(ModeOf(app_), verdict, 0); }

// Only the tests that give verdicts: a probe's live display and a master read
// judge no cable.
void ModePanel::RecordFailure(uint16_t code) {
  // Rows judged before the failure are no verdict: the line carries none.
  if (journal_ != nullptr) journal_->ClearFaults();
  switch (exchange_) {
    case Exchange::kOneOnOne:
      RecordInJournal(kOneOnOne, "", code);
      break;
    case Exchange::kDownload:
    case Exchange::kWorkTesting:
      RecordInJournal(kMasterWork, "", code);
      break;
    case Exchange::kProbePlus:
      RecordInJournal(kProbePlus, "", code);
      break;
    default:
      break;
  }
}

void ModePanel::RecordInJournal(TestMode mode, const char* verdict, uint16_t error) {
  if (journal_ == nullptr || !journal_->On()) return;
  const uint8_t index = app_.cableSet.currentCable < kCableCount ? app_.cableSet.currentCable : 0;
  JournalEntry entry{NowUtc(), mode, static_cast<uint8_t>(index + 1), &CurrentCable(), error, verdict, {}};
  for (int i = 0; i < 4; ++i) entry.counters[i] = state_.counters.values[mode][i];
  journal_->Append(entry);
}

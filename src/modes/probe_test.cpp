// Probe and Probe+: the unit streams the pins its hand probe reaches until it
// is told to finish. Probe shows them live; Probe+ remembers every pin reached
// since Start and, at Finish, holds them against the cable's probe data.
#include <cstddef>

#include "app/journal.h"
#include "cabledata/cable_set.h"
#include "common/format_text.h"
#include "link/commands.h"
#include "modes/mode_panel.h"

namespace {

constexpr uint16_t kStrayPinText = 40064;      // "%s - Connection error\r\n"
constexpr uint16_t kUncheckedPinText = 40065;  // "%s - Unchecked\r\n"
constexpr uint16_t kOkText = 40044;
constexpr uint16_t kNgText = 40045;
constexpr uint16_t kNcText = 40066;

// Every pin reached, one name and line break each.
constexpr size_t kProbeLogUnits = kPinCount * (kPinNameUnits - 1 + 2) + 1;

bool ProbeBit(const ResponseRecord& record, unsigned k) {
  return ((record.frame[kRecordProbeSet - 1 + k / 8] >> (k % 8)) & 1u) != 0;
}

}  // namespace

// A finish only ends a probe exchange that is still running: after a time-out,
// a DSR drop or a finish already under way there is nothing to stop, and a
// Probe+ result must not come from a test that never ran.
bool ModePanel::ProbeRunning() const {
  return app_.LinkOpen != 0 && state_.ProbeFinishing == 0 &&
         (app_.CurrentMode == kProbe || app_.CurrentMode == kProbePlus);
}

void ModePanel::StartProbe() {
  if (!BeginExchange(Exchange::kProbe)) return;
  // The first state rewrites the log and the cells, whatever it holds.
  probeChanged_ = true;
  ClearResponses(channel_);
  // A live display: a damaged frame is dropped and the next one shows.
  SendExpectingReply(kProbeStart, sizeof kProbeStart, false);
  widgets_.SetLogFont(LogFont::kMediumBold);
  widgets_.Enable(kProbeStartButton, false);
  widgets_.Enable(kProbeFinishButton, true);
  widgets_.Focus(kProbeFinishButton);
}

void ModePanel::FinishProbe() {
  widgets_.Enable(kProbeFinishButton, false);
  if (!ProbeRunning()) return;
  RunProbeFinishSteps();
}

void ModePanel::StartProbePlus() {
  if (!BeginExchange(Exchange::kProbePlus)) return;
  for (int k = 0; k < kPinCount; ++k) {
    state_.TouchedNow[k] = 0;
    state_.TouchedEver[k] = 0;
  }
  ClearResultAndLog();
  widgets_.SetLogFont(LogFont::kNormal);
  ClearResponses(channel_);
  // A touch lost to a damaged frame could turn NC or NG into OK.
  StartJudging();
  SendExpectingReply(kProbeStart, sizeof kProbeStart, false);
  widgets_.Enable(kProbePlusStartButton, false);
  widgets_.Enable(kProbePlusFinishButton, true);
  widgets_.Focus(kProbePlusFinishButton);
  // The last test's colours stay up until the next start clears them.
  RepaintPanel();
}

void ModePanel::FinishProbePlus() {
  widgets_.Enable(kProbePlusFinishButton, false);
  if (!ProbeRunning()) return;
  // The unit never answered: nothing was probed, so there is nothing to judge.
  if (channel_.ResponsePending != 0) {
    FailExchange(kErrorCommTimeout);
    return;
  }
  // Judged on what was reached up to now: frames of the stop delay no longer
  // count, nor does damage to them. The unit is told first, so the stream
  // stops while the result is shown.
  judging_ = false;
  RunProbeFinishSteps();
  EvaluateProbePlus(CurrentCable());
}

void ModePanel::RunProbeFinishSteps() {
  ClearResponses(channel_);
  link_.QueueTransmit(kProbeFinish, sizeof kProbeFinish);  // the unit says nothing back
  // The link stays open long enough for the transmit worker to put the
  // finish on the line.
  ArmTimer(kTimerStopDelay, kProbeStopDelayMs);
  state_.ProbeFinishing = 1;
  RepaintPanel();
}

void ModePanel::TakeProbeState(const ResponseRecord& record) {
  for (unsigned k = 0; k < kPinCount; ++k) {
    const uint8_t reached = ProbeBit(record, k) ? 1 : 0;
    if (state_.TouchedNow[k] != reached) probeChanged_ = true;
    state_.TouchedNow[k] = reached;
  }
}

void ModePanel::LatchProbeState(const ResponseRecord& record) {
  // Every record counts, however briefly a pin was touched.
  for (unsigned k = 0; k < kPinCount; ++k) {
    const uint8_t reached = ProbeBit(record, k) ? 1 : 0;
    if (state_.TouchedNow[k] != reached || (reached != 0 && state_.TouchedEver[k] == 0)) probeChanged_ = true;
    state_.TouchedNow[k] = reached;
    if (reached != 0) state_.TouchedEver[k] = 1;
  }
}

void ModePanel::ShowProbeChanges(const CableRecord& cable) {
  if (!probeChanged_) return;
  probeChanged_ = false;
  if (app_.CurrentMode == kProbe) {
    // The log is rebuilt whole and set at once: line-by-line insertion
    // would flicker.
    char16_t log[kProbeLogUnits];
    size_t used = 0;
    log[0] = 0;
    for (unsigned k = 0; k < kPinCount; ++k)
      if (state_.TouchedNow[k] != 0) used += FormatText(log + used, kProbeLogUnits - used, u"%s\r\n", cable.pinNames[k]);
    widgets_.SetLog(log);
  }
  RepaintPanel();
}

void ModePanel::EvaluateProbePlus(const CableRecord& cable) {
  bool stray = false;
  bool unchecked = false;
  // One line per pin at most, appended at once: a hundred separate appends
  // cost the window (under Wine) a second.
  char16_t format[2][64];
  LoadTextOrEmpty(texts_, kUncheckedPinText, format[0], 64);
  LoadTextOrEmpty(texts_, kStrayPinText, format[1], 64);
  char16_t log[kPinCount * (64 + kPinNameUnits) + 1];  // every pin's line, whatever the language
  size_t used = 0;
  log[0] = 0;
  for (unsigned k = 0; k < kPinCount; ++k) {
    const bool expected = PinSetHas(cable.probeData.pins, k);
    const bool reached = state_.TouchedEver[k] != 0;
    if (expected == reached) continue;
    used += FormatText(log + used, sizeof log / sizeof log[0] - used, format[reached ? 1 : 0], cable.pinNames[k]);
    (reached ? stray : unchecked) = true;
  }
  if (used != 0) widgets_.AppendLog(log);
  if (journal_ != nullptr) journal_->AddFaults(log);
  // A pin touched that should not have been is a wiring fault; a pin left
  // untouched only means the check is incomplete.
  if (stray) {
    state_.LastResultOk = 0;
    CountOutcome(kCountNg);
    SetResultText(kNgText);
    RecordVerdict("NG");
  } else if (unchecked) {
    state_.LastResultOk = 0;
    CountOutcome(kCountSkip);
    SetResultText(kNcText);
    RecordVerdict("NC");
  } else {
    state_.LastResultOk = 1;
    CountOutcome(kCountOk);
    SetResultText(kOkText);
    RecordVerdict("OK");
  }
}

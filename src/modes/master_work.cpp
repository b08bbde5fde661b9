// Master/Work: read a known-good cable's wiring into the current cable, then
// test work cables against it. A work test is two exchanges: the wiring is
// downloaded on one link, and the test runs on a fresh one, where the unit
// reports every pin whose measured wiring differs from what it was given.
#include <cstring>

#include "cabledata/cable_set.h"
#include "cabledata/connection_matrix.h"
#include "common/format_text.h"
#include "link/commands.h"
#include "modes/mode_panel.h"
#include "app/document.h"

namespace {

constexpr uint16_t kConnectionErrorText = 40041;    // "%s - %s Connection error\r\n"
constexpr uint16_t kNoConnectionErrorText = 40046;  // "%s - %s No connection error\r\n"
constexpr uint16_t kOverwriteText = 40047;          // "Overwrite information of cable%d.%s. OK?"
constexpr uint16_t kReadMasterCaption = 40048;      // "Read master"
constexpr uint16_t kNoConnectionText = 40049;       // "No connection\r\n"
constexpr uint16_t kOkText = 40044;
constexpr uint16_t kNgText = 40045;

// The row a row response names; false for a pin number the cable has no row for.
bool RowOf(const ResponseRecord& record, unsigned& row) {
  const unsigned p = record.frame[kRecordPinNumber - 1];
  if (p < 1 || p > kPinCount) return false;
  row = p - 1;
  return true;
}

bool HasAnyConnection(const CableRecord& cable) {
  uint8_t list[kPinCount];
  for (const ConnectionRow& row : cable.connections)
    if (ListConnectedPins(row, list) != 0) return true;
  return false;
}

}  // namespace

// --- Read Master ---

void ModePanel::ReadMaster() {
  widgets_.Enable(kWorkStartButton, false);
  widgets_.Enable(kReadMasterButton, false);
  ClearResultAndLog();
  // The prompt keeps messages flowing, so the link watch may have ended the
  // exchange before the answer: a Yes then must not start a read that
  // cannot run.
  if (OpenReadyLink(Exchange::kReadingMaster) && ConfirmMasterOverwrite() && exchange_ == Exchange::kReadingMaster &&
      link_.IsOpen()) {
    app_.PortOnline = 1;
    widgets_.ShowPortStatus();
    ClearResponses(channel_);
    // The rows are gathered apart: the cable keeps its wiring unless the
    // whole answer arrives. Rows the unit does not send are pins wired to
    // nothing.
    masterCable_ = app_.cableSet.currentCable < kCableCount ? app_.cableSet.currentCable : 0;
    InitConnectionRows(masterRows_);
    StartJudging();
    SendExpectingReply(kMasterRead, sizeof kMasterRead, true);
    return;
  }
  // Declining counts as a failed start.
  if (exchange_ == Exchange::kReadingMaster) DropExchange();
  app_.LinkOpen = 0;
  app_.PortOnline = 0;
  widgets_.ShowPortStatus();
  widgets_.Enable(kWorkStartButton, true);
  widgets_.Enable(kReadMasterButton, true);
}

bool ModePanel::ConfirmMasterOverwrite() {
  const uint8_t index = app_.cableSet.currentCable < kCableCount ? app_.cableSet.currentCable : 0;
  char16_t format[96];
  char16_t text[160];
  char16_t caption[32];
  LoadTextOrEmpty(texts_, kOverwriteText, format, 96);
  FormatText(text, 160, format, index + 1, CurrentCable().info.cableType);
  LoadTextOrEmpty(texts_, kReadMasterCaption, caption, 32);
  return widgets_.AskYesNo(text, caption);
}

void ModePanel::StoreMasterRow(const ResponseRecord& record) {
  unsigned row = 0;
  if (!RowOf(record, row)) return;  // no such pin: dropped
  // The row's own pin byte stays: InitConnectionRows set it, and the listing
  // of a row's connections relies on it.
  std::memcpy(masterRows_[row].bits.bytes, &record.frame[kRecordPinSet - 1], kPinSetBytes);
}

void ModePanel::FinishMasterRead() {
  std::memcpy(app_.cableSet.cables[masterCable_].connections, masterRows_, sizeof masterRows_);
  ::MarkDocumentChanged(app_.document);
  widgets_.ShowDocumentTitle();
  RepaintPanel();  // the cells of the new wiring
  widgets_.PostTestStop(state_.exchange);
}

// --- Work Start ---

void ModePanel::StartWork() {
  widgets_.Enable(kWorkStartButton, false);
  widgets_.Enable(kReadMasterButton, false);
  if (DownloadMaster(CurrentCable())) return;
  widgets_.Enable(kWorkStartButton, true);
  widgets_.Enable(kReadMasterButton, true);
}

bool ModePanel::DownloadMaster(const CableRecord& cable) {
  ClearResultAndLog();
  // Opening the link must not end the pending phase 2 it is about to set up.
  if (!BeginExchange(Exchange::kDownload)) return false;
  state_.WorkPhase2Pending = 1;
  ClearResponses(channel_);
  StartJudging();
  uint8_t transfer[kMasterTransferMaxBytes];
  const int size = BuildMasterTransfer(cable.connections, transfer);
  // A fresh link's ring always takes the whole transfer. Were it refused, the
  // unit would test against the wiring it held before: no test at all then.
  if (!link_.QueueTransmit(transfer, static_cast<uint32_t>(size))) {
    FailExchange(kErrorCommDamaged);
    return true;
  }
  // Time for the transfer to reach the unit, sized for the line's speed; the
  // stop then runs phase 2.
  ArmTimer(kTimerStopDelay, DownloadStopDelayMs(static_cast<uint32_t>(size), app_.settings.port, downloadPolls_));
  return true;
}

void ModePanel::CheckDownloadSent() {
  CheckDamage();
  if (failure_ != 0) return;
  if (link_.TransmitIdle()) {
    widgets_.PostTestStop(state_.exchange);
    return;
  }
  // A work test against half a download would judge the cable by the wiring
  // the unit held before.
  if (downloadPolls_ == 0) {
    FailExchange(kErrorCommDamaged);
    return;
  }
  --downloadPolls_;
  ArmTimer(kTimerStopDelay, kDownloadPollMs);
}

void ModePanel::RunWorkPhase2() {
  if (app_.CurrentMode != kMasterWork) return;
  if (!BeginExchange(Exchange::kWorkTesting)) {
    state_.WorkPhase2Pending = 0;
    // As after every other failed start of this mode, the operator may try
    // again without changing modes first.
    widgets_.Enable(kWorkStartButton, true);
    widgets_.Enable(kReadMasterButton, true);
    return;
  }
  state_.FaultCount = 0;
  ClearResponses(channel_);
  StartJudging();
  SendExpectingReply(kStatusQuery, sizeof kStatusQuery, true);
  widgets_.SetLogFont(LogFont::kNormal);
}

void ModePanel::EvaluateWork(const CableRecord& cable, const ResponseRecord& record) {
  switch (record.kind) {
    case StatusReply:
      // The unit is there: the test proper. The queue is left alone, since
      // records behind this one belong to the same exchange. A reply found
      // after its link has closed starts nothing.
      if (link_.IsOpen()) SendExpectingReply(kWorkTest, sizeof kWorkTest, true);
      break;
    case WorkRow: {
      // Held at 255: a flood of rows must never wrap the count to zero and
      // read as a good cable.
      if (state_.FaultCount < 255) ++state_.FaultCount;
      unsigned a = 0;
      if (!RowOf(record, a)) return;  // names no pin: a fault without a line
      const PinSet& expected = cable.connections[a].bits;
      for (unsigned i = 0; i < kPinSetBytes; ++i) {
        const unsigned want = expected.bytes[i];
        const unsigned got = record.frame[kRecordPinSet - 1 + i];
        if (want == got) continue;
        for (unsigned j = 0; j < 8; ++j) {
          const unsigned k = 8 * i + j;
          const bool wanted = ((want >> j) & 1u) != 0;
          const bool found = ((got >> j) & 1u) != 0;
          if (wanted && !found) AppendLogLine(kNoConnectionErrorText, cable.pinNames[a], cable.pinNames[k]);
          else if (!wanted && found) AppendLogLine(kConnectionErrorText, cable.pinNames[a], cable.pinNames[k]);
        }
      }
      break;
    }
    case WorkEnd:
      if (state_.FaultCount == 0) {
        state_.LastResultOk = 1;
        SetResultText(kOkText);
        if (HasAnyConnection(cable)) {
          CountOutcome(kCountOk);
          RecordVerdict("OK");
        } else {
          // The unit matched a cable with no wiring at all: nothing was
          // really tested, which counts (and is recorded) against the cable.
          widgets_.SetLogFont(LogFont::kMediumBold);
          AppendLogLine(kNoConnectionText, u"", u"");
          CountOutcome(kCountNg);
          RecordVerdict("NG");
        }
      } else {
        state_.LastResultOk = 0;
        SetResultText(kNgText);
        CountOutcome(kCountNg);
        RecordVerdict("NG");
      }
      widgets_.PostTestStop(state_.exchange);
      break;
    default:
      break;
  }
}

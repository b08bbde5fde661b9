// The 1 on 1 test: every CN-A pin p up to Pin No. must reach CN-B pin p and
// nothing else. The unit reports each pin that does not; the log names the
// current cable's pins.
#include "cabledata/cable_set.h"
#include "common/format_text.h"
#include "link/commands.h"
#include "modes/mode_panel.h"

namespace {

constexpr uint16_t kConnectionErrorText = 40041;  // "%s - %s Connection error\r\n"
constexpr uint16_t kNoConnectionText = 40042;     // "%s - %s No connection\r\n"
constexpr uint16_t kAllCorrectText = 40043;       // "All%2upins found correct\r\n"
constexpr uint16_t kOkText = 40044;
constexpr uint16_t kNgText = 40045;
constexpr int kSidePins = 50;

}  // namespace

void ModePanel::StartOneOnOne() {
  const uint8_t n = PinNo();
  widgets_.Enable(kOneOnOneStart, false);
  if (!BeginExchange(Exchange::kOneOnOne)) {
    widgets_.Enable(kOneOnOneStart, true);
    return;
  }
  uint8_t frame[kOneOnOneStartBytes];
  BuildOneOnOneStart(n, frame);
  ClearResponses(channel_);
  state_.FaultCount = 0;
  ClearResultAndLog();
  StartJudging();
  SendExpectingReply(frame, sizeof frame, true);
  widgets_.SetLogFont(LogFont::kNormal);
}

void ModePanel::EvaluateOneOnOne(const CableRecord& cable, const ResponseRecord& record) {
  switch (record.kind) {
    case OneOnOneRow: {
      // Held at 255: a flood of rows must never wrap the count to zero and
      // read as a good cable.
      if (state_.FaultCount < 255) ++state_.FaultCount;
      const unsigned p = record.frame[kRecordPinNumber - 1];
      // A pin the unit cannot have tested names no pin: the fault counts, no line.
      if (p < 1 || p > kSidePins) return;
      const unsigned a = p - 1;
      const unsigned b = a + kSidePins;
      PinSet measured;
      for (int i = 0; i < kPinSetBytes; ++i) measured.bytes[i] = record.frame[kRecordPinSet - 1 + i];
      for (unsigned k = 0; k < kPinCount; ++k) {
        const bool set = PinSetHas(measured, k);
        if (set && k != a && k != b) AppendLogLine(kConnectionErrorText, cable.pinNames[a], cable.pinNames[k]);
        else if (!set && k == b) AppendLogLine(kNoConnectionText, cable.pinNames[a], cable.pinNames[b]);
      }
      break;
    }
    case OneOnOneEnd:
      if (state_.FaultCount == 0) {
        char16_t format[64];
        char16_t line[128];
        LoadTextOrEmpty(texts_, kAllCorrectText, format, 64);
        FormatText(line, 128, format, static_cast<unsigned>(PinNo()));
        widgets_.AppendLog(line);
        state_.LastResultOk = 1;
        CountOutcome(kCountOk);
        SetResultText(kOkText);
        RecordVerdict("OK");
      } else {
        state_.LastResultOk = 0;
        CountOutcome(kCountNg);
        SetResultText(kNgText);
        RecordVerdict("NG");
      }
      widgets_.PostTestStop(state_.exchange);
      break;
    default:
      break;
  }
}

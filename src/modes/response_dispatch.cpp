// Routes the unit's queued responses, by the current mode and their kind, to
// the handler of the running test. Records leave the queue in arrival order.
// An answer is judged only while it is awaited and arrives whole: records of
// a failed exchange (which awaits nothing more), and any after its end
// record, are taken and dropped.
#include "modes/mode_panel.h"

void ModePanel::DispatchResponses() {
  // Damage seen earlier in the same batch of bytes voids what follows it.
  CheckDamage();
  // One pass takes what is queued now; a full ring never holds more.
  int n = channel_.queue.unreadCount;
  if (n > kResponseQueueEntries) n = kResponseQueueEntries;
  for (int i = 0; i < n; ++i) {
    ResponseRecord record;
    if (!TakeResponse(channel_.queue, record)) break;
    ++dispatched_;
    // Read afresh per record: a handler may change it for the next.
    const CableRecord& cable = CurrentCable();
    switch (app_.CurrentMode) {
      case kOneOnOne:
        if (!awaitingEnd_ || exchange_ != Exchange::kOneOnOne) break;
        if (record.kind == OneOnOneEnd) AnswerEnded();
        else if (record.kind == OneOnOneRow) AnswerContinues();
        EvaluateOneOnOne(cable, record);
        break;
      case kProbe:
        if (record.kind == ProbeState) TakeProbeState(record);
        break;
      case kMasterWork:
        if (!awaitingEnd_) break;
        if (exchange_ == Exchange::kReadingMaster) {
          if (record.kind == MasterRow) {
            AnswerContinues();
            StoreMasterRow(record);
          } else if (record.kind == MasterEnd) {
            AnswerEnded();
            FinishMasterRead();
          }
        } else if (exchange_ == Exchange::kWorkTesting) {
          if (record.kind == StatusReply || record.kind == WorkEnd) AnswerEnded();
          else if (record.kind == WorkRow) AnswerContinues();
          EvaluateWork(cable, record);
        }
        break;  // 1 on 1 and probe records, unknown letters
      case kProbePlus:
        if (record.kind == ProbeState) LatchProbeState(record);
        break;
      default:
        break;
    }
  }
  ShowProbeChanges(CurrentCable());
}

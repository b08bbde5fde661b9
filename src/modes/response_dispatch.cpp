// Routes the unit's queued responses, by the current mode and their kind, to
// the handler of the running test. Records leave the queue in arrival order.
#include "modes/mode_panel.h"

void ModePanel::DispatchResponses() {
  // One pass takes what is queued now; a full ring never holds more.
  int n = channel_.queue.unreadCount;
  if (n > kResponseQueueEntries) n = kResponseQueueEntries;
  for (int i = 0; i < n; ++i) {
    ResponseRecord record;
    if (!TakeResponse(channel_.queue, record)) return;
    // Both read afresh per record: a handler may change them for the next.
    CableRecord& cable = CurrentCable();
    switch (app_.CurrentMode) {
      case kOneOnOne:
        EvaluateOneOnOne(cable, record);
        break;
      case kProbe:
        if (record.kind == ProbeState) ShowProbeState(cable, record);
        RepaintPanel();
        break;
      case kMasterWork:
        switch (record.kind) {
          case StatusReply:
          case WorkRow:
          case WorkEnd:
            EvaluateWork(cable, record);
            break;
          case MasterRow:
            StoreMasterRow(cable, record);
            break;
          case MasterEnd:
            FinishMasterRead(cable, record);
            break;
          default:
            break;  // 1 on 1 and probe records, unknown letters
        }
        break;
      case kProbePlus:
        if (record.kind == ProbeState) LatchProbeState(cable, record);
        RepaintPanel();
        break;
      default:
        break;
    }
  }
}

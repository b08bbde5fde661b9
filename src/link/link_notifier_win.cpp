#include "link/link_notifier_win.h"

void WindowNotifier::Notify(LinkNotice notice) {
  SendMessageW(owner_, notice == LinkNotice::kReceived ? WM_LINK_RECEIVED : WM_LINK_SENT, 0, 0);
}

namespace {

// PeekMessageW delivers every message sent to this thread's windows before it
// looks at the queue; PM_QS_SENDMESSAGE keeps it from taking anything else.
void DeliverSentMessages() {
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace

void WindowNotifier::ServeNotices(uint32_t ms) {
  // One that is already waiting would not wake the wait below.
  DeliverSentMessages();
  if (MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_SENDMESSAGE, 0) == WAIT_OBJECT_0) DeliverSentMessages();
}

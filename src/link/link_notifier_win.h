#pragma once
// Notices of the link's workers as window messages, sent synchronously to the
// window that opened the link.
#include <windows.h>

#include "link/serial_link.h"

// Bytes are in the receive ring, or a line or transfer error happened.
inline constexpr UINT WM_LINK_RECEIVED = WM_USER + 1;
// A block was written completely; no window acts on it.
inline constexpr UINT WM_LINK_SENT = WM_USER + 2;

class WindowNotifier final : public LinkNotifier {
 public:
  explicit WindowNotifier(HWND owner) : owner_(owner) {}

  // Worker threads: SendMessageW, so the worker waits until the window has
  // handled the notice.
  void Notify(LinkNotice notice) override;
  // Window thread: handles the messages workers are blocked sending, waiting
  // at most ms for one. Posted messages stay queued for the message loop.
  void ServeNotices(uint32_t ms) override;

 private:
  HWND owner_;
};

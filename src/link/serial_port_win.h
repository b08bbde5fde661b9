#pragma once
// The COM port through the Win32 serial functions. Each worker side has its
// own overlapped structure and manual-reset I/O event, plus a manual-reset
// stop event the window thread sets; all four events live as long as the
// object, so stop requests work before, during and after an open.
#include <windows.h>

#include <cstdint>

#include "link/serial_port.h"

// "\\.\COM<port>", e.g. port 12 gives \\.\COM12.
void FormatPortName(uint8_t port, wchar_t (&name)[16]);

class Win32SerialPort final : public SerialPort {
 public:
  Win32SerialPort();
  ~Win32SerialPort();
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;

  // A handle left open by Close(false) is restored and closed first, so the
  // same object can open the port again.
  bool Open(const PortSettings& settings) override;
  void Close(bool restore) override;
  void SetDtr(bool on) override;
  bool IsDsrOn() override;

  bool PollReceive(uint32_t& errors, uint32_t& waiting) override;
  IoResult StartRead(uint8_t* buffer, uint32_t size, uint32_t& done) override;
  void PurgeReceive() override;
  IoResult StartWrite(const uint8_t* data, uint32_t size, uint32_t& done) override;
  IoResult WaitPending(LinkSide side, uint32_t& done) override;

  void ResetStops() override;
  void RequestStop(LinkSide side) override;
  bool Pause(LinkSide side, uint32_t ms) override;

  bool IsOpen() const { return port_ != INVALID_HANDLE_VALUE; }
  // The open port, for checks of its settings; INVALID_HANDLE_VALUE when closed.
  HANDLE Handle() const { return port_; }

 private:
  struct Side {
    OVERLAPPED overlapped;  // the side's pending transfer; touched by its worker only
    HANDLE ioEvent;
    HANDLE stopEvent;       // set by the window thread
  };
  Side& SideOf(LinkSide side) { return side == LinkSide::kReceive ? receive_ : transmit_; }
  IoResult Start(Side& side, BOOL started, uint32_t& done);

  HANDLE port_ = INVALID_HANDLE_VALUE;
  COMMTIMEOUTS savedTimeouts_{};
  DCB savedState_{};
  Side receive_{};
  Side transmit_{};
};

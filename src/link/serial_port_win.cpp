#include "link/serial_port_win.h"

#include "common/format_text.h"

// Threads: the window thread opens, closes, drives DTR, reads DSR and sets or
// resets the stop events; the receive worker uses receive_ and the receive
// calls, the transmit worker transmit_ and StartWrite. port_ changes only in
// Open and Close, while no worker runs.

namespace {

constexpr DWORD kDriverQueueBytes = 3072;  // the size of the link's rings
// How long a stopped worker waits for the driver to give up its cancelled
// transfer before the overlapped structure may be used again.
constexpr DWORD kCancelWaitMs = 1000;

HANDLE ManualResetEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

void CloseEvent(HANDLE& event) {
  if (event != nullptr) CloseHandle(event);
  event = nullptr;
}

}  // namespace

void FormatPortName(uint8_t port, wchar_t (&name)[16]) {
  FormatText(reinterpret_cast<char16_t*>(name), 16, u"\\\\.\\COM%u", static_cast<unsigned>(port));
}

Win32SerialPort::Win32SerialPort() {
  receive_.ioEvent = ManualResetEvent();
  receive_.stopEvent = ManualResetEvent();
  transmit_.ioEvent = ManualResetEvent();
  transmit_.stopEvent = ManualResetEvent();
}

Win32SerialPort::~Win32SerialPort() {
  Close(true);
  CloseEvent(receive_.ioEvent);
  CloseEvent(receive_.stopEvent);
  CloseEvent(transmit_.ioEvent);
  CloseEvent(transmit_.stopEvent);
}

bool Win32SerialPort::Open(const PortSettings& settings) {
  Close(true);
  // Without its events a worker could neither wait for a transfer nor be
  // stopped: such a port never opens.
  if (receive_.ioEvent == nullptr || receive_.stopEvent == nullptr || transmit_.ioEvent == nullptr ||
      transmit_.stopEvent == nullptr) {
    return false;
  }
  wchar_t name[16];
  FormatPortName(settings.Port, name);
  HANDLE port = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                            nullptr);
  if (port == INVALID_HANDLE_VALUE) return false;

  COMMTIMEOUTS savedTimeouts{};
  DCB savedState{};
  savedState.DCBlength = sizeof savedState;
  bool timeoutsSet = false;
  bool stateSet = false;
  const auto fail = [&] {
    // Whatever was changed goes back before the port is let go.
    if (stateSet) SetCommState(port, &savedState);
    if (timeoutsSet) SetCommTimeouts(port, &savedTimeouts);
    CloseHandle(port);
    return false;
  };

  if (!GetCommTimeouts(port, &savedTimeouts)) return fail();
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 2;
  timeouts.ReadTotalTimeoutMultiplier = 2;
  timeouts.ReadTotalTimeoutConstant = 100;
  timeouts.WriteTotalTimeoutMultiplier = 2;
  timeouts.WriteTotalTimeoutConstant = 100;
  if (!SetCommTimeouts(port, &timeouts)) return fail();
  timeoutsSet = true;

  if (!GetCommState(port, &savedState)) return fail();
  DCB state = savedState;
  state.BaudRate = settings.Speed;
  state.ByteSize = settings.DataL;
  state.Parity = settings.Parity;
  state.StopBits = settings.StopB;
  state.fBinary = 1;
  state.fParity = 0;  // no parity checking, whatever the parity code
  state.fOutxCtsFlow = 0;
  state.fOutxDsrFlow = 1;  // the unit's DSR holds our transmitter
  state.fDtrControl = DTR_CONTROL_HANDSHAKE;
  state.fDsrSensitivity = 0;
  state.fOutX = 0;
  state.fInX = 0;
  state.fNull = 0;
  state.fRtsControl = RTS_CONTROL_DISABLE;
  stateSet = true;  // a rejected state may still have been applied in part
  if (!SetCommState(port, &state)) return fail();
  if (!SetupComm(port, kDriverQueueBytes, kDriverQueueBytes)) return fail();

  port_ = port;
  savedTimeouts_ = savedTimeouts;
  savedState_ = savedState;
  return true;
}

void Win32SerialPort::Close(bool restore) {
  if (port_ == INVALID_HANDLE_VALUE || !restore) return;
  // Best effort: the port is let go whatever the driver makes of each step.
  EscapeCommFunction(port_, CLRDTR);
  SetCommTimeouts(port_, &savedTimeouts_);
  PurgeComm(port_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  SetCommState(port_, &savedState_);
  CloseHandle(port_);
  port_ = INVALID_HANDLE_VALUE;
}

void Win32SerialPort::SetDtr(bool on) {
  if (port_ != INVALID_HANDLE_VALUE) EscapeCommFunction(port_, on ? SETDTR : CLRDTR);
}

bool Win32SerialPort::IsDsrOn() {
  DWORD status = 0;
  return port_ != INVALID_HANDLE_VALUE && GetCommModemStatus(port_, &status) && (status & MS_DSR_ON) != 0;
}

bool Win32SerialPort::PollReceive(uint32_t& errors, uint32_t& waiting) {
  DWORD mask = 0;
  COMSTAT status{};
  if (port_ == INVALID_HANDLE_VALUE || !ClearCommError(port_, &mask, &status)) return false;
  errors = mask;
  waiting = status.cbInQue;
  return true;
}

IoResult Win32SerialPort::Start(Side& side, BOOL started, uint32_t& done) {
  done = 0;
  if (!started) return GetLastError() == ERROR_IO_PENDING ? IoResult::kPending : IoResult::kFailed;
  DWORD n = 0;
  if (!GetOverlappedResult(port_, &side.overlapped, &n, FALSE)) return IoResult::kFailed;
  done = n;
  return IoResult::kDone;
}

IoResult Win32SerialPort::StartRead(uint8_t* buffer, uint32_t size, uint32_t& done) {
  done = 0;
  if (port_ == INVALID_HANDLE_VALUE) return IoResult::kFailed;
  receive_.overlapped = OVERLAPPED{};
  receive_.overlapped.hEvent = receive_.ioEvent;
  return Start(receive_, ReadFile(port_, buffer, size, nullptr, &receive_.overlapped), done);
}

void Win32SerialPort::PurgeReceive() {
  if (port_ != INVALID_HANDLE_VALUE) PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR);
}

IoResult Win32SerialPort::StartWrite(const uint8_t* data, uint32_t size, uint32_t& done) {
  done = 0;
  if (port_ == INVALID_HANDLE_VALUE) return IoResult::kFailed;
  transmit_.overlapped = OVERLAPPED{};
  transmit_.overlapped.hEvent = transmit_.ioEvent;
  return Start(transmit_, WriteFile(port_, data, size, nullptr, &transmit_.overlapped), done);
}

IoResult Win32SerialPort::WaitPending(LinkSide which, uint32_t& done) {
  done = 0;
  Side& side = SideOf(which);
  // The transfer comes first: when both are set, its result is not lost.
  const HANDLE events[2] = {side.ioEvent, side.stopEvent};
  const DWORD waited = WaitForMultipleObjects(2, events, FALSE, INFINITE);
  if (waited == WAIT_OBJECT_0) {
    DWORD n = 0;
    if (!GetOverlappedResult(port_, &side.overlapped, &n, FALSE)) return IoResult::kFailed;
    done = n;
    return IoResult::kDone;
  }
  if (waited == WAIT_OBJECT_0 + 1) {
    // The abandoned transfer must not complete into the next one that uses
    // this overlapped structure.
    CancelIoEx(port_, &side.overlapped);
    WaitForSingleObject(side.ioEvent, kCancelWaitMs);
    return IoResult::kStopped;
  }
  return IoResult::kFailed;  // a failed wait counts as a failed transfer
}

void Win32SerialPort::ResetStops() {
  ResetEvent(receive_.stopEvent);
  ResetEvent(transmit_.stopEvent);
}

void Win32SerialPort::RequestStop(LinkSide side) { SetEvent(SideOf(side).stopEvent); }

bool Win32SerialPort::Pause(LinkSide side, uint32_t ms) {
  return WaitForSingleObject(SideOf(side).stopEvent, ms) == WAIT_OBJECT_0;
}

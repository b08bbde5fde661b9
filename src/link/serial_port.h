#pragma once
// What the link needs of a serial port: open it exclusively with the line
// settings and DSR/DTR handshaking, drive DTR, read DSR, poll the bytes waiting
// and the line errors, and move bytes without blocking past a stop request.
// The Win32 COM port is one implementation; tests use an in-memory one.
#include <cstdint>

struct PortSettings {
  uint8_t Port;     // COM port number
  uint8_t DataL;    // data bits
  uint8_t StopB;    // 0 one, 1 one and a half, 2 two stop bits
  uint8_t Parity;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint32_t Speed;   // baud
};

inline constexpr PortSettings kDefaultPortSettings{1, 8, 0, 0, 38400};

// Which worker a stop request or a transfer belongs to.
enum class LinkSide : uint8_t { kReceive, kTransmit };

enum class IoResult : uint8_t {
  kDone,     // transferred; `done` tells how many bytes
  kFailed,   // the transfer failed; `done` may be 0
  kPending,  // started, not finished: call WaitPending
  kStopped,  // the side's stop was requested while waiting
};

class SerialPort {
 public:
  // Opens and configures the port (timeouts, line settings with DSR/DTR
  // handshaking, 3072-byte driver queues), saving what it changes.
  virtual bool Open(const PortSettings& settings) = 0;
  // With restore: drops DTR, puts back the saved timeouts and state, purges and
  // closes. Without: leaves the port open as it is.
  virtual void Close(bool restore) = 0;
  virtual void SetDtr(bool on) = 0;
  virtual bool IsDsrOn() = 0;

  // Receive side: line errors (nonzero = some error bit) and bytes waiting.
  virtual bool PollReceive(uint32_t& errors, uint32_t& waiting) = 0;
  virtual IoResult StartRead(uint8_t* buffer, uint32_t size, uint32_t& done) = 0;
  virtual void PurgeReceive() = 0;
  virtual IoResult StartWrite(const uint8_t* data, uint32_t size, uint32_t& done) = 0;
  // Waits without time limit for the side's pending transfer or its stop.
  virtual IoResult WaitPending(LinkSide side, uint32_t& done) = 0;

  // Stop requests, one per side, made by the window thread and seen by the
  // workers in WaitPending and Pause.
  virtual void ResetStops() = 0;
  virtual void RequestStop(LinkSide side) = 0;
  // Waits up to ms; true when the side's stop was requested.
  virtual bool Pause(LinkSide side, uint32_t ms) = 0;

 protected:
  ~SerialPort() = default;
};

#pragma once
// The link to the tester unit while an exchange runs: the port, a receive and a
// transmit worker, and two 3072-byte rings between them and the window thread.
// The link is opened for each exchange and closed when it ends.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "common/error_report.h"
#include "link/frame_codec.h"
#include "link/serial_port.h"

inline constexpr uint32_t kRingBytes = 3072;
// How long a close waits for each worker; the workers poll every 20 ms.
inline constexpr uint32_t kWorkerStopMs = 10000;
inline constexpr uint32_t kWorkerPauseMs = 20;
// How long a close lets the transmit worker write what is still queued.
inline constexpr uint32_t kCloseDrainMs = 100;

// A circular byte buffer; each ring has its own lock and no code holds both.
// Every field is touched only under `lock`.
struct ByteRing {
  uint8_t bytes[kRingBytes];
  uint32_t count;
  uint32_t writeIndex;
  uint32_t readIndex;
  std::mutex lock;
};

enum class LinkNotice : uint8_t {
  kReceived,  // bytes are in the receive ring, or a line or transfer error happened
  kSent,      // a block was written; nobody acts on it
};

// How workers reach the window that opened the link. Notices are synchronous:
// the worker waits until the owner has handled it.
class LinkNotifier {
 public:
  // Worker threads.
  virtual void Notify(LinkNotice notice) = 0;
  // Window thread: handles notices workers are blocked in, waiting at most ms
  // for one. Lets a close wait for the workers without deadlocking on them.
  virtual void ServeNotices(uint32_t ms) = 0;

 protected:
  ~LinkNotifier() = default;
};

class SerialLink {
 public:
  // stopWaitMs bounds the close's wait for each worker; tests shorten it.
  SerialLink(SerialPort& port, ErrorReporter& errors, uint32_t stopWaitMs = kWorkerStopMs)
      : port_(port), errors_(errors), stopWaitMs_(stopWaitMs) {}
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;
  // Closes an open link (its owner must still be there) and waits for any
  // worker an earlier close had to leave behind.
  ~SerialLink();

  // Opens the port and starts both workers; reports 1025 itself on failure.
  // Nothing is allocated from its return until CloseLink.
  bool OpenLink(LinkNotifier& owner, const PortSettings& settings);
  // Stops the workers (serving their pending notices meanwhile, each wait
  // bounded), then restores and closes the port when asked, and empties the
  // rings. A worker that outlives its wait keeps the port: see the .cpp.
  void CloseLink(bool restorePort);
  bool IsOpen() const { return open_; }
  bool IsUnitReady();
  // How often, since this link was opened, bytes of the unit were lost or a
  // command did not reach the line whole: a line error, a failed poll, a
  // failed or short read or write, a block the full receive ring had no room
  // for. Any of it means an answer can no longer be trusted.
  uint32_t Damage() const { return damage_.load(std::memory_order_acquire); }
  // Nothing queued is still waiting to be written and no write is under way:
  // every byte queued so far has been handed to the port (or failed, which
  // Damage() counts).
  bool TransmitIdle();

  // Window thread.
  bool QueueTransmit(const uint8_t* bytes, uint32_t n);
  bool TakeReceivedByte(uint8_t& b);
  uint32_t ReceivedCount();

  // Worker side, public for the ring tests.
  void PutReceived(const uint8_t* bytes, uint32_t n);
  uint32_t TakeTransmit(uint8_t (&buffer)[kRingBytes]);

 private:
  void ReceiveLoop();
  void TransmitLoop();
  bool Stopping(LinkSide side);
  bool NotifyOwner(LinkSide side, LinkNotice notice);
  // Counts damage, then tells the owner; false when the worker is to stop.
  bool ReportDamage(LinkSide side);
  void DrainTransmit();
  bool StopWorker(std::thread& worker, const std::atomic<bool>& finished, LinkSide side);
  bool FinishLeftWorkers();

  // Set at construction, used by every thread.
  SerialPort& port_;
  ErrorReporter& errors_;
  const uint32_t stopWaitMs_;
  // Written by the window thread only while no worker runs; read by workers.
  LinkNotifier* owner_ = nullptr;
  // Window thread only.
  bool open_ = false;
  bool closeLeftWorkers_ = false;  // a close gave up waiting; the port is still held
  bool restoreWhenLeft_ = false;   // and how that close wanted the port closed
  std::thread receiveThread_;
  std::thread transmitThread_;
  // Between the window thread and one worker each, under their own locks.
  ByteRing receive_{};
  ByteRing transmit_{};
  // One worker each, so an open link allocates nothing.
  uint8_t readBuffer_[kRingBytes] = {};
  uint8_t writeBuffer_[kRingBytes] = {};
  // Set by a worker as its last act; read by the window thread.
  std::atomic<bool> receiveFinished_{true};
  std::atomic<bool> transmitFinished_{true};
  // Set by the transmit worker from taking a block until its write is done.
  std::atomic<bool> transmitBusy_{false};
  // Raised by the workers (and PutReceived) before they notify, zeroed by
  // OpenLink while no worker runs.
  std::atomic<uint32_t> damage_{0};
};

// Handles a "bytes received" notice on the window thread: takes the bytes the
// ring holds now and feeds them to the decoder. Each accepted frame calls
// sink.FrameQueued(); when the queue is full, sink.DrainResponses() is called
// before the next byte, so no record is ever overwritten.
class ResponseSink {
 public:
  virtual void FrameQueued() = 0;
  virtual void DrainResponses() = 0;

 protected:
  ~ResponseSink() = default;
};
void DecodeReceivedBytes(SerialLink& link, ResponseChannel& channel, ResponseSink& sink);

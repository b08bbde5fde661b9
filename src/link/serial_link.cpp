#include "link/serial_link.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>

// Threads and what they touch:
// - the window thread: every public operation, owner_, open_ and the thread
//   objects; the rings only under their locks;
// - the receive worker: readBuffer_, the receive ring under its lock, the
//   port's receive side;
// - the transmit worker: writeBuffer_, the transmit ring under its lock, the
//   port's transmit side.
// Each worker sets its finished flag as its very last act, after which it
// touches nothing of the link.
//
// Stopping. A worker sees its stop request at the start of every pass, in its
// pause and while a transfer is pending, and it sends no notice once the stop
// is requested: the close empties the rings anyway, and a worker that keeps
// finding bytes waiting would otherwise never pause and never stop. A notice
// already in progress when the close begins is served by CloseLink through
// the owner's ServeNotices, so a worker blocked in it cannot hold the close.
//
// A worker that still has not finished when its wait runs out can only be
// inside the port, in a call that ignores its stop request. It is neither
// detached nor waited for: the close returns, the port is left open because
// the worker may still be using it, and the link keeps the thread. When the
// worker comes back it sees its stop and ends without notifying anyone (at
// most it leaves bytes in the receive ring, which the next open empties), so
// the owner may go away. The next OpenLink (or the destructor) joins it and
// closes the port as that close wanted; until the worker has ended, OpenLink
// fails with 1025, as for a port another program holds. The link and the port
// outlive their workers, so no worker ever touches freed state.

namespace {

using Clock = std::chrono::steady_clock;

// While waiting for a worker the close serves notices in short slices, so it
// notices the worker's end soon after it happens.
constexpr uint32_t kServeSliceMs = 2;

void EmptyRing(ByteRing& ring) {
  std::lock_guard<std::mutex> hold(ring.lock);
  ring.count = 0;
  ring.writeIndex = 0;
  ring.readIndex = 0;
}

// The caller holds the ring's lock and has checked that n bytes fit.
void CopyIn(ByteRing& ring, const uint8_t* bytes, uint32_t n) {
  if (n == 0) return;
  const uint32_t first = std::min(n, kRingBytes - ring.writeIndex);
  std::memcpy(ring.bytes + ring.writeIndex, bytes, first);
  std::memcpy(ring.bytes, bytes + first, n - first);
  ring.writeIndex = (ring.writeIndex + n) % kRingBytes;
  ring.count += n;
}

// The caller holds the ring's lock; n is at most the count.
void CopyOut(ByteRing& ring, uint8_t* out, uint32_t n) {
  if (n == 0) return;
  const uint32_t first = std::min(n, kRingBytes - ring.readIndex);
  std::memcpy(out, ring.bytes + ring.readIndex, first);
  std::memcpy(out + first, ring.bytes, n - first);
  ring.readIndex = (ring.readIndex + n) % kRingBytes;
  ring.count -= n;
}

bool StartWorker(std::thread& worker, std::atomic<bool>& finished, void (SerialLink::*loop)(),
                 SerialLink* link) {
  finished.store(false, std::memory_order_release);
  try {
    worker = std::thread(loop, link);
    return true;
  } catch (const std::system_error&) {
    // Out of threads: the link cannot run, which counts as a port that did
    // not open.
    finished.store(true, std::memory_order_release);
    return false;
  }
}

}  // namespace

SerialLink::~SerialLink() {
  CloseLink(true);
  if (closeLeftWorkers_) {
    // Both stops are requested. Waiting here, however long the port takes,
    // is better than letting a worker run on inside a destroyed link.
    if (receiveThread_.joinable()) receiveThread_.join();
    if (transmitThread_.joinable()) transmitThread_.join();
    port_.Close(restoreWhenLeft_);
  }
}

bool SerialLink::OpenLink(LinkNotifier& owner, const PortSettings& settings) {
  // The port is held, by this link or by a worker an earlier close left.
  if (open_ || !FinishLeftWorkers()) {
    errors_.ShowError(kErrorPortOpen);
    return false;
  }
  EmptyRing(receive_);
  EmptyRing(transmit_);
  damage_.store(0, std::memory_order_release);
  port_.ResetStops();
  if (!port_.Open(settings)) {
    errors_.ShowError(kErrorPortOpen);
    return false;
  }
  port_.SetDtr(true);
  owner_ = &owner;
  open_ = true;
  if (!StartWorker(receiveThread_, receiveFinished_, &SerialLink::ReceiveLoop, this) ||
      !StartWorker(transmitThread_, transmitFinished_, &SerialLink::TransmitLoop, this)) {
    CloseLink(true);
    errors_.ShowError(kErrorPortOpen);
    return false;
  }
  return true;
}

void SerialLink::CloseLink(bool restorePort) {
  if (!open_) return;
  open_ = false;
  DrainTransmit();
  const bool receiveEnded = StopWorker(receiveThread_, receiveFinished_, LinkSide::kReceive);
  const bool transmitEnded = StopWorker(transmitThread_, transmitFinished_, LinkSide::kTransmit);
  if (receiveEnded && transmitEnded) {
    port_.Close(restorePort);
    owner_ = nullptr;
  } else {
    closeLeftWorkers_ = true;
    restoreWhenLeft_ = restorePort;
  }
  EmptyRing(receive_);
  EmptyRing(transmit_);
}

bool SerialLink::StopWorker(std::thread& worker, const std::atomic<bool>& finished, LinkSide side) {
  port_.RequestStop(side);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(stopWaitMs_);
  while (!finished.load(std::memory_order_acquire)) {
    if (Clock::now() >= deadline) return false;
    owner_->ServeNotices(kServeSliceMs);
  }
  if (worker.joinable()) worker.join();
  return true;
}

void SerialLink::DrainTransmit() {
  // A command queued just before the close (the probe finish sent as the
  // program exits) would otherwise be dropped with the ring.
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kCloseDrainMs);
  auto pending = [this] {
    std::lock_guard<std::mutex> hold(transmit_.lock);
    return transmit_.count != 0 || transmitBusy_.load(std::memory_order_acquire);
  };
  while (pending() && !transmitFinished_.load(std::memory_order_acquire) && Clock::now() < deadline)
    owner_->ServeNotices(kServeSliceMs);
}

bool SerialLink::FinishLeftWorkers() {
  if (!closeLeftWorkers_) return true;
  if (!receiveFinished_.load(std::memory_order_acquire) || !transmitFinished_.load(std::memory_order_acquire))
    return false;
  if (receiveThread_.joinable()) receiveThread_.join();
  if (transmitThread_.joinable()) transmitThread_.join();
  port_.Close(restoreWhenLeft_);
  closeLeftWorkers_ = false;
  owner_ = nullptr;
  return true;
}

bool SerialLink::IsUnitReady() { return open_ && port_.IsDsrOn(); }

bool SerialLink::TransmitIdle() {
  std::lock_guard<std::mutex> hold(transmit_.lock);
  return transmit_.count == 0 && !transmitBusy_.load(std::memory_order_acquire);
}

bool SerialLink::QueueTransmit(const uint8_t* bytes, uint32_t n) {
  std::lock_guard<std::mutex> hold(transmit_.lock);
  // A block is never split: the unit would see half a frame.
  if (n > kRingBytes - transmit_.count) return false;
  CopyIn(transmit_, bytes, n);
  return true;
}

bool SerialLink::TakeReceivedByte(uint8_t& b) {
  std::lock_guard<std::mutex> hold(receive_.lock);
  if (receive_.count == 0) return false;
  CopyOut(receive_, &b, 1);
  return true;
}

uint32_t SerialLink::ReceivedCount() {
  std::lock_guard<std::mutex> hold(receive_.lock);
  return receive_.count;
}

void SerialLink::PutReceived(const uint8_t* bytes, uint32_t n) {
  {
    std::lock_guard<std::mutex> hold(receive_.lock);
    // A full ring keeps what it has and drops the rest of the block; the
    // worker must never block on the window thread here.
    const uint32_t room = kRingBytes - receive_.count;
    if (n > room) damage_.fetch_add(1, std::memory_order_acq_rel);
    CopyIn(receive_, bytes, std::min(n, room));
  }
  NotifyOwner(LinkSide::kReceive, LinkNotice::kReceived);
}

uint32_t SerialLink::TakeTransmit(uint8_t (&buffer)[kRingBytes]) {
  std::lock_guard<std::mutex> hold(transmit_.lock);
  const uint32_t m = transmit_.count;
  // Under the lock: whoever sees the ring empty also sees the block in flight.
  if (m != 0) transmitBusy_.store(true, std::memory_order_release);
  CopyOut(transmit_, buffer, m);
  return m;
}

bool SerialLink::Stopping(LinkSide side) { return port_.Pause(side, 0); }

bool SerialLink::NotifyOwner(LinkSide side, LinkNotice notice) {
  if (owner_ == nullptr || Stopping(side)) return false;
  owner_->Notify(notice);
  return true;
}

bool SerialLink::ReportDamage(LinkSide side) {
  damage_.fetch_add(1, std::memory_order_acq_rel);
  return NotifyOwner(side, LinkNotice::kReceived);
}

void SerialLink::ReceiveLoop() {
  constexpr LinkSide kSide = LinkSide::kReceive;
  while (!Stopping(kSide)) {
    uint32_t errors = 0;
    uint32_t waiting = 0;
    bool idle = true;
    if (!port_.PollReceive(errors, waiting)) {
      if (!ReportDamage(kSide)) break;
    } else {
      if (errors != 0 && !ReportDamage(kSide)) break;
      const uint32_t n = std::min(waiting, kRingBytes);
      if (n != 0) {
        // Whatever the read's outcome, more may be waiting: no pause.
        idle = false;
        uint32_t done = 0;
        IoResult result = port_.StartRead(readBuffer_, n, done);
        // Only a read refused at once leaves the driver's queue in doubt.
        const bool purge = result == IoResult::kFailed;
        if (result == IoResult::kPending) result = port_.WaitPending(kSide, done);
        if (result == IoResult::kStopped) break;
        if (result == IoResult::kDone && done == n) {
          PutReceived(readBuffer_, n);
        } else {
          // A failed or short read loses its bytes.
          if (!ReportDamage(kSide)) break;
          if (purge) port_.PurgeReceive();
        }
      }
    }
    if (idle && port_.Pause(kSide, kWorkerPauseMs)) break;
  }
  receiveFinished_.store(true, std::memory_order_release);
}

void SerialLink::TransmitLoop() {
  constexpr LinkSide kSide = LinkSide::kTransmit;
  while (!Stopping(kSide)) {
    const uint32_t m = TakeTransmit(writeBuffer_);
    if (m != 0) {
      uint32_t done = 0;
      IoResult result = port_.StartWrite(writeBuffer_, m, done);
      if (result == IoResult::kPending) result = port_.WaitPending(kSide, done);
      transmitBusy_.store(false, std::memory_order_release);
      if (result == IoResult::kStopped) break;
      // A failed or short write is not retried: half a command would be
      // worse than none. The owner hears of it as damage.
      const bool whole = result == IoResult::kDone && done == m;
      if (!(whole ? NotifyOwner(kSide, LinkNotice::kSent) : ReportDamage(kSide))) break;
    }
    transmitBusy_.store(false, std::memory_order_release);
    if (port_.Pause(kSide, kWorkerPauseMs)) break;
  }
  transmitFinished_.store(true, std::memory_order_release);
}

void DecodeReceivedBytes(SerialLink& link, ResponseChannel& channel, ResponseSink& sink) {
  // Only what is there now: bytes arriving meanwhile come with their own notice.
  const uint32_t n = link.ReceivedCount();
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t b = 0;
    if (!link.TakeReceivedByte(b)) break;
    if (ResponseQueueFull(channel.queue)) sink.DrainResponses();
    if (FeedByte(channel, b)) sink.FrameQueued();
  }
}

#pragma once
// An in-memory serial port for native tests: the SerialLink's workers run
// against it as against a COM port, and a UnitPeer plays the tester unit on
// the other end of the line. Fault switches make single operations go wrong
// the way drivers and cables do. It allocates nothing once constructed, so it
// can stand in for the real port in the link's allocation test.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "link/serial_port.h"

// The unit's side of the line. The port calls it under its own lock.
class UnitPeer {
 public:
  // Bytes the host wrote.
  virtual void HostBytes(const uint8_t* bytes, size_t n, uint64_t nowMs) = 0;
  // Bytes the unit sends that are due by nowMs, at most capacity.
  virtual size_t TakeUnitBytes(uint8_t* out, size_t capacity, uint64_t nowMs) = 0;
  virtual bool Dsr() const = 0;
  virtual void SetDtr(bool on) = 0;

 protected:
  ~UnitPeer() = default;
};

// Counts say how many of the next operations of that kind go wrong.
struct MemoryPortFaults {
  std::atomic<bool> failOpen{false};    // absent, or held by another program
  std::atomic<int> lineErrors{0};       // polls that report a line error
  std::atomic<int> failReads{0};        // refused at once; the bytes stay queued
  std::atomic<int> shortWrites{0};      // the last byte never reaches the unit
  std::atomic<bool> pendingTransfers{false};  // transfers complete only in WaitPending
  std::atomic<bool> holdPending{false};       // pending transfers never complete
  std::atomic<bool> ignoreStop{false};        // WaitPending ignores the stop until ReleaseStuck
  // Writes take as long as the configured speed needs (10 bits a byte) and
  // reach the unit only when done; a stop before then loses them, as a
  // purged driver queue does.
  std::atomic<bool> paceWrites{false};
  // The driver's queue is the limit: what the unit sends beyond it is lost,
  // and the next poll reports the overrun.
  std::atomic<bool> overflowLoses{false};
};

class MemorySerialPort final : public SerialPort {
 public:
  static constexpr uint32_t kQueueBytes = 3072;  // the driver's input queue

  explicit MemorySerialPort(UnitPeer& unit) : unit_(unit), start_(Clock::now()) {}

  MemoryPortFaults faults;

  // --- what a test observes ---
  bool IsPortOpen() const { return open_; }
  int RestoredCloses() const { return restoredCloses_; }
  int UnrestoredCloses() const { return unrestoredCloses_; }
  int Polls() const { return polls_; }
  int InWaitPending() const { return inWaitPending_; }
  // Ends the waits that ignoreStop kept; they fail.
  void ReleaseStuck() {
    std::lock_guard<std::mutex> hold(m_);
    released_ = true;
    cv_.notify_all();
  }

  // --- SerialPort ---
  bool Open(const PortSettings& settings) override {
    std::lock_guard<std::mutex> hold(m_);
    if (faults.failOpen || open_) return false;
    open_ = true;
    settings_ = settings;
    return true;
  }
  void Close(bool restore) override {
    std::lock_guard<std::mutex> hold(m_);
    ++(restore ? restoredCloses_ : unrestoredCloses_);
    if (!restore) return;
    unit_.SetDtr(false);
    queued_ = 0;
    open_ = false;
  }
  void SetDtr(bool on) override {
    std::lock_guard<std::mutex> hold(m_);
    unit_.SetDtr(on);
  }
  bool IsDsrOn() override {
    std::lock_guard<std::mutex> hold(m_);
    return open_ && unit_.Dsr();
  }

  bool PollReceive(uint32_t& errors, uint32_t& waiting) override {
    std::lock_guard<std::mutex> hold(m_);
    ++polls_;
    errors = waiting = 0;
    if (!open_) return false;
    if (TakeFault(faults.lineErrors) || overrun_) errors = 0x0002;  // an overrun, say
    overrun_ = false;
    queued_ += static_cast<uint32_t>(unit_.TakeUnitBytes(queue_ + queued_, kQueueBytes - queued_, NowMs()));
    if (faults.overflowLoses && queued_ == kQueueBytes) {
      uint8_t lost[kQueueBytes];
      overrun_ = unit_.TakeUnitBytes(lost, sizeof lost, NowMs()) != 0;
    }
    waiting = queued_;
    return true;
  }
  IoResult StartRead(uint8_t* buffer, uint32_t size, uint32_t& done) override {
    std::lock_guard<std::mutex> hold(m_);
    done = 0;
    if (!open_ || TakeFault(faults.failReads)) return IoResult::kFailed;
    if (!faults.pendingTransfers && !faults.holdPending) return CompleteRead(buffer, size, done);
    pending_[0] = {buffer, nullptr, size, {}};
    return IoResult::kPending;
  }
  void PurgeReceive() override {
    std::lock_guard<std::mutex> hold(m_);
    queued_ = 0;
  }
  IoResult StartWrite(const uint8_t* data, uint32_t size, uint32_t& done) override {
    std::lock_guard<std::mutex> hold(m_);
    done = 0;
    if (!open_) return IoResult::kFailed;
    if (!faults.pendingTransfers && !faults.holdPending && !faults.paceWrites) return CompleteWrite(data, size, done);
    const auto wire = std::chrono::microseconds(uint64_t{size} * 10u * 1000000u / std::max(settings_.Speed, 1u));
    pending_[1] = {nullptr, data, size, faults.paceWrites ? Clock::now() + wire : Clock::time_point{}};
    return IoResult::kPending;
  }
  IoResult WaitPending(LinkSide side, uint32_t& done) override {
    std::unique_lock<std::mutex> lock(m_);
    done = 0;
    Pending& p = pending_[static_cast<int>(side)];
    ++inWaitPending_;
    IoResult result = IoResult::kStopped;
    for (;;) {
      if (!faults.ignoreStop && p.size != 0 && !faults.holdPending && Clock::now() >= p.doneAt) {
        // As with the overlapped event: a completed transfer wins over the stop.
        result = p.readTo != nullptr ? CompleteRead(p.readTo, p.size, done) : CompleteWrite(p.writeFrom, p.size, done);
        break;
      }
      // A call that ignores the stop ends only by ReleaseStuck, failing.
      if (faults.ignoreStop ? released_ : stop_[static_cast<int>(side)]) {
        if (faults.ignoreStop) result = IoResult::kFailed;
        break;
      }
      if (p.size != 0 && p.doneAt > Clock::now()) cv_.wait_until(lock, p.doneAt);
      else cv_.wait(lock);
    }
    p = Pending{};
    --inWaitPending_;
    return result;
  }

  void ResetStops() override {
    std::lock_guard<std::mutex> hold(m_);
    stop_[0] = stop_[1] = false;
  }
  void RequestStop(LinkSide side) override {
    std::lock_guard<std::mutex> hold(m_);
    stop_[static_cast<int>(side)] = true;
    cv_.notify_all();
  }
  bool Pause(LinkSide side, uint32_t ms) override {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stop_[static_cast<int>(side)]; });
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    uint8_t* readTo;
    const uint8_t* writeFrom;
    uint32_t size;  // 0: no transfer pending
    Clock::time_point doneAt;  // a paced write is not done before
  };

  static bool TakeFault(std::atomic<int>& count) { return count > 0 && count-- > 0; }
  uint64_t NowMs() const {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count());
  }

  // The lock is held.
  IoResult CompleteRead(uint8_t* buffer, uint32_t size, uint32_t& done) {
    const uint32_t n = std::min(size, queued_);
    std::memcpy(buffer, queue_, n);
    std::memmove(queue_, queue_ + n, queued_ - n);
    queued_ -= n;
    done = n;
    return IoResult::kDone;
  }
  IoResult CompleteWrite(const uint8_t* data, uint32_t size, uint32_t& done) {
    // DSR is the output flow control: with it off the driver holds the bytes
    // until the write time-out ends the write with nothing sent.
    if (!unit_.Dsr()) return IoResult::kDone;
    done = size != 0 && TakeFault(faults.shortWrites) ? size - 1 : size;
    unit_.HostBytes(data, done, NowMs());
    return IoResult::kDone;
  }

  UnitPeer& unit_;
  const Clock::time_point start_;
  std::mutex m_;
  std::condition_variable cv_;
  std::atomic<bool> open_{false};  // written under m_
  // Under m_.
  bool stop_[2] = {false, false};
  bool released_ = false;
  PortSettings settings_{};
  uint8_t queue_[kQueueBytes] = {};
  uint32_t queued_ = 0;
  bool overrun_ = false;
  Pending pending_[2] = {};  // receive, transmit
  // Written under m_, read by tests at any time.
  std::atomic<int> restoredCloses_{0}, unrestoredCloses_{0}, polls_{0}, inWaitPending_{0};
};

#pragma once
// The simulated unit's model on the far end of the in-memory port, so that
// exchanges run through the link's real workers against the unit's real
// answers. The model is not thread-safe: the port calls it from the workers
// (under the port's lock, then this one) and a test reaches it only through
// With(), under this lock. Never call into the link or the port from inside
// With(): a worker holding the port's lock may be waiting for this one.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "memory_serial_port.h"
#include "sim/tester_model.h"

class ModelUnit final : public UnitPeer, TesterModel::FrameLog {
 public:
  ModelUnit() { model_.SetFrameLog(this); }

  // Runs f(model) under the lock and returns what it returns.
  template <typename F>
  auto With(F&& f) {
    std::lock_guard<std::mutex> hold(m_);
    return f(model_);
  }

  // The port's clock (milliseconds since the port was made) as of its latest
  // call: what a probe script is timed against.
  uint64_t NowMs() {
    std::lock_guard<std::mutex> hold(m_);
    return nowMs_;
  }

  void HostBytes(const uint8_t* bytes, size_t n, uint64_t nowMs) override {
    std::lock_guard<std::mutex> hold(m_);
    nowMs_ = nowMs;
    model_.HostBytes(bytes, n, nowMs);
  }
  size_t TakeUnitBytes(uint8_t* out, size_t capacity, uint64_t nowMs) override {
    std::lock_guard<std::mutex> hold(m_);
    nowMs_ = nowMs;
    return model_.TakeUnitBytes(out, capacity, nowMs);
  }
  bool Dsr() const override {
    std::lock_guard<std::mutex> hold(m_);
    return model_.Dsr();
  }
  void SetDtr(bool on) override {
    std::lock_guard<std::mutex> hold(m_);
    model_.SetDtr(on);
  }

  // The frames the unit received, in order.
  std::vector<std::vector<uint8_t>> HostFrames() {
    std::lock_guard<std::mutex> hold(m_);
    return host_;
  }

 private:
  mutable std::mutex m_;
  TesterModel model_;  // under m_
  uint64_t nowMs_ = 0; // under m_
  std::vector<std::vector<uint8_t>> host_;  // under m_

  // The model calls these under m_.
  void HostFrame(const uint8_t* frame, size_t n) override { host_.emplace_back(frame, frame + n); }
  void UnitFrame(const uint8_t*, size_t) override {}
};

#pragma once
// A minimal tester unit for link tests and benchmarks: it answers every
// StatusQuery at once with a StatusReply and otherwise sends what the test
// hands it. It allocates nothing.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "link/commands.h"
#include "memory_serial_port.h"

// 02 08 'S' 'T' '0' '1' '2' '3' '4' 03 SUM: version 1.234.
inline constexpr uint8_t kTestStatusReply[] = {0x02, 0x08, 0x53, 0x54, 0x30, 0x31, 0x32, 0x33, 0x34, 0x03, 0xAC};

class InstantUnit final : public UnitPeer {
 public:
  std::atomic<bool> dsr{true};
  std::atomic<bool> dtr{false};
  std::atomic<uint32_t> hostByteCount{0};
  std::atomic<bool> chatter{false};  // a StatusReply on every poll of the line, unasked

  // Queues bytes for the unit to send; false when they do not fit.
  bool Send(const uint8_t* bytes, size_t n) {
    std::lock_guard<std::mutex> hold(m_);
    if (n > sizeof out_ - outCount_) return false;
    std::memcpy(out_ + outCount_, bytes, n);
    outCount_ += n;
    return true;
  }

  void HostBytes(const uint8_t* bytes, size_t n, uint64_t) override {
    std::lock_guard<std::mutex> hold(m_);
    for (size_t i = 0; i < n; ++i) {
      // The last six bytes seen, to spot a StatusQuery across writes.
      std::memmove(last_, last_ + 1, sizeof last_ - 1);
      last_[sizeof last_ - 1] = bytes[i];
      if (std::memcmp(last_, kStatusQuery, sizeof last_) == 0 &&
          sizeof kTestStatusReply <= sizeof out_ - outCount_) {
        std::memcpy(out_ + outCount_, kTestStatusReply, sizeof kTestStatusReply);
        outCount_ += sizeof kTestStatusReply;
      }
    }
    hostByteCount += static_cast<uint32_t>(n);
  }
  size_t TakeUnitBytes(uint8_t* out, size_t capacity, uint64_t) override {
    std::lock_guard<std::mutex> hold(m_);
    if (chatter && sizeof kTestStatusReply <= sizeof out_ - outCount_) {
      std::memcpy(out_ + outCount_, kTestStatusReply, sizeof kTestStatusReply);
      outCount_ += sizeof kTestStatusReply;
    }
    const size_t n = capacity < outCount_ ? capacity : outCount_;
    std::memcpy(out, out_, n);
    std::memmove(out_, out_ + n, outCount_ - n);
    outCount_ -= n;
    return n;
  }
  bool Dsr() const override { return dsr; }
  void SetDtr(bool on) override { dtr = on; }

 private:
  std::mutex m_;
  uint8_t last_[sizeof kStatusQuery] = {};
  uint8_t out_[8192] = {};
  size_t outCount_ = 0;
};

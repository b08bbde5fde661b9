#pragma once
// The host's side of the line against the unit's model, on one thread and a
// clock of the test's own: commands go in as the program frames them, and the
// unit's bytes are decoded with the program's own decoder as they fall due.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/commands.h"
#include "link/frame_codec.h"
#include "sim/tester_model.h"
#include "support/pins.h"
#include "support/unit_frames.h"

struct ModelHost {
  struct Received {
    uint64_t atMs;
    ResponseRecord record;
  };

  TesterModel unit;
  ResponseChannel host{};
  uint64_t now = 0;
  std::vector<Received> got;
  FrameBytes raw;
  std::vector<size_t> reads;  // size of every non-empty take

  void Send(const uint8_t* bytes, size_t n) { unit.HostBytes(bytes, n, now); }
  template <size_t N>
  void Send(const uint8_t (&frame)[N]) {
    Send(frame, N);
  }
  void SendOneOnOne(uint8_t n) {
    uint8_t frame[kOneOnOneStartBytes];
    BuildOneOnOneStart(n, frame);
    Send(frame);
  }
  void SendTransfer(const Rows& cable) {
    uint8_t block[kMasterTransferMaxBytes];
    Send(block, static_cast<size_t>(BuildMasterTransfer(cable.rows, block)));
  }

  void RunUntil(uint64_t untilMs) {
    for (int guard = 0;; ++guard) {
      ASSERT_LT(guard, 100000) << "the unit keeps announcing output it never delivers";
      const uint64_t due = unit.NextDueMs();
      if (due > untilMs) break;
      if (due > now) now = due;
      uint8_t buffer[256];
      const size_t n = unit.TakeUnitBytes(buffer, sizeof buffer, now);
      if (n > 0) reads.push_back(n);
      for (size_t i = 0; i < n; ++i) {
        raw.push_back(buffer[i]);
        if (!FeedByte(host, buffer[i])) continue;
        ResponseRecord record;
        while (TakeResponse(host.queue, record)) got.push_back({now, record});
      }
    }
    if (untilMs > now) now = untilMs;
  }
  void Settle() { RunUntil(now + 5000); }
  // Sends, lets the answer come and returns its frames alone.
  template <size_t N>
  std::vector<FrameBytes> Exchange(const uint8_t (&frame)[N]) {
    Forget();
    Send(frame);
    Settle();
    return Frames();
  }

  std::vector<FrameBytes> Frames() const {
    std::vector<FrameBytes> frames;
    for (const Received& r : got) frames.push_back(FrameOf(r.record));
    return frames;
  }
  std::vector<int> Kinds() const {
    std::vector<int> kinds;
    for (const Received& r : got) kinds.push_back(r.record.kind);
    return kinds;
  }
  void Forget() {
    got.clear();
    raw.clear();
    reads.clear();
  }
};

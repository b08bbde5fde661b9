// Round trip of a status query through the real link workers and an
// in-memory port whose unit answers at once: from QueueTransmit to the window
// thread's handling of the decoded StatusReply. The transmit worker's 20 ms
// pause and the idle receive worker's 20 ms pause bound it at 40 ms; what the
// link adds of its own on top must stay under 5 ms.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include "link/commands.h"
#include "link/serial_link.h"
#include <cstring>
#include <mutex>

#include "support/memory_serial_port.h"
#include "support/sync_notifier.h"

namespace {

using Clock = std::chrono::steady_clock;

// A unit that answers every StatusQuery at once (version 1.234) and says
// nothing else; it allocates nothing.
class InstantUnit final : public UnitPeer {
 public:
  void HostBytes(const uint8_t* bytes, size_t n, uint64_t) override {
    static constexpr uint8_t kReply[] = {0x02, 0x08, 0x53, 0x54, 0x30, 0x31, 0x32, 0x33, 0x34, 0x03, 0xAC};
    std::lock_guard<std::mutex> hold(m_);
    for (size_t i = 0; i < n; ++i) {
      // The last six bytes seen, to spot a StatusQuery across writes.
      std::memmove(last_, last_ + 1, sizeof last_ - 1);
      last_[sizeof last_ - 1] = bytes[i];
      if (std::memcmp(last_, kStatusQuery, sizeof last_) == 0 && sizeof kReply <= sizeof out_ - outCount_) {
        std::memcpy(out_ + outCount_, kReply, sizeof kReply);
        outCount_ += sizeof kReply;
      }
    }
  }
  size_t TakeUnitBytes(uint8_t* out, size_t capacity, uint64_t) override {
    std::lock_guard<std::mutex> hold(m_);
    const size_t n = capacity < outCount_ ? capacity : outCount_;
    std::memcpy(out, out_, n);
    std::memmove(out_, out_ + n, outCount_ - n);
    outCount_ -= n;
    return n;
  }
  bool Dsr() const override { return true; }
  void SetDtr(bool) override {}

 private:
  std::mutex m_;
  uint8_t last_[sizeof kStatusQuery] = {};
  uint8_t out_[4096] = {};
  size_t outCount_ = 0;
};

class CountFrames final : public ResponseSink {
 public:
  void FrameQueued() override { ++frames; }
  void DrainResponses() override { ClearResponses(channel); }
  ResponseChannel channel{};
  int frames = 0;
};

double Percentile(std::vector<double> sorted, double p) {
  std::sort(sorted.begin(), sorted.end());
  const auto at = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[at];
}

void BM_StatusQueryRoundTrip(benchmark::State& state) {
  InstantUnit unit;
  MemorySerialPort port{unit};
  ShownErrors errors;
  CountFrames sink;
  SerialLink* linkPtr = nullptr;
  SyncNotifier notifier{[&](LinkNotice notice) {
    if (notice == LinkNotice::kReceived) DecodeReceivedBytes(*linkPtr, sink.channel, sink);
  }};
  SerialLink link{port, errors};
  linkPtr = &link;
  if (!link.OpenLink(notifier, kDefaultPortSettings)) {
    state.SkipWithError("open failed");
    return;
  }

  // Queries come at random moments against the workers' 20 ms rhythm, as an
  // operator's clicks would.
  std::mt19937 rng(42);
  std::uniform_int_distribution<uint32_t> jitterMs(0, kWorkerPauseMs - 1);
  std::vector<double> latencies;
  latencies.reserve(static_cast<size_t>(state.max_iterations));
  bool lost = false;
  for (auto _ : state) {
    notifier.ServeUntil([] { return false; }, jitterMs(rng));
    ClearResponses(sink.channel);
    const int before = sink.frames;
    const Clock::time_point start = Clock::now();
    link.QueueTransmit(kStatusQuery, sizeof kStatusQuery);
    lost = !notifier.ServeUntil([&] { return sink.frames > before; }, 1000) || lost;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(seconds);
    latencies.push_back(seconds * 1000.0);
  }
  link.CloseLink(true);
  if (lost) state.SkipWithError("an answer was lost");

  const double bound = 2.0 * kWorkerPauseMs;
  const double worst = Percentile(latencies, 1.0);
  state.counters["median_ms"] = Percentile(latencies, 0.5);
  state.counters["p95_ms"] = Percentile(latencies, 0.95);
  state.counters["max_ms"] = worst;
  state.counters["pauses_ms"] = bound;
  // What the link adds beyond the two pauses, at worst.
  state.counters["own_ms"] = std::max(0.0, worst - bound);
}
BENCHMARK(BM_StatusQueryRoundTrip)->UseManualTime()->Iterations(300)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

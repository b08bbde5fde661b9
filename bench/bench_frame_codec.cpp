// Decoding speed of the receive side: a stream of row answers as a work test
// produces them, with a little line noise between frames, the queue taken
// whenever it fills.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "link/frame_codec.h"

namespace {

std::vector<uint8_t> RowStream(int frames) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> s;
  for (int i = 0; i < frames; ++i) {
    uint8_t f[20] = {kStx, 0x11, 'W', 'D', static_cast<uint8_t>(1 + i % 104)};
    for (int k = 5; k < 18; ++k) f[k] = static_cast<uint8_t>(byte(rng));
    f[18] = kEtx;
    unsigned sum = 0;
    for (int k = 1; k < 19; ++k) sum += f[k];
    f[19] = static_cast<uint8_t>(sum);
    s.insert(s.end(), f, f + 20);
    // About one noise byte per frame (5 %), never an STX so every frame counts.
    for (int n = byte(rng) % 3; n > 0; --n) {
      uint8_t noise = static_cast<uint8_t>(byte(rng));
      s.push_back(noise == kStx ? uint8_t{0} : noise);
    }
  }
  return s;
}

void BM_FeedByteRowStream(benchmark::State& state) {
  const int frames = 4096;
  const std::vector<uint8_t> stream = RowStream(frames);
  static ResponseChannel channel;
  ResponseRecord record;
  int64_t accepted = 0;
  for (auto _ : state) {
    for (uint8_t b : stream) {
      if (ResponseQueueFull(channel.queue))
        while (TakeResponse(channel.queue, record)) benchmark::DoNotOptimize(record);
      accepted += FeedByte(channel, b) ? 1 : 0;
    }
  }
  if (accepted != frames * static_cast<int64_t>(state.iterations())) state.SkipWithError("frames lost");
  state.SetBytesProcessed(static_cast<int64_t>(stream.size()) * static_cast<int64_t>(state.iterations()));
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(accepted), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FeedByteRowStream);

}  // namespace

BENCHMARK_MAIN();

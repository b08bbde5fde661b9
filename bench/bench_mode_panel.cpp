// A whole 1 on 1 exchange as the operator sees it, from pressing Start to the
// Result box: the panel opens the link, sends OneOnOneStart, the simulated
// unit answers at once through the in-memory port, the link's workers carry
// the bytes, and the panel decodes, dispatches and evaluates them.
//
// The floor of a real exchange is the link's polling (the transmit worker's
// and the idle receive worker's 20 ms pauses, at most 40 ms together) plus the
// frames' time on the wire at 38,400 bit/s, 10 bits a byte. The memory port
// has no wire time, so the measured latency is polling and the program's own
// work; own_ms is the time the window thread spent in the panel's handlers
// (Start with the link's opening, every received-bytes notice, every
// dispatch) up to the result, which must stay under 5 ms.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "support/panel_rig.h"

namespace {

using Clock = std::chrono::steady_clock;

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto at = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[at];
}

// Called when the Result box text changes: the moment the operator sees the
// result, and the panel's own time up to it (the handler running now
// included, the exchange's close after it excluded).
struct ResultClock {
  PanelRig* rig = nullptr;
  Clock::time_point at{};
  Clock::duration own{};
  bool set = false;
  static void Mark(void* self) {
    auto* c = static_cast<ResultClock*>(self);
    if (c->set) return;
    c->at = Clock::now();
    c->own = c->rig->handling + (c->at - c->rig->handlingSince);
    c->set = true;
  }
};

void BM_OneOnOneExchange(benchmark::State& state) {
  const bool faulty = state.range(0) != 0;
  auto rig = std::make_unique<PanelRig>();
  rig->Unit([&](TesterModel& m) {
    if (faulty) m.PlugNothing();  // all 50 CN-A pins open: 50 rows and the end
    else m.PlugStraight(50);
  });
  ResultClock result;
  result.rig = rig.get();
  rig->widgets.onResult = ResultClock::Mark;
  rig->widgets.onResultContext = &result;

  std::vector<double> latency;
  std::vector<double> own;
  std::vector<double> startOnly;
  std::vector<double> close;
  bool failed = false;
  for (auto _ : state) {
    result.set = false;
    rig->handling = {};
    const Clock::time_point start = Clock::now();
    rig->panel.OnCommand(kOneOnOneStart, 0);
    const Clock::duration startWork = Clock::now() - start;
    // The Start itself empties the box; the result is the next text.
    result.set = false;
    if (!rig->RunUntil([&] { return result.set; }, 2000)) failed = true;
    state.SetIterationTime(std::chrono::duration<double>(result.at - start).count());
    latency.push_back(std::chrono::duration<double, std::milli>(result.at - start).count());
    startOnly.push_back(std::chrono::duration<double, std::milli>(startWork).count());
    own.push_back(std::chrono::duration<double, std::milli>(startWork + result.own).count());
    // The stop closes the link and enables Start again: after the result.
    rig->RunUntil([&] { return rig->app.LinkOpen == 0 && rig->widgets.IsEnabled(kOneOnOneStart); }, 2000);
    close.push_back(std::chrono::duration<double, std::milli>(Clock::now() - result.at).count());
  }
  const bool expected = rig->widgets.texts[kResultBox] == (faulty ? u"NG" : u"OK");
  if (failed || !expected) state.SkipWithError("an exchange did not end with the expected result");

  const double bytes = 6.0 + (faulty ? 50.0 * 20.0 : 0.0) + 6.0;
  const double wireMs = bytes * 10.0 / 38400.0 * 1000.0;
  const double pausesMs = 2.0 * kWorkerPauseMs;
  state.counters["median_ms"] = Percentile(latency, 0.5);
  state.counters["max_ms"] = Percentile(latency, 1.0);
  state.counters["pauses_ms"] = pausesMs;
  state.counters["wire_ms"] = wireMs;
  state.counters["floor_ms"] = pausesMs + wireMs;
  state.counters["own_median_ms"] = Percentile(own, 0.5);
  state.counters["own_max_ms"] = Percentile(own, 1.0);
  state.counters["start_median_ms"] = Percentile(startOnly, 0.5);
  state.counters["close_median_ms"] = Percentile(close, 0.5);
}
BENCHMARK(BM_OneOnOneExchange)
    ->ArgName("faulty")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(100)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

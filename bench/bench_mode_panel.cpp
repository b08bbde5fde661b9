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

#include "link/commands.h"
#include "support/panel_rig.h"
#include "support/pins.h"
#include "support/unit_frames.h"

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
  rig->unit.With([&](TesterModel& m) {
    if (faulty) m.PlugNothing();  // all 50 CN-A pins open: 50 rows and the end
    else m.PlugStraight(50);
  });
  ResultClock result;
  result.rig = rig.get();
  rig->onResult = [&result] { ResultClock::Mark(&result); };

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
    rig->RunUntil([&] { return rig->app.LinkOpen == 0 && rig->IsEnabled(kOneOnOneStart); }, 2000);
    close.push_back(std::chrono::duration<double, std::milli>(Clock::now() - result.at).count());
  }
  const bool expected = rig->texts[kResultBox] == (faulty ? u"NG" : u"OK");
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

// A Probe+ test with the unit streaming ProbeState back to back at 38,400
// bit/s (about 200 frames a second), the probe moving every 50 ms, for
// `seconds`. Every frame the unit put on the line must reach the dispatch
// (lag_frames: those still on their way when the count is taken), none may be
// dropped or counted as damage, and the window thread's share of the time
// (busy_share, its handlers' time over the wall time) must stay small.
void BM_ProbeStreamAtLineRate(benchmark::State& state) {
  const auto seconds = static_cast<int>(state.range(0));
  for (auto _ : state) {
    auto rig = std::make_unique<PanelRig>();
    rig->unit.With([](TesterModel& m) {
      m.SetLineSpeed(38400);
      m.SetProbePeriodMs(0);
    });
    rig->app.CurrentMode = kProbePlus;
    rig->panel.ApplyModeLayout();
    rig->panel.OnCommand(kProbePlusStartButton, 0);
    rig->handling = {};
    const Clock::time_point began = Clock::now();
    unsigned pin = 0;
    while (Clock::now() - began < std::chrono::seconds(seconds)) {
      const uint64_t now = rig->unit.NowMs();
      const PinSet reach = Pins({pin % kPinCount, (pin + 50) % kPinCount});
      rig->unit.With([&](TesterModel& m) {
        m.ClearProbeScript();
        m.ProbeAt(now, reach);
      });
      ++pin;
      rig->RunFor(50);
    }
    const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - began).count();
    const double busyMs = std::chrono::duration<double, std::milli>(rig->handling).count();
    const uint32_t sent = rig->unit.With([](TesterModel& m) { return m.SentFrames(); });
    const uint32_t dispatched = rig->panel.DispatchedRecords();
    const Clock::time_point finish = Clock::now();
    rig->panel.OnCommand(kProbePlusFinishButton, 0);
    rig->RunUntil([&] {
      for (const FrameBytes& f : rig->unit.HostFrames())
        if (f == AsBytes(kProbeFinish)) return true;
      return false;
    });
    const double stopMs = std::chrono::duration<double, std::milli>(Clock::now() - finish).count();
    const bool whole = rig->channel.dropped == 0 && rig->link.Damage() == 0 && rig->errors.codes.empty();
    if (!whole) state.SkipWithError("frames dropped, damage counted or an error shown");
    state.counters["sent"] = sent;
    state.counters["dispatched"] = dispatched;
    state.counters["lag_frames"] = static_cast<double>(sent) - static_cast<double>(dispatched);
    state.counters["frames_per_s"] = sent / (wallMs / 1000.0);
    state.counters["busy_share"] = busyMs / wallMs;
    state.counters["stop_ms"] = stopMs;
    state.counters["repaints_per_s"] = rig->repaints / (wallMs / 1000.0);
  }
}
BENCHMARK(BM_ProbeStreamAtLineRate)->ArgName("seconds")->Arg(60)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();

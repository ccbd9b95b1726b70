// How cheap is a clock read? The frame loop reads it after every phase.
#include <benchmark/benchmark.h>

#include "platform/timebase.h"

static void bm_time_now(benchmark::State& state) {
  int s, us;
  for (auto _ : state) {
    time_now(&s, &us);
    benchmark::DoNotOptimize(s);
    benchmark::DoNotOptimize(us);
  }
}
BENCHMARK(bm_time_now);

BENCHMARK_MAIN();

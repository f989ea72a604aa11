// What a host pays per call for the name lookup every engine operation starts with.
#include <benchmark/benchmark.h>

#include <string>

#include "engine/osd.h"

namespace {

// Find in a registry of 1,000 components; the name looked up was added first, so it sits at
// the back and the walk is the longest one.
void BM_Find1000Back(benchmark::State &state) {
  vx::TOSD osd;
  for (int i = 0; i < 1000; ++i) osd.AddComponent("component_" + std::to_string(i), vx::eosdPanel);
  const std::string name = "component_0";
  for (auto _ : state) benchmark::DoNotOptimize(osd.Registry().Find(name));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Find1000Back);

void BM_Find1000Missing(benchmark::State &state) {
  vx::TOSD osd;
  for (int i = 0; i < 1000; ++i) osd.AddComponent("component_" + std::to_string(i), vx::eosdPanel);
  const std::string name = "no_such_component";
  for (auto _ : state) benchmark::DoNotOptimize(osd.Registry().Find(name));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Find1000Missing);

}  // namespace

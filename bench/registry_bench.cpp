// What one registry call costs a host as the registry grows: finding, colouring, adding and
// deleting a component among 10 and among 100,000 components, each of which has a colour
// level recorded (as a host that colours every component it adds). Each figure is per call
// and should not grow with the registry.
#include <benchmark/benchmark.h>

#include <deque>
#include <map>
#include <memory>
#include <string>

#include "engine/osd.h"

namespace {

// One engine per registry size, built once and shared by the benchmarks of that size; every
// benchmark leaves it with the same components (possibly in another order).
struct Scene {
  vx::TOSD osd;
  std::deque<std::string> oldest_first;  // the registry's names, back (oldest) to front

  explicit Scene(int count) {
    for (int i = 0; i < count; ++i) Add("component_" + std::to_string(i));
  }
  void Add(const std::string &name) {
    osd.AddComponent(name, vx::eosdPanel);
    osd.SetComponent_Color(name, 0xFFFFFF, 255);
    oldest_first.push_back(name);
  }
};

Scene &SceneOf(int count) {
  static std::map<int, std::unique_ptr<Scene>> scenes;
  auto &scene = scenes[count];
  if (!scene) scene = std::make_unique<Scene>(count);
  return *scene;
}

// Every call starts with this lookup; the oldest component sits at the back of the registry.
void BM_RegistryFindOldest(benchmark::State &state) {
  Scene &scene = SceneOf(static_cast<int>(state.range(0)));
  const std::string name = scene.oldest_first.front();
  for (auto _ : state) benchmark::DoNotOptimize(scene.osd.SetComponent_Pos(name, 1, 2, 3, 4));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistryFindOldest)->Arg(10)->Arg(100000);

// A colour setting: the component's colour and one level record, two colours in turn.
void BM_RegistryColorOldest(benchmark::State &state) {
  Scene &scene = SceneOf(static_cast<int>(state.range(0)));
  const std::string name = scene.oldest_first.front();
  vx::TColor color = 0xFFFFFF;
  for (auto _ : state) {
    color ^= 0xFFFFFF ^ 0x0000FF;
    benchmark::DoNotOptimize(scene.osd.SetComponent_Color(name, color, 128));
  }
  scene.osd.SetComponent_Color(name, 0xFFFFFF, 255);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistryColorOldest)->Arg(10)->Arg(100000);

// Adding a component (with its colour) and deleting it again: the newest, at the front.
void BM_RegistryAddColorDeleteNewest(benchmark::State &state) {
  Scene &scene = SceneOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    scene.osd.AddComponent("extra", vx::eosdPanel);
    scene.osd.SetComponent_Color("extra", 0x0000FF, 200);
    benchmark::DoNotOptimize(scene.osd.DelComponent("extra"));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistryAddColorDeleteNewest)->Arg(10)->Arg(100000);

// Deleting oldest first, as a host tearing a scene down in the order it built it; the
// component is added back (with its colour) at the front so the registry keeps its size.
void BM_RegistryDeleteOldestAddBack(benchmark::State &state) {
  Scene &scene = SceneOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const std::string name = std::move(scene.oldest_first.front());
    scene.oldest_first.pop_front();
    benchmark::DoNotOptimize(scene.osd.DelComponent(name));
    scene.Add(name);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistryDeleteOldestAddBack)->Arg(10)->Arg(100000);

}  // namespace

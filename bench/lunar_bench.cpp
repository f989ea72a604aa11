// Lunar conversion costs: one pass over every convertible day (1900-01-31 .. 2100-12-31),
// reported per day converted.
#include <benchmark/benchmark.h>

#include "lunar/festival.h"
#include "lunar/lunardate.h"

namespace {

constexpr double kFirst = vx::kFirstLunarDate;
constexpr double kLast = vx::kLunarDateLimit - 1.0;
constexpr std::int64_t kDays = static_cast<std::int64_t>(kLast - kFirst) + 1;

void BM_SolarToLunar_AllDays(benchmark::State &state) {
  for (auto _ : state) {
    for (double x = kFirst; x <= kLast; x += 1.0) benchmark::DoNotOptimize(vx::SolarToLunar(x));
  }
  state.SetItemsProcessed(state.iterations() * kDays);
}
BENCHMARK(BM_SolarToLunar_AllDays)->Unit(benchmark::kMillisecond);

// What the clock pays each second for its lunar line: conversion and the three names.
void BM_LunarText_AllDays(benchmark::State &state) {
  for (auto _ : state) {
    for (double x = kFirst; x <= kLast; x += 1.0) {
      std::string s = vx::LunarDateName(vx::SolarToLunar(x));
      benchmark::DoNotOptimize(s);
    }
  }
  state.SetItemsProcessed(state.iterations() * kDays);
}
BENCHMARK(BM_LunarText_AllDays)->Unit(benchmark::kMillisecond);

void BM_GetFestival_AllDays(benchmark::State &state) {
  vx::TFestivalList list;
  for (auto _ : state) {
    for (double x = kFirst; x <= kLast; x += 1.0) benchmark::DoNotOptimize(vx::GetFestival(list, x));
  }
  state.SetItemsProcessed(state.iterations() * kDays);
}
BENCHMARK(BM_GetFestival_AllDays)->Unit(benchmark::kMillisecond);

void BM_SolarTermName_AllDays(benchmark::State &state) {
  for (auto _ : state) {
    for (double x = kFirst; x <= kLast; x += 1.0) benchmark::DoNotOptimize(vx::SolarTermName(x));
  }
  state.SetItemsProcessed(state.iterations() * kDays);
}
BENCHMARK(BM_SolarTermName_AllDays)->Unit(benchmark::kMillisecond);

}  // namespace

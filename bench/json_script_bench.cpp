// Running scripts of 1,000, 10,000 and 100,000 elements of four shapes. The
// time should grow linearly with the script: ten times the elements, at most
// eleven times the time. ExecCommand on the script read beforehand times the
// evaluator alone; reading the same text alone is the peer that shows how
// much of Eval is the reader's.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "json/json_reader.h"
#include "json/json_script.h"

namespace {

using comsvc::cJSONScript;

std::u16string Number(int64_t i) {
  const std::string digits = std::to_string(i);
  return std::u16string(digits.begin(), digits.end());
}

// A script of `elements` values, each made by `element(i)`.
template <typename Element>
std::u16string Script(int64_t elements, Element element) {
  std::u16string text = u"[";
  for (int64_t i = 0; i < elements; ++i) {
    if (i > 0) text += u",\n";
    text += element(i);
  }
  return text + u"]";
}

std::u16string Texts(int64_t n) {
  return Script(n, [](int64_t i) { return u"\"line " + Number(i) + u"\\n\""; });
}

// Three values per element: ["a", ["b", ["c"]]] with its two inner arrays.
std::u16string NestedArrays(int64_t n) {
  return Script(n / 3, [](int64_t i) { return u"[\"a" + Number(i) + u"\", [\"b\", [\"c\"]]]"; });
}

// A "set" of a new variable, then its "get": two steps per pair.
std::u16string SetGet(int64_t n) {
  return Script(n / 2, [](int64_t i) {
    const std::u16string name = u"\"v" + Number(i) + u"\"";
    return u"{\"set\": {\"name\": " + name + u", \"value\": \"x\"}}, {\"get\": {\"name\": " + name + u"}}";
  });
}

// Switches of 100 items each, the last item matching.
std::u16string Switches(int64_t n) {
  return Script(n / 100, [](int64_t) {
    std::u16string items;
    for (int k = 0; k < 100; ++k) {
      if (k > 0) items += u",";
      items += u"{\"case\": \"c" + Number(k) + u"\", \"return\": \"r" + Number(k) + u"\"}";
    }
    return u"{\"switch\": {\"case\": \"C99\", \"default\": \"none\", \"items\": [" + items + u"]}}";
  });
}

void RunEval(benchmark::State& state, std::u16string (*make)(int64_t)) {
  const std::u16string script = make(state.range(0));
  for (auto _ : state) {
    cJSONScript instance;
    benchmark::DoNotOptimize(instance.Eval(script));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The evaluator alone: the script is read once, outside the timing.
void RunExecCommand(benchmark::State& state, std::u16string (*make)(int64_t)) {
  const comsvc::Value root = comsvc::JSON::ReadJson(make(state.range(0)));
  for (auto _ : state) {
    cJSONScript instance;
    benchmark::DoNotOptimize(instance.ExecCommand(root));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void RunReadOnly(benchmark::State& state, std::u16string (*make)(int64_t)) {
  const std::u16string script = make(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(comsvc::JSON::ReadJson(script));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// With repetitions, the fastest run is the figure that other work on the
// machine disturbs least.
double Fastest(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

#define SCRIPT_BENCHMARK(run, shape)                 \
  BENCHMARK_CAPTURE(run, shape, shape)               \
      ->RangeMultiplier(10)                          \
      ->Range(1000, 100000)                          \
      ->ComputeStatistics("min", Fastest)            \
      ->Unit(benchmark::kMillisecond)
#define SCRIPT_BENCHMARKS(shape)         \
  SCRIPT_BENCHMARK(RunEval, shape);      \
  SCRIPT_BENCHMARK(RunExecCommand, shape); \
  SCRIPT_BENCHMARK(RunReadOnly, shape)

SCRIPT_BENCHMARKS(Texts);
SCRIPT_BENCHMARKS(NestedArrays);
SCRIPT_BENCHMARKS(SetGet);
SCRIPT_BENCHMARKS(Switches);

}  // namespace

BENCHMARK_MAIN();

// Running scripts of 1,000, 10,000 and 100,000 elements of four shapes. The
// time should grow linearly with the script: ten times the elements, at most
// eleven times the time. ExecCommand on the script read beforehand times the
// evaluator alone, and ReadJson the reader alone. RapidJSON building its own
// tree of the same text is the peer: its growth is what this machine's
// memory makes of a tree ten times larger.
//
// Each figure is the fastest of several repetitions, the runs of all sizes
// interleaved at random, so that other work on the machine weighs on every
// size alike. A table of the growth follows the runs.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <comsvc/json_reader.h>
#include <comsvc/json_script.h>

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

using Shape = std::u16string (*)(int64_t);

void RunEval(benchmark::State& state, Shape make) {
  const std::u16string script = make(state.range(0));
  for (auto _ : state) {
    cJSONScript instance;
    benchmark::DoNotOptimize(instance.Eval(script));
  }
}

// The script is read once, outside the timing.
void RunExecCommand(benchmark::State& state, Shape make) {
  const comsvc::Value root = comsvc::JSON::ReadJson(make(state.range(0)));
  for (auto _ : state) {
    cJSONScript instance;
    benchmark::DoNotOptimize(instance.ExecCommand(root));
  }
}

void RunReadJson(benchmark::State& state, Shape make) {
  const std::u16string script = make(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(comsvc::JSON::ReadJson(script));
}

void RunRapidJson(benchmark::State& state, Shape make) {
  const std::u16string script = make(state.range(0));
  for (auto _ : state) {
    rapidjson::GenericDocument<rapidjson::UTF16<char16_t>> root;
    root.Parse(script.c_str());
    if (root.HasParseError()) state.SkipWithError("RapidJSON could not read the script");
    benchmark::DoNotOptimize(root);
  }
}

double Fastest(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

const std::pair<const char*, Shape> kShapes[] = {
    {"Texts", Texts}, {"NestedArrays", NestedArrays}, {"SetGet", SetGet}, {"Switches", Switches}};
const std::pair<const char*, void (*)(benchmark::State&, Shape)> kRunners[] = {
    {"Eval", RunEval}, {"ExecCommand", RunExecCommand}, {"ReadJson", RunReadJson}, {"rapidjson", RunRapidJson}};

// Prints as the console does, and keeps each fastest time for the table.
class GrowthReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      const bool fastest = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
      if (run.error_occurred || !(single || fastest)) continue;
      // function_name is "runner/shape", args "elements".
      times_[run.run_name.function_name][std::stol(run.run_name.args)] = run.GetAdjustedRealTime();
    }
  }

  void PrintGrowth() const {
    std::printf("\n%-26s %10s %10s %10s %9s %9s\n", "ms", "1000", "10000", "100000", "x 1k-10k", "x 10k-100k");
    for (const auto& [name, by_size] : times_) {
      auto at = [&](long size) {
        auto it = by_size.find(size);
        return it == by_size.end() ? 0.0 : it->second;
      };
      const double small = at(1000), medium = at(10000), large = at(100000);
      std::printf("%-26s %10.3f %10.3f %10.3f %9.2f %9.2f\n", name.c_str(), small, medium, large,
                  small > 0 ? medium / small : 0.0, medium > 0 ? large / medium : 0.0);
    }
  }

 private:
  std::map<std::string, std::map<long, double>> times_;
};

}  // namespace

int main(int argc, char** argv) {
  for (const auto& [shape_name, shape] : kShapes) {
    for (const auto& [runner_name, runner] : kRunners) {
      benchmark::RegisterBenchmark((std::string(runner_name) + "/" + shape_name).c_str(), runner, shape)
          ->RangeMultiplier(10)
          ->Range(1000, 100000)
          ->ComputeStatistics("min", Fastest)
          ->Unit(benchmark::kMillisecond);
    }
  }
  // Defaults that the command line may override, as later flags win.
  std::vector<char*> args = {argv[0], const_cast<char*>("--benchmark_repetitions=10"),
                             const_cast<char*>("--benchmark_enable_random_interleaving=true"),
                             const_cast<char*>("--benchmark_report_aggregates_only=true")};
  args.insert(args.end(), argv + 1, argv + argc);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  GrowthReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintGrowth();
  benchmark::Shutdown();
}

// Reading the classic JSON documents: ReadJson against nlohmann::ordered_json
// (on the UTF-8 bytes) and RapidJSON's UTF-16 DOM (on the same UTF-16 text
// that ReadJson reads). Throughput is counted in bytes of the UTF-8 file.
// After the runs a table gives each file's ratios against the peers.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <comsvc/utf8.h>
#include <comsvc/json_reader.h>

namespace {

namespace fs = std::filesystem;

struct Document {
  std::string name;
  std::string utf8;
  std::u16string utf16;
};

const char* const kFiles[] = {"canada.json",    "citm_catalog.json", "github_events.json", "gsoc-2018.json",
                              "mesh.json",      "twitter.json",      "update-center.json"};

// The copy whose large integers read as doubles where there is one, so that
// a 32-bit integer reader reads the whole document.
fs::path DocumentPath(const std::string& name) {
  const fs::path data = COMSVC_BENCH_DATA_DIR;
  const fs::path widened = data / "json-int32" / name;
  return fs::exists(widened) ? widened : data / "json" / name;
}

std::vector<Document> LoadDocuments() {
  std::vector<Document> documents;
  for (const char* name : kFiles) {
    std::ifstream in(DocumentPath(name), std::ios::binary);
    Document d{name, std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), {}};
    d.utf16 = comsvc::Utf8ToUtf16(d.utf8);
    documents.push_back(std::move(d));
  }
  return documents;
}

void ReadWithComsvc(benchmark::State& state, const Document* d) {
  comsvc::JSON::ReadJson(d->utf16);
  if (!comsvc::JSON::ReaderErrors().empty()) {
    state.SkipWithError(comsvc::EncodeUtf8(comsvc::JSON::ReaderErrors()).c_str());
    return;
  }
  for (auto _ : state) {
    comsvc::Value root = comsvc::JSON::ReadJson(d->utf16);
    benchmark::DoNotOptimize(root);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d->utf8.size()));
}

void ReadWithNlohmann(benchmark::State& state, const Document* d) {
  for (auto _ : state) {
    nlohmann::ordered_json root = nlohmann::ordered_json::parse(d->utf8);
    benchmark::DoNotOptimize(root);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d->utf8.size()));
}

void ReadWithRapidJson(benchmark::State& state, const Document* d) {
  using Utf16Document = rapidjson::GenericDocument<rapidjson::UTF16<char16_t>>;
  for (auto _ : state) {
    Utf16Document root;
    root.Parse(d->utf16.c_str());
    if (root.HasParseError()) state.SkipWithError("RapidJSON could not read the document");
    benchmark::DoNotOptimize(root);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d->utf8.size()));
}

const char* const kComsvc = "ReadJson";
const char* const kNlohmann = "nlohmann_ordered_json";
const char* const kRapidJson = "rapidjson_utf16_dom";

// Prints as the console does, and keeps each run's throughput for the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // With repetitions, the median stands for the file.
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      auto rate = run.counters.find("bytes_per_second");
      if (run.error_occurred || !(single || median) || rate == run.counters.end()) continue;
      const std::string name = run.run_name.function_name;
      const size_t slash = name.find('/');
      rates_[name.substr(slash + 1)][name.substr(0, slash)] = rate->second.value / 1e6;
    }
  }

  void PrintRatios() const {
    std::printf("\n%-20s %10s %10s %10s %12s %12s\n", "file (MB/s)", kComsvc, "nlohmann", "rapidjson", "x nlohmann",
                "x rapidjson");
    for (const auto& [file, by_reader] : rates_) {
      auto get = [&](const char* reader) {
        auto it = by_reader.find(reader);
        return it == by_reader.end() ? 0.0 : it->second;
      };
      const double ours = get(kComsvc), nlohmann = get(kNlohmann), rapid = get(kRapidJson);
      std::printf("%-20s %10.1f %10.1f %10.1f %12.2f %12.2f\n", file.c_str(), ours, nlohmann, rapid,
                  nlohmann > 0 ? ours / nlohmann : 0.0, rapid > 0 ? ours / rapid : 0.0);
    }
  }

 private:
  std::map<std::string, std::map<std::string, double>> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  static const std::vector<Document> documents = LoadDocuments();
  for (const Document& d : documents) {
    benchmark::RegisterBenchmark((std::string(kComsvc) + "/" + d.name).c_str(), ReadWithComsvc, &d)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string(kNlohmann) + "/" + d.name).c_str(), ReadWithNlohmann, &d)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string(kRapidJson) + "/" + d.name).c_str(), ReadWithRapidJson, &d)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}

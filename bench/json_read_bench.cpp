// Reading the classic JSON documents: ReadJson of UTF-16 text against
// RapidJSON's UTF-16 DOM on the same text, and ReadJson_utf8, ReadJson of
// the UTF-8 bytes as they are, against RapidJSON's UTF-8 DOM and simdjson's
// DOM (when built with it) on the same bytes; nlohmann::ordered_json reads
// the UTF-8 bytes too. Throughput is counted in bytes of the UTF-8 file.
// After the runs a table gives each file's ratios against the peers, the
// memory each tree holds against RapidJSON's, and whether the targets are met.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <malloc.h>
#include <map>
#include <new>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#ifdef COMSVC_BENCH_SIMDJSON
#include <simdjson.h>
#endif

#include <comsvc/utf8.h>
#include <comsvc/json_reader.h>

// While a tree is being measured, every block from operator new counts by
// the size the heap gave it, as RapidJSON's pool counts its capacity; the
// rest of the time the hook costs one test.
namespace {
std::atomic<bool> counting{false};
std::atomic<long long> live_bytes{0};

size_t BlockSize(void* block) {
#ifdef _WIN32
  return _msize(block);
#else
  return malloc_usable_size(block);
#endif
}
}  // namespace

void* operator new(size_t bytes) {
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) throw std::bad_alloc();
  if (counting.load(std::memory_order_relaxed)) live_bytes += static_cast<long long>(BlockSize(block));
  return block;
}
// The hook's own operator new takes its blocks from malloc.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept {
  if (block != nullptr && counting.load(std::memory_order_relaxed)) live_bytes -= static_cast<long long>(BlockSize(block));
  std::free(block);
}
void operator delete(void* block, size_t) noexcept { operator delete(block); }
#ifndef _WIN32
// Aligned blocks (the document arena's chunks) count the same way.
void* operator new(size_t bytes, std::align_val_t align) {
  void* block = nullptr;
  if (posix_memalign(&block, static_cast<size_t>(align), bytes == 0 ? 1 : bytes) != 0) throw std::bad_alloc();
  if (counting.load(std::memory_order_relaxed)) live_bytes += static_cast<long long>(BlockSize(block));
  return block;
}
void operator delete(void* block, std::align_val_t) noexcept { operator delete(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { operator delete(block); }
#endif

namespace {

namespace fs = std::filesystem;
using Utf16Document = rapidjson::GenericDocument<rapidjson::UTF16<char16_t>>;

struct Document {
  std::string name;
  std::string utf8;
  std::u16string utf16;
#ifdef COMSVC_BENCH_SIMDJSON
  simdjson::padded_string padded;  // the UTF-8 bytes with the padding simdjson reads past their end
#endif
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
    Document d;
    d.name = name;
    d.utf8.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    d.utf16 = comsvc::Utf8ToUtf16(d.utf8);
#ifdef COMSVC_BENCH_SIMDJSON
    d.padded = simdjson::padded_string(d.utf8);
#endif
    documents.push_back(std::move(d));
  }
  return documents;
}

// ReadJson of the document's UTF-16 text (`Text` = &Document::utf16) or of
// its UTF-8 bytes as they are (&Document::utf8).
template <auto Text>
void ReadWithComsvc(benchmark::State& state, const Document* d) {
  comsvc::JSON::ReadJson(d->*Text);
  if (!comsvc::JSON::ReaderErrors().empty()) {
    state.SkipWithError(comsvc::EncodeUtf8(comsvc::JSON::ReaderErrors()).c_str());
    return;
  }
  for (auto _ : state) {
    comsvc::Value root = comsvc::JSON::ReadJson(d->*Text);
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
  for (auto _ : state) {
    Utf16Document root;
    root.Parse(d->utf16.c_str());
    if (root.HasParseError()) state.SkipWithError("RapidJSON could not read the document");
    benchmark::DoNotOptimize(root);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d->utf8.size()));
}

void ReadWithRapidJsonUtf8(benchmark::State& state, const Document* d) {
  for (auto _ : state) {
    rapidjson::Document root;
    root.Parse(d->utf8.c_str(), d->utf8.size());
    if (root.HasParseError()) state.SkipWithError("RapidJSON could not read the document");
    benchmark::DoNotOptimize(root);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d->utf8.size()));
}

#ifdef COMSVC_BENCH_SIMDJSON
// One parser for all the reads, as simdjson is meant to be used: it keeps
// its buffers from one document to the next.
void ReadWithSimdjson(benchmark::State& state, const Document* d) {
  simdjson::dom::parser parser;
  for (auto _ : state) {
    simdjson::dom::element root;
    if (parser.parse(d->padded).get(root)) state.SkipWithError("simdjson could not read the document");
    benchmark::DoNotOptimize(root);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d->utf8.size()));
}
#endif

// The bytes a read tree holds: the blocks that the read leaves allocated,
// counted on a thread of its own so that no memory kept from an earlier
// read on the same thread is reused unseen. A first read, kept alive, sets
// up the thread's scratch stacks, which are the reader's and not the tree's.
double TreeBytes(const Document& d) {
  long long held = 0;
  std::thread([&] {
    const comsvc::Value first = comsvc::JSON::ReadJson(d.utf16);
    live_bytes = 0;
    counting = true;
    const comsvc::Value root = comsvc::JSON::ReadJson(d.utf16);
    held = live_bytes.load();
    counting = false;
  }).join();
  return static_cast<double>(held);
}

// RapidJSON's tree lies in its pool allocator, which reports its capacity.
double RapidJsonTreeBytes(const Document& d) {
  Utf16Document root;
  root.Parse(d.utf16.c_str());
  return static_cast<double>(root.GetAllocator().Capacity());
}

// Memory held by each document's tree, ours over RapidJSON's.
std::map<std::string, double> MemoryRatios(const std::vector<Document>& documents) {
  std::map<std::string, double> ratios;
  for (const Document& d : documents) ratios[d.name] = TreeBytes(d) / RapidJsonTreeBytes(d);
  return ratios;
}

const char* Verdict(bool met) { return met ? "met" : "missed"; }

const char* const kComsvc = "ReadJson";
const char* const kComsvcUtf8 = "ReadJson_utf8";
const char* const kNlohmann = "nlohmann_ordered_json";
const char* const kRapidJson = "rapidjson_utf16_dom";
const char* const kRapidJsonUtf8 = "rapidjson_utf8_dom";
const char* const kSimdjson = "simdjson_dom";

// Prints as the console does, and keeps each reader's fastest repetition on
// each file for the table: on a shared machine the fastest is the figure
// that holds still from run to run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto rate = run.counters.find("bytes_per_second");
      if (run.error_occurred || run.run_type != Run::RT_Iteration || rate == run.counters.end()) continue;
      const std::string name = run.run_name.function_name;
      const size_t slash = name.find('/');
      double& fastest = rates_[name.substr(slash + 1)][name.substr(0, slash)];
      fastest = std::max(fastest, rate->second.value / 1e6);
    }
  }

  // Speed of each file against the peers, memory against RapidJSON, and
  // the targets: ReadJson at least RapidJSON's speed on every file, UTF-16
  // against its UTF-16 DOM and UTF-8 against its UTF-8 DOM, and at most 1.5
  // times its memory; simdjson's is the limit to approach, with no target.
  void PrintRatios(const std::map<std::string, double>& memory) const {
    std::printf("\n%-20s %8s %8s %8s %8s %8s %8s %8s %8s %8s %8s\n", "file (MB/s)", "utf16", "rj16", "x rj16",
                "utf8", "rj8", "x rj8", "simdjson", "x simd", "x nloh", "mem x rj");
    bool utf16_fast = true, utf8_fast = true, all_small = true;
    for (const auto& [file, by_reader] : rates_) {
      auto get = [&](const char* reader) {
        auto it = by_reader.find(reader);
        return it == by_reader.end() ? 0.0 : it->second;
      };
      auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
      const double ours = get(kComsvc), ours8 = get(kComsvcUtf8), rapid = get(kRapidJson),
                   rapid8 = get(kRapidJsonUtf8), simd = get(kSimdjson), nlohmann = get(kNlohmann);
      const auto held = memory.find(file);
      const double mem = held == memory.end() ? 0.0 : held->second;
      utf16_fast = utf16_fast && ratio(ours, rapid) >= 1.0;
      utf8_fast = utf8_fast && ratio(ours8, rapid8) >= 1.0;
      all_small = all_small && mem > 0 && mem <= 1.5;
      std::printf("%-20s %8.0f %8.0f %8.2f %8.0f %8.0f %8.2f %8.0f %8.2f %8.2f %8.2f\n", file.c_str(), ours, rapid,
                  ratio(ours, rapid), ours8, rapid8, ratio(ours8, rapid8), simd, ratio(ours8, simd),
                  ratio(ours, nlohmann), mem);
    }
    const bool ran = !rates_.empty();
    std::printf("\nUTF-16 speed >= 1.0x RapidJSON UTF-16 DOM on every file: %s\n", Verdict(utf16_fast && ran));
    std::printf("UTF-8 speed >= 1.0x RapidJSON UTF-8 DOM on every file: %s\n", Verdict(utf8_fast && ran));
    std::printf("memory <= 1.5x RapidJSON on every file: %s\n", Verdict(all_small && ran));
  }

 private:
  std::map<std::string, std::map<std::string, double>> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  static const std::vector<Document> documents = LoadDocuments();
  for (const Document& d : documents) {
    benchmark::RegisterBenchmark((std::string(kComsvc) + "/" + d.name).c_str(), ReadWithComsvc<&Document::utf16>, &d)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string(kComsvcUtf8) + "/" + d.name).c_str(), ReadWithComsvc<&Document::utf8>,
                                 &d)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string(kNlohmann) + "/" + d.name).c_str(), ReadWithNlohmann, &d)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string(kRapidJson) + "/" + d.name).c_str(), ReadWithRapidJson, &d)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string(kRapidJsonUtf8) + "/" + d.name).c_str(), ReadWithRapidJsonUtf8, &d)
        ->Unit(benchmark::kMillisecond);
#ifdef COMSVC_BENCH_SIMDJSON
    benchmark::RegisterBenchmark((std::string(kSimdjson) + "/" + d.name).c_str(), ReadWithSimdjson, &d)
        ->Unit(benchmark::kMillisecond);
#endif
  }
  // Defaults that the command line may override, as later flags win.
  std::vector<char*> args = {argv[0], const_cast<char*>("--benchmark_repetitions=10"),
                             const_cast<char*>("--benchmark_enable_random_interleaving=true"),
                             const_cast<char*>("--benchmark_min_time=0.2")};
  args.insert(args.end(), argv + 1, argv + argc);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(MemoryRatios(documents));
  benchmark::Shutdown();
  return 0;
}

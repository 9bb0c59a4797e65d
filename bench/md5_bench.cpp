// MD5 speed against peers in the same run:
//   - Md5_File_Calc on a 200 MiB file against OpenSSL's MD5 over the same
//     file read 64 KiB at a time, and against the md5sum program;
//     target: at least 0.9 times OpenSSL's throughput;
//   - Md5_String_Calc on 3-byte and 1 KiB texts against OpenSSL's one-shot
//     MD5 of the same bytes; targets: at most 1.5 times OpenSSL's time for 3
//     bytes, 1.2 times for 1 KiB;
//   - MD5ForServer::MD5 on 1 KiB of ASCII text against the same; target: at
//     most 1.8 times OpenSSL's time.
// The short benchmarks repeat, interleaved, and each is represented by its
// fastest repetition, the one least disturbed by a busy machine. The ratios
// are printed after the table.
#define OPENSSL_SUPPRESS_DEPRECATED  // the low-level MD5 calls are the fastest peer
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <openssl/md5.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <comsvc/value.h>
#include <comsvc/md5_digest.h>
#include <comsvc/md5_function.h>
#include <comsvc/code_page.h>

extern char** environ;

namespace {

constexpr size_t kFileSize = size_t{200} << 20;

std::string& FilePath() {
  static std::string path = "/tmp/comsvc-md5-bench-" + std::to_string(::getpid()) + ".bin";
  return path;
}

void WriteBenchFile() {
  std::FILE* file = std::fopen(FilePath().c_str(), "wb");
  std::vector<unsigned char> chunk(1 << 20);
  uint64_t state = 0x9E3779B97F4A7C15u;
  for (size_t written = 0; written < kFileSize; written += chunk.size()) {
    for (unsigned char& byte : chunk) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      byte = static_cast<unsigned char>(state);
    }
    std::fwrite(chunk.data(), 1, chunk.size(), file);
  }
  // Written back before timing starts, so that no benchmark shares the
  // machine with the kernel's write-back.
  std::fflush(file);
  ::fsync(::fileno(file));
  std::fclose(file);
}

std::u16string AsciiText(size_t length) {
  std::u16string text(length, u' ');
  for (size_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(u'a' + i % 26);
  return text;
}

void FileCalc(benchmark::State& state) {
  const std::u16string path(FilePath().begin(), FilePath().end());
  comsvc::MD5 md5;
  for (auto _ : state) benchmark::DoNotOptimize(md5.Md5_File_Calc(path));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void OpenSslFile(benchmark::State& state) {
  std::vector<unsigned char> buffer(64 * 1024);
  for (auto _ : state) {
    const int fd = ::open(FilePath().c_str(), O_RDONLY);
    MD5_CTX context;
    MD5_Init(&context);
    ssize_t got;
    while ((got = ::read(fd, buffer.data(), buffer.size())) > 0) MD5_Update(&context, buffer.data(), got);
    unsigned char digest[MD5_DIGEST_LENGTH];
    MD5_Final(digest, &context);
    ::close(fd);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void Md5sumProgram(benchmark::State& state) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = "md5sum";
  char* argv[] = {program.data(), FilePath().data(), nullptr};
  for (auto _ : state) {
    pid_t child = 0;
    int status = 0;
    if (posix_spawnp(&child, "md5sum", &actions, nullptr, argv, environ) != 0 ||
        ::waitpid(child, &status, 0) != child || status != 0) {
      state.SkipWithError("md5sum did not run");
      break;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void StringCalc(benchmark::State& state) {
  const std::u16string text = AsciiText(static_cast<size_t>(state.range(0)));
  comsvc::MD5 md5;
  for (auto _ : state) benchmark::DoNotOptimize(md5.Md5_String_Calc(text));
}

void OpenSslOneShot(benchmark::State& state) {
  const std::u16string text = AsciiText(static_cast<size_t>(state.range(0)));
  const std::string bytes(text.begin(), text.end());
  unsigned char digest[MD5_DIGEST_LENGTH];
  for (auto _ : state) {
    MD5(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    benchmark::DoNotOptimize(digest);
  }
}

void ServerMd5(benchmark::State& state) {
  const comsvc::Value message(AsciiText(static_cast<size_t>(state.range(0))));
  const comsvc::Value stype(int32_t{32});
  for (auto _ : state) benchmark::DoNotOptimize(comsvc::MD5ForServer::MD5(message, stype));
}

BENCHMARK(FileCalc)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(OpenSslFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Md5sumProgram)->Unit(benchmark::kMillisecond)->UseRealTime();
constexpr int kRepetitions = 30;

double Fastest(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

// Repeated, with the fastest repetition as the aggregate "min".
void Repeated(benchmark::internal::Benchmark* b) {
  b->Repetitions(kRepetitions)->ComputeStatistics("min", Fastest)->DisplayAggregatesOnly(true);
}

BENCHMARK(StringCalc)->Arg(3)->Arg(1024)->Apply(Repeated);
BENCHMARK(OpenSslOneShot)->Arg(3)->Arg(1024)->Apply(Repeated);
BENCHMARK(ServerMd5)->Arg(1024)->Apply(Repeated);

// Keeps each benchmark's real and CPU time per iteration (the fastest
// repetition when the run repeats), to print the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool fastest = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
      if (run.error_occurred || !(fastest || run.run_type == Run::RT_Iteration)) continue;
      Times& times = times_[Key(run.run_name)];
      if (fastest || !times.fastest) times = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime(), fastest};
    }
  }

  // Prints ours against the peer in real and CPU time, with the target when
  // there is one: throughput ratios are peer time / our time, time ratios
  // our time / peer time.
  void PrintRatio(const std::string& what, const std::string& ours, const std::string& peer, double target,
                  bool throughput, bool peer_in_process = true) const {
    const auto a = times_.find(ours), b = times_.find(peer);
    if (a == times_.end() || b == times_.end()) return;
    const auto ratio = [&](double Times::*time) {
      return throughput ? b->second.*time / a->second.*time : a->second.*time / b->second.*time;
    };
    const double real = ratio(&Times::real), cpu = ratio(&Times::cpu);
    std::printf("%-44s real %5.2f", what.c_str(), real);
    // A peer in a child process spends its CPU time outside this process.
    if (peer_in_process) std::printf("  cpu %5.2f", cpu);
    if (target > 0) {
      const auto met = [&](double r) { return throughput ? r >= target : r <= target; };
      std::printf("   target %s %.2f: %s", throughput ? ">=" : "<=", target,
                  met(real) ? "met" : (met(cpu) ? "met in CPU time only" : "MISSED"));
    }
    std::printf("\n");
  }

 private:
  // The name without its repetition count: "StringCalc/1024", "FileCalc/real_time".
  static std::string Key(const benchmark::BenchmarkName& name) {
    std::string key = name.function_name;
    for (const std::string* part : {&name.args, &name.time_type}) {
      if (!part->empty()) key += "/" + *part;
    }
    return key;
  }

  struct Times {
    double real = 0;
    double cpu = 0;
    bool fastest = false;
  };
  std::map<std::string, Times> times_;
};

}  // namespace

int main(int argc, char** argv) {
  // Repetitions interleave unless told otherwise, so that a busy spell on
  // the machine slows every benchmark alike.
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  argc = static_cast<int>(args.size());
  benchmark::Initialize(&argc, args.data());
  if (benchmark::ReportUnrecognizedArguments(argc, args.data())) return 1;
  comsvc::platform::CodePage::SetCurrent(1252);
  WriteBenchFile();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::remove(FilePath().c_str());

  std::printf("\nRatios against the peer (throughput: ours / peer; time: ours / peer)\n");
  reporter.PrintRatio("file throughput vs OpenSSL (64 KiB reads)", "FileCalc/real_time", "OpenSslFile/real_time",
                      0.9, true);
  reporter.PrintRatio("file throughput vs md5sum", "FileCalc/real_time", "Md5sumProgram/real_time", 0, true,
                      false);
  reporter.PrintRatio("Md5_String_Calc time vs OpenSSL, 3 bytes", "StringCalc/3", "OpenSslOneShot/3", 1.5, false);
  reporter.PrintRatio("Md5_String_Calc time vs OpenSSL, 1 KiB", "StringCalc/1024", "OpenSslOneShot/1024", 1.2,
                      false);
  reporter.PrintRatio("MD5ForServer::MD5 time vs OpenSSL, 1 KiB", "ServerMd5/1024", "OpenSslOneShot/1024", 1.8,
                      false);
  benchmark::Shutdown();
  return 0;
}

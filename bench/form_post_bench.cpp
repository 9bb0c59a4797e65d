// Form posts against a local HTTP server (cpp-httplib in a thread of this
// program): 1,000 forms posted one after the other, each on a new connection,
// by the form post exchange and by libcurl (HTTP/1.0, connection reuse
// forbidden) in the same run. Target: at least as many round trips per second
// as libcurl. The ratio is printed after the table.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include <comsvc/form_post.h>
#include <comsvc/code_page.h>
#include <comsvc/dialogs.h>
#include <comsvc/testing/scripted_dialogs.h>
#include <comsvc/message_loop.h>

namespace {

constexpr int kForms = 1000;

class Server {
 public:
  Server() {
    server_.Post("/form", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content("{\"ok\":true,\"name\":\"" + request.get_param_value("name") + "\"}", "application/json");
    });
    // A URL addresses ports up to 32767 only.
    for (port_ = 21000; port_ <= 32767 && !server_.bind_to_port("127.0.0.1", port_); ++port_) {
    }
    if (port_ > 32767) throw std::runtime_error("no free port");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Server() {
    server_.stop();
    thread_.join();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/form"; }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

Server& TheServer() {
  static Server server;
  return server;
}

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

void ComsvcPost(benchmark::State& state) {
  comsvc::platform::CodePage::SetCurrent(1252);
  comsvc::platform::SetDialogs(std::make_shared<comsvc::platform::ScriptedDialogs>());
  const std::u16string url = Widen(TheServer().Url());
  const std::u16string form = u"name=Jane Doe&city=Z\u00fcrich&note=a+b=c";
  bool ended = false;
  size_t reply_chars = 0;
  comsvc::Remote::PostExchange exchange({.interactive = false,
                                         .reply = [&](const std::u16string& reply) { reply_chars += reply.size(); },
                                         .socket_error = [&](int32_t, const std::u16string&) { ended = true; },
                                         .closed = [&] { ended = true; }});
  auto& loop = comsvc::platform::MessageLoop::Current();
  for (auto _ : state) {
    for (int i = 0; i < kForms; ++i) {
      ended = false;
      exchange.Post(url, form);
      loop.RunUntil([&] { return ended; });
    }
  }
  if (reply_chars == 0) state.SkipWithError("no reply");
  state.SetItemsProcessed(state.iterations() * kForms);
}

size_t KeepReply(char* data, size_t size, size_t count, void* sink) {
  static_cast<std::string*>(sink)->append(data, size * count);
  return size * count;
}

void CurlPost(benchmark::State& state) {
  CURL* curl = curl_easy_init();
  std::string reply;
  // The same body as the exchange sends.
  char* city = curl_easy_escape(curl, "Z\xFCrich", 0);
  const std::string body = std::string("name=Jane%20Doe&city=") + city + "&note=a%2Bb";
  curl_free(city);
  const std::string url = TheServer().Url();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, KeepReply);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
  for (auto _ : state) {
    for (int i = 0; i < kForms; ++i) {
      if (curl_easy_perform(curl) != CURLE_OK) {
        state.SkipWithError("curl failed");
        break;
      }
    }
  }
  curl_easy_cleanup(curl);
  if (reply.empty()) state.SkipWithError("no reply");
  state.SetItemsProcessed(state.iterations() * kForms);
}

BENCHMARK(ComsvcPost)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(CurlPost)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Keeps each benchmark's real time per iteration, to print the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatio() const {
    auto ours = times_.find("ComsvcPost/iterations:3/real_time");
    auto peer = times_.find("CurlPost/iterations:3/real_time");
    if (ours == times_.end() || peer == times_.end()) return;
    const double ratio = peer->second / ours->second;  // round trips per second, ours / libcurl's
    std::printf("\nround trips per second vs libcurl: %.2f (target >= 1.00: %s)\n", ratio,
                ratio >= 1.0 ? "met" : "MISSED");
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio();
  benchmark::Shutdown();
  curl_global_cleanup();
  return 0;
}

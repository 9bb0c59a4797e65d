// An HTTP server (cpp-httplib) in a thread of the test, on a loopback port
// that a URL can address: it answers every POST to /form with the JSON
// document {"ok":true,"fields":N,"echo":"<the value of field q>"} and keeps
// what its own parser saw of each request.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace comsvc::testing {

struct SeenRequest {
  std::string method;
  std::string path;
  std::string host;
  std::string content_type;
  std::string content_length;
  std::string client;
  std::string body;
  std::multimap<std::string, std::string> fields;  // decoded, as bytes
};

class FormServer {
 public:
  FormServer();
  ~FormServer();
  FormServer(const FormServer&) = delete;
  FormServer& operator=(const FormServer&) = delete;

  int Port() const { return port_; }
  std::string Url() const;  // http://127.0.0.1:PORT/form
  std::vector<SeenRequest> Seen();

 private:
  std::unique_ptr<httplib::Server> server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<SeenRequest> seen_;
};

}  // namespace comsvc::testing

#include "support/form_server.h"

#include <httplib.h>

#include <chrono>

#include "support/loopback_peer.h"

namespace comsvc::testing {

FormServer::FormServer() : server_(std::make_unique<httplib::Server>()) {
  server_->Post("/form", [this](const httplib::Request& request, httplib::Response& response) {
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back({request.method, request.path, request.get_header_value("Host"),
                     request.get_header_value("Content-Type"), request.get_header_value("Content-Length"),
                     request.get_header_value("Client"), request.body,
                     {request.params.begin(), request.params.end()}});
    response.set_content("{\"ok\":true,\"fields\":" + std::to_string(request.params.size()) + ",\"echo\":\"" +
                             request.get_param_value("q") + "\"}",
                         "application/json");
  });
  port_ = BindLowPort([this](int port) { return server_->bind_to_port("127.0.0.1", port); });
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FormServer::~FormServer() {
  server_->stop();
  thread_.join();
}

std::string FormServer::Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/form"; }

std::vector<SeenRequest> FormServer::Seen() {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

}  // namespace comsvc::testing

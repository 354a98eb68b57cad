#include "tests/support/loopback_server.h"

#include <chrono>
#include <gtest/gtest.h>

namespace testsupport {

LoopbackServer::LoopbackServer() : server_(std::make_unique<httplib::Server>()) {}

LoopbackServer::LoopbackServer(const CertificateFiles& certificate)
    : secure_(true),
      server_(std::make_unique<httplib::SSLServer>(certificate.certificateFile.c_str(), certificate.keyFile.c_str())) {
    if (!server_->is_valid())
        ADD_FAILURE() << "the HTTPS server does not accept " << certificate.certificateFile;
}

LoopbackServer::~LoopbackServer() {
    stop();
}

void LoopbackServer::start() {
    server_->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        std::lock_guard guard(lock_);
        requests_.push_back({request.method, request.path, request.headers, request.body});
        return httplib::Server::HandlerResponse::Unhandled;
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        ADD_FAILURE() << "the loopback server cannot bind a port";
        return;
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server_->is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void LoopbackServer::stop() {
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

std::string LoopbackServer::url(const std::string& path) const {
    return std::string(secure_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<RecordedRequest> LoopbackServer::requests() const {
    std::lock_guard guard(lock_);
    return requests_;
}

std::string connectToEntry(const std::string& host, int hostPort, int loopbackPort) {
    return host + ":" + std::to_string(hostPort) + ":127.0.0.1:" + std::to_string(loopbackPort);
}

} // namespace testsupport

#include "tests/support/raw_http_server.h"

#include <algorithm>
#include <sys/socket.h>

namespace testsupport {
namespace {

std::string reasonOf(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 407:
        return "Proxy Authentication Required";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    default:
        return "Status";
    }
}

} // namespace

std::string httpAnswer(int status, const std::vector<std::pair<std::string, std::string>>& headers,
                       const std::string& body) {
    std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + reasonOf(status) + "\r\n";
    for (const auto& [name, value] : headers)
        answer += name + ": " + value + "\r\n";
    answer += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    return answer;
}

RawHttpServer::RawHttpServer()
    : responder_([](const std::string&) { return ScriptedResponse{httpAnswer(200)}; }),
      server_(std::make_unique<ConnectionServer>(
          [this](int fd, const std::atomic<bool>& stopping) { serve(fd, stopping); })) {}

RawHttpServer::~RawHttpServer() {
    server_->stop();
}

void RawHttpServer::setResponse(ScriptedResponse response) {
    setResponder([response = std::move(response)](const std::string&) { return response; });
}

void RawHttpServer::setResponder(Responder responder) {
    std::lock_guard guard(lock_);
    responder_ = std::move(responder);
}

std::string RawHttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port()) + path;
}

std::vector<std::string> RawHttpServer::requests() const {
    std::lock_guard guard(lock_);
    return requests_;
}

void RawHttpServer::serve(int fd, const std::atomic<bool>& stopping) {
    std::string extra;
    const std::string request = readRequest(fd, stopping, extra);
    if (request.empty())
        return;
    Responder responder;
    {
        std::lock_guard guard(lock_);
        requests_.push_back(request);
        responder = responder_;
    }
    const ScriptedResponse response = responder(request);
    if (response.silent) {
        // Holds the connection without a word until the client leaves or the server stops.
        char discard[4096];
        while (waitReadable(fd, stopping)) {
            if (::recv(fd, discard, sizeof discard, 0) <= 0)
                return;
        }
        return;
    }
    const std::string_view bytes =
        std::string_view(response.bytes).substr(0, std::min(response.cutAfterBytes, response.bytes.size()));
    if (response.pauseBeforeChunkMs > 0) {
        const std::size_t chunk = std::max<std::size_t>(1, response.chunkBytes);
        for (std::size_t at = 0; at < bytes.size(); at += chunk) {
            if (!pause(response.pauseBeforeChunkMs, stopping) || !sendAll(fd, bytes.substr(at, chunk), stopping))
                return;
        }
    } else if (!sendAll(fd, bytes, stopping)) {
        return;
    }
    if (response.cutAfterBytes < response.bytes.size())
        return;
    if (!response.endlessFill.empty()) {
        while (sendAll(fd, response.endlessFill, stopping)) {
        }
    }
    // Lets the client read everything before the connection closes.
    ::shutdown(fd, SHUT_WR);
    (void)waitReadable(fd, stopping, 2000);
}

} // namespace testsupport

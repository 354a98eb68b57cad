#include "tests/hostile/hostile_server.h"

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <thread>

namespace hostile {
namespace {

constexpr unsigned long long kHugeLength = 1ULL << 40;

struct Named {
    Hostility hostility;
    const char* name;
};

constexpr Named kNames[] = {
    {Hostility::WellBehaved, "WellBehaved"},
    {Hostility::EndlessBody, "EndlessBody"},
    {Hostility::HugeContentLength, "HugeContentLength"},
    {Hostility::OneByteASecond, "OneByteASecond"},
    {Hostility::RedirectToHttp, "RedirectToHttp"},
    {Hostility::RedirectToFile, "RedirectToFile"},
    {Hostility::RedirectLoop, "RedirectLoop"},
    {Hostility::TruncatedBody, "TruncatedBody"},
    {Hostility::HtmlWith200, "HtmlWith200"},
    {Hostility::HtmlWith404, "HtmlWith404"},
    {Hostility::CertificateForAnotherName, "CertificateForAnotherName"},
    {Hostility::SelfSignedCertificate, "SelfSignedCertificate"},
    {Hostility::ExpiredCertificate, "ExpiredCertificate"},
};

} // namespace

testsupport::CertificateFiles certificateFor(Hostility hostility,
                                             const testsupport::TestCertificateAuthority& authority,
                                             const std::vector<std::string>& names, const std::string& folder) {
    switch (hostility) {
    case Hostility::CertificateForAnotherName:
        return authority.issue("another-name", {"another.example"});
    case Hostility::SelfSignedCertificate:
        return testsupport::makeSelfSigned(folder, "self-signed", names);
    case Hostility::ExpiredCertificate:
        return authority.issue("expired", names, testsupport::kExpired);
    default:
        return authority.issue("endpoint", names);
    }
}

const std::vector<Hostility>& everyHostility() {
    static const std::vector<Hostility> all = [] {
        std::vector<Hostility> list;
        for (const Named& named : kNames) {
            if (named.hostility != Hostility::WellBehaved)
                list.push_back(named.hostility);
        }
        return list;
    }();
    return all;
}

const std::vector<Hostility>& plainHttpHostilities() {
    static const std::vector<Hostility> plain = [] {
        std::vector<Hostility> list;
        for (const Hostility hostility : everyHostility()) {
            if (!isCertificateFault(hostility) && hostility != Hostility::RedirectToHttp)
                list.push_back(hostility);
        }
        return list;
    }();
    return plain;
}

const char* nameOf(Hostility hostility) {
    for (const Named& named : kNames) {
        if (named.hostility == hostility)
            return named.name;
    }
    return "Unknown";
}

void PrintTo(Hostility hostility, std::ostream* out) {
    *out << nameOf(hostility);
}

bool isCertificateFault(Hostility hostility) {
    return hostility == Hostility::CertificateForAnotherName || hostility == Hostility::SelfSignedCertificate ||
           hostility == Hostility::ExpiredCertificate;
}

bool fillsMemory(Hostility hostility) {
    return hostility == Hostility::EndlessBody || hostility == Hostility::HugeContentLength;
}

const std::string& htmlPage() {
    static const std::string page =
        "<!DOCTYPE html>\n<html><head><title>Not Found</title></head>\n<body>\n<h1>Not Found</h1>\n"
        "<pre>\n140.82.112.3 github.com\n</pre>\n<p>{\"query\":\"140.82.112.3\",\"web\":[\"140.82.112.0/20\"]}</p>\n"
        "</body></html>\n";
    return page;
}

std::string fillOf(const ValidAnswer& answer) {
    const std::string piece = answer.body.empty() ? std::string("x") : answer.body;
    std::string fill;
    while (fill.size() < 64 * 1024)
        fill += piece;
    return fill;
}

Elsewhere::Elsewhere(ValidAnswer answer) {
    testsupport::writeFile(folder_.file("answer"), answer.body);
    server_.server().Get(".*", [answer](const httplib::Request&, httplib::Response& response) {
        response.set_content(answer.body, answer.contentType);
    });
    server_.start();
}

void answerHostile(Hostility hostility, const ValidAnswer& answer, const Elsewhere& elsewhere,
                   const httplib::Request& request, httplib::Response& response) {
    switch (hostility) {
    case Hostility::EndlessBody: {
        auto fill = std::make_shared<const std::string>(fillOf(answer));
        response.set_chunked_content_provider(answer.contentType, [fill](std::size_t, httplib::DataSink& sink) {
            return sink.write(fill->data(), fill->size());
        });
        return;
    }
    case Hostility::HugeContentLength: {
        auto fill = std::make_shared<const std::string>(fillOf(answer));
        response.set_content_provider(static_cast<std::size_t>(kHugeLength), answer.contentType,
                                      [fill](std::size_t, std::size_t length, httplib::DataSink& sink) {
                                          return sink.write(fill->data(), std::min(fill->size(), length));
                                      });
        return;
    }
    case Hostility::OneByteASecond: {
        auto body = std::make_shared<const std::string>(answer.body);
        response.set_content_provider(body->size(), answer.contentType,
                                      [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                          std::this_thread::sleep_for(kTricklePause);
                                          return sink.is_writable() && sink.write(body->data() + offset, 1);
                                      });
        return;
    }
    case Hostility::RedirectToHttp:
        response.set_redirect(elsewhere.httpUrl(request.path));
        return;
    case Hostility::RedirectToFile:
        response.set_redirect(elsewhere.fileUrl());
        return;
    case Hostility::RedirectLoop:
        response.set_redirect(request.path);
        return;
    case Hostility::TruncatedBody: {
        auto body = std::make_shared<const std::string>(answer.body);
        response.set_content_provider(body->size(), answer.contentType,
                                      [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                          const std::size_t half = body->size() / 2;
                                          // Past the first half the connection goes down.
                                          return offset < half && sink.write(body->data(), half);
                                      });
        return;
    }
    case Hostility::HtmlWith200:
    case Hostility::HtmlWith404:
        response.status = hostility == Hostility::HtmlWith200 ? 200 : 404;
        response.set_content(htmlPage(), "text/html; charset=utf-8");
        return;
    case Hostility::WellBehaved:
    case Hostility::CertificateForAnotherName:
    case Hostility::SelfSignedCertificate:
    case Hostility::ExpiredCertificate:
        break;
    }
    response.set_content(answer.body, answer.contentType);
}

HostileServer::HostileServer(Hostility hostility, ValidAnswer answer,
                             const testsupport::TestCertificateAuthority* authority,
                             const std::vector<std::string>& names)
    : hostility_(hostility), answer_(std::move(answer)), elsewhere_(answer_) {
    server_ = authority == nullptr ? std::make_unique<testsupport::LoopbackServer>()
                                   : std::make_unique<testsupport::LoopbackServer>(
                                         certificateFor(hostility, *authority, names, certificates_.path()));
    server_->server().Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        answerHostile(hostility_, answer_, elsewhere_, request, response);
    });
    server_->start();
}

HostileServer::~HostileServer() {
    server_->stop();
}

FileSizeLimit::FileSizeLimit(std::size_t bytes) {
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    oldSoft_ = old.rlim_cur;
    oldHard_ = old.rlim_max;
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limited{static_cast<rlim_t>(bytes), old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
}

FileSizeLimit::~FileSizeLimit() {
    const rlimit old{static_cast<rlim_t>(oldSoft_), static_cast<rlim_t>(oldHard_)};
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler_);
}

bool resetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

long peakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

} // namespace hostile

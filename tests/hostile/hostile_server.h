#pragma once

// Servers on 127.0.0.1 that stand in for one of the program's endpoints and misbehave in one chosen way: bodies that
// never end or claim a terabyte, a trickle of one byte a second, redirects to plain HTTP, to a file and in a circle,
// a body cut short, an HTML page with 200 or 404, and certificates that must be refused. Where a behaviour carries a
// good answer (the trickle, the cut, the redirect targets, the refused certificates), it is the endpoint's valid
// answer, so that only the misbehaviour can be what keeps the program from taking it.

#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace hostile {

/// How an endpoint misbehaves.
enum class Hostility {
    /// No hostility at all: the valid answer with a good certificate (the control of every table).
    WellBehaved,
    EndlessBody,
    HugeContentLength,
    OneByteASecond,
    RedirectToHttp,
    RedirectToFile,
    RedirectLoop,
    TruncatedBody,
    HtmlWith200,
    HtmlWith404,
    CertificateForAnotherName,
    SelfSignedCertificate,
    ExpiredCertificate,
};

/// Every hostile behaviour, in the order above (WellBehaved is none).
[[nodiscard]] const std::vector<Hostility>& everyHostility();
/// The behaviours that make sense for an endpoint reached over plain HTTP: no certificates, and a redirect to
/// http:// is no downgrade there.
[[nodiscard]] const std::vector<Hostility>& plainHttpHostilities();

/// The behaviour's name, usable in test names.
[[nodiscard]] const char* nameOf(Hostility hostility);
void PrintTo(Hostility hostility, std::ostream* out);

/// The three certificates that must be refused.
[[nodiscard]] bool isCertificateFault(Hostility hostility);
/// The endless and the huge body: the ones that would fill memory without a limit.
[[nodiscard]] bool fillsMemory(Hostility hostility);

/// The HTML page of the two HTML answers. It carries a hosts line and JSON-like text inside, so that nothing may
/// be taken out of it either.
[[nodiscard]] const std::string& htmlPage();

/// What an endpoint answers when it behaves.
struct ValidAnswer {
    std::string body;
    std::string contentType = "text/plain; charset=utf-8";
};

/// The pace of the trickle: one byte, then this pause.
inline constexpr std::chrono::milliseconds kTricklePause{1000};

/// Where the misbehaviours lead: a plain HTTP server and a file, each holding the valid answer.
class Elsewhere {
public:
    explicit Elsewhere(ValidAnswer answer);
    Elsewhere(const Elsewhere&) = delete;
    Elsewhere& operator=(const Elsewhere&) = delete;

    /// "http://127.0.0.1:<port>" + path on the plain server.
    [[nodiscard]] std::string httpUrl(const std::string& path) const { return server_.url(path); }
    /// "file://" + the file holding the valid answer.
    [[nodiscard]] std::string fileUrl() const { return "file://" + folder_.file("answer"); }
    /// How many requests reached the plain server: each one is a downgrade the program took.
    [[nodiscard]] std::size_t requestCount() const { return server_.requests().size(); }

private:
    testsupport::TempDir folder_;
    testsupport::LoopbackServer server_;
};

/// Answers one request with the behaviour; certificate faults answer the valid answer (the server's certificate is
/// the fault). Safe on any of the server's threads.
void answerHostile(Hostility hostility, const ValidAnswer& answer, const Elsewhere& elsewhere,
                   const httplib::Request& request, httplib::Response& response);

/// The certificate a server presents for the names under the behaviour: the faulty one of a certificate fault,
/// otherwise a good one from the authority. Files go to the authority's folder or, self-signed, to `folder`.
[[nodiscard]] testsupport::CertificateFiles certificateFor(Hostility hostility,
                                                           const testsupport::TestCertificateAuthority& authority,
                                                           const std::vector<std::string>& names,
                                                           const std::string& folder);

/// One endpoint that misbehaves in one way on every path, over HTTPS with a certificate from the authority for the
/// names (or the faulty certificate of the behaviour), or over plain HTTP.
class HostileServer {
public:
    HostileServer(Hostility hostility, ValidAnswer answer, const testsupport::TestCertificateAuthority* authority,
                  const std::vector<std::string>& names);
    HostileServer(const HostileServer&) = delete;
    HostileServer& operator=(const HostileServer&) = delete;
    ~HostileServer();

    [[nodiscard]] int port() const { return server_->port(); }
    /// Requests that got through to the handler (none when the certificate was refused).
    [[nodiscard]] std::size_t requestCount() const { return server_->requests().size(); }
    [[nodiscard]] const Elsewhere& elsewhere() const { return elsewhere_; }

private:
    Hostility hostility_;
    ValidAnswer answer_;
    testsupport::TempDir certificates_;
    Elsewhere elsewhere_;
    std::unique_ptr<testsupport::LoopbackServer> server_;
};

/// The bytes the endless and the huge bodies repeat: the valid answer over and over, in pieces of 64 KiB or more.
[[nodiscard]] std::string fillOf(const ValidAnswer& answer);

/// Limits the size of the files this process writes for the scope (a disk that fills up), with SIGXFSZ ignored so
/// that a write past the limit fails instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::size_t bytes);
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit();

private:
    unsigned long long oldSoft_ = 0;
    unsigned long long oldHard_ = 0;
    void (*oldHandler_)(int) = nullptr;
};

/// Resets this process's peak resident memory to what it uses now; false when the system does not allow it.
[[nodiscard]] bool resetPeakMemory();
/// This process's peak resident memory in KiB since the start or the last reset; 0 when unknown.
[[nodiscard]] long peakMemoryKiB();

/// 64 MiB: the most memory a hostile body may cost.
inline constexpr long kMemoryLimitKiB = 64 * 1024;

} // namespace hostile

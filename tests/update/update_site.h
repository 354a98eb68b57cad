#pragma once

// The outside world of the updater on 127.0.0.1: one HTTPS server that plays the note service, the share site, its
// request endpoint and the file host (each under its own name, certificate from a test authority), and one plain
// HTTP server for the same names on port 80. Answers are set per host and request target; every request is kept.

#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace updatetest {

/// The host that serves the shared files in these tests.
inline constexpr const char* kFileHost = "files.corvshare-cdn.com";

/// One request as the site saw it.
struct SiteRequest {
    bool secure = false;
    std::string host;
    std::string method;
    std::string target; ///< path and query as sent
    httplib::Headers headers;
    std::string body;
    [[nodiscard]] std::string header(const std::string& name) const;
};

/// One scripted answer.
struct SiteAnswer {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

class UpdateSite {
public:
    UpdateSite();
    UpdateSite(const UpdateSite&) = delete;
    UpdateSite& operator=(const UpdateSite&) = delete;

    /// The answer to requests for the host and target (path with query) over https (or http when !secure).
    void answer(const std::string& host, const std::string& target, SiteAnswer answer, bool secure = true);
    /// A 302 with this Location.
    void redirect(const std::string& host, const std::string& target, const std::string& location, bool secure = true);
    /// The note service's answer for the note: {"content": html}.
    void note(const std::string& noteId, const std::string& html);

    /// Every request so far, in arrival order.
    [[nodiscard]] std::vector<SiteRequest> requests() const;
    /// The value for CORVANA_CONNECT_TO: every name of the site on ports 443 and 80 to the loopback servers.
    [[nodiscard]] std::string connectTo() const;
    /// The file for CORVANA_CA_BUNDLE.
    [[nodiscard]] const std::string& caBundle() const { return authority_->authority().certificateFile; }

private:
    void serve(bool secure, const httplib::Request& request, httplib::Response& response);

    testsupport::TempDir folder_;
    std::unique_ptr<testsupport::TestCertificateAuthority> authority_;
    std::unique_ptr<testsupport::LoopbackServer> https_;
    std::unique_ptr<testsupport::LoopbackServer> http_;
    mutable std::mutex lock_;
    std::map<std::string, SiteAnswer> answers_;
    std::vector<SiteRequest> requests_;
};

/// CORVANA_CONNECT_TO and CORVANA_CA_BUNDLE set for this process for the scope.
class SiteEnvironment {
public:
    explicit SiteEnvironment(const UpdateSite& site);

private:
    testsupport::ScopedEnvironment connectTo_;
    testsupport::ScopedEnvironment caBundle_;
};

} // namespace updatetest

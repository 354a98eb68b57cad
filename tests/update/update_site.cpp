#include "tests/update/update_site.h"

#include "update/update_addresses.h"

#include <nlohmann/json.hpp>

namespace updatetest {
namespace {

/// Every name the site answers to; the retired ones too, so that a request that should not go there still stays
/// on 127.0.0.1 and shows up in the record.
std::vector<std::string> siteNames() {
    const std::string current(update::kShareLabel);
    const std::string retired(update::kRetiredShareLabel);
    return {std::string(update::kNoteHost), "www." + current + ".com", current + ".com",
            "www." + retired + ".com",      retired + ".com",          kFileHost};
}

std::string key(bool secure, const std::string& host, const std::string& target) {
    return std::string(secure ? "https " : "http ") + host + " " + target;
}

std::string hostWithoutPort(std::string host) {
    const std::size_t colon = host.find(':');
    if (colon != std::string::npos)
        host.resize(colon);
    return host;
}

} // namespace

std::string SiteRequest::header(const std::string& name) const {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
}

UpdateSite::UpdateSite() {
    authority_ = std::make_unique<testsupport::TestCertificateAuthority>(folder_.path());
    const testsupport::CertificateFiles certificate = authority_->issue("site", siteNames());
    https_ = std::make_unique<testsupport::LoopbackServer>(certificate);
    http_ = std::make_unique<testsupport::LoopbackServer>();
    for (const bool secure : {true, false}) {
        httplib::Server& server = secure ? https_->server() : http_->server();
        const auto handler = [this, secure](const httplib::Request& request, httplib::Response& response) {
            serve(secure, request, response);
        };
        server.Get(".*", handler);
        server.Post(".*", handler);
    }
    https_->start();
    http_->start();
}

void UpdateSite::answer(const std::string& host, const std::string& target, SiteAnswer answer, bool secure) {
    std::lock_guard guard(lock_);
    answers_[key(secure, host, target)] = std::move(answer);
}

void UpdateSite::redirect(const std::string& host, const std::string& target, const std::string& location,
                          bool secure) {
    answer(host, target, {302, {{"Location", location}}, "moved"}, secure);
}

void UpdateSite::note(const std::string& noteId, const std::string& html) {
    const nlohmann::json document = {{"title", "Corvana"}, {"content", html}};
    answer(std::string(update::kNoteHost), "/yws/public/note/" + noteId,
           {200, {{"Content-Type", "application/json; charset=utf-8"}}, document.dump()});
}

std::vector<SiteRequest> UpdateSite::requests() const {
    std::lock_guard guard(lock_);
    return requests_;
}

std::string UpdateSite::connectTo() const {
    std::string value;
    for (const std::string& name : siteNames()) {
        for (const auto& [port, server] : {std::pair{443, https_.get()}, std::pair{80, http_.get()}}) {
            if (!value.empty())
                value += ",";
            value += testsupport::connectToEntry(name, port, server->port());
        }
    }
    return value;
}

void UpdateSite::serve(bool secure, const httplib::Request& request, httplib::Response& response) {
    SiteRequest seen{secure,          hostWithoutPort(request.get_header_value("Host")),
                     request.method,  request.target,
                     request.headers, request.body};
    SiteAnswer answer{404, {}, "not here"};
    {
        std::lock_guard guard(lock_);
        const auto found = answers_.find(key(secure, seen.host, seen.target));
        if (found != answers_.end())
            answer = found->second;
        requests_.push_back(std::move(seen));
    }
    response.status = answer.status;
    std::string contentType = "text/html; charset=utf-8";
    for (const auto& [name, value] : answer.headers) {
        if (name == "Content-Type")
            contentType = value;
        else
            response.set_header(name, value);
    }
    response.set_content(answer.body, contentType);
}

SiteEnvironment::SiteEnvironment(const UpdateSite& site)
    : connectTo_("CORVANA_CONNECT_TO", site.connectTo()), caBundle_("CORVANA_CA_BUNDLE", site.caBundle()) {}

} // namespace updatetest

#include "update/share_link.h"

#include "platform/net.h"
#include "update/update_addresses.h"
#include "util/code_pages.h"
#include "util/json_object.h"
#include "util/regex_object.h"
#include "util/text.h"
#include "util/text_utilities.h"
#include "util/web_request.h"

namespace update {
namespace {

constexpr std::string_view kFramePathPattern = "#引号(/fn\\?[^#引号]{10,})#引号";
constexpr std::string_view kSignaturePattern = "[0-9a-zA-Z\\_]{70,}_c_c";
constexpr std::string_view kActionPattern = "action':'(.*?)'";
constexpr std::string_view kRequestPathPattern = "url : '/(.+?)'";
constexpr std::string_view kActionAndSignaturePattern = "action=(.*?)&sign=(.{10,}?)&p=";

constexpr std::string_view kPublicUserAgent = "user-agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) "
                                              "AppleWebKit/537.36 (KHTML, like Gecko) Chrome/84.0.4147.105 "
                                              "Safari/537.36";
constexpr std::string_view kProtectedUserAgent = "User-Agent: Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 "
                                                 "(KHTML, like Gecko) Chrome/50.0.2661.87 Safari/537.36";

/// The share link with the retired label replaced by the current one.
std::string withCurrentLabel(const std::string& shareLink) {
    return util::replaceText(shareLink, kRetiredShareLabel, kShareLabel);
}

std::string labelOrCurrent(const std::string& domainLabel) {
    return domainLabel.empty() ? std::string(kShareLabel) : domainLabel;
}

std::string headerText(std::string_view userAgentLine, const std::string& siteRoot) {
    return std::string(userAgentLine) + std::string(util::kCrLf) + "referer: " + siteRoot;
}

/// A GET (or, with a body, a POST) with the variant's header text; the answer's bytes, empty on failure.
std::string request(const std::string& url, const std::string& headers, const std::string* postBody = nullptr) {
    util::WebRequestOptions options;
    options.headers = headers;
    if (postBody) {
        options.method = 1;
        options.body = *postBody;
    }
    return util::webRequest(url, options);
}

/// dom + "/file/" + url; empty when either part is missing, which no request could resolve.
std::string fileLink(const std::string& dom, const std::string& url) {
    if (dom.empty() || url.empty())
        return {};
    return dom + "/file/" + url;
}

} // namespace

std::string resolveShareLink(const std::string& shareLink, const std::string& password,
                             const std::string& domainLabel) {
    if (password.empty())
        return resolvePublicShare(shareLink, domainLabel);
    return resolveProtectedShare(shareLink, password, domainLabel);
}

std::string resolvePublicShare(const std::string& shareLink, const std::string& domainLabel) {
    util::RegexObject regex;
    util::JsonObject json;
    const std::string link = withCurrentLabel(shareLink);
    const std::string siteRoot = shareSiteRoot(labelOrCurrent(domainLabel));
    const std::string headers = headerText(kPublicUserAgent, siteRoot);

    const std::string sharePage = util::utf8ToText(request(link, headers));
    if (sharePage.empty())
        return {};
    std::string framePath;
    if (regex.execute(kFramePathPattern, sharePage, false, true, true, true))
        framePath = regex.subMatchText(1, 1);

    // The root ends in "/" and the frame path starts with one: the address holds "//" there, as the site expects.
    const std::string framePage = util::utf8ToText(request(siteRoot + framePath, headers));
    if (framePage.empty())
        return {};
    std::string signature;
    if (regex.execute(kSignaturePattern, framePage))
        signature = regex.matchText(1);
    if (signature.empty())
        return {};
    std::string action;
    if (regex.execute(kActionPattern, framePage))
        action = regex.subMatchText(1, 1);
    if (action.empty())
        action = kDefaultShareAction;
    const std::string body = "action=" + action + "&sign=" + signature + "&ves=1";
    std::string requestPath;
    if (regex.execute(kRequestPathPattern, framePage))
        requestPath = regex.subMatchText(1, 1);

    const std::string answer = request(siteRoot + requestPath, headers, &body);
    if (answer.empty() || !json.parse(answer))
        return {};
    const std::string file = fileLink(json.getText("dom"), json.getText("url"));
    return file.empty() ? std::string() : redirectTarget(file);
}

std::string resolveProtectedShare(const std::string& shareLink, const std::string& password,
                                  const std::string& domainLabel) {
    util::RegexObject regex;
    util::JsonObject json;
    const std::string link = withCurrentLabel(shareLink);
    const std::string label = labelOrCurrent(domainLabel);
    const std::string siteRoot = shareSiteRoot(label);
    const std::string endpoint = shareRequestEndpoint(label);
    const std::string headers = headerText(kProtectedUserAgent, siteRoot);

    const std::string sharePage = util::utf8ToText(request(link, headers));
    if (sharePage.empty())
        return {};
    std::string action;
    std::string signature;
    if (regex.execute(kActionAndSignaturePattern, sharePage)) {
        action = regex.subMatchText(1, 1);
        signature = regex.subMatchText(1, 2);
    }
    if (action.empty())
        action = kDefaultShareAction;
    if (signature.empty() && regex.execute(kSignaturePattern, sharePage))
        signature = regex.matchText(1);
    const std::string body = "action=" + action + "&sign=" + signature + "&p=" + password;

    const std::string answer = request(endpoint, headers, &body);
    if (answer.empty())
        return {};
    std::string dom;
    std::string url;
    if (json.parse(answer)) {
        dom = json.getText("dom");
        url = json.getText("url");
    } else {
        dom = util::textBetween(answer, "dom#引号:#引号", "#引号");
        url = util::textBetween(answer, "url#引号:#引号", "#引号");
    }
    const std::string file = fileLink(dom, url);
    if (file.empty())
        return {};
    std::string target = redirectTarget(file);
    if (target.empty())
        target = redirectTarget(util::replaceText(file, "https://", "http://", true));
    return target;
}

std::string redirectTarget(const std::string& address) {
    platform::HttpRequest request;
    request.url = address;
    request.followRedirects = false;
    request.headers = {
        {"User-Agent", "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)"},
        {"Accept-Language", "zh-cn"},
        {"Connection", "Keep-Alive"},
        {"Accept", "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
                   "application/x-silverlight, */*"},
    };
    // Resolve and connect 5 s each, send 10 s, receive 5 s.
    request.connectTimeoutMs = 10000;
    request.stallTimeoutMs = 5000;
    request.totalTimeoutMs = 20000;
    // Only the headers matter; a redirect's body is small.
    request.maxBodyBytes = 1 << 20;
    const platform::HttpResponse response = platform::httpRequest(request);
    if (response.status == 0)
        return {};
    for (const std::string& line : util::splitText(response.headers, util::kCrLf)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        if (util::asciiLower(util::trimSpaces(std::string_view(line).substr(0, colon))) == "location")
            return util::trimSpaces(std::string_view(line).substr(colon + 1));
    }
    return {};
}

} // namespace update

// The one HTTP(S) transport of the program, on libcurl. It is built as a module of its own (see
// http_transport_entry.h), so that libcurl and the TLS libraries are mapped only by runs that make a request.

#include "platform/linux/environment.h"
#include "platform/linux/http_transport_entry.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <curl/curl.h>
#include <deque>
#include <memory>
#include <mutex>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <string>
#include <vector>

namespace platform {
namespace {

constexpr long kDefaultConnectTimeoutMs = 60000;
constexpr long kMaxRedirects = 10;
// Slower than this over a whole stall limit counts as a stall: a few lines of a hosts list would take minutes.
constexpr curl_off_t kSlowestBytesPerSecond = 16;
// Streamed bodies are the large ones (downloads): read in pieces this big, a receiver sees a sixth of the calls
// that libcurl's 16 KiB default gives, which is what keeps a download as fast as curl's own.
constexpr long kStreamBufferBytes = 128 * 1024;

void initialiseCurlOnce() {
    static const bool initialised = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)initialised;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && sameNameIgnoringCase(text.substr(0, prefix.size()), prefix);
}

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

bool append(Slist& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (!grown)
        return false;
    list.release();
    list.reset(grown);
    return true;
}

/// The certificates of CORVANA_CA_BUNDLE, read once per file name and shared by every request.
class ExtraAuthorities {
public:
    ~ExtraAuthorities() { clear(); }

    /// Adds the certificates of the file to the store of a new TLS context.
    void addTo(SSL_CTX* context) const {
        X509_STORE* store = SSL_CTX_get_cert_store(context);
        for (X509* certificate : certificates_)
            X509_STORE_add_cert(store, certificate);
    }

    static std::shared_ptr<const ExtraAuthorities> forFile(const std::string& path) {
        static std::mutex lock;
        static std::shared_ptr<const ExtraAuthorities> cached;
        std::lock_guard guard(lock);
        if (!cached || cached->path_ != path) {
            auto loaded = std::make_shared<ExtraAuthorities>();
            loaded->load(path);
            cached = std::move(loaded);
        }
        return cached;
    }

private:
    void load(const std::string& path) {
        path_ = path;
        BIO* file = BIO_new_file(path.c_str(), "r");
        if (!file)
            return;
        while (X509* certificate = PEM_read_bio_X509(file, nullptr, nullptr, nullptr))
            certificates_.push_back(certificate);
        BIO_free(file);
    }

    void clear() {
        for (X509* certificate : certificates_)
            X509_free(certificate);
        certificates_.clear();
    }

    std::string path_;
    std::vector<X509*> certificates_;
};

CURLcode addExtraAuthorities(CURL*, void* sslContext, void* authorities) {
    static_cast<const ExtraAuthorities*>(authorities)->addTo(static_cast<SSL_CTX*>(sslContext));
    return CURLE_OK;
}

/// What the callbacks of one transfer share.
struct Transfer {
    const HttpRequest* request = nullptr;
    HttpResponse* response = nullptr;
    std::size_t bodyBytes = 0;
    bool bodyTooLarge = false;
    bool callerAborted = false;
};

std::size_t onHeaderLine(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    try {
        std::string_view line(data, length);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.remove_suffix(1);
        std::string& headers = transfer->response->headers;
        if (line.starts_with("HTTP/")) {
            // A new response begins (a redirect or an interim answer): only the final one's headers are kept.
            headers.clear();
            if (!transfer->request->onBody) {
                transfer->response->body.clear();
                transfer->bodyBytes = 0;
            }
        } else if (!line.empty()) {
            if (!headers.empty())
                headers += "\r\n";
            headers += line;
        }
        return length;
    } catch (...) {
        return 0;
    }
}

std::size_t onBodyBytes(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    const std::size_t limit = transfer->request->maxBodyBytes;
    if (limit != 0 && (transfer->bodyBytes > limit || length > limit - transfer->bodyBytes)) {
        transfer->bodyTooLarge = true;
        return 0;
    }
    try {
        if (transfer->request->onBody) {
            if (!transfer->request->onBody(std::string_view(data, length))) {
                transfer->callerAborted = true;
                return 0;
            }
        } else {
            transfer->response->body.append(data, length);
        }
    } catch (...) {
        transfer->callerAborted = true;
        return 0;
    }
    transfer->bodyBytes += length;
    return length;
}

/// Header lines exactly as given; curl's own extras are switched off unless the caller names them.
bool buildHeaderList(const HttpRequest& request, Slist& list, std::string& error) {
    for (const auto& [name, value] : request.headers) {
        const std::string_view trimmedName = trim(name);
        if (trimmedName.empty() || name.find_first_of("\r\n:") != std::string::npos ||
            value.find_first_of("\r\n") != std::string::npos) {
            error = "Invalid request header";
            return false;
        }
        // curl drops "Name:" with nothing after it; "Name;" sends the header with an empty value.
        const std::string_view trimmedValue = trim(value);
        const std::string line = trimmedValue.empty() ? std::string(trimmedName) + ";"
                                                      : std::string(trimmedName) + ": " + std::string(trimmedValue);
        if (!append(list, line))
            return false;
    }
    for (const char* own : {"Accept", "Expect", "Content-Type"}) {
        bool given = false;
        for (const auto& header : request.headers)
            given = given || sameNameIgnoringCase(trim(header.first), own);
        if (!given && !append(list, std::string(own) + ":"))
            return false;
    }
    return true;
}

Slist connectToList() {
    Slist list;
    const std::string value = environmentValue("CORVANA_CONNECT_TO");
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(',', start);
        if (end == std::string::npos)
            end = value.size();
        const std::string_view entry = trim(std::string_view(value).substr(start, end - start));
        if (!entry.empty())
            append(list, std::string(entry));
        start = end + 1;
    }
    return list;
}

/// Bytes moved so far for the transfer, either way, headers included.
curl_off_t bytesMoved(CURL* curl) {
    curl_off_t received = 0;
    curl_off_t sent = 0;
    long headerBytes = 0;
    curl_easy_getinfo(curl, CURLINFO_SIZE_DOWNLOAD_T, &received);
    curl_easy_getinfo(curl, CURLINFO_SIZE_UPLOAD_T, &sent);
    curl_easy_getinfo(curl, CURLINFO_HEADER_SIZE, &headerBytes);
    return received + sent + headerBytes;
}

/// Runs the transfer and ends it when, once the request is under way, no byte moves for the stall limit, or fewer
/// than kSlowestBytesPerSecond a second move over the whole limit; `stalled` tells that it ended so. libcurl's own
/// low-speed check samples the speed once a second on whole-second clock boundaries, so a stall of one second could
/// go unnoticed for two.
CURLcode performWatchingStalls(CURL* curl, int stallTimeoutMs, bool& stalled) {
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(), &curl_multi_cleanup);
    if (!multi || curl_multi_add_handle(multi.get(), curl) != CURLM_OK)
        return CURLE_OUT_OF_MEMORY;
    using Clock = std::chrono::steady_clock;
    const std::chrono::milliseconds limit(stallTimeoutMs);
    Clock::time_point lastMove = Clock::now();
    // What had moved at moments of the last stall limit, oldest first, a quarter of a second apart at most.
    std::deque<std::pair<Clock::time_point, curl_off_t>> recent;
    const curl_off_t slowest = std::max<curl_off_t>(1, kSlowestBytesPerSecond * stallTimeoutMs / 1000);
    curl_off_t moved = -1;
    curl_off_t underWay = 0;
    CURLcode result = CURLE_OK;
    for (bool done = false; !done;) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == curl) {
                result = message->data.result;
                done = true;
            }
        }
        if (done)
            break;
        if (running == 0) {
            result = CURLE_GOT_NOTHING;
            break;
        }
        // The connect phase has its own limit; the stall clock runs once the request is about to be sent.
        const Clock::time_point now = Clock::now();
        curl_off_t sinceStart = 0;
        curl_easy_getinfo(curl, CURLINFO_PRETRANSFER_TIME_T, &sinceStart);
        const curl_off_t movedNow = bytesMoved(curl);
        if (movedNow != moved || sinceStart != underWay) {
            moved = movedNow;
            underWay = sinceStart;
            lastMove = now;
        }
        if (underWay > 0) {
            if (recent.empty() || now - recent.back().first >= std::chrono::milliseconds(250))
                recent.emplace_back(now, moved);
            while (recent.size() > 1 && recent[1].first <= now - limit)
                recent.pop_front();
            // A trickle keeps the no-byte clock from ever running out, and would hold a run for ever.
            const bool trickle = recent.front().first <= now - limit && moved - recent.front().second < slowest;
            if (now - lastMove >= limit || trickle) {
                stalled = true;
                result = CURLE_OPERATION_TIMEDOUT;
                break;
            }
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(lastMove + limit - now).count();
        if (curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(std::clamp<decltype(left)>(left, 1, 1000)),
                            nullptr) != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
    }
    curl_multi_remove_handle(multi.get(), curl);
    return result;
}

void performRequest(const HttpRequest& request, HttpResponse& response) {
    initialiseCurlOnce();
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), &curl_easy_cleanup);
    if (!handle) {
        response.error = "The transport could not be started";
        return;
    }
    CURL* curl = handle.get();
    char errorText[CURL_ERROR_SIZE] = {};
    Transfer transfer{&request, &response};

    Slist headers;
    if (!buildHeaderList(request, headers, response.error)) {
        if (response.error.empty())
            response.error = "Out of memory";
        return;
    }
    Slist connectTo = connectToList();

    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    // A request begun over TLS never goes on in the clear: after a redirect to http:// anyone on the path could
    // answer in the server's name, which is what verifying its certificate rules out.
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR,
                     startsWithIgnoringCase(request.url, "https://") ? "https" : "http,https");
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);

    const std::string& method = request.method.empty() ? std::string("GET") : request.method;
    if (method == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (method == "POST" || !request.body.empty()) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
        if (method != "POST")
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else if (method != "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());

    // Exactly the proxy given: an empty one means a direct connection whatever the environment says.
    curl_easy_setopt(curl, CURLOPT_PROXY, request.proxy.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    if (!request.proxy.empty() && !request.proxyUser.empty()) {
        curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, request.proxyUser.c_str());
        curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, request.proxyPassword.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);

    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    std::shared_ptr<const ExtraAuthorities> authorities;
    const std::string caBundle = environmentValue("CORVANA_CA_BUNDLE");
    if (!caBundle.empty()) {
        authorities = ExtraAuthorities::forFile(caBundle);
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, &addExtraAuthorities);
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, const_cast<ExtraAuthorities*>(authorities.get()));
    }
    if (connectTo)
        curl_easy_setopt(curl, CURLOPT_CONNECT_TO, connectTo.get());

    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     request.connectTimeoutMs > 0 ? static_cast<long>(request.connectTimeoutMs)
                                                  : kDefaultConnectTimeoutMs);
    if (request.totalTimeoutMs > 0)
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeoutMs));
    if (request.maxBodyBytes > 0)
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxBodyBytes));

    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &onHeaderLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &onBodyBytes);
    if (request.onBody)
        curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kStreamBufferBytes);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);

    bool stalled = false;
    const CURLcode result = request.stallTimeoutMs > 0 ? performWatchingStalls(curl, request.stallTimeoutMs, stalled)
                                                       : curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    response.status = static_cast<int>(status);
    response.completed = result == CURLE_OK;
    if (response.completed)
        return;
    if (transfer.bodyTooLarge || result == CURLE_FILESIZE_EXCEEDED)
        response.error = "The answer is larger than allowed";
    else if (transfer.callerAborted)
        response.error = "The transfer was stopped by its receiver";
    else if (stalled)
        response.error = "Almost no data moved for " + std::to_string(request.stallTimeoutMs) + " ms";
    else if (errorText[0] != '\0')
        response.error = errorText;
    else
        response.error = curl_easy_strerror(result);
}

} // namespace
} // namespace platform

void corvana_http_transport_perform(const platform::HttpRequest* request, platform::HttpResponse* response) noexcept {
    try {
        platform::performRequest(*request, *response);
    } catch (...) {
        response->completed = false;
        if (response->error.empty())
            response->error = "The request failed inside the transport";
    }
}

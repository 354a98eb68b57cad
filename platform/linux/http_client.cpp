// The program's side of the HTTP transport: the transport module is loaded on the first request, once per process,
// and every request goes to it. Runs that make no request never map libcurl or the TLS libraries.

#include "platform/embedded_module.h"
#include "platform/linux/environment.h"
#include "platform/linux/http_transport_entry.h"
#include "platform/net.h"

#include <string>

// The transport module's bytes, compiled in by corvana_embed_module().
extern "C" __attribute__((visibility("hidden"))) const unsigned char corvana_module_http_transport[];
extern "C" __attribute__((visibility("hidden"))) const unsigned char corvana_module_http_transport_end[];

namespace platform {
namespace {

constexpr int kGetTimeoutMs = 90000;
// What HttpGet reads is small (a hosts list of a few KiB, a metadata answer of some 200 KiB, a lookup answer of a
// few hundred bytes): 4 MiB leaves room for any of them to grow, and a server that never stops costs the program no
// more than that (with the collecting buffer's growth, some 12 MiB at the peak).
constexpr std::size_t kGetBodyLimit = 4u << 20;

// HttpGet's limit: 90000 ms, or the shorter one the diagnostic CORVANA_GET_TIMEOUT_MS gives (tests that must not
// wait that long); anything but a whole number from 1 to 90000 keeps the 90000.
int getTimeoutMs() {
    const std::string value = environmentValue("CORVANA_GET_TIMEOUT_MS");
    if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos)
        return kGetTimeoutMs;
    const int milliseconds = std::stoi(value);
    return milliseconds >= 1 && milliseconds <= kGetTimeoutMs ? milliseconds : kGetTimeoutMs;
}

struct LoadedTransport {
    HttpTransportEntry entry = nullptr;
    /// Why the module could not be loaded; empty when it was.
    std::string whyNot;
};

const LoadedTransport& transport() {
    static const LoadedTransport loaded = [] {
        LoadedTransport result;
        result.entry = reinterpret_cast<HttpTransportEntry>(loadModuleEntry(
            embeddedModule("corvana-http-transport", corvana_module_http_transport, corvana_module_http_transport_end),
            kHttpTransportEntry, false, &result.whyNot));
        return result;
    }();
    return loaded;
}

} // namespace

HttpResponse httpRequest(const HttpRequest& request) {
    HttpResponse response;
    try {
        const LoadedTransport& loaded = transport();
        if (loaded.entry != nullptr)
            loaded.entry(&request, &response);
        else
            response.error = "The transport could not be loaded: " + loaded.whyNot;
    } catch (...) {
        response.completed = false;
    }
    return response;
}

std::string httpGetBytes(const std::string& url, const std::string& proxy) {
    HttpRequest request;
    request.url = url;
    request.proxy = proxy;
    const int timeoutMs = getTimeoutMs();
    request.connectTimeoutMs = timeoutMs;
    request.stallTimeoutMs = timeoutMs;
    request.totalTimeoutMs = timeoutMs;
    request.maxBodyBytes = kGetBodyLimit;
    HttpResponse response = httpRequest(request);
    return response.completed ? std::move(response.body) : std::string();
}

std::string httpGetText(const std::string& url, const std::string& proxy) {
    // UTF-8 is the system code page here, so the body is already text.
    return httpGetBytes(url, proxy);
}

} // namespace platform

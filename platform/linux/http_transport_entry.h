#pragma once

// The entry point of the HTTP transport module. http_transport.cpp is built as a shared object that the program
// file carries inside it; http_client.cpp loads it on the first request and forwards every request to this entry.

#include "platform/net.h"

namespace platform {

/// The entry's symbol name in the module.
inline constexpr char kHttpTransportEntry[] = "corvana_http_transport_perform";
/// The entry's type: performs the request into a fresh response.
using HttpTransportEntry = void (*)(const HttpRequest* request, HttpResponse* response) noexcept;

} // namespace platform

/// Performs the request into the fresh response; never throws. A failed request leaves completed == false and the
/// reason in response->error.
extern "C" __attribute__((visibility("default"))) void
corvana_http_transport_perform(const platform::HttpRequest* request, platform::HttpResponse* response) noexcept;

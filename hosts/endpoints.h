#pragma once

// The HTTP endpoints the address sources read.

#include <string_view>

namespace hosts {

/// The service's metadata API (source 1): address ranges by role.
inline constexpr std::string_view kMetadataApiUrl = "https://api.github.com/meta";
/// The IP lookup service (sources 1 and 3), followed by a host name.
inline constexpr std::string_view kIpLookupUrl = "http://ip-api.com/json/";
/// The published hosts list of source 2.
inline constexpr std::string_view kSource2ListUrl = "https://gitlab.com/Tovenet/hosts/-/raw/master/next-hosts";
/// The published hosts list of source 4.
inline constexpr std::string_view kSource4ListUrl = "https://raw.hellogithub.com/hosts";

} // namespace hosts

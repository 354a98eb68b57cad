#pragma once

// The five download mirrors, in the order of the download window's radio buttons.

#include <array>
#include <string_view>

namespace download {

/// Host names of mirrors 1 to 5; each is also the label of its radio button.
inline constexpr std::array<std::string_view, 5> kMirrorHosts = {"ghfast.top", "gh-proxy.com", "ghproxy.net",
                                                                 "github.moeyy.xyz", "gh.llkk.cc"};

} // namespace download

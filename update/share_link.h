#pragma once

// Turning the page of a shared file on the file-sharing site into the file's direct download address, the way a
// browser gets there: the share page, its download frame, the site's request endpoint, the file link's redirect.

#include <string>
#include <string_view>

namespace update {

/// The action posted when a page names none.
inline constexpr std::string_view kDefaultShareAction = "downprocess";

/// The direct download address of the shared file: resolvePublicShare when the password is empty, else
/// resolveProtectedShare. An empty label means the site's current one. Empty text on any failure.
[[nodiscard]] std::string resolveShareLink(const std::string& shareLink, const std::string& password,
                                           const std::string& domainLabel);
/// The direct download address of a share without password; empty text on any failure.
[[nodiscard]] std::string resolvePublicShare(const std::string& shareLink, const std::string& domainLabel);
/// The direct download address of a share protected by the password (sent as given); empty text on any failure.
[[nodiscard]] std::string resolveProtectedShare(const std::string& shareLink, const std::string& password,
                                                const std::string& domainLabel);
/// The "Location" header of a GET to the address, redirects not followed; empty text when the request fails or
/// the answer has none.
[[nodiscard]] std::string redirectTarget(const std::string& address);

} // namespace update

#pragma once

// The service's host names: the fixed list that sources 1, 3 and 5 and the Ping window work through, in the order
// of the block lines and of the Ping window's rows, and the three names the sources add or treat specially.

#include <string_view>

namespace hosts {

/// The 39 host names of the service, separated by CR LF, no CR LF after the last; split it at CR LF where it is
/// used. Entries 14 and 16 are the same name on purpose.
inline constexpr std::string_view kServiceHostList = "github.io\r\n"
                                                     "github.dev\r\n"
                                                     "github.blog\r\n"
                                                     "raw.github.com\r\n"
                                                     "api.github.com\r\n"
                                                     "gist.github.com\r\n"
                                                     "alive.github.com\r\n"
                                                     "live.github.com\r\n"
                                                     "githubstatus.com\r\n"
                                                     "github.community\r\n"
                                                     "central.github.com\r\n"
                                                     "codeload.github.com\r\n"
                                                     "collector.github.com\r\n"
                                                     "assets-cdn.github.com\r\n"
                                                     "github.map.fastly.net\r\n"
                                                     "assets-cdn.github.com\r\n"
                                                     "github.githubassets.com\r\n"
                                                     "gist.githubusercontent.com\r\n"
                                                     "camo.githubusercontent.com\r\n"
                                                     "github-com.s3.amazonaws.com\r\n"
                                                     "media.githubusercontent.com\r\n"
                                                     "cloud.githubusercontent.com\r\n"
                                                     "github.global.ssl.fastly.net\r\n"
                                                     "desktop.githubusercontent.com\r\n"
                                                     "github-cloud.s3.amazonaws.com\r\n"
                                                     "objects.githubusercontent.com\r\n"
                                                     "avatars0.githubusercontent.com\r\n"
                                                     "avatars1.githubusercontent.com\r\n"
                                                     "avatars2.githubusercontent.com\r\n"
                                                     "avatars3.githubusercontent.com\r\n"
                                                     "avatars4.githubusercontent.com\r\n"
                                                     "avatars5.githubusercontent.com\r\n"
                                                     "favicons.githubusercontent.com\r\n"
                                                     "pipelines.actions.githubusercontent.com\r\n"
                                                     "repository-images.githubusercontent.com\r\n"
                                                     "marketplace-screenshots.githubusercontent.com\r\n"
                                                     "github-production-user-asset-6210df.s3.amazonaws.com\r\n"
                                                     "github-production-release-asset-2e65be.s3.amazonaws.com\r\n"
                                                     "github-production-repository-file-5c1aeb.s3.amazonaws.com";

/// The service's main site: added after the 39 names, the first row of the Ping window.
inline constexpr std::string_view kServiceMainHost = "github.com";
/// The service's raw-content host: added last, only when RawContentOption is ticked.
inline constexpr std::string_view kRawContentHost = "raw.githubusercontent.com";
/// The avatar host whose address source 5 lends to the raw-content host (entry 31 of the list).
inline constexpr std::string_view kAvatarHost = "avatars4.githubusercontent.com";

/// Settings section of RawContentOption.
inline constexpr std::string_view kRawContentOptionSection = "其余设置";
/// Settings key of RawContentOption: the raw-content host name without its dots.
inline constexpr std::string_view kRawContentOptionKey = "rawgithubusercontentcom";

} // namespace hosts

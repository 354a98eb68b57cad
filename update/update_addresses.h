#pragma once

// Where the updater looks: the public note that announces the latest version, and the file-sharing site that
// holds the new program file. Placeholders under the project's own domain until the project publishes its note.

#include <string>
#include <string_view>

namespace update {

/// Host of the note service; the public-note endpoint is https://<host>/yws/public/note/<id>.
inline constexpr std::string_view kNoteHost = "note.corvana-project.org";
/// Identifier of the update note: 32 lowercase hexadecimal digits.
inline constexpr std::string_view kNoteId = "c0a7a4a0d1e24f5b9e3c6d8f0a1b2c3d";

/// Second-level label of the share site's domain today: root https://www.<label>.com/, endpoint
/// https://<label>.com/ajaxm.php.
inline constexpr std::string_view kShareLabel = "corvshare";
/// The label the share site used before; links that still carry it are rewritten to kShareLabel.
inline constexpr std::string_view kRetiredShareLabel = "corvpan";

/// The share site's base address for links, ending in "/"; the note's download code is appended to it.
inline constexpr std::string_view kShareLinkBase = "https://www.corvshare.com/";

/// The share site's root for a label: https://www.<label>.com/.
[[nodiscard]] inline std::string shareSiteRoot(std::string_view label) {
    return "https://www." + std::string(label) + ".com/";
}
/// The request endpoint of protected shares for a label: https://<label>.com/ajaxm.php.
[[nodiscard]] inline std::string shareRequestEndpoint(std::string_view label) {
    return "https://" + std::string(label) + ".com/ajaxm.php";
}

} // namespace update

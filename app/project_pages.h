#pragma once

// The program's own pages, opened from the About window. Placeholders until the project publishes its pages.

namespace app {

/// The program's repository page on the service.
inline constexpr const char* kProjectPage = "https://github.com/corvana-project/corvana";
/// The forum thread in which the program is published.
inline constexpr const char* kReleasePage = "https://forum.corvana-project.org/thread/corvana";
/// The service's home page and search page, opened from the main window.
inline constexpr const char* kServiceHomePage = "https://github.com";
inline constexpr const char* kServiceSearchPage = "https://github.com/search";

} // namespace app

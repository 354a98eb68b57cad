#pragma once

// Temporary folders, small file helpers and scoped environment variables for tests.

#include <optional>
#include <string>
#include <string_view>

namespace testsupport {

/// A fresh folder under the temporary folder, removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    /// The folder, without a trailing "/".
    [[nodiscard]] const std::string& path() const { return path_; }
    /// A path inside the folder: path() + "/" + name.
    [[nodiscard]] std::string file(std::string_view name) const;

private:
    std::string path_;
};

/// Writes the bytes to the file (created or truncated); a failure fails the running test.
void writeFile(const std::string& path, std::string_view bytes);
/// The whole file; empty when it cannot be read.
[[nodiscard]] std::string readFile(const std::string& path);
/// The names in a folder (files and folders, without "." and ".."), sorted.
[[nodiscard]] std::string listFolder(const std::string& path);

/// Sets an environment variable (or unsets it, given no value) for the scope; the old state returns at the end.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::optional<std::string>& value);
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment();

private:
    std::string name_;
    std::optional<std::string> old_;
};

} // namespace testsupport

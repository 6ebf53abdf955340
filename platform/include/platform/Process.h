// Small process and package helpers for the Linux implementation.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Starts a program that outlives the caller and is never waited for; false when it could not
// be started.
bool spawnDetached(const std::vector<std::string>& argv);

// The string value of the first <key>…</key><string>…</string> pair with that key in an XML
// property list (nested dictionaries included), or none.
std::optional<std::string> plistString(const std::filesystem::path& plist, const std::string& key);

// The executable of a bundle: Contents/MacOS/<CFBundleExecutable>.
std::optional<std::filesystem::path> bundleExecutable(const std::filesystem::path& bundle);

// "file:///a%20b/c" for "/a b/c".
std::string fileURLString(const std::filesystem::path& p);

} // namespace platform

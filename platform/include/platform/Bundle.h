// A bundle: a folder laid out as a macOS application or extension package
// (X.app/Contents/{MacOS,Resources,PlugIns}), with its resources.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace platform {

class Bundle {
public:
    // The bundle rooted at the given folder (X.app, X.appex, or a plain folder).
    explicit Bundle(std::filesystem::path bundleURL);

    // The bundle of the running program: the package its executable lies in, or the executable's
    // folder when it lies in none.
    static const Bundle& main();

    const std::filesystem::path& bundleURL() const { return bundleURL_; }

    // Where the bundle keeps its resources: Contents/Resources of a package, else the folder.
    std::filesystem::path resourceURL() const;

    // The resource whose full file name is `name`, in `subdirectory` of the resources (or at their
    // top level when subdirectory is empty); nothing when no such entry exists.
    std::optional<std::filesystem::path> urlForResource(std::string_view name,
                                                        std::string_view subdirectory = {}) const;

private:
    std::filesystem::path bundleURL_;
};

} // namespace platform

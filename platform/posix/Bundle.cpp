#include "platform/Bundle.h"

#include "platform/FileSystem.h"

#include <system_error>

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#include <vector>
#endif

namespace platform {

namespace {

std::filesystem::path executablePath() {
#if defined(__APPLE__)
    uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    std::vector<char> buffer(size + 1);
    if (_NSGetExecutablePath(buffer.data(), &size) != 0)
        return {};
    std::error_code ec;
    auto resolved = std::filesystem::weakly_canonical(buffer.data(), ec);
    return ec ? std::filesystem::path(buffer.data()) : resolved;
#else
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec);
#endif
}

// X.app/Contents/MacOS/X gives X.app; any other executable gives its own folder.
std::filesystem::path bundleOf(const std::filesystem::path& executable) {
    const auto macos = executable.parent_path();
    const auto contents = macos.parent_path();
    if (macos.filename() == "MacOS" && contents.filename() == "Contents")
        return contents.parent_path();
    return macos;
}

} // namespace

Bundle::Bundle(std::filesystem::path bundleURL) : bundleURL_(std::move(bundleURL)) {}

const Bundle& Bundle::main() {
    static const Bundle bundle(bundleOf(executablePath()));
    return bundle;
}

std::filesystem::path Bundle::resourceURL() const {
    auto contents = bundleURL_ / "Contents";
    return fs::isDirectory(contents) ? contents / "Resources" : bundleURL_;
}

std::optional<std::filesystem::path> Bundle::urlForResource(std::string_view name,
                                                            std::string_view subdirectory) const {
    if (name.empty())
        return std::nullopt;
    auto candidate = resourceURL();
    if (!subdirectory.empty())
        candidate /= subdirectory;
    candidate /= name;
    if (!fs::entryExists(candidate))
        return std::nullopt;
    return candidate;
}

} // namespace platform

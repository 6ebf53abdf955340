#include "FinderMenu.h"

#include <sys/stat.h>

#include <filesystem>

namespace lemvora::driver {

namespace fs = std::filesystem;

EntryName entryNamed(const std::string& path) {
    return {utf8(ns(fs::path(path).filename().string())),
            utf8([NSFileManager.defaultManager displayNameAtPath:ns(path)])};
}

std::vector<EntryName> entriesOf(const std::string& folder) {
    std::vector<EntryName> entries;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        struct stat info {};
        if (entry.path().filename().string().rfind('.', 0) == 0 ||
            (lstat(entry.path().c_str(), &info) == 0 && (info.st_flags & UF_HIDDEN)))
            continue;
        entries.push_back(entryNamed(entry.path().string()));
    }
    return entries;
}

std::optional<Alert> findAlert(const std::string& text, const std::string& buttonTitle) {
    auto pids = processesEndingIn("/LemvoraMenu.appex/Contents/MacOS/LemvoraMenu");
    if (const auto finder = finderProcess())
        pids.push_back(*finder);
    for (pid_t pid : pids) {
        const auto application = applicationElement(pid);
        for (auto& window : application->children())
            if (window->role() == role::window && findByRole(*window, role::staticText, text, 6))
                if (auto button = findByRole(*window, role::button, buttonTitle, 6))
                    return Alert{application, window, button};
    }
    return std::nullopt;
}

} // namespace lemvora::driver

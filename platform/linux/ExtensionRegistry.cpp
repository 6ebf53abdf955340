#include "platform/ExtensionRegistry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace platform::registry {

namespace fs = std::filesystem;

namespace {

fs::path absoluteEntry(const fs::path& p) {
    std::error_code ec;
    auto c = fs::weakly_canonical(fs::absolute(p, ec), ec);
    return ec ? fs::absolute(p) : c;
}

void save(const std::vector<fs::path>& entries) {
    const fs::path target = file();
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec)
        throw fs::filesystem_error("cannot create the registry's folder", target.parent_path(), ec);
    // Write a new file and rename it over the old one, so a reader never sees half a list.
    const fs::path temporary = target.string() + ".new." + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const auto& entry : entries)
            out << entry.string() << '\n';
        out.flush();
        if (!out)
            throw fs::filesystem_error("cannot write the registry", temporary,
                                       std::make_error_code(std::errc::io_error));
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary);
        throw fs::filesystem_error("cannot write the registry", target, ec);
    }
}

} // namespace

fs::path file() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/')
        return fs::path(state) / "lemvora-finder/extensions";
    fs::path home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        home = entry->pw_dir;
    else if (const char* h = std::getenv("HOME"))
        home = h;
    return home / ".local/state/lemvora-finder/extensions";
}

std::vector<fs::path> enabledExtensions() {
    // Read with plain calls: the host application asks at every refresh.
    std::vector<fs::path> entries;
    const int fd = ::open(file().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return entries;
    std::string content;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        content.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        if (end > start && content[start] == '/')
            entries.emplace_back(content.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

bool isEnabled(const fs::path& appex) {
    const auto entries = enabledExtensions();
    if (entries.empty())
        return false;
    // Most often the path is already the one enabled; resolving links costs a call per folder.
    const fs::path plain = fs::absolute(appex).lexically_normal();
    return std::find(entries.begin(), entries.end(), plain) != entries.end() ||
           std::find(entries.begin(), entries.end(), absoluteEntry(appex)) != entries.end();
}

void enable(const fs::path& appex) {
    auto entries = enabledExtensions();
    const fs::path entry = absoluteEntry(appex);
    if (std::find(entries.begin(), entries.end(), entry) == entries.end()) {
        entries.push_back(entry);
        save(entries);
    }
}

void disable(const fs::path& appex) {
    auto entries = enabledExtensions();
    const fs::path entry = absoluteEntry(appex);
    const auto end = std::remove(entries.begin(), entries.end(), entry);
    if (end != entries.end()) {
        entries.erase(end, entries.end());
        save(entries);
    }
}

} // namespace platform::registry

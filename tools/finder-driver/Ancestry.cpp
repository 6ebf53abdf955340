#include "Ancestry.h"

#include <algorithm>

namespace lemvora::driver {

std::vector<ProcessEntry> ancestry(long pid,
                                   const std::function<std::optional<ProcessEntry>(long)>& lookup) {
    std::vector<ProcessEntry> line;
    for (;;) {
        const bool met = std::any_of(line.begin(), line.end(),
                                     [&](const ProcessEntry& e) { return e.pid == pid; });
        const auto entry = met ? std::nullopt : lookup(pid);
        if (!entry) {
            line.push_back({pid, 0, ""});
            return line;
        }
        line.push_back(*entry);
        if (pid <= 1)
            return line;
        pid = entry->parent;
    }
}

std::string ancestryLine(const ProcessEntry& entry) {
    return "ancestry: " + std::to_string(entry.pid) + " " + (entry.path.empty() ? "?" : entry.path);
}

} // namespace lemvora::driver

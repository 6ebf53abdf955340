// The volumes a user can browse on Linux: every mount of the process's own mount table (so a
// stick mounted in a private mount namespace, or under a temporary folder, counts too) but the
// kernel's own file systems, which hold no documents.
#include "Volumes.h"

#include "platform/FinderSync.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>
#include <string_view>

#include <fcntl.h>

namespace platform {

namespace {

constexpr const char* mountTable = "/proc/self/mountinfo";

bool kernelOwn(std::string_view type) {
    static constexpr std::array<std::string_view, 22> types = {
        "autofs",    "binfmt_misc", "bpf",      "cgroup",   "cgroup2",    "configfs",
        "debugfs",   "devpts",      "devtmpfs", "efivarfs", "fusectl",    "hugetlbfs",
        "mqueue",    "nsfs",        "proc",     "pstore",   "rpc_pipefs", "securityfs",
        "selinuxfs", "sysfs",       "tracefs",  "nfsd"};
    return std::find(types.begin(), types.end(), type) != types.end();
}

// mountinfo writes blanks, tabs, newlines and backslashes of a mount point as \ooo.
std::string unescaped(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            field.substr(i + 1, 3).find_first_not_of("01234567") == std::string_view::npos) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

} // namespace

std::vector<URL> systemMountedVolumeURLs() {
    std::vector<URL> volumes;
    std::ifstream table(mountTable);
    std::string line;
    // ID PARENT MAJOR:MINOR ROOT MOUNT-POINT OPTIONS [OPTIONAL…] - TYPE SOURCE SUPER-OPTIONS
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint, field;
        if (!(fields >> id >> parent >> device >> root >> mountPoint))
            continue;
        while (fields >> field && field != "-") {
        }
        std::string type;
        if (field != "-" || !(fields >> type) || kernelOwn(type))
            continue;
        URL folder(unescaped(mountPoint));
        if (std::find(volumes.begin(), volumes.end(), folder) == volumes.end())
            volumes.push_back(std::move(folder));
    }
    return volumes;
}

int linux_volumes::mountTableDescriptor() {
    static const int fd = ::open(mountTable, O_RDONLY | O_CLOEXEC);
    return fd;
}

void watchVolumes() {
    // The extension's loop polls the table between requests (ExtensionMain.cpp).
    linux_volumes::mountTableDescriptor();
}

} // namespace platform

// File-manager services on POSIX. The copy that makes a new document is Copy.cpp's.
#include "platform/FileSystem.h"
#include "Descriptor.h"

#include <cstdlib>
#include <string>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#if defined(__APPLE__)
#include <sys/xattr.h>
#endif

namespace platform::fs {

namespace {

// What Finder hides, as the file manager's hidden resource (NSURLIsHiddenKey) tells it: names
// beginning with '.', and on macOS also the UF_HIDDEN flag and the invisible bit of the Finder
// info (kIsInvisible, 0x4000 of the big-endian finder flags at offset 8).
bool isHidden([[maybe_unused]] const path& folder, [[maybe_unused]] int folderFd,
              const char* name) {
    if (name[0] == '.')
        return true;
#if defined(__APPLE__)
    struct stat st;
    if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && (st.st_flags & UF_HIDDEN) != 0)
        return true;
    unsigned char info[32];
    const std::string entry = (folder / name).string();
    return ::getxattr(entry.c_str(), XATTR_FINDERINFO_NAME, info, sizeof info, 0, XATTR_NOFOLLOW) ==
               static_cast<ssize_t>(sizeof info) &&
           (info[8] & 0x40) != 0;
#else
    return false;
#endif
}

} // namespace

bool forEachVisibleRegularFile(const path& folder, FunctionRef<void(std::string_view)> visit) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            // Some file systems do not report the kind in the listing; ask without following.
            struct stat st;
            regular = ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
        }
        if (regular && !isHidden(folder, fd, name))
            visit(std::string_view(name));
    }
    ::closedir(dir);
    return true;
}

namespace {
// "folder/" names the entry "folder": with the slash, a file standing there would not be found.
path withoutTrailingSeparator(const path& p) {
    return p.has_filename() || !p.has_relative_path() ? p : p.parent_path();
}
} // namespace

bool entryExists(const path& p) {
    return entryExists(withoutTrailingSeparator(p).c_str());
}

bool entryExists(const char* p) {
    struct stat st;
    return ::lstat(p, &st) == 0;
}

bool fileExistsAtPath(const path& p) {
    struct stat st;
    return ::stat(withoutTrailingSeparator(p).c_str(), &st) == 0;
}

bool isDirectory(const path& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void createDirectories(const path& p) {
    std::error_code ec;
    std::filesystem::create_directories(p, ec);
    if (ec)
        throw std::filesystem::filesystem_error("cannot create folder", p, ec);
}

bool createEmptyFile(const path& p) {
    // Never opens what stands there: not a file (its contents stay), not a link's target, and not
    // a FIFO, which would block until someone read it.
    Descriptor fd(
        ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666));
    return static_cast<bool>(fd);
}

} // namespace platform::fs

#if !defined(__APPLE__)
namespace platform::fs {

path homeDirectoryForCurrentUser() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? path(home) : path("/");
}

bool isOnReadOnlyVolume(const path& p) {
    struct statvfs volume {};
    return ::statvfs(p.c_str(), &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0;
}

} // namespace platform::fs
#endif

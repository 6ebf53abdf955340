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
#else
#include <sys/sysmacros.h>
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

namespace {

std::string deviceFolder = "/sys";

// The first line of a short sysfs attribute; empty when there is none.
std::string attribute(const path& file) {
    Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    char text[32];
    const ssize_t n = fd ? ::read(fd.get(), text, sizeof text) : -1;
    const std::string_view value(text, n > 0 ? static_cast<std::size_t>(n) : 0);
    return std::string(value.substr(0, value.find('\n')));
}

} // namespace

namespace testing {
void setDeviceFolder(std::string folder) {
    deviceFolder = std::move(folder);
}
} // namespace testing

// The kernel's documentation of sysfs (Documentation/ABI) tells where each answer lies:
// - /sys/dev/block/MAJ:MIN links to the folder of the block device with that number, as stat(2)
//   gives it (testing/sysfs-dev); a partition's folder lies in its disk's
//   (/sys/block/<disk>/<partition>/, stable/sysfs-block) and has no "removable" of its own.
// - the disk's "removable" is 1 when the device "gives access to removable media" (a card reader,
//   most USB sticks): the GENHD_FL_REMOVABLE flag, as the kernel's "genhd capability flags"
//   comment describes it.
// - a device's own "removable", in a folder above the disk's, is "removable" when the user can
//   remove the device from the platform (USB, and PCI behind an external port:
//   testing/sysfs-devices-removable), as USB disks that report fixed media are.
// - a loop device bound to a file has "loop/backing_file" (testing/sysfs-block-loop): a disk
//   image, which is detached as software decides (losetup -d; LOOP_CLR_FD in loop(4)).
// A volume whose device number names no block device (FUSE, a network share, tmpfs, btrfs: numbers
// of the kernel's own) tells nothing here.
VolumeProperties volumeProperties(const path& p) {
    VolumeProperties volume;
    struct statvfs vfs {};
    volume.readOnly = ::statvfs(p.c_str(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY) != 0;
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0)
        return volume;
    std::error_code ec;
    path disk = std::filesystem::canonical(
        path(deviceFolder) / "dev/block" /
            (std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev))),
        ec);
    if (ec)
        return volume;
    if (!entryExists(disk / "removable"))
        disk = disk.parent_path();
    volume.removable = attribute(disk / "removable") == "1";
    volume.ejectable = entryExists(disk / "loop/backing_file");
    const path devices = std::filesystem::canonical(path(deviceFolder) / "devices", ec);
    for (path above = disk.parent_path();
         !ec && !volume.removable && above.string().starts_with(devices.string()) &&
         above != devices;
         above = above.parent_path())
        volume.removable = attribute(above / "removable") == "removable";
    return volume;
}

} // namespace platform::fs
#endif

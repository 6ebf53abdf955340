// File-manager services on POSIX, with the kernel's copy on Linux and clonefile on macOS.
#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#elif defined(__APPLE__)
#include <copyfile.h>
#include <sys/clonefile.h>
#include <sys/stdio.h>
#include <sys/xattr.h>
#endif

namespace platform::fs {

namespace {

[[noreturn]] void fail(const char* what, const path& p1, const path& p2, int error) {
    throw std::filesystem::filesystem_error(what, p1, p2,
                                            std::error_code(error, std::system_category()));
}

// Closes a descriptor when it leaves scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

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

// Copies all of `in` to `out` in the kernel. Returns 0 or an errno value.
int copyContents(int in, int out) {
#if defined(__linux__)
    // A reflink shares the blocks and costs nothing, where the file system offers it.
    if (::ioctl(out, FICLONE, in) == 0)
        return 0;
    bool copied = false;
    bool rangeCopy = true;
    for (;;) {
        ssize_t n;
        if (rangeCopy) {
            n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
            if (n < 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL) &&
                !copied) {
                rangeCopy = false;
                continue;
            }
        } else {
            n = ::sendfile(out, in, nullptr, 1 << 30);
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break; // end of the source (it may have shrunk meanwhile)
        copied = true;
    }
    return 0;
#elif defined(__APPLE__)
    return ::fcopyfile(in, out, nullptr, COPYFILE_DATA) == 0 ? 0 : errno;
#else
    (void)in;
    (void)out;
    return ENOTSUP;
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
    Descriptor fd(::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    return static_cast<bool>(fd);
}

namespace {

// What tests may change (FileSystem.h, platform::fs::testing).
struct Seams {
    std::string descriptorFolder = "/proc/self/fd";
    bool fastPath = true;
};
Seams& seams() {
    static Seams s;
    return s;
}

#if defined(__APPLE__)
// A clone carries more than the bytes: the template's BSD flags, its Finder info and its extended
// attributes. A new document must be an ordinary, editable file of the user's, so undo what would
// make it otherwise. Each step is best effort: the document exists whatever happens here, and is
// kept.
void makeOrdinaryDocument(const path& document, mode_t mode) {
    Descriptor fd(::open(document.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!fd)
        return;
    // A template the user locked in Finder (immutable) or made append-only would give a document
    // nobody can edit, and would make the chmod below fail. Clear these first.
    struct stat st;
    if (::fstat(fd.get(), &st) == 0 && (st.st_flags & (UF_IMMUTABLE | UF_APPEND)) != 0)
        ::fchflags(fd.get(), st.st_flags & ~static_cast<__uint32_t>(UF_IMMUTABLE | UF_APPEND));
    ::fchmod(fd.get(), mode);
    // Finder's stationery-pad bit (kIsStationery, 0x0800 of the big-endian finder flags at offset
    // 8) makes opening a file copy it: the new document would be a template again.
    unsigned char info[32];
    if (::fgetxattr(fd.get(), XATTR_FINDERINFO_NAME, info, sizeof info, 0, 0) ==
            static_cast<ssize_t>(sizeof info) &&
        (info[8] & 0x08) != 0) {
        info[8] = static_cast<unsigned char>(info[8] & ~0x08);
        ::fsetxattr(fd.get(), XATTR_FINDERINFO_NAME, info, sizeof info, 0, 0);
    }
    // A downloaded template's quarantine mark would make Gatekeeper question a file the user just
    // made.
    ::fremovexattr(fd.get(), "com.apple.quarantine", 0);
}
#endif

// Gives `from` the name `to` unless something stands there; an errno value on failure.
int renameNoReplace(const char* from, const char* to) {
#if defined(__linux__)
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // File systems without the no-replace rename: a new hard link never replaces anything either.
    if (::link(from, to) != 0)
        return errno;
    ::unlink(from);
    return 0;
#elif defined(__APPLE__)
    return ::renamex_np(from, to, RENAME_EXCL) == 0 ? 0 : errno;
#else
    (void)from;
    (void)to;
    return ENOTSUP;
#endif
}

#if defined(__linux__)
// Writes the copy as an unnamed file in the destination folder and names it only once it is
// complete: linkat never replaces an entry, and a failure leaves nothing behind. False when this
// way is not open here (the file system has no unnamed files, or /proc is not mounted to name
// them); throws on a real failure.
bool copyThroughUnnamedFile(int in, const path& from, const path& to, mode_t mode) {
    if (!seams().fastPath || ::access(seams().descriptorFolder.c_str(), X_OK) != 0)
        return false;
    const path folder = to.parent_path().empty() ? path(".") : to.parent_path();
    Descriptor anonymous(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    if (!anonymous) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
            return false;
        fail("cannot copy", from, to, errno);
    }
    if (int error = copyContents(in, anonymous.get()))
        fail("cannot copy", from, to, error);
    ::fchmod(anonymous.get(), mode);
    const std::string self = seams().descriptorFolder + "/" + std::to_string(anonymous.get());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) != 0)
        fail("cannot copy", from, to, errno);
    return true;
}
#endif

// Writes the copy under a hidden temporary name beside `to`, then gives it its name with a rename
// that never replaces anything. Finder never shows a half-written document, and the temporary
// file is removed on any failure.
void copyThroughHiddenName(int in, const path& from, const path& to, mode_t mode) {
    const path folder = to.parent_path().empty() ? path(".") : to.parent_path();
    std::string temporary = (folder / ".lemvora-XXXXXX").string();
    Descriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!out)
        fail("cannot copy", from, to, errno);
    int error = copyContents(in, out.get());
    if (error == 0 && ::fchmod(out.get(), mode) != 0)
        error = errno;
    if (error == 0)
        error = renameNoReplace(temporary.c_str(), to.c_str());
    if (error != 0) {
        ::unlink(temporary.c_str());
        fail("cannot copy", from, to, error);
    }
}

} // namespace

void copyFileExclusive(const path& from, const path& to) {
    // Non-blocking, so that a FIFO put where the template was cannot hang the caller.
    Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!in)
        fail("cannot copy", from, to, errno);
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        fail("cannot copy", from, to, errno);
    if (!S_ISREG(st.st_mode))
        fail("cannot copy", from, to, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    const mode_t mode = (st.st_mode & 0777) | S_IWUSR;

#if defined(__APPLE__)
    // Clone the descriptor that was checked, so that a template swapped for a symbolic link since
    // then is never cloned as a link. The clone never replaces an existing entry and appears whole
    // or not at all.
    if (seams().fastPath &&
        ::fclonefileat(in.get(), AT_FDCWD, to.c_str(), CLONE_NOOWNERCOPY) == 0) {
        makeOrdinaryDocument(to, mode);
        return;
    }
    if (seams().fastPath && errno == EEXIST)
        fail("cannot copy", from, to, EEXIST);
        // Another volume, a file system without clones, a network share: copy the bytes instead.
#elif defined(__linux__)
    if (copyThroughUnnamedFile(in.get(), from, to, mode))
        return;
#endif
    copyThroughHiddenName(in.get(), from, to, mode);
}

namespace testing {

void setDescriptorFolder(std::string folder) {
    seams().descriptorFolder = std::move(folder);
}

void setFastPathAllowed(bool allowed) {
    seams().fastPath = allowed;
}

} // namespace testing

} // namespace platform::fs

#if !defined(__APPLE__)
namespace platform::fs {

path homeDirectoryForCurrentUser() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? path(home) : path("/");
}

} // namespace platform::fs
#endif

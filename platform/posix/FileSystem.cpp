// File-manager services on POSIX, with the kernel's copy on Linux and clonefile on macOS.
#include "platform/FileSystem.h"

#include <cerrno>
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

bool isHidden([[maybe_unused]] int folder, const char* name) {
    if (name[0] == '.')
        return true;
#if defined(__APPLE__)
    struct stat st;
    return ::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && (st.st_flags & UF_HIDDEN);
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
        if (isHidden(fd, name))
            continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            // Some file systems do not report the kind in the listing; ask without following.
            struct stat st;
            regular = ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
        }
        if (regular)
            visit(std::string_view(name));
    }
    ::closedir(dir);
    return true;
}

bool entryExists(const path& p) {
    // "folder/" names the entry "folder"; with the slash lstat would follow a link to it, and
    // fail for a file standing there.
    const path entry = p.has_filename() || !p.has_relative_path() ? p : p.parent_path();
    return entryExists(entry.c_str());
}

bool entryExists(const char* p) {
    struct stat st;
    return ::lstat(p, &st) == 0;
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
    // clonefile never replaces an existing entry and creates the file whole or not at all.
    if (::clonefile(from.c_str(), to.c_str(), CLONE_NOFOLLOW | CLONE_NOOWNERCOPY) == 0) {
        ::chmod(to.c_str(), mode);
        return;
    }
    if (errno == EEXIST)
        fail("cannot copy", from, to, EEXIST);
#endif

#if defined(__linux__)
    // Write the copy as an unnamed file in the destination folder and give it its name only once
    // it is complete: linkat never replaces an entry, and a failure leaves nothing behind.
    const path folder = to.parent_path().empty() ? path(".") : to.parent_path();
    Descriptor anonymous(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    if (anonymous) {
        if (int error = copyContents(in.get(), anonymous.get()))
            fail("cannot copy", from, to, error);
        ::fchmod(anonymous.get(), mode);
        const std::string self = "/proc/self/fd/" + std::to_string(anonymous.get());
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) != 0)
            fail("cannot copy", from, to, errno);
        return;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        fail("cannot copy", from, to, errno);
#endif

    // Without unnamed files: create the name exclusively, and remove it again on failure.
    Descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
    if (!out)
        fail("cannot copy", from, to, errno);
    if (int error = copyContents(in.get(), out.get())) {
        ::unlink(to.c_str());
        fail("cannot copy", from, to, error);
    }
    ::fchmod(out.get(), mode);
}

} // namespace platform::fs

#if !defined(__APPLE__)
namespace platform::fs {

path homeDirectoryForCurrentUser() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? path(home) : path("/");
}

} // namespace platform::fs
#endif

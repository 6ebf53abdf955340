// How a new document comes to exist. The copy of a template never replaces or writes through an
// entry that stands at its name (a file, a folder, a symbolic link, dangling or not), leaves
// nothing behind when it fails, and is an ordinary, fresh document of the user's when it
// succeeds. Volumes differ in what they offer for that, so there are three ways, best first:
//
//   1. the system's fast way: on Linux an unnamed file in the destination, given its name when
//      complete (linkat never replaces); on macOS a clone of the template (fclonefileat never
//      replaces either), then made an ordinary, fresh document;
//   2. a hidden temporary file in the destination, given its name when complete by a rename that
//      never replaces (renameat2 RENAME_NOREPLACE, renamex_np RENAME_EXCL) or by a new hard link;
//   3. the name itself, made with O_CREAT | O_EXCL | O_NOFOLLOW and written in place, removed
//      again on failure: FAT and exFAT (USB sticks, cards) have none of the other means.
//
// A way is left for the next only when the volume cannot do what it needs; a real failure (no
// space, no permission, a taken name) ends the copy with that error. Which errno of which call
// means "this volume cannot do that" is the one table that differs between the systems
// (volumeCannot); everything else is the same code on both.
//
// A new document's permissions are its template's, plus write for its owner, whatever the umask:
// a copy keeps a file's permissions, as Finder's does, and the document must be editable. Every
// way sets them with fchmod, since the unnamed file and the exclusive create start from the umask.
#include "Descriptor.h"
#include "platform/FileSystem.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#elif defined(__APPLE__)
#include <copyfile.h>
#include <sys/attr.h>
#include <sys/clonefile.h>
#include <sys/stdio.h>
#include <sys/xattr.h>
#include <time.h>
#include <vector>
#endif

namespace platform::fs {

using testing::Call;

namespace {

// The answers of a call that mean the volume lacks what the call needs, not that it failed.
bool volumeCannot(Call call, int error) {
    switch (call) {
#if defined(__linux__)
    case Call::unnamedFile: // O_TMPFILE; kernels before it take it for O_DIRECTORY (EISDIR)
        return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
    case Call::clone: // FICLONE: no reflinks here, or another file system
        return error == EOPNOTSUPP || error == EXDEV || error == EINVAL || error == ENOTTY ||
               error == ENOSYS;
    case Call::copy: // copy_file_range, which sendfile then stands in for
        return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL;
    case Call::rename: // renameat2 with RENAME_NOREPLACE: EINVAL through FUSE
        return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
    case Call::link: // EPERM on FAT and exFAT, ENOSYS through fusefat
        return error == EPERM || error == ENOSYS || error == EOPNOTSUPP;
    case Call::chmod: // volumes that keep no permissions: ENOSYS through fusefat
        return error == EPERM || error == ENOSYS || error == EOPNOTSUPP;
#elif defined(__APPLE__)
    // Darwin has two "not supported" values (ENOTSUP 45, EOPNOTSUPP 102), and file systems answer
    // with either: smbfs and FUSE volumes say EOPNOTSUPP.
    case Call::clone: // fclonefileat: another volume, or one without clones (HFS+, FAT, SMB)
        return error == EXDEV || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
    case Call::rename: // renamex_np with RENAME_EXCL: msdosfs, exFAT, SMB (VOL_CAP_INT_RENAME_EXCL)
        return error == ENOTSUP || error == EOPNOTSUPP || error == EINVAL || error == ENOSYS;
    case Call::link:
        return error == ENOTSUP || error == EOPNOTSUPP || error == EPERM || error == ENOSYS;
    case Call::chmod:
        return error == ENOTSUP || error == EOPNOTSUPP || error == EPERM || error == ENOSYS;
#endif
    default:
        return false;
    }
}

// What tests may change (FileSystem.h, platform::fs::testing).
struct Seams {
    static constexpr std::size_t calls = static_cast<std::size_t>(Call::rename) + 1;
    std::string descriptorFolder = "/proc/self/fd";
    std::array<int, calls> failures{}, hits{};
    std::array<std::function<void()>, calls> onFailure;
};
Seams& seams() {
    static Seams s;
    return s;
}

// Whether a test has made this call fail: then errno is what it fails with.
bool injected(Call call) {
    const int error = seams().failures[static_cast<std::size_t>(call)];
    if (error == 0)
        return false;
    ++seams().hits[static_cast<std::size_t>(call)];
    if (const auto& action = seams().onFailure[static_cast<std::size_t>(call)])
        action();
    errno = error;
    return true;
}

[[noreturn]] void fail(const path& from, const path& to, int error) {
    throw std::filesystem::filesystem_error("cannot copy", from, to,
                                            std::error_code(error, std::system_category()));
}

// One copy: the checked template, and where it goes.
struct Job {
    int in;
    const path& from;
    const path& to;
    mode_t mode;

    [[noreturn]] void fail(int error) const { ::platform::fs::fail(from, to, error); }
    path folder() const { return to.parent_path().empty() ? path(".") : to.parent_path(); }
};

enum class Outcome { made, volumeCannot };

// Copies all of `in` to `out` in the kernel, from the start whatever was read before. Returns 0
// or an errno value.
int copyContents(int in, int out) {
    if (::lseek(in, 0, SEEK_SET) < 0)
        return errno;
#if defined(__linux__)
    // A reflink shares the blocks and costs nothing, where the file system offers it.
    if (!injected(Call::clone) && ::ioctl(out, FICLONE, in) == 0)
        return 0;
    if (!volumeCannot(Call::clone, errno))
        return errno;
    bool copied = false;
    bool rangeCopy = true;
    for (;;) {
        ssize_t n;
        if (rangeCopy) {
            n = injected(Call::copy) ? -1
                                     : ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
            if (n < 0 && !copied && volumeCannot(Call::copy, errno)) {
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
            return 0; // the end of the source (it may have shrunk meanwhile)
        copied = true;
    }
#elif defined(__APPLE__)
    if (injected(Call::copy) || ::fcopyfile(in, out, nullptr, COPYFILE_DATA) != 0)
        return errno;
    return 0;
#else
    (void)out;
    return ENOTSUP;
#endif
}

#if defined(__APPLE__)
// A document made a moment ago has the present as its creation and modification times, and none
// of its template's extended attributes: Finder tags and label, where it was downloaded from, the
// Finder info (stationery bit, custom icon), the quarantine mark. A clone brings all of these
// along. Best effort: the document is whole whatever happens here. In the sandbox the system
// marks every file the extension makes as quarantined and may refuse to lift the mark; Gatekeeper
// then asks once when a script or an application made this way is first opened.
void freshen(int fd) {
    // The list's size first, and again should it grow between the two calls (ERANGE).
    std::vector<char> names;
    ssize_t length;
    do {
        length = ::flistxattr(fd, nullptr, 0, 0);
        if (length <= 0)
            break;
        names.resize(static_cast<std::size_t>(length));
        length = ::flistxattr(fd, names.data(), names.size(), 0);
    } while (length < 0 && errno == ERANGE);
    for (ssize_t at = 0; at < length;) {
        const std::string name(names.data() + at);
        ::fremovexattr(fd, name.c_str(), 0);
        at += static_cast<ssize_t>(name.size()) + 1;
    }
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct attrlist creation {};
    creation.bitmapcount = ATTR_BIT_MAP_COUNT;
    creation.commonattr = ATTR_CMN_CRTIME;
    ::fsetattrlist(fd, &creation, &now, sizeof now, 0);
    const struct timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    ::futimens(fd, times);
}
#endif

// Copies the bytes and sets the mode; 0 or the errno of the step that failed.
int fill(const Job& job, int out) {
    if (int error = copyContents(job.in, out))
        return error;
    if ((injected(Call::chmod) || ::fchmod(out, job.mode) != 0) &&
        !volumeCannot(Call::chmod, errno))
        return errno;
#if defined(__APPLE__)
    freshen(out);
#endif
    return 0;
}

#if defined(__linux__)
// Way 1 on Linux: the copy is written as an unnamed file in the destination folder and linked in
// under its name only when complete. Open only where /proc names the process's descriptors.
Outcome throughUnnamedFile(const Job& job) {
    if (::access(seams().descriptorFolder.c_str(), X_OK) != 0)
        return Outcome::volumeCannot;
    Descriptor file(injected(Call::unnamedFile)
                        ? -1
                        : ::open(job.folder().c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, job.mode));
    if (!file) {
        if (volumeCannot(Call::unnamedFile, errno))
            return Outcome::volumeCannot;
        job.fail(errno);
    }
    if (int error = fill(job, file.get()))
        job.fail(error);
    const std::string self = seams().descriptorFolder + "/" + std::to_string(file.get());
    if (injected(Call::link) ||
        ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, job.to.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        if (volumeCannot(Call::link, errno))
            return Outcome::volumeCannot; // the unnamed file goes with its descriptor
        job.fail(errno);
    }
    return Outcome::made;
}
#elif defined(__APPLE__)
// Way 1 on macOS: a clone of the descriptor that was checked (a template swapped for a symbolic
// link since then is never cloned as a link), made an ordinary, fresh document of the user's.
Outcome throughClone(const Job& job) {
    if (injected(Call::clone) ||
        ::fclonefileat(job.in, AT_FDCWD, job.to.c_str(), CLONE_NOOWNERCOPY) != 0) {
        if (volumeCannot(Call::clone, errno))
            return Outcome::volumeCannot;
        job.fail(errno);
    }
    // A template the user locked in Finder (immutable) or made append-only would give a document
    // nobody can edit, and would make the chmod below fail. Clear these first.
    constexpr auto locks = static_cast<__uint32_t>(UF_IMMUTABLE | UF_APPEND);
    constexpr int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    int opened = ::open(job.to.c_str(), flags);
    if (opened < 0) {
        // The clone keeps its template's mode: one that only others may read cannot be opened
        // by its new owner. Mend it by name (never through a link put there since), and again.
        struct stat st;
        if (::lstat(job.to.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_flags & locks))
            ::lchflags(job.to.c_str(), st.st_flags & ~locks);
        ::fchmodat(AT_FDCWD, job.to.c_str(), job.mode, AT_SYMLINK_NOFOLLOW);
        opened = ::open(job.to.c_str(), flags);
    }
    Descriptor file(opened);
    if (!file)
        return Outcome::made;
    struct stat st;
    if (::fstat(file.get(), &st) == 0 && (st.st_flags & locks) != 0)
        ::fchflags(file.get(), st.st_flags & ~locks);
    ::fchmod(file.get(), job.mode);
    freshen(file.get());
    return Outcome::made;
}
#endif

// Gives `from` the name `to`, by `how` (a no-replace rename, or a new link and the old name
// removed), unless something stands at `to`; 0 or an errno value.
int name(Call how, const std::string& from, const char* to) {
    if (injected(how))
        return errno;
    if (how == Call::link) {
        if (::link(from.c_str(), to) != 0)
            return errno;
        ::unlink(from.c_str());
        return 0;
    }
#if defined(__linux__)
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to, RENAME_NOREPLACE) == 0 ? 0 : errno;
#elif defined(__APPLE__)
    return ::renamex_np(from.c_str(), to, RENAME_EXCL) == 0 ? 0 : errno;
#else
    return ENOTSUP;
#endif
}

// Way 2: the copy is written under a hidden temporary name beside `to`, then named. Finder never
// shows a half-written document, and the temporary file is removed on any failure.
Outcome throughHiddenName(const Job& job) {
    std::string hidden = (job.folder() / ".lemvora-XXXXXX").string();
    Descriptor file(injected(Call::hiddenFile) ? -1 : ::mkostemp(hidden.data(), O_CLOEXEC));
    if (!file)
        job.fail(errno);
    // Which call can name a file here is asked while the file is still empty, by naming it once
    // more within its hidden name: a volume that can do neither then costs no second copy.
    const std::string renamed = hidden + "~";
    Call how = Call::rename;
    int error = name(how, hidden, renamed.c_str());
    if (error != 0 && volumeCannot(Call::rename, error)) {
        how = Call::link;
        error = name(how, hidden, renamed.c_str());
        if (error != 0 && volumeCannot(Call::link, error)) {
            ::unlink(hidden.c_str());
            return Outcome::volumeCannot;
        }
    }
    if (error == 0) {
        hidden = renamed;
        error = fill(job, file.get());
    }
    if (error == 0)
        error = name(how, hidden, job.to.c_str());
    if (error != 0) {
        ::unlink(hidden.c_str());
        job.fail(error);
    }
    return Outcome::made;
}

// Way 3: the name itself is made, only if nothing stands there, and written in place. On failure
// it is removed again, but only while it is still the file made here.
void inPlace(const Job& job) {
    Descriptor file(injected(Call::exclusiveFile)
                        ? -1
                        : ::open(job.to.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, job.mode));
    if (!file)
        job.fail(errno);
    if (int error = fill(job, file.get())) {
        struct stat made, there;
        if (::fstat(file.get(), &made) == 0 && ::lstat(job.to.c_str(), &there) == 0 &&
            made.st_dev == there.st_dev && made.st_ino == there.st_ino)
            ::unlink(job.to.c_str());
        job.fail(error);
    }
}

} // namespace

void copyFileExclusive(const path& from, const path& to) {
    // Non-blocking, so that a FIFO put where the template was cannot hang the caller.
    Descriptor in(injected(Call::openTemplate)
                      ? -1
                      : ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!in)
        fail(from, to, errno);
    struct stat st;
    if (injected(Call::statTemplate) || ::fstat(in.get(), &st) != 0)
        fail(from, to, errno);
    if (!S_ISREG(st.st_mode))
        fail(from, to, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    const Job job{in.get(), from, to, static_cast<mode_t>((st.st_mode & 0777) | S_IWUSR)};
#if defined(__linux__)
    if (throughUnnamedFile(job) == Outcome::made)
        return;
#elif defined(__APPLE__)
    if (throughClone(job) == Outcome::made)
        return;
#endif
    if (throughHiddenName(job) == Outcome::made)
        return;
    inPlace(job);
}

namespace testing {

void setDescriptorFolder(std::string folder) {
    seams().descriptorFolder = std::move(folder);
}

void failCall(Call call, int error, std::function<void()> onFailure) {
    seams().failures[static_cast<std::size_t>(call)] = error;
    seams().onFailure[static_cast<std::size_t>(call)] = std::move(onFailure);
}

void clearFailures() {
    seams().failures = {};
    seams().hits = {};
    seams().onFailure = {};
}

int failuresHit(Call call) {
    return seams().hits[static_cast<std::size_t>(call)];
}

} // namespace testing

} // namespace platform::fs

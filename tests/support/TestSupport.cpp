#include "TestSupport.h"

#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/capability.h>
#include <linux/securebits.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#endif

namespace testing_support {

namespace {
fs::path fromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr)
        throw std::runtime_error(std::string(name) +
                                 " is not set: run the tests through with-fake-home.sh (ctest)");
    return value;
}

void forceRemove(const fs::path& p) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(p, ec)))
        return;
    for (auto it = fs::recursive_directory_iterator(p, ec); !ec && it != fs::end(it);
         it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(p, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(p, ec);
}
} // namespace

namespace {
// A wait status as one number: the exit status, or 128 + the signal that ended the process.
int exitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Waits for a child to end; its exitCode.
int waitForExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return exitCode(status);
}

std::vector<char*> argvOf(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return args;
}

void makePipe(int ends[2]) {
    if (pipe(ends) != 0)
        throw std::runtime_error("pipe failed");
    fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    fcntl(ends[1], F_SETFD, FD_CLOEXEC);
}
} // namespace

namespace {
// Before any test runs, every test program makes sure that the user database gives it the fake
// home: the product takes the home from there, and a test must never reach the developer's own
// (a program started without with-fake-home.sh, or a hardened runtime that ignored the Mac's
// DYLD_INSERT_LIBRARIES). Otherwise it stops at once.
[[maybe_unused]] const bool homeIsTheTestHome = [] {
    const char* fake = std::getenv("LEMVORA_TEST_HOME");
    const passwd* entry = getpwuid(getuid());
    const std::string home = entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
    if (fake != nullptr && *fake != '\0' && home == fake)
        return true;
    std::fprintf(stderr,
                 "STOP: the user database gives this test program the home \"%s\", not a test "
                 "home (LEMVORA_TEST_HOME=\"%s\"). Run the tests through ctest, which starts each "
                 "one under tests/support/with-fake-home.sh. No test ran, and nothing of yours "
                 "was touched.\n",
                 home.c_str(), fake != nullptr ? fake : "");
    std::_Exit(70);
}();
} // namespace

fs::path testHome() {
    return fromEnvironment("LEMVORA_TEST_HOME");
}

fs::path templatesFolderOf(const fs::path& home) {
    return home / "Library/Application Support/Lemvora/Şablonlar";
}

void writeFile(const fs::path& p, std::string_view content) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + p.string());
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool dropPrivileges() {
    if (geteuid() != 0)
        return true;
#if !defined(__linux__)
    return false; // root elsewhere: these tests are for an ordinary user
#else
    // Root keeps its uid (and with it access to its files, the build among them) but none of
    // the capabilities that let it past permissions, and gets none back on exec.
    if (prctl(PR_SET_SECUREBITS,
              SECBIT_NOROOT | SECBIT_NOROOT_LOCKED | SECBIT_NO_SETUID_FIXUP |
                  SECBIT_NO_SETUID_FIXUP_LOCKED,
              0, 0, 0) != 0)
        return false;
    for (int capability = 0; capability < 64; ++capability)
        if (prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 && errno == EINVAL)
            break;
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[2] = {};
    return syscall(SYS_capset, &header, none) == 0;
#endif
}

int unprivileged(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0)
        _exit(dropPrivileges() ? body() : 125);
    return waitForExit(pid);
}

bool waitUntil(const std::function<bool()>& condition, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

namespace {

void applyEnvironment(const std::vector<std::pair<std::string, std::string>>& environment) {
    for (const auto& [name, value] : environment) {
        if (value.empty())
            unsetenv(name.c_str());
        else
            setenv(name.c_str(), value.c_str(), 1);
    }
}

// Ends a process group and reaps its leader; the leader's exitCode. The group gets SIGTERM and
// a few seconds to end, then SIGKILL.
int endGroup(pid_t pid) {
    kill(-pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 500; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            kill(-pid, SIGKILL); // whatever of the group is left
            return exitCode(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(-pid, SIGKILL);
    return waitForExit(pid);
}

} // namespace

std::string refusesNonUtf8Names(const fs::path& folder) {
    fs::create_directories(folder);
    const fs::path probe = folder / "probe\xff";
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return "this volume refuses names that are not UTF-8: " + std::string(strerror(errno));
    close(fd);
    fs::remove(probe);
    return {};
}

bool foldsCase(const fs::path& folder) {
#if defined(_PC_CASE_SENSITIVE)
    return pathconf(folder.c_str(), _PC_CASE_SENSITIVE) == 0;
#else
    (void)folder;
    return false; // Linux's file systems keep case, but for FAT's and exFAT's, never used here
#endif
}

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    int in[2], out[2], err[2];
    makePipe(in);
    makePipe(out);
    makePipe(err);
    auto args = argvOf(argv);

    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        setpgid(0, 0);
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        applyEnvironment(options.environment);
        if (options.workingDirectory && chdir(options.workingDirectory->c_str()) != 0)
            _exit(126);
        if (options.unprivileged && !dropPrivileges())
            _exit(125);
        execv(args[0], args.data());
        _exit(127);
    }
    setpgid(pid, pid);
    close(in[0]);
    close(out[1]);
    close(err[1]);

    ProcessResult result;
    std::size_t written = 0;
    int inFd = in[1];
    if (options.input.empty()) {
        close(inFd);
        inFd = -1;
    }
    signal(SIGPIPE, SIG_IGN);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    bool outOpen = true, errOpen = true, timedOut = false;
    while (outOpen || errOpen) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inFd, POLLOUT, 0}};
        if (poll(fds, inFd >= 0 ? 3 : 2, int(left)) < 0 && errno != EINTR)
            break;
        char buffer[65536];
        for (int k = 0; k < 2; ++k) {
            bool& open = k == 0 ? outOpen : errOpen;
            if (!open || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
            if (n <= 0)
                open = false;
            else
                (k == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
        }
        if (inFd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n = write(inFd, options.input.data() + written, options.input.size() - written);
            if (n > 0)
                written += static_cast<std::size_t>(n);
            if (n < 0 || written == options.input.size()) {
                close(inFd);
                inFd = -1;
            }
        }
    }
    if (inFd >= 0)
        close(inFd);
    close(out[0]);
    close(err[0]);
    if (timedOut) {
        endGroup(pid);
        result.exitCode = 124;
        result.err +=
            "\n[runProcess: no end after " + std::to_string(options.timeoutSeconds) + " s; killed]";
        return result;
    }
    result.exitCode = waitForExit(pid);
    return result;
}

BackgroundProcess::BackgroundProcess(
    const std::vector<std::string>& argv,
    const std::vector<std::pair<std::string, std::string>>& environment) {
    auto args = argvOf(argv);
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        setpgid(0, 0);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        applyEnvironment(environment);
        execv(args[0], args.data());
        _exit(127);
    }
    setpgid(pid_, pid_);
}

BackgroundProcess::~BackgroundProcess() {
    stop();
}

bool BackgroundProcess::isRunning() {
    if (pid_ < 0)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_)
        return true;
    status_ = exitCode(status);
    kill(-pid_, SIGKILL);
    pid_ = -1;
    return false;
}

int BackgroundProcess::stop() {
    if (pid_ >= 0 && isRunning()) {
        status_ = endGroup(pid_);
        pid_ = -1;
    }
    return status_;
}

std::vector<pid_t> processesWithEnvironment(const std::string& entry) {
    std::vector<pid_t> found; // read from /proc, where there is one (Linux)
    std::error_code ec;
    for (const auto& process : fs::directory_iterator("/proc", ec)) {
        const std::string name = process.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string environ = readFile(process.path() / "environ");
        std::size_t at = 0;
        while (at < environ.size()) {
            const std::size_t end = std::min(environ.find('\0', at), environ.size());
            if (environ.compare(at, end - at, entry) == 0) {
                found.push_back(static_cast<pid_t>(std::stol(name)));
                break;
            }
            at = end + 1;
        }
    }
    return found;
}

LineSession::LineSession(const std::vector<std::string>& argv) {
    int in[2], out[2];
    makePipe(in);
    makePipe(out);
    auto args = argvOf(argv);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        execv(args[0], args.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    out_ = out[0];
    signal(SIGPIPE, SIG_IGN);
}

LineSession::~LineSession() {
    finish();
}

void LineSession::writeLine(const std::string& line) {
    const std::string data = line.ends_with('\n') ? line : line + "\n";
    if (write(in_, data.data(), data.size()) != static_cast<ssize_t>(data.size()))
        ADD_FAILURE() << "could not write to the child";
}

std::string LineSession::readLine() {
    for (;;) {
        if (auto newline = buffer_.find('\n'); newline != std::string::npos) {
            std::string line = buffer_.substr(0, newline);
            buffer_.erase(0, newline + 1);
            return line;
        }
        pollfd fd{out_, POLLIN, 0};
        char chunk[4096];
        ssize_t n = 0;
        if (poll(&fd, 1, 20000) <= 0 || (n = read(out_, chunk, sizeof chunk)) <= 0)
            return {};
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

int LineSession::finish() {
    if (pid_ < 0)
        return -1;
    close(in_);
    close(out_);
    const int code = waitForExit(pid_);
    pid_ = -1;
    return code;
}

#if defined(__linux__)
namespace {
constexpr int cannotSetUp = 213; // a child could not make its namespace

// For a process that has just made a user namespace ("self", or its pid): ids inside as before,
// outside these. A process may map only its own ids; its parent, when root, any.
bool mapIds(const std::string& process, uid_t inside, uid_t outside, gid_t insideGroup,
            gid_t outsideGroup) {
    auto put = [](const char* file, const std::string& text) {
        const int fd = open(file, O_WRONLY | O_CLOEXEC);
        const bool ok =
            fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        if (fd >= 0)
            close(fd);
        return ok;
    };
    const std::string proc = "/proc/" + process;
    put((proc + "/setgroups").c_str(), "deny");
    return put((proc + "/uid_map").c_str(),
               std::to_string(inside) + " " + std::to_string(outside) + " 1") &&
           put((proc + "/gid_map").c_str(),
               std::to_string(insideGroup) + " " + std::to_string(outsideGroup) + " 1");
}

std::optional<int> statusOf(pid_t pid) {
    const int code = waitForExit(pid);
    if (code == cannotSetUp)
        return std::nullopt;
    return code;
}
} // namespace
#endif

std::optional<int> asStranger(const std::function<int()>& body) {
#if !defined(__linux__)
    (void)body;
    return std::nullopt;
#else
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    // Root's child can map itself to another user only through its parent: the child makes its
    // namespace and waits; the parent writes the maps and lets it go on.
    int ready[2], mapped[2];
    makePipe(ready);
    makePipe(mapped);
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        char byte = unshare(CLONE_NEWUSER) == 0 ? 1 : 0;
        if (byte && uid != 0 && !mapIds("self", uid, uid, gid, gid))
            byte = 0;
        (void)!write(ready[1], &byte, 1);
        char go = 0;
        if (!byte || read(mapped[0], &go, 1) != 1 || !go)
            _exit(cannotSetUp);
        // The process keeps its old ids until it takes the mapped ones.
        if (uid == 0 && (setresgid(0, 0, 0) != 0 || setresuid(0, 0, 0) != 0))
            _exit(cannotSetUp);
        _exit(body());
    }
    char byte = 0;
    (void)!read(ready[0], &byte, 1);
    char go = byte && (uid != 0 || mapIds(std::to_string(pid), uid, 65534, gid, 65534)) ? 1 : 0;
    (void)!write(mapped[1], &go, 1);
    for (int fd : {ready[0], ready[1], mapped[0], mapped[1]})
        close(fd);
    return statusOf(pid);
#endif
}

std::optional<int> inPrivateTmpfs(const fs::path& mountPoint, const std::string& options,
                                  const std::function<int()>& body) {
#if !defined(__linux__)
    // Mount namespaces are Linux's.
    (void)mountPoint;
    (void)options;
    (void)body;
    return std::nullopt;
#else
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        // Root may mount in a mount namespace of its own; others (or a root that may not) in a
        // user namespace of their own, with the same ids inside.
        if (uid != 0 || unshare(CLONE_NEWNS) != 0) {
            if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !mapIds("self", uid, uid, gid, gid))
                _exit(cannotSetUp);
        }
        if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, options.c_str()) != 0)
            _exit(cannotSetUp);
        _exit(body());
    }
    return statusOf(pid);
#endif
}

#if defined(__linux__)
namespace {
// A system program by name, from the folders where Debian installs them ("" when missing).
std::string systemProgram(const std::string& name) {
    for (const char* folder : {"/usr/sbin", "/sbin", "/usr/bin", "/bin"})
        if (access((fs::path(folder) / name).c_str(), X_OK) == 0)
            return (fs::path(folder) / name).string();
    return {};
}
} // namespace

MountedVolume::MountedVolume(Kind kind, const fs::path& image, const fs::path& mountPoint)
    : mountPoint_(mountPoint) {
    if (geteuid() != 0) {
        why_ = "real volumes need root (loop devices, FUSE)";
        return;
    }
    // Once per process: mounts made from now on are this process's alone.
    static const bool privateMounts =
        unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    if (kind == Kind::readOnlyFolder) {
        fs::create_directories(mountPoint);
        // A bind mount starts writable; only a remount makes it read-only.
        if (!privateMounts || mount(image.c_str(), mountPoint.c_str(), nullptr, MS_BIND, nullptr))
            why_ = privateMounts ? std::string("bind mount: ") + std::strerror(errno)
                                 : "no mount namespace of its own";
        else if (mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                       nullptr) == 0)
            mounted_ = true;
        else {
            why_ = std::string("read-only remount: ") + std::strerror(errno);
            umount2(mountPoint.c_str(), 0);
        }
        return;
    }
    const char* mkfs = kind == Kind::exfat              ? "mkfs.exfat"
                       : kind == Kind::fat              ? "mkfs.fat"
                       : kind == Kind::ext4UnknownTypes ? "mkfs.ext4"
                                                        : "mkfs.btrfs";
    const char* mounter = kind == Kind::exfat ? "mount.exfat-fuse"
                          : kind == Kind::fat ? "fusefat"
                                              : "mount";
    const std::vector<std::string> tools = {systemProgram(mkfs), systemProgram(mounter),
                                            systemProgram("losetup")};
    if (!privateMounts || tools[0].empty() || tools[1].empty() || tools[2].empty()) {
        why_ = !privateMounts ? "no mount namespace of its own"
                              : std::string("missing ") + mkfs + ", " + mounter + " or losetup";
        return;
    }
    fs::create_directories(mountPoint);
    writeFile(image);
    fs::resize_file(image, (kind == Kind::btrfs ? 160u : 64u) << 20);
    auto run = [this](const std::vector<std::string>& argv) {
        const ProcessResult r = runProcess(argv, {.timeoutSeconds = 60});
        if (r.exitCode != 0)
            why_ = argv[0] + " failed: " + r.err;
        return r;
    };
    // Without the "filetype" feature, ext4 lists every entry as of unknown type (DT_UNKNOWN).
    const std::vector<std::string> format =
        kind == Kind::ext4UnknownTypes
            ? std::vector<std::string>{tools[0], "-q", "-F", "-O", "^filetype", image.string()}
            : std::vector<std::string>{tools[0], image.string()};
    if (run(format).exitCode != 0)
        return;
    struct stat before {};
    stat(mountPoint.c_str(), &before);
    ProcessResult mounting;
    if (kind == Kind::exfat) {
        const ProcessResult loop = run({tools[2], "-f", "--show", image.string()});
        if (loop.exitCode != 0)
            return;
        loopDevice_ = loop.out.substr(0, loop.out.find('\n'));
        mounting = run({tools[1], "-o", "allow_other", loopDevice_, mountPoint.string()});
    } else if (kind == Kind::fat) {
        mounting = run({tools[1], "-o", "rw+,allow_other", image.string(), mountPoint.string()});
    } else {
        mounting = run({tools[1], "-o", "loop", image.string(), mountPoint.string()});
    }
    // A FUSE file system answers once its daemon serves it.
    mounted_ = mounting.exitCode == 0 && waitUntil([&] {
                   struct stat now {};
                   return stat(mountPoint.c_str(), &now) == 0 && now.st_dev != before.st_dev;
               });
    if (mounting.exitCode == 0 && !mounted_)
        why_ = std::string(mounter) + " did not mount " + image.string();
    struct stat now {};
    if (mounted_ && stat(mountPoint.c_str(), &now) == 0)
        device_ = now.st_dev;
}

pid_t MountedVolume::daemon() const {
    // It goes into the background as it mounts: found by its command line, which names the
    // mount point.
    std::error_code ec;
    for (const auto& process : fs::directory_iterator("/proc", ec)) {
        const std::string name = process.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream in(process.path() / "cmdline", std::ios::binary);
        std::string argument;
        while (std::getline(in, argument, '\0'))
            if (argument == mountPoint_.string())
                return static_cast<pid_t>(std::stol(name));
    }
    return -1;
}

std::optional<int> MountedVolume::requestsWaiting() const {
    // The FUSE control file system has a folder for each connection, named by the volume's
    // device number as the kernel writes it (major << 20 | minor), whose "waiting" counts "the
    // requests which are waiting to be transferred to userspace or being processed by the
    // filesystem daemon" (the kernel's Documentation/filesystems/fuse.rst). Mounted once more in
    // this process's own mount namespace (the volume's), since the system may not have.
    static const fs::path connections = "/sys/fs/fuse/connections";
    static const bool ours = mount("fusectl", connections.c_str(), "fusectl", 0, nullptr) == 0;
    (void)ours; // else the system's, where there is one
    std::ifstream in(connections / std::to_string(major(device_) << 20 | minor(device_)) /
                     "waiting");
    int waiting = 0;
    if (!mounted_ || !(in >> waiting))
        return std::nullopt;
    return waiting;
}

MountedVolume::~MountedVolume() {
    if (mounted_)
        waitUntil([&] { return umount2(mountPoint_.c_str(), 0) == 0 || errno != EBUSY; });
    if (!loopDevice_.empty())
        runProcess({systemProgram("losetup"), "-d", loopDevice_});
}
#endif

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name))
        previous_ = old;
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnvironment::~ScopedEnvironment() {
    if (previous_)
        setenv(name_.c_str(), previous_->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

ScopedLocale::ScopedLocale(const char* locale) : ScopedEnvironment("LC_ALL", locale) {
    platform::text::testing::setOrderLocale(locale);
}

ScopedLocale::~ScopedLocale() {
    platform::text::testing::setOrderLocale("");
}

void HomeTest::SetUp() {
    forceRemove(testHome() / "Library");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    scratch_ = fs::path(std::getenv("LEMVORA_TEST_WORK")) / "scratch" /
               (std::string(info->test_suite_name()) + "." + info->name());
    forceRemove(scratch_);
    fs::create_directories(scratch_);
}

void HomeTest::TearDown() {
    forceRemove(scratch_);
}

void HomeTest::makeTemplates(const std::vector<std::string>& names) const {
    fs::create_directories(templates());
    for (const auto& name : names)
        writeFile(templates() / name);
}

} // namespace testing_support

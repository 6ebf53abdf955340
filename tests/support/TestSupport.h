// Helpers shared by the tests: the fake home that tests/support/with-fake-home.sh provides,
// files, locales, and child processes (optionally run as the unprivileged test user).
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <sys/types.h>
#include <vector>

#include <gtest/gtest.h>

namespace testing_support {

namespace fs = std::filesystem;

fs::path testHome(); // the current user's home in the fake user database
fs::path templatesFolderOf(const fs::path& home);

void writeFile(const fs::path& p, std::string_view content = {});
std::string readFile(const fs::path& p);
std::vector<std::string> namesIn(const fs::path& folder); // sorted by byte value

// Why a folder's volume cannot hold what a test needs, or "" when it can: names that are not
// UTF-8 (APFS refuses them with EILSEQ), or two names that differ in letter case alone (a Mac's
// own disk folds case).
std::string refusesNonUtf8Names(const fs::path& folder);
bool foldsCase(const fs::path& folder);

struct ProcessResult {
    int exitCode = -1; // the exit status, or 128 + signal number
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::string input;
    std::vector<std::pair<std::string, std::string>> environment; // set (or, with "", unset)
    bool unprivileged = false; // as an ordinary user: see dropPrivileges()
    std::optional<fs::path> workingDirectory;
    int timeoutSeconds = 120; // then the whole process group is killed, and exitCode is 124
};

// Runs a program to its end, in a process group of its own.
ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// Makes this process an ordinary user's, for tests of what a user may not do: an ordinary user
// already is one; root gives up every capability, for itself and whatever it starts, so that
// file permissions bind it like anyone (it stays the owner of its files). False when it can't.
bool dropPrivileges();

// Runs body in a forked child made unprivileged (dropPrivileges) and returns its exit status;
// 125 when the privileges could not be dropped.
int unprivileged(const std::function<int()>& body);

// Waits until condition() holds, checking every few milliseconds; false when it still does not
// hold after `seconds`. For effects of other processes, which come when they come.
bool waitUntil(const std::function<bool()>& condition, int seconds = 60);

// A program started in the background, in a process group of its own, and ended (the whole
// group, waited for) when the object goes.
class BackgroundProcess {
public:
    BackgroundProcess(const std::vector<std::string>& argv,
                      const std::vector<std::pair<std::string, std::string>>& environment = {});
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;
    bool isRunning();
    // Ends it (SIGTERM to its group, SIGKILL if it lingers) and returns its exit status.
    int stop();

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// The processes (pid) that some program started with this environment entry (NAME=value),
// wherever they are now: for programs that are started detached, out of a test's reach.
std::vector<pid_t> processesWithEnvironment(const std::string& entry);

// A child process spoken to one line at a time.
class LineSession {
public:
    explicit LineSession(const std::vector<std::string>& argv);
    ~LineSession();
    LineSession(const LineSession&) = delete;
    LineSession& operator=(const LineSession&) = delete;
    void writeLine(const std::string& line);
    // The next line of its output ("" after a 20 s wait or at its end).
    std::string readLine();
    // Closes its input and returns its exit status.
    int finish();
    pid_t pid() const { return pid_; }

private:
    int pid_ = -1, in_ = -1, out_ = -1;
    std::string buffer_;
};

// Runs body in a child process that sees a small tmpfs (mount options such as "size=64k") at
// mountPoint, in a mount namespace of its own: as root directly, otherwise (or where root may not)
// inside a user namespace of its own. Returns body's exit status, or nothing where this machine
// allows neither. Whatever body writes there is gone when it ends.
std::optional<int> inPrivateTmpfs(const fs::path& mountPoint, const std::string& options,
                                  const std::function<int()>& body);

// Runs body in a forked child that owns nothing of the system: in a user namespace of its own
// where it keeps its uid, but outside which it is an ordinary user (uid 65534 when the test runs
// as root), so that root's files, "/" among them, are someone else's to it. Returns body's exit
// status, or nothing where this machine allows no user namespace (and off Linux).
std::optional<int> asStranger(const std::function<int()>& body);

#if defined(__linux__)
// A real volume, made fresh in an image file and mounted at a folder for the object's life, as a
// user's USB stick or disk is: exFAT through exfat-fuse on a loop device, FAT through fusefat,
// btrfs and ext4 without entry types on a loop device; or, as a disk image is, an existing folder
// (`image`) shown read-only there by a bind mount. Root only (loop devices, FUSE, mounts); the
// mount lives in a mount namespace of this process's own, so that nothing outside sees it.
class MountedVolume {
public:
    enum class Kind { exfat, fat, btrfs, ext4UnknownTypes, readOnlyFolder };
    MountedVolume(Kind kind, const fs::path& image, const fs::path& mountPoint);
    ~MountedVolume();
    MountedVolume(const MountedVolume&) = delete;
    MountedVolume& operator=(const MountedVolume&) = delete;
    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; } // why it is not mounted
    // A FUSE volume's daemon (exFAT, FAT), or -1; and how many of the volume's requests it has
    // not answered yet (none where the system cannot tell).
    pid_t daemon() const;
    std::optional<int> requestsWaiting() const;

private:
    fs::path mountPoint_;
    dev_t device_ = 0;
    std::string loopDevice_;
    bool mounted_ = false;
    std::string why_;
};
#endif

// Sets (or, with nullptr, unsets) an environment variable for the scope of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Sets LC_ALL, and the locale of Finder order on every system (a Mac takes it from the user's
// settings, not from LC_ALL), for the scope of the object.
class ScopedLocale : public ScopedEnvironment {
public:
    explicit ScopedLocale(const char* locale);
    ~ScopedLocale();
};

// A test with an empty fake home and a fresh scratch folder for it alone.
class HomeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    fs::path templates() const { return templatesFolderOf(testHome()); }
    // Creates the template folder holding empty files of these names.
    void makeTemplates(const std::vector<std::string>& names) const;
    const fs::path& scratch() const { return scratch_; }

private:
    fs::path scratch_;
};

} // namespace testing_support

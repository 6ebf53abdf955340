// Helpers shared by the tests: the fake home that tests/support/with-fake-home.sh provides,
// files, locales, and child processes (optionally run as the unprivileged test user).
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace testing_support {

namespace fs = std::filesystem;

fs::path testHome();   // the current user's home in the fake user database
fs::path nobodyHome(); // the home of "lemvora-nobody", uid 65534
fs::path templatesFolderOf(const fs::path& home);

void writeFile(const fs::path& p, std::string_view content = {});
std::string readFile(const fs::path& p);
std::vector<std::string> namesIn(const fs::path& folder); // sorted by byte value

struct ProcessResult {
    int exitCode = -1; // the exit status, or 128 + signal number
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::string input;
    std::vector<std::pair<std::string, std::string>> environment; // set (or, with "", unset)
    bool asNobody = false; // drop to uid/gid 65534 before exec
    std::optional<fs::path> workingDirectory;
};

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

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

// Sets LC_ALL for the scope of the object.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* locale);
    ~ScopedLocale();
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    std::optional<std::string> previous_;
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

// Making a new document from a template: names, numbering, and never losing or clobbering data.
#include "Templates.h"

#include "TestSupport.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#if defined(__linux__)
#include <linux/fs.h>
#endif
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace testing_support;
using V = std::vector<std::string>;

class Create : public HomeTest {
protected:
    // The catalogue entry of the one template file made with these contents.
    Templates::Template templateNamed(const std::string& onDisk, std::string_view content = {}) {
        HomeTest::SetUp();
        writeFile(templates() / onDisk, content);
        auto records = Templates::load();
        EXPECT_EQ(records.size(), 1u);
        return records.at(0);
    }
    fs::path destination() const { return scratch() / "Hedef"; }
};

int errnoOf(const std::function<void()>& body) {
    try {
        body();
        return 0;
    } catch (const std::filesystem::filesystem_error& e) {
        return e.code().value();
    }
}

// The safety rules hold on every way the copy can take: the fast one, the one a machine without
// /proc forces on Linux, and the hidden-name one that file systems without clones or unnamed
// files force (on a Mac: another volume, a network share).
enum class CopyWay { fast, withoutProc, hiddenName };

class EveryCopyWay : public Create, public ::testing::WithParamInterface<CopyWay> {
protected:
    void SetUp() override {
        Create::SetUp();
        if (GetParam() == CopyWay::withoutProc)
            platform::fs::testing::setDescriptorFolder("/nonexistent/proc/self/fd");
        platform::fs::testing::setFastPathAllowed(GetParam() != CopyWay::hiddenName);
    }
    void TearDown() override {
        platform::fs::testing::setDescriptorFolder("/proc/self/fd");
        platform::fs::testing::setFastPathAllowed(true);
        Create::TearDown();
    }
};

INSTANTIATE_TEST_SUITE_P(Ways, EveryCopyWay,
                         ::testing::Values(CopyWay::fast, CopyWay::withoutProc,
                                           CopyWay::hiddenName),
                         [](const auto& way) {
                             return std::string(way.param == CopyWay::fast          ? "fast"
                                                : way.param == CopyWay::withoutProc ? "withoutProc"
                                                                                    : "hiddenName");
                         });

TEST_P(EveryCopyWay, ATakenNameIsNeverReplacedAndNothingIsLeftBeside) {
    auto t = templateNamed("Not.txt", "şablon");
    fs::create_directories(destination());
    writeFile(destination() / "Not.txt", "kullanıcının");
    EXPECT_EQ(errnoOf([&] { platform::fs::copyFileExclusive(t.url(), destination() / "Not.txt"); }),
              EEXIST);
    EXPECT_EQ(readFile(destination() / "Not.txt"), "kullanıcının");
    EXPECT_EQ(Templates::create(t, destination()), destination() / "Not 2.txt");
    EXPECT_EQ(readFile(destination() / "Not 2.txt"), "şablon");
    EXPECT_EQ(namesIn(destination()), (V{"Not 2.txt", "Not.txt"})); // no temporary file
}

// A new document is an ordinary, editable file of the user's, whatever marks its template
// carries: a lock (immutable), a quarantine mark, a stationery bit.
TEST_P(EveryCopyWay, TheNewDocumentCarriesNoneOfTheTemplatesMarks) {
    auto t = templateNamed("İşaretli.txt", "şablon");
    fs::create_directories(destination());
#if defined(__APPLE__)
    const char* quarantine = "com.apple.quarantine";
    ASSERT_EQ(setxattr(t.url().c_str(), quarantine, "0083;00000000;Safari;", 21, 0, 0), 0);
    unsigned char info[32] = {};
    info[8] = 0x08; // kIsStationery
    ASSERT_EQ(setxattr(t.url().c_str(), XATTR_FINDERINFO_NAME, info, sizeof info, 0, 0), 0);
    ASSERT_EQ(chflags(t.url().c_str(), UF_IMMUTABLE), 0); // locked in Finder
    const auto made = Templates::create(t, destination());
    chflags(t.url().c_str(), 0);
    struct stat st {};
    ASSERT_EQ(lstat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_flags & (UF_IMMUTABLE | UF_APPEND), 0u);
    EXPECT_LT(getxattr(made.c_str(), quarantine, nullptr, 0, 0, 0), 0);
    unsigned char madeInfo[32] = {};
    if (getxattr(made.c_str(), XATTR_FINDERINFO_NAME, madeInfo, sizeof madeInfo, 0, 0) > 0) {
        EXPECT_EQ(madeInfo[8] & 0x08, 0);
    }
#else
    // Linux's kin of the quarantine mark is the origin a browser records.
    const char* origin = "user.xdg.origin.url";
    if (setxattr(t.url().c_str(), origin, "https://örnek", 14, 0) != 0)
        GTEST_SKIP() << "this file system keeps no extended attributes: " << strerror(errno);
    // The lock: only root may set it, and only where the file system has it.
    const int in = open(t.url().c_str(), O_RDONLY);
    int flags = 0;
    const bool locked = ioctl(in, FS_IOC_GETFLAGS, &flags) == 0 &&
                        (flags |= FS_IMMUTABLE_FL, ioctl(in, FS_IOC_SETFLAGS, &flags) == 0);
    const auto made = Templates::create(t, destination());
    if (locked) {
        flags &= ~FS_IMMUTABLE_FL;
        ioctl(in, FS_IOC_SETFLAGS, &flags);
    }
    close(in);
    EXPECT_LT(getxattr(made.c_str(), origin, nullptr, 0), 0);
    const int out = open(made.c_str(), O_RDONLY);
    int madeFlags = 0;
    if (ioctl(out, FS_IOC_GETFLAGS, &madeFlags) == 0) {
        EXPECT_EQ(madeFlags & (FS_IMMUTABLE_FL | FS_APPEND_FL), 0);
    }
    close(out);
#endif
    EXPECT_EQ(readFile(made), "şablon");
    writeFile(made, "düzenlendi"); // editable
    EXPECT_EQ(readFile(made), "düzenlendi");
#if defined(__linux__)
    // An ordinary user can never lock a file, so there is nothing more to see; root can, where
    // the file system has the flag.
    if (!locked && geteuid() == 0)
        GTEST_SKIP() << "this file system has no immutable flag: the lock went untested";
#endif
}

TEST_F(Create, NamesFollowTheFirstFreeNumber) {
    struct Case {
        V existing;
        std::string made;
    };
    const Case cases[] = {
        {{}, "Yeni Metin Belgesi.txt"},
        {{"Yeni Metin Belgesi.txt"}, "Yeni Metin Belgesi 2.txt"},
        {{"Yeni Metin Belgesi.txt", "Yeni Metin Belgesi 2.txt"}, "Yeni Metin Belgesi 3.txt"},
        {{"Yeni Metin Belgesi.txt", "Yeni Metin Belgesi 3.txt"}, "Yeni Metin Belgesi 2.txt"},
        {{"Yeni Metin Belgesi 2.txt"}, "Yeni Metin Belgesi.txt"},
        {{"Yeni Metin Belgesi.txt/"}, "Yeni Metin Belgesi 2.txt"}, // a folder is taken too
        {{"Yeni Metin Belgesi.txt", "Yeni Metin Belgesi 2.txt/"}, "Yeni Metin Belgesi 3.txt"},
        {{"Yeni Metin Belgesi.txt", "Yeni Metin Belgesi 2.txt", "Yeni Metin Belgesi 3.txt",
          "Yeni Metin Belgesi 4.txt", "Yeni Metin Belgesi 5.txt", "Yeni Metin Belgesi 6.txt",
          "Yeni Metin Belgesi 7.txt", "Yeni Metin Belgesi 8.txt", "Yeni Metin Belgesi 9.txt"},
         "Yeni Metin Belgesi 10.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.made);
        auto t = templateNamed("10 Yeni Metin Belgesi.txt", "metin");
        for (const auto& name : c.existing) {
            if (name.back() == '/')
                fs::create_directories(destination() / name);
            else
                writeFile(destination() / name, "kullanıcının");
        }
        fs::create_directories(destination());
        EXPECT_EQ(Templates::create(t, destination()), destination() / c.made);
        EXPECT_EQ(readFile(destination() / c.made), "metin");
        for (const auto& name : c.existing) {
            if (name.back() != '/') {
                EXPECT_EQ(readFile(destination() / name), "kullanıcının");
            }
        }
    }
}

TEST_F(Create, ExtensionlessAndMultiDotNames) {
    auto notes = templateNamed("Notlar");
    fs::create_directories(destination());
    EXPECT_EQ(Templates::create(notes, destination()).filename(), "Notlar");
    EXPECT_EQ(Templates::create(notes, destination()).filename(), "Notlar 2");
    EXPECT_EQ(Templates::create(notes, destination()).filename(), "Notlar 3");

    auto archive = templateNamed("3 - Arşiv.tar.gz");
    fs::create_directories(destination());
    EXPECT_EQ(Templates::create(archive, destination()).filename(), "Arşiv.tar.gz");
    EXPECT_EQ(Templates::create(archive, destination()).filename(), "Arşiv.tar 2.gz");
}

TEST_F(Create, EmptyTemplateGivesEmptyDocumentAndInvalidUtf8NamesAreKept) {
    auto t = templateNamed("10 Bozuk\xff.txt");
    fs::create_directories(destination());
    const auto made = Templates::create(t, destination());
    EXPECT_EQ(made.filename().string(), "Bozuk\xff.txt");
    EXPECT_EQ(fs::file_size(made), 0u);
}

TEST_P(EveryCopyWay, SymbolicLinksCountAsTakenAndAreNeverWrittenThrough) {
    auto t = templateNamed("Not.txt", "şablon");
    fs::create_directories(destination());
    const fs::path victim = scratch() / "kurban.txt";
    writeFile(victim, "dokunma");
    fs::create_symlink(scratch() / "yok.txt", destination() / "Not.txt"); // dangling
    fs::create_symlink(victim, destination() / "Not 2.txt");
    EXPECT_EQ(Templates::create(t, destination()), destination() / "Not 3.txt");
    EXPECT_EQ(fs::read_symlink(destination() / "Not.txt"), scratch() / "yok.txt");
    EXPECT_FALSE(fs::exists(scratch() / "yok.txt"));
    EXPECT_EQ(readFile(victim), "dokunma");
}

TEST_P(EveryCopyWay, NewDocumentIsWritableByItsOwnerWhateverTheTemplate) {
    auto t = templateNamed("Salt okunur.txt", "korumalı");
    fs::permissions(t.url(), fs::perms::owner_read | fs::perms::group_read);
    fs::create_directories(destination());
    const auto made = Templates::create(t, destination());
    EXPECT_EQ(fs::status(made).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(readFile(made), "korumalı");
}

TEST_F(Create, FailuresPassTheFileSystemErrorOnAndLeaveNothing) {
    auto t = templateNamed("Not.txt", "x");
    // Destination folder missing.
    EXPECT_EQ(errnoOf([&] { Templates::create(t, scratch() / "yok"); }), ENOENT);

    // Template gone since the scan.
    fs::create_directories(destination());
    fs::remove(t.url());
    EXPECT_EQ(errnoOf([&] { Templates::create(t, destination()); }), ENOENT);
    EXPECT_TRUE(namesIn(destination()).empty());

    // A FIFO put where the template was is refused without blocking.
    ASSERT_EQ(mkfifo(t.url().c_str(), 0644), 0);
    EXPECT_EQ(errnoOf([&] { Templates::create(t, destination()); }), EINVAL);
    EXPECT_TRUE(namesIn(destination()).empty());
}

// These run as an ordinary user, whom permissions bind. Each first shows that the other half
// works, so that the failure can only come from its own cause.
TEST_F(Create, AFolderTheUserMayNotWriteFailsAndGetsNothing) {
    auto t = templateNamed("Not.txt", "x");
    const fs::path writable = scratch() / "Yazılır";
    fs::create_directories(writable);
    fs::create_directories(destination());
    chmod(destination().c_str(), 0555);
    EXPECT_EQ(unprivileged([&] { return errnoOf([&] { Templates::create(t, writable); }); }), 0);
    EXPECT_EQ(unprivileged([&] { return errnoOf([&] { Templates::create(t, destination()); }); }),
              EACCES);
    chmod(destination().c_str(), 0755);
    EXPECT_TRUE(namesIn(destination()).empty());
}

TEST_F(Create, ATemplateTheUserMayNotReadFailsBeforeAnyFileAppears) {
    auto readable = templateNamed("Okunur.txt", "x");
    writeFile(templates() / "Gizli.txt", "y");
    auto records = Templates::load();
    ASSERT_EQ(records.size(), 2u);
    const auto& secret = records[0].url().filename() == "Gizli.txt" ? records[0] : records[1];
    chmod(secret.url().c_str(), 0200);
    fs::create_directories(destination());
    EXPECT_EQ(
        unprivileged([&] { return errnoOf([&] { Templates::create(readable, destination()); }); }),
        0);
    EXPECT_EQ(
        unprivileged([&] { return errnoOf([&] { Templates::create(secret, destination()); }); }),
        EACCES);
    EXPECT_EQ(namesIn(destination()), V{"Okunur.txt"});
}

TEST_P(EveryCopyWay, CopyFailingMidwayLeavesNoPartialFile) {
    // A real full disk: a 64 KiB file system that only the child sees.
    auto t = templateNamed("Büyük.bin", std::string(1 << 20, 'b'));
    const fs::path small = scratch() / "küçük";
    fs::create_directories(small);
    const auto result = inPrivateTmpfs(small, "size=64k", [&] {
        const int error = errnoOf([&] { Templates::create(t, small); });
        // What is left inside the small file system, seen from inside the namespace.
        const bool empty = fs::is_empty(small);
        return error == ENOSPC && empty ? 0 : (error == 0 ? 1 : (empty ? 2 : 3));
    });
    if (!result)
        GTEST_SKIP() << "this machine lets the test mount no file system, not even in a user "
                        "namespace";
    EXPECT_EQ(*result, 0) << "1: copy succeeded, 2: wrong error, 3: a partial file was left";
}

TEST_P(EveryCopyWay, RacingCreatorsNeverOverwriteEachOther) {
    constexpr int processes = 8, attempts = 50;
    std::string content;
    for (int i = 0; i < 4096; ++i)
        content += static_cast<char>('a' + i % 26);
    auto t = templateNamed("10 Yeni Metin Belgesi.txt", content);
    fs::create_directories(destination());

    int gate[2], report[2];
    ASSERT_EQ(pipe(gate), 0);
    ASSERT_EQ(pipe(report), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        pid_t pid = fork();
        if (pid == 0) {
            close(gate[1]);
            char go;
            (void)!read(gate[0], &go, 1); // all start together when the gate closes
            for (int i = 0; i < attempts; ++i) {
                const int error = errnoOf([&] { Templates::create(t, destination()); });
                const char outcome = error == 0 ? 'm' : (error == EEXIST ? 'e' : 'x');
                (void)!write(report[1], &outcome, 1);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]);
    close(report[1]);
    int made = 0, exists = 0, other = 0;
    char outcome;
    while (read(report[0], &outcome, 1) == 1)
        (outcome == 'm' ? made : outcome == 'e' ? exists : other)++;
    close(report[0]);
    for (pid_t pid : children)
        waitpid(pid, nullptr, 0);

    EXPECT_EQ(other, 0);
    EXPECT_EQ(made + exists, processes * attempts);
    const auto names = namesIn(destination());
    EXPECT_EQ(static_cast<int>(names.size()), made);
    for (const auto& name : names)
        ASSERT_EQ(readFile(destination() / name), content) << name;
    std::printf("race: %d made, %d lost to another creator\n", made, exists);
}

} // namespace

// Making a new document from a template: names, numbering, and never losing or clobbering data.
#include "Templates.h"

#include "TestSupport.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#if defined(__linux__)
#include <linux/btrfs.h>
#include <linux/fiemap.h>
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

using platform::fs::testing::Call;

// What volumes answer when they lack what a way of the copy needs: FAT and exFAT through FUSE on
// Linux; on a Mac another volume (no clone), msdosfs and exFAT (no exclusive rename, no link).
struct Lack {
    Call call;
    int error;
};
#if defined(__APPLE__)
constexpr Lack noFastWay{Call::clone, EXDEV}, noRename{Call::rename, ENOTSUP},
    noLink{Call::link, ENOTSUP};
#else
constexpr Lack noFastWay{Call::unnamedFile, EOPNOTSUPP}, noRename{Call::rename, EINVAL},
    noLink{Call::link, EPERM};
#endif

// The safety rules hold on every way the copy can take: the fast one; the one a Linux machine
// without /proc forces; a hidden name named by a rename, or by a link where the volume has no
// no-replace rename; and the name written in place where it has no link either (FAT, exFAT).
enum class CopyWay { fast, withoutProc, renamed, linked, inPlace };

void force(CopyWay way) {
    if (way == CopyWay::withoutProc)
        platform::fs::testing::setDescriptorFolder("/nonexistent/proc/self/fd");
    for (const auto& [from, lack] : {std::pair{CopyWay::renamed, noFastWay},
                                     {CopyWay::linked, noRename},
                                     {CopyWay::inPlace, noLink}})
        if (way >= from)
            platform::fs::testing::failCall(lack.call, lack.error);
}

class EveryCopyWay : public Create, public ::testing::WithParamInterface<CopyWay> {
protected:
    void SetUp() override {
        Create::SetUp();
        force(GetParam());
    }
    void TearDown() override {
        platform::fs::testing::setDescriptorFolder("/proc/self/fd");
        platform::fs::testing::clearFailures();
        Create::TearDown();
    }
};

const CopyWay everyWay[] = {CopyWay::fast,
#if defined(__linux__)
                            CopyWay::withoutProc,
#endif
                            CopyWay::renamed, CopyWay::linked, CopyWay::inPlace};

std::string nameOf(const ::testing::TestParamInfo<CopyWay>& way) {
    const char* names[] = {"fast", "withoutProc", "renamed", "linked", "inPlace"};
    return names[static_cast<int>(way.param)];
}

INSTANTIATE_TEST_SUITE_P(Ways, EveryCopyWay, ::testing::ValuesIn(everyWay), nameOf);

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

// Each call of the copy, failing with each error it can give: a real failure ends the copy with
// that error and leaves nothing; what a volume merely lacks sends the copy on to the next way.
// Either way the result is the whole document or nothing, and never a temporary file.
TEST_P(EveryCopyWay, AFailingCallGivesTheWholeDocumentOrNothing) {
    auto t = templateNamed("Not.txt", "şablon");
    fs::create_directories(destination());
    const Call calls[] = {Call::openTemplate, Call::statTemplate,  Call::unnamedFile,
                          Call::hiddenFile,   Call::exclusiveFile, Call::clone,
                          Call::copy,         Call::chmod,         Call::link,
                          Call::rename};
    // Real failures first, then what volumes answer for what they lack.
    const int errors[] = {ENOSPC, EIO,   EACCES, EDQUOT, EOPNOTSUPP, ENOTSUP,
                          EINVAL, EPERM, ENOSYS, EXDEV,  ENOTTY,     EISDIR};
    const auto isReal = [](int error) {
        return error == ENOSPC || error == EIO || error == EACCES || error == EDQUOT;
    };
    // Both "not supported" values (one on Linux, two on a Mac) from these calls always mean the
    // volume lacks it.
    const auto lacks = [](Call call, int error) {
        return (error == ENOTSUP || error == EOPNOTSUPP) &&
               (call == Call::unnamedFile || call == Call::clone || call == Call::chmod ||
                call == Call::link || call == Call::rename);
    };
    for (const Call call : calls)
        for (const int error : errors) {
            SCOPED_TRACE("call " + std::to_string(static_cast<int>(call)) + ", " +
                         std::strerror(error));
            platform::fs::testing::clearFailures();
            force(GetParam());
            platform::fs::testing::failCall(call, error);
            const int result = errnoOf([&] { Templates::create(t, destination()); });
            const bool hit = platform::fs::testing::failuresHit(call) > 0;
            if (result == 0) {
                EXPECT_EQ(namesIn(destination()), V{"Not.txt"});
                EXPECT_EQ(readFile(destination() / "Not.txt"), "şablon");
                EXPECT_FALSE(hit && isReal(error))
                    << "a real failure was taken for a volume's lack";
                fs::remove(destination() / "Not.txt");
            } else {
                EXPECT_TRUE(hit);
                EXPECT_FALSE(lacks(call, error)) << "a volume's lack was taken for a failure";
                EXPECT_EQ(result, error);
                EXPECT_TRUE(namesIn(destination()).empty());
            }
        }
    if (GetParam() != CopyWay::inPlace)
        return;
    // Written in place, the half-made document is removed on failure only while it is still the
    // file made: here someone moved it away and put a file of their own at its name meanwhile.
    platform::fs::testing::clearFailures();
    force(CopyWay::inPlace);
    platform::fs::testing::failCall(Call::clone, EOPNOTSUPP);
    platform::fs::testing::failCall(Call::copy, ENOSPC, [&] {
        fs::rename(destination() / "Not.txt", destination() / "Taşınan.txt");
        writeFile(destination() / "Not.txt", "kullanıcının");
    });
    EXPECT_EQ(errnoOf([&] { Templates::create(t, destination()); }), ENOSPC);
    EXPECT_EQ(readFile(destination() / "Not.txt"), "kullanıcının");
}

// A new document is an ordinary, fresh, editable file of the user's, whatever marks its template
// carries: an old time, extended attributes (on a Mac: Finder tags, where it came from, a
// quarantine mark, a stationery bit), a lock (immutable).
TEST_P(EveryCopyWay, TheNewDocumentCarriesNoneOfTheTemplatesMarks) {
    auto t = templateNamed("İşaretli.txt", "şablon");
    fs::create_directories(destination());
    const timespec old[2] = {{978307200, 0}, {978307200, 0}}; // 2001
    ASSERT_EQ(utimensat(AT_FDCWD, t.url().c_str(), old, 0), 0);
    const time_t before = time(nullptr);
#if defined(__APPLE__)
    const char* quarantine = "com.apple.quarantine";
    ASSERT_EQ(setxattr(t.url().c_str(), quarantine, "0083;00000000;Safari;", 21, 0, 0), 0);
    const char* tags = "com.apple.metadata:_kMDItemUserTags";
    const char* whereFrom = "com.apple.metadata:kMDItemWhereFroms";
    ASSERT_EQ(setxattr(t.url().c_str(), tags, "bplist00", 8, 0, 0), 0);
    ASSERT_EQ(setxattr(t.url().c_str(), whereFrom, "bplist00", 8, 0, 0), 0);
    unsigned char info[32] = {};
    info[8] = 0x08; // kIsStationery
    ASSERT_EQ(setxattr(t.url().c_str(), XATTR_FINDERINFO_NAME, info, sizeof info, 0, 0), 0);
    // More attributes than a 4 KiB list holds.
    const std::string many(200, 'x');
    for (int i = 0; i < 32; ++i)
        ASSERT_EQ(setxattr(t.url().c_str(), ("com.lemvora." + many + std::to_string(i)).c_str(),
                           "1", 1, 0, 0),
                  0);
    ASSERT_EQ(chflags(t.url().c_str(), UF_IMMUTABLE), 0); // locked in Finder
    const struct Unlock {
        const char* file;
        ~Unlock() { chflags(file, 0); } // even when the test stops early
    } unlock{t.url().c_str()};
    const auto made = Templates::create(t, destination());
    struct stat st {};
    ASSERT_EQ(lstat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_flags & (UF_IMMUTABLE | UF_APPEND), 0u);
    EXPECT_EQ(listxattr(made.c_str(), nullptr, 0, 0), 0); // quarantine, tags, whereFrom, info…
    EXPECT_GE(st.st_birthtimespec.tv_sec, before - 2);
#else
    // Linux's kin of the quarantine mark is the origin a browser records.
    const char* origin = "user.xdg.origin.url";
    if (setxattr(t.url().c_str(), origin, "https://örnek", 14, 0) != 0)
        GTEST_SKIP() << "this file system keeps no extended attributes: " << strerror(errno);
    // The lock: only root may set it, and only where the file system has it.
    const struct Lock {
        int in;
        int flags = 0;
        bool locked = ioctl(in, FS_IOC_GETFLAGS, &flags) == 0 &&
                      (flags |= FS_IMMUTABLE_FL, ioctl(in, FS_IOC_SETFLAGS, &flags) == 0);
        ~Lock() { // even when the test stops early: a locked file could never be removed
            int unlocked = flags & ~FS_IMMUTABLE_FL;
            if (locked)
                ioctl(in, FS_IOC_SETFLAGS, &unlocked);
            close(in);
        }
    } lock{open(t.url().c_str(), O_RDONLY)};
    const bool locked = lock.locked;
    const auto made = Templates::create(t, destination());
    EXPECT_LT(getxattr(made.c_str(), origin, nullptr, 0), 0);
    const int out = open(made.c_str(), O_RDONLY);
    int madeFlags = 0;
    if (ioctl(out, FS_IOC_GETFLAGS, &madeFlags) == 0) {
        EXPECT_EQ(madeFlags & (FS_IMMUTABLE_FL | FS_APPEND_FL), 0);
    }
    close(out);
#endif
    struct stat madeStat {};
    ASSERT_EQ(stat(made.c_str(), &madeStat), 0);
    EXPECT_GE(madeStat.st_mtime, before - 2); // FAT keeps times to 2 s
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
    if (const auto why = refusesNonUtf8Names(templates()); !why.empty())
        GTEST_SKIP() << why;
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

// The template's permissions plus write for the owner, whatever the umask.
TEST_P(EveryCopyWay, NewDocumentHasTheTemplatesModeAndIsWritableByItsOwner) {
    const mode_t umaskBefore = umask(022);
    const std::pair<mode_t, mode_t> cases[] = {{0440, 0640}, {0666, 0666}, {0500, 0700}};
    for (const auto& [templateMode, documentMode] : cases) {
        auto t = templateNamed("Kip.txt", "korumalı");
        ASSERT_EQ(chmod(t.url().c_str(), templateMode), 0);
        fs::create_directories(destination());
        const auto made = Templates::create(t, destination());
        struct stat st {};
        ASSERT_EQ(stat(made.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, documentMode) << std::oct << templateMode;
        EXPECT_EQ(readFile(made), "korumalı");
    }
    umask(umaskBefore);
}

// The starter set's empty files are made only where nothing stands: what does stays untouched,
// and a FIFO is never opened (it would block).
TEST_F(Create, AnEmptyFileIsMadeOnlyWhereNothingStands) {
    HomeTest::SetUp();
    const fs::path victim = scratch() / "kurban.txt";
    writeFile(victim, "dokunma");
    writeFile(scratch() / "dosya", "kullanıcının");
    fs::create_directories(scratch() / "klasör");
    fs::create_symlink(victim, scratch() / "bağ");
    fs::create_symlink(scratch() / "yok", scratch() / "kopuk");
    ASSERT_EQ(mkfifo((scratch() / "fifo").c_str(), 0644), 0);
    for (const char* name : {"dosya", "klasör", "bağ", "kopuk", "fifo"})
        EXPECT_FALSE(platform::fs::createEmptyFile(scratch() / name)) << name;
    EXPECT_EQ(readFile(scratch() / "dosya"), "kullanıcının");
    EXPECT_EQ(readFile(victim), "dokunma");
    EXPECT_FALSE(fs::exists(fs::symlink_status(scratch() / "yok")));
    EXPECT_TRUE(platform::fs::createEmptyFile(scratch() / "yeni"));
    EXPECT_EQ(fs::file_size(scratch() / "yeni"), 0u);
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

#if defined(__linux__)
// Documents on real volumes: the USB sticks and cards users carry (exFAT, FAT through FUSE, which
// have no unnamed files, no no-replace rename and no hard links), and btrfs, whose reflinks make
// the copy share the template's blocks.
using Volume = MountedVolume::Kind;
class OnVolume : public Create, public ::testing::WithParamInterface<Volume> {};

// Whether the first extent of both files is the same, shared, block on the disk.
bool sharesBlocks(const fs::path& a, const fs::path& b) {
    auto firstExtent = [](const fs::path& p) {
        alignas(fiemap) unsigned char buffer[sizeof(fiemap) + sizeof(fiemap_extent)] = {};
        auto* map = reinterpret_cast<fiemap*>(buffer);
        map->fm_length = FIEMAP_MAX_OFFSET;
        map->fm_flags = FIEMAP_FLAG_SYNC;
        map->fm_extent_count = 1;
        const int fd = open(p.c_str(), O_RDONLY);
        const bool ok = ioctl(fd, FS_IOC_FIEMAP, map) == 0 && map->fm_mapped_extents == 1;
        close(fd);
        return ok ? map->fm_extents[0] : fiemap_extent{};
    };
    const fiemap_extent x = firstExtent(a), y = firstExtent(b);
    return x.fe_physical == y.fe_physical && x.fe_length > 0 &&
           (x.fe_flags & y.fe_flags & FIEMAP_EXTENT_SHARED);
}

TEST_P(OnVolume, DocumentsAreWholeNumberedAndAloneInTheirFolder) {
    const bool btrfs = GetParam() == Volume::btrfs;
    // On btrfs the template folder itself is the volume, so that the copy can share its blocks;
    // on ext4 without entry types, so that the scan lists it.
    const bool templatesThere = btrfs || GetParam() == Volume::ext4UnknownTypes;
    const fs::path mountPoint = templatesThere ? templates() : scratch() / "USB";
    MountedVolume volume(GetParam(), scratch() / "volume.img", mountPoint);
    if (!volume.mounted())
        GTEST_SKIP() << volume.why();
    std::string content(1 << 20, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7919 >> 5);
    writeFile(templates() / "10 Yeni Not.txt", content);
    if (templatesThere) // a link is no template, whatever the listing tells of its type
        fs::create_symlink("10 Yeni Not.txt", templates() / "20 Bağ.txt");
    const auto records = Templates::load();
    ASSERT_EQ(records.size(), 1u);
    const fs::path folder = mountPoint / "Hedef";
    if (btrfs) {
        // A subvolume: a device number of its own, on its parent's mount.
        btrfs_ioctl_vol_args args{};
        std::strcpy(args.name, "Hedef");
        const int parent = open(mountPoint.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_EQ(ioctl(parent, BTRFS_IOC_SUBVOL_CREATE, &args), 0) << strerror(errno);
        close(parent);
        struct stat above {
        }, below{};
        ASSERT_EQ(stat(mountPoint.c_str(), &above) | stat(folder.c_str(), &below), 0);
        ASSERT_NE(above.st_dev, below.st_dev);
    }
    fs::create_directories(folder);
    const time_t before = time(nullptr);
    EXPECT_EQ(Templates::create(records[0], folder), folder / "Yeni Not.txt");
    // The second through the finder host: the extension registered the volume, so it has the
    // menu there.
    const fs::path build(LEMVORA_BINARY_DIR);
    const auto host = runProcess(
        {(build / "tools/finder/lemvora-finder").string(), "--script", "--extension",
         (build / "Lemvora.app/Contents/PlugIns/LemvoraMenu.appex").string()},
        {.input = R"({"op":"menu","kind":1,"target":")" + folder.string() + "\"}\n" +
                  R"({"op":"send","selector":"doc00:","target":")" + folder.string() + "\"}\n"});
    EXPECT_NE(host.out.find("\"doc00:\""), std::string::npos) << host.out << host.err;
    EXPECT_EQ(namesIn(folder), (V{"Yeni Not 2.txt", "Yeni Not.txt"}));
    for (const char* name : {"Yeni Not.txt", "Yeni Not 2.txt"}) {
        EXPECT_EQ(readFile(folder / name), content) << name;
        struct stat st {};
        ASSERT_EQ(stat((folder / name).c_str(), &st), 0);
        EXPECT_GE(st.st_mtime, before - 2) << name;
    }
    if (btrfs) {
        EXPECT_TRUE(sharesBlocks(records[0].url(), folder / "Yeni Not.txt"));
        const int fd = open((folder / "Yeni Not.txt").c_str(), O_WRONLY);
        ASSERT_EQ(pwrite(fd, "değişti", 9, 0), 9);
        close(fd);
        EXPECT_EQ(readFile(records[0].url()), content);
        EXPECT_EQ(readFile(folder / "Yeni Not.txt").substr(0, 9), "değişti");
    }
}

INSTANTIATE_TEST_SUITE_P(Real, OnVolume,
                         ::testing::Values(Volume::exfat, Volume::fat, Volume::btrfs,
                                           Volume::ext4UnknownTypes),
                         [](const auto& volume) {
                             return std::string(volume.param == Volume::exfat ? "exFAT"
                                                : volume.param == Volume::fat ? "FAT"
                                                : volume.param == Volume::btrfs
                                                    ? "btrfs"
                                                    : "ext4WithoutEntryTypes");
                         });
#endif

} // namespace

// The scan of the template folder into the ordered, capped catalogue, and where that folder is.
#include "Templates.h"

#include "TestSupport.h"

#include <cstdio>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#if defined(__APPLE__)
#include <sys/xattr.h>
#endif
#include <unistd.h>

namespace {

using namespace testing_support;

std::vector<std::string> titles(const std::vector<Templates::Template>& records) {
    std::vector<std::string> out;
    for (const auto& r : records)
        out.push_back(r.title());
    return out;
}

std::vector<std::string> onDiskNames(const std::vector<Templates::Template>& records) {
    std::vector<std::string> out;
    for (const auto& r : records)
        out.push_back(r.url().filename().string());
    return out;
}

using V = std::vector<std::string>;

class Scan : public HomeTest {
protected:
    // Runs check in a child that sees the template folder on a tmpfs of its own, filled with the
    // names in this order: a tmpfs lists its entries in the order of their creation (or the
    // reverse), so the scan meets them in an order the test chooses. False where no tmpfs can be
    // had.
    template <class Check> bool inListingOrder(const V& names, Check check) {
        fs::create_directories(templates());
        const auto result = inPrivateTmpfs(templates(), "size=1m", [&] {
            for (const auto& name : names)
                writeFile(templates() / name);
            return check() ? 0 : 1;
        });
        if (!result)
            return false;
        EXPECT_EQ(*result, 0) << "listing order starting with " << names.front();
        return true;
    }
};

TEST_F(Scan, DirectoryFollowsTheUserDatabaseNotHome) {
    EXPECT_EQ(Templates::directory().string(),
              testHome().string() + "/Library/Application Support/Lemvora/Şablonlar/");
    fs::create_directories(templates());
    EXPECT_EQ(Templates::directory(), templates() / "");
}

TEST_F(Scan, MissingOrUnlistableFolderGivesNothing) {
    EXPECT_TRUE(Templates::load().empty());
    writeFile(templates()); // a file where the folder should be
    EXPECT_TRUE(Templates::load().empty());
}

TEST_F(Scan, OnlyVisibleRegularFilesDirectlyInsideCount) {
    makeTemplates({".DS_Store", ".gizli.txt"});
    writeFile(templates() / "Arşiv" / "İçerde.txt");
    fs::create_symlink(templates() / "Arşiv" / "İçerde.txt", templates() / "Bağ.txt");
    fs::create_symlink(templates() / "yok", templates() / "Kırık bağ.txt");
    ASSERT_EQ(mkfifo((templates() / "Boru.txt").c_str(), 0644), 0);
    // A socket, bound by a name relative to the folder: its full path may be longer than a
    // socket address holds.
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", "Soket");
    const fs::path before = fs::current_path();
    fs::current_path(templates());
    const int bound = bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address);
    fs::current_path(before);
    ASSERT_EQ(bound, 0);
    EXPECT_TRUE(Templates::load().empty()); // and a FIFO did not block it
    close(sock);

    writeFile(templates() / "Not.txt");
    const auto records = Templates::load();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].url(), templates() / "Not.txt");
}

#if defined(__APPLE__)
TEST_F(Scan, WhatFinderHidesIsNoTemplate) {
    // Hidden as Finder hides it: by the UF_HIDDEN flag, or by the invisible bit of the Finder
    // info (kIsInvisible, 0x4000 of the finder flags).
    makeTemplates({"Bayrak.txt", "Görünmez.txt", "Görünür.txt"});
    ASSERT_EQ(chflags((templates() / "Bayrak.txt").c_str(), UF_HIDDEN), 0);
    unsigned char info[32] = {};
    info[8] = 0x40;
    ASSERT_EQ(setxattr((templates() / "Görünmez.txt").c_str(), XATTR_FINDERINFO_NAME, info,
                       sizeof info, 0, 0),
              0);
    EXPECT_EQ(onDiskNames(Templates::load()), V{"Görünür.txt"});
}
#endif

TEST_F(Scan, StarterSetNamesInOrderWithoutSuffixes) {
    makeTemplates({"50 Yeni PowerPoint Sunusu.pptx", "30 Yeni Word Belgesi.docx",
                   "10 Yeni Metin Belgesi.txt", "40 Yeni Excel Çalışma Kitabı.xlsx",
                   "20 Yeni Markdown Belgesi.md"});
    const auto records = Templates::load();
    EXPECT_EQ(titles(records), (V{"Metin Belgesi", "Markdown Belgesi", "Word Belgesi",
                                  "Excel Çalışma Kitabı", "PowerPoint Sunusu"}));
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0].fileName(), "Yeni Metin Belgesi.txt");
    EXPECT_EQ(records[0].url(), templates() / "10 Yeni Metin Belgesi.txt");
}

TEST_F(Scan, NumbersOrderByValueAndTheWholeNameIsTheKey) {
    ScopedLocale locale("en_US.UTF-8");
    makeTemplates({"100 Ek.md", "9 Not.txt", "10 Rapor.docx"});
    EXPECT_EQ(titles(Templates::load()), (V{"Not", "Rapor", "Ek"}));

    HomeTest::SetUp();
    makeTemplates({"10 Alfa.txt", "2 Zebra.txt", "Beta.txt", "1 zeta.txt"});
    EXPECT_EQ(onDiskNames(Templates::load()),
              (V{"1 zeta.txt", "2 Zebra.txt", "10 Alfa.txt", "Beta.txt"}));
}

TEST_F(Scan, LetterCaseOnlyBreaksTies) {
    ScopedLocale locale("en_US.UTF-8");
    makeTemplates({"b.txt", "A.txt", "a.txt", "B.md"});
    // Where the volume folds case (a Mac's own disk), "a.txt" is the file "A.txt".
    EXPECT_EQ(onDiskNames(Templates::load()), foldsCase(templates())
                                                  ? (V{"A.txt", "B.md", "b.txt"})
                                                  : (V{"a.txt", "A.txt", "B.md", "b.txt"}));
}

TEST_F(Scan, OrderFollowsTheLocale) {
    // Turkish has Ç as a letter of its own after C; English sorts it as an accented C.
    makeTemplates({"Cz.txt", "Çay.txt", "Dosya.txt"});
    {
        ScopedLocale locale("tr_TR.UTF-8");
        EXPECT_EQ(onDiskNames(Templates::load()), (V{"Cz.txt", "Çay.txt", "Dosya.txt"}));
    }
    {
        ScopedLocale locale("en_US.UTF-8");
        EXPECT_EQ(onDiskNames(Templates::load()), (V{"Çay.txt", "Cz.txt", "Dosya.txt"}));
    }
#if defined(__linux__)
    {
        // On Linux the user's locale is the environment's: LC_COLLATE decides before LANG.
        ScopedEnvironment all("LC_ALL", nullptr);
        ScopedEnvironment lang("LANG", "en_US.UTF-8");
        {
            ScopedEnvironment collate("LC_COLLATE", "tr_TR.UTF-8");
            EXPECT_EQ(onDiskNames(Templates::load()), (V{"Cz.txt", "Çay.txt", "Dosya.txt"}));
        }
        EXPECT_EQ(onDiskNames(Templates::load()), (V{"Çay.txt", "Cz.txt", "Dosya.txt"}));
    }
#endif
}

TEST_F(Scan, SharedTitlesGetTheExtensionOnce) {
    // The suffix changes the title only: the new document's name stays the file's.
    struct Case {
        V files;
        V titles;
        V fileNames;
    };
    const Case cases[] = {
        {{"10 Not.txt", "20 Not.md"}, {"Not (txt)", "Not (md)"}, {"Not.txt", "Not.md"}},
        {{"10 Rapor.docx", "20 Rapor"}, {"Rapor (docx)", "Rapor"}, {"Rapor.docx", "Rapor"}},
        {{"10 Not.txt", "20 Not.txt"}, {"Not (txt)", "Not (txt)"}, {"Not.txt", "Not.txt"}},
        {{"10 Yeni Not.txt", "20 Not.txt"},
         {"Not (txt)", "Not (txt)"},
         {"Yeni Not.txt", "Not.txt"}},
        {{"Not.txt", "not.md"}, {"not", "Not"}, {"not.md", "Not.txt"}},
        {{"Not.TXT", "Not.md"}, {"Not (md)", "Not (TXT)"}, {"Not.md", "Not.TXT"}},
        // A title made by the suffix is not counted again.
        {{"1 Not (txt).md", "2 Not.txt", "3 Not.md"},
         {"Not (txt)", "Not (txt)", "Not (md)"},
         {"Not (txt).md", "Not.txt", "Not.md"}},
        // Composed and decomposed forms are one title.
        {{"1 Çay.txt", "2 C\u0327ay.md"},
         {"Çay (txt)", "C\u0327ay (md)"},
         {"Çay.txt", "C\u0327ay.md"}},
    };
    ScopedLocale locale("en_US.UTF-8");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.files[0]);
        HomeTest::SetUp();
        makeTemplates(c.files);
        const auto records = Templates::load();
        EXPECT_EQ(titles(records), c.titles);
        V fileNames;
        for (const auto& r : records)
            fileNames.push_back(r.fileName());
        EXPECT_EQ(fileNames, c.fileNames);
    }
}

TEST_F(Scan, CapKeepsTheFirstTwentyBeforeTitlesAreCounted) {
    V names;
    for (char c = 'a'; c <= 'y'; ++c) {
        char name[16];
        std::snprintf(name, sizeof name, "%02d %c.txt", c - 'a' + 1, c);
        names.push_back(name);
    }
    makeTemplates(names);
    auto records = Templates::load();
    ASSERT_EQ(records.size(), Templates::maxItems);
    EXPECT_EQ(records.front().url().filename(), "01 a.txt");
    EXPECT_EQ(records.back().url().filename(), "20 t.txt");

    // The 21st shares its title with the 1st, but is dropped first, so no suffix.
    HomeTest::SetUp();
    names.resize(20);
    names.push_back("21 a.md");
    makeTemplates(names);
    records = Templates::load();
    ASSERT_EQ(records.size(), 20u);
    EXPECT_EQ(records.front().title(), "a");
}

TEST_F(Scan, TiesAreBrokenTheSameWayWhateverTheListingOrder) {
    // The collator calls each pair equal; Finder order does not, and the folder's listing order
    // must not decide which template takes slot 0.
    const V expected = {"1 Not.txt", "01 Not.txt", "C\u0327ay.txt", "Çay.txt"};
    auto ordered = [&] {
        return onDiskNames(Templates::load()) == expected;
    };
    ScopedLocale locale("en_US.UTF-8");
    if (!inListingOrder(expected, ordered) ||
        !inListingOrder(V(expected.rbegin(), expected.rend()), ordered))
        GTEST_SKIP() << "this machine lets the test mount no file system";
}

TEST_F(Scan, CapAtTheBoundaryKeepsTheNameThatSortsJustBeforeTheTwentieth) {
    // The list is full when the 21st name comes, and it belongs just before the last one kept.
    V names;
    for (int i = 1; i <= 20; ++i)
        names.push_back((i < 10 ? "0" : "") + std::to_string(i) + " " + char('a' + i - 1) + ".txt");
    names.push_back("19 z.txt");
    V expected(names.begin(), names.begin() + 19);
    expected.push_back("19 z.txt");
    auto capped = [&] {
        return onDiskNames(Templates::load()) == expected;
    };
    if (!inListingOrder(names, capped) || !inListingOrder(V(names.rbegin(), names.rend()), capped))
        GTEST_SKIP() << "this machine lets the test mount no file system";
}

TEST_F(Scan, ATemplateTheUserCannotReadIsStillListed) {
    // The scan never opens the files: reading fails only when a document is made from one.
    makeTemplates({"Gizli.txt"});
    chmod((templates() / "Gizli.txt").c_str(), 0);
    const auto records = Templates::load();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].title(), "Gizli");
}

TEST_F(Scan, InvalidUtf8NameIsListedWithReplacementCharactersInItsTitle) {
    const std::string raw = "10 Bozuk\xff ad.txt";
    if (const auto why = refusesNonUtf8Names(templates()); !why.empty())
        GTEST_SKIP() << why;
    makeTemplates({raw});
    const auto records = Templates::load();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].title(), "Bozuk\uFFFD ad");
    EXPECT_EQ(records[0].fileName(), "Bozuk\xff ad.txt");
    EXPECT_EQ(records[0].url().filename().string(), raw);
    EXPECT_TRUE(fs::exists(records[0].url()));
}

// The rest of these need a process of their own: another user database, or another user.
class ScanProcess : public HomeTest {
protected:
    ProcessResult catalog(const ProcessOptions& options = {}) {
        return runProcess({LEMVORA_CATALOG_EXE}, options);
    }
};

TEST_F(ScanProcess, UnreadableFolderGivesNothing) {
    // The user reads the folder until it may no longer list it (it may still pass through it).
    makeTemplates({"Not.txt"});
    EXPECT_NE(catalog({.unprivileged = true}).out.find("Not.txt"), std::string::npos);
    chmod(templates().c_str(), 0300);
    const auto result = catalog({.unprivileged = true});
    chmod(templates().c_str(), 0755);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, templates().string() + "/\n");
}

TEST_F(ScanProcess, MissingUserEntryFallsBackToTheProcessHome) {
    const fs::path passwd = scratch() / "passwd";
    writeFile(passwd, "someone-else:x:4242:4242::/home/else:/bin/sh\n");
    auto result = catalog(
        {.environment = {{"NSS_WRAPPER_PASSWD", passwd.string()}, {"HOME", "/ev/kullanici"}}});
    EXPECT_EQ(result.out, "/ev/kullanici/Library/Application Support/Lemvora/Şablonlar/\n");
}

TEST_F(ScanProcess, EmptyHomeFieldIsUsedUnchanged) {
    const fs::path passwd = scratch() / "passwd";
    writeFile(passwd, "lemvora-test:x:" + std::to_string(getuid()) + ":0:::/bin/sh\n");
    auto result = catalog(
        {.environment = {{"NSS_WRAPPER_PASSWD", passwd.string()}, {"HOME", "/ev/kullanici"}}});
    EXPECT_EQ(result.out, "Library/Application Support/Lemvora/Şablonlar/\n");
}

} // namespace

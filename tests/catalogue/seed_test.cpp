// The starter set, and the bundles it is taken from.
#include "Templates.h"

#include "TestSupport.h"
#include "platform/Bundle.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace testing_support;
using V = std::vector<std::string>;

const fs::path builtApp = fs::path(LEMVORA_BINARY_DIR) / "Lemvora.app";
const fs::path committedResources = fs::path(LEMVORA_SOURCE_DIR) / "resources/Templates";

const V starterNames = {"10 Yeni Metin Belgesi.txt", "20 Yeni Markdown Belgesi.md",
                        "30 Yeni Word Belgesi.docx", "40 Yeni Excel Çalışma Kitabı.xlsx",
                        "50 Yeni PowerPoint Sunusu.pptx"};

class Seed : public HomeTest {
protected:
    // A bundle folder with the given resources (names relative to Contents/Resources).
    platform::Bundle bundleWith(const V& resources) {
        const fs::path root = scratch() / "Test.app";
        fs::create_directories(root / "Contents/Resources");
        for (const auto& r : resources)
            writeFile(root / "Contents/Resources" / r, "resource " + r);
        return platform::Bundle(root);
    }
};

TEST_F(Seed, MissingFolderAndParentsAreCreatedAndFilledFromTheBuiltApplication) {
    ASSERT_FALSE(fs::exists(testHome() / "Library"));
    EXPECT_TRUE(Templates::seedIfNeeded(platform::Bundle(builtApp)));
    EXPECT_EQ(namesIn(templates()), starterNames);
    // The names are written with precomposed letters (Ç as one character).
    EXPECT_TRUE(fs::exists(templates() / "40 Yeni Excel \xC3\x87"
                                         "al\xC4\xB1\xC5\x9F"
                                         "ma Kitab\xC4\xB1.xlsx"));
    EXPECT_EQ(fs::file_size(templates() / starterNames[0]), 0u);
    EXPECT_EQ(fs::file_size(templates() / starterNames[1]), 0u);
    EXPECT_EQ(readFile(templates() / starterNames[2]), readFile(committedResources / "bos.docx"));
    EXPECT_EQ(readFile(templates() / starterNames[3]), readFile(committedResources / "bos.xlsx"));
    EXPECT_EQ(readFile(templates() / starterNames[4]), readFile(committedResources / "bos.pptx"));

    // Second call: the folder exists, so nothing changes, even after every template is gone.
    for (const auto& name : starterNames)
        fs::remove(templates() / name);
    EXPECT_FALSE(Templates::seedIfNeeded(platform::Bundle(builtApp)));
    EXPECT_TRUE(namesIn(templates()).empty());
}

TEST_F(Seed, AnythingAtTheFolderPathMeansNoSeeding) {
    writeFile(templates()); // a regular file
    EXPECT_FALSE(Templates::seedIfNeeded(platform::Bundle(builtApp)));
    EXPECT_TRUE(fs::is_regular_file(templates()));

    HomeTest::SetUp();
    fs::create_directories(scratch() / "elsewhere");
    fs::create_directories(templates().parent_path());
    fs::create_symlink(scratch() / "elsewhere", templates()); // a link to a folder is the folder
    EXPECT_FALSE(Templates::seedIfNeeded(platform::Bundle(builtApp)));
    EXPECT_TRUE(namesIn(scratch() / "elsewhere").empty());
}

TEST_F(Seed, DanglingLinkAtTheFolderPathFailsAndCreatesNothingThroughIt) {
    // The link counts as no folder, so making one is tried, and fails: the caller can tell the
    // user. Nothing appears where the link points.
    fs::create_directories(templates().parent_path());
    fs::create_symlink(scratch() / "nowhere", templates());
    try {
        Templates::seedIfNeeded(platform::Bundle(builtApp));
        FAIL() << "expected the folder creation to fail";
    } catch (const std::filesystem::filesystem_error& e) {
        EXPECT_EQ(e.code(), std::errc::file_exists);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(scratch() / "nowhere")));
    EXPECT_TRUE(fs::is_symlink(templates()));
}

TEST_F(Seed, ResourceLookupTriesTheSubfolderFirstThenTheTopLevel) {
    auto bundle = bundleWith({"Templates/bos.docx", "bos.docx", "bos.xlsx"});
    EXPECT_TRUE(Templates::seedIfNeeded(bundle));
    EXPECT_EQ(readFile(templates() / starterNames[2]), "resource Templates/bos.docx");
    EXPECT_EQ(readFile(templates() / starterNames[3]), "resource bos.xlsx");
    // bos.pptx is nowhere: its row is skipped and no empty file takes its place.
    EXPECT_EQ(namesIn(templates()), V(starterNames.begin(), starterNames.end() - 1));
}

TEST_F(Seed, ARowWhoseResourceCannotBeCopiedIsLeftOut) {
    // bos.xlsx is a folder, so its copy fails; bos.pptx is missing. The other rows go in.
    auto bundle = bundleWith({"Templates/bos.docx"});
    fs::create_directories(bundle.resourceURL() / "Templates/bos.xlsx");
    EXPECT_TRUE(Templates::seedIfNeeded(bundle));
    EXPECT_EQ(namesIn(templates()), V(starterNames.begin(), starterNames.begin() + 3));
}

TEST_F(Seed, FolderThatCannotBeCreatedThrowsAndWritesNothing) {
    writeFile(testHome() / "Library/Application Support"); // a file where a parent should be
    try {
        Templates::seedIfNeeded(platform::Bundle(builtApp));
        FAIL() << "expected the folder creation to fail";
    } catch (const std::filesystem::filesystem_error& e) {
        EXPECT_EQ(e.code(), std::errc::not_a_directory);
    }
    EXPECT_FALSE(fs::exists(templates()));
}

TEST_F(Seed, CopiesAreWritableTemplatesEvenFromReadOnlyResources) {
    auto bundle = bundleWith({"Templates/bos.docx", "Templates/bos.xlsx", "Templates/bos.pptx"});
    for (const auto& r : {"bos.docx", "bos.xlsx", "bos.pptx"})
        fs::permissions(bundle.resourceURL() / "Templates" / r,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_TRUE(Templates::seedIfNeeded(bundle));
    const auto perms = fs::status(templates() / starterNames[2]).permissions();
    EXPECT_EQ(perms, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                         fs::perms::others_read);
}

TEST(Bundle, MainBundleIsThePackageTheProgramLiesIn) {
    const fs::path probe =
        fs::path(LEMVORA_BINARY_DIR) / "tests/Probe.app/Contents/MacOS/bundle_probe";
    fs::create_directories(probe.parent_path().parent_path() / "Resources/Templates");
    writeFile(probe.parent_path().parent_path() / "Resources/Templates/bos.docx");
    auto result = runProcess({probe.string(), "bos.docx", "bos.xlsx"});
    const std::string app = (fs::path(LEMVORA_BINARY_DIR) / "tests/Probe.app").string();
    EXPECT_EQ(result.out, "bundle " + app + "\nresources " + app + "/Contents/Resources\n" +
                              "bos.docx " + app + "/Contents/Resources/Templates/bos.docx\n" +
                              "bos.xlsx -\n");
}

} // namespace

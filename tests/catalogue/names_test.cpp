// How a template's file name becomes the new document's name and the menu title.
#include "Templates.h"

#include "platform/Text.h"

#include <gtest/gtest.h>

namespace {

using Templates::menuTitle;
using Templates::strippedOrderPrefix;

struct NameCase {
    const char* onDisk;
    const char* fileName;
    const char* title;
};

TEST(Names, OnDiskNameGivesFileNameAndTitle) {
    const NameCase cases[] = {
        {"10 Yeni Metin Belgesi.txt", "Yeni Metin Belgesi.txt", "Metin Belgesi"},
        {"20 Yeni Markdown Belgesi.md", "Yeni Markdown Belgesi.md", "Markdown Belgesi"},
        {"30 Yeni Word Belgesi.docx", "Yeni Word Belgesi.docx", "Word Belgesi"},
        {"40 Yeni Excel Çalışma Kitabı.xlsx", "Yeni Excel Çalışma Kitabı.xlsx",
         "Excel Çalışma Kitabı"},
        {"50 Yeni PowerPoint Sunusu.pptx", "Yeni PowerPoint Sunusu.pptx", "PowerPoint Sunusu"},
        {"Rapor.docx", "Rapor.docx", "Rapor"},
        {"05_Fatura.xlsx", "Fatura.xlsx", "Fatura"},
        {"7.Not.txt", "Not.txt", "Not"},
        {"3 - Teklif.docx", "Teklif.docx", "Teklif"},
        {"2024-01-05 Rapor.docx", "01-05 Rapor.docx", "01-05 Rapor"},
        {"10Yeni.txt", "10Yeni.txt", "10Yeni"},
        {"12_", "12_", "12_"},
        {"10 .txt", "txt", "txt"},
        {"YENI belge.md", "YENI belge.md", "belge"},
        {"Yeni .txt", "Yeni .txt", "Yeni "},
        {"Yenilik.txt", "Yenilik.txt", "Yenilik"},
        {"10 Yeni.txt", "Yeni.txt", "Yeni"},
        {"arşiv.tar.gz", "arşiv.tar.gz", "arşiv.tar"},
        // Only one leading "yeni " goes; case and inner or trailing blanks stay.
        {"Yeni yeni not.txt", "Yeni yeni not.txt", "yeni not"},
        {"yEnI  iki boşluk .md", "yEnI  iki boşluk .md", " iki boşluk "},
        // The Turkish capital dotted I is a case variant of 'i'.
        {"YENİ Not.txt", "YENİ Not.txt", "Not"},
        // Digits of other scripts are digits too; only ASCII separators count.
        {"١٢ Arapça.txt", "Arapça.txt", "Arapça"},
        {"10\u00A0Not.txt", "10\u00A0Not.txt", "10\u00A0Not"},
        // Nothing but digits and separators, or a name with no stem left, stays whole.
        {"2024", "2024", "2024"},
        {"", "", ""},
        {".txt", ".txt", ".txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.onDisk);
        EXPECT_EQ(strippedOrderPrefix(c.onDisk), c.fileName);
        EXPECT_EQ(menuTitle(c.fileName), c.title);
    }
}

TEST(Names, MenuTitleDoesNotStripTheOrderPrefix) {
    EXPECT_EQ(menuTitle("10 Yeni Not.txt"), "10 Yeni Not");
}

TEST(Names, PathExtensionSplitsAtTheLastDot) {
    using platform::text::pathExtension;
    using platform::text::stringByDeletingPathExtension;
    const std::pair<const char*, std::pair<const char*, const char*>> cases[] = {
        {"Yeni Metin Belgesi.txt", {"Yeni Metin Belgesi", "txt"}},
        {"Arşiv.tar.gz", {"Arşiv.tar", "gz"}},
        {"Notlar", {"Notlar", ""}},
        {"Not.TXT", {"Not", "TXT"}},
        {".profile", {".profile", ""}},
        {"Notlar.", {"Notlar.", ""}},
        {"...", {"...", ""}},
        {"a..b", {"a.", "b"}},
    };
    for (const auto& [name, split] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(stringByDeletingPathExtension(name), split.first);
        EXPECT_EQ(pathExtension(name), split.second);
    }
}

TEST(Names, InvalidUtf8IsKeptInTheNameAndReplacedForDisplay) {
    const std::string raw = "10 Bozuk\xff\xfe ad.txt";
    EXPECT_EQ(strippedOrderPrefix(raw), "Bozuk\xff\xfe ad.txt");
    EXPECT_EQ(menuTitle("Yeni \xc3"), "\xc3");
    EXPECT_EQ(menuTitle("Yen\xc4 x.txt"), "Yen\xc4 x"); // a cut-off sequence is no letter
    EXPECT_EQ(platform::text::displayable("Bozuk\xff\xfe ad"), "Bozuk\uFFFD\uFFFD ad");
    EXPECT_EQ(platform::text::displayable("Çalışma"), "Çalışma");
    EXPECT_EQ(strippedOrderPrefix("\xff 1 a"), "\xff 1 a");
}

TEST(Names, CanonicalKeyJoinsComposedAndDecomposedForms) {
    using platform::text::canonicalKey;
    EXPECT_EQ(canonicalKey("C\u0327al\u0131s\u0327ma"), canonicalKey("Çalışma"));
    EXPECT_NE(canonicalKey("Not"), canonicalKey("not"));
}

} // namespace

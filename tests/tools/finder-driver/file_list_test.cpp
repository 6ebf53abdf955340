// The file list: found by the whole folder, its rows named wherever the disclosure triangle sits,
// a folder row opened, and Finder's answer about its selection.
#include "FileList.h"
#include "fakes.h"

#include <gtest/gtest.h>

using namespace lemvora::driver;
using namespace lemvora::driver::fakes;

namespace {

TEST(FinderDriver, TheNewFileMustBeSelectedInFindersFrontWindow) {
    const std::string folder = "/Users/runner/LemvoraE2E/Belgeler";
    const std::string file = folder + "/Yeni Metin Belgesi.txt";
    const struct {
        const char* what;
        std::string answer, file;
        bool shown;
    } cases[] = {
        {"selected in its folder", folder + "/\n" + file, file, true},
        {"among other selected items", folder + "/\n" + folder + "/a.txt\n" + file, file, true},
        {"in a folder opened inside the window", "/Users/runner/LemvoraE2E/\n" + file, file, true},
        {"on a volume", "/Volumes/USB Bellek Ş/\n/Volumes/USB Bellek Ş/Yeni Metin Belgesi.txt",
         "/Volumes/USB Bellek Ş/Yeni Metin Belgesi.txt", true},
        {"not selected", folder + "/\n" + folder + "/a.txt", file, false},
        {"nothing selected", folder + "/", file, false},
        {"its folder selected instead", "/Users/runner/LemvoraE2E/\n" + folder + "/", file, false},
        {"selected in a window elsewhere", "/Users/runner/LemvoraE2E/Beldeler/\n" + file, file,
         false},
        {"a window whose name begins the folder's", "/Users/runner/LemvoraE2E/Belge\n" + file, file,
         false},
        {"no window (AppleScript's error)", "AppleScript: Can’t get Finder window 1. (-1728)", file,
         false},
        {"a window on the start-up disk's root", "/\n/Yeni Metin Belgesi.txt",
         "/Yeni Metin Belgesi.txt", true},
        {"the root's window, a file elsewhere", "/\n" + file, file, true},
        {"the root's window, no path", "/\nYeni Metin Belgesi.txt", "Yeni Metin Belgesi.txt",
         false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(showsSelected(c.answer, c.file), c.shown) << c.what;

    // Without Apple events: the new file's row in the list of the folder's entries, selected.
    const EntryName alt{"Alt", ""}, second{"Yeni Metin Belgesi 2.txt", ""},
        made{"Yeni Metin Belgesi.txt", "Yeni Metin Belgesi"};
    const struct {
        const char* what;
        int selectedRow; // in the list view's children; 0 none
        std::vector<EntryName> entries;
        bool shown;
    } rows[] = {
        {"its row selected", 3, {alt, second}, true},
        {"another row selected", 2, {alt, second}, false},
        {"nothing selected", 0, {alt, second}, false},
        {"an entry missing: another folder's list", 3, {alt, {"belge.txt", ""}}, false},
    };
    for (const auto& r : rows) {
        const auto app = fromDump(finderDump);
        if (r.selectedRow)
            std::static_pointer_cast<Fake>(listView(*app)->kids[r.selectedRow])
                ->flags[attribute::selected] = true;
        EXPECT_EQ(showsSelected(*app, r.entries, made, 8), r.shown) << r.what;
    }
}

// Finder's window with its sidebar's items at the top level, one of them not named yet.
std::shared_ptr<Fake> flatSidebar() {
    auto app = fromDump(finderDump);
    auto sidebar = described(*app, "sidebar");
    for (auto& row : sidebar->kids)
        std::static_pointer_cast<Fake>(row)->a.level = 0;
    sidebar->kids.push_back(fromDump("AXRow level=0\n  AXCell\n    AXStaticText"));
    return app;
}

TEST(FinderDriver, TheFileListIsTheListHoldingTheWholeFolderNeverTheSidebar) {
    const EntryName alt{"Alt", ""}, second{"Yeni Metin Belgesi 2.txt", ""},
        hidden{"Yeni Metin Belgesi.txt", "Yeni Metin Belgesi"};
    auto emptied = fromDump(finderDump);
    std::erase_if(listView(*emptied)->kids, [](auto& k) { return k->role() == role::row; });
    auto expanded = fromDump(finderDump); // Alt open: belge.txt one level down, never top level
    auto belge = fromDump(R"(AXRow level=1
  AXCell
    AXTextField value="belge.txt")");
    listView(*expanded)->kids.insert(listView(*expanded)->kids.begin() + 2, belge);
    // Alt's disclosure triangle a child of its row, before the cells; or the row without cells.
    auto alt_ = [](const Fake& app) {
        return std::static_pointer_cast<Fake>(listView(app)->kids[1]);
    };
    auto triangleFirst = fromDump(finderDump), noCells = fromDump(finderDump);
    auto cell = std::static_pointer_cast<Fake>(alt_(*triangleFirst)->kids[0]);
    alt_(*triangleFirst)->kids.insert(alt_(*triangleFirst)->kids.begin(), cell->kids[0]);
    cell->kids.erase(cell->kids.begin());
    alt_(*noCells)->kids = alt_(*noCells)->kids[0]->children();
    const auto finder = fromDump(finderDump), flat = flatSidebar();
    const char* both = "both";
    const struct {
        const char* what;
        std::shared_ptr<Fake> app;
        std::vector<EntryName> wanted;
        const char* row; // the first wanted's row name; null: no list; both: two lists
    } cases[] = {
        {"an item, the sidebar met first", finder, {alt}, "Alt"},
        {"whole names: not the 2", finder, {{"Yeni Metin Belgesi", ""}}, "Yeni Metin Belgesi"},
        {"shown without its extension", finder, {hidden}, "Yeni Metin Belgesi"},
        {"a background: every entry", finder, {second, hidden, alt}, "Yeni Metin Belgesi 2.txt"},
        {"an entry missing", finder, {alt, {"belge.txt", ""}}, nullptr},
        {"a name the sidebar holds", finder, {{"Belgeler", ""}}, nullptr},
        {"a prefix", finder, {{"Yeni Metin", ""}}, nullptr},
        {"an empty folder", emptied, {}, ""},
        {"an empty folder, the list not yet emptied", finder, {}, nullptr},
        {"in an opened folder only", expanded, {{"belge.txt", ""}}, nullptr},
        {"the triangle before the cells", triangleFirst, {alt, second}, "Alt"},
        {"a row without cells", noCells, {alt, second}, "Alt"},
        {"an entry named as a sidebar item: the whole folder tells", flat, {alt, second}, "Alt"},
        {"a folder whose only entry is named as a sidebar item", flat, {alt}, both},
        {"an unnamed sidebar row is no entry", flat, {alt, {"Yeni Metin Belgesi", ""}}, "Alt"},
    };
    for (const auto& c : cases) {
        const auto lists = findList(*c.app, c.wanted, 8);
        if (c.row == both) {
            ASSERT_EQ(lists.size(), 2u) << c.what;
            try {
                onlyList(lists);
                ADD_FAILURE() << c.what << ": two lists, one taken";
            } catch (const StepFailure& failure) {
                EXPECT_EQ(failure.reason,
                          "2 lists hold every entry of the folder, none taken: AXWindow "
                          "\"Belgeler\" > AXSplitGroup > AXScrollArea > AXOutline \"sidebar\" | "
                          "AXWindow \"Belgeler\" > AXSplitGroup > AXSplitGroup > AXScrollArea > "
                          "AXOutline \"list view\"")
                    << c.what;
            }
            continue;
        }
        const auto found = onlyList(lists);
        ASSERT_EQ(found.has_value(), c.row != nullptr) << c.what;
        if (!found)
            continue;
        EXPECT_EQ(found->list()->description(), "list view") << c.what;
        EXPECT_EQ(found->window()->title(), "Belgeler") << c.what;
        EXPECT_EQ(found->row ? rowName(*found->row) : "", c.row) << c.what;
    }
    EXPECT_TRUE(findList(*finder, {alt}, 4).empty()) << "the list is five levels down";
    // The clicked entry's row, wherever the folder's listing puts it.
    const auto wanted = clickedFirst({alt, hidden, second}, hidden);
    EXPECT_EQ(wanted.size(), 3u);
    EXPECT_EQ(rowName(*onlyList(findList(*finder, wanted, 8))->row), "Yeni Metin Belgesi");
}

// Finder's list with a belge.txt of its own and the folder Alt closed, and the rows it lists once
// Alt is opened (after Alt's, one level deeper): Alt's own (first its opened folder İç, with a
// belge.txt of its own two levels deeper), then the folder Başka and its own.
struct OpeningList : Fake {
    const FakeClock& clock;
    double opensAt = 1e9;
    std::vector<ElementPtr> inside;
    explicit OpeningList(const FakeClock& c) : clock(c) {}
    std::vector<ElementPtr> children() const override {
        auto rows = kids;
        if (clock.t >= opensAt)
            rows.insert(rows.begin() + 3, inside.begin(), inside.end()); // the header, belge, Alt
        return rows;
    }
};
std::shared_ptr<Fake> row(const std::string& name, int level) {
    return fromDump("AXRow level=" + std::to_string(level) +
                    "\n  AXCell\n    AXTextField value=\"" + name + "\"");
}

TEST(FinderDriver, AFolderRowIsOpenedUntilItListsTheItem) {
    const EntryName alt{"Alt", ""}, belge{"belge.txt", "belge"};
    const struct {
        const char* what;
        bool accepted, opens, pressOpens; // AXDisclosing taken; opening; the triangle's press
        double after;                     // seconds from the opening to the rows
        bool found, pressed;
        const char* inAlt = "belge.txt";
        bool triangleInRow = false; // before the cells, not in the first
    } cases[] = {
        {"AXDisclosing opens it", true, true, false, 0.5, true, false},
        {"AXDisclosing refused: the triangle", false, false, true, 0.5, true, true},
        {"AXDisclosing taken, no effect: the triangle", true, false, true, 0.5, true, true},
        {"slow after AXDisclosing: no press to close it", true, true, true, 6, true, false},
        {"neither opens it", false, false, false, 0, false, true},
        {"the item only in the next folder, or deeper", true, true, false, 0, false, false,
         "a.txt"},
        {"the triangle before the cells", false, false, true, 0.5, true, true, "belge.txt", true},
    };
    for (const auto& c : cases) {
        FakeClock clock;
        auto list = std::make_shared<OpeningList>(clock);
        list->a.role = role::outline;
        list->kids = listView(*fromDump(finderDump))->kids; // the header, Alt, two files
        list->kids.insert(list->kids.begin() + 1, row("belge.txt", 0));
        const auto inAlt = row(c.inAlt, 1);
        list->inside = {row("İç", 1), row("belge.txt", 2), inAlt, row("Başka", 0), row("belge", 1)};
        auto alt_ = std::static_pointer_cast<Fake>(list->kids[2]);
        auto cell = std::static_pointer_cast<Fake>(alt_->kids[0]);
        auto triangle = std::static_pointer_cast<Fake>(cell->kids[0]);
        if (c.triangleInRow) {
            cell->kids.erase(cell->kids.begin());
            alt_->kids.insert(alt_->kids.begin(), triangle);
        }
        auto open = [&, after = c.after] {
            alt_->a.disclosing = true;
            list->opensAt = clock.t + after;
        };
        alt_->onDisclose = [&, opens = c.opens, accepted = c.accepted] {
            if (opens)
                open();
            return accepted;
        };
        triangle->onPerform = [&, opens = c.pressOpens] {
            if (opens)
                open();
        };
        const Expansion done = expandTo([&] { return list; }, alt, belge, clock, 10);
        EXPECT_EQ(done.row, c.found ? inAlt : nullptr) << c.what << ": " << done.problem;
        EXPECT_EQ(triangle->performed.size(), c.pressed ? 1u : 0u) << c.what;
        EXPECT_LE(clock.t, 10 + 1e-9) << c.what;
    }
}

} // namespace

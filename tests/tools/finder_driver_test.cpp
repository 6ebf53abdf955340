// The finder driver's item finding, waits and reading of the host window, over fake trees shaped
// as AppKit's accessibility trees are (Finder's window and menus, the Lemvora window), some
// written as the driver's --dump writes them. The Mac side only maps AXUIElementRef onto Element;
// what it decides is decided here.
#include "ElementTree.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <stdexcept>

using namespace lemvora::driver;

namespace {

struct Fake : Element {
    Attributes a;
    std::vector<ElementPtr> kids;
    std::vector<std::string> performed;
    std::function<bool()> onDisclose; // none: AXDisclosing cannot be set
    std::function<void()> onPerform;
    std::string role() const override { return a.role; }
    std::string title() const override { return a.title; }
    std::string value() const override { return a.value; }
    std::string subrole() const override { return a.subrole; }
    std::string identifier() const override { return a.identifier; }
    std::string description() const override { return a.description; }
    std::optional<Frame> frame() const override { return a.frame; }
    std::optional<int> disclosureLevel() const override { return a.level; }
    std::optional<bool> disclosing() const override { return a.disclosing; }
    std::vector<ElementPtr> children() const override { return kids; }
    std::weak_ptr<Element> up;
    ElementPtr focus;
    ElementPtr parent() const override { return up.lock(); }
    ElementPtr focused() const override { return focus; }
    bool perform(const std::string& action) override {
        performed.push_back(action);
        if (onPerform)
            onPerform();
        return true;
    }
    bool disclose() override { return onDisclose && onDisclose(); }
};

std::shared_ptr<Fake> node(std::string kind, std::string name = "",
                           std::vector<ElementPtr> kids = {}, std::string text = "") {
    auto e = std::make_shared<Fake>();
    e->a.role = std::move(kind);
    e->a.title = std::move(name);
    e->kids = std::move(kids);
    e->a.value = std::move(text);
    return e;
}

// The tree of a dump, such as one a Finder run kept: its first line's element.
std::shared_ptr<Fake> fromDump(const std::string& text) {
    const auto lines = parseDump(text);
    if (!lines || lines->empty())
        throw std::invalid_argument("no dump: " + text);
    std::vector<std::shared_ptr<Fake>> open; // the last element at each depth
    for (const auto& line : *lines) {
        auto e = std::make_shared<Fake>();
        e->a = line.attributes;
        if (static_cast<std::size_t>(line.depth) > open.size()) // a level skipped: no parent
            throw std::invalid_argument("a child without a parent: " + text);
        open.resize(static_cast<std::size_t>(line.depth));
        if (!open.empty())
            open.back()->kids.push_back(e);
        open.push_back(e);
    }
    return open.front();
}
std::string dumped(const Element& root, int depth = 20) {
    std::ostringstream out;
    dumpTree(root, depth, out);
    return out.str();
}
ElementPtr item(std::string name, std::vector<ElementPtr> submenu = {}) {
    if (submenu.empty())
        return node(role::menuItem, std::move(name));
    return node(role::menuItem, std::move(name), {node(role::menu, "", std::move(submenu))});
}
ElementPtr separator() {
    return item("");
}
ElementPtr text(std::string value) {
    return node(role::staticText, "", {}, std::move(value));
}

// Finder's context menu on a folder's background: its own items, separators, and the
// extension's item last, whose submenu holds an entry titled as an item of the menu above, after
// one whose title begins with it.
ElementPtr finderContextMenu() {
    return node(role::menu, "",
                {item("Yeni Klasör"), separator(), item("Metin Belgesi"), item("Bilgi Al"),
                 separator(),
                 item("Yeni Belge", {item("Metin Belgesi 2"), item("Metin Belgesi"), separator(),
                                     item("Markdown Belgesi")})});
}

// Finder with one window on the folder Belgeler in list view, shaped as public scripts and window
// dumps show it (the frames, levels and sidebar rows made up): the sidebar, an outline, in the
// first split group; the list, an outline too, one split group deeper, its header a group; a
// row's name in the text field of its first cell. A dump of a real run can stand in its place.
// The views' descriptions are localized: the tests name the outlines by them, the driver never.
const char finderDump[] = R"(AXApplication title="Finder"
  AXMenuBar
    AXMenuBarItem title="Dosya"
  AXWindow subrole="AXStandardWindow" title="Belgeler" id="FinderWindow" frame=60,60,900,600
    AXButton subrole="AXCloseButton" frame=72,74,14,16
    AXSplitGroup frame=60,112,900,548
      AXScrollArea frame=60,112,180,548
        AXOutline desc="sidebar" frame=60,112,180,548
          AXRow subrole="AXOutlineRow" frame=60,120,180,28 level=0
            AXCell
              AXStaticText value="Sık Kullanılanlar"
          AXRow subrole="AXOutlineRow" frame=60,148,180,28 level=1
            AXCell
              AXStaticText value="Belgeler"
          AXRow subrole="AXOutlineRow" frame=60,176,180,28 level=1
            AXCell
              AXStaticText value="Alt"
      AXSplitter
      AXSplitGroup frame=241,112,719,548
        AXScrollArea frame=241,112,719,548
          AXOutline desc="list view" frame=241,112,719,548
            AXGroup frame=241,112,719,24
              AXButton title="Ad"
            AXRow subrole="AXOutlineRow" frame=241,136,719,20 level=0 disclosing=false
              AXCell
                AXDisclosureTriangle value="0"
                AXTextField value="Alt"
              AXCell
                AXStaticText value="Bugün 10:02"
            AXRow subrole="AXOutlineRow" frame=241,156,719,20 level=0
              AXCell
                AXTextField value="Yeni Metin Belgesi 2.txt"
            AXRow subrole="AXOutlineRow" frame=241,176,719,20 level=0
              AXCell
                AXTextField value="Yeni Metin Belgesi"
            AXColumn
    AXToolbar frame=60,60,900,52
)";

// The element described so (as only a test may find it).
std::shared_ptr<Fake> described(const Fake& root, const std::string& description) {
    for (auto& kid : root.kids) {
        auto fake = std::static_pointer_cast<Fake>(kid);
        if (fake->description() == description)
            return fake;
        if (auto found = described(*fake, description))
            return found;
    }
    return nullptr;
}
std::shared_ptr<Fake> listView(const Fake& app) {
    return described(app, "list view");
}

TEST(FinderDriver, FindsItemsByTitleAtTheirOwnLevelOnly) {
    const auto menu = finderContextMenu();
    const auto yeniBelge = findItem(*menu, "Yeni Belge");
    ASSERT_TRUE(yeniBelge);
    const auto submenu = submenuOf(*yeniBelge);
    ASSERT_TRUE(submenu);
    // The same title at two levels: each menu answers with its own item.
    EXPECT_EQ(findItem(*menu, "Metin Belgesi"), menuItems(*menu)[2]);
    EXPECT_EQ(findItem(*submenu, "Metin Belgesi"), menuItems(*submenu)[1]); // not the "2"
    // A submenu's entry is not the menu's; a missing item, or a separator's empty title, is none.
    EXPECT_FALSE(findItem(*menu, "Markdown Belgesi"));
    EXPECT_FALSE(findItem(*menu, "Word Belgesi"));
    EXPECT_FALSE(findItem(*menu, ""));
    EXPECT_FALSE(submenuOf(*menuItems(*menu)[0]));
    EXPECT_EQ(joined(titlesOf(*submenu)), "Metin Belgesi 2 | Metin Belgesi | — | Markdown Belgesi");
}

TEST(FinderDriver, TheContextMenuIsNeverOneOfTheMenuBarsNorASubmenu) {
    auto menuBar = [] {
        return node(role::menuBar, "",
                    {node("AXMenuBarItem", "Dosya", {node(role::menu, "", {item("Yeni Belge")})})});
    };
    auto window = [](std::vector<ElementPtr> kids) {
        return node(role::window, "LemvoraE2E", std::move(kids));
    };
    const auto context = finderContextMenu();
    // Finder's window with the menu under the list's outline (as a recorded right-click in list
    // view has it), under the row it was shown on, or in column view under the column's list.
    auto finder = [&](auto hang) {
        auto app = fromDump(finderDump);
        hang(*listView(*app));
        return app;
    };
    auto columnView = [&](const char* under) {
        auto app = fromDump(R"(AXApplication
  AXWindow subrole="AXStandardWindow" title="Belgeler"
    AXSplitGroup
      AXSplitGroup
        AXBrowser
          AXScrollArea
            AXScrollArea
              AXList
                AXGroup
                  AXTextField value="Alt")");
        std::static_pointer_cast<Fake>(findByRole(*app, under, "", 9))->kids.push_back(context);
        return app;
    };
    const struct {
        const char* what;
        ElementPtr app;
        ElementPtr expected;
    } cases[] = {
        {"only the menu bar", node(role::application, "Finder", {menuBar(), window({})}), nullptr},
        {"under the application",
         node(role::application, "Finder", {menuBar(), window({}), context}), context},
        {"under the window",
         node(role::application, "Finder", {menuBar(), window({node("AXSplitGroup"), context})}),
         context},
        {"under the list", finder([&](Fake& list) { list.kids.push_back(context); }), context},
        {"under the row", finder([&](Fake& list) {
             std::static_pointer_cast<Fake>(list.kids[2])->kids.push_back(context);
         }),
         context},
        {"under a column's list", columnView(role::list), context},
        {"under a column's item", columnView(role::group), context},
        {"only a submenu",
         finder([&](Fake& list) { list.kids.push_back(item("Yeni Belge", {item("Metin")})); }),
         nullptr},
        {"only a pop-up button's",
         node(role::application, "Finder",
              {window({node("AXToolbar", "", {node(role::popUpButton, "", {context})})})}),
         nullptr},
        {"only a menu button's (a toolbar's back button)",
         node(role::application, "Finder",
              {window({node("AXToolbar", "", {node(role::menuButton, "", {context})})})}),
         nullptr},
        {"deeper than that", columnView(role::textField), nullptr},
    };
    for (const auto& c : cases)
        EXPECT_EQ(openContextMenu(*c.app, contextMenuDepth), c.expected) << c.what;

    // A menu that names its parent, yet that no element lists as a child, with the application's
    // focused element an item of it, or of its submenu: found above that item, unless it is the
    // menu bar's or a menu button's.
    for (const auto& [holder, fromSubmenu] : {std::pair{role::outline, false},
                                              {role::outline, true},
                                              {role::menuBarItem, false},
                                              {role::menuButton, true}}) {
        const auto app = fromDump(finderDump);
        const auto menu = finderContextMenu();
        std::function<void(const ElementPtr&)> link = [&](const ElementPtr& e) {
            for (auto& kid : std::static_pointer_cast<Fake>(e)->kids) {
                std::static_pointer_cast<Fake>(kid)->up = e;
                link(kid);
            }
        };
        link(menu);
        const ElementPtr above = holder == role::outline ? listView(*app) : node(holder);
        std::static_pointer_cast<Fake>(menu)->up = above; // none lists it
        const auto yeniBelge = findItem(*menu, "Yeni Belge");
        app->focus = fromSubmenu ? menuItems(*submenuOf(*yeniBelge))[0] : yeniBelge;
        EXPECT_EQ(openContextMenu(*app, contextMenuDepth), holder == role::outline ? menu : nullptr)
            << holder << fromSubmenu;
    }
}

TEST(FinderDriver, FindsTheAlertsTextAndButtonWithinTheDepthAsked) {
    // NSAlert's window: the message and the detail as texts, the button by its title, the
    // window's own buttons without one.
    const auto alert = node(role::window, "",
                            {node(role::button), node("AXImage"),
                             node("AXGroup", "",
                                  {text("Metin Belgesi oluşturulamadı"),
                                   text("İşleme izin verilmiyor"), node(role::button, "Tamam")})});
    EXPECT_TRUE(findByRole(*alert, role::staticText, "Metin Belgesi oluşturulamadı", 1));
    EXPECT_EQ(findByRole(*alert, role::button, "Tamam", 1)->title(), "Tamam");
    EXPECT_EQ(findByRole(*alert, role::button, "", 1)->title(), ""); // the first of the role
    EXPECT_FALSE(findByRole(*alert, role::button, "Tamam", 0));      // one level deeper than asked
    EXPECT_FALSE(findByRole(*alert, role::staticText, "Metin Belgesi", 1));      // whole texts only
    EXPECT_FALSE(findByRole(*alert, role::button, "İşleme izin verilmiyor", 1)); // role matters
}

struct FakeClock : Clock {
    double t = 0;
    int pauses = 0;
    double now() override { return t; }
    void pause(double seconds) override {
        t += seconds;
        ++pauses;
    }
};

TEST(FinderDriver, WaitsAreBoundedAndLookOnceMoreAtTheLimit) {
    const struct {
        double readyAt, limit;
        bool expected;
    } cases[] = {{0, 5, true}, {3, 5, true}, {5, 5, true}, {5.1, 5, false}, {1, 0, false}};
    for (const auto& c : cases) {
        FakeClock clock;
        const bool ready = waitFor(clock, c.limit, 0.25, [&] { return clock.t >= c.readyAt; });
        EXPECT_EQ(ready, c.expected) << c.readyAt << " within " << c.limit;
        EXPECT_LE(clock.t, c.limit + 1e-9);
    }
}

// Finder's context menu as the driver meets it: missing altogether for some openings, then
// without the extension's item for some, or with it only after a while.
struct FakeFinder : MenuSource {
    Clock& clock;
    int noMenuOpenings, withoutItemOpenings;
    double itemAfter; // seconds after the opening that first has it
    int opened = 0, closed = 0;
    std::shared_ptr<Fake> menu;
    double openedAt = 0;
    explicit FakeFinder(Clock& c, int none, int without, double after)
        : clock(c), noMenuOpenings(none), withoutItemOpenings(without), itemAfter(after) {}
    ElementPtr open() override {
        ++opened;
        if (opened <= noMenuOpenings)
            return nullptr;
        menu = node(role::menu, "", {item("Yeni Klasör"), separator()});
        openedAt = clock.now();
        return std::make_shared<Late>(*this);
    }
    void close() override { ++closed; }
    // The open menu: gains the item once its time has come.
    struct Late : Element {
        FakeFinder& f;
        explicit Late(FakeFinder& finder) : f(finder) {}
        std::string role() const override { return role::menu; }
        std::string title() const override { return ""; }
        std::string value() const override { return ""; }
        std::vector<ElementPtr> children() const override {
            auto kids = f.menu->kids;
            if (f.opened > f.noMenuOpenings + f.withoutItemOpenings &&
                f.clock.now() >= f.openedAt + f.itemAfter)
                kids.push_back(item("Yeni Belge", {item("Metin Belgesi")}));
            return kids;
        }
        bool perform(const std::string&) override { return true; }
    };
};

TEST(FinderDriver, AMenuWithoutTheItemIsClosedAndOpenedAgainWithinTheLimit) {
    const struct {
        const char* what;
        int none, without;
        double after;
        bool found;
        int opened, closed;
    } cases[] = {
        {"at the first opening", 0, 0, 0, true, 1, 0},
        {"a while after the first opening", 0, 0, 0.8, true, 1, 0},
        {"at the third opening", 0, 2, 0, true, 3, 2},
        {"after two openings without a menu", 2, 0, 0, true, 3, 0},
        {"never: the limit ends the search", 0, 1000, 0, false, 10, 10},
    };
    for (const auto& c : cases) {
        FakeClock clock;
        FakeFinder finder(clock, c.none, c.without, c.after);
        const Found found = findInMenu(finder, clock, "Yeni Belge", 10, 1);
        EXPECT_EQ(found.item != nullptr, c.found) << c.what;
        EXPECT_EQ(finder.opened, c.opened) << c.what;
        EXPECT_EQ(finder.closed, c.closed) << c.what;
        EXPECT_LE(clock.t, 10 + 1 + 1e-9) << c.what;
        if (c.found)
            EXPECT_EQ(joined(titlesOf(*submenuOf(*found.item))), "Metin Belgesi") << c.what;
        else
            EXPECT_EQ(joined(found.seen), "Yeni Klasör | —") << c.what;
    }
}

// The Lemvora window as AppKit exposes it: stack views as groups, the table in a scroll area
// beside its header's column buttons and a scroll bar, a view-based row's cells as groups.
ElementPtr hostWindow(std::vector<std::vector<std::string>> rows) {
    std::vector<ElementPtr> rowElements;
    for (auto& row : rows)
        rowElements.push_back(
            node(role::row, "",
                 {node("AXCell", "", {text(row[0])}), node("AXCell", "", {text(row[1])})}));
    rowElements.push_back(node("AXColumn"));
    auto button = [](std::string title) {
        return node(role::button, std::move(title));
    };
    return node(
        role::window, "Lemvora",
        {node(role::button), node(role::button), // close, minimise
         node("AXGroup", "",
              {text("Finder sağ tık menüsüne \"Yeni Belge\" ekler"), text("Bir Finder…"),
               text("✓ Uzantı etkin"),
               node("AXGroup", "", {button("Uzantı Ayarlarını Aç"), button("Durumu Yenile")}),
               text("Menüdeki belge türleri"),
               node(role::scrollArea, "",
                    {node(role::table, "", rowElements),
                     node("AXGroup", "", {button("Menüde"), button("Oluşan dosya")}),
                     node("AXScrollBar")}),
               text(std::to_string(rows.size()) + " şablon."),
               node("AXGroup", "", {button("Şablon Klasörünü Aç")})})});
}

TEST(FinderDriver, ReadsTheHostWindowsTextsRowsAndButtons) {
    const auto window = hostWindow({{"Metin Belgesi", "10 Yeni Metin Belgesi.txt"},
                                    {"Markdown Belgesi", "20 Yeni Markdown Belgesi.md"}});
    const WindowReading seen = readWindow(*window);
    EXPECT_EQ(seen.rows.size(), 2u);
    EXPECT_EQ(joined(seen.rows[1]), "Markdown Belgesi | 20 Yeni Markdown Belgesi.md");
    const WindowExpectation good{{"✓ Uzantı etkin", "2 şablon."},
                                 {"Metin Belgesi", "Markdown Belgesi"},
                                 {"Uzantı Ayarlarını Aç", "Durumu Yenile", "Şablon Klasörünü Aç"}};
    EXPECT_TRUE(compare(seen, good).empty()) << joined(compare(seen, good));

    const struct {
        const char* what;
        WindowExpectation expected;
        const char* problem;
    } wrong[] = {
        {"status", {{"✗ Uzantı kapalı"}, good.titles, good.buttons}, "no text \"✗ Uzantı kapalı\""},
        {"text order",
         {{"2 şablon.", "✓ Uzantı etkin"}, good.titles, good.buttons},
         "no text \"✓ Uzantı etkin\" (in this order)"},
        {"row order",
         {good.texts, {"Markdown Belgesi", "Metin Belgesi"}, good.buttons},
         "the table lists Metin Belgesi | Markdown Belgesi, not"},
        {"a button",
         {good.texts, good.titles, {"Uzantı Ayarlarını Aç", "Durumu Yenile"}},
         "the buttons are Uzantı Ayarlarını Aç | Durumu Yenile | Şablon Klasörünü Aç, not"},
    };
    for (const auto& c : wrong) {
        const auto problems = compare(seen, c.expected);
        ASSERT_EQ(problems.size(), 1u) << c.what << ": " << joined(problems);
        EXPECT_EQ(problems[0].rfind(c.problem, 0), 0u) << c.what << ": " << problems[0];
    }
}

TEST(FinderDriver, AFailedStepIsNamedOnOneLineWithTheMenuSeenAndEndsTheRun) {
    std::vector<std::string> seen;
    bool lastRan = false;
    const std::vector<Step> steps{
        {"open the window",
         [] {
         }},
        {"find Yeni Belge",
         [&] {
             seen = {"Yeni Klasör", "—", "Bilgi Al"};
             throw StepFailure{"no item \"Yeni Belge\" within 20 s"};
         }},
        {"press the entry",
         [&] {
             lastRan = true;
         }},
    };
    std::ostringstream log;
    EXPECT_EQ(runSteps(steps, log, seen), 1);
    EXPECT_FALSE(lastRan);
    EXPECT_EQ(log.str(), "ok: open the window\nFAILED at step find Yeni Belge: no item \"Yeni "
                         "Belge\" within 20 s; menu titles seen: Yeni Klasör | — | Bilgi Al\n");

    std::ostringstream quiet;
    EXPECT_EQ(runSteps({steps[0]}, quiet, {}), 0);
}

} // namespace

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
    };
    for (const auto& c : cases)
        EXPECT_EQ(showsSelected(c.answer, c.file), c.shown) << c.what;
}

TEST(FinderDriver, OptionsAreNamePairsOrFlags) {
    const auto options = parseOptions({"--title", "Metin Belgesi", "--expect-app", "--title", "Not",
                                       "--entry", "Word Belgesi", "--folder",
                                       "/Volumes/USB Bellek Ş", "--entry", "Metin Belgesi"},
                                      {"--expect-app"});
    ASSERT_TRUE(options);
    EXPECT_EQ(joined(options->all("--title")), "Metin Belgesi | Not");
    EXPECT_EQ(options->one("--folder"), "/Volumes/USB Bellek Ş");
    EXPECT_EQ(options->one("--entry"), "Metin Belgesi"); // the last one given
    EXPECT_TRUE(options->has("--expect-app"));
    EXPECT_FALSE(options->has("--expect"));
    for (const std::vector<std::string>& wrong : {std::vector<std::string>{"--folder"},
                                                  {"Belgeler"},
                                                  {"--entry", "a", "stray"},
                                                  {"--"},
                                                  {"--folder", "/tmp", "--", "--expect-app"}})
        EXPECT_FALSE(parseOptions(wrong, {"--expect-app"})) << joined(wrong);
}

TEST(FinderDriver, ADumpReadsBackAsTheTreeItWasWrittenFrom) {
    const std::string dump =
        R"(AXWindow subrole="AXStandardWindow" title="Belgeler" id="FinderWindow" frame=60,60,900,600
  AXSplitGroup desc="list view"
    AXRow subrole="AXOutlineRow" frame=60,120.5,900,20 level=1 disclosing=false
      AXCell
        AXTextField value="\"Alıntı\"\nikinci satır\\\t\x01"
  -
)";
    const auto tree = fromDump(dump);
    EXPECT_EQ(dumped(*tree), dump);
    const auto row = tree->kids[0]->children()[0];
    EXPECT_EQ(row->disclosureLevel(), 1);
    EXPECT_EQ(row->frame()->y, 120.5);
    EXPECT_EQ(row->children()[0]->children()[0]->value(), "\"Alıntı\"\nikinci satır\\\t\x01");
    EXPECT_EQ(dumped(*tree, 1), "AXWindow subrole=\"AXStandardWindow\" title=\"Belgeler\" "
                                "id=\"FinderWindow\" frame=60,60,900,600\n  AXSplitGroup "
                                "desc=\"list view\"\n  -\n");
    for (const char* wrong : {"  AXRow", "AXRow title=Belgeler", "AXRow title=\"a", "AXRow level=x",
                              "AXRow frame=1,2,3", "AXRow title=\"\\q\"",
                              "AXWindow\n  AXGroup\n      AXRow" /* a level skipped */}) {
        EXPECT_FALSE(parseDump(wrong)) << wrong;
        EXPECT_THROW(fromDump(wrong), std::invalid_argument) << wrong;
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
}

TEST(FinderDriver, ARightClickLandsOnItsRowOrBelowTheLastRowInsideTheList) {
    // Finder's list shows from 112 (its header down to 136) to 660; its rows end at 196.
    auto lastRow = [](Fake& list) {
        return std::static_pointer_cast<Fake>(rowsOf(list).back());
    };
    const struct {
        const char* what;
        std::function<void(Fake&)> change;
        std::optional<double> y; // none: no room, a step failure
    } cases[] = {
        {"below the last row", [](Fake&) {}, (196 + 660) / 2.0},
        {"an empty folder: below the header",
         [](Fake& list) {
             std::erase_if(list.kids, [](auto& kid) { return kid->role() == role::row; });
         },
         (136 + 660) / 2.0},
        {"a list longer than it shows", [](Fake& list) { list.a.frame->height = 2000; },
         (196 + 660) / 2.0},
        {"rows down to its bottom", [&](Fake& list) { lastRow(list)->a.frame->y = 640; }, {}},
        {"rows to a few pixels above it", [&](Fake& list) { lastRow(list)->a.frame->y = 634; }, {}},
    };
    for (const auto& c : cases) {
        const auto app = fromDump(finderDump);
        c.change(*listView(*app));
        auto found = onlyList(findList(*app, {}, 8));
        if (!found)
            found = onlyList(findList(*app, {{"Alt", ""}}, 8));
        const Click click = backgroundClick(*found);
        ASSERT_EQ(click.at.has_value(), c.y.has_value()) << c.what << ": " << click.problem;
        if (click.at) {
            EXPECT_EQ(click.at->x, 241 + 719 / 2.0) << c.what;
            EXPECT_EQ(click.at->y, *c.y) << c.what;
        }
    }

    const auto app = fromDump(finderDump);
    const auto found = onlyList(findList(*app, {{"Yeni Metin Belgesi", ""}}, 8));
    auto row = std::static_pointer_cast<Fake>(found->row);
    EXPECT_EQ(rowClick(*found, *row).at->y, 186);
    row->a.frame->y = 650; // half of it shows
    EXPECT_EQ(rowClick(*found, *row).at->y, 655);
    row->a.frame->y = 700;
    EXPECT_EQ(rowClick(*found, *row).problem,
              "the row \"Yeni Metin Belgesi\" does not show in the list");
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

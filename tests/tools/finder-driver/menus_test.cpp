// Menus: an item by its whole title, the open context menu wherever it hangs and never another
// menu, and a menu opened again until it offers the item.
#include "Menus.h"
#include "fakes.h"

#include <gtest/gtest.h>

using namespace lemvora::driver;
using namespace lemvora::driver::fakes;

namespace {

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

} // namespace

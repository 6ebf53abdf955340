// Where a right-click goes in the file list.
#include "Clicks.h"
#include "FileList.h"
#include "OnScreen.h"
#include "fakes.h"

#include <gtest/gtest.h>

using namespace lemvora::driver;
using namespace lemvora::driver::fakes;

namespace {

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

// A click or a key meant for Finder goes nowhere while another process's window is in front.
TEST(FinderDriver, TheWindowsInFrontOfFinderAreNamedWithTheirProcess) {
    const long finder = 401, lemvoraMenu = 901;
    const ScreenWindow menuBar{"Window Server", 150, level::mainMenu},
        status{"Control Center", 420, level::status}, dock{"Dock", 388, level::dock},
        desktop{"Dock", 388, -2147483624}, finderMenu{"Finder", finder, 101},
        finderWindow{"Finder", finder, level::normal}, alert{"LemvoraMenu", lemvoraMenu, 8},
        setup{"Setup Assistant", 612, level::normal}, prompt{"universalAccessAuthWarn", 733, 8};
    const struct {
        const char* what;
        std::vector<ScreenWindow> frontToBack;
        std::vector<std::string> named;
    } cases[] = {
        {"none", {menuBar, status, dock, finderMenu, finderWindow, desktop}, {}},
        {"in front",
         {menuBar, prompt, setup, finderWindow, desktop},
         {"universalAccessAuthWarn (PID 733, layer 8)", "Setup Assistant (PID 612, layer 0)"}},
        {"behind Finder's window", {finderWindow, setup, desktop}, {}},
        {"between Finder's menu and its window",
         {finderMenu, setup, finderWindow},
         {"Setup Assistant (PID 612, layer 0)"}},
        {"Finder shows no window", {dock, setup}, {"Setup Assistant (PID 612, layer 0)"}},
        {"our own alert", {alert, finderWindow}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(inFrontOfFinder(c.frontToBack, finder, {lemvoraMenu}), c.named) << c.what;
}

} // namespace

#include "Verbs.h"

#include "AppleEvents.h"
#include "Dump.h"
#include "FinderMenu.h"

#include <filesystem>
#include <fstream>
#include <iostream>

namespace lemvora::driver {

namespace fs = std::filesystem;

int menuCommand(const Options& options) {
    const std::string folder = withoutTrailingSlash(options.one("--folder"));
    const std::string itemName = options.one("--item");
    const std::string opened = options.one("--expand");
    const std::string entry = options.one("--entry");
    const auto timeoutGiven = secondsOption(options, "--timeout", 30);
    const auto eventLimit = secondsOption(options, "--event-timeout", 10);
    if (!timeoutGiven || !eventLimit) {
        std::cerr << "menu: --timeout and --event-timeout take a number of seconds\n";
        return 2;
    }
    setEventTimeout(*eventLimit);
    const double timeout = *timeoutGiven;
    if (folder.empty() || entry.empty() ||
        options.has("--expect") + options.has("--expect-app") + options.has("--expect-alert") !=
            1) {
        std::cerr << "menu: --folder, --entry and one of --expect, --expect-app, --expect-alert\n";
        return 2;
    }
    if (!opened.empty() && itemName.empty()) {
        std::cerr << "menu: --expand names the folder row that holds --item\n";
        return 2;
    }
    // Around a freshly attached disk image, Finder's Apple events may hang on macOS 26 (-1712 on
    // 26.5.2, raullenchai/Rapid-MLX#2240, mended by sending Finder none: PR #3066). Without them
    // the item could not be selected.
    const bool noEvents = options.has("--no-apple-events");
    if (noEvents && !itemName.empty()) {
        std::cerr << "menu: --item selects the item with an Apple event: not with "
                     "--no-apple-events\n";
        return 2;
    }
    // The item is in the folder, or in its folder row opened in the list.
    const std::string item = itemName.empty() ? ""
                             : opened.empty() ? folder + "/" + itemName
                                              : folder + "/" + opened + "/" + itemName;
    const std::string target = options.has("--target")
                                   ? withoutTrailingSlash(options.one("--target"))
                               : item.empty() ? folder
                                              : item;
    const std::string dumpPrefix = options.one("--dump");
    auto keep = [&](const std::string& name, const Element& root, int depth) {
        if (dumpPrefix.empty())
            return;
        const std::string path = dumpPrefix + "." + name + ".txt";
        std::ofstream out(path);
        dumpTree(root, depth, out);
        if (!out)
            std::cerr << "could not write " << path << "\n";
    };
    auto keepMenu = [&](int number, const Element& menu) {
        keep("menu-" + std::to_string(number), menu, menuDumpDepth);
    };
    ElementPtr caseWindow;
    RealClock clock;
    std::vector<std::string> seen;
    std::shared_ptr<AXElement> finder;
    ElementPtr yeniBelge, submenu, entryItem;
    // The rows that tell the case's list: every entry of the folder (none for an empty one), as
    // the job lists them (--listed) or else as the folder holds them, read before the menu adds
    // one; the item's first (its folder row's when that is to be opened), whose row is clicked.
    // A sidebar holds a few of them at most.
    std::vector<EntryName> wanted;
    const EntryName openedEntry = opened.empty() ? EntryName{} : entryNamed(folder + "/" + opened),
                    itemEntry = item.empty() ? EntryName{} : entryNamed(item);
    auto folderEntries = [&] {
        const auto listed = options.all("--listed");
        std::vector<EntryName> entries;
        for (const auto& name : listed)
            entries.push_back(entryNamed(folder + "/" + name));
        if (listed.empty())
            entries = entriesOf(folder);
        return clickedFirst(entries, opened.empty() ? itemEntry : openedEntry);
    };
    auto locate = [&] {
        auto found = onlyList(findList(*finder, wanted, listDepth));
        if (found && !opened.empty())
            found->row = rowWithin(*found->list(), openedEntry, itemEntry);
        return found;
    };
    std::optional<FinderMenu> menuSource;

    std::vector<Step> steps{
        {"trust", requireTrust},
        {"open a Finder window on " + folder,
         [&] {
             const auto pid = finderProcess();
             if (!pid)
                 throw StepFailure{"Finder does not run"};
             finder = applicationElement(*pid);
             if (noEvents) {
                 // Launch Services opens the folder in Finder and brings it to the front; the
                 // view is Finder's default for a folder without its own (the job sets list
                 // view), and the other windows stay.
                 const int status = openInFinder(folder);
                 if (status != 0)
                     throw StepFailure{"open -a Finder " + folder + " ended with status " +
                                       std::to_string(status)};
                 return;
             }
             appleScript("make new Finder window",
                         "tell application \"Finder\"\n"
                         "  activate\n"
                         "  close every Finder window\n"
                         "  set w to make new Finder window to (POSIX file " +
                             quoted(folder) +
                             " as alias)\n"
                             "  set current view of w to list view\n"
                             "  set bounds of w to {60, 60, 960, 660}\n"
                             "end tell");
         }},
        {"the list view shows " + (itemName.empty() ? folder + "'s entries"
                                   : opened.empty() ? itemName
                                                    : opened),
         [&] {
             wanted = folderEntries();
             std::optional<ListFound> found;
             if (!waitFor(clock, timeout, 0.25, [&] { return (found = locate()).has_value(); }))
                 throw StepFailure{
                     "no list in Finder's windows with " +
                     (wanted.empty()
                          ? std::string("no rows (an empty folder)")
                          : "a row for each of " + std::to_string(wanted.size()) + " entries") +
                     " within " + std::to_string(int(timeout)) + " s"};
             caseWindow = found->window();
             keep("window", *caseWindow, windowDumpDepth);
         }},
    };
    if (!opened.empty())
        steps.push_back({"open " + opened + " in the list until it lists " + itemName, [&] {
                             const Expansion done = expandTo(
                                 [&] {
                                     const auto found =
                                         onlyList(findList(*finder, wanted, listDepth));
                                     return found ? found->list() : nullptr;
                                 },
                                 openedEntry, itemEntry, clock, timeout);
                             if (!done.row)
                                 throw StepFailure{done.problem};
                             keep("window", *caseWindow, windowDumpDepth);
                         }});
    // Selected once its row is listed: Finder may not select an item of a closed folder row.
    if (!item.empty())
        steps.push_back({"select " + itemName, [&] {
                             appleScript("select " + itemName,
                                         "tell application \"Finder\" to select (POSIX file " +
                                             quoted(item) + " as alias)");
                         }});
    steps.insert(
        steps.end(),
        {
            {"find \"Yeni Belge\" in the context menu" +
                 (itemName.empty() ? std::string(" of the background") : " of " + itemName),
             [&] {
                 menuSource.emplace(finder, clock, locate, !itemName.empty(), keepMenu);
                 const Found found = findInMenu(*menuSource, clock, "Yeni Belge", timeout, 3);
                 seen = found.seen;
                 if (!found.menu && found.seen.empty())
                     throw StepFailure{
                         "no context menu opened (AXShowMenu and a right-click) within " +
                         std::to_string(int(timeout)) + " s"};
                 if (!found.item)
                     throw StepFailure{"no item \"Yeni Belge\" in the context menu within " +
                                       std::to_string(int(timeout)) + " s"};
                 yeniBelge = found.item;
             }},
            {"open the submenu of \"Yeni Belge\"",
             [&] {
                 // Pressing an item with a submenu does nothing: the selection is moved onto it, by
                 // hovering, then by selecting it and the right arrow key.
                 if (const auto frame = ax(yeniBelge).cgFrame()) {
                     requireFinderInFront("hovering over \"Yeni Belge\"");
                     postMouse(kCGEventMouseMoved, centre(*frame), kCGMouseButtonLeft);
                 }
                 auto entryShown = [&] {
                     submenu = submenuOf(*yeniBelge);
                     if (submenu)
                         seen = titlesOf(*submenu);
                     return submenu && (entryItem = findItem(*submenu, entry)) != nullptr;
                 };
                 if (!waitFor(clock, 2, 0.1, entryShown)) {
                     ax(yeniBelge).select();
                     requireFinderInFront("pressing the right arrow key");
                     postKey(keyRightArrow);
                     if (!waitFor(clock, 5, 0.1, entryShown))
                         throw StepFailure{"no entry \"" + entry + "\" in the submenu"};
                 }
                 menuSource->keep(); // with its submenu open
             }},
            {"press \"" + entry + "\"",
             [&] {
                 ax(entryItem).setTimeout(2);
                 const AXError error = ax(entryItem).performAction(kAXPressAction);
                 if (error != kAXErrorSuccess && error != kAXErrorCannotComplete)
                     throw StepFailure{"AXPress answered " + std::to_string(error)};
             }},
        });
    if (options.has("--expect")) {
        const std::string file = target + "/" + options.one("--expect");
        steps.push_back(
            {"wait until " + file + " exists and Finder shows it selected", [&, file] {
                 std::string finderSays;
                 const bool done = waitFor(clock, timeout, 0.5, [&] {
                     if (!fs::exists(fs::path(file)))
                         return false;
                     if (noEvents) {
                         finderSays = "(no Apple event: read through Accessibility, its row "
                                      "in the list of the folder's entries is not selected)";
                         return showsSelected(*finder, wanted, entryNamed(file), listDepth);
                     }
                     // Both composed: Finder's paths come through utf8() too.
                     finderSays = finderWindowAndSelection();
                     return showsSelected(finderSays, utf8(ns(file)));
                 });
                 if (!done)
                     throw StepFailure{fs::exists(fs::path(file))
                                           ? "Finder does not show it selected; its front window "
                                             "and selection: " +
                                                 oneLine(finderSays)
                                           : "no such file after " + std::to_string(int(timeout)) +
                                                 " s"};
             }});
    } else if (options.has("--expect-app")) {
        steps.insert(steps.begin() + 1,
                     {"Lemvora does not run yet", [] {
                          if (!processesEndingIn("/Lemvora.app/Contents/MacOS/Lemvora").empty())
                              throw StepFailure{"it runs already: its start could not be seen"};
                      }});
        steps.push_back(
            {"wait until Lemvora runs", [&] {
                 if (!waitFor(clock, timeout, 0.25, [] {
                         return !processesEndingIn("/Lemvora.app/Contents/MacOS/Lemvora").empty();
                     }))
                     throw StepFailure{"no Lemvora process after " + std::to_string(int(timeout)) +
                                       " s"};
             }});
    } else {
        steps.push_back(alertStep(options.one("--expect-alert"), timeout, clock, finder, menuSource,
                                  dumpPrefix));
    }
    const int status = runSteps(steps, std::cout, seen);
    if (status != 0 && finder) {
        // What Finder shows at the failure: the case's window, or before it was found (or once it
        // is gone: its role reads empty) all of Finder's windows.
        if (caseWindow && !caseWindow->role().empty())
            keep("window", *caseWindow, windowDumpDepth);
        else
            keep("window", *finder, windowDumpDepth + 1);
    }
    // A menu left open by a failed step would hold the next case's window.
    if (status != 0 && menuSource)
        menuSource->close();
    return status;
}

} // namespace lemvora::driver

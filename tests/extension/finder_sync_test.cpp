// FinderSyncExt against recording doubles for what leaves the process (workspace, alerts).
// This program is built inside Host.app/Contents/PlugIns/Menu.appex, so its main bundle is an
// extension bundle installed in an application, as on macOS.
#include "FinderSyncExt.h"

#include "TestSupport.h"
#include "platform/Bundle.h"
#include "platform/Dispatch.h"
#include "platform/ProcessInfo.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <future>
#include <set>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#if defined(__APPLE__)
#include <CoreFoundation/CoreFoundation.h>
#include <objc/runtime.h>
#include <unistd.h>
#endif

namespace {

using namespace testing_support;
using platform::Menu;
using V = std::vector<std::string>;

// Everything the extension asks of the world, in order, marked when asked off the main thread;
// activities too, when asked, and always counted.
struct Recorder : platform::Workspace, platform::AlertPresenter, platform::ProcessInfo {
    V log;
    std::vector<platform::Alert> alerts;
    // Runs while an alert is open, as AppKit's modal loop runs the queues meanwhile.
    std::function<void()> whileAlertOpen;
    bool logActivities = false;
    int activitiesHeld = 0;
    static std::string thread() { return platform::isMainThread() ? "" : " (off the main thread)"; }
    Activity beginActivity(const std::string&) override {
        ++activitiesHeld;
        if (logActivities)
            log.push_back("activity begin" + thread());
        return std::make_shared<int>(0);
    }
    void endActivity(Activity) override {
        --activitiesHeld;
        if (logActivities)
            log.push_back("activity end" + thread());
    }
    void activateFileViewerSelectingURLs(const std::vector<platform::URL>& urls) override {
        std::string line = "reveal";
        for (const auto& u : urls)
            line += " " + u.string();
        log.push_back(line + thread());
    }
    void openApplicationAtURL(const platform::URL& url,
                              const platform::OpenConfiguration&) override {
        log.push_back("openApplication " + url.string());
    }
    bool openURL(const platform::URL& url) override {
        log.push_back("openURL " + url.string());
        return true;
    }
    platform::ModalResponse runModal(const platform::Alert& alert) override {
        alerts.push_back(alert);
        log.push_back("alert " + alert.messageText() + thread());
        if (whileAlertOpen) {
            whileAlertOpen();
            log.push_back("closed");
        }
        return platform::alertFirstButtonReturn;
    }
};

class Extension : public HomeTest {
protected:
    void SetUp() override {
        HomeTest::SetUp();
        recorder = std::make_shared<Recorder>();
        platform::Workspace::setShared(recorder);
        platform::AlertPresenter::setShared(recorder);
        platform::ProcessInfo::setShared(recorder);
        platform::FinderSyncController::defaultController().setTargetedURL(std::nullopt);
        platform::FinderSyncController::defaultController().setSelectedItemURLs({});
        fs::create_directories(folder());
    }
    void TearDown() override {
        platform::waitForDocuments();
        EXPECT_EQ(recorder->activitiesHeld, 0) << "an activity that never ended";
        platform::testing::setMountedVolumeURLs(std::nullopt);
        HomeTest::TearDown();
    }
    fs::path folder() const { return scratch() / "Klasör"; }
    void target(const fs::path& p) {
        platform::FinderSyncController::defaultController().setTargetedURL(p);
    }
    // Sends an action as the platform does, then lets the document queue and the main queue run.
    void choose(lemvora::FinderSyncExt& ext, const std::string& selector) {
        ASSERT_TRUE(ext.perform(selector, nullptr)) << selector;
        recorder->log.push_back("returned");
        platform::waitForDocuments();
    }
    static const Menu& submenu(const std::shared_ptr<Menu>& root) {
        return *root->items().at(0)->submenu();
    }
    static V entryTitles(const std::shared_ptr<Menu>& root) {
        V titles;
        for (const auto& item : submenu(root).items())
            titles.push_back(item->title());
        return titles;
    }
    static V entryActions(const std::shared_ptr<Menu>& root) {
        V actions;
        for (const auto& item : submenu(root).items())
            actions.push_back(item->action().value_or("-"));
        return actions;
    }
    static V numbered(int n) {
        V names;
        for (int i = 0; i < n; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "%02d Belge %c.txt", i + 1, 'A' + i);
            names.push_back(name);
        }
        return names;
    }

    std::shared_ptr<Recorder> recorder;
};

#if defined(__APPLE__)
// Finder sends a chosen entry's action to the principal class: each must be a method of it.
TEST(PrincipalClass, IsAFinderSyncThatAnswersEveryActionOfTheMenu) {
    Class principal = objc_getClass("FinderSyncExt");
    ASSERT_NE(principal, nullptr);
    EXPECT_EQ(class_getSuperclass(principal), objc_getClass("FIFinderSync"));
    EXPECT_TRUE(class_respondsToSelector(principal, sel_registerName("menuForMenuKind:")));
    for (const auto& selector : lemvora::FinderSyncExt::selectorTable().selectors())
        EXPECT_TRUE(class_respondsToSelector(principal, sel_registerName(selector.c_str())))
            << selector;
}

// An alert's modal loop turns the main run loop from inside the job that shows it: the main
// queue's jobs must still run meanwhile, which they would not were that job itself one of the
// main queue's (a serial queue runs one job at a time).
TEST(MainRunLoop, AJobThatTurnsTheLoopLeavesTheMainQueueFree) {
    bool ran = false, seen = false;
    platform::performOnMainRunLoop([&] {
        platform::dispatchAsyncMain([&] { ran = true; });
        seen = waitUntil(
            [&] {
                CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, true);
                return ran;
            },
            10);
    });
    platform::drainMainQueue();
    EXPECT_TRUE(seen);
}
#endif

using Folders = std::set<platform::URL>;

TEST_F(Extension, RegistersEveryVolumeAgainOnlyWhenTheSetOfFoldersChanges) {
    auto& controller = platform::FinderSyncController::defaultController();
    Folders everyVolume{"/"};
    for (const auto& volume : platform::mountedVolumeURLs())
        everyVolume.insert(volume);
    controller.setDirectoryURLs({});
    // Before each event the test writes "/başka" behind the extension's back: what stands after
    // it shows whether the extension registered again.
    const Folders untouched{"/başka"};
    {
        lemvora::FinderSyncExt ext;
        EXPECT_EQ(controller.directoryURLs(), everyVolume);
        // Menus and actions leave the set alone.
        controller.setDirectoryURLs(untouched);
        makeTemplates({"10 Yeni Not.txt"});
        target(folder());
        ext.menu(0);
        ext.menu(1);
        choose(ext, "doc00:");
        EXPECT_EQ(controller.directoryURLs(), untouched);
        struct Event {
            std::vector<platform::URL> volumes;
            Folders registered; // untouched: not registered again
        };
        const Event events[] = {
            {{"/", "/media/usb"}, {"/", "/media/usb"}},
            {{"/media/usb", "/", "/media/usb"}, untouched}, // the same set, otherwise listed
            {{"/media/usb", "/media/kart"}, {"/", "/media/usb", "/media/kart"}},
            {{"/media/usb", "/media/kart"}, untouched}, // a mount's flags changed, say
            {{}, {"/"}},
        };
        for (const auto& event : events) {
            SCOPED_TRACE(::testing::PrintToString(event.volumes));
            controller.setDirectoryURLs(untouched);
            platform::testing::setMountedVolumeURLs(event.volumes);
            platform::volumesChanged("test");
            EXPECT_EQ(controller.directoryURLs(), event.registered);
        }
    }
    platform::testing::setMountedVolumeURLs(std::vector<platform::URL>{"/media/yeni"});
    platform::volumesChanged("test"); // an extension that is gone no longer listens
    EXPECT_EQ(controller.directoryURLs(), Folders{"/"});
}

TEST_F(Extension, MadeOnAnotherThreadItRegistersOnTheMainQueue) {
    auto& controller = platform::FinderSyncController::defaultController();
    platform::testing::setMountedVolumeURLs(std::vector<platform::URL>{"/media/usb"});
    controller.setDirectoryURLs({"/başka"});
    std::unique_ptr<lemvora::FinderSyncExt> ext;
    std::thread([&ext] {
        ext = std::make_unique<lemvora::FinderSyncExt>();
        lemvora::FinderSyncExt gone; // ends before its queued start runs, which must not touch it
    }).join();
    EXPECT_EQ(controller.directoryURLs(), Folders{"/başka"}) << "written off the main thread";
    EXPECT_EQ(platform::drainMainQueue(), 2);
    EXPECT_EQ(controller.directoryURLs(), (Folders{"/", "/media/usb"}));
    platform::testing::setMountedVolumeURLs(std::vector<platform::URL>{});
    platform::volumesChanged("test"); // and it watches from there
    EXPECT_EQ(controller.directoryURLs(), Folders{"/"});
}

#if defined(__APPLE__)
// A disk image attached as a user's (browsable: without -nobrowse) comes and goes in the
// volumes, and at least one of the layer's two sources tells of each: either may be silent.
TEST_F(Extension, AVolumeObserverSeesADiskImageAttachedAndDetached) {
    const std::string hdiutil = "/usr/bin/hdiutil", image = scratch() / "Lemvora.dmg";
    const auto made = runProcess({hdiutil, "create", "-quiet", "-size", "4m", "-fs", "HFS+",
                                  "-volname", "LemvoraTest" + std::to_string(getpid()), image});
    ASSERT_EQ(made.exitCode, 0) << "hdiutil create failed: " << made.err << made.out;
    std::vector<std::string> sources;
    platform::VolumeObserver observer([&sources](const std::string& s) { sources.push_back(s); });
    const auto attached = runProcess({hdiutil, "attach", "-plist", "-noautoopen", image});
    ASSERT_EQ(attached.exitCode, 0) << "hdiutil attach failed: " << attached.err;
    // The entity with a mount point, and its disk ("/dev/disk5" of "/dev/disk5s1").
    const auto& plist = attached.out;
    const auto stringAfter = [&plist](std::size_t key) {
        const auto at = plist.find("<string>", key);
        return at == plist.npos ? "" : plist.substr(at + 8, plist.find("</string>", at) - at - 8);
    };
    const auto mountKey = plist.find("<key>mount-point</key>");
    const platform::URL mountPoint = stringAfter(mountKey);
    std::string disk = stringAfter(plist.rfind("<key>dev-entry</key>", mountKey));
    disk = disk.substr(0, disk.find('s', disk.find("disk") + 4));
    ASSERT_TRUE(mountKey != plist.npos && !disk.empty()) << "no volume in:\n" << plist;
    std::unique_ptr<const std::string, void (*)(const std::string*)> detachAtEnd(
        &disk, [](const std::string* attachedDisk) {
            runProcess({"/usr/bin/hdiutil", "detach", "-force", "-quiet", *attachedDisk});
        });

    // The sources deliver on the main queue, which the main run loop serves.
    const auto seen = [&](std::size_t after, const char* kind, bool mounted) {
        return waitUntil([&] {
            CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true);
            const auto all = platform::mountedVolumeURLs();
            return std::any_of(sources.begin() + after, sources.end(),
                               [&](const auto& s) { return s.find(kind) != s.npos; }) &&
                   (std::find(all.begin(), all.end(), mountPoint) != all.end()) == mounted;
        });
    };
    EXPECT_TRUE(seen(0, "", true)) << mountPoint << ": " << sources.size() << " events";
    const std::size_t beforeDetach = sources.size();
    // Spotlight or Finder may hold the new volume for a moment.
    int attempts = 0;
    ProcessResult detached;
    waitUntil([&] {
        detached = runProcess({hdiutil, "detach", disk});
        return detached.exitCode == 0 || detached.err.find("busy") == std::string::npos ||
               ++attempts == 20;
    });
    ASSERT_EQ(detached.exitCode, 0) << "hdiutil detach failed: " << detached.err;
    detachAtEnd.release();
    EXPECT_TRUE(seen(beforeDetach, "nmount", false)) << mountPoint << " is still there";
    for (const auto& source : sources)
        std::printf("volume event from %s\n", source.c_str());
}
#endif

TEST_F(Extension, SelectorsAreTwentyNumberedSlotsAndTheHostAppAction) {
    const auto& selectors = lemvora::FinderSyncExt::selectors();
    ASSERT_EQ(selectors.size(), 20u);
    EXPECT_EQ(selectors.front(), "doc00:");
    EXPECT_EQ(selectors[9], "doc09:");
    EXPECT_EQ(selectors.back(), "doc19:");
    lemvora::FinderSyncExt ext;
    for (const auto& s : selectors)
        EXPECT_TRUE(ext.respondsTo(s)) << s;
    EXPECT_TRUE(ext.respondsTo("openHostApp:"));
    for (const char* s : {"doc20:", "doc5:", "doc05", "menuForMenuKind:", ""})
        EXPECT_FALSE(ext.respondsTo(s)) << s;
}

TEST_F(Extension, EmptyFolderMenuOffersTheHostApplication) {
    lemvora::FinderSyncExt ext;
    for (platform::MenuKind kind : {0ul, 1ul}) {
        const auto root = ext.menu(kind);
        ASSERT_TRUE(root);
        EXPECT_EQ(root->title(), "");
        ASSERT_EQ(root->items().size(), 1u);
        const auto& item = *root->items()[0];
        EXPECT_EQ(item.title(), "Yeni Belge");
        EXPECT_FALSE(item.action());
        EXPECT_EQ(item.keyEquivalent(), "");
        EXPECT_EQ(item.target(), nullptr);
        EXPECT_EQ(submenu(root).title(), "Yeni Belge");
        EXPECT_EQ(entryTitles(root), V{"Şablon yok — Lemvora'ı aç…"});
        EXPECT_EQ(entryActions(root), V{"openHostApp:"});
        EXPECT_EQ(submenu(root).items()[0]->target(), &ext);
        EXPECT_EQ(submenu(root).items()[0]->keyEquivalent(), "");
    }
}

TEST_F(Extension, EntriesAreBoundToSlotsInCatalogueOrder) {
    lemvora::FinderSyncExt ext;
    makeTemplates({"10 Yeni Not.txt"});
    auto root = ext.menu(1);
    EXPECT_EQ(entryTitles(root), V{"Not"});
    EXPECT_EQ(entryActions(root), V{"doc00:"});

    makeTemplates(numbered(25)); // capped to twenty
    fs::remove(templates() / "10 Yeni Not.txt");
    root = ext.menu(0);
    ASSERT_EQ(root->items().size(), 1u);
    EXPECT_EQ(entryActions(root),
              (V{"doc00:", "doc01:", "doc02:", "doc03:", "doc04:", "doc05:", "doc06:",
                 "doc07:", "doc08:", "doc09:", "doc10:", "doc11:", "doc12:", "doc13:",
                 "doc14:", "doc15:", "doc16:", "doc17:", "doc18:", "doc19:"}));
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(submenu(root).items()[i]->title(), "Belge " + std::string(1, char('A' + i)));
        EXPECT_EQ(submenu(root).items()[i]->target(), &ext);
    }
}

TEST_F(Extension, EverySlotMakesItsOwnEntry) {
    // Each template holds its own name, so each document shows which slot made it.
    for (const auto& name : numbered(20))
        writeFile(templates() / name, name);
    lemvora::FinderSyncExt ext;
    const auto root = ext.menu(1);
    target(folder());
    for (const auto& item : submenu(root).items())
        choose(ext, *item->action());
    const V names = numbered(20);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string made = names[i].substr(3); // without its order prefix
        EXPECT_EQ(readFile(folder() / made), names[i]) << "slot " << i;
    }
    EXPECT_EQ(namesIn(folder()).size(), 20u);
}

TEST_F(Extension, EveryMenuRescansAndOnlyContextMenusAreServed) {
    lemvora::FinderSyncExt ext;
    makeTemplates(numbered(6));
    EXPECT_EQ(entryTitles(ext.menu(1)).size(), 6u);
    makeTemplates({"07 Eklenen.md"});
    EXPECT_EQ(entryTitles(ext.menu(1)).back(), "Eklenen");

    // Kinds 2 and 3 get no menu and leave the list behind the last menu alone: with the folder
    // emptied, slot 6 still resolves through that list (and fails, since the file is gone).
    fs::remove_all(templates());
    EXPECT_EQ(ext.menu(2), nullptr);
    EXPECT_EQ(ext.menu(3), nullptr);
    target(folder());
    choose(ext, "doc06:");
    EXPECT_EQ(recorder->log, (V{"returned", "alert Eklenen oluşturulamadı"}));
}

TEST_F(Extension, TheFreshScanWinsAndTheShownListIsTheFallback) {
    lemvora::FinderSyncExt ext;
    makeTemplates(numbered(6));
    ext.menu(1);
    // The folder changes after the menu was shown: three other templates.
    fs::remove_all(templates());
    makeTemplates({"1 X.txt", "2 Y.txt", "3 Z.txt"});
    target(folder());

    choose(ext, "doc02:"); // entry 2 of the fresh scan, whatever the menu showed
    EXPECT_TRUE(fs::exists(folder() / "Z.txt"));

    // Slot 5 is beyond the fresh scan: the shown list's entry 5, whose file is gone.
    recorder->log.clear();
    choose(ext, "doc05:");
    EXPECT_EQ(recorder->log, (V{"returned", "alert Belge F oluşturulamadı"}));
    ASSERT_EQ(recorder->alerts.size(), 1u);
    EXPECT_EQ(recorder->alerts[0].informativeText(), "No such file or directory");

    // A slot just past the fresh scan (3 entries) uses the shown list's entry 3, gone too.
    recorder->log.clear();
    choose(ext, "doc03:");
    EXPECT_EQ(recorder->log, (V{"returned", "alert Belge D oluşturulamadı"}));

    // Beyond both lists: nothing at all. Nor beyond the fresh scan in a copy that served no menu.
    lemvora::FinderSyncExt another;
    for (auto* copy : {&ext, &another}) {
        recorder->log.clear();
        choose(*copy, copy == &ext ? "doc07:" : "doc05:");
        EXPECT_EQ(recorder->log, V{"returned"});
    }
    EXPECT_EQ(namesIn(folder()), V{"Z.txt"});
}

TEST_F(Extension, TheDocumentGoesWhereTheUserClicked) {
    makeTemplates({"10 Yeni Not.txt"});
    const fs::path package = folder() / "Sunum.key"; // a package is a folder too
    const fs::path inner = folder() / "Alt";         // a subfolder expanded in a list view
    const fs::path a = inner / "a.txt", b = inner / "b.txt", other = folder() / "Diğer" / "c.txt";
    const fs::path file = folder() / "belge.txt";
    fs::create_directories(package);
    fs::create_directories(other.parent_path());
    for (const auto& f : {a, b, other, file})
        writeFile(f, "x");
    ASSERT_EQ(mkfifo((inner / "boru").c_str(), 0600), 0);
    fs::create_symlink("yok", inner / "kırık");
    using Sel = std::vector<platform::URL>;
    struct Case {
        std::optional<platform::MenuKind> kind; // none: this copy served no menu
        fs::path target;
        Sel atMenu, atAction; // what Finder says is selected when the menu is built, at the click
        fs::path where;
        Sel earlier = {}; // the selection of a menu on items this object served before
    };
    const std::optional<platform::MenuKind> items = platform::menuKind::contextualMenuForItems,
                                            background =
                                                platform::menuKind::contextualMenuForContainer,
                                            none;
    const Case cases[] = {
        // Nothing selected: the target, or a file's folder.
        {items, folder(), {}, {}, folder()},
        {items, package, {}, {}, package},
        {items, file, {}, {}, folder()},
        {items, folder() / "olmayan.txt", {}, {}, folder()},
        {items, folder() / "olmayan" / "", {}, {}, folder()},
        // A menu on items targets the folder in view; the right-clicked items are the selection.
        {items, folder(), {inner}, {inner}, inner},
        {items, folder(), {package}, {package}, package},
        {items, folder(), {file}, {file}, folder()},
        {items, folder(), {a}, {a}, inner}, // a file in an expanded subfolder: beside it
        {items, folder(), {a, b}, {a, b}, inner},
        {items, folder(), {inner, package}, {inner, package}, folder()},
        {items, folder(), {a, other}, {a, other}, folder()}, // different folders: the one in view
        {items, folder(), {inner / "gitti.txt"}, {inner / "gitti.txt"}, inner},
        {items, folder(), {inner / "boru"}, {inner / "boru"}, inner},
        {items, folder(), {inner / "kırık"}, {inner / "kırık"}, inner},
        // Finder answers no selection at the click: the menu's own, only from a menu on items.
        {items, folder(), {inner}, {}, inner},
        {items, folder(), {a}, {}, inner},
        {background, folder(), {inner}, {inner}, folder()}, // whatever is selected in the window
        {background, folder(), {inner}, {}, folder()},
        // The action reaches a copy of the extension that served no menu.
        {none, folder(), {}, {a}, inner},
        {none, folder(), {}, {inner}, inner},
        {none, folder(), {}, {}, folder()},
        // No targeted URL: the selection alone.
        {items, {}, {a}, {a}, inner},
        {items, {}, {a}, {}, inner},
        {none, {}, {}, {inner}, inner},
        // One object serving a second menu: the first one's selection is gone with it.
        {items, folder(), {}, {}, folder(), {inner}},
        {items, folder(), {file}, {}, folder(), {inner}},
    };
    auto& controller = platform::FinderSyncController::defaultController();
    for (const auto& c : cases) {
        SCOPED_TRACE((c.kind ? std::to_string(*c.kind) : "no menu") + " " + c.target.string() +
                     " " + ::testing::PrintToString(c.atMenu) +
                     ::testing::PrintToString(c.atAction));
        lemvora::FinderSyncExt ext;
        if (!c.earlier.empty()) {
            controller.setSelectedItemURLs(c.earlier);
            ext.menu(platform::menuKind::contextualMenuForItems);
        }
        recorder->log.clear();
        if (c.target.empty())
            controller.setTargetedURL(std::nullopt);
        else
            target(c.target);
        controller.setSelectedItemURLs(c.atMenu);
        if (c.kind)
            ext.menu(*c.kind);
        controller.setSelectedItemURLs(c.atAction);
        choose(ext, "doc00:");
        EXPECT_EQ(recorder->log, (V{"returned", "reveal " + (c.where / "Yeni Not.txt").string()}));
        fs::remove(c.where / "Yeni Not.txt");
    }
    // No targeted URL and nothing selected: silently nothing.
    lemvora::FinderSyncExt ext;
    ext.menu(1);
    recorder->log.clear();
    controller.setTargetedURL(std::nullopt);
    choose(ext, "doc00:");
    EXPECT_EQ(recorder->log, V{"returned"});
}

TEST_F(Extension, TheRootFolderAsTargetIsTheRootFolder) {
    // "/" is a folder, so the document goes into "/" itself. Run by someone who may not write
    // there, the copy fails in "/", with the alert, and nothing appears anywhere else (such as
    // the working folder, where an empty folder path would lead).
    makeTemplates({"10 Yeni Not.txt"});
    lemvora::FinderSyncExt ext;
    ext.menu(1);
    target("/");
    const fs::path before = fs::current_path();
    fs::current_path(folder());
    const auto result = asStranger([&] {
        ext.perform("doc00:", nullptr);
        platform::waitForDocuments();
        const bool alerted = recorder->log == V{"alert Not oluşturulamadı"} &&
                             recorder->alerts.at(0).informativeText() == "Permission denied";
        return alerted && namesIn(folder()).empty() && !fs::exists("/Yeni Not.txt") ? 0 : 1;
    });
    fs::current_path(before);
    if (!result)
        GTEST_SKIP() << "this machine allows no user namespace, and \"/\" is ours to write";
    EXPECT_EQ(*result, 0);
}

TEST_F(Extension, FailureAlertIsQueuedAndShownAfterTheActionReturns) {
    makeTemplates({"30 Yeni Word Belgesi.docx"});
    lemvora::FinderSyncExt ext;
    ext.menu(1);
    target(scratch() / "yok" / "alt" / "belge.txt"); // parent missing too
    ASSERT_TRUE(ext.perform("doc00:", nullptr));
    EXPECT_TRUE(recorder->alerts.empty()) << "shown before the action returned";
    EXPECT_EQ(platform::waitForDocuments(), 1);
    ASSERT_EQ(recorder->alerts.size(), 1u);
    const auto& alert = recorder->alerts[0];
    EXPECT_EQ(alert.alertStyle(), platform::AlertStyle::warning);
    EXPECT_EQ(static_cast<int>(alert.alertStyle()), 0);
    EXPECT_EQ(alert.messageText(), "Word Belgesi oluşturulamadı");
    EXPECT_EQ(alert.informativeText(), "No such file or directory");
    EXPECT_EQ(alert.buttons(), V{"Tamam"});
}

// Until the document queue of `volume` has run every job queued there so far.
void waitForQueue(const std::string& volume) {
    auto ran = std::make_shared<std::promise<void>>();
    platform::dispatchAsyncDocuments(volume, [ran] { ran->set_value(); });
    ran->get_future().wait();
}

// The copy runs on the document queue, after the action returned, one action after the other in
// the order chosen, even when the object that took them is gone by then; the reveal and the alert
// come back to the main thread, once each. From the first action to the last reveal or alert the
// process holds one activity, begun within the action and ended on the main thread.
TEST_F(Extension, DocumentsAreMadeOffTheMainThreadInTheOrderChosen) {
    makeTemplates({"1 A.txt", "2 B.txt"});
    platform::testing::setMountedVolumeURLs(std::vector<platform::URL>{}); // "/" alone
    recorder->logActivities = true;
    auto gone = std::make_unique<lemvora::FinderSyncExt>();
    gone->menu(1);
    target(folder());
    std::promise<void> release; // holds the queue until the three actions have returned
    platform::dispatchAsyncDocuments("/", [held = release.get_future().share()] { held.wait(); });
    for (const char* slot : {"doc01:", "doc00:", "doc00:"})
        ASSERT_TRUE(gone->perform(slot, nullptr));
    EXPECT_TRUE(namesIn(folder()).empty()) << "made on the main thread";
    gone.reset();
    release.set_value();
    EXPECT_EQ(platform::waitForDocuments(), 3);
    EXPECT_EQ(recorder->log, (V{"activity begin", "reveal " + (folder() / "B.txt").string(),
                                "reveal " + (folder() / "A.txt").string(),
                                "reveal " + (folder() / "A 2.txt").string(), "activity end"}));

    // Failures 1 to 3 before the main thread runs, the fourth while the first one's alert is
    // open: the alerts come one at a time, in the order of the failures, though the open alert's
    // modal loop runs the queues meanwhile (and sees only what was queued after it began).
    makeTemplates({"3 C.txt", "4 D.txt"});
    recorder->log.clear();
    lemvora::FinderSyncExt ext;
    target(scratch() / "yok" / "alt");
    for (const char* slot : {"doc00:", "doc01:", "doc02:"})
        ASSERT_TRUE(ext.perform(slot, nullptr));
    waitForQueue("/");
    recorder->whileAlertOpen = [&] {
        if (recorder->alerts.size() == 1) {
            ASSERT_TRUE(ext.perform("doc03:", nullptr));
            waitForQueue("/");
        }
        platform::drainMainQueue();
    };
    platform::waitForDocuments();
    EXPECT_EQ(recorder->log, (V{"activity begin", "alert A oluşturulamadı", "closed",
                                "alert B oluşturulamadı", "closed", "alert C oluşturulamadı",
                                "closed", "alert D oluşturulamadı", "closed", "activity end"}));
}

// Each volume has a document queue of its own: while a copy waits for one volume (a share that
// stopped answering), documents are made on the others; on one volume they keep their order. The
// volume is told from the paths alone: the longest registered folder that holds the path the
// document's folder is decided from, by whole components.
TEST_F(Extension, ADocumentWaitsOnlyForTheDocumentsOfItsOwnVolume) {
    makeTemplates({"10 Yeni Not.txt"});
    const fs::path stick = scratch() / "USB", card = stick / "Kart", near = scratch() / "USB2";
    for (const auto& d : {stick, card, near})
        fs::create_directories(d);
    writeFile(folder() / "x.txt", "x");
    platform::testing::setMountedVolumeURLs(std::vector<platform::URL>{stick, card});
    lemvora::FinderSyncExt ext;
    std::promise<void> release; // the stick stops answering
    platform::dispatchAsyncDocuments(stick.string(),
                                     [held = release.get_future().share()] { held.wait(); });
    using Sel = std::vector<platform::URL>;
    const struct {
        platform::MenuKind kind;
        fs::path target;
        Sel selected;
        fs::path made;
    } cases[] = {
        {1, stick, {}, stick / "Yeni Not.txt"},
        {1, near, {}, near / "Yeni Not.txt"}, // "USB2" is not on "USB"
        {1, stick / "yok", {}, stick / "Yeni Not 2.txt"},
        {1, card, {}, card / "Yeni Not.txt"},              // the card's, inside the stick's
        {0, scratch(), {stick}, stick / "Yeni Not 3.txt"}, // a selected volume: inside it
        {0, stick, {folder() / "x.txt"}, folder() / "Yeni Not.txt"}, // beside a file elsewhere
    };
    V waiting, elsewhere;
    for (const auto& c : cases) {
        target(c.target);
        platform::FinderSyncController::defaultController().setSelectedItemURLs(c.selected);
        ext.menu(c.kind);
        ASSERT_TRUE(ext.perform("doc00:", nullptr));
        (c.made.parent_path() == stick ? waiting : elsewhere)
            .push_back("reveal " + c.made.string());
    }
    std::sort(elsewhere.begin(), elsewhere.end());
    EXPECT_TRUE(waitUntil(
        [&] {
            platform::drainMainQueue();
            V seen = recorder->log;
            std::sort(seen.begin(), seen.end());
            return seen == elsewhere;
        },
        10))
        << ::testing::PrintToString(recorder->log);
    EXPECT_EQ(namesIn(stick), V{"Kart"}) << "made while its volume did not answer";
    recorder->log.clear();
    release.set_value();
    platform::waitForDocuments();
    EXPECT_EQ(recorder->log, waiting);
}

#if defined(__linux__)
// The state of one of this process's threads ('R' running, 'S' asleep…), from /proc.
char threadState(pid_t thread) {
    const std::string stat = readFile("/proc/self/task/" + std::to_string(thread) + "/stat");
    const auto end = stat.rfind(')');
    return end == std::string::npos || end + 2 >= stat.size() ? '?' : stat[end + 2];
}

// waitForDocuments() returns only once the job under way is done: a job that goes on until the
// main thread sleeps (as it does only inside waitForDocuments, waiting for the queues) or has
// returned from it.
TEST(DocumentQueues, WaitForDocumentsReturnsOnlyOnceEveryJobIsDone) {
    std::atomic<bool> started = false, returned = false, done = false;
    platform::dispatchAsyncDocuments("/", [&] {
        started = true;
        while (!returned && threadState(getpid()) != 'S') {
        }
        done = true;
    });
    while (!started) {
    }
    platform::waitForDocuments();
    const bool wasDone = done;
    returned = true;
    EXPECT_TRUE(wasDone) << "returned while a job ran";
    platform::waitForDocuments();
}
#endif

TEST_F(Extension, EmptyFolderEntryOpensTheApplicationThreeLevelsUp) {
    lemvora::FinderSyncExt ext;
    const auto root = ext.menu(1);
    ASSERT_EQ(entryActions(root), V{"openHostApp:"});
    choose(ext, "openHostApp:");
    const fs::path app = fs::path(LEMVORA_BINARY_DIR) / "tests/Host.app";
    EXPECT_EQ(platform::Bundle::main().bundleURL(), app / "Contents/PlugIns/Menu.appex");
    EXPECT_EQ(recorder->log, (V{"openApplication " + app.string(), "returned"}));
}

} // namespace

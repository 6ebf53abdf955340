#include "FinderSyncExt.h"

#include "platform/Bundle.h"
#include "platform/Dispatch.h"
#include "platform/FileSystem.h"
#include "platform/ProcessInfo.h"

#include <deque>
#include <filesystem>
#include <mutex>

namespace lemvora {

using namespace platform;

LEMVORA_REGISTER_PRINCIPAL_CLASS(FinderSyncExt, FinderSyncExt);

const SelectorTable<FinderSyncExt>& FinderSyncExt::selectorTable() {
    static const SelectorTable<FinderSyncExt> table{
        {"doc00:", &FinderSyncExt::doc00},
        {"doc01:", &FinderSyncExt::doc01},
        {"doc02:", &FinderSyncExt::doc02},
        {"doc03:", &FinderSyncExt::doc03},
        {"doc04:", &FinderSyncExt::doc04},
        {"doc05:", &FinderSyncExt::doc05},
        {"doc06:", &FinderSyncExt::doc06},
        {"doc07:", &FinderSyncExt::doc07},
        {"doc08:", &FinderSyncExt::doc08},
        {"doc09:", &FinderSyncExt::doc09},
        {"doc10:", &FinderSyncExt::doc10},
        {"doc11:", &FinderSyncExt::doc11},
        {"doc12:", &FinderSyncExt::doc12},
        {"doc13:", &FinderSyncExt::doc13},
        {"doc14:", &FinderSyncExt::doc14},
        {"doc15:", &FinderSyncExt::doc15},
        {"doc16:", &FinderSyncExt::doc16},
        {"doc17:", &FinderSyncExt::doc17},
        {"doc18:", &FinderSyncExt::doc18},
        {"doc19:", &FinderSyncExt::doc19},
        {"openHostApp:", &FinderSyncExt::openHostApp},
    };
    return table;
}

// "/" offers the menu in every folder of the start-up volume. Finder does not carry a registered
// "/" over to the other volumes (USB sticks, second disks, disk images, shares): each is
// registered too, and the set is made again whenever a volume comes, goes or is renamed.
//
// The set is written on the main thread alone, where the volumes' notifications arrive. The
// system makes the principal object on a thread of its choosing; were the first registration
// made there, it could run alongside a notification's on the main thread: two writers of one
// set, and the older set (read before a mount) may land last, leaving Finder without that volume
// until the next event. So an object made elsewhere queues its watch and its first registration
// on the main queue.
FinderSyncExt::FinderSyncExt() : self(std::make_shared<FinderSyncExt*>(this)) {
    if (isMainThread()) {
        watchVolumes();
        return;
    }
    dispatchAsyncMain([alive = std::weak_ptr<FinderSyncExt*>(self)] {
        if (const auto ext = alive.lock())
            (*ext)->watchVolumes();
    });
}

FinderSyncExt::~FinderSyncExt() = default;

void FinderSyncExt::watchVolumes() {
    volumes = std::make_unique<VolumeObserver>(
        [this](const std::string& source) { registerDirectories(source); });
    registerDirectories("start");
}

void FinderSyncExt::registerDirectories(const std::string& source) {
    std::set<URL> folders{URL("/")};
    for (auto& volume : mountedVolumeURLs())
        folders.insert(std::move(volume));
    // On a Mac one mount is told twice (by the workspace and by the kernel), and a change of a
    // mount's flags changes no folder: the same set again would only be more work for Finder.
    if (folders == registered)
        return;
    registered = folders;
    {
        const std::lock_guard lock(volumesLock);
        volumesForDocuments = folders;
    }
    FinderSyncController::defaultController().setDirectoryURLs(std::move(folders));
    osLog("Finder'a " + std::to_string(registered.size()) + " klasör kaydedildi (" + source + ")");
}

const std::array<Selector, Templates::maxItems>& FinderSyncExt::selectors() {
    // A function-local static: built once, safely even when first used by two threads.
    static const std::array<Selector, Templates::maxItems> table = [] {
        std::array<Selector, Templates::maxItems> names;
        for (std::size_t i = 0; i < names.size(); ++i)
            names[i] = "doc" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ":";
        return names;
    }();
    return table;
}

bool FinderSyncExt::perform(const Selector& selector, Object* sender) {
    return selectorTable().perform(*this, selector, sender);
}

bool FinderSyncExt::respondsTo(const Selector& selector) const {
    return selectorTable().contains(selector);
}

std::shared_ptr<Menu> FinderSyncExt::menu(MenuKind kind) {
    // The context menus alone: on selected items and on the folder's background.
    if (kind != menuKind::contextualMenuForItems && kind != menuKind::contextualMenuForContainer)
        return nullptr;
    templates = Templates::load();
    shownKind = kind;
    // Kept for the action: asked again at the click, Finder may answer no selection at all
    // (reported by a Finder Sync client: AlexDevFlow/Media-Converter#10).
    menuSelection = FinderSyncController::defaultController().selectedItemURLs();

    auto root = std::make_shared<Menu>("");
    auto item = std::make_shared<MenuItem>("Yeni Belge", std::nullopt, "");
    auto submenu = std::make_shared<Menu>("Yeni Belge");
    for (std::size_t i = 0; i < templates.size(); ++i) {
        auto entry = std::make_shared<MenuItem>(templates[i].title(), selectors()[i], "");
        entry->setTarget(this);
        submenu->addItem(entry);
    }
    if (templates.empty()) {
        auto entry = std::make_shared<MenuItem>("Şablon yok — Lemvora'ı aç…", "openHostApp:", "");
        entry->setTarget(this);
        submenu->addItem(entry);
    }
    item->setSubmenu(submenu);
    root->addItem(item);
    return root;
}

namespace {

// The documents under way in this process, from the action that queues the first to the main
// thread's answer to the last (its reveal asked for, or its alert answered). So long, the process
// holds an activity: the system ends an extension "shortly after" it performed its task (App
// Extension Programming Guide, "An App Extension's Life Cycle"), and the copies it starts for Open
// and Save dialogs "may be very short lived" (the same guide, Finder Sync); work done outside the
// event callback that started it wants an activity, which keeps sudden and automatic termination
// off (NSProcessInfo.h; how far the extensions' host honours it, a Mac run is yet to show). Ended
// always on the main thread, once what the job handed there is done: ended at the hand-off, it
// would leave the system free to end the process before the main thread shows anything. Begun
// and ended under one lock: NSProcessInfo is to be used from one thread at a time (Threading
// Programming Guide, "Thread Safety Summary"), and Finder may deliver an action on another.
class DocumentsUnderWay {
public:
    static void begin() {
        const std::lock_guard lock(state().lock);
        if (state().count++ == 0)
            state().activity =
                ProcessInfo::processInfo().beginActivity("Lemvora: yeni belge yapılıyor");
    }
    static void end() {
        const std::lock_guard lock(state().lock);
        if (--state().count == 0)
            ProcessInfo::processInfo().endActivity(std::move(state().activity));
    }

private:
    struct State {
        std::mutex lock;
        int count = 0;
        ProcessInfo::Activity activity;
    };
    static State& state() {
        static State shared;
        return shared;
    }
};

// The folder an item lies in. ("/a/b/" names "/a/b", so a final separator is dropped first.)
URL folderOf(const URL& item) {
    const URL entry = item.has_filename() ? item : item.parent_path();
    return entry.parent_path();
}

// The folder that several items share, told from their paths alone; none when they lie in
// different folders.
std::optional<URL> sharedFolder(const std::vector<URL>& selected) {
    URL shared = folderOf(selected.front());
    for (std::size_t i = 1; i < selected.size(); ++i)
        if (folderOf(selected[i]) != shared)
            return std::nullopt;
    return shared;
}

// Where a document made "on" these selected items belongs: inside the one selected folder (a
// package counts); beside the one selected file, or an item that no longer exists; in the folder
// that several items share. None when they lie in different folders.
std::optional<URL> folderForSelection(const std::vector<URL>& selected) {
    if (selected.size() == 1 && fs::isDirectory(selected.front()))
        return selected.front();
    return sharedFolder(selected);
}

// The longest of the volumes' folders that holds the path, by whole components ("/media/usb2" is
// not on "/media/usb"); the start-up volume's "/" for a path under none of them.
std::string volumeHolding(const URL& path, const std::set<URL>& volumes) {
    std::string p = path.lexically_normal().string();
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    std::string best = "/";
    for (const auto& volume : volumes) {
        std::string v = volume.lexically_normal().string();
        while (!v.empty() && v.back() == '/')
            v.pop_back();
        if (v.size() > best.size() && (p == v || p.compare(0, v.size() + 1, v + "/") == 0))
            best = v.empty() ? "/" : v;
    }
    return best;
}

// Failures waiting for their alert, in the order they happened, each with the request it serves.
struct WaitingAlert {
    Alert alert;
    std::shared_ptr<JobContext> context;
};
std::mutex waitingLock;
std::deque<WaitingAlert>& waitingAlerts() {
    static std::deque<WaitingAlert> waiting;
    return waiting;
}

// One alert at a time, in the order of the failures, whichever block gets here first. Each
// failure's alert was queued where it failed, when it failed: the blocks that show them run from
// the main run loop, whose nested loop inside an open alert runs only the blocks queued after it
// began (Dispatch.h), so an alert queued by its own block would come after later ones.
void showWaitingAlerts() {
    static bool showing = false; // main thread only
    if (showing)
        return;
    showing = true;
    for (;;) {
        WaitingAlert next;
        {
            const std::lock_guard lock(waitingLock);
            if (waitingAlerts().empty())
                break;
            next = std::move(waitingAlerts().front());
            waitingAlerts().pop_front();
        }
        const ScopedJobContext scope(std::move(next.context));
        next.alert.runModal();
        DocumentsUnderWay::end();
    }
    showing = false;
}

} // namespace

// At the click, on the thread Finder calls, the action reads only what is at hand: the template
// folder's list, and what Finder hands over (read there, since Finder answers for the current
// click alone). Deciding the folder and the copy touch the target's volume, which may take long
// (a share that stopped answering, a slow stick): they run on that volume's document queue, one
// action after the other in the order chosen, while actions on other volumes go on; the reveal
// or the alert come back to the main thread. The job holds copies of all it needs, so it may
// outlive this object.
void FinderSyncExt::openDocument(int index) {
    const auto fresh = Templates::load();
    const auto& list =
        index >= 0 && static_cast<std::size_t>(index) < fresh.size() ? fresh : templates;
    if (index < 0 || static_cast<std::size_t>(index) >= list.size())
        return;
    const auto& controller = FinderSyncController::defaultController();
    Place place{controller.targetedURL(), controller.selectedItemURLs(), shownKind, menuSelection};
    const std::string volume = documentVolume(place);
    DocumentsUnderWay::begin();
    dispatchAsyncDocuments(volume, [chosen = list[static_cast<std::size_t>(index)],
                                    place = std::move(place)] { makeDocument(chosen, place); });
}

// On the document queue. What comes back to the main thread comes from the main run loop, as the
// alerts do, so that a volume's reveals and alerts come in the order of its documents.
void FinderSyncExt::makeDocument(const Templates::Template& chosen, const Place& place) {
    const auto folder = destinationDirectory(place);
    if (!folder) {
        performOnMainRunLoop(DocumentsUnderWay::end);
        return;
    }
    try {
        const auto created = Templates::create(chosen, *folder);
        performOnMainRunLoop([created] {
            Workspace::sharedWorkspace().activateFileViewerSelectingURLs({created});
            DocumentsUnderWay::end();
        });
    } catch (const std::exception& error) {
        presentError(error, chosen.title());
    }
}

// The volume is told from the path the folder will be decided from, as destinationDirectory
// decides it, but by the path alone: a stat of a path on a share that stopped answering would
// block the click. One selected item: its own volume (a selected mount point is the volume its
// document goes in). Items in one folder: that folder's. Else the target's.
std::string FinderSyncExt::documentVolume(const Place& place) const {
    std::set<URL> known;
    {
        const std::lock_guard lock(volumesLock);
        known = volumesForDocuments;
    }
    const auto selected = selectionFor(place);
    if (selected.size() == 1)
        return volumeHolding(selected.front(), known);
    if (!selected.empty())
        if (auto shared = sharedFolder(selected))
            return volumeHolding(*shared, known);
    return place.target ? volumeHolding(*place.target, known) : "/";
}

// Where the user clicked, from what Finder handed over:
// - targetedURL is "what directory the user is viewing" and selectedItemURLs "what relevant
//   items are selected", for the menu and for the action chosen from it (FinderSync.h). Files
//   right-clicked on the Desktop target the Desktop folder (openradar 42874694). So on a menu on
//   items the folder in view need not be a right-clicked file's own (an expanded subfolder of a
//   list view, a deeper column): the document goes beside or into the selected items.
// - A background menu's selection is only what happens to be selected in the window: there the
//   folder in view.
// - Each copy of the extension runs in its own process, Finder's and one for every Open or Save
//   dialog (App Extension Programming Guide, Finder Sync). An action that reaches a copy which
//   served no menu has no kind to go by; a selection still tells where the user clicked.
std::vector<URL> FinderSyncExt::selectionFor(const Place& place) {
    if (place.shownKind == menuKind::contextualMenuForContainer)
        return {};
    if (place.selected.empty() && place.shownKind == menuKind::contextualMenuForItems)
        return place.menuSelection;
    return place.selected;
}

std::optional<Templates::URL> FinderSyncExt::destinationDirectory(const Place& place) {
    if (const auto selected = selectionFor(place); !selected.empty())
        if (auto folder = folderForSelection(selected))
            return folder;
    if (!place.target)
        return std::nullopt;
    if (fs::isDirectory(*place.target))
        return *place.target;
    return folderOf(*place.target); // a file, or nothing at all
}

// The alert is made where the copy failed, and queued there at once, so that alerts come in the
// order of the failures; the main run loop shows it later (it owns copies of what it shows: the
// error object dies with the job). The block that shows alerts serves whichever alert is first,
// so it carries no request of its own: each alert carries its failure's.
void FinderSyncExt::presentError(const std::exception& error, const std::string& title) {
    Alert alert;
    alert.setAlertStyle(AlertStyle::warning);
    alert.setMessageText(title + " oluşturulamadı");
    alert.setInformativeText(localizedDescription(error));
    alert.addButtonWithTitle("Tamam");
    {
        const std::lock_guard lock(waitingLock);
        waitingAlerts().push_back({std::move(alert), currentJobContext()});
    }
    const ScopedJobContext none(nullptr);
    performOnMainRunLoop(showWaitingAlerts);
}

void FinderSyncExt::openHostApp(Object* sender) {
    (void)sender;
    const URL app = Bundle::main().bundleURL().parent_path().parent_path().parent_path();
    Workspace::sharedWorkspace().openApplicationAtURL(app, OpenConfiguration{});
}

} // namespace lemvora

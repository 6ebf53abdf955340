// The FinderSync framework: the principal class's base and the extension's controller.
#pragma once

#include "platform/AppKit.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform {

// FIMenuKind, a number as Finder passes it (FinderSync.h), with its four values named as there.
using MenuKind = unsigned long;
namespace menuKind {
inline constexpr MenuKind contextualMenuForItems = 0;     // on one or more selected items
inline constexpr MenuKind contextualMenuForContainer = 1; // on the folder in view, its background
inline constexpr MenuKind contextualMenuForSidebar = 2;   // on an item of the sidebar
inline constexpr MenuKind toolbarItemMenu = 3;            // the extension's own toolbar item
} // namespace menuKind

// Base of a Finder Sync extension's principal class.
class FinderSync : public Object {
public:
    // The menu for a kind, or none.
    virtual std::shared_ptr<Menu> menu(MenuKind kind) = 0;
};

class FinderSyncController {
public:
    static FinderSyncController& defaultController();

    void setDirectoryURLs(std::set<URL> urls);
    std::set<URL> directoryURLs() const; // as last set through this object

    // What the current menu (or the action chosen from it) was opened on: Finder gives the
    // folder the user is viewing, and the relevant items selected in it; none of either when
    // they lie outside the extension's directories. So for a menu on items (kind 0) the targeted
    // URL is the folder in view, and the right-clicked item is among the selected ones. On Linux
    // the finder host sets both for each request; on macOS Finder does.
    std::optional<URL> targetedURL() const;
    void setTargetedURL(std::optional<URL> url);
    std::vector<URL> selectedItemURLs() const;
    void setSelectedItemURLs(std::vector<URL> urls);

    // Host application side: whether the user enabled the application's extension, and the
    // system's settings where that is done.
    static bool isExtensionEnabled();
    static void showExtensionManagementInterface();

private:
    std::set<URL> directoryURLs_;
    std::optional<URL> targetedURL_;
    std::vector<URL> selectedItemURLs_;
};

// The folders at which the volumes a user can browse are mounted, "/" among them: on macOS the
// file manager's mounted volumes less the hidden ones (USB sticks, second disks, disk images,
// shares); on Linux every mount of the process's mount table but the kernel's own file systems.
std::vector<URL> mountedVolumeURLs();

// While it lives, calls `changed` each time a volume is mounted, unmounted or renamed, on the
// thread that serves the extension's requests (macOS: the main thread; Linux: between requests),
// with the name of what told the layer so: on macOS the workspace's notification
// ("NSWorkspaceDidMountNotification", …) or the kernel's ("com.apple.system.kernel.mount", …),
// either or both for one event; on Linux "mountinfo". Make and end it on the main thread.
class VolumeObserver {
public:
    using Handler = std::function<void(const std::string& source)>;
    explicit VolumeObserver(Handler changed);
    ~VolumeObserver();
    VolumeObserver(const VolumeObserver&) = delete;
    VolumeObserver& operator=(const VolumeObserver&) = delete;

private:
    int id_;
};

// Calls every VolumeObserver: what the system's layer does when it sees the volumes change.
void volumesChanged(const std::string& source);

// Whether the system started this process as an extension (NSExtensionMain was called). The
// layer touches the system's Finder Sync controller only then: what it does in any other process,
// such as a test program, is nowhere said.
bool startedAsExtension();

namespace testing {
// A test may claim that the system started it as an extension.
void setStartedAsExtension(bool started);
// A test may give mountedVolumeURLs() the volumes it answers with (nothing: the system's again).
void setMountedVolumeURLs(std::optional<std::vector<URL>> volumes);
} // namespace testing

// Principal classes by name, as the runtime knows them: NSExtensionMain makes the one its
// Info.plist declares.
using ClassFactory = std::unique_ptr<FinderSync> (*)();
bool registerPrincipalClass(const char* name, ClassFactory factory);
std::unique_ptr<FinderSync> makePrincipal(const std::string& name);

#define LEMVORA_REGISTER_PRINCIPAL_CLASS(Name, Type)                                               \
    static const bool lemvoraRegistered##Name = ::platform::registerPrincipalClass(                \
        #Name,                                                                                     \
        []() -> std::unique_ptr<::platform::FinderSync> { return std::make_unique<Type>(); })

// The application-extension entry: makes the principal object and serves the host until it
// closes the connection. Returns the process's exit status.
int NSExtensionMain(int argc, char** argv);

} // namespace platform

// The FinderSync framework: the principal class's base and the extension's controller.
#pragma once

#include "platform/AppKit.h"

#include <memory>
#include <optional>
#include <set>
#include <string>

namespace platform {

// FIMenuKind: 0 context menu on selected items, 1 on a folder's background, 2 sidebar,
// 3 toolbar item menu.
using MenuKind = unsigned long;

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

    // The item or folder the current menu was opened on (on Linux the finder host sets it for
    // each request; on macOS Finder does).
    std::optional<URL> targetedURL() const;
    void setTargetedURL(std::optional<URL> url);

    // Host application side: whether the user enabled the application's extension, and the
    // system's settings where that is done.
    static bool isExtensionEnabled();
    static void showExtensionManagementInterface();

private:
    std::set<URL> directoryURLs_;
    std::optional<URL> targetedURL_;
};

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

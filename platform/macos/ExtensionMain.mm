// The extension's entry and principal class on macOS.
#include "Strings.h"
#include "platform/FinderSync.h"

#import <AppKit/AppKit.h>
#import <FinderSync/FinderSync.h>

#include <memory>

extern "C" int NSExtensionMain(int argc, char* argv[]); // Foundation's extension entry

using platform::macos::ns;

namespace platform {
int NSExtensionMain(int argc, char** argv) {
    return ::NSExtensionMain(argc, argv);
}
} // namespace platform

// The principal class, known to the runtime as "FinderSyncExt" (the extension's Info.plist names
// it). It owns the C++ principal object of the same name and hands it every request.
@interface FinderSyncExt : FIFinderSync
@end

@implementation FinderSyncExt {
    std::unique_ptr<platform::FinderSync> _principal;
}

- (instancetype)init {
    self = [super init];
    if (self != nil)
        _principal = platform::makePrincipal("FinderSyncExt");
    return self;
}

// The C++ menu model as an NSMenu whose items send their actions to this object.
- (NSMenu*)makeMenu:(const platform::Menu&)model {
    NSMenu* menu = [[NSMenu alloc] initWithTitle:ns(model.title())];
    for (const auto& item : model.items()) {
        const SEL action = item->action() ? NSSelectorFromString(ns(*item->action())) : nullptr;
        NSMenuItem* entry = [[NSMenuItem alloc] initWithTitle:ns(item->title())
                                                       action:action
                                                keyEquivalent:ns(item->keyEquivalent())];
        if (item->target() != nullptr)
            entry.target = self;
        if (item->submenu())
            entry.submenu = [self makeMenu:*item->submenu()];
        [menu addItem:entry];
    }
    return menu;
}

- (NSMenu*)menuForMenuKind:(FIMenuKind)kind {
    auto model = _principal ? _principal->menu(static_cast<platform::MenuKind>(kind)) : nullptr;
    return model ? [self makeMenu:*model] : nil;
}

- (void)perform:(const char*)selector sender:(id)sender {
    (void)sender;
    if (_principal)
        _principal->perform(selector, nullptr);
}

#define LEMVORA_SLOT(NN)                                                                           \
    -(IBAction)doc##NN : (id)sender {                                                              \
        [self perform:"doc" #NN ":" sender:sender];                                                \
    }
LEMVORA_SLOT(00)
LEMVORA_SLOT(01)
    LEMVORA_SLOT(02) LEMVORA_SLOT(03) LEMVORA_SLOT(04) LEMVORA_SLOT(05) LEMVORA_SLOT(06)
        LEMVORA_SLOT(07) LEMVORA_SLOT(08) LEMVORA_SLOT(09) LEMVORA_SLOT(10) LEMVORA_SLOT(11)
            LEMVORA_SLOT(12) LEMVORA_SLOT(13) LEMVORA_SLOT(14) LEMVORA_SLOT(15) LEMVORA_SLOT(16)
                LEMVORA_SLOT(17) LEMVORA_SLOT(18) LEMVORA_SLOT(19)
#undef LEMVORA_SLOT

    - (IBAction)openHostApp : (id)sender {
    [self perform:"openHostApp:" sender:sender];
}

@end

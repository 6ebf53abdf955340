// The extension's entry and principal class on macOS.
#include "Strings.h"
#include "platform/FinderSync.h"

#import <AppKit/AppKit.h>
#import <FinderSync/FinderSync.h>

#include <memory>

extern "C" int NSExtensionMain(int argc, char* argv[]); // Foundation's extension entry

using platform::macos::ns;

namespace platform {
void markStartedAsExtension(); // the layer's own

int NSExtensionMain(int argc, char** argv) {
    markStartedAsExtension();
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

// The twenty action slots and the empty-folder entry, as real methods of the class: Finder sends
// the chosen item's selector to the principal object.
// clang-format off
- (IBAction)doc00:(id)sender { [self perform:"doc00:" sender:sender]; }
- (IBAction)doc01:(id)sender { [self perform:"doc01:" sender:sender]; }
- (IBAction)doc02:(id)sender { [self perform:"doc02:" sender:sender]; }
- (IBAction)doc03:(id)sender { [self perform:"doc03:" sender:sender]; }
- (IBAction)doc04:(id)sender { [self perform:"doc04:" sender:sender]; }
- (IBAction)doc05:(id)sender { [self perform:"doc05:" sender:sender]; }
- (IBAction)doc06:(id)sender { [self perform:"doc06:" sender:sender]; }
- (IBAction)doc07:(id)sender { [self perform:"doc07:" sender:sender]; }
- (IBAction)doc08:(id)sender { [self perform:"doc08:" sender:sender]; }
- (IBAction)doc09:(id)sender { [self perform:"doc09:" sender:sender]; }
- (IBAction)doc10:(id)sender { [self perform:"doc10:" sender:sender]; }
- (IBAction)doc11:(id)sender { [self perform:"doc11:" sender:sender]; }
- (IBAction)doc12:(id)sender { [self perform:"doc12:" sender:sender]; }
- (IBAction)doc13:(id)sender { [self perform:"doc13:" sender:sender]; }
- (IBAction)doc14:(id)sender { [self perform:"doc14:" sender:sender]; }
- (IBAction)doc15:(id)sender { [self perform:"doc15:" sender:sender]; }
- (IBAction)doc16:(id)sender { [self perform:"doc16:" sender:sender]; }
- (IBAction)doc17:(id)sender { [self perform:"doc17:" sender:sender]; }
- (IBAction)doc18:(id)sender { [self perform:"doc18:" sender:sender]; }
- (IBAction)doc19:(id)sender { [self perform:"doc19:" sender:sender]; }
- (IBAction)openHostApp:(id)sender { [self perform:"openHostApp:" sender:sender]; }
// clang-format on

@end

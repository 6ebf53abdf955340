// What the families of views share on AppKit: the state a view keeps beside its NSView.
#pragma once

#import <AppKit/AppKit.h>

#include "platform/AppKitViews/NSTextField.h"

namespace platform {

struct View::Private {
    NSView* view = nil;
    Font font;
    Color textColor = Color::labelColor();
    double preferredMaxLayoutWidth = 0;
    bool wrapping = false;
    bool fillsAcross = false;
    id helper = nil;      // an Objective-C object the view keeps alive (a table's bridge)
    id savedHeader = nil; // a table's own header view while it is taken away
};

} // namespace platform

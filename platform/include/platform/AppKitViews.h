// The part of AppKit the host application uses: the application and its delegate, a window,
// views laid out by stack views and constraints, labels, buttons, a separator box, a table in a
// scroll view, fonts and colours. Sizes are in points. On Linux these are Qt widgets (one point
// is one device-independent pixel, as on a Mac); on macOS the AppKit classes of the same names.
//
// Each family of views has a header of its own in AppKitViews/, named as AppKit names its own;
// this one brings them all, as <AppKit/AppKit.h> does.
#pragma once

#include "platform/AppKitViews/NSApplication.h"
#include "platform/AppKitViews/NSButton.h"
#include "platform/AppKitViews/NSStackView.h"
#include "platform/AppKitViews/NSTableView.h"
#include "platform/AppKitViews/NSTextField.h"
#include "platform/AppKitViews/NSView.h"
#include "platform/AppKitViews/NSWindow.h"

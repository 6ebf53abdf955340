// What the driver records of the extension's alert while it is up, and never fails on: whether
// the alert has the keyboard, whether Finder's context menu still offers the extension's item,
// and what Return does. Since macOS 14 activation is cooperative: activate "doesn't guarantee
// activation" (NSApplication documentation, activate()), and an application the user has not
// activated, or not for a while, cannot activate itself, its alert drawn inactive and taking no
// keyboard until clicked (open-octo/octo-agent PRs #2432 and #2436). So the alert may float
// without the keyboard, and Return may reach Finder. Each record is one line.
#pragma once

#include "Element.h"

#include <string>

namespace lemvora::driver {

// The alert's window's AXMain and AXFocused, and whether its application's AXFocusedWindow is it:
//   the alert's window: AXMain true, AXFocused false; its application's AXFocusedWindow: the alert
std::string focusRecord(const Element& application, const Element& alertWindow);

// The context menu opened again with the alert up (null: none came), as it showed: whether it
// offers `title`, else its titles; and whether Escape closed it.
std::string menuRecord(const Element* menu, const std::string& title, bool closedByEscape);

// What Return did: whether the alert went, and Finder's state (its front window, selection and
// focused element, as the Mac side reads them) before and after.
std::string returnRecord(bool alertGone, const std::string& finderBefore,
                         const std::string& finderAfter);

} // namespace lemvora::driver

// Menus as the driver meets them: a menu's items by title, an item's submenu, the open context
// menu wherever it hangs, and a menu opened until it offers an item.
#pragma once

#include "Element.h"
#include "Steps.h"

namespace lemvora::driver {

// A menu's own items, in order (separators included: items without a title).
std::vector<ElementPtr> menuItems(const Element& menu);
// The first item of this menu, not of its submenus, with exactly this title; null when none.
ElementPtr findItem(const Element& menu, const std::string& title);
// The menu an item opens; null for an item without a submenu.
ElementPtr submenuOf(const Element& item);
// The titles of a menu's items, a separator as "—".
std::vector<std::string> titlesOf(const Element& menu);
// An open context menu: a menu under the application, under one of its windows, or under an
// element of a window (the list, or the row it was shown on), no more than `depth` levels below
// the application; never one of the menu bar's, nor an item's submenu, nor a pop-up or menu
// button's menu. Where no element lists it as a child, the menu above the application's focused
// element. Null when none is open.
ElementPtr openContextMenu(const Element& application, int depth);
// Deep enough for a menu under an item of a column view's list, eight levels down.
inline constexpr int contextMenuDepth = 9;
// A menu that can be opened and closed again, such as Finder's context menu.
class MenuSource {
public:
    virtual ~MenuSource() = default;
    virtual ElementPtr open() = 0; // null when no menu came
    virtual void close() = 0;
};

struct Found {
    ElementPtr menu, item;
    std::vector<std::string> seen; // the titles of the last menu opened
};
// Opens the menu and looks for the item, for `settle` seconds each time; a menu without it is
// closed and opened again (Finder may leave extensions' items out of a menu's first opening),
// until `limit` seconds have passed. The item is null when it never came.
Found findInMenu(MenuSource& source, Clock& clock, const std::string& title, double limit,
                 double settle);

} // namespace lemvora::driver

#include "Menus.h"

namespace lemvora::driver {

std::vector<ElementPtr> menuItems(const Element& menu) {
    std::vector<ElementPtr> items;
    for (auto& child : menu.children())
        if (child->role() == role::menuItem)
            items.push_back(child);
    return items;
}

ElementPtr findItem(const Element& menu, const std::string& title) {
    for (auto& item : menuItems(menu))
        if (!title.empty() && item->title() == title)
            return item;
    return nullptr;
}

ElementPtr submenuOf(const Element& item) {
    for (auto& child : item.children())
        if (child->role() == role::menu)
            return child;
    return nullptr;
}

std::vector<std::string> titlesOf(const Element& menu) {
    std::vector<std::string> titles;
    for (auto& item : menuItems(menu)) {
        const std::string title = item->title();
        titles.push_back(title.empty() ? "—" : title);
    }
    return titles;
}

namespace {

// The menus that are no context menu hang under these: the menu bar's under its items, submenus
// under menu items, a button's menu under its pop-up or menu button (AXPopUpButton, AXMenuButton:
// AXRoleConstants.h), such as a toolbar button's.
bool holdsOtherMenus(const std::string& kind) {
    return kind == role::menuBar || kind == role::menuBarItem || kind == role::menuItem ||
           kind == role::popUpButton || kind == role::menuButton;
}

ElementPtr contextMenuBelow(const Element& element, int depth) {
    if (depth <= 0)
        return nullptr;
    for (auto& child : element.children()) {
        const std::string kind = child->role();
        if (kind == role::menu)
            return child;
        if (holdsOtherMenus(kind))
            continue;
        if (auto menu = contextMenuBelow(*child, depth - 1))
            return menu;
    }
    return nullptr;
}

// From an open menu's element up to the menu that holds it, past its submenus and their items;
// none when that is the menu bar's or a button's, or when `from` is in no menu.
ElementPtr contextMenuAbove(ElementPtr from, int depth) {
    ElementPtr menu;
    for (; from && depth > 0; --depth, from = from->parent()) {
        const std::string kind = from->role();
        if (kind != role::menuItem && holdsOtherMenus(kind))
            return nullptr;
        if (kind == role::menu)
            menu = from;
        else if (kind != role::menuItem)
            break;
    }
    return menu;
}

} // namespace

ElementPtr openContextMenu(const Element& application, int depth) {
    // AppKit hangs an open context menu under the application, the window, or the element it was
    // shown on (Finder's list view: its outline; its column view: the column's list). The menus
    // that are not open context menus hang under the menu bar's items, under menu items
    // (submenus), and under pop-up and menu buttons: none of those is looked into, nor taken
    // above the focused element. Some applications name a context menu's parent, yet list it
    // among no element's children (pyatom/pyatom#74: a context menu that a tool walking the
    // children never meets): then the focused element, an item of the open menu, or the menu
    // itself, leads up to it.
    if (auto menu = contextMenuBelow(application, depth))
        return menu;
    return contextMenuAbove(application.focused(), 2 * depth);
}

Found findInMenu(MenuSource& source, Clock& clock, const std::string& title, double limit,
                 double settle) {
    Found found;
    const double end = clock.now() + limit;
    do {
        found.menu = source.open();
        if (found.menu) {
            waitFor(clock, settle, 0.25, [&] {
                found.seen = titlesOf(*found.menu);
                found.item = findItem(*found.menu, title);
                return found.item != nullptr;
            });
            if (found.item)
                return found;
            source.close();
        } else {
            clock.pause(std::min(settle, std::max(0.0, end - clock.now())));
        }
    } while (clock.now() < end);
    found.menu = nullptr;
    return found;
}

} // namespace lemvora::driver

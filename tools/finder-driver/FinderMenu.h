// Finder's side of a menu case: the folder's entries as its list names them, its context menu
// opened on the list or a row, and the alert the extension shows.
#pragma once

#include "AXElement.h"
#include "Clicks.h"
#include "FileList.h"
#include "Menus.h"
#include "System.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lemvora::driver {

// An entry of a folder as Finder's list may name it: its name, or the name Finder shows.
EntryName entryNamed(const std::string& path);
// The entries Finder lists of a folder: not those it hides (a name beginning with ".", the
// hidden flag).
std::vector<EntryName> entriesOf(const std::string& folder);

// Windows hold the list (the menu bar's menus hold many more elements): an outline five levels
// down in list view, a browser column's list seven.
inline constexpr int listDepth = 9;
// A dump of the window reaches a column view's names and a menu's submenu hanging under the
// list; a menu's, its submenu's items.
inline constexpr int windowDumpDepth = 9, menuDumpDepth = 4;

// Finder's context menu for the list's background, or for one of its rows: AXShowMenu first,
// and a synthesized right-click when no menu came of it.
class FinderMenu final : public MenuSource {
public:
    // `keep` is handed each menu opened, by its number from 1, to keep as it shows.
    FinderMenu(std::shared_ptr<AXElement> finder, Clock& clock,
               std::function<std::optional<ListFound>()> locate, bool forRow,
               std::function<void(int, const Element&)> keep)
        : finder_(std::move(finder)), clock_(clock), locate_(std::move(locate)), forRow_(forRow),
          keep_(std::move(keep)) {}

    ElementPtr open() override {
        // Found anew each time: Finder may have replaced the elements since.
        const auto found = locate_();
        const ElementPtr target = !found ? nullptr : forRow_ ? found->row : found->list();
        if (!target)
            return nullptr;
        // AXShowMenu may keep the call until the menu closes, or answer an error although the
        // menu opened: a short timeout, and the menu is looked for whatever the answer.
        ax(target).setTimeout(1.5);
        ax(target).performAction(kAXShowMenuAction);
        ElementPtr menu;
        auto menuOpen = [&] {
            return (menu = openContextMenu(*finder_, contextMenuDepth)) != nullptr;
        };
        if (waitFor(clock_, 2, 0.1, menuOpen))
            return opened(menu);
        // On the row, or below the rows: a click elsewhere in the list opens another menu (the
        // header's columns) or a row's; better none, and the step says why.
        const Click click = forRow_ ? rowClick(*found, *target) : backgroundClick(*found);
        if (!click.at)
            throw StepFailure{"AXShowMenu opened no menu, and no right-click: " + click.problem};
        requireFinderInFront("right-clicking the list");
        const CGPoint point = CGPointMake(click.at->x, click.at->y);
        // The pointer goes there first, as a hand's would, and the button stays down a moment.
        postMouse(kCGEventMouseMoved, point, kCGMouseButtonLeft);
        clock_.pause(0.05);
        postMouse(kCGEventRightMouseDown, point, kCGMouseButtonRight);
        clock_.pause(0.05);
        postMouse(kCGEventRightMouseUp, point, kCGMouseButtonRight);
        waitFor(clock_, 2, 0.1, menuOpen);
        return opened(menu);
    }

    // The menu last opened, as it shows now, while it is open.
    void keep() {
        // A menu that closed is gone: its role reads empty.
        if (menu_ && !menu_->role().empty())
            keep_(openings_, *menu_);
    }

    void close() override {
        keep();
        auto closed = [&] {
            return openContextMenu(*finder_, contextMenuDepth) == nullptr;
        };
        if (const auto menu = openContextMenu(*finder_, contextMenuDepth))
            ax(menu).performAction(kAXCancelAction);
        else
            postKey(keyEscape); // a menu open where Accessibility does not show it
        // Escape closes one menu at a time: an open submenu takes one more.
        for (int i = 0; i < 3 && !waitFor(clock_, 0.7, 0.1, closed); ++i)
            postKey(keyEscape);
        waitFor(clock_, 1, 0.1, closed);
    }

private:
    ElementPtr opened(const ElementPtr& menu) {
        if (menu)
            ++openings_;
        return menu_ = menu;
    }

    std::shared_ptr<AXElement> finder_;
    Clock& clock_;
    std::function<std::optional<ListFound>()> locate_;
    bool forRow_;
    std::function<void(int, const Element&)> keep_;
    ElementPtr menu_;
    int openings_ = 0;
};

// The alert the extension shows: a window of one of its processes (or Finder's) with the text
// and the button, and the application it belongs to.
struct Alert {
    ElementPtr application, window, button;
};
std::optional<Alert> findAlert(const std::string& text, const std::string& buttonTitle);

// The alert case's last step: waits for the alert with `text` and "Tamam"; records, never failing
// on them, whether it has the keyboard, whether the context menu opened again where the case
// opened it offers "Yeni Belge" (closed again with Escape), and what Return does (AlertRecord.h),
// each a line "seen: ..." on standard output and, with a dump prefix, in PREFIX.alert.txt; then
// presses "Tamam" if the alert is still up. `finder` and `menuSource` are read when it runs.
Step alertStep(const std::string& text, double timeout, Clock& clock,
               const std::shared_ptr<AXElement>& finder, std::optional<FinderMenu>& menuSource,
               const std::string& dumpPrefix);

} // namespace lemvora::driver

// The list of a folder's files in Finder's window: its rows and their names, the list found by
// the entries it holds, a row of an opened folder, the folder row opened until it lists an item,
// and Finder's answer about what it shows selected.
#pragma once

#include "Element.h"
#include "Steps.h"
#include <functional>

namespace lemvora::driver {

// A folder's entry as a list may name it: its file name, or the name Finder shows (a display name,
// the extension hidden). Both are whole names: "Metin Belgesi" is not "Metin Belgesi 2".
struct EntryName {
    std::string name, shown;
    bool matches(const std::string& rowName) const;
};
// The rows of a list: an outline's or table's rows, or the items of a browser column's list.
std::vector<ElementPtr> rowsOf(const Element& list);
// A row's name: the text field of its first cell, or without cells the row's own; a browser
// column's item's own. Empty for a row whose text is not loaded yet: it matches no entry.
std::string rowName(const Element& row);

struct ListFound {
    std::vector<ElementPtr> path; // from the window down to the list, both included
    ElementPtr row;               // the first wanted entry's row; null with none wanted
    const ElementPtr& window() const { return path.front(); }
    const ElementPtr& list() const { return path.back(); }
};
// The lists of a folder's files in the application's windows: each outline, table or browser
// column whose top-level rows include every entry wanted (the whole folder, as the job made it);
// with none wanted (an empty folder), each list without rows. Found by what they hold, never by
// their place: a Finder window's sidebar is an outline too, met first, and the views'
// descriptions are localized. Every list that qualifies, in the order met, `depth` levels below
// the application at most: the driver takes the only one, and fails naming them where two do
// (a folder whose only entry is named as a sidebar item).
std::vector<ListFound> findList(const Element& application, const std::vector<EntryName>& wanted,
                                int depth);
// The entries that tell the case's list, in the order findList is handed them: the folder's,
// the one whose row the case clicks (its item, or the folder row it opens) first and once. None
// to click (an empty name): as they are.
std::vector<EntryName> clickedFirst(std::vector<EntryName> entries, const EntryName& clicked);
// Where a list is, to name it in a failure: "AXWindow \"Belgeler\" > AXSplitGroup > ...".
std::string placeOf(const ListFound& found);
// The only list found, none when none is; where two are, raises the step's failure naming them.
std::optional<ListFound> onlyList(const std::vector<ListFound>& lists);

// An outline lists the rows of an opened folder as its own rows, after the folder's and one
// level deeper. The row named `item` among those the top-level row `folder` holds: after it and
// before the next row no deeper than it. Null when it is not listed (yet).
ElementPtr rowWithin(const Element& list, const EntryName& folder, const EntryName& item);

struct Expansion {
    ElementPtr row; // the item's row; null when it did not come
    std::string problem;
};
// Opens the list's folder row until it lists the item's row, waiting at most `limit` seconds:
// sets AXDisclosing on the row, then presses its disclosure triangle when the row refuses the
// attribute, or takes it and neither lists the item within `settle` seconds nor says it is open
// (a press would close what is opening). `list` reads the list anew each time.
Expansion expandTo(const std::function<ElementPtr()>& list, const EntryName& folder,
                   const EntryName& item, Clock& clock, double limit, double settle = 3);

// Finder's answer about its front window: the window's folder, then the selected items, a path
// a line (a folder's with a final "/"). Whether `file` is among the selected items and
// in that window, in its folder or in a folder opened inside it (a list view's disclosure).
bool showsSelected(const std::string& finderAnswer, const std::string& file);

// The same, read through Accessibility alone where no Apple event may go to Finder: whether the
// one list holding the folder's entries and `file` (the new file) shows `file`'s row selected
// (its AXSelected), that row at the list's top level.
bool showsSelected(const Element& application, const std::vector<EntryName>& entries,
                   const EntryName& file, int depth);

} // namespace lemvora::driver

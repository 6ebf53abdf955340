// The finder driver's portable core: a small view of an accessibility element, and what the
// driver does with a tree of them (find a menu's item by title, a submenu, the open context menu,
// the host window's texts, rows and buttons), with waits whose clock is handed in, and a tree's
// dump as text. The Mac side (main.mm) implements Element over AXUIElementRef; tests implement
// it over fake trees, some read back from such dumps.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace lemvora::driver {

// The AX role names the core compares with, as AXRoleConstants.h spells them; main.mm checks each
// against the SDK's constant before the first step.
namespace role {
inline constexpr char application[] = "AXApplication";
inline constexpr char window[] = "AXWindow";
inline constexpr char menuBar[] = "AXMenuBar";
inline constexpr char menuBarItem[] = "AXMenuBarItem";
inline constexpr char menu[] = "AXMenu";
inline constexpr char menuItem[] = "AXMenuItem";
inline constexpr char popUpButton[] = "AXPopUpButton";
inline constexpr char menuButton[] = "AXMenuButton";
inline constexpr char button[] = "AXButton";
inline constexpr char staticText[] = "AXStaticText";
inline constexpr char textField[] = "AXTextField";
inline constexpr char scrollArea[] = "AXScrollArea";
inline constexpr char table[] = "AXTable";
inline constexpr char outline[] = "AXOutline";
inline constexpr char row[] = "AXRow";
inline constexpr char cell[] = "AXCell";
inline constexpr char group[] = "AXGroup";
inline constexpr char browser[] = "AXBrowser";
inline constexpr char list[] = "AXList";
inline constexpr char disclosureTriangle[] = "AXDisclosureTriangle";
} // namespace role

// The actions the core performs, as AXActionConstants.h spells them; checked as the role names.
namespace action {
inline constexpr char press[] = "AXPress";
} // namespace action

// Position and size in screen coordinates, the origin top left (as AXPosition and AXSize).
struct Frame {
    double x = 0, y = 0, width = 0, height = 0;
    double bottom() const { return y + height; }
    double right() const { return x + width; }
};

class Element {
public:
    virtual ~Element() = default;
    // Empty (or none) when the element has no such attribute, or is gone.
    virtual std::string role() const = 0;
    virtual std::string title() const = 0;
    virtual std::string value() const = 0; // a text's value, a number's as text; else empty
    virtual std::string subrole() const { return ""; }
    virtual std::string identifier() const { return ""; }
    virtual std::string description() const { return ""; }
    virtual std::optional<Frame> frame() const { return std::nullopt; }
    // An outline row's depth (0 at the top level), and whether it shows the rows it holds.
    virtual std::optional<int> disclosureLevel() const { return std::nullopt; }
    virtual std::optional<bool> disclosing() const { return std::nullopt; }
    virtual std::vector<std::shared_ptr<Element>> children() const = 0;
    // The element this one is a child of; an application's focused element (its focused window's
    // focused view, or an open menu's item). None when there is none, or no such attribute.
    virtual std::shared_ptr<Element> parent() const { return nullptr; }
    virtual std::shared_ptr<Element> focused() const { return nullptr; }
    // Whether the element accepted the action ("AXPress", "AXShowMenu", ...).
    virtual bool perform(const std::string& action) = 0;
    // Whether the row accepted AXDisclosing set to true.
    virtual bool disclose() { return false; }
};
using ElementPtr = std::shared_ptr<Element>;

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
// Depth-first, the first element with this role whose value (or title) is `text`, looking no
// deeper than `depth` levels; with an empty text, the first of that role.
ElementPtr findByRole(const Element& root, const std::string& roleName, const std::string& text,
                      int depth);

// What a dump line holds of an element.
struct Attributes {
    std::string role, subrole, title, value, identifier, description;
    std::optional<Frame> frame;
    std::optional<int> level;
    std::optional<bool> disclosing;
};
Attributes attributesOf(const Element& element);

// A tree as text, to read what an application showed and to paste it back as a test's fake: one
// element a line, indented two spaces a level, `depth` levels below `root` at most, a menu bar
// without its menus. A line is the role ("-" for none), then only the attributes it has:
//   AXRow subrole="AXOutlineRow" frame=60,120,900,20 level=0 disclosing=false
// with subrole=, title=, value=, id= and desc= quoted as C strings (\\, \", \n, \r, \t, \xHH).
void dumpTree(const Element& root, int depth, std::ostream& out);
struct DumpLine {
    int depth = 0;
    Attributes attributes;
};
// A dump's lines back; none when one of them is not a dump's.
std::optional<std::vector<DumpLine>> parseDump(const std::string& text);

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
// Where a list is, to name it in a failure: "AXWindow \"Belgeler\" > AXSplitGroup > ...".
std::string placeOf(const ListFound& found);
// The only list found, none when none is; where two are, raises the step's failure naming them.
std::optional<ListFound> onlyList(const std::vector<ListFound>& lists);

// An outline lists the rows of an opened folder as its own rows, after the folder's and one
// level deeper. The row named `item` among those the top-level row `folder` holds: after it and
// before the next row no deeper than it. Null when it is not listed (yet).
ElementPtr rowWithin(const Element& list, const EntryName& folder, const EntryName& item);

// Where a right-click goes, in screen coordinates; none, with the reason, when nowhere fits.
struct Point {
    double x = 0, y = 0;
};
struct Click {
    std::optional<Point> at;
    std::string problem;
};
// On a row of the list: its middle, where it shows (inside the frames from the window down to
// the list).
Click rowClick(const ListFound& found, const Element& row);
// On the list's background: in the middle of the gap below its last row (and its column header)
// and above the bottom of what shows of the list. None when the rows leave no gap: a click there
// would land on a row, or on the header.
Click backgroundClick(const ListFound& found);

// The time the driver waits by. main.mm's pauses really; the tests' only moves a number on.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() = 0; // seconds
    virtual void pause(double seconds) = 0;
};

// Asks `done` until it answers true or `limit` seconds have passed, pausing `interval` between.
// Asks once more at the limit, so that a slow pause never costs the last look.
bool waitFor(Clock& clock, double limit, double interval, const std::function<bool()>& done);

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

// The host window as the driver reads it: texts (outside the table), the table's rows (each
// row's texts in column order), and the buttons with a title (outside the table and its header).
struct WindowReading {
    std::vector<std::string> texts;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> buttons;
};
WindowReading readWindow(const Element& window);

struct WindowExpectation {
    std::vector<std::string> texts;   // each among the texts, in this order
    std::vector<std::string> titles;  // the first column of the rows, exactly
    std::vector<std::string> buttons; // exactly these, in this order
};
// What differs, one line each; empty when the window is as expected.
std::vector<std::string> compare(const WindowReading& seen, const WindowExpectation& expected);

// Finder's answer about its front window: the window's folder, then the selected items, a path
// a line (a folder's with a final "/"). Whether `file` is among the selected items and
// in that window, in its folder or in a folder opened inside it (a list view's disclosure).
bool showsSelected(const std::string& finderAnswer, const std::string& file);

// A command line's options: "--name value" pairs, a name given again adding a value, and flags
// (names that take no value) with "" as their value. None for anything else.
struct Options {
    std::vector<std::pair<std::string, std::string>> given;
    std::string one(const std::string& name) const;              // the last value, or ""
    std::vector<std::string> all(const std::string& name) const; // every value, in order
    bool has(const std::string& name) const;
};
std::optional<Options> parseOptions(const std::vector<std::string>& args,
                                    const std::vector<std::string>& flags);

// Raised by a step that failed: the one line it says why.
struct StepFailure {
    std::string reason;
};

struct Step {
    std::string name;
    std::function<void()> run; // throws StepFailure
};

// Runs the steps in order, a line each on `log`, and stops at the first that fails with one line
// "FAILED at step <name>: <reason>", followed, when a menu was seen, by its titles. Returns the
// process's exit status: 0, or 1 when a step failed.
int runSteps(const std::vector<Step>& steps, std::ostream& log,
             const std::vector<std::string>& menuSeen);

// The titles joined for a log line: "A | B | —".
std::string joined(const std::vector<std::string>& titles);

} // namespace lemvora::driver

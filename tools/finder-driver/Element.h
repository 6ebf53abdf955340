// The finder driver's portable core, its view of an accessibility element: the role and action
// names it compares with, an element's attributes, children and actions, and finding one by role.
// What the driver does with a tree of them is in the files beside this one (the menus, the file
// list, the clicks, the dumps, the host window, the steps and waits). The Mac side (AXElement.h)
// implements Element over AXUIElementRef; tests implement it over fake trees, some read back from
// the dumps.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lemvora::driver {

// The AX role names the core compares with, as AXRoleConstants.h spells them; AXElement.mm checks
// each against the SDK's constant before the first step.
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

// The boolean attributes the core reads, as AXAttributeConstants.h spells them; checked alike.
namespace attribute {
inline constexpr char main[] = "AXMain";         // a window: its application's main one
inline constexpr char focused[] = "AXFocused";   // the keyboard's focus
inline constexpr char selected[] = "AXSelected"; // a row: among the list's selected ones
} // namespace attribute

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
    // A boolean attribute (attribute::main, ...); none when the element has no such attribute.
    virtual std::optional<bool> flag(const std::string&) const { return std::nullopt; }
    // An application's focused window (AXFocusedWindow); none when it has none.
    virtual std::shared_ptr<Element> focusedWindow() const { return nullptr; }
    // Whether both stand for the same element of the application.
    virtual bool same(const Element& other) const { return this == &other; }
};
using ElementPtr = std::shared_ptr<Element>;

// An element as a line names it: its role, and its title, description or identifier, quoted.
std::string labelOf(const Element& element);

// Depth-first, the first element with this role whose value (or title) is `text`, looking no
// deeper than `depth` levels; with an empty text, the first of that role.
ElementPtr findByRole(const Element& root, const std::string& roleName, const std::string& text,
                      int depth);

} // namespace lemvora::driver

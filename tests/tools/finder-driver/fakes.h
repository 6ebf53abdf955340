// Fake trees for the finder driver's tests, shaped as AppKit's accessibility trees are (Finder's
// window and menus, the Lemvora window), some written as the driver's --dump writes them. The Mac
// side only maps AXUIElementRef onto Element; what it decides is decided over these.
#pragma once

#include "Dump.h"
#include "Element.h"
#include "Steps.h"

#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace lemvora::driver::fakes {

struct Fake : Element {
    Attributes a;
    std::vector<ElementPtr> kids;
    std::vector<std::string> performed;
    std::function<bool()> onDisclose; // none: AXDisclosing cannot be set
    std::function<void()> onPerform;
    std::string role() const override { return a.role; }
    std::string title() const override { return a.title; }
    std::string value() const override { return a.value; }
    std::string subrole() const override { return a.subrole; }
    std::string identifier() const override { return a.identifier; }
    std::string description() const override { return a.description; }
    std::optional<Frame> frame() const override { return a.frame; }
    std::optional<int> disclosureLevel() const override { return a.level; }
    std::optional<bool> disclosing() const override { return a.disclosing; }
    std::vector<ElementPtr> children() const override { return kids; }
    std::weak_ptr<Element> up;
    ElementPtr focus;
    ElementPtr parent() const override { return up.lock(); }
    ElementPtr focused() const override { return focus; }
    bool perform(const std::string& action) override {
        performed.push_back(action);
        if (onPerform)
            onPerform();
        return true;
    }
    bool disclose() override { return onDisclose && onDisclose(); }
    std::map<std::string, bool> flags;
    ElementPtr focusWindow;
    std::optional<bool> flag(const std::string& name) const override {
        const auto at = flags.find(name);
        return at == flags.end() ? std::nullopt : std::optional<bool>(at->second);
    }
    ElementPtr focusedWindow() const override { return focusWindow; }
};

inline std::shared_ptr<Fake> node(std::string kind, std::string name = "",
                                  std::vector<ElementPtr> kids = {}, std::string text = "") {
    auto e = std::make_shared<Fake>();
    e->a.role = std::move(kind);
    e->a.title = std::move(name);
    e->kids = std::move(kids);
    e->a.value = std::move(text);
    return e;
}

// The tree of a dump, such as one a Finder run kept: its first line's element.
inline std::shared_ptr<Fake> fromDump(const std::string& text) {
    const auto lines = parseDump(text);
    if (!lines || lines->empty())
        throw std::invalid_argument("no dump: " + text);
    std::vector<std::shared_ptr<Fake>> open; // the last element at each depth
    for (const auto& line : *lines) {
        auto e = std::make_shared<Fake>();
        e->a = line.attributes;
        if (static_cast<std::size_t>(line.depth) > open.size()) // a level skipped: no parent
            throw std::invalid_argument("a child without a parent: " + text);
        open.resize(static_cast<std::size_t>(line.depth));
        if (!open.empty())
            open.back()->kids.push_back(e);
        open.push_back(e);
    }
    return open.front();
}
inline std::string dumped(const Element& root, int depth = 20) {
    std::ostringstream out;
    dumpTree(root, depth, out);
    return out.str();
}
inline ElementPtr item(std::string name, std::vector<ElementPtr> submenu = {}) {
    if (submenu.empty())
        return node(role::menuItem, std::move(name));
    return node(role::menuItem, std::move(name), {node(role::menu, "", std::move(submenu))});
}
inline ElementPtr separator() {
    return item("");
}
inline ElementPtr text(std::string value) {
    return node(role::staticText, "", {}, std::move(value));
}

// Finder's context menu on a folder's background: its own items, separators, and the
// extension's item last, whose submenu holds an entry titled as an item of the menu above, after
// one whose title begins with it.
inline ElementPtr finderContextMenu() {
    return node(role::menu, "",
                {item("Yeni Klasör"), separator(), item("Metin Belgesi"), item("Bilgi Al"),
                 separator(),
                 item("Yeni Belge", {item("Metin Belgesi 2"), item("Metin Belgesi"), separator(),
                                     item("Markdown Belgesi")})});
}

// Finder with one window on the folder Belgeler in list view, shaped as public scripts and window
// dumps show it (the frames, levels and sidebar rows made up): the sidebar, an outline, in the
// first split group; the list, an outline too, one split group deeper, its header a group; a
// row's name in the text field of its first cell. A dump of a real run can stand in its place.
// The views' descriptions are localized: the tests name the outlines by them, the driver never.
inline constexpr char finderDump[] = R"(AXApplication title="Finder"
  AXMenuBar
    AXMenuBarItem title="Dosya"
  AXWindow subrole="AXStandardWindow" title="Belgeler" id="FinderWindow" frame=60,60,900,600
    AXButton subrole="AXCloseButton" frame=72,74,14,16
    AXSplitGroup frame=60,112,900,548
      AXScrollArea frame=60,112,180,548
        AXOutline desc="sidebar" frame=60,112,180,548
          AXRow subrole="AXOutlineRow" frame=60,120,180,28 level=0
            AXCell
              AXStaticText value="Sık Kullanılanlar"
          AXRow subrole="AXOutlineRow" frame=60,148,180,28 level=1
            AXCell
              AXStaticText value="Belgeler"
          AXRow subrole="AXOutlineRow" frame=60,176,180,28 level=1
            AXCell
              AXStaticText value="Alt"
      AXSplitter
      AXSplitGroup frame=241,112,719,548
        AXScrollArea frame=241,112,719,548
          AXOutline desc="list view" frame=241,112,719,548
            AXGroup frame=241,112,719,24
              AXButton title="Ad"
            AXRow subrole="AXOutlineRow" frame=241,136,719,20 level=0 disclosing=false
              AXCell
                AXDisclosureTriangle value="0"
                AXTextField value="Alt"
              AXCell
                AXStaticText value="Bugün 10:02"
            AXRow subrole="AXOutlineRow" frame=241,156,719,20 level=0
              AXCell
                AXTextField value="Yeni Metin Belgesi 2.txt"
            AXRow subrole="AXOutlineRow" frame=241,176,719,20 level=0
              AXCell
                AXTextField value="Yeni Metin Belgesi"
            AXColumn
    AXToolbar frame=60,60,900,52
)";

// The element described so (as only a test may find it).
inline std::shared_ptr<Fake> described(const Fake& root, const std::string& description) {
    for (auto& kid : root.kids) {
        auto fake = std::static_pointer_cast<Fake>(kid);
        if (fake->description() == description)
            return fake;
        if (auto found = described(*fake, description))
            return found;
    }
    return nullptr;
}
inline std::shared_ptr<Fake> listView(const Fake& app) {
    return described(app, "list view");
}

struct FakeClock : Clock {
    double t = 0;
    int pauses = 0;
    double now() override { return t; }
    void pause(double seconds) override {
        t += seconds;
        ++pauses;
    }
};

} // namespace lemvora::driver::fakes

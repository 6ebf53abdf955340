#include "ElementTree.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

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

ElementPtr findByRole(const Element& root, const std::string& roleName, const std::string& text,
                      int depth) {
    if (depth < 0)
        return nullptr;
    for (auto& child : root.children()) {
        if (child->role() == roleName &&
            (text.empty() || child->value() == text || child->title() == text))
            return child;
        if (auto found = findByRole(*child, roleName, text, depth - 1))
            return found;
    }
    return nullptr;
}

Attributes attributesOf(const Element& element) {
    return {element.role(),  element.subrole(),         element.title(),
            element.value(), element.identifier(),      element.description(),
            element.frame(), element.disclosureLevel(), element.disclosing()};
}

namespace {

std::string escaped(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '\\' || c == '"')
            out += {'\\', static_cast<char>(c)};
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c < 0x20 || c == 0x7f) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    return out + "\"";
}

std::string number(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

void dumpInto(const Element& element, int level, int depth, std::ostream& out) {
    const Attributes a = attributesOf(element);
    out << std::string(2 * level, ' ') << (a.role.empty() ? "-" : a.role);
    const std::pair<const char*, const std::string*> texts[] = {
        {"subrole", &a.subrole}, {"title", &a.title},      {"value", &a.value},
        {"id", &a.identifier},   {"desc", &a.description},
    };
    for (const auto& [key, text] : texts)
        if (!text->empty())
            out << ' ' << key << '=' << escaped(*text);
    if (a.frame)
        out << " frame=" << number(a.frame->x) << ',' << number(a.frame->y) << ','
            << number(a.frame->width) << ',' << number(a.frame->height);
    if (a.level)
        out << " level=" << *a.level;
    if (a.disclosing)
        out << " disclosing=" << (*a.disclosing ? "true" : "false");
    out << '\n';
    // The menu bar's menus are many, and never what a case looks at.
    if (level < depth && a.role != role::menuBar)
        for (auto& child : element.children())
            dumpInto(*child, level + 1, depth, out);
}

// Reads a quoted text at `at`, moving past it; none when it is not one.
std::optional<std::string> unescaped(const std::string& line, std::size_t& at) {
    if (at >= line.size() || line[at] != '"')
        return std::nullopt;
    std::string text;
    for (++at; at < line.size(); ++at) {
        char c = line[at];
        if (c == '"') {
            ++at;
            return text;
        }
        if (c == '\\') {
            if (++at == line.size())
                return std::nullopt;
            c = line[at];
            if (c == 'n')
                c = '\n';
            else if (c == 'r')
                c = '\r';
            else if (c == 't')
                c = '\t';
            else if (c == 'x') {
                if (at + 2 >= line.size() ||
                    !std::isxdigit(static_cast<unsigned char>(line[at + 1])) ||
                    !std::isxdigit(static_cast<unsigned char>(line[at + 2])))
                    return std::nullopt;
                c = static_cast<char>(std::stoi(line.substr(at + 1, 2), nullptr, 16));
                at += 2;
            } else if (c != '\\' && c != '"')
                return std::nullopt;
        }
        text += c;
    }
    return std::nullopt;
}

std::optional<DumpLine> parseLine(const std::string& line) {
    DumpLine parsed;
    std::size_t at = line.find_first_not_of(' ');
    if (at == std::string::npos || at % 2 != 0)
        return std::nullopt;
    parsed.depth = static_cast<int>(at / 2);
    Attributes& a = parsed.attributes;
    auto word = [&] {
        const std::size_t end = std::min(line.find_first_of(" =", at), line.size());
        std::string w = line.substr(at, end - at);
        at = end;
        return w;
    };
    a.role = word();
    if (a.role == "-")
        a.role.clear();
    try {
        while (at < line.size()) {
            if (line[at++] != ' ')
                return std::nullopt;
            const std::string key = word();
            if (at >= line.size() || line[at++] != '=')
                return std::nullopt;
            std::string* text = key == "subrole" ? &a.subrole
                                : key == "title" ? &a.title
                                : key == "value" ? &a.value
                                : key == "id"    ? &a.identifier
                                : key == "desc"  ? &a.description
                                                 : nullptr;
            if (text) {
                const auto value = unescaped(line, at);
                if (!value)
                    return std::nullopt;
                *text = *value;
                continue;
            }
            const std::string value = word();
            if (key == "level") {
                a.level = std::stoi(value);
            } else if (key == "disclosing" && (value == "true" || value == "false")) {
                a.disclosing = value == "true";
            } else if (key == "frame") {
                Frame f;
                char comma1 = 0, comma2 = 0, comma3 = 0;
                std::istringstream in(value);
                if (!(in >> f.x >> comma1 >> f.y >> comma2 >> f.width >> comma3 >> f.height) ||
                    comma1 != ',' || comma2 != ',' || comma3 != ',' || !in.eof())
                    return std::nullopt;
                a.frame = f;
            } else {
                return std::nullopt;
            }
        }
    } catch (const std::exception&) { // stoi on what is no number
        return std::nullopt;
    }
    return parsed;
}

} // namespace

void dumpTree(const Element& root, int depth, std::ostream& out) {
    dumpInto(root, 0, depth, out);
}

std::optional<std::vector<DumpLine>> parseDump(const std::string& text) {
    std::vector<DumpLine> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.find_first_not_of(' ') == std::string::npos)
            continue;
        const auto parsed = parseLine(line);
        // A child is one level below the line before it, at most.
        if (!parsed || parsed->depth > (lines.empty() ? 0 : lines.back().depth + 1))
            return std::nullopt;
        lines.push_back(*parsed);
    }
    return lines;
}

bool EntryName::matches(const std::string& rowName) const {
    return !rowName.empty() && (rowName == name || rowName == shown);
}

std::vector<ElementPtr> rowsOf(const Element& list) {
    auto kids = list.children();
    if (list.role() != role::list)
        std::erase_if(kids, [](const ElementPtr& kid) { return kid->role() != role::row; });
    return kids;
}

std::string rowName(const Element& row) {
    // The first cell, past a folder row's disclosure triangle where that is the row's own child
    // rather than the cell's (public scripts name a file "text field 1 of UI element 1 of row N";
    // no public dump says where the triangle sits). A browser column's item is its own cell, and
    // a row without cells holds its text itself.
    ElementPtr cell;
    if (row.role() == role::row)
        for (auto& kid : row.children())
            if (kid->role() == role::cell) {
                cell = kid;
                break;
            }
    std::string text;
    for (auto& kid : (cell ? *cell : row).children()) {
        const std::string kind = kid->role();
        if (kind == role::textField)
            return kid->value();
        if (kind == role::staticText && text.empty())
            text = kid->value();
    }
    return text;
}

namespace {

// A list's top-level rows holding these entries: the first one's row, or null with none wanted;
// none when one is missing (or, with none wanted, when the list has rows).
std::optional<ElementPtr> holding(const Element& list, const std::vector<EntryName>& wanted) {
    std::vector<std::pair<std::string, ElementPtr>> named;
    for (auto& row : rowsOf(list))
        if (row->disclosureLevel().value_or(0) == 0)
            named.emplace_back(rowName(*row), row);
    if (wanted.empty())
        return named.empty() ? std::optional<ElementPtr>(nullptr) : std::nullopt;
    ElementPtr first;
    for (const auto& entry : wanted) {
        const auto at = std::find_if(named.begin(), named.end(),
                                     [&](const auto& row) { return entry.matches(row.first); });
        if (at == named.end())
            return std::nullopt;
        if (!first)
            first = at->second;
    }
    return first;
}

void findListIn(std::vector<ElementPtr>& path, const std::vector<EntryName>& wanted, int depth,
                bool inBrowser, std::vector<ListFound>& found) {
    const Element& element = *path.back();
    const std::string kind = element.role();
    if (kind == role::outline || kind == role::table || (kind == role::list && inBrowser)) {
        if (auto row = holding(element, wanted))
            found.push_back(ListFound{path, *row});
        return; // a list's rows hold no other list
    }
    if (depth == 0 || kind == role::menuBar || kind == role::menu)
        return;
    for (auto& child : element.children()) {
        path.push_back(child);
        findListIn(path, wanted, depth - 1, inBrowser || kind == role::browser, found);
        path.pop_back();
    }
}

// An element as a failure names it: its role, and its title, description or identifier.
std::string labelOf(const Element& element) {
    std::string name = element.role();
    for (const std::string& text : {element.title(), element.description(), element.identifier()})
        if (!text.empty())
            return name + " \"" + text + "\"";
    return name;
}

} // namespace

std::vector<ListFound> findList(const Element& application, const std::vector<EntryName>& wanted,
                                int depth) {
    std::vector<ListFound> found;
    for (auto& window : application.children())
        if (window->role() == role::window) {
            std::vector<ElementPtr> path{window};
            findListIn(path, wanted, depth - 1, false, found);
        }
    return found;
}

std::string placeOf(const ListFound& found) {
    std::string place;
    for (auto& element : found.path)
        place += (place.empty() ? "" : " > ") + labelOf(*element);
    return place;
}

std::optional<ListFound> onlyList(const std::vector<ListFound>& lists) {
    if (lists.size() > 1) {
        std::vector<std::string> places;
        for (const auto& list : lists)
            places.push_back(placeOf(list));
        throw StepFailure{std::to_string(lists.size()) +
                          " lists hold every entry of the folder, none taken: " + joined(places)};
    }
    if (lists.empty())
        return std::nullopt;
    return lists.front();
}

ElementPtr rowWithin(const Element& list, const EntryName& folder, const EntryName& item) {
    std::optional<int> folderLevel;
    for (auto& row : rowsOf(list)) {
        const int level = row->disclosureLevel().value_or(0);
        if (!folderLevel) {
            if (level == 0 && folder.matches(rowName(*row)))
                folderLevel = level;
        } else if (level <= *folderLevel) {
            return nullptr; // past the folder's rows
        } else if (level == *folderLevel + 1 && item.matches(rowName(*row))) {
            return row;
        }
    }
    return nullptr;
}

Expansion expandTo(const std::function<ElementPtr()>& list, const EntryName& folder,
                   const EntryName& item, Clock& clock, double limit, double settle) {
    const double end = clock.now() + limit;
    Expansion done;
    auto listed = [&] {
        const auto current = list();
        return current && (done.row = rowWithin(*current, folder, item)) != nullptr;
    };
    auto folderRow = [&]() -> ElementPtr {
        if (const auto current = list())
            for (auto& row : rowsOf(*current))
                if (row->disclosureLevel().value_or(0) == 0 && folder.matches(rowName(*row)))
                    return row;
        return nullptr;
    };
    if (listed()) // Finder keeps a folder open in its list from one window to the next
        return done;
    auto row = folderRow();
    if (!row)
        return {nullptr, "no row \"" + folder.name + "\" in the list"};
    if (row->disclose() && waitFor(clock, std::min(settle, limit), 0.25, listed))
        return done;
    row = folderRow();
    if (row && row->disclosing() != true) {
        const auto triangle = findByRole(*row, role::disclosureTriangle, "", 1); // in a cell
        if (!triangle || !triangle->perform(action::press))
            return {nullptr, "the row \"" + folder.name +
                                 "\" takes neither AXDisclosing nor a press of a disclosure "
                                 "triangle"};
    }
    if (waitFor(clock, std::max(0.0, end - clock.now()), 0.25, listed))
        return done;
    return {nullptr, "no row \"" + item.name + "\" in \"" + folder.name + "\" within " +
                         number(limit) + " s"};
}

namespace {

std::optional<Frame> intersection(const Frame& a, const Frame& b) {
    const double x = std::max(a.x, b.x), y = std::max(a.y, b.y);
    const double right = std::min(a.right(), b.right()), bottom = std::min(a.bottom(), b.bottom());
    if (right <= x || bottom <= y)
        return std::nullopt;
    return Frame{x, y, right - x, bottom - y};
}

// What shows of the list: its frame cut to each of its ancestors' frames (the scroll
// area's above all: the list reaches further down than it shows once it holds many rows).
std::optional<Frame> shownArea(const ListFound& found) {
    std::optional<Frame> shown;
    for (auto& element : found.path)
        if (const auto frame = element->frame()) {
            shown = shown ? intersection(*shown, *frame) : frame;
            if (!shown)
                return std::nullopt;
        }
    return shown;
}

} // namespace

Click rowClick(const ListFound& found, const Element& row) {
    const auto shown = shownArea(found);
    const auto frame = row.frame();
    const auto visible = shown && frame ? intersection(*shown, *frame) : std::nullopt;
    if (!visible)
        return {std::nullopt, "the row \"" + rowName(row) + "\" does not show in the list"};
    return {Point{visible->x + visible->width / 2, visible->y + visible->height / 2}, ""};
}

Click backgroundClick(const ListFound& found) {
    const auto shown = shownArea(found);
    if (!shown)
        return {std::nullopt, "the list has no frame on the screen"};
    double top = shown->y;
    for (auto& child : found.list()->children())
        if (child->role() == role::row || child->role() == role::group)
            if (const auto frame = child->frame())
                top = std::max(top, frame->bottom());
    // A few pixels off each edge: a row's or the list's edge is not its background.
    constexpr double least = 8;
    if (shown->bottom() - top < least)
        return {
            std::nullopt,
            "no room below the list's last row to right-click its background: the rows end at y " +
                number(top) + ", the list shows down to " + number(shown->bottom())};
    return {Point{shown->x + shown->width / 2, (top + shown->bottom()) / 2}, ""};
}

bool waitFor(Clock& clock, double limit, double interval, const std::function<bool()>& done) {
    const double end = clock.now() + limit;
    while (clock.now() < end) {
        if (done())
            return true;
        clock.pause(std::min(interval, std::max(0.0, end - clock.now())));
    }
    return done();
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

namespace {

void readInto(const Element& element, WindowReading& reading) {
    for (auto& child : element.children()) {
        const std::string kind = child->role();
        if (kind == role::staticText || kind == role::textField) {
            reading.texts.push_back(child->value());
        } else if (kind == role::button) {
            // The window's close, minimise and zoom buttons have no title.
            if (!child->title().empty())
                reading.buttons.push_back(child->title());
        } else if (kind == role::scrollArea) {
            // The table, and beside it its header's column buttons and the scroll bars: only the
            // rows count.
            for (auto& inScroll : child->children())
                if (inScroll->role() == role::table || inScroll->role() == role::outline)
                    for (auto& row : inScroll->children())
                        if (row->role() == role::row) {
                            WindowReading cells;
                            readInto(*row, cells);
                            reading.rows.push_back(cells.texts);
                        }
        } else {
            readInto(*child, reading);
        }
    }
}

} // namespace

WindowReading readWindow(const Element& window) {
    WindowReading reading;
    readInto(window, reading);
    return reading;
}

std::vector<std::string> compare(const WindowReading& seen, const WindowExpectation& expected) {
    std::vector<std::string> problems;
    auto from = seen.texts.begin();
    for (const auto& text : expected.texts) {
        const auto at = std::find(from, seen.texts.end(), text);
        if (at == seen.texts.end()) {
            problems.push_back("no text \"" + text +
                               "\" (in this order) among: " + joined(seen.texts));
        } else {
            from = at + 1;
        }
    }
    std::vector<std::string> titles;
    for (const auto& row : seen.rows)
        titles.push_back(row.empty() ? "" : row.front());
    if (titles != expected.titles)
        problems.push_back("the table lists " + joined(titles) + ", not " +
                           joined(expected.titles));
    if (seen.buttons != expected.buttons)
        problems.push_back("the buttons are " + joined(seen.buttons) + ", not " +
                           joined(expected.buttons));
    return problems;
}

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n' || c == '\r')
            lines.emplace_back();
        else
            lines.back() += c;
    }
    return lines;
}

std::string withoutFinalSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

bool showsSelected(const std::string& finderAnswer, const std::string& file) {
    const auto lines = linesOf(finderAnswer);
    const std::string window = withoutFinalSlash(lines.front());
    if (window.empty() || window.front() != '/' ||
        file.rfind(window == "/" ? window : window + "/", 0) != 0)
        return false;
    return std::find(lines.begin() + 1, lines.end(), file) != lines.end();
}

std::string Options::one(const std::string& name) const {
    const auto values = all(name);
    return values.empty() ? "" : values.back();
}

std::vector<std::string> Options::all(const std::string& name) const {
    std::vector<std::string> values;
    for (const auto& [key, value] : given)
        if (key == name)
            values.push_back(value);
    return values;
}

bool Options::has(const std::string& name) const {
    return std::any_of(given.begin(), given.end(), [&](const auto& p) { return p.first == name; });
}

std::optional<Options> parseOptions(const std::vector<std::string>& args,
                                    const std::vector<std::string>& flags) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name.rfind("--", 0) != 0 || name.size() == 2)
            return std::nullopt;
        if (std::find(flags.begin(), flags.end(), name) != flags.end())
            options.given.emplace_back(name, "");
        else if (i + 1 < args.size())
            options.given.emplace_back(name, args[++i]);
        else
            return std::nullopt;
    }
    return options;
}

std::string joined(const std::vector<std::string>& titles) {
    if (titles.empty())
        return "(none)";
    std::string line;
    for (const auto& title : titles)
        line += (line.empty() ? "" : " | ") + title;
    return line;
}

int runSteps(const std::vector<Step>& steps, std::ostream& log,
             const std::vector<std::string>& menuSeen) {
    for (const auto& step : steps) {
        try {
            step.run();
        } catch (const StepFailure& failure) {
            log << "FAILED at step " << step.name << ": " << failure.reason;
            if (!menuSeen.empty())
                log << "; menu titles seen: " << joined(menuSeen);
            log << '\n';
            return 1;
        }
        log << "ok: " << step.name << '\n';
    }
    return 0;
}

} // namespace lemvora::driver

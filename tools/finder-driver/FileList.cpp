#include "FileList.h"

#include <algorithm>

namespace lemvora::driver {

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

std::vector<EntryName> clickedFirst(std::vector<EntryName> entries, const EntryName& clicked) {
    if (clicked.name.empty())
        return entries;
    std::erase_if(entries, [&](const EntryName& entry) { return entry.name == clicked.name; });
    entries.insert(entries.begin(), clicked);
    return entries;
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

bool showsSelected(const Element& application, const std::vector<EntryName>& entries,
                   const EntryName& file, int depth) {
    const auto lists = findList(application, clickedFirst(entries, file), depth);
    return lists.size() == 1 && lists.front().row &&
           lists.front().row->flag(attribute::selected).value_or(false);
}

} // namespace lemvora::driver

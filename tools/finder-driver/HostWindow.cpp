#include "HostWindow.h"

#include "Steps.h"

#include <algorithm>

namespace lemvora::driver {

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

} // namespace lemvora::driver

#include "Clicks.h"

#include "Steps.h"

#include <algorithm>

namespace lemvora::driver {

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

} // namespace lemvora::driver

// Where a right-click goes in the file list, should AXShowMenu open no menu.
#pragma once

#include "FileList.h"

namespace lemvora::driver {

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

} // namespace lemvora::driver

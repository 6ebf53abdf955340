// The Lemvora window as the driver reads it, and what it is expected to show.
#pragma once

#include "Element.h"

namespace lemvora::driver {

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

} // namespace lemvora::driver

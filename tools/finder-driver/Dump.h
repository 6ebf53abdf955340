// A tree as text: what the driver keeps of what Finder showed (--dump), and what tests read back
// as fake trees.
#pragma once

#include "Element.h"
#include <ostream>

namespace lemvora::driver {

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

} // namespace lemvora::driver

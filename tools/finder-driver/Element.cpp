#include "Element.h"

namespace lemvora::driver {

std::string labelOf(const Element& element) {
    std::string name = element.role();
    for (const std::string& text : {element.title(), element.description(), element.identifier()})
        if (!text.empty())
            return name + " \"" + text + "\"";
    return name;
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

} // namespace lemvora::driver

#include "Element.h"

namespace lemvora::driver {

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

// Fuzzes the catalogue's name rules with any bytes, checking what must always hold.
#include "Templates.h"

#include "platform/Text.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

bool validUtf8(const std::string& s) { return platform::text::displayable(s) == s; }

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    namespace text = platform::text;

    // The file name is the name without a prefix: a suffix of it.
    const std::string fileName = Templates::strippedOrderPrefix(name);
    check(name.size() >= fileName.size() &&
          name.compare(name.size() - fileName.size(), std::string::npos, fileName) == 0);
    check(!fileName.empty() || name.empty());

    // The title is never empty for a non-empty name, and is part of the file name.
    const std::string title = Templates::menuTitle(fileName);
    check(!title.empty() || fileName.empty());
    check(fileName.find(title) != std::string::npos);

    // The split puts the name back together.
    const std::string base = text::stringByDeletingPathExtension(name);
    const std::string extension = text::pathExtension(name);
    check(extension.empty() ? base == name : base + "." + extension == name);

    // Display text is valid UTF-8, and valid text is left alone.
    const std::string shown = text::displayable(name);
    check(validUtf8(shown));
    check(!validUtf8(name) || shown == name);
    check(text::canonicalKey(shown) == text::canonicalKey(text::canonicalKey(shown)));

    text::FinderOrder order;
    check(order.compare(name, name) == 0);
    check((order.compare(name, fileName) < 0) == (order.compare(fileName, name) > 0));
    return 0;
}

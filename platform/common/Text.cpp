// The text rules that are the same on every system.
#include "platform/Text.h"

namespace platform::text {

std::string& orderLocaleOverride() {
    static std::string locale;
    return locale;
}

void testing::setOrderLocale(std::string locale) {
    orderLocaleOverride() = std::move(locale);
}

namespace {

// The order of a's and b's UTF-16 code units; 0 when they are the same or either is not UTF-8.
// UTF-16 orders code points as their values do, except that the ones above U+FFFF (surrogate
// pairs, from 0xD800) come before U+E000 to U+FFFF.
int compareUtf16(std::string_view a, std::string_view b) {
    if (displayable(a) != a || displayable(b) != b)
        return 0;
    auto unitOrder = [](std::string_view s, std::size_t& i) {
        const auto lead = static_cast<unsigned char>(s[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k)
            c = c << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += length;
        return c >= 0xE000 && c <= 0xFFFF ? c + 0x110000 : c;
    };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = unitOrder(a, i), y = unitOrder(b, j);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return i < a.size() ? 1 : (j < b.size() ? -1 : 0);
}

} // namespace

int tieBreak(std::string_view a, std::string_view b) {
    // The name whose digit runs are shorter comes first ("1 Not" before "01 Not"), run by run.
    auto isDigit = [](char c) {
        return c >= '0' && c <= '9';
    };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        std::size_t runA = 0, runB = 0;
        while (i + runA < a.size() && isDigit(a[i + runA]))
            ++runA;
        while (j + runB < b.size() && isDigit(b[j + runB]))
            ++runB;
        if (runA != runB)
            return runA < runB ? -1 : 1;
        i += runA == 0 ? 1 : runA;
        j += runB == 0 ? 1 : runB;
    }
    // Then the UTF-16 code units, as CoreFoundation compares last, then the bytes.
    if (const int r = compareUtf16(a, b))
        return r;
    const int r = a.compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

std::string displayable(std::string_view s) {
    // Well-formed UTF-8 stays; every other byte becomes one U+FFFD of its own.
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t length = c < 0x80         ? 1
                                   : (c >> 5) == 6  ? 2
                                   : (c >> 4) == 14 ? 3
                                   : (c >> 3) == 30 ? 4
                                                    : 0;
        bool ok = length != 0 && i + length <= s.size();
        for (std::size_t k = 1; ok && k < length; ++k)
            ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        if (ok && length > 1) {
            // No overlong forms, no surrogates, nothing beyond U+10FFFF.
            const auto c1 = static_cast<unsigned char>(s[i + 1]);
            ok = c >= 0xC2 && c <= 0xF4 && !(c == 0xE0 && c1 < 0xA0) &&
                 !(c == 0xED && c1 >= 0xA0) && !(c == 0xF0 && c1 < 0x90) &&
                 !(c == 0xF4 && c1 >= 0x90);
        }
        if (ok) {
            out.append(s.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

} // namespace platform::text

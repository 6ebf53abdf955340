// Text rules on Foundation: Finder's own comparison, canonical mapping, regular expressions and
// the path-extension rules of NSString.
#include "platform/Text.h"

#include "Strings.h"

#import <Foundation/Foundation.h>

namespace platform::text {

using macos::utf8;

namespace {

NSString* ns(std::string_view s) {
    NSString* string = [[NSString alloc] initWithBytes:s.data()
                                                length:s.size()
                                              encoding:NSUTF8StringEncoding];
    // File names on macOS are UTF-8; anything else is shown with replacement characters.
    return string != nil ? string : [NSString stringWithUTF8String:displayable(s).c_str()];
}

// Bytes of UTF-8 in the first `units` UTF-16 units of s.
std::size_t utf8Length(NSString* s, NSUInteger units) {
    return [[s substringToIndex:units] lengthOfBytesUsingEncoding:NSUTF8StringEncoding];
}

} // namespace

struct FinderOrder::Impl {
    std::string locale;
};

FinderOrder::FinderOrder() : impl_(std::make_shared<Impl>()) {
    impl_->locale = utf8(NSLocale.currentLocale.localeIdentifier);
}

FinderOrder::~FinderOrder() = default;

int FinderOrder::compare(std::string_view a, std::string_view b) const {
    @autoreleasepool {
        // The comparison Finder sorts file names by, in the user's current locale.
        const NSComparisonResult r = [ns(a) localizedStandardCompare:ns(b)];
        return r == NSOrderedAscending ? -1 : (r == NSOrderedDescending ? 1 : 0);
    }
}

const std::string& FinderOrder::localeName() const {
    return impl_->locale;
}

std::string canonicalKey(std::string_view s) {
    @autoreleasepool {
        return utf8(ns(s).precomposedStringWithCanonicalMapping);
    }
}

std::size_t orderPrefixLength(std::string_view s) {
    @autoreleasepool {
        NSString* string = ns(s);
        const NSRange match = [string rangeOfString:@"^\\d+[ _.-]+"
                                            options:NSRegularExpressionSearch];
        return match.location == NSNotFound ? 0 : utf8Length(string, NSMaxRange(match));
    }
}

std::size_t caseInsensitivePrefixLength(std::string_view s, std::string_view needle) {
    @autoreleasepool {
        // The Turkish capital dotted I counts as an I (one UTF-16 unit for one).
        NSString* string = ns(s);
        NSString* folded = [string stringByReplacingOccurrencesOfString:@"\u0130" withString:@"I"];
        const NSRange match = [folded rangeOfString:ns(needle)
                                            options:NSCaseInsensitiveSearch | NSAnchoredSearch];
        return match.location == NSNotFound ? 0 : utf8Length(string, NSMaxRange(match));
    }
}

std::string stringByDeletingPathExtension(std::string_view name) {
    @autoreleasepool {
        return utf8(ns(name).stringByDeletingPathExtension);
    }
}

std::string pathExtension(std::string_view name) {
    @autoreleasepool {
        return utf8(ns(name).pathExtension);
    }
}

std::string displayable(std::string_view s) {
    // Well-formed UTF-8 stays; each other byte becomes U+FFFD.
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t length = c < 0x80         ? 1
                             : (c >> 5) == 6  ? 2
                             : (c >> 4) == 14 ? 3
                             : (c >> 3) == 30 ? 4
                                              : 0;
        bool ok = length != 0 && i + length <= s.size();
        for (std::size_t k = 1; ok && k < length; ++k)
            ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        if (ok && length > 1) {
            const auto c1 = static_cast<unsigned char>(s[i + 1]);
            ok = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0) &&
                 !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90) && c <= 0xF4 && c >= 0xC2;
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

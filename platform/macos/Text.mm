// Text rules on Foundation: Finder's own comparison, canonical mapping, regular expressions and
// the path-extension rules of NSString.
#include "platform/Text.h"

#include "Strings.h"

#include <algorithm>

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

std::string& orderLocaleOverride(); // a test's (common/Text.cpp)

struct FinderOrder::Impl {
    std::string locale;
    NSLocale* chosen = nil; // a test's locale; nil: the user's current one
};

FinderOrder::FinderOrder() : impl_(std::make_shared<Impl>()) {
    if (const std::string& posix = orderLocaleOverride(); !posix.empty()) {
        impl_->locale = posix.substr(0, posix.find_first_of(".@"));
        impl_->chosen = [NSLocale localeWithLocaleIdentifier:ns(impl_->locale)];
    } else {
        impl_->locale = utf8(NSLocale.currentLocale.localeIdentifier);
    }
}

FinderOrder::~FinderOrder() = default;

int FinderOrder::compare(std::string_view a, std::string_view b) const {
    @autoreleasepool {
        // The comparison Finder sorts file names by, in the user's current locale; in a locale a
        // test chose, the same comparison spelled out (as its documentation gives it).
        NSString* first = ns(a);
        const NSComparisonResult r =
            impl_->chosen == nil ? [first localizedStandardCompare:ns(b)]
                                 : [first compare:ns(b)
                                          options:NSCaseInsensitiveSearch | NSNumericSearch |
                                                  NSWidthInsensitiveSearch | NSForcedOrderingSearch
                                            range:NSMakeRange(0, first.length)
                                           locale:impl_->chosen];
        return r == NSOrderedAscending ? -1 : (r == NSOrderedDescending ? 1 : tieBreak(a, b));
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
        // The Turkish capital dotted I counts as an I. Both steps compare UTF-16 units literally,
        // so the folded string has the original's length and a match in it measures the original
        // too; a decomposed "I\u0307" stays two units and is not followed by the blank.
        NSString* string = ns(s);
        NSString* folded =
            [string stringByReplacingOccurrencesOfString:@"\u0130"
                                              withString:@"I"
                                                 options:NSLiteralSearch
                                                   range:NSMakeRange(0, string.length)];
        const NSRange match =
            [folded rangeOfString:ns(needle)
                          options:NSCaseInsensitiveSearch | NSAnchoredSearch | NSLiteralSearch];
        return match.location == NSNotFound ? 0 : utf8Length(string, NSMaxRange(match));
    }
}

namespace {
// Where NSString splits the extension off a name that is not UTF-8 (the byte offset of its dot,
// or npos): where it splits the name's displayable form. The split comes first, on the name's
// own bytes, as on Linux; bad bytes are replaced only when the title is shown. Replacing keeps
// every '.' and their order, so the n-th dot of one is the n-th dot of the other.
std::size_t extensionDotOfBytes(std::string_view name) {
    const std::string shown = displayable(name);
    const std::string base = utf8(ns(shown).stringByDeletingPathExtension);
    if (base.size() >= shown.size())
        return std::string_view::npos;
    auto dot = name.find('.');
    for (auto n = std::count(base.begin(), base.end(), '.'); n > 0 && dot != name.npos; --n)
        dot = name.find('.', dot + 1);
    return dot;
}
} // namespace

std::string stringByDeletingPathExtension(std::string_view name) {
    @autoreleasepool {
        if (displayable(name) == name)
            return utf8(ns(name).stringByDeletingPathExtension);
        return std::string(name.substr(0, extensionDotOfBytes(name)));
    }
}

std::string pathExtension(std::string_view name) {
    @autoreleasepool {
        if (displayable(name) == name)
            return utf8(ns(name).pathExtension);
        const auto dot = extensionDotOfBytes(name);
        return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
    }
}

} // namespace platform::text

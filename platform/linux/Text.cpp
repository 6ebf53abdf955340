// Text rules on ICU.
#include "platform/Text.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace platform::text {

std::string& orderLocaleOverride(); // a test's (common/Text.cpp)

namespace {

// The POSIX locale name in effect for collation (a test's, else the environment's), reduced to
// what ICU understands: "tr_TR.UTF-8@euro" gives "tr_TR"; "C" and "POSIX" give "" (ICU's root
// order).
std::string collationLocale() {
    std::string locale = orderLocaleOverride();
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(name);
        if (locale.empty() && value != nullptr)
            locale = value;
    }
    locale = locale.substr(0, locale.find_first_of(".@"));
    return locale == "C" || locale == "POSIX" ? std::string() : locale;
}

// One code point of s at i (advancing i); a negative value for a byte that is not well-formed.
// (ICU's macro narrows ints on purpose; its conversions are checked there.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wconversion"
UChar32 next(std::string_view s, std::size_t& i) {
    UChar32 c;
    int32_t pos = static_cast<int32_t>(i);
    U8_NEXT(s.data(), pos, static_cast<int32_t>(s.size()), c);
    i = static_cast<std::size_t>(pos);
    return c;
}
#pragma GCC diagnostic pop

} // namespace

// Finder order as CoreFoundation's comparison behind localizedStandardCompare: makes it
// (case-insensitive, numeric, width-insensitive, forced ordering, the locale's collation):
// 1. the names compare by their letters and accents, digit runs by value;
// 2. names equal so far are told apart by the first tie met in the string: two digit runs of one
//    value but different lengths (the shorter first), or a piece between them that differs in
//    letter case or width (ICU at tertiary strength with the case level: lowercase first);
// 3. last, the UTF-16 code units (tieBreak).
struct FinderOrder::Impl {
    std::string locale;
    UCollator* collator = nullptr; // step 1
    UCollator* ties = nullptr;     // step 2
    ~Impl() {
        for (UCollator* c : {collator, ties})
            if (c != nullptr)
                ucol_close(c);
    }
};

namespace {

UCollator* openCollator(const std::string& locale, UColAttributeValue strength) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(locale.c_str(), &status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        collator = ucol_open("", &status);
    }
    ucol_setAttribute(collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    ucol_setAttribute(collator, UCOL_STRENGTH, strength, &status);
    ucol_setAttribute(collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    if (strength == UCOL_TERTIARY)
        ucol_setAttribute(collator, UCOL_CASE_LEVEL, UCOL_ON, &status);
    return collator;
}

// -1, 0 or 1 as the collator has it; 0 where it cannot tell.
int collate(UCollator* collator, std::string_view a, std::string_view b) {
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r = ucol_strcollUTF8(collator, a.data(), static_cast<int32_t>(a.size()),
                                                b.data(), static_cast<int32_t>(b.size()), &status);
    return U_FAILURE(status) ? 0 : (r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0));
}

// A name cut into its runs of decimal digits and the pieces between them; `length` counts the
// code points of a run.
struct Piece {
    std::string_view text;
    bool digits;
    std::size_t length;
};
std::vector<Piece> pieces(std::string_view s) {
    std::vector<Piece> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t at = i;
        const UChar32 c = next(s, i);
        const bool digit = c >= 0 && u_charType(c) == U_DECIMAL_DIGIT_NUMBER;
        if (out.empty() || out.back().digits != digit) {
            start = at;
            out.push_back({{}, digit, 0});
        }
        out.back().text = s.substr(start, i - start);
        ++out.back().length;
    }
    return out;
}

} // namespace

FinderOrder::FinderOrder() {
    // Opening a collator costs far more than a whole scan of a small folder, so each thread keeps
    // the one it made last and reuses it while the locale stays the same.
    thread_local std::shared_ptr<Impl> cached;
    std::string locale = collationLocale();
    if (cached && cached->locale == locale) {
        impl_ = cached;
        return;
    }
    auto impl = std::make_shared<Impl>();
    impl->locale = locale;
    impl->collator = openCollator(locale, UCOL_SECONDARY);
    impl->ties = openCollator(locale, UCOL_TERTIARY);
    impl_ = impl;
    cached = impl;
}

FinderOrder::~FinderOrder() = default;

int FinderOrder::compare(std::string_view a, std::string_view b) const {
    if (const int r = collate(impl_->collator, a, b))
        return r;
    const auto first = pieces(a), second = pieces(b);
    for (std::size_t i = 0; i < first.size() && i < second.size(); ++i) {
        const Piece &x = first[i], &y = second[i];
        if (x.digits != y.digits)
            break;
        if (x.digits && x.length != y.length)
            return x.length < y.length ? -1 : 1;
        if (!x.digits)
            if (const int r = collate(impl_->ties, x.text, y.text))
                return r;
    }
    return tieBreak(a, b);
}

const std::string& FinderOrder::localeName() const {
    return impl_->locale;
}

std::string canonicalKey(std::string_view s) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    icu::UnicodeString text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
    icu::UnicodeString normalized = nfc->normalize(text, status);
    std::string out;
    if (U_FAILURE(status))
        return std::string(s);
    normalized.toUTF8String(out);
    return out;
}

std::size_t orderPrefixLength(std::string_view s) {
    std::size_t i = 0;
    std::size_t digitsEnd = 0;
    while (i < s.size()) {
        std::size_t at = i;
        UChar32 c = next(s, i);
        if (c < 0 || u_charType(c) != U_DECIMAL_DIGIT_NUMBER) {
            i = at;
            break;
        }
        digitsEnd = i;
    }
    if (digitsEnd == 0)
        return 0;
    std::size_t end = digitsEnd;
    while (end < s.size() && (s[end] == ' ' || s[end] == '_' || s[end] == '.' || s[end] == '-'))
        ++end;
    return end == digitsEnd ? 0 : end;
}

std::size_t caseInsensitivePrefixLength(std::string_view s, std::string_view needle) {
    std::size_t i = 0;
    for (char wanted : needle) {
        if (i >= s.size())
            return 0;
        UChar32 c = next(s, i);
        if (c < 0)
            return 0;
        UChar32 folded = c == 0x0130 ? U'i' : u_foldCase(c, U_FOLD_CASE_DEFAULT);
        if (folded != static_cast<unsigned char>(wanted))
            return 0;
    }
    return i;
}

namespace {
// Position of the dot that starts the extension, or npos.
std::size_t extensionDot(std::string_view name) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size())
        return std::string_view::npos;
    return dot;
}
} // namespace

std::string stringByDeletingPathExtension(std::string_view name) {
    std::size_t dot = extensionDot(name);
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string pathExtension(std::string_view name) {
    std::size_t dot = extensionDot(name);
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

} // namespace platform::text

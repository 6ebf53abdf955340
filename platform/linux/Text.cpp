// Text rules on ICU.
#include "platform/Text.h"

#include <cstdlib>
#include <string>

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

struct FinderOrder::Impl {
    std::string locale;
    UCollator* collator = nullptr;
    ~Impl() {
        if (collator != nullptr)
            ucol_close(collator);
    }
};

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
    UErrorCode status = U_ZERO_ERROR;
    impl->collator = ucol_open(locale.c_str(), &status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        impl->collator = ucol_open("", &status);
    }
    // Numbers by value; tertiary strength keeps letter case as the last tie-breaker only.
    ucol_setAttribute(impl->collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    ucol_setAttribute(impl->collator, UCOL_STRENGTH, UCOL_TERTIARY, &status);
    ucol_setAttribute(impl->collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    impl_ = impl;
    cached = impl;
}

FinderOrder::~FinderOrder() = default;

int FinderOrder::compare(std::string_view a, std::string_view b) const {
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult r = ucol_strcollUTF8(impl_->collator, a.data(), static_cast<int32_t>(a.size()),
                                          b.data(), static_cast<int32_t>(b.size()), &status);
    if (U_FAILURE(status))
        return tieBreak(a, b);
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : tieBreak(a, b));
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

// Text rules the catalogue needs, the way the platform's file manager and string services
// apply them. Strings are UTF-8 byte strings; on Linux a file name may hold bytes that are not
// UTF-8, and every rule here accepts them without failing (a bad byte counts as one character
// that is neither a digit nor a letter).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace platform::text {

// Finder order: how Finder sorts file names in the user's current locale. Digit runs compare by
// numeric value and letter case only breaks ties. The locale is taken when the object is made:
// on macOS the user's current locale (NSLocale.currentLocale, from the user's settings), on Linux
// LC_ALL, LC_COLLATE or LANG (the first that is set and not empty); or the one a test set with
// testing::setOrderLocale.
class FinderOrder {
public:
    FinderOrder();
    ~FinderOrder();
    FinderOrder(const FinderOrder&) = delete;
    FinderOrder& operator=(const FinderOrder&) = delete;

    // Negative when a sorts before b, positive when after; zero only for equal byte strings, as
    // Finder never calls two different names equal.
    int compare(std::string_view a, std::string_view b) const;

    // The locale the order was made for, as taken from the environment ("" for the root order).
    const std::string& localeName() const;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

namespace testing {
// The locale Finder order follows from now on, as a POSIX name ("tr_TR.UTF-8", "en_US"), on every
// system; "" returns it to the user's.
void setOrderLocale(std::string locale);
} // namespace testing

// How Finder order separates two names that the platform's comparison calls equal ("01 Not" and
// "1 Not", or the composed and decomposed spellings of one name), so that the order never
// depends on the order a folder lists them in: shorter runs of digits first (fewer leading
// zeros), then by UTF-16 code units (as CoreFoundation's last step), then by bytes. Zero only
// for equal byte strings.
int tieBreak(std::string_view a, std::string_view b);

// The NFC form of s: two strings are canonically equal exactly when their keys are equal.
std::string canonicalKey(std::string_view s);

// Length in bytes of the match of "^\d+[ _.-]+" at the start of s, 0 when there is none.
// '\d' is any Unicode decimal digit; both runs are greedy.
std::size_t orderPrefixLength(std::string_view s);

// Case-insensitive anchored search: when s starts with needle (ASCII, lower case) in any letter
// case, the length in bytes of the matched part of s, else 0. The Turkish capital dotted I
// (U+0130) counts as a case variant of 'i'.
std::size_t caseInsensitivePrefixLength(std::string_view s, std::string_view needle);

// Path-extension split of one file name: the extension is what follows the last '.', the base
// what precedes it. A name without '.', or whose only usable '.' is its first or last character
// (".profile", "Notlar."), has no extension and is all base.
std::string stringByDeletingPathExtension(std::string_view name);
std::string pathExtension(std::string_view name);

// s as valid UTF-8, each byte that is not part of a well-formed sequence replaced by a U+FFFD of
// its own: "a\xE2\x82x" gives "a\uFFFD\uFFFDx". The same rule on every system.
std::string displayable(std::string_view s);

} // namespace platform::text

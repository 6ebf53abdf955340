#include "Templates.h"

#include "platform/Bundle.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdint>
#include <map>

#include <pwd.h>
#include <unistd.h>

namespace Templates {

namespace fs = platform::fs;
namespace text = platform::text;

URL directory() {
    URL home;
    // getpwuid's entry is static storage: copy the home out before anything else runs.
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        home = URL(entry->pw_dir);
    else
        home = fs::homeDirectoryForCurrentUser();
    return home / "Library/Application Support/Lemvora/Şablonlar/";
}

std::string strippedOrderPrefix(std::string_view name) {
    const std::size_t prefix = text::orderPrefixLength(name);
    if (prefix == 0 || prefix == name.size())
        return std::string(name);
    return std::string(name.substr(prefix));
}

std::string menuTitle(std::string_view fileName) {
    std::string base = text::stringByDeletingPathExtension(fileName);
    if (std::size_t matched = text::caseInsensitivePrefixLength(base, "yeni ");
        matched != 0 && matched < base.size())
        base.erase(0, matched);
    return base.empty() ? std::string(fileName) : base;
}

namespace {

// The first maxItems names of a listing in Finder order, kept sorted while the listing streams
// by, so that a folder of any size costs one comparison per name beyond the first few: ordering
// every name only to drop all but twenty would be wasted work. Equal names keep listing order.
class FirstInFinderOrder {
public:
    void offer(std::string_view name) {
        if (kept_.size() == maxItems) {
            if (order_.compare(name, kept_.back()) >= 0)
                return;
            // The last one makes room; the new name sorts before it, so its place is unchanged.
            kept_.pop_back();
        }
        auto at = std::upper_bound(
            kept_.begin(), kept_.end(), name,
            [this](std::string_view n, const std::string& k) { return order_.compare(n, k) < 0; });
        kept_.emplace(at, name);
    }
    std::vector<std::string>& names() { return kept_; }

private:
    text::FinderOrder order_;
    std::vector<std::string> kept_;
};

} // namespace

std::vector<Template> load() {
    const URL folder = directory();
    FirstInFinderOrder first;
    if (!fs::forEachVisibleRegularFile(folder, [&](std::string_view name) { first.offer(name); }))
        return {};

    std::vector<Template> records;
    records.reserve(first.names().size());
    std::map<std::string, int> titleCounts;
    for (std::string& name : first.names()) {
        std::string fileName = strippedOrderPrefix(name);
        std::string title = text::displayable(menuTitle(fileName));
        ++titleCounts[text::canonicalKey(title)];
        records.push_back(Template(folder / name, std::move(title), std::move(fileName)));
    }
    // One pass: titles made here are not counted again.
    for (Template& record : records) {
        if (titleCounts[text::canonicalKey(record.title())] < 2)
            continue;
        const std::string extension = text::pathExtension(record.fileName());
        if (!extension.empty())
            record =
                Template(record.url(), record.title() + " (" + text::displayable(extension) + ")",
                         record.fileName());
    }
    return records;
}

bool seedIfNeeded(const platform::Bundle& from) {
    // A link that leads nowhere counts as no folder: creating the folder then fails, and the caller
    // learns why the menu stays empty. Nothing is created through the link.
    if (fs::fileExistsAtPath(directory()))
        return false;
    fs::createDirectories(directory());
    for (const Default& row : defaults) {
        const URL target = directory() / row.name;
        if (!row.bundled) {
            fs::createEmptyFile(target);
            continue;
        }
        auto resource = from.urlForResource(*row.bundled, "Templates");
        if (!resource)
            resource = from.urlForResource(*row.bundled);
        if (!resource)
            continue;
        try {
            fs::copyFileExclusive(*resource, target);
        } catch (const std::filesystem::filesystem_error&) {
            // A starter file is best effort: the other rows still go in.
        }
    }
    return true;
}

URL create(const Template& templ, const URL& in) {
    const std::string base = text::stringByDeletingPathExtension(templ.fileName());
    const std::string extension = text::pathExtension(templ.fileName());
    // Candidates are built as plain strings: a path object per probe would cost more than the
    // probe itself when many numbers are taken.
    std::string candidate = in.native();
    if (!candidate.empty() && candidate.back() != '/')
        candidate += '/';
    const std::size_t folderLength = candidate.size();
    candidate += templ.fileName();
    for (std::int64_t counter = 2; fs::entryExists(candidate.c_str()); ++counter) {
        candidate.resize(folderLength);
        candidate.append(base).append(" ").append(std::to_string(counter));
        if (!extension.empty())
            candidate.append(".").append(extension);
    }
    fs::copyFileExclusive(templ.url(), candidate);
    return candidate;
}

} // namespace Templates

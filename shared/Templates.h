// The template catalogue shared by the host application and the Finder extension: where the
// templates live, what one entry is, how the folder becomes the ordered menu, the starter set, and
// how a new document is made from a template.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class Bundle;
}

namespace Templates {

using URL = std::filesystem::path;

// Largest number of catalogue entries; equals the extension's number of action slots.
inline constexpr std::size_t maxItems = 20;

// One catalogue entry. Immutable; made only by load().
class Template {
public:
    const URL& url() const { return url_; }                   // the template file itself
    const std::string& title() const { return title_; }       // the menu text (valid UTF-8)
    const std::string& fileName() const { return fileName_; } // the new document's name

private:
    Template(URL url, std::string title, std::string fileName)
        : url_(std::move(url)), title_(std::move(title)), fileName_(std::move(fileName)) {}
    friend std::vector<Template> load();

    URL url_;
    std::string title_;
    std::string fileName_;
};

// The template folder "<home>/Library/Application Support/Lemvora/Şablonlar/", with the home taken
// from the user database. Computed anew at every call; the folder may not exist.
URL directory();

// The name without its leading order number and separators ("10 Not.txt" gives "Not.txt").
std::string strippedOrderPrefix(std::string_view name);

// The display title of a name whose order prefix is already removed ("Yeni Not.txt" gives "Not").
std::string menuTitle(std::string_view fileName);

// The catalogue: at most maxItems entries in Finder order of the whole file names. Never fails:
// a missing or unreadable folder gives an empty list.
std::vector<Template> load();

// One row of the starter set.
struct Default {
    std::string_view name;                   // file name in the template folder
    std::optional<std::string_view> bundled; // resource copied into it; empty file when absent
};

inline constexpr std::array<Default, 5> defaults{{
    {"10 Yeni Metin Belgesi.txt", std::nullopt},
    {"20 Yeni Markdown Belgesi.md", std::nullopt},
    {"30 Yeni Word Belgesi.docx", "bos.docx"},
    {"40 Yeni Excel Çalışma Kitabı.xlsx", "bos.xlsx"},
    {"50 Yeni PowerPoint Sunusu.pptx", "bos.pptx"},
}};

// Creates the template folder and writes the starter set into it, taking the blank documents from
// the bundle, when nothing stands at the folder's path. Returns whether it did. Throws only when
// the folder cannot be created (std::filesystem::filesystem_error).
bool seedIfNeeded(const platform::Bundle& from);

// Copies the template into the folder under its fileName, or under the first free numbered name
// ("Not 2.txt", "Not 3.txt", ...), and returns the new document's URL. Never replaces anything.
// Throws the copy's std::filesystem::filesystem_error when the document cannot be made.
URL create(const Template& templ, const URL& in);

} // namespace Templates

// The Lemvora window as the driver reads it.
#include "HostWindow.h"
#include "fakes.h"

#include <gtest/gtest.h>

using namespace lemvora::driver;
using namespace lemvora::driver::fakes;

namespace {

// The Lemvora window as AppKit exposes it: stack views as groups, the table in a scroll area
// beside its header's column buttons and a scroll bar, a view-based row's cells as groups.
ElementPtr hostWindow(std::vector<std::vector<std::string>> rows) {
    std::vector<ElementPtr> rowElements;
    for (auto& row : rows)
        rowElements.push_back(
            node(role::row, "",
                 {node("AXCell", "", {text(row[0])}), node("AXCell", "", {text(row[1])})}));
    rowElements.push_back(node("AXColumn"));
    auto button = [](std::string title) {
        return node(role::button, std::move(title));
    };
    return node(
        role::window, "Lemvora",
        {node(role::button), node(role::button), // close, minimise
         node("AXGroup", "",
              {text("Finder sağ tık menüsüne \"Yeni Belge\" ekler"), text("Bir Finder…"),
               text("✓ Uzantı etkin"),
               node("AXGroup", "", {button("Uzantı Ayarlarını Aç"), button("Durumu Yenile")}),
               text("Menüdeki belge türleri"),
               node(role::scrollArea, "",
                    {node(role::table, "", rowElements),
                     node("AXGroup", "", {button("Menüde"), button("Oluşan dosya")}),
                     node("AXScrollBar")}),
               text(std::to_string(rows.size()) + " şablon."),
               node("AXGroup", "", {button("Şablon Klasörünü Aç")})})});
}

TEST(FinderDriver, ReadsTheHostWindowsTextsRowsAndButtons) {
    const auto window = hostWindow({{"Metin Belgesi", "10 Yeni Metin Belgesi.txt"},
                                    {"Markdown Belgesi", "20 Yeni Markdown Belgesi.md"}});
    const WindowReading seen = readWindow(*window);
    EXPECT_EQ(seen.rows.size(), 2u);
    EXPECT_EQ(joined(seen.rows[1]), "Markdown Belgesi | 20 Yeni Markdown Belgesi.md");
    const WindowExpectation good{{"✓ Uzantı etkin", "2 şablon."},
                                 {"Metin Belgesi", "Markdown Belgesi"},
                                 {"Uzantı Ayarlarını Aç", "Durumu Yenile", "Şablon Klasörünü Aç"}};
    EXPECT_TRUE(compare(seen, good).empty()) << joined(compare(seen, good));

    const struct {
        const char* what;
        WindowExpectation expected;
        const char* problem;
    } wrong[] = {
        {"status", {{"✗ Uzantı kapalı"}, good.titles, good.buttons}, "no text \"✗ Uzantı kapalı\""},
        {"text order",
         {{"2 şablon.", "✓ Uzantı etkin"}, good.titles, good.buttons},
         "no text \"✓ Uzantı etkin\" (in this order)"},
        {"row order",
         {good.texts, {"Markdown Belgesi", "Metin Belgesi"}, good.buttons},
         "the table lists Metin Belgesi | Markdown Belgesi, not"},
        {"a button",
         {good.texts, good.titles, {"Uzantı Ayarlarını Aç", "Durumu Yenile"}},
         "the buttons are Uzantı Ayarlarını Aç | Durumu Yenile | Şablon Klasörünü Aç, not"},
    };
    for (const auto& c : wrong) {
        const auto problems = compare(seen, c.expected);
        ASSERT_EQ(problems.size(), 1u) << c.what << ": " << joined(problems);
        EXPECT_EQ(problems[0].rfind(c.problem, 0), 0u) << c.what << ": " << problems[0];
    }
}

} // namespace

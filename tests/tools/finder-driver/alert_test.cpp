// The extension's alert: its text and button found, and what is recorded while it is up.
#include "AlertRecord.h"
#include "fakes.h"

#include <gtest/gtest.h>

using namespace lemvora::driver;
using namespace lemvora::driver::fakes;

namespace {

TEST(FinderDriver, FindsTheAlertsTextAndButtonWithinTheDepthAsked) {
    // NSAlert's window: the message and the detail as texts, the button by its title, the
    // window's own buttons without one.
    const auto alert = node(role::window, "",
                            {node(role::button), node("AXImage"),
                             node("AXGroup", "",
                                  {text("Metin Belgesi oluşturulamadı"),
                                   text("İşleme izin verilmiyor"), node(role::button, "Tamam")})});
    EXPECT_TRUE(findByRole(*alert, role::staticText, "Metin Belgesi oluşturulamadı", 1));
    EXPECT_EQ(findByRole(*alert, role::button, "Tamam", 1)->title(), "Tamam");
    EXPECT_EQ(findByRole(*alert, role::button, "", 1)->title(), ""); // the first of the role
    EXPECT_FALSE(findByRole(*alert, role::button, "Tamam", 0));      // one level deeper than asked
    EXPECT_FALSE(findByRole(*alert, role::staticText, "Metin Belgesi", 1));      // whole texts only
    EXPECT_FALSE(findByRole(*alert, role::button, "İşleme izin verilmiyor", 1)); // role matters
}

TEST(FinderDriver, RecordsWhetherTheAlertHasTheKeyboardTheMenuAndWhatReturnDid) {
    // The extension's alert beside another window of its own: main, its focus not said.
    const auto alert = node(role::window, "", {text("Metin Belgesi oluşturulamadı")});
    const auto other = node(role::window, "Lemvora");
    const auto app = node(role::application, "LemvoraMenu", {other, alert});
    alert->flags = {{attribute::main, true}};
    const std::string window = "the alert's window: AXMain true, AXFocused none; its "
                               "application's AXFocusedWindow: ";
    for (const auto& [focus, expected] :
         {std::pair{ElementPtr(alert), "the alert"},
          {ElementPtr(other), "another window, AXWindow \"Lemvora\""},
          {nullptr, "none"}}) {
        app->focusWindow = focus;
        EXPECT_EQ(focusRecord(*app, *alert), window + expected);
    }
    EXPECT_EQ(menuRecord(finderContextMenu().get(), "Yeni Belge", true),
              "with the alert up, the context menu offers \"Yeni Belge\"; Escape closed it");
    EXPECT_EQ(menuRecord(node(role::menu, "", {item("Yeni Belge 2"), separator()}).get(),
                         "Yeni Belge", false),
              "with the alert up, the context menu does not offer \"Yeni Belge\": Yeni Belge 2 | "
              "—; it stayed after Escape");
    EXPECT_EQ(menuRecord(nullptr, "Yeni Belge", false),
              "with the alert up, no context menu opened");
    EXPECT_EQ(returnRecord(true, "/F/; focused: AXOutline", "/F/; focused: AXOutline"),
              "Return: the alert is gone; Finder as before: /F/; focused: AXOutline");
    EXPECT_EQ(returnRecord(false, "/F/ /F/a.txt", "/F/ /F/a.txt; focused: AXTextField"),
              "Return: the alert is still up; Finder changed: /F/ /F/a.txt -> /F/ /F/a.txt; "
              "focused: AXTextField");
}

} // namespace

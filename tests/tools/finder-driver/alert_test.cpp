// The extension's alert: its text and button found, and what is recorded while it is up.
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

} // namespace

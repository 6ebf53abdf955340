// The run: bounded waits, a failed step named on one line, the options.
#include "Steps.h"
#include "fakes.h"

#include <gtest/gtest.h>

using namespace lemvora::driver;
using namespace lemvora::driver::fakes;

namespace {

TEST(FinderDriver, WaitsAreBoundedAndLookOnceMoreAtTheLimit) {
    const struct {
        double readyAt, limit;
        bool expected;
    } cases[] = {{0, 5, true}, {3, 5, true}, {5, 5, true}, {5.1, 5, false}, {1, 0, false}};
    for (const auto& c : cases) {
        FakeClock clock;
        const bool ready = waitFor(clock, c.limit, 0.25, [&] { return clock.t >= c.readyAt; });
        EXPECT_EQ(ready, c.expected) << c.readyAt << " within " << c.limit;
        EXPECT_LE(clock.t, c.limit + 1e-9);
    }
}

TEST(FinderDriver, AFailedStepIsNamedOnOneLineWithTheMenuSeenAndEndsTheRun) {
    std::vector<std::string> seen;
    bool lastRan = false;
    const std::vector<Step> steps{
        {"open the window",
         [] {
         }},
        {"find Yeni Belge",
         [&] {
             seen = {"Yeni Klasör", "—", "Bilgi Al"};
             throw StepFailure{"no item \"Yeni Belge\" within 20 s"};
         }},
        {"press the entry",
         [&] {
             lastRan = true;
         }},
    };
    std::ostringstream log;
    EXPECT_EQ(runSteps(steps, log, seen), 1);
    EXPECT_FALSE(lastRan);
    EXPECT_EQ(log.str(), "ok: open the window\nFAILED at step find Yeni Belge: no item \"Yeni "
                         "Belge\" within 20 s; menu titles seen: Yeni Klasör | — | Bilgi Al\n");

    std::ostringstream quiet;
    EXPECT_EQ(runSteps({steps[0]}, quiet, {}), 0);
}

TEST(FinderDriver, OptionsAreNamePairsOrFlags) {
    const auto options = parseOptions({"--title", "Metin Belgesi", "--expect-app", "--title", "Not",
                                       "--entry", "Word Belgesi", "--folder",
                                       "/Volumes/USB Bellek Ş", "--entry", "Metin Belgesi"},
                                      {"--expect-app"});
    ASSERT_TRUE(options);
    EXPECT_EQ(joined(options->all("--title")), "Metin Belgesi | Not");
    EXPECT_EQ(options->one("--folder"), "/Volumes/USB Bellek Ş");
    EXPECT_EQ(options->one("--entry"), "Metin Belgesi"); // the last one given
    EXPECT_TRUE(options->has("--expect-app"));
    EXPECT_FALSE(options->has("--expect"));
    for (const std::vector<std::string>& wrong : {std::vector<std::string>{"--folder"},
                                                  {"Belgeler"},
                                                  {"--entry", "a", "stray"},
                                                  {"--"},
                                                  {"--folder", "/tmp", "--", "--expect-app"}})
        EXPECT_FALSE(parseOptions(wrong, {"--expect-app"})) << joined(wrong);
}

} // namespace

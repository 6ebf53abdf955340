// The run: bounded waits, a failed step named on one line, the options.
#include "Ancestry.h"
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
    // Seconds: the fallback when not given, else a positive number, an hour at most.
    const std::pair<std::vector<std::string>, std::optional<double>> seconds[] = {
        {{}, 10},
        {{"--event-timeout", "30"}, 30},
        {{"--event-timeout", "0.5"}, 0.5},
        {{"--event-timeout", ""}, {}},
        {{"--event-timeout", "0"}, {}},
        {{"--event-timeout", "30s"}, {}},
        {{"--event-timeout", "3601"}, {}},
        {{"--event-timeout", "nan"}, {}}};
    for (const auto& [args, expected] : seconds)
        EXPECT_EQ(secondsOption(*parseOptions(args, {}), "--event-timeout", 10), expected)
            << joined(args);
}

TEST(FinderDriver, AnAppleEventThatTimedOutIsSentOnceMoreAndItsFailureNamesTheCall) {
    const EventReply answer{"/Volumes/Flaş Bellek/"},
        late{{}, eventTimedOut, "AppleEvent timed out."},
        refused{{}, -1743, "Not authorized to send Apple events to Finder."};
    const struct {
        std::vector<EventReply> replies;
        std::size_t sent;
        std::string outcome;
    } cases[] = {
        {{answer}, 1, answer.answer.value()},
        {{late, answer}, 2, answer.answer.value()},
        {{late, late, answer},
         2,
         "Finder's answer timed out twice, 30 s each (-1712), on: make new Finder window"},
        {{refused, answer},
         1,
         "AppleScript: Not authorized to send Apple events to Finder. (-1743), on: make new "
         "Finder window"},
    };
    for (const auto& c : cases) {
        std::size_t sent = 0;
        std::string outcome;
        try {
            outcome = sendEvent("make new Finder window", 30, [&](double limit) {
                EXPECT_EQ(limit, 30);
                return c.replies.at(sent++);
            });
        } catch (const StepFailure& failure) {
            outcome = failure.reason;
        }
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(sent, c.sent) << c.outcome;
    }
}

// The program that asks for a grant, and each process above it, up to launchd.
TEST(FinderDriver, TheAncestryGoesUpToLaunchdAndEndsAtWhatCannotBeRead) {
    const std::map<long, ProcessEntry> table{
        {812, {812, 811, "/Users/runner/work/x/build-release/lemvora-finder-driver"}},
        {811, {811, 700, "/bin/bash"}},
        {700, {700, 1, "/opt/hca/hosted-compute-agent"}},
        {1, {1, 0, "/sbin/launchd"}},
        {650, {650, 651, "/bin/bash"}},
        {651, {651, 650, "/bin/zsh"}},
        {640, {640, 639, ""}}};
    int asked = 0; // a walk round a loop would not end: it ends here, and shows
    auto lookup = [&](long pid) -> std::optional<ProcessEntry> {
        const auto at = ++asked > 20 ? table.end() : table.find(pid);
        return at == table.end() ? std::nullopt : std::optional(at->second);
    };
    auto lines = [&](long pid) {
        std::vector<std::string> out;
        asked = 0;
        for (const auto& entry : ancestry(pid, lookup))
            out.push_back(ancestryLine(entry));
        return joined(out);
    };
    EXPECT_EQ(lines(812), "ancestry: 812 /Users/runner/work/x/build-release/lemvora-finder-driver "
                          "| ancestry: 811 /bin/bash | ancestry: 700 /opt/hca/hosted-compute-agent "
                          "| ancestry: 1 /sbin/launchd");
    EXPECT_EQ(lines(650), "ancestry: 650 /bin/bash | ancestry: 651 /bin/zsh | ancestry: 650 ?");
    EXPECT_EQ(lines(640), "ancestry: 640 ? | ancestry: 639 ?");
}

} // namespace

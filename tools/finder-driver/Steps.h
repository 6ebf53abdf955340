// The driver's run: its options, its steps and their failures, and waits whose clock is handed in
// (the Mac's pauses really; the tests' only moves a number on).
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace lemvora::driver {

// The time the driver waits by. System.h's pauses really; the tests' only moves a number on.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() = 0; // seconds
    virtual void pause(double seconds) = 0;
};

// Asks `done` until it answers true or `limit` seconds have passed, pausing `interval` between.
// Asks once more at the limit, so that a slow pause never costs the last look.
bool waitFor(Clock& clock, double limit, double interval, const std::function<bool()>& done);

// A command line's options: "--name value" pairs, a name given again adding a value, and flags
// (names that take no value) with "" as their value. None for anything else.
struct Options {
    std::vector<std::pair<std::string, std::string>> given;
    std::string one(const std::string& name) const;              // the last value, or ""
    std::vector<std::string> all(const std::string& name) const; // every value, in order
    bool has(const std::string& name) const;
};
std::optional<Options> parseOptions(const std::vector<std::string>& args,
                                    const std::vector<std::string>& flags);

// The value of a seconds option (--timeout S, --event-timeout S): `fallback` when not given; none
// for anything but a positive number of seconds, an hour at most.
std::optional<double> secondsOption(const Options& options, const std::string& name,
                                    double fallback);

// Raised by a step that failed: the one line it says why.
struct StepFailure {
    std::string reason;
};

// What an Apple event came back with: its answer, or AppleScript's error number and message.
struct EventReply {
    std::optional<std::string> answer;
    long error = 0;
    std::string message;
};

// errAETimeout (MacErrors.h, CarbonCore): no answer within the event's limit.
inline constexpr long eventTimedOut = -1712;

// Sends an Apple event through `send`, which is given the limit in seconds. One that timed out is
// sent once more: Finder's answers around a freshly attached disk image may not come in time
// (-1712 on macOS 26, raullenchai/Rapid-MLX#2240). Returns the answer; throws the step's failure,
// naming `call` and saying whether it timed out.
std::string sendEvent(const std::string& call, double limit,
                      const std::function<EventReply(double limit)>& send);

struct Step {
    std::string name;
    std::function<void()> run; // throws StepFailure
};

// Runs the steps in order, a line each on `log`, and stops at the first that fails with one line
// "FAILED at step <name>: <reason>", followed, when a menu was seen, by its titles. Returns the
// process's exit status: 0, or 1 when a step failed.
int runSteps(const std::vector<Step>& steps, std::ostream& log,
             const std::vector<std::string>& menuSeen);

// A number as a log line shows it: "0.5", "120".
std::string number(double value);

// The titles joined for a log line: "A | B | —".
std::string joined(const std::vector<std::string>& titles);

} // namespace lemvora::driver

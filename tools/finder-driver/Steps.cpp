#include "Steps.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace lemvora::driver {

std::string number(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

bool waitFor(Clock& clock, double limit, double interval, const std::function<bool()>& done) {
    const double end = clock.now() + limit;
    while (clock.now() < end) {
        if (done())
            return true;
        clock.pause(std::min(interval, std::max(0.0, end - clock.now())));
    }
    return done();
}

std::string Options::one(const std::string& name) const {
    const auto values = all(name);
    return values.empty() ? "" : values.back();
}

std::vector<std::string> Options::all(const std::string& name) const {
    std::vector<std::string> values;
    for (const auto& [key, value] : given)
        if (key == name)
            values.push_back(value);
    return values;
}

bool Options::has(const std::string& name) const {
    return std::any_of(given.begin(), given.end(), [&](const auto& p) { return p.first == name; });
}

std::optional<Options> parseOptions(const std::vector<std::string>& args,
                                    const std::vector<std::string>& flags) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name.rfind("--", 0) != 0 || name.size() == 2)
            return std::nullopt;
        if (std::find(flags.begin(), flags.end(), name) != flags.end())
            options.given.emplace_back(name, "");
        else if (i + 1 < args.size())
            options.given.emplace_back(name, args[++i]);
        else
            return std::nullopt;
    }
    return options;
}

std::optional<double> secondsOption(const Options& options, const std::string& name,
                                    double fallback) {
    const std::string given = options.one(name);
    if (!options.has(name))
        return fallback;
    char* end = nullptr;
    const double seconds = std::strtod(given.c_str(), &end);
    if (given.empty() || end != given.c_str() + given.size() || !(seconds > 0) || seconds > 3600)
        return std::nullopt;
    return seconds;
}

std::string sendEvent(const std::string& call, double limit,
                      const std::function<EventReply(double limit)>& send) {
    EventReply reply = send(limit);
    if (!reply.answer && reply.error == eventTimedOut)
        reply = send(limit);
    if (reply.answer)
        return *reply.answer;
    if (reply.error == eventTimedOut)
        throw StepFailure{"Finder's answer timed out twice, " + number(limit) + " s each (" +
                          std::to_string(eventTimedOut) + "), on: " + call};
    throw StepFailure{"AppleScript: " + reply.message + " (" + std::to_string(reply.error) +
                      "), on: " + call};
}

std::string joined(const std::vector<std::string>& titles) {
    if (titles.empty())
        return "(none)";
    std::string line;
    for (const auto& title : titles)
        line += (line.empty() ? "" : " | ") + title;
    return line;
}

int runSteps(const std::vector<Step>& steps, std::ostream& log,
             const std::vector<std::string>& menuSeen) {
    for (const auto& step : steps) {
        try {
            step.run();
        } catch (const StepFailure& failure) {
            log << "FAILED at step " << step.name << ": " << failure.reason;
            if (!menuSeen.empty())
                log << "; menu titles seen: " << joined(menuSeen);
            log << '\n';
            return 1;
        }
        log << "ok: " << step.name << '\n';
    }
    return 0;
}

} // namespace lemvora::driver

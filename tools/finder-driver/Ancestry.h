// A process and its ancestors: which program really asks the privacy daemon. Its grants are those
// of the process responsible for it, somewhere among them.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lemvora::driver {

struct ProcessEntry {
    long pid = 0, parent = 0;
    std::string path; // its executable's; empty when it cannot be read
};

// `pid` and its ancestors, each as `lookup` reads it, up to launchd (PID 1). A process `lookup`
// cannot read ends the line with an entry of its PID alone; so does a parent met before.
std::vector<ProcessEntry> ancestry(long pid,
                                   const std::function<std::optional<ProcessEntry>(long)>& lookup);

// An entry as the probe prints it: "ancestry: PID PATH", "?" for a path that cannot be read.
std::string ancestryLine(const ProcessEntry& entry);

} // namespace lemvora::driver

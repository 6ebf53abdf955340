// The Linux main queue as a process serves it, and the requests its jobs serve.
#pragma once

#include "platform/Dispatch.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace platform {

// Readable (POLLIN) whenever a job was queued for the main thread, or a document queue finished
// one, since drainMainQueue() last ran; drainMainQueue() clears it.
int mainQueueDescriptor();

// An action of the finder host's, as its jobs carry it: `action` is its name in the protocol
// (none when the host gave it none).
// `ended` runs on the main thread once nothing holds the context any more: at once when that
// happens there, else from the main run loop, under no context.
class JobContext {
public:
    JobContext(std::optional<std::uint64_t> action, std::function<void()> ended);
    ~JobContext();
    JobContext(const JobContext&) = delete;
    JobContext& operator=(const JobContext&) = delete;
    const std::optional<std::uint64_t>& action() const { return action_; }

private:
    std::optional<std::uint64_t> action_;
    std::function<void()> ended_;
};

} // namespace platform

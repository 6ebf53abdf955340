// The mount table as the Linux layer watches it for the extension's loop.
#pragma once

namespace platform::linux_volumes {

// An open descriptor of the process's mount table: poll() reports POLLPRI on it each time a
// volume is mounted or unmounted. -1 before anything observes volumes, or where /proc is missing.
int mountTableDescriptor();

} // namespace platform::linux_volumes

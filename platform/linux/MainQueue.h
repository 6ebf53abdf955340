// The Linux main queue as a process serves it: a descriptor that is readable while jobs wait.
#pragma once

namespace platform {

// Readable (POLLIN) whenever a job was queued on the main queue, or the document queue finished
// one, since drainMainQueue() last ran; drainMainQueue() clears it.
int mainQueueDescriptor();

} // namespace platform

// Fuzzes the extension's request reader: any bytes, as request lines, answer or fail cleanly.
#include "ExtensionProtocol.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    // Every line through the reader, as the extension reads its standard input.
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return 0;
    if (size < 60000 && write(pipeFds[1], input.data(), input.size()) == ssize_t(input.size())) {
        close(pipeFds[1]);
        platform::protocol::LineReader reader(pipeFds[0]);
        std::string line;
        while (reader.next(line) != platform::protocol::LineReader::Status::end) {
            if (line.size() > platform::protocol::maxLineLength)
                __builtin_trap();
            auto parsed = platform::protocol::parseRequest(line);
            if (auto* request = std::get_if<platform::protocol::Request>(&parsed)) {
                if (auto* send = std::get_if<platform::protocol::SendRequest>(request))
                    if (send->selector.empty() ||
                        send->target.has_value() && send->target->native().front() != '/')
                        __builtin_trap();
                // Every selected item is an absolute path, whichever request carries it.
                std::visit(
                    [](const auto& r) {
                        for (const auto& item : r.selected)
                            if (item.empty() || item.native().front() != '/')
                                __builtin_trap();
                    },
                    *request);
            }
            platform::protocol::parseAlertResponse(line);
        }
    } else {
        close(pipeFds[1]);
    }
    close(pipeFds[0]);
    return 0;
}

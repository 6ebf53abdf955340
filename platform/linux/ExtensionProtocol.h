// The line protocol between the finder host and an extension process on Linux: one JSON object
// a line in each direction (docs/finder-host.md).
#pragma once

#include "platform/AppKit.h"
#include "platform/FinderSync.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform::protocol {

// Longest request line accepted; a longer one is answered with an error and skipped.
inline constexpr std::size_t maxLineLength = 64 * 1024;

// `selected`: the items selected when the menu was opened (none when the request names none).
struct MenuRequest {
    MenuKind kind = 0;
    std::optional<URL> target;
    std::vector<URL> selected;
};
// `action`: the host's name for the action, which the extension gives back on every line about
// it (its return, its effects, its end); none when the request names none.
struct SendRequest {
    Selector selector;
    std::optional<URL> target;
    std::vector<URL> selected;
    std::optional<std::uint64_t> action;
};
using Request = std::variant<MenuRequest, SendRequest>;

// A request line, or the text of the error to answer it with. Never throws.
std::variant<Request, std::string> parseRequest(std::string_view line);

// The button an alert answer line chooses ({"op":"alertResponse","button":N}), or none.
std::optional<ModalResponse> parseAlertResponse(std::string_view line);

// A path as JSON, losslessly: a plain string when it is valid UTF-8 (nearly always), else
// {"bytes":HEX}, every byte of the path as two lower-case hexadecimal digits. A string is never
// an object, so the two forms cannot be mistaken for each other.
nlohmann::ordered_json pathJSON(const URL& path);
// The path a JSON value carries in either form; none when it is neither.
std::optional<URL> pathFromJSON(const nlohmann::ordered_json& value);

// {"title":T,"items":[…]} for a menu, null for none.
nlohmann::ordered_json menuJSON(const Menu* menu);

// One line of output, invalid UTF-8 replaced.
std::string serialize(const nlohmann::ordered_json& value);

// Reads lines from a descriptor, at most maxLineLength bytes each.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}
    // While it waits for input, calls onEvent whenever poll() reports one of `events` (or an
    // error) on `watched`; next() then returns `woken`, so that the caller may look again.
    // Inside onEvent, next() watches too: a loop that waits for a line there (an alert's answer)
    // goes on serving what the watches serve, as a nested run loop does.
    void watch(int watched, short events, std::function<void()> onEvent) {
        watches_.push_back({watched, events, std::move(onEvent)});
    }
    void unwatchAll() { watches_.clear(); }
    enum class Status { line, tooLong, end, woken };
    // The next line (without its newline); tooLong when it exceeded the limit (it is skipped);
    // woken when a watched descriptor was reported, or timeoutMilliseconds (unless negative)
    // passed, before a whole line came.
    Status next(std::string& line, int timeoutMilliseconds = -1);

private:
    struct Watch {
        int fd;
        short events;
        std::function<void()> onEvent;
    };
    int fd_;
    std::vector<Watch> watches_;
    std::string buffer_;
    std::size_t scanned_ = 0;
    bool discarding_ = false;
    bool ended_ = false;
};

} // namespace platform::protocol

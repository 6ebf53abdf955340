#include "ExtensionProtocol.h"

#include "platform/Text.h"

#include <cctype>
#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace platform::protocol {

using json = nlohmann::ordered_json;

namespace {

// A URL that is not a file URL ({"url":TEXT}), which Finder might hand over: it names no file,
// so it is skipped, never taken for a path, as the Mac's layer skips it.
bool isOtherURL(const json& value) {
    return value.is_object() && value.size() == 1 && value.contains("url") &&
           value["url"].is_string();
}

std::optional<URL> targetOf(const json& request, std::string& error) {
    auto it = request.find("target");
    if (it == request.end() || it->is_null() || isOtherURL(*it))
        return std::nullopt;
    auto target = pathFromJSON(*it);
    if (!target || target->empty() || target->native().front() != '/') {
        error = "target must be an absolute path";
        return std::nullopt;
    }
    return target;
}

// Each selected item is a path in either form, absolute, as a target is.
std::vector<URL> selectedOf(const json& request, std::string& error) {
    auto it = request.find("selected");
    if (it == request.end() || it->is_null())
        return {};
    std::vector<URL> selected;
    std::size_t taken = 0;
    if (it->is_array())
        for (const auto& item : *it) {
            if (isOtherURL(item)) {
                ++taken;
                continue;
            }
            auto path = pathFromJSON(item);
            if (!path || path->empty() || path->native().front() != '/')
                break;
            selected.push_back(std::move(*path));
            ++taken;
        }
    if (!it->is_array() || taken != it->size()) {
        error = "selected must be a list of absolute paths";
        return {};
    }
    return selected;
}

bool isSelectorName(const std::string& s) {
    if (s.empty() || s.size() > 128 || !std::isalpha(static_cast<unsigned char>(s[0])))
        return false;
    for (unsigned char c : s)
        if (!std::isalnum(c) && c != '_' && c != ':')
            return false;
    return true;
}

} // namespace

std::variant<Request, std::string> parseRequest(std::string_view line) {
    json request = json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (request.is_discarded())
        return std::string("not a JSON object");
    if (!request.is_object())
        return std::string("not a JSON object");
    auto op = request.find("op");
    if (op == request.end() || !op->is_string())
        return std::string("missing op");
    std::string error;
    if (*op == "menu") {
        auto kind = request.find("kind");
        if (kind == request.end() || !(kind->is_number_unsigned() ||
                                       (kind->is_number_integer() && kind->get<long long>() >= 0)))
            return std::string("kind must be a non-negative integer");
        MenuRequest menu{kind->get<MenuKind>(), targetOf(request, error), {}};
        if (error.empty())
            menu.selected = selectedOf(request, error);
        if (!error.empty())
            return error;
        return Request(menu);
    }
    if (*op == "send") {
        auto selector = request.find("selector");
        if (selector == request.end() || !selector->is_string() ||
            !isSelectorName(selector->get<std::string>()))
            return std::string("selector must be a selector name such as \"doc00:\"");
        SendRequest send{selector->get<std::string>(), targetOf(request, error), {}, {}};
        if (error.empty())
            send.selected = selectedOf(request, error);
        if (!error.empty())
            return error;
        if (auto action = request.find("action"); action != request.end()) {
            if (!action->is_number_unsigned())
                return std::string("action must be a non-negative integer");
            send.action = action->get<std::uint64_t>();
        }
        return Request(send);
    }
    return "unknown op: " + serialize(*op);
}

std::optional<ModalResponse> parseAlertResponse(std::string_view line) {
    json answer = json::parse(line, nullptr, false);
    if (!answer.is_object() || answer.value("op", json()) != "alertResponse")
        return std::nullopt;
    auto button = answer.find("button");
    if (button == answer.end() || !button->is_number_integer())
        return std::nullopt;
    return button->get<ModalResponse>();
}

json pathJSON(const URL& path) {
    const std::string& bytes = path.native();
    if (text::displayable(bytes) == bytes)
        return bytes;
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * bytes.size());
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return {{"bytes", hex}};
}

std::optional<URL> pathFromJSON(const json& value) {
    if (value.is_string())
        return URL(value.get<std::string>());
    if (!value.is_object() || value.size() != 1 || !value.contains("bytes") ||
        !value["bytes"].is_string())
        return std::nullopt;
    const std::string& hex = value["bytes"].get_ref<const std::string&>();
    if (hex.size() % 2 != 0)
        return std::nullopt;
    auto nibble = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : (c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1);
    };
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = nibble(hex[i]), low = nibble(hex[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
    }
    return URL(bytes);
}

json menuJSON(const Menu* menu) {
    if (menu == nullptr)
        return nullptr;
    json items = json::array();
    for (const auto& item : menu->items()) {
        items.push_back({{"title", item->title()},
                         {"action", item->action() ? json(*item->action()) : json(nullptr)},
                         {"keyEquivalent", item->keyEquivalent()},
                         {"submenu", menuJSON(item->submenu().get())}});
    }
    return {{"title", menu->title()}, {"items", std::move(items)}};
}

std::string serialize(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

LineReader::Status LineReader::next(std::string& line, int timeoutMilliseconds) {
    for (;;) {
        const auto newline = buffer_.find('\n', scanned_);
        if (newline != std::string::npos) {
            const bool skipped = discarding_ || newline > maxLineLength;
            line.assign(buffer_, 0, skipped ? 0 : newline);
            buffer_.erase(0, newline + 1);
            scanned_ = 0;
            discarding_ = false;
            return skipped ? Status::tooLong : Status::line;
        }
        scanned_ = buffer_.size();
        if (buffer_.size() > maxLineLength) {
            // Keep no more than the limit of an overlong line: the rest is thrown away.
            discarding_ = true;
            buffer_.clear();
            scanned_ = 0;
        }
        if (ended_) {
            if (buffer_.empty() && !discarding_)
                return Status::end;
            const bool skipped = discarding_;
            line = std::move(buffer_);
            buffer_.clear();
            discarding_ = false;
            return skipped ? Status::tooLong : Status::line;
        }
        const bool watching = !watches_.empty();
        if (watching || timeoutMilliseconds >= 0) {
            // Wait for input, and tell of the watched descriptors' events while waiting.
            std::vector<pollfd> fds{{fd_, POLLIN, 0}};
            if (watching)
                for (const auto& w : watches_)
                    fds.push_back({w.fd, w.events, 0});
            const int ready = ::poll(fds.data(), fds.size(), timeoutMilliseconds);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0) {
                watches_.clear();
            } else if (ready == 0) {
                return Status::woken;
            } else if (watching) {
                // Copied: a callback may change the watches.
                std::vector<std::function<void()>> fired;
                for (std::size_t i = 1; i < fds.size(); ++i)
                    if ((fds[i].revents & (watches_[i - 1].events | POLLERR | POLLNVAL)) != 0)
                        fired.push_back(watches_[i - 1].onEvent);
                if (!fired.empty()) {
                    for (const auto& onEvent : fired)
                        onEvent();
                    return Status::woken;
                }
            }
            if (fds[0].revents == 0)
                continue;
        }
        char chunk[16384];
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ended_ = true;
        else
            buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

} // namespace platform::protocol

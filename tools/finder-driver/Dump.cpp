#include "Dump.h"

#include "Steps.h"

#include <cctype>
#include <cstdio>
#include <sstream>

namespace lemvora::driver {

Attributes attributesOf(const Element& element) {
    return {element.role(),  element.subrole(),         element.title(),
            element.value(), element.identifier(),      element.description(),
            element.frame(), element.disclosureLevel(), element.disclosing()};
}

namespace {

std::string escaped(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '\\' || c == '"')
            out += {'\\', static_cast<char>(c)};
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c < 0x20 || c == 0x7f) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    return out + "\"";
}

void dumpInto(const Element& element, int level, int depth, std::ostream& out) {
    const Attributes a = attributesOf(element);
    out << std::string(2 * level, ' ') << (a.role.empty() ? "-" : a.role);
    const std::pair<const char*, const std::string*> texts[] = {
        {"subrole", &a.subrole}, {"title", &a.title},      {"value", &a.value},
        {"id", &a.identifier},   {"desc", &a.description},
    };
    for (const auto& [key, text] : texts)
        if (!text->empty())
            out << ' ' << key << '=' << escaped(*text);
    if (a.frame)
        out << " frame=" << number(a.frame->x) << ',' << number(a.frame->y) << ','
            << number(a.frame->width) << ',' << number(a.frame->height);
    if (a.level)
        out << " level=" << *a.level;
    if (a.disclosing)
        out << " disclosing=" << (*a.disclosing ? "true" : "false");
    out << '\n';
    // The menu bar's menus are many, and never what a case looks at.
    if (level < depth && a.role != role::menuBar)
        for (auto& child : element.children())
            dumpInto(*child, level + 1, depth, out);
}

// Reads a quoted text at `at`, moving past it; none when it is not one.
std::optional<std::string> unescaped(const std::string& line, std::size_t& at) {
    if (at >= line.size() || line[at] != '"')
        return std::nullopt;
    std::string text;
    for (++at; at < line.size(); ++at) {
        char c = line[at];
        if (c == '"') {
            ++at;
            return text;
        }
        if (c == '\\') {
            if (++at == line.size())
                return std::nullopt;
            c = line[at];
            if (c == 'n')
                c = '\n';
            else if (c == 'r')
                c = '\r';
            else if (c == 't')
                c = '\t';
            else if (c == 'x') {
                if (at + 2 >= line.size() ||
                    !std::isxdigit(static_cast<unsigned char>(line[at + 1])) ||
                    !std::isxdigit(static_cast<unsigned char>(line[at + 2])))
                    return std::nullopt;
                c = static_cast<char>(std::stoi(line.substr(at + 1, 2), nullptr, 16));
                at += 2;
            } else if (c != '\\' && c != '"')
                return std::nullopt;
        }
        text += c;
    }
    return std::nullopt;
}

std::optional<DumpLine> parseLine(const std::string& line) {
    DumpLine parsed;
    std::size_t at = line.find_first_not_of(' ');
    if (at == std::string::npos || at % 2 != 0)
        return std::nullopt;
    parsed.depth = static_cast<int>(at / 2);
    Attributes& a = parsed.attributes;
    auto word = [&] {
        const std::size_t end = std::min(line.find_first_of(" =", at), line.size());
        std::string w = line.substr(at, end - at);
        at = end;
        return w;
    };
    a.role = word();
    if (a.role == "-")
        a.role.clear();
    try {
        while (at < line.size()) {
            if (line[at++] != ' ')
                return std::nullopt;
            const std::string key = word();
            if (at >= line.size() || line[at++] != '=')
                return std::nullopt;
            std::string* text = key == "subrole" ? &a.subrole
                                : key == "title" ? &a.title
                                : key == "value" ? &a.value
                                : key == "id"    ? &a.identifier
                                : key == "desc"  ? &a.description
                                                 : nullptr;
            if (text) {
                const auto value = unescaped(line, at);
                if (!value)
                    return std::nullopt;
                *text = *value;
                continue;
            }
            const std::string value = word();
            if (key == "level") {
                a.level = std::stoi(value);
            } else if (key == "disclosing" && (value == "true" || value == "false")) {
                a.disclosing = value == "true";
            } else if (key == "frame") {
                Frame f;
                char comma1 = 0, comma2 = 0, comma3 = 0;
                std::istringstream in(value);
                if (!(in >> f.x >> comma1 >> f.y >> comma2 >> f.width >> comma3 >> f.height) ||
                    comma1 != ',' || comma2 != ',' || comma3 != ',' || !in.eof())
                    return std::nullopt;
                a.frame = f;
            } else {
                return std::nullopt;
            }
        }
    } catch (const std::exception&) { // stoi on what is no number
        return std::nullopt;
    }
    return parsed;
}

} // namespace

void dumpTree(const Element& root, int depth, std::ostream& out) {
    dumpInto(root, 0, depth, out);
}

std::optional<std::vector<DumpLine>> parseDump(const std::string& text) {
    std::vector<DumpLine> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.find_first_not_of(' ') == std::string::npos)
            continue;
        const auto parsed = parseLine(line);
        // A child is one level below the line before it, at most.
        if (!parsed || parsed->depth > (lines.empty() ? 0 : lines.back().depth + 1))
            return std::nullopt;
        lines.push_back(*parsed);
    }
    return lines;
}

} // namespace lemvora::driver

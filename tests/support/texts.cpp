#include "texts.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>

namespace texts {
namespace {

[[noreturn]] void stop(const char* what, std::string_view detail)
{
    std::fprintf(stderr, "%s: %s: %.*s\n", MIRROWCAST_TEXTS_FILE, what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

// The file is ASCII; other characters are written as \uXXXX.
std::u16string unescape(std::string_view line)
{
    std::u16string out;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            stop("a character outside ASCII", line);
        }
        if (c != '\\') {
            out += static_cast<char16_t>(c);
            continue;
        }
        const char next = i + 1 < line.size() ? line[++i] : '\0';
        if (next == 'n') {
            out += u'\n';
        } else if (next == 'r') {
            out += u'\r';
        } else if (next == '\\') {
            out += u'\\';
        } else if (next == 'u' && i + 4 < line.size()) {
            out += static_cast<char16_t>(std::stoul(std::string(line.substr(i + 1, 4)), nullptr, 16));
            i += 4;
        } else {
            stop("an unknown escape", line);
        }
    }
    return out;
}

std::map<std::string, std::u16string, std::less<>> load()
{
    std::ifstream file(MIRROWCAST_TEXTS_FILE);
    if (!file) {
        stop("cannot be read", "");
    }
    std::map<std::string, std::u16string, std::less<>> found;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::size_t equals = line.find(" = ");
        if (equals == std::string::npos) {
            stop("a line without \" = \"", line);
        }
        found[line.substr(0, equals)] += unescape(std::string_view(line).substr(equals + 3));
    }
    return found;
}

}  // namespace

const std::u16string& text(std::string_view name)
{
    static const auto all = load();
    const auto it = all.find(name);
    if (it == all.end()) {
        stop("no text called", name);
    }
    return it->second;
}

std::u16string text(std::string_view name, std::u16string_view value)
{
    std::u16string filled = text(name);
    for (std::size_t at = 0; (at = filled.find(u'%', at)) != std::u16string::npos;) {
        if (at + 1 < filled.size() && (filled[at + 1] == u's' || filled[at + 1] == u'd')) {
            filled.replace(at, 2, value);
            at += value.size();
        } else {
            ++at;
        }
    }
    return filled;
}

}  // namespace texts

#include "fuzz_text.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz {

std::uint8_t Input::byte()
{
    if (size == 0) {
        return 0;
    }
    --size;
    return *data++;
}

std::uint64_t Input::number(int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value |= static_cast<std::uint64_t>(byte()) << (8 * i);
    }
    return value;
}

std::u16string Input::text(std::size_t maxUnits, int stop)
{
    std::u16string out;
    while (size > 0 && out.size() < maxUnits) {
        const std::uint8_t b = byte();
        if (stop >= 0 && b == stop) {
            break;
        }
        if (b < 0xF0) {
            out += static_cast<char16_t>(b);
        } else {
            out += static_cast<char16_t>(number(2));
        }
    }
    return out;
}

std::string narrow(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escape[12];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            out += escape;
        }
    }
    return out;
}

void fail(const char* what, const std::u16string& detail)
{
    std::fprintf(stderr, "property broken: %s\n  %s\n", what, narrow(detail.substr(0, 400)).c_str());
    std::abort();
}

}  // namespace fuzz

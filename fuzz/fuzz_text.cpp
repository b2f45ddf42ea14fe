#include "fuzz_text.h"

#include <cstdio>
#include <cstdlib>

#include "test_text.h"

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

void fail(const char* what, const std::u16string& detail)
{
    std::fprintf(stderr, "property broken: %s\n  %s\n", what, narrow(detail, 400).c_str());
    std::abort();
}

}  // namespace fuzz

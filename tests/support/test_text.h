// Readable failure messages for UTF-16 test data.
#pragma once

#include <string>

// The ASCII part of a UTF-16 text, other characters as '?', for gtest's output.
inline std::string narrow(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text) {
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

// Readable failure messages for UTF-16 test data, and typed results as the
// numbers the log and support staff see.
#pragma once

#include <cstdint>
#include <string>

// The ASCII part of a UTF-16 text, other characters as '?', cut at `limit`
// with the full length after it, for gtest's and the fuzzers' output.
inline std::string narrow(const std::u16string& text, std::size_t limit = std::u16string::npos)
{
    std::string out;
    for (char16_t c : text.substr(0, limit)) {
        out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    return text.size() > limit ? out + "...(" + std::to_string(text.size()) + ")" : out;
}

template <class Result>
std::int32_t number(Result result)
{
    return static_cast<std::int32_t>(result);
}

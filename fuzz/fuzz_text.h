// What the fuzz targets share: turning the fuzzer's bytes into UTF-16 text and
// small numbers, and stopping loudly when a property does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Reads the fuzzer's bytes front to back. Text: a byte below 0xF0 is the code
// unit of the same value, so the dictionaries' ASCII words and the seeds stay
// readable; 0xF0..0xFF takes the next two bytes as one raw code unit
// (little-endian), which reaches every code unit, lone surrogates included.
struct Input {
    const std::uint8_t* data;
    std::size_t size;

    std::uint8_t byte();  // 0 once the input is used up
    std::uint64_t number(int bytes);
    // Up to maxUnits code units, ending early at the byte `stop` (consumed).
    std::u16string text(std::size_t maxUnits, int stop = -1);
    std::u16string rest() { return text(static_cast<std::size_t>(-1)); }
};

// Ends the run with a message: libFuzzer reports it as a crash and keeps the
// input that broke the property.
[[noreturn]] void fail(const char* what, const std::u16string& detail = {});

}  // namespace fuzz

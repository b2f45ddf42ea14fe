// The parameters a protocol URL carries, and the parser that fills them.
//
// Velmorathis.Mirrowcast:TeamsCall?action=answercall&participant=John%20Smith
//
// The table, not the parser, decides which names exist and in which order they
// are tried. The parser allocates nothing: it reads the URL where it lies and
// writes only into the table's fixed fields.
#pragma once

#include <cstddef>
#include <cstdint>

struct InvocationParameter {
    static constexpr std::size_t Capacity = 256;  // at most 255 characters
    char16_t name[Capacity] = {};
    char16_t value[Capacity] = {};
};

struct InvocationParameters {
    static constexpr std::size_t Count = 5;
    enum Slot : std::size_t { Action = 0, Participant, ParticipantNumber, Participant2, Participant2Number };

    // The five slots, names filled in, values empty.
    InvocationParameters();

    InvocationParameter slots[Count];
};

// The numbers are the ones "Invalid parameter(s) %d" shows.
enum class UrlParseResult : std::int32_t {
    Parsed = 0,
    NoColon = -1,
    WrongCommand = -2,  // the text after the first colon does not begin with the command
    NoQuery = -3,       // no question mark after the first colon
    ValueTooLong = -4,  // a value that needs more than 255 units decoded
    // The entry point's, not the parser's: a quoted URL longer than the
    // 2,083 characters Windows' own URL functions take.
    UrlTooLong = -5,
};

// Fills the values of `table` from the query of `url`. NoColon, WrongCommand
// and NoQuery leave the table unchanged; ValueTooLong keeps what was filled
// before, and the slot of the long value holds nothing anyone may read.
[[nodiscard]] UrlParseResult parseUrlParameters(const char16_t* url, const char16_t* command,
                                                InvocationParameters& table);

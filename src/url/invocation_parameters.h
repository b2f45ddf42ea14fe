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

namespace url {

struct InvocationParameter {
    static constexpr std::size_t Capacity = 256;  // at most 255 characters
    char16_t name[Capacity] = {};
    char16_t value[Capacity] = {};  // decoded, as it is logged
    // The same, with each '+' that stood raw in the URL as a space: what a
    // web page that builds the query as a form (URLSearchParams) means by
    // it, while one it escaped (%2B) is a real '+'. Titles are compared with
    // this one.
    char16_t matched[Capacity] = {};
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
    EncodedNul = -6,  // a value whose decoding holds U+0000
};

// Fills the values of `table` from the query of `url`. NoColon, WrongCommand
// and NoQuery leave the table unchanged; ValueTooLong and EncodedNul keep what
// was filled before, and the slot of the value that stopped the parse holds
// nothing anyone may read.
[[nodiscard]] UrlParseResult parseUrlParameters(const char16_t* url, const char16_t* command,
                                                InvocationParameters& table);

}  // namespace url

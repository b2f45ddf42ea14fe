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

// Results of parseUrlParameters.
constexpr std::int32_t UrlParsed = 0;
constexpr std::int32_t UrlNoColon = -1;
constexpr std::int32_t UrlWrongCommand = -2;
constexpr std::int32_t UrlNoQuery = -3;
constexpr std::int32_t UrlValueTooLong = -4;

// Fills the values of `table` from the query of `url`. See the result codes
// above; -1 to -3 leave the table unchanged, -4 keeps what was filled before
// and the first 255 characters of the long value, undecoded.
std::int32_t parseUrlParameters(const char16_t* url, const char16_t* command, InvocationParameters& table);

// Bounded UTF-16 string helpers.
//
// One contract for every copy, append and format into a fixed buffer: never
// write past the buffer, always leave it terminated (unless its size is zero),
// and say whether the whole text fitted: false when it was cut to size - 1
// characters, or the buffer has size zero (nothing written). Most callers go
// on with the cut text; the few that must not act on one check.
//
// Case-insensitive comparison folds each code point by one fixed rule, the same
// on every build (see foldCase): it does not depend on the user's locale, so a
// title or command word matches on every machine alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "winapi/types.h"

namespace util {

std::size_t length(const char16_t* text);

bool copyString(char16_t* dst, std::size_t dstSize, const char16_t* src);
// Copies at most maxCount characters of src (fewer when src ends earlier).
bool copyStringN(char16_t* dst, std::size_t dstSize, const char16_t* src, std::size_t maxCount);
bool appendString(char16_t* dst, std::size_t dstSize, const char16_t* src);

template <std::size_t N>
bool copyString(char16_t (&dst)[N], const char16_t* src)
{
    return copyString(dst, N, src);
}
template <std::size_t N>
bool appendString(char16_t (&dst)[N], const char16_t* src)
{
    return appendString(dst, N, src);
}

// Folds one code point for case-insensitive comparison: Unicode's simple case
// folding, over every script and plane, from the table in case_fold_table.inc
// (made by scripts/generate_case_fold). It is one-to-one and never depends on
// a language: "I" folds to "i" everywhere, the Turkish dotted and dotless i
// have no fold, and "ß" stays itself, so "straße" does not equal "STRASSE" as
// a linguistic comparison would have it. A fold never crosses between the
// Basic Multilingual Plane and the others, so a string's length in UTF-16
// units, and every position in it, is the same folded or not.
char32_t foldCase(char32_t c);

// The comparisons below fold by code point, a surrogate pair taken whole and a
// lone surrogate standing for itself; n and every position count UTF-16 units.
// Whole-string, case-insensitive: <0, 0, >0 (as StrCmpIW).
int compareNoCase(const char16_t* a, const char16_t* b);
// First n units, case-insensitive (as StrCmpNIW): a string shorter than n
// compares by its terminator, so "Team" differs from "Teams" over 5. A pair
// cut by n counts as its lone first unit.
int compareNoCaseN(const char16_t* a, const char16_t* b, std::size_t n);
// True when text begins with prefix, case-insensitively.
bool startsWithNoCase(const char16_t* text, const char16_t* prefix);
// Case-insensitive substring search (as StrStrIW): the first occurrence, or
// null. An empty needle is never found, as with StrStrIW.
const char16_t* findNoCase(const char16_t* haystack, const char16_t* needle);
// How a text names a name it contains (see findName).
enum class NameMatch : std::uint8_t {
    None,              // not contained
    InsideLongerName,  // contained, but only with letters or the like right next to it
    Whole,             // contained at least once standing on its own
};
// Looks for `name` in `text` as findNoCase does, with the text's U+0020
// spaces skipped (the name comes without them), and tells whether it stands
// on its own: the code points just before and just after a match must not
// belong to a name too (letters, digits and combining marks, the joiners
// U+200C/U+200D, the hyphens U+002D, U+2010 and U+2011 and the apostrophes
// U+0027 and U+2019), or be the text's ends. So "Jean" names "Call with Jean"
// but only lies inside "Jean-Luc Picard", and "Ann" inside "Anna Berg". Han,
// Hiragana, Katakana and Thai are written without spaces: their characters
// never make a name longer ("王小明" names "王小明さんとの通話"). An empty name is
// never found.
NameMatch findName(const char16_t* text, const char16_t* name);
// Case-sensitive substring search (as wcsstr): an empty needle is found at
// the start.
const char16_t* find(const char16_t* haystack, const char16_t* needle);
// First / last occurrence of one character, or null (as StrChrW / StrRChrW).
const char16_t* findChar(const char16_t* text, char16_t c);
const char16_t* findLastChar(const char16_t* text, char16_t c);
// Number of leading characters that are not in `set` (as StrCSpnW).
std::size_t spanExcluding(const char16_t* text, const char16_t* set);
// Copies src without its U+0020 characters, cut to dstSize - 1.
bool copyWithoutSpaces(char16_t* dst, std::size_t dstSize, const char16_t* src);

// Decodes the percent escapes of the first `count` characters of src (fewer
// when src ends earlier) into dst. Browsers escape a name's UTF-8 bytes
// (encodeURIComponent("ștefan") is "%C8%99tefan"), so a run of escapes that
// spells a well-formed UTF-8 sequence becomes its character (a surrogate pair
// above U+FFFF). Any other escape - '%' and two hexadecimal digits - becomes
// the one code unit of its value, as UrlUnescapeW makes it, so "M%FCller"
// stays "Müller"; that includes each escape of an overlong form, an encoded
// surrogate, a code point above U+10FFFF or a cut sequence. Only escapes make
// up a sequence: a literal character between them ends it. A '%' that does not
// start an escape stays. A '+' stays '+', unless `rawPlusIsSpace`: then a '+'
// that stands as it is becomes a space, as an HTML form or URLSearchParams
// writes one, while an escaped one (%2B) is still a '+'. Returns the decoded
// length in units (an escaped zero counts as one, so a length above the
// terminated text's says that one was there), or nothing when the decoded
// text does not fit in dstSize - 1 units (a surrogate pair is never cut in
// two); dst is terminated either way.
[[nodiscard]] std::optional<std::size_t> urlUnescape(char16_t* dst, std::size_t dstSize, const char16_t* src,
                                                     std::size_t count, bool rawPlusIsSpace);

// Appends `more` to a folder path with exactly one backslash between them.
// The result must fit in dstSize (terminator included): on truncation the
// buffer is left unchanged and false is returned.
[[nodiscard]] bool pathAppend(char16_t* dst, std::size_t dstSize, const char16_t* more);
// Cuts the last path component (as PathRemoveFileSpecW); true when something
// was removed.
bool pathRemoveFileSpec(char16_t* path);

}  // namespace util

#include "util/strings.h"

#include <iterator>

namespace util {

std::size_t length(const char16_t* text)
{
    std::size_t n = 0;
    if (text != nullptr) {
        while (text[n] != 0) {
            ++n;
        }
    }
    return n;
}

bool copyStringN(char16_t* dst, std::size_t dstSize, const char16_t* src, std::size_t maxCount)
{
    if (dst == nullptr || dstSize == 0) {
        return false;
    }
    std::size_t i = 0;
    if (src != nullptr) {
        for (; i < maxCount && src[i] != 0; ++i) {
            if (i + 1 == dstSize) {
                dst[i] = 0;
                return false;
            }
            dst[i] = src[i];
        }
    }
    dst[i] = 0;
    return true;
}

bool copyString(char16_t* dst, std::size_t dstSize, const char16_t* src)
{
    return copyStringN(dst, dstSize, src, static_cast<std::size_t>(-1));
}

bool appendString(char16_t* dst, std::size_t dstSize, const char16_t* src)
{
    if (dst == nullptr || dstSize == 0) {
        return false;
    }
    std::size_t used = 0;
    while (used < dstSize && dst[used] != 0) {
        ++used;
    }
    if (used == dstSize) {
        // Not terminated within its own size: terminate it rather than read
        // past the end, and report that nothing more fits.
        dst[dstSize - 1] = 0;
        return false;
    }
    return copyString(dst + used, dstSize - used, src);
}

namespace {

// Code points first, first + step, ... (count of them) fold to themselves plus
// delta; the runs are sorted by first and do not overlap.
struct CaseFoldRun {
    char32_t first;
    std::int32_t delta;
    std::uint8_t count;
    std::uint8_t step;
};

constexpr CaseFoldRun CaseFoldRuns[] = {
#include "util/case_fold_table.inc"
};

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The code point at text[i] and its number of units. A pair counts whole only
// when both units lie within the first n, so a comparison never looks past
// the units its caller counted; a lone surrogate stands for itself.
char32_t codePointAt(const char16_t* text, std::size_t i, std::size_t n, std::size_t& units)
{
    const char16_t c = text[i];
    if (isHighSurrogate(c) && i + 1 < n && isLowSurrogate(text[i + 1])) {
        units = 2;
        return 0x10000 + ((char32_t{c} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00);
    }
    units = 1;
    return c;
}

}  // namespace

char32_t foldCase(char32_t c)
{
    if (c < 0x80) {
        return (c >= U'A' && c <= U'Z') ? c + 0x20 : c;
    }
    // The last run that starts at or before c.
    std::size_t lo = 0;
    std::size_t hi = std::size(CaseFoldRuns);
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (CaseFoldRuns[mid].first <= c) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo == 0) {
        return c;
    }
    const CaseFoldRun& run = CaseFoldRuns[lo - 1];
    const char32_t offset = c - run.first;
    if (offset % run.step == 0 && offset / run.step < run.count) {
        return static_cast<char32_t>(static_cast<std::int32_t>(c) + run.delta);
    }
    return c;
}

int compareNoCaseN(const char16_t* a, const char16_t* b, std::size_t n)
{
    if (a == nullptr) {
        a = u"";
    }
    if (b == nullptr) {
        b = u"";
    }
    for (std::size_t i = 0; i < n;) {
        std::size_t unitsA = 1;
        std::size_t unitsB = 1;
        const char32_t fa = foldCase(codePointAt(a, i, n, unitsA));
        const char32_t fb = foldCase(codePointAt(b, i, n, unitsB));
        if (fa != fb) {
            return fa < fb ? -1 : 1;
        }
        if (fa == 0) {
            return 0;
        }
        // Equal folds have equal lengths (no fold crosses between the planes),
        // so both strings stay at the same position.
        i += unitsA;
    }
    return 0;
}

int compareNoCase(const char16_t* a, const char16_t* b) { return compareNoCaseN(a, b, static_cast<std::size_t>(-1)); }

bool startsWithNoCase(const char16_t* text, const char16_t* prefix)
{
    return compareNoCaseN(text, prefix, length(prefix)) == 0;
}

const char16_t* findNoCase(const char16_t* haystack, const char16_t* needle)
{
    if (haystack == nullptr || needle == nullptr || needle[0] == 0) {
        return nullptr;
    }
    const std::size_t n = length(needle);
    for (const char16_t* p = haystack; *p != 0; ++p) {
        if (compareNoCaseN(p, needle, n) == 0) {
            return p;
        }
    }
    return nullptr;
}

namespace {

#include "util/name_char_table.inc"

static_assert(std::size(NameCharFirst) == std::size(NameCharLength));

// Whether a code point next to a name makes it part of a longer one.
bool continuesName(char32_t c)
{
    switch (c) {
    case 0x200C:  // ZERO WIDTH NON-JOINER and JOINER hold a word together
    case 0x200D:
    case u'-':  // Jean-Luc, O'Brien
    case 0x2010:
    case 0x2011:
    case u'\'':
    case 0x2019:
        return true;
    default:
        break;
    }
    // The last run that starts at or before c.
    std::size_t lo = 0;
    std::size_t hi = std::size(NameCharFirst);
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (NameCharFirst[mid] <= c) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo > 0 && c - NameCharFirst[lo - 1] < NameCharLength[lo - 1];
}

// The code point that ends just before text[i] (i > 0).
char32_t codePointBefore(const char16_t* text, std::size_t i)
{
    if (i >= 2 && isLowSurrogate(text[i - 1]) && isHighSurrogate(text[i - 2])) {
        std::size_t units = 0;
        return codePointAt(text, i - 2, i, units);
    }
    return text[i - 1];
}

}  // namespace

NameMatch findName(const char16_t* text, const char16_t* name)
{
    if (text == nullptr || name == nullptr || name[0] == 0) {
        return NameMatch::None;
    }
    const std::size_t nameLength = length(name);
    NameMatch best = NameMatch::None;
    for (std::size_t start = 0; text[start] != 0; ++start) {
        if (text[start] == u' ' || (start > 0 && isLowSurrogate(text[start]) && isHighSurrogate(text[start - 1]))) {
            continue;  // a match starts at a character of its own
        }
        std::size_t at = start;
        std::size_t matched = 0;
        while (matched < nameLength) {
            while (at > start && text[at] == u' ') {
                ++at;
            }
            std::size_t textUnits = 1;
            std::size_t nameUnits = 1;
            const char32_t t = codePointAt(text, at, static_cast<std::size_t>(-1), textUnits);
            const char32_t n = codePointAt(name, matched, nameLength, nameUnits);
            if (t == 0 || foldCase(t) != foldCase(n)) {
                break;
            }
            at += textUnits;
            matched += nameUnits;
        }
        if (matched < nameLength) {
            continue;
        }
        const bool endsBefore = start == 0 || !continuesName(codePointBefore(text, start));
        std::size_t units = 0;
        const bool endsAfter =
            text[at] == 0 || !continuesName(codePointAt(text, at, static_cast<std::size_t>(-1), units));
        if (endsBefore && endsAfter) {
            return NameMatch::Whole;
        }
        best = NameMatch::InsideLongerName;
    }
    return best;
}

const char16_t* find(const char16_t* haystack, const char16_t* needle)
{
    if (haystack == nullptr || needle == nullptr) {
        return nullptr;
    }
    for (const char16_t* p = haystack;; ++p) {
        std::size_t i = 0;
        while (needle[i] != 0 && p[i] == needle[i]) {
            ++i;
        }
        if (needle[i] == 0) {
            return p;
        }
        if (*p == 0) {
            return nullptr;
        }
    }
}

const char16_t* findChar(const char16_t* text, char16_t c)
{
    if (text == nullptr) {
        return nullptr;
    }
    for (; *text != 0; ++text) {
        if (*text == c) {
            return text;
        }
    }
    return nullptr;
}

const char16_t* findLastChar(const char16_t* text, char16_t c)
{
    const char16_t* last = nullptr;
    if (text != nullptr) {
        for (; *text != 0; ++text) {
            if (*text == c) {
                last = text;
            }
        }
    }
    return last;
}

std::size_t spanExcluding(const char16_t* text, const char16_t* set)
{
    std::size_t n = 0;
    if (text == nullptr) {
        return 0;
    }
    while (text[n] != 0 && findChar(set, text[n]) == nullptr) {
        ++n;
    }
    return n;
}

bool copyWithoutSpaces(char16_t* dst, std::size_t dstSize, const char16_t* src)
{
    if (dst == nullptr || dstSize == 0) {
        return false;
    }
    std::size_t used = 0;
    for (; src != nullptr && *src != 0; ++src) {
        if (*src == u' ') {
            continue;
        }
        if (used + 1 == dstSize) {
            dst[used] = 0;
            return false;
        }
        dst[used++] = *src;
    }
    dst[used] = 0;
    return true;
}

namespace {
int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

// The byte of the escape at text, or -1 when text does not start one before
// `end`.
int escapedByte(const char16_t* text, const char16_t* end)
{
    if (end - text < 3 || text[0] != u'%') {
        return -1;
    }
    const int hi = hexValue(text[1]);
    const int lo = hi < 0 ? -1 : hexValue(text[2]);
    return lo < 0 ? -1 : hi * 16 + lo;
}

// The code point of a well-formed UTF-8 sequence spelled as escapes from text
// on, with the number of escapes it takes; 0 escapes when there is none. The
// second byte's range is what rules out overlong forms, encoded surrogates
// and code points above U+10FFFF.
char32_t utf8Sequence(const char16_t* text, const char16_t* end, int lead, std::size_t& escapes)
{
    escapes = 0;
    std::size_t length = 0;
    char32_t value = 0;
    int low = 0x80;
    int high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = static_cast<char32_t>(lead & 0x1F);
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = static_cast<char32_t>(lead & 0x0F);
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = static_cast<char32_t>(lead & 0x07);
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    const char16_t* next = text + 3;
    for (std::size_t i = 1; i < length; ++i, next += 3) {
        const int byte = escapedByte(next, end);
        if (byte < low || byte > high) {
            return 0;
        }
        value = (value << 6) | static_cast<char32_t>(byte & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    escapes = length;
    return value;
}
}  // namespace

std::optional<std::size_t> urlUnescape(char16_t* dst, std::size_t dstSize, const char16_t* src, std::size_t count,
                                       bool rawPlusIsSpace)
{
    if (dst == nullptr || dstSize == 0) {
        return std::nullopt;
    }
    std::size_t used = 0;
    const char16_t* const end = src + count;
    for (const char16_t* in = src; in < end && *in != 0;) {
        char16_t units[2] = {rawPlusIsSpace && *in == u'+' ? u' ' : *in, 0};
        std::size_t unitCount = 1;
        std::size_t consumed = 1;
        const int byte = escapedByte(in, end);
        if (byte >= 0) {
            std::size_t escapes = 0;
            const char32_t c = byte >= 0x80 ? utf8Sequence(in, end, byte, escapes) : 0;
            if (escapes == 0) {
                units[0] = static_cast<char16_t>(byte);
                consumed = 3;
            } else if (c >= 0x10000) {
                units[0] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                units[1] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
                unitCount = 2;
                consumed = 3 * escapes;
            } else {
                units[0] = static_cast<char16_t>(c);
                consumed = 3 * escapes;
            }
        }
        // A character fits whole or not at all: half a pair is no character.
        if (used + unitCount > dstSize - 1) {
            dst[used] = 0;
            return std::nullopt;
        }
        for (std::size_t i = 0; i < unitCount; ++i) {
            dst[used++] = units[i];
        }
        in += consumed;
    }
    dst[used] = 0;
    return used;
}

bool pathAppend(char16_t* dst, std::size_t dstSize, const char16_t* more)
{
    if (dst == nullptr || dstSize == 0) {
        return false;
    }
    std::size_t used = 0;
    while (used < dstSize && dst[used] != 0) {
        ++used;
    }
    if (used == dstSize) {
        return false;
    }
    if (more == nullptr) {
        more = u"";
    }
    while (*more == u'\\') {
        ++more;
    }
    const bool needSeparator = used > 0 && dst[used - 1] != u'\\' && *more != 0;
    const std::size_t total = used + (needSeparator ? 1 : 0) + length(more);
    if (total + 1 > dstSize) {
        return false;
    }
    if (needSeparator) {
        dst[used++] = u'\\';
    }
    copyString(dst + used, dstSize - used, more);
    return true;
}

bool pathRemoveFileSpec(char16_t* path)
{
    if (path == nullptr || path[0] == 0) {
        return false;
    }
    char16_t* lastSlash = const_cast<char16_t*>(findLastChar(path, u'\\'));
    if (lastSlash == nullptr) {
        // "C:" or a bare name: the shell function removes a bare name but
        // leaves a drive alone.
        if (path[1] == u':' && path[2] == 0) {
            return false;
        }
        path[0] = 0;
        return true;
    }
    if (lastSlash[1] == 0 && (lastSlash == path || (lastSlash == path + 2 && path[1] == u':'))) {
        return false;  // "\" or "C:\": a root keeps its backslash
    }
    if (lastSlash == path || (lastSlash == path + 2 && path[1] == u':')) {
        lastSlash[1] = 0;  // "C:\file" -> "C:\"
        return true;
    }
    *lastSlash = 0;
    return true;
}

}  // namespace util

#include "util/format.h"

namespace util {

namespace {

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

struct Writer {
    char16_t* dst;
    std::size_t size;
    std::size_t used = 0;
    bool truncated = false;

    // Once something did not fit, nothing more is written: the output stays
    // the start of the whole text.
    void put(char16_t c)
    {
        if (!truncated && used + 1 < size) {
            dst[used++] = c;
        } else {
            truncated = true;
        }
    }
    // A surrogate pair goes in whole or not at all: half of one is not a
    // character, and some readers of a UTF-16 file stop at it.
    void putPair(char16_t high, char16_t low)
    {
        if (!truncated && used + 2 < size) {
            dst[used++] = high;
            dst[used++] = low;
        } else {
            truncated = true;
        }
    }
    // An insert, its surrogate pairs kept whole, marked when asked.
    void putText(const char16_t* s, bool mark);
};

void putUnsigned(Writer& w, std::uint64_t value, bool negative, unsigned width, bool zeroPad)
{
    char16_t digits[24];
    unsigned n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    const unsigned total = n + (negative ? 1u : 0u);
    if (!zeroPad) {
        for (unsigned i = total; i < width; ++i) {
            w.put(u' ');
        }
    }
    if (negative) {
        w.put(u'-');
    }
    if (zeroPad) {
        for (unsigned i = total; i < width; ++i) {
            w.put(u'0');
        }
    }
    while (n > 0) {
        w.put(digits[--n]);
    }
}

// The visible mark of an insert's control character (see FormatOptions), or
// the character itself.
char16_t markControl(char16_t c)
{
    if (c == u'\t') {
        return c;
    }
    if (c < 0x20) {
        return static_cast<char16_t>(0x2400 + c);
    }
    if (c == 0x7F) {
        return 0x2421;
    }
    if ((c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
        (c >= 0x2066 && c <= 0x2069)) {
        return 0xFFFD;
    }
    return c;
}

void Writer::putText(const char16_t* s, bool mark)
{
    for (; *s != 0; ++s) {
        if (isHighSurrogate(s[0]) && isLowSurrogate(s[1])) {
            putPair(s[0], s[1]);
            ++s;
        } else if (mark && (isHighSurrogate(*s) || isLowSurrogate(*s))) {
            put(0xFFFD);  // a lone surrogate (see FormatOptions)
        } else {
            put(mark ? markControl(*s) : *s);
        }
    }
}

void putSigned(Writer& w, std::int64_t value, unsigned width, bool zeroPad)
{
    const bool negative = value < 0;
    // Negate in unsigned arithmetic so the most negative value survives.
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    putUnsigned(w, magnitude, negative, width, zeroPad);
}

}  // namespace

bool formatInto(char16_t* dst, std::size_t dstSize, const char16_t* format, const FormatArg* args, std::size_t argCount,
                FormatOptions options)
{
    if (dst == nullptr || dstSize == 0) {
        return false;
    }
    Writer w{dst, dstSize};
    std::size_t next = 0;
    bool bad = false;
    // `bad` is tested first: a bad conversion may stand on the terminator
    // ("...%" at the end), and the step past it must not be read.
    for (const char16_t* f = format != nullptr ? format : u""; !bad && *f != 0; ++f) {
        if (isHighSurrogate(f[0]) && isLowSurrogate(f[1])) {
            w.putPair(f[0], f[1]);
            ++f;
            continue;
        }
        if (*f != u'%') {
            w.put(*f);
            continue;
        }
        ++f;
        if (*f == u'%') {
            w.put(u'%');
            continue;
        }
        const bool zeroPad = *f == u'0';
        unsigned width = 0;
        while (*f >= u'0' && *f <= u'9') {
            width = width < 1000 ? width * 10 + static_cast<unsigned>(*f - u'0') : width;
            ++f;
        }
        const FormatArg* arg = next < argCount ? &args[next] : nullptr;
        ++next;
        if (*f == u's' && arg != nullptr && arg->kind == FormatArg::Kind::String) {
            w.putText(arg->text != nullptr ? arg->text : u"(null)", options.markControlsInInserts);
        } else if (*f == u'd' && arg != nullptr && arg->kind == FormatArg::Kind::Int32) {
            putSigned(w, arg->i32, width, zeroPad);
        } else if (*f == u'I' && f[1] == u'6' && f[2] == u'4' && f[3] == u'd' && arg != nullptr &&
                   arg->kind == FormatArg::Kind::Int64) {
            f += 3;
            putSigned(w, arg->i64, width, zeroPad);
        } else if (*f == u'p' && arg != nullptr && arg->kind == FormatArg::Kind::Pointer) {
            const auto value = static_cast<std::uint32_t>(arg->pointer);
            for (int shift = 28; shift >= 0; shift -= 4) {
                w.put(u"0123456789ABCDEF"[(value >> shift) & 0xF]);
            }
        } else {
            bad = true;
        }
    }
    dst[w.used] = 0;
    if (bad) {
        return false;
    }
    return !w.truncated;
}

}  // namespace util

// A small printf-style formatter for the program's own message texts.
//
// Conversions: %s (a UTF-16 string; null prints "(null)"), %d (32-bit signed),
// %I64d (64-bit signed), %p (a handle as eight upper-case hexadecimal digits,
// no prefix: window handles carry 32 significant bits on every Windows build
// and support tools read these numbers from the logs), and %% for a percent
// sign. %d and %I64d take a width with an optional leading zero ("%04d").
//
// The format must be a literal: FormatText checks it against the argument
// types at compile time, so a "%d" given a string does not compile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "util/strings.h"

namespace util {

struct FormatArg {
    enum class Kind : std::uint8_t { String, Int32, Int64, Pointer };
    Kind kind;
    union {
        const char16_t* text;
        std::int32_t i32;
        std::int64_t i64;
        std::uintptr_t pointer;
    };
};

template <class T>
constexpr FormatArg::Kind formatKindOf()
{
    using U = std::remove_cv_t<std::remove_reference_t<T>>;
    if constexpr (std::is_same_v<std::decay_t<U>, const char16_t*> || std::is_same_v<std::decay_t<U>, char16_t*>) {
        return FormatArg::Kind::String;
    } else if constexpr (std::is_pointer_v<U> || std::is_null_pointer_v<U>) {
        return FormatArg::Kind::Pointer;
    } else if constexpr (std::is_integral_v<U> && sizeof(U) <= 4) {
        return FormatArg::Kind::Int32;
    } else {
        static_assert(std::is_integral_v<U> && sizeof(U) == 8, "unsupported format argument type");
        return FormatArg::Kind::Int64;
    }
}

template <class T>
FormatArg makeFormatArg(const T& value)
{
    FormatArg arg{};
    arg.kind = formatKindOf<T>();
    if constexpr (formatKindOf<T>() == FormatArg::Kind::String) {
        arg.text = value;
    } else if constexpr (formatKindOf<T>() == FormatArg::Kind::Pointer) {
        arg.pointer = reinterpret_cast<std::uintptr_t>(value);
    } else if constexpr (formatKindOf<T>() == FormatArg::Kind::Int32) {
        arg.i32 = static_cast<std::int32_t>(value);
    } else {
        arg.i64 = static_cast<std::int64_t>(value);
    }
    return arg;
}

// Reached only during constant evaluation of a bad format: not being
// constexpr, it turns the mistake into a compile error at the call site.
void formatStringDoesNotMatchArguments();

// Walks the format and checks each conversion against the expected kinds.
constexpr bool formatMatches(const char16_t* f, const FormatArg::Kind* kinds, std::size_t count)
{
    std::size_t next = 0;
    for (std::size_t i = 0; f[i] != 0; ++i) {
        if (f[i] != u'%') {
            continue;
        }
        ++i;
        if (f[i] == u'%') {
            continue;
        }
        while (f[i] >= u'0' && f[i] <= u'9') {
            ++i;
        }
        FormatArg::Kind want{};
        if (f[i] == u's') {
            want = FormatArg::Kind::String;
        } else if (f[i] == u'd') {
            want = FormatArg::Kind::Int32;
        } else if (f[i] == u'p') {
            want = FormatArg::Kind::Pointer;
        } else if (f[i] == u'I' && f[i + 1] == u'6' && f[i + 2] == u'4' && f[i + 3] == u'd') {
            want = FormatArg::Kind::Int64;
            i += 3;
        } else {
            return false;
        }
        if (next >= count || kinds[next] != want) {
            return false;
        }
        ++next;
    }
    return next == count;
}

template <class... Args>
struct FormatText {
    const char16_t* text;

    template <std::size_t N>
    consteval FormatText(const char16_t (&literal)[N]) : text(literal)
    {
        constexpr FormatArg::Kind kinds[sizeof...(Args) + 1] = {formatKindOf<Args>()..., FormatArg::Kind::String};
        if (!formatMatches(literal, kinds, sizeof...(Args))) {
            formatStringDoesNotMatchArguments();
        }
    }
};

// Keeps the argument types out of deduction, so FormatText<Args...> is formed
// from the arguments and the literal is checked against them.
template <class... Args>
using CheckedFormat = FormatText<std::type_identity_t<Args>...>;

struct FormatOptions {
    // Replace control characters inside %s inserts by visible marks. Inserts
    // come from outside (URLs, window titles, the command line); left raw, a
    // line break in one would let its author forge lines in the log, an
    // escape or a backspace would rewrite what a console or viewer shows, and
    // a bidirectional override would show a line in another order than it
    // was written. So: a C0 control other than TAB becomes its Control
    // Pictures sign (U+2400 plus its code: CR U+240D, LF U+240A), DEL becomes
    // U+2421; the C1 controls (NEL U+0085 among them), the line and paragraph
    // separators U+2028/U+2029 and the bidirectional controls U+202A-U+202E
    // and U+2066-U+2069 become U+FFFD. TAB stays. A surrogate that is not
    // half of a pair (a title or a URL value can hold one) becomes U+FFFD
    // too: written as it is, the UTF-16 file would no longer be well-formed,
    // and some readers stop there. The format's own text is not touched.
    bool markControlsInInserts = false;
};

// The engine: formats into dst, cut to dstSize - 1 characters (one fewer where
// the cut would split a surrogate pair) and terminated.
// True when the whole text fitted; a format that does not match the arguments
// (possible only through this entry) stops at the bad conversion, with the
// text so far, and gives false too.
bool formatInto(char16_t* dst, std::size_t dstSize, const char16_t* format, const FormatArg* args, std::size_t argCount,
                FormatOptions options = {});

template <std::size_t N, class... Args>
bool formatString(char16_t (&dst)[N], CheckedFormat<Args...> format, const Args&... args)
{
    const FormatArg list[sizeof...(Args) + 1] = {makeFormatArg(args)..., FormatArg{}};
    return formatInto(dst, N, format.text, list, sizeof...(Args));
}

template <class... Args>
bool formatString(char16_t* dst, std::size_t dstSize, CheckedFormat<Args...> format, const Args&... args)
{
    const FormatArg list[sizeof...(Args) + 1] = {makeFormatArg(args)..., FormatArg{}};
    return formatInto(dst, dstSize, format.text, list, sizeof...(Args));
}

}  // namespace util

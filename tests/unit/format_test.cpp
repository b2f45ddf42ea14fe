// The message formatter: the conversions the program's texts use, the exact
// rendering support tools read, and the cut at the buffer's end.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "util/format.h"

TEST(Formatter, RendersEachConversionAsTheLogsShowIt)
{
    char16_t out[64];
    util::formatString(out, u"[%04d-%02d-%02d %02d:%02d:%02d] ", 2026, 12, 7, 9, 5, 0);
    EXPECT_EQ(std::u16string(out), u"[2026-12-07 09:05:00] ");

    util::formatString(out, u"%s=%s\n", u"action", u"answercall");
    EXPECT_EQ(std::u16string(out), u"action=answercall\n");

    util::formatString(out, u"Invalid parameter(s) %d\n", -4);
    EXPECT_EQ(std::u16string(out), u"Invalid parameter(s) -4\n");

    util::formatString(out, u"%d|%d|%04d|%I64d", INT32_MIN, 0, -7, INT64_MIN);
    EXPECT_EQ(std::u16string(out), u"-2147483648|0|-007|-9223372036854775808");

    util::formatString(out, u"age %I64d seconds", std::int64_t{172801});
    EXPECT_EQ(std::u16string(out), u"age 172801 seconds");

    util::formatString(out, u"100%% %s", static_cast<const char16_t*>(nullptr));
    EXPECT_EQ(std::u16string(out), u"100% (null)");
}

TEST(Formatter, PrintsHandlesAsEightUpperCaseDigitsOnEveryBuild)
{
    char16_t out[32];
    util::formatString(out, u"Window %p", reinterpret_cast<win::HWND>(std::uintptr_t{0x1a2b}));
    EXPECT_EQ(std::u16string(out), u"Window 00001A2B");
    util::formatString(out, u"%p", static_cast<win::HWND>(nullptr));
    EXPECT_EQ(std::u16string(out), u"00000000");
    // Window handles carry 32 significant bits: a sign-extended handle of a
    // 64-bit process prints as the same eight digits a 32-bit process shows.
    const auto extended = static_cast<std::uintptr_t>(static_cast<std::intptr_t>(std::int32_t{-0x7FF0}));
    util::formatString(out, u"%p", reinterpret_cast<win::HWND>(extended));
    EXPECT_EQ(std::u16string(out), u"FFFF8010");
}

TEST(Formatter, CutsAtTheBufferEndAndReportsIt)
{
    char16_t out[6];
    EXPECT_EQ(util::formatString(out, u"%s", u"abcdefgh"), win::STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(out), u"abcde");
    EXPECT_EQ(util::formatString(out, u"%d", 12345), win::S_OK);
    EXPECT_EQ(util::formatString(out, u"%d", 123456), win::STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(out), u"12345");
    EXPECT_EQ(util::formatString(out, 0, u"%d", 1), win::E_INVALIDARG);
    // A surrogate pair that would be cut in two is left out whole.
    EXPECT_EQ(util::formatString(out, u"%s", u"abcd\U0001F600"), win::STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(out), u"abcd");
}

TEST(Formatter, MarksControlCharactersOnlyInsideInsertsWhenAsked)
{
    const std::pair<std::u16string, std::u16string> marks[] = {
        {u"x\r\nforged line", u"x\u240D\u240Aforged line"},
        {u"\x01\x1B[2J\b\v\f\x1F", u"\u2401\u241B[2J\u2408\u240B\u240C\u241F"},
        {u"a\tb", u"a\tb"},                                   // TAB stays
        {u"\x7F", u"\u2421"},                                 // DEL
        {u"\u0080\u0085\u009B\u009F", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // C1, NEL and CSI among them
        {u"\u2028\u2029", u"\uFFFD\uFFFD"},                  // line and paragraph separators
        {u"\u202A\u202E\u2066\u2069", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // bidirectional controls
        // Lone surrogates, high or low, at the start, inside or at the end; a pair stays.
        {u"\xDC00" u"a\xD83D\xD83D\xDE00" u"b\xDE00\xD800", u"\uFFFDa\uFFFD\U0001F600b\uFFFD\uFFFD"},
        // Their neighbours are ordinary text.
        {u" ~\u00A0\u2027\u202F\u2065\u206A\u2400\u240A", u" ~\u00A0\u2027\u202F\u2065\u206A\u2400\u240A"},
    };
    util::FormatOptions marked;
    marked.markControlsInInserts = true;
    char16_t out[64];
    for (const auto& [insert, shown] : marks) {
        const util::FormatArg args[] = {util::makeFormatArg(insert.c_str())};
        util::formatInto(out, 64, u"\x1B\u202E%s\r\n", args, 1, marked);
        EXPECT_EQ(std::u16string(out), u"\x1B\u202E" + shown + u"\r\n") << "the format's own text stays";
        util::formatInto(out, 64, u"%s", args, 1);
        EXPECT_EQ(std::u16string(out), insert) << "unmarked unless asked";
    }
}

TEST(Formatter, RuntimeEntryStopsAtAConversionWithoutItsArgument)
{
    char16_t out[32];
    const util::FormatArg number[] = {util::makeFormatArg(5)};
    EXPECT_EQ(util::formatInto(out, 32, u"a %s b", number, 1), win::E_INVALIDARG);
    EXPECT_EQ(std::u16string(out), u"a ");
    EXPECT_EQ(util::formatInto(out, 32, u"%d %d", number, 1), win::E_INVALIDARG);
    EXPECT_EQ(util::formatInto(out, 32, u"%x", number, 1), win::E_INVALIDARG);
}

#include "allocation_counter.h"

TEST(Formatter, AllocatesNothing)
{
    char16_t out[1024];
    const AllocationCounter counter;
    util::formatString(out, u"[%04d-%02d-%02d %02d:%02d:%02d] %s %I64d %p", 2026, 12, 7, 1, 2, 3, u"x",
                       std::int64_t{-1}, static_cast<win::HWND>(nullptr));
    EXPECT_EQ(counter.count(), 0u);
}

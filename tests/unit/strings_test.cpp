// The bounded string helpers, the one case-folding rule every comparison of
// the program uses, and the message formatter: the conversions the program's
// texts use, the exact rendering support tools read, and the cut at the
// buffer's end.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "allocation_counter.h"
#include "test_text.h"
#include "util/format.h"
#include "util/strings.h"

namespace {
// What a bounded helper says: the whole text fitted, or not (cut, or a
// buffer of size zero).
constexpr bool Fitted = true;
constexpr bool Cut = false;
constexpr bool ZeroSize = false;
}  // namespace

TEST(BoundedCopy, NeverWritesPastTheBufferAndAlwaysTerminates)
{
    struct Case {
        const char16_t* src;
        std::size_t size;
        bool fitted;
        std::u16string text;
    };
    const Case cases[] = {
        {u"abc", 4, Fitted, u"abc"}, {u"abcd", 4, Cut, u"abc"}, {u"", 1, Fitted, u""},
        {u"a", 1, Cut, u""},         {nullptr, 4, Fitted, u""}, {u"abcdefgh", 2, Cut, u"a"},
    };
    for (const Case& c : cases) {
        char16_t buffer[10];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(util::copyString(buffer, c.size, c.src), c.fitted) << c.size;
        EXPECT_EQ(std::u16string(buffer), c.text);
        EXPECT_EQ(buffer[c.size], u'#') << "wrote past the buffer";
    }
    char16_t untouched[2] = {u'x', u'y'};
    EXPECT_EQ(util::copyString(untouched, 0, u"abc"), ZeroSize);
    EXPECT_EQ(untouched[0], u'x');
}

TEST(BoundedCopy, AppendKeepsTheTextThatFitsAndRepairsAnUnterminatedBuffer)
{
    char16_t buffer[6] = u"ab";
    EXPECT_EQ(util::appendString(buffer, u"cd"), Fitted);
    EXPECT_EQ(std::u16string(buffer), u"abcd");
    EXPECT_EQ(util::appendString(buffer, u"efg"), Cut);
    EXPECT_EQ(std::u16string(buffer), u"abcde");

    char16_t full[3] = {u'a', u'b', u'c'};  // no terminator inside its size
    EXPECT_EQ(util::appendString(full, u"d"), Cut);
    EXPECT_EQ(full[2], 0);
    EXPECT_EQ(util::appendString(buffer, 0, u"x"), ZeroSize);

    char16_t limited[10];
    EXPECT_EQ(util::copyStringN(limited, 10, u"abcdef", 3), Fitted);
    EXPECT_EQ(std::u16string(limited), u"abc");
}

TEST(CaseFolding, LettersFoldToOneFormAndCharactersWithoutASimpleFoldStandForThemselves)
{
    const std::pair<char32_t, char32_t> pairs[] = {
        {u'a', u'A'},
        {u'z', u'Z'},
        {0xE0, 0xC0} /* à À */,
        {0xFE, 0xDE} /* þ Þ */,
        {0xFF, 0x178} /* ÿ Ÿ */,
        {0x101, 0x100} /* ā Ā */,
        {0x11B, 0x11A} /* ě Ě */,
        {0x142, 0x141} /* ł Ł */,
        {0x151, 0x150} /* ő Ő */,
        {0x17E, 0x17D} /* ž Ž */,
        {0x3B1, 0x391} /* α Α */,
        {0x436, 0x416} /* ж Ж */,
        {0x451, 0x401} /* ё Ё */,
        {0x3C3, 0x3C2} /* σ ς */,
        {0xDF, 0x1E9E} /* ß ẞ */,
        {0x1E922, 0x1E900} /* Adlam, beyond the Basic Multilingual Plane */,
    };
    for (const auto& [lower, upper] : pairs) {
        EXPECT_EQ(util::foldCase(upper), lower) << std::hex << int(upper);
        EXPECT_EQ(util::foldCase(lower), lower) << std::hex << int(lower);
    }
    // No simple fold: the multiplication and division signs, the Turkish
    // dotted and dotless i, kra, surrogates and code points past the last
    // plane stay apart.
    for (char32_t c : {char32_t{0xD7}, char32_t{0xF7}, char32_t{0x130}, char32_t{0x131}, char32_t{0x138},
                       char32_t{0xD800}, char32_t{0xDC00}, char32_t{u'@'}, char32_t{u'['}, char32_t{0x110000}}) {
        EXPECT_EQ(util::foldCase(c), c) << std::hex << int(c);
    }
    EXPECT_NE(util::foldCase(0x131), util::foldCase(u'I'));
}

TEST(CaseInsensitiveComparison, BehavesLikeThePlatformFunctions)
{
    EXPECT_EQ(util::compareNoCase(u"AnswerCall", u"answercall"), 0);
    EXPECT_NE(util::compareNoCase(u"answercall ", u"answercall"), 0);
    EXPECT_EQ(util::compareNoCase(u"Microsoft Teams-Benachrichtigung", u"MICROSOFT TEAMS-BENACHRICHTIGUNG"), 0);
    EXPECT_EQ(util::compareNoCase(u"durchgef\u00FChrt", u"DURCHGEF\u00DCHRT"), 0);
    EXPECT_LT(util::compareNoCase(u"abc", u"abd"), 0);
    EXPECT_GT(util::compareNoCase(u"abd", u"ABC"), 0);

    // Over n characters a shorter string compares by its terminator.
    EXPECT_EQ(util::compareNoCaseN(u"velmorathis.mirrowcast:x", u"Velmorathis.Mirrowcast", 22), 0);
    EXPECT_NE(util::compareNoCaseN(u"Team", u"Teams", 5), 0);
    EXPECT_EQ(util::compareNoCaseN(u"Team", u"Teams", 4), 0);
    EXPECT_EQ(util::compareNoCaseN(u"", u"", 5), 0);
    EXPECT_TRUE(util::startsWithNoCase(u"microsoft teams notification - x", u"Microsoft Teams Notification"));
    EXPECT_FALSE(util::startsWithNoCase(u"Microsoft Teams", u"Microsoft Teams Notification"));
}

TEST(CaseInsensitiveComparison, FoldsEveryScriptByCodePointAndNeverByLanguage)
{
    const char16_t* const DeseretLower = u"\U00010428\U00010429";
    const char16_t* const DeseretUpper = u"\U00010400\U00010401";
    struct Case {
        const char16_t* a;
        const char16_t* b;
        bool same;
    };
    const Case cases[] = {
        {u"\u0219tefan", u"\u0218TEFAN", true},                            // ștefan ȘTEFAN, Romanian comma below
        {u"\u03AC\u03BD\u03BD\u03B1", u"\u0386\u039D\u039D\u0391", true},  // άννα ΆΝΝΑ
        {u"\u0491\u0430\u043D\u043D\u0430", u"\u0490\u0410\u041D\u041D\u0410", true},  // ґанна ҐАННА
        {u"\u0111\u1EE9c", u"\u0110\u1EE8C", true},                                    // đức ĐỨC
        {u"\uFF41\uFF42\uFF43", u"\uFF21\uFF22\uFF23", true},                          // full-width ａｂｃ ＡＢＣ
        {DeseretLower, DeseretUpper, true},  // a pair of surrogates, folded whole
        {u"\U00010428x", u"\U00010400X", true},
        {u"\xD801x", u"\xD801X", true},  // a lone surrogate stands for itself
        // Linguistic or language-bound equalities are no simple folds.
        {u"stra\u00DFe", u"STRASSE", false},
        {u"\u0130", u"i", false},  // İ i
        {u"\u0131", u"I", false},  // ı I
        {u"\U00010428", u"\U00010401", false},
    };
    for (const Case& c : cases) {
        const std::u16string a = c.a;
        const std::u16string b = c.b;
        EXPECT_EQ(util::compareNoCase(c.a, c.b) == 0, c.same) << narrow(a);
        EXPECT_EQ(util::compareNoCase(c.b, c.a) == 0, c.same) << narrow(a);
        const std::u16string title = u"Call with " + b + u" (2)";
        EXPECT_EQ(util::findNoCase(title.c_str(), c.a), c.same ? title.c_str() + 10 : nullptr) << narrow(a);
    }
    EXPECT_NE(util::compareNoCase(u"\xD801", DeseretUpper), 0) << "a lone surrogate is not the pair";
    // n counts units: a pair cut by n is compared as its first unit only.
    EXPECT_EQ(util::compareNoCaseN(u"\U00010428", u"\U00010429", 1), 0);
    EXPECT_NE(util::compareNoCaseN(u"\U00010428", u"\U00010429", 2), 0);
}

TEST(SubstringSearch, CaseInsensitiveSearchNeverFindsAnEmptyNeedle)
{
    const char16_t* title = u"Call with JOHN SMITH";
    EXPECT_EQ(util::findNoCase(title, u"john smith"), title + 10);
    EXPECT_EQ(util::findNoCase(title, u"johnsmith"), nullptr);
    EXPECT_EQ(util::findNoCase(title, u""), nullptr);
    EXPECT_EQ(util::findNoCase(u"", u"a"), nullptr);
    const char16_t* overlapping = u"aaab";  // a false start must not skip the real match
    EXPECT_EQ(util::findNoCase(overlapping, u"AAB"), overlapping + 1);

    const char16_t* queue = u"KVX Queue 1";
    EXPECT_EQ(util::find(queue, u"KVX"), queue);
    EXPECT_EQ(util::find(u"kvx queue 1", u"KVX"), nullptr);
    EXPECT_EQ(util::find(queue, u""), queue);

    const char16_t* path = u"\\Device\\Apps\\Teams.exe";
    EXPECT_EQ(std::u16string(util::findLastChar(path, u'\\')), u"\\Teams.exe");
    EXPECT_EQ(util::findLastChar(u"Teams.exe", u'\\'), nullptr);
    EXPECT_EQ(util::spanExcluding(u"action=a&b", u"&#"), 8u);
    EXPECT_EQ(util::spanExcluding(u"#x", u"&#"), 0u);
    EXPECT_EQ(util::spanExcluding(u"abc", u"&#"), 3u);
}

TEST(SubstringSearch, ANameStandsOnItsOwnOnlyBetweenCharactersThatEndIt)
{
    using util::NameMatch;
    struct Case {
        const char16_t* name;  // as the lookup passes it, without spaces
        const char16_t* title;
        NameMatch match;
    };
    const Case cases[] = {
        {u"JohnSmith", u"Call with JOHN SMITH", NameMatch::Whole},
        {u"JohnSmith", u"JohnSmith", NameMatch::Whole},
        {u"JohnSmith", u"John  Smith | Microsoft Teams", NameMatch::Whole},
        {u"Smith", u"Call with John Smith", NameMatch::Whole},
        {u"JohnSmith", u"Call with JohnSmithson", NameMatch::InsideLongerName},
        {u"Jean", u"Jean-Luc Picard", NameMatch::InsideLongerName},
        {u"Jean", u"Jean\u2011Luc Picard", NameMatch::InsideLongerName},
        {u"Brien", u"O'Brien", NameMatch::InsideLongerName},
        {u"Brien", u"O\u2019Brien", NameMatch::InsideLongerName},
        {u"Ann", u"Anna Berg | Microsoft Teams", NameMatch::InsideLongerName},
        {u"Ann", u"Call with Joanne Smith", NameMatch::InsideLongerName},
        {u"Ann", u"Anna Berg, Ann Lee", NameMatch::Whole},  // the second one stands alone
        {u"Ann", u"Ann2", NameMatch::InsideLongerName},
        {u"Ann", u"(Ann)", NameMatch::Whole},
        {u"Ann", u"Ann\u200D", NameMatch::InsideLongerName},
        {u"Jose", u"Jose\u0301 Garcia", NameMatch::InsideLongerName},  // a combining acute accent
        {u"Ann", u"\U00010400Ann", NameMatch::InsideLongerName},       // a letter beyond the BMP
        {u"\u738B\u5C0F\u660E", u"\u738B\u5C0F\u660E\u3055\u3093\u3068\u306E\u901A\u8A71", NameMatch::Whole},
        {u"\u0E2A\u0E21\u0E0A\u0E32\u0E22", u"\u0E2A\u0E21\u0E0A\u0E32\u0E22\u0E42\u0E17\u0E23", NameMatch::Whole},
        {u"Ann", u"Ann\u738B", NameMatch::Whole},
        {u"\u0219tefan", u"Call with \u0218TEFAN", NameMatch::Whole},
        {u"Ann", u"Bob Lee", NameMatch::None},
        {u"", u"Anything", NameMatch::None},
        {u"Ann", u"", NameMatch::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(util::findName(c.title, c.name), c.match) << narrow(c.title);
    }
}

TEST(SpaceFreeCopy, RemovesOnlyU0020AndStaysWithinTheBuffer)
{
    char16_t out[8];
    EXPECT_EQ(util::copyWithoutSpaces(out, 8, u"John  Smith"), Cut);
    EXPECT_EQ(std::u16string(out), u"JohnSmi");
    EXPECT_EQ(util::copyWithoutSpaces(out, 8, u"a\tb c"), Fitted);
    EXPECT_EQ(std::u16string(out), u"a\tbc");
    EXPECT_EQ(util::copyWithoutSpaces(out, 8, u"   "), Fitted);
    EXPECT_EQ(std::u16string(out), u"");
}

TEST(PercentDecoding, DecodesCompleteEscapesAndWellFormedUtf8Runs)
{
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"John%20Smith", u"John Smith"},
        {u"a%26b%23c", u"a&b#c"},
        {u"a+b", u"a+b"},
        {u"%C3%B6", u"\u00F6"},
        {u"%C8%99tefan", u"\u0219tefan"},  // encodeURIComponent("ștefan")
        {u"%e2%82%ac", u"\u20AC"},         // three bytes, lower-case digits
        {u"%F0%90%90%80", u"\U00010400"},  // four bytes: a surrogate pair
        {u"%F4%8F%BF%BF", u"\U0010FFFF"},  // the last code point
        {u"M%FCller", u"M\u00FCller"},     // Latin-1 escapes stay single units
        {u"%C3%B6%FC", u"\u00F6\u00FC"},
        {u"%80%BF", u"\u0080\u00BF"},                             // continuation bytes without a lead
        {u"%C0%80", u"\u00C0\u0080"},                             // overlong
        {u"%E0%80%80", u"\u00E0\u0080\u0080"},                    // overlong
        {u"%ED%A0%80", u"\u00ED\u00A0\u0080"},                    // an encoded surrogate
        {u"%F4%90%80%80", u"\u00F4\u0090\u0080\u0080"},           // above U+10FFFF
        {u"%F8%88%80%80%80", u"\u00F8\u0088\u0080\u0080\u0080"},  // no such lead
        {u"%E2%82", u"\u00E2\u0082"},                             // cut at the end
        {u"%E2%82%4", u"\u00E2\u0082%4"},                         // cut by an incomplete escape
        {u"%C3x%B6", u"\u00C3x\u00B6"},                           // split by a literal character
        {u"%C3%C3%B6", u"\u00C3\u00F6"},                          // a failed lead, then a sequence
        {u"%", u"%"},
        {u"%4", u"%4"},
        {u"%G1", u"%G1"},
        {u"100%", u"100%"},
        {u"%2541", u"%41"},  // decoded once, not again
        {u"%0D%0A", u"\r\n"},
        {u"%e9t%C9", u"\u00E9t\u00C9"},
    };
    char16_t out[16];
    for (const auto& [in, expected] : cases) {
        EXPECT_EQ(util::urlUnescape(out, 16, in.c_str(), in.size(), false), expected.size()) << narrow(in);
        EXPECT_EQ(std::u16string(out), expected) << narrow(in);
    }
    // A '+' that stood raw is a form's space; %2B is a '+' the page meant.
    EXPECT_EQ(util::urlUnescape(out, 16, u"a+b%2Bc", 7, true), 5u);
    EXPECT_EQ(std::u16string(out), u"a b+c");
    // An escaped zero ends the text but counts in the length.
    EXPECT_EQ(util::urlUnescape(out, 8, u"ab%00cd", 7, false), 5u);
    EXPECT_EQ(std::u16string(out), u"ab");
    // The count ends the text, an escape too: "%4" of "%41" is no escape.
    EXPECT_EQ(util::urlUnescape(out, 8, u"x%41", 3, false), 3u);
    EXPECT_EQ(std::u16string(out), u"x%4");
    // Seven units fit in eight; a pair that would be the eighth does not.
    EXPECT_EQ(util::urlUnescape(out, 8, u"%41%41%41%41%41%41%41", 21, false), 7u);
    EXPECT_EQ(util::urlUnescape(out, 8, u"abcdefgh", 8, false), std::nullopt);
    EXPECT_EQ(util::urlUnescape(out, 8, u"abcdef%F0%90%90%80", 18, false), std::nullopt);
    EXPECT_EQ(std::u16string(out), u"abcdef") << "never half a pair";
}

TEST(Paths, AppendAndRemoveFileSpecLikeTheShellHelpers)
{
    char16_t path[60] = u"C:\\ProgramData";
    EXPECT_EQ(util::pathAppend(path, 60, u"Velmorathis\\Velmorathis Mirrowcast\\"), Fitted);
    EXPECT_EQ(std::u16string(path), u"C:\\ProgramData\\Velmorathis\\Velmorathis Mirrowcast\\");
    char16_t root[10] = u"C:\\";
    EXPECT_EQ(util::pathAppend(root, 10, u"x"), Fitted);
    EXPECT_EQ(std::u16string(root), u"C:\\x");
    char16_t small[10] = u"C:\\abc";
    EXPECT_EQ(util::pathAppend(small, 10, u"defgh"), Cut);
    EXPECT_EQ(std::u16string(small), u"C:\\abc") << "a path that does not fit is left as it was";

    const std::tuple<std::u16string, bool, std::u16string> cases[] = {
        {u"C:\\ProgramData\\V\\VelmorathisMirrowcast1.log", true, u"C:\\ProgramData\\V"},
        {u"C:\\file.log", true, u"C:\\"},
        {u"C:\\", false, u"C:\\"},
        {u"name.log", true, u""},
        {u"", false, u""},
    };
    for (const auto& [in, removed, out] : cases) {
        std::u16string text = in;
        EXPECT_EQ(util::pathRemoveFileSpec(text.data()), removed);
        EXPECT_EQ(std::u16string(text.c_str()), out);
    }
}

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
    EXPECT_EQ(util::formatString(out, u"%s", u"abcdefgh"), Cut);
    EXPECT_EQ(std::u16string(out), u"abcde");
    EXPECT_EQ(util::formatString(out, u"%d", 12345), Fitted);
    EXPECT_EQ(util::formatString(out, u"%d", 123456), Cut);
    EXPECT_EQ(std::u16string(out), u"12345");
    EXPECT_EQ(util::formatString(out, 0, u"%d", 1), ZeroSize);
    // A surrogate pair that would be cut in two is left out whole.
    EXPECT_EQ(util::formatString(out, u"%s", u"abcd\U0001F600"), Cut);
    EXPECT_EQ(std::u16string(out), u"abcd");
}

TEST(Formatter, MarksControlCharactersOnlyInsideInsertsWhenAsked)
{
    const std::pair<std::u16string, std::u16string> marks[] = {
        {u"x\r\nforged line", u"x\u240D\u240Aforged line"},
        {u"\x01\x1B[2J\b\v\f\x1F", u"\u2401\u241B[2J\u2408\u240B\u240C\u241F"},
        {u"a\tb", u"a\tb"},                                          // TAB stays
        {u"\x7F", u"\u2421"},                                        // DEL
        {u"\u0080\u0085\u009B\u009F", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // C1, NEL and CSI among them
        {u"\u2028\u2029", u"\uFFFD\uFFFD"},                          // line and paragraph separators
        {u"\u202A\u202E\u2066\u2069", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // bidirectional controls
        // Lone surrogates, high or low, at the start, inside or at the end; a pair stays.
        {u"\xDC00"
         u"a\xD83D\xD83D\xDE00"
         u"b\xDE00\xD800",
         u"\uFFFDa\uFFFD\U0001F600b\uFFFD\uFFFD"},
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
    EXPECT_EQ(util::formatInto(out, 32, u"a %s b", number, 1), ZeroSize);
    EXPECT_EQ(std::u16string(out), u"a ");
    EXPECT_EQ(util::formatInto(out, 32, u"%d %d", number, 1), ZeroSize);
    EXPECT_EQ(util::formatInto(out, 32, u"%x", number, 1), ZeroSize);
}

TEST(Formatter, AllocatesNothing)
{
    char16_t out[1024];
    const AllocationCounter counter;
    util::formatString(out, u"[%04d-%02d-%02d %02d:%02d:%02d] %s %I64d %p", 2026, 12, 7, 1, 2, 3, u"x",
                       std::int64_t{-1}, static_cast<win::HWND>(nullptr));
    EXPECT_EQ(counter.count(), 0u);
}

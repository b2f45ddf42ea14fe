// The bounded string helpers and the one case-folding rule every comparison of
// the program uses.
#include <gtest/gtest.h>

#include <string>

#include "util/strings.h"

using util::HRESULT;

namespace {
constexpr HRESULT Ok = win::S_OK;
constexpr HRESULT Cut = win::STRSAFE_E_INSUFFICIENT_BUFFER;
constexpr HRESULT ZeroSize = win::E_INVALIDARG;
}  // namespace

TEST(BoundedCopy, NeverWritesPastTheBufferAndAlwaysTerminates)
{
    struct Case {
        const char16_t* src;
        std::size_t size;
        HRESULT result;
        std::u16string text;
    };
    const Case cases[] = {
        {u"abc", 4, Ok, u"abc"},  {u"abcd", 4, Cut, u"abc"}, {u"", 1, Ok, u""},
        {u"a", 1, Cut, u""},      {nullptr, 4, Ok, u""},     {u"abcdefgh", 2, Cut, u"a"},
    };
    for (const Case& c : cases) {
        char16_t buffer[10];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(util::copyString(buffer, c.size, c.src), c.result) << c.size;
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
    EXPECT_EQ(util::appendString(buffer, u"cd"), Ok);
    EXPECT_EQ(std::u16string(buffer), u"abcd");
    EXPECT_EQ(util::appendString(buffer, u"efg"), Cut);
    EXPECT_EQ(std::u16string(buffer), u"abcde");

    char16_t full[3] = {u'a', u'b', u'c'};  // no terminator inside its size
    EXPECT_EQ(util::appendString(full, u"d"), Cut);
    EXPECT_EQ(full[2], 0);
    EXPECT_EQ(util::appendString(buffer, 0, u"x"), ZeroSize);

    char16_t limited[10];
    EXPECT_EQ(util::copyStringN(limited, 10, u"abcdef", 3), Ok);
    EXPECT_EQ(std::u16string(limited), u"abc");
}

TEST(CaseFolding, LatinLettersFoldBothWaysAndOtherCharactersStandForThemselves)
{
    const std::pair<char16_t, char16_t> pairs[] = {
        {u'a', u'A'},         {u'z', u'Z'},         {0xE0, 0xC0} /* à À */, {0xFE, 0xDE} /* þ Þ */,
        {0xFF, 0x178} /* ÿ Ÿ */, {0x101, 0x100} /* ā Ā */, {0x11B, 0x11A} /* ě Ě */, {0x142, 0x141} /* ł Ł */,
        {0x151, 0x150} /* ő Ő */, {0x17E, 0x17D} /* ž Ž */, {0x3B1, 0x391} /* α Α */, {0x436, 0x416} /* ж Ж */,
        {0x451, 0x401} /* ё Ё */,
    };
    for (const auto& [lower, upper] : pairs) {
        EXPECT_EQ(util::foldCase(lower), util::foldCase(upper)) << std::hex << int(lower);
        EXPECT_EQ(util::foldCase(lower), upper) << std::hex << int(lower);
    }
    // No simple pair: the multiplication and division signs, ß, the Turkish
    // dotted and dotless i, kra, final sigma and surrogates stay apart.
    for (char16_t c : {char16_t{0xD7}, char16_t{0xF7}, char16_t{0xDF}, char16_t{0x130}, char16_t{0x131},
                       char16_t{0x138}, char16_t{0x3C2}, char16_t{0xD800}, char16_t{0xDC00}, char16_t{u'@'},
                       char16_t{u'['}}) {
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

TEST(SpaceFreeCopy, RemovesOnlyU0020AndStaysWithinTheBuffer)
{
    char16_t out[8];
    EXPECT_EQ(util::copyWithoutSpaces(out, 8, u"John  Smith"), Cut);
    EXPECT_EQ(std::u16string(out), u"JohnSmi");
    EXPECT_EQ(util::copyWithoutSpaces(out, 8, u"a\tb c"), Ok);
    EXPECT_EQ(std::u16string(out), u"a\tbc");
    EXPECT_EQ(util::copyWithoutSpaces(out, 8, u"   "), Ok);
    EXPECT_EQ(std::u16string(out), u"");
}

TEST(PercentDecoding, DecodesOnlyCompleteEscapesToSingleCodeUnits)
{
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"John%20Smith", u"John Smith"},
        {u"a%26b%23c", u"a&b#c"},
        {u"a+b", u"a+b"},
        {u"%C3%B6", u"\u00C3\u00B6"},  // no UTF-8 decoding: two code units
        {u"%", u"%"},
        {u"%4", u"%4"},
        {u"%G1", u"%G1"},
        {u"100%", u"100%"},
        {u"%2541", u"%41"},  // decoded once, not again
        {u"%0D%0A", u"\r\n"},
        {u"%e9t%C9", u"\u00E9t\u00C9"},
    };
    for (const auto& [in, out] : cases) {
        std::u16string text = in;
        util::urlUnescapeInPlace(text.data());
        EXPECT_EQ(std::u16string(text.c_str()), out) << std::string(in.begin(), in.end());
    }
    std::u16string withNul = u"ab%00cd";
    util::urlUnescapeInPlace(withNul.data());
    EXPECT_EQ(std::u16string(withNul.c_str()), u"ab");
}

TEST(Paths, AppendAndRemoveFileSpecLikeTheShellHelpers)
{
    char16_t path[60] = u"C:\\ProgramData";
    EXPECT_EQ(util::pathAppend(path, 60, u"Velmorathis\\Velmorathis Mirrowcast\\"), Ok);
    EXPECT_EQ(std::u16string(path), u"C:\\ProgramData\\Velmorathis\\Velmorathis Mirrowcast\\");
    char16_t root[10] = u"C:\\";
    EXPECT_EQ(util::pathAppend(root, 10, u"x"), Ok);
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

// The protocol URL parser: results, which slots a query fills, decoding, and
// the fixed-size values under long and hostile input.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "allocation_counter.h"
#include "test_text.h"
#include "url/invocation_parameters.h"

// The parser's result as the number "Invalid parameter(s) %d" shows.
template <class... Args>
std::int32_t parsed(Args&&... args)
{
    return number(parseUrlParameters(std::forward<Args>(args)...));
}

namespace {

// action, participant, participantnumber, participant2, participant2number
using Values = std::array<std::u16string, InvocationParameters::Count>;

Values valuesOf(const InvocationParameters& p)
{
    return {p.slots[0].value, p.slots[1].value, p.slots[2].value, p.slots[3].value, p.slots[4].value};
}

}  // namespace

TEST(UrlParameters, TableHoldsTheFiveNamesInOrderWithEmptyValues)
{
    const InvocationParameters p;
    const char16_t* names[] = {u"action", u"participant", u"participantnumber", u"participant2",
                               u"participant2number"};
    for (std::size_t i = 0; i < InvocationParameters::Count; ++i) {
        EXPECT_EQ(std::u16string(p.slots[i].name), names[i]);
        EXPECT_EQ(p.slots[i].value[0], 0);
    }
}

TEST(UrlParameters, QueriesFillTheRightSlots)
{
    struct Case {
        std::u16string url;
        std::int32_t result;
        Values values;
    };
    const std::u16string base = u"Velmorathis.Mirrowcast:TeamsCall?";
    const Case cases[] = {
        {base + u"action=answercall&participant=John%20Smith", 0, {u"answercall", u"John Smith"}},
        {base, 0, {}},
        // Empty segments are skipped, wherever they stand.
        {base + u"&action=answercall", 0, {u"answercall"}},
        {base + u"action=closecallwindow&&participant=John%20Smith", 0, {u"closecallwindow", u"John Smith"}},
        {base + u"#&action=a&#participant=b##participant2=c&", 0, {u"a", u"b", u"", u"c"}},
        {base + u"action=answercall#participant=x", 0, {u"answercall", u"x"}},
        {base + u"action=answercall&", 0, {u"answercall"}},
        {base + u"participant=&action=closecallwindow", 0, {u"closecallwindow", u""}},
        {base + u"participant&action=x", 0, {u"x"}},
        {base + u"participantnumber=5", 0, {u"", u"", u"5"}},
        {base + u"participant2=b&participant2number=7&participant=a", 0, {u"", u"a", u"", u"b", u"7"}},
        {base + u"PARTICIPANT=MixedCase", 0, {u"", u"MixedCase"}},
        {base + u"participant=a%26b%23c", 0, {u"", u"a&b#c"}},
        {base + u"participant=a+b", 0, {u"", u"a+b"}},
        {base + u"participant=%C3%B6", 0, {u"", u"\u00F6"}},
        {base + u"participant=%C8%99tefan%20%F0%90%90%80", 0, {u"", u"\u0219tefan \U00010400"}},
        {base + u"participant=M%FCller", 0, {u"", u"M\u00FCller"}},
        {base + u"p%61rticipant=x", 0, {}},
        {base + u"participant=x&participant=y", 0, {u"", u"y"}},
        {base + u"action=answercall=now", 0, {u"answercall=now"}},
        {base + u"unknown=1&action=a", 0, {u"a"}},
        {u"x:teamscall?action=answercall", 0, {u"answercall"}},
        {u"x:TeamsCallback?action=answercall", 0, {u"answercall"}},
        {u"x:TeamsCall/extra?action=a", 0, {u"a"}}, {u"x:TeamsCall?action=a?b", 0, {u"a?b"}},
        {u"no colon here?action=a", -1, {}}, {u"x://TeamsCall?action=a", -2, {}}, {u"x:Teams?action=a", -2, {}},
        {u"x:TeamsCall", -3, {}}, {u"x:TeamsCall&action=a", -3, {}},
    };
    for (const Case& c : cases) {
        InvocationParameters p;
        EXPECT_EQ(parsed(c.url.c_str(), u"TeamsCall", p), c.result) << narrow(c.url);
        EXPECT_EQ(valuesOf(p), c.values) << narrow(c.url);
    }
}

TEST(UrlParameters, ValuesAreBoundedAt255UnitsAsDecoded)
{
    // The limit is on the value as decoded: browsers encode every letter of
    // a Cyrillic name as six characters, and a name of 200 such letters fits.
    const std::u16string prefix = u"Velmorathis.Mirrowcast:TeamsCall?action=answercall&participant=";
    auto times = [](std::size_t n, const std::u16string& text) {
        std::u16string out;
        for (std::size_t i = 0; i < n; ++i) {
            out += text;
        }
        return out;
    };
    const std::u16string pair = u"%F0%90%90%80";  // U+10400, two units
    const std::pair<std::u16string, std::u16string> fits[] = {
        {times(255, u"x"), times(255, u"x")},
        {times(255, u"%41"), times(255, u"A")},
        {times(200, u"%D0%90"), times(200, u"\u0410")},
        {times(253, u"v") + pair, times(253, u"v") + u"\U00010400"},
    };
    for (const auto& [raw, decoded] : fits) {
        InvocationParameters p;
        const std::u16string url = prefix + raw + u"&participant2=z";
        EXPECT_EQ(parsed(url.c_str(), u"TeamsCall", p), 0) << raw.size();
        EXPECT_EQ(std::u16string(p.slots[1].value), decoded) << raw.size();
        EXPECT_EQ(std::u16string(p.slots[3].value), u"z");
    }
    for (const std::u16string& raw : {times(256, u"x"), times(256, u"%41"), times(254, u"v") + pair,
                                      times(32766, u"y")}) {
        InvocationParameters p;
        const std::u16string url = prefix + raw + u"&participant2=z";
        EXPECT_EQ(parsed(url.c_str(), u"TeamsCall", p), -4) << raw.size();
        EXPECT_EQ(std::u16string(p.slots[0].value), u"answercall") << "what was filled before stays";
        EXPECT_EQ(p.slots[2].name[0], u'p') << "next slot's name untouched";
        EXPECT_EQ(p.slots[3].value[0], 0) << "-4 stops the parse";
        EXPECT_LT(std::char_traits<char16_t>::length(p.slots[1].value), InvocationParameter::Capacity);
    }
}

TEST(UrlParameters, HostileQueriesKeepEverySlotTerminated)
{
    std::u16string many = u"x:TeamsCall?";
    for (int i = 0; i < 1000; ++i) {
        many += u"participant=" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u"&";
    }
    many += u"action=last";
    InvocationParameters p;
    EXPECT_EQ(parsed(many.c_str(), u"TeamsCall", p), 0);
    EXPECT_EQ(std::u16string(p.slots[0].value), u"last");
    EXPECT_EQ(std::u16string(p.slots[1].value), std::u16string(1, static_cast<char16_t>(u'a' + 999 % 26)));

    const std::u16string odd[] = {
        u"x:TeamsCall?participant=%", u"x:TeamsCall?participant=%4", u"x:TeamsCall?participant=%G1",
        u"x:TeamsCall?participant=%00tail", u"x:TeamsCall?participant=%D800", u"x:TeamsCall?participant=\t\r\n",
        u"x:TeamsCall?participant=%22%0D%0A", u"x:TeamsCall?=&=&==",
    };
    for (const std::u16string& url : odd) {
        InvocationParameters q;
        EXPECT_EQ(parsed(url.c_str(), u"TeamsCall", q), 0) << narrow(url);
        for (const InvocationParameter& slot : q.slots) {
            EXPECT_LT(std::char_traits<char16_t>::length(slot.value), InvocationParameter::Capacity);
        }
    }
    InvocationParameters q;
    parsed(u"x:TeamsCall?participant=%4", u"TeamsCall", q);
    EXPECT_EQ(std::u16string(q.slots[1].value), u"%4");
    parsed(u"x:TeamsCall?participant=%00tail", u"TeamsCall", q);
    EXPECT_EQ(std::u16string(q.slots[1].value), u"");
}

TEST(UrlParameters, FailuresBeforeTheQueryLeaveTheTableUnchanged)
{
    InvocationParameters p;
    parsed(u"x:TeamsCall?participant=kept", u"TeamsCall", p);
    for (const char16_t* bad : {u"nocolon", u"x:Other?participant=y", u"x:TeamsCall"}) {
        EXPECT_LT(parsed(bad, u"TeamsCall", p), 0);
        EXPECT_EQ(std::u16string(p.slots[1].value), u"kept");
    }
}

TEST(UrlParameters, ParsingAllocatesNothing)
{
    InvocationParameters p;
    const AllocationCounter counter;
    parsed(u"Velmorathis.Mirrowcast:TeamsCall?action=answercall&participant=%C8%99tefan%20Smith#x",
                       u"TeamsCall", p);
    EXPECT_EQ(counter.count(), 0u);
}

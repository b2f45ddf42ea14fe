// parseUrlParameters on arbitrary text. Besides the sanitizers' checks (the URL
// lies in a buffer exactly as long as its text, so a read past its terminator
// is caught), every result is compared with a plain model of the parsing rules
// written on std::u16string, so a parse that is memory-safe but wrong is a
// finding too.
#include <cstring>
#include <vector>

#include "fuzz_text.h"
#include "test_text.h"
#include "url/invocation_parameters.h"
#include "util/strings.h"

namespace {

constexpr std::size_t SlotCount = url::InvocationParameters::Count;
const char16_t* const Names[SlotCount] = {u"action", u"participant", u"participantnumber", u"participant2",
                                          u"participant2number"};

struct Expected {
    std::int32_t result = 0;
    std::u16string values[SlotCount];
    std::u16string matched[SlotCount];  // raw '+' as spaces
    std::size_t stoppedAt = SlotCount;  // the slot that stopped the parse with -4 or -6: its content is nobody's
};

bool sameNoCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (util::foldCase(a[i]) != util::foldCase(b[i])) {
            return false;
        }
    }
    return true;
}

int hex(char16_t c)
{
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if ((c | 0x20) >= u'a' && (c | 0x20) <= u'f') {
        return (c | 0x20) - u'a' + 10;
    }
    return -1;
}

// A well-formed UTF-8 sequence at bytes[i], told the long way: decoded by the
// lead's length, then refused when it is overlong, a surrogate or past
// U+10FFFF. Returns the number of bytes, 0 for none.
std::size_t utf8At(const std::vector<int>& bytes, std::size_t i, char32_t& c)
{
    const int lead = bytes[i];
    const std::size_t length = lead >= 0xF8 ? 0 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > bytes.size()) {
        return 0;
    }
    c = static_cast<char32_t>(lead & (0x7F >> length));
    for (std::size_t k = 1; k < length; ++k) {
        if ((bytes[i + k] & 0xC0) != 0x80) {
            return 0;
        }
        c = (c << 6) | static_cast<char32_t>(bytes[i + k] & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
        return 0;
    }
    return length;
}

// One pass of percent decoding: each run of escapes as bytes, a well-formed
// UTF-8 sequence among them as its character, any other byte as one code
// unit; a raw '+' as a space when `rawPlusIsSpace`. The whole decoded text: a
// decoded zero is in it.
std::u16string unescape(std::u16string_view s, bool rawPlusIsSpace)
{
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        std::vector<int> bytes;
        while (i + 2 < s.size() && s[i] == u'%' && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
            bytes.push_back(hex(s[i + 1]) * 16 + hex(s[i + 2]));
            i += 3;
        }
        for (std::size_t b = 0; b < bytes.size();) {
            char32_t c = 0;
            const std::size_t length = utf8At(bytes, b, c);
            if (length == 0) {
                out += static_cast<char16_t>(bytes[b++]);
            } else if (c >= 0x10000) {
                out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
                b += length;
            } else {
                out += static_cast<char16_t>(c);
                b += length;
            }
        }
        if (bytes.empty()) {
            out += rawPlusIsSpace && s[i] == u'+' ? u' ' : s[i];
            ++i;
        }
    }
    return out;
}

Expected model(std::u16string_view url)
{
    Expected e;
    const std::size_t colon = url.find(u':');
    if (colon == std::u16string_view::npos) {
        e.result = -1;
        return e;
    }
    const std::u16string_view rest = url.substr(colon + 1);
    if (rest.size() < 9 || !sameNoCase(rest.substr(0, 9), u"TeamsCall")) {
        e.result = -2;
        return e;
    }
    const std::size_t question = rest.find(u'?');
    if (question == std::u16string_view::npos) {
        e.result = -3;
        return e;
    }
    std::size_t position = question + 1;
    for (;;) {
        std::size_t end = rest.find_first_of(u"&#", position);
        if (end == std::u16string_view::npos) {
            end = rest.size();
        }
        if (end == rest.size() && end == position) {
            return e;
        }
        const std::u16string_view segment = rest.substr(position, end - position);
        for (std::size_t slot = 0; slot < SlotCount; ++slot) {
            const std::u16string_view name = Names[slot];
            if (segment.size() > name.size() && sameNoCase(segment.substr(0, name.size()), name) &&
                segment[name.size()] == u'=') {
                const std::u16string decoded = unescape(segment.substr(name.size() + 1), false);
                if (decoded.size() >= url::InvocationParameter::Capacity ||
                    decoded.find(u'\0') != std::u16string::npos) {
                    e.stoppedAt = slot;
                    e.result = decoded.size() >= url::InvocationParameter::Capacity ? -4 : -6;
                    return e;
                }
                e.values[slot] = decoded;
                e.matched[slot] = unescape(segment.substr(name.size() + 1), true);
                break;
            }
        }
        position = end < rest.size() ? end + 1 : end;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input{data, size};
    std::u16string text = input.rest();
    text = text.substr(0, text.find(u'\0'));  // the parser sees a C string
    std::vector<char16_t> url(text.begin(), text.end());
    url.push_back(0);

    url::InvocationParameters table;
    const std::int32_t result = number(url::parseUrlParameters(url.data(), u"TeamsCall", table));
    const Expected expected = model(text);
    if (result != expected.result) {
        fuzz::fail("result differs from the model", text);
    }
    for (std::size_t slot = 0; slot < SlotCount; ++slot) {
        const url::InvocationParameter& p = table.slots[slot];
        if (std::u16string(p.name) != Names[slot]) {
            fuzz::fail("a slot name changed", text);
        }
        const auto* terminator = std::char_traits<char16_t>::find(p.value, url::InvocationParameter::Capacity, u'\0');
        if (terminator == nullptr) {
            fuzz::fail("a value is not terminated within its 256 units", text);
        }
        if (slot != expected.stoppedAt &&
            (std::u16string(p.value) != expected.values[slot] || std::u16string(p.matched) != expected.matched[slot])) {
            fuzz::fail("a value differs from the model", text);
        }
    }
    return 0;
}

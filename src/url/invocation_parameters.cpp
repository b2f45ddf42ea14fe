#include "url/invocation_parameters.h"

#include "util/strings.h"

namespace url {

InvocationParameters::InvocationParameters()
{
    static constexpr const char16_t* Names[Count] = {u"action", u"participant", u"participantnumber", u"participant2",
                                                     u"participant2number"};
    for (std::size_t i = 0; i < Count; ++i) {
        util::copyString(slots[i].name, Names[i]);
    }
}

UrlParseResult parseUrlParameters(const char16_t* url, const char16_t* command, InvocationParameters& table)
{
    const char16_t* colon = util::findChar(url, u':');
    if (colon == nullptr) {
        return UrlParseResult::NoColon;
    }
    const char16_t* afterColon = colon + 1;
    if (util::compareNoCaseN(afterColon, command, util::length(command)) != 0) {
        return UrlParseResult::WrongCommand;
    }
    const char16_t* question = util::findChar(afterColon, u'?');
    if (question == nullptr) {
        return UrlParseResult::NoQuery;
    }

    // The query ends with the text. A separator right after '?' or after
    // another separator leaves an empty segment, which is skipped: web
    // applications join an empty optional parameter that way ("a=1&&b=2"),
    // and what follows is still theirs.
    for (const char16_t* position = question + 1; *position != 0;) {
        const std::size_t segmentLength = util::spanExcluding(position, u"&#");
        if (segmentLength == 0) {
            ++position;
            continue;
        }
        for (InvocationParameter& slot : table.slots) {
            const std::size_t nameLength = util::length(slot.name);
            // The '=' test keeps "participant" from taking "participantnumber=..."
            if (nameLength == 0 || nameLength >= segmentLength ||
                util::compareNoCaseN(position, slot.name, nameLength) != 0 || position[nameLength] != u'=') {
                continue;
            }
            // The limit is on the value as decoded: a browser encodes each
            // letter of a Cyrillic name as six characters.
            const char16_t* valueText = position + nameLength + 1;
            const std::size_t valueLength = segmentLength - nameLength - 1;
            const auto decoded =
                util::urlUnescape(slot.value, InvocationParameter::Capacity, valueText, valueLength, false);
            const auto matched =
                util::urlUnescape(slot.matched, InvocationParameter::Capacity, valueText, valueLength, true);
            if (!decoded || !matched) {
                return UrlParseResult::ValueTooLong;
            }
            // A zero would end the value early: "%00Nobody" would read as
            // no participant, which means any call window, and "Ann%00Berg"
            // as "Ann". Such a URL is refused whole.
            if (*decoded != util::length(slot.value)) {
                return UrlParseResult::EncodedNul;
            }
            break;
        }
        position += segmentLength;  // the separator after it is an empty segment of its own
    }
    return UrlParseResult::Parsed;
}

}  // namespace url

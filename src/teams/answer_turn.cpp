#include "teams/answer_turn.h"

#include <iterator>

#include "log/diagnostic_log.h"
#include "teams/main_window_cache.h"
#include "util/strings.h"
#include "winapi/registry.h"
#include "winapi/system.h"

namespace teams {

namespace {

constexpr char16_t AnswerMutexName[] = u"Local\\Velmorathis.Mirrowcast.Answer";
constexpr char16_t WaitingEventName[] = u"Local\\Velmorathis.Mirrowcast.Answer.Waiting";
constexpr char16_t NoParticipant[] = u"(None)";
constexpr char16_t AnyWindowMarker[] = u"KVX";
constexpr char16_t RecentAnswersValue[] = u"RecentAnswers";

// A run that waits for its turn asks again this often, and each time sets
// the waiting signal anew: the run whose turn it is resets it when it takes
// its turn, and one waiter that went away must not hold it set for good.
constexpr win::DWORD TurnStepMs = 250;

// The answers whose keys went in last, newest first: enough to tell the
// callers of the last half minute apart.
constexpr std::size_t RecentAnswerLimit = 8;
// One entry: the tick (up to 20 digits), a blank, the participant's key, its
// terminator; then the list's end.
constexpr std::size_t RecentEntryCapacity = 20 + 1 + win::WindowTextCapacity;
constexpr std::size_t RecentListCapacity = RecentAnswerLimit * RecentEntryCapacity + 1;

struct RecentAnswer {
    std::uint64_t tick = 0;
    const char16_t* key = nullptr;  // into the list's text
};

// "RecentAnswers" as read: its entries point into `data`.
struct RecentAnswers {
    char16_t data[RecentListCapacity] = {};
    std::size_t count = 0;
    RecentAnswer entries[RecentAnswerLimit];
};

// Missing, unreadable or of another shape: no answers recorded. A list is
// only ever written while the session's answer lock is held.
void readRecentAnswers(RecentAnswers& recent)
{
    win::DWORD size = sizeof(recent.data) - sizeof(char16_t);  // room for a final terminator of our own
    if (win::readRegistryValue(win::HKEY_CURRENT_USER, VolatileKeyPath, RecentAnswersValue, win::RRF_RT_REG_MULTI_SZ,
                               nullptr, recent.data, &size) != win::ERROR_SUCCESS) {
        return;
    }
    const std::size_t units = size / sizeof(char16_t);
    for (std::size_t start = 0; start < units && recent.count < RecentAnswerLimit;) {
        char16_t* entry = recent.data + start;
        const std::size_t length = util::length(entry);
        if (length == 0) {
            break;  // the list's end
        }
        std::uint64_t tick = 0;
        std::size_t i = 0;
        for (; i < length && entry[i] >= u'0' && entry[i] <= u'9' && i < 20; ++i) {
            tick = tick * 10 + static_cast<std::uint64_t>(entry[i] - u'0');
        }
        if (i > 0 && entry[i] == u' ') {
            recent.entries[recent.count++] = RecentAnswer{tick, entry + i + 1};
        }
        start += length + 1;
    }
}

// The participant as titles are compared with it, and as one answer is
// told from another: letter case folded, spaces (also the '+' a form's
// encoding made of them) left out. What fits in a title is enough.
void participantKey(const char16_t* matched, char16_t (&key)[win::WindowTextCapacity])
{
    std::size_t used = 0;
    for (const char16_t* p = matched != nullptr ? matched : u""; *p != 0 && used + 1 < win::WindowTextCapacity; ++p) {
        if (*p != u' ') {
            // Unit by unit: a surrogate has no fold, so a pair stays itself.
            key[used++] = static_cast<char16_t>(util::foldCase(*p));
        }
    }
    key[used] = 0;
}

// The participant's own mutex: "Local\Velmorathis.Mirrowcast.Answer." and
// the 64-bit FNV-1a hash of the key's UTF-16 units in 16 hexadecimal
// digits (a name may not hold a backslash, and a key may).
void participantMutexName(const char16_t* key, char16_t (&name)[64])
{
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const char16_t* p = key; *p != 0; ++p) {
        hash = (hash ^ *p) * 0x100000001B3ull;
    }
    char16_t digits[17];
    for (int i = 15; i >= 0; --i, hash >>= 4) {
        digits[i] = u"0123456789ABCDEF"[hash & 0xF];
    }
    digits[16] = 0;
    util::copyString(name, AnswerMutexName);
    util::appendString(name, u".");
    util::appendString(name, digits);
}

}  // namespace

AnswerTurn::~AnswerTurn()
{
    // The answer lock first: a run waiting for its turn may start at once.
    if (holdsAnswer) {
        win::releaseMutex(answerLock.get());
    }
    if (holdsParticipant) {
        win::releaseMutex(participantLock.get());
    }
}

bool AnswerTurn::take(logging::DiagnosticLog& log, const Participant& participant)
{
    taken = true;
    shown = participant.text != nullptr && participant.text[0] != 0 ? participant.text : NoParticipant;
    const char16_t* matched = participant.matched != nullptr ? participant.matched : participant.text;
    participantKey(matched, key);
    queueCall = key[0] == 0 || (matched != nullptr && util::find(matched, AnyWindowMarker) != nullptr);

    // A lock that cannot be had is said once; the run goes on as if there
    // were none: it must not lose its answer because a lock is missing.
    bool unavailableSaid = false;
    const auto unavailable = [&](win::DWORD error) {
        if (!unavailableSaid) {
            unavailableSaid = true;
            log.print(u"Answer lock unavailable (error %d).\n", static_cast<std::int32_t>(error));
        }
    };

    win::DWORD error = 0;
    char16_t name[64];
    participantMutexName(key, name);
    participantLock.reset(win::openSessionMutex(name, error));
    if (!participantLock) {
        unavailable(error);
    } else {
        error = win::takeMutex(participantLock.get(), 0);
        if (error == win::WAIT_TIMEOUT) {
            log.print(u"An answer for \"%s\" is already running; nothing done.\n", shown);
            return false;
        }
        holdsParticipant = error == win::ERROR_SUCCESS;
        if (!holdsParticipant) {
            unavailable(error);
        }
    }
    if (answeredJustNow(log)) {
        return false;
    }

    answerLock.reset(win::openSessionMutex(AnswerMutexName, error));
    if (!answerLock) {
        unavailable(error);
        return true;
    }
    waitingSignal.reset(win::openSessionEvent(WaitingEventName, error));
    if (!waitingSignal) {
        unavailable(error);
    }
    error = win::takeMutex(answerLock.get(), 0);
    if (error == win::WAIT_TIMEOUT) {
        log.print(u"Waiting for another answer to end...\n");
        const std::uint64_t start = win::monotonicMilliseconds();
        do {
            if (waitingSignal) {
                win::setEvent(waitingSignal.get());
            }
            error = win::takeMutex(answerLock.get(), TurnStepMs);
        } while (error == win::WAIT_TIMEOUT && win::monotonicMilliseconds() - start < AnswerTurnWaitMs);
        if (error == win::WAIT_TIMEOUT) {
            log.print(u"Another answer is still running; nothing done.\n");
            return false;
        }
        waitedForAnother = true;
    }
    holdsAnswer = error == win::ERROR_SUCCESS;
    if (!holdsAnswer) {
        unavailable(error);
    } else if (waitingSignal) {
        // Set by this run while it waited, or by one that went away; runs
        // still waiting set it again within a step.
        win::resetEvent(waitingSignal.get());
    }
    return true;
}

bool AnswerTurn::anotherIsWaiting() const
{
    return holdsAnswer && waitingSignal && win::isEventSet(waitingSignal.get());
}

bool AnswerTurn::answeredJustNow(logging::DiagnosticLog& log) const
{
    if (!taken) {
        return false;
    }
    RecentAnswers recent;
    readRecentAnswers(recent);
    const std::uint64_t now = win::monotonicMilliseconds();
    const std::uint32_t window = queueCall ? RepeatedQueueAnswerMs : RepeatedAnswerMs;
    for (std::size_t i = 0; i < recent.count; ++i) {
        const RecentAnswer& answer = recent.entries[i];
        if (util::compareNoCase(answer.key, key) == 0 && answer.tick <= now && now - answer.tick < window) {
            log.print(u"An answer for \"%s\" was sent %d ms ago; nothing done.\n", shown,
                      static_cast<std::int32_t>(now - answer.tick));
            return true;
        }
    }
    return false;
}

void AnswerTurn::recordKeys() const
{
    if (!taken) {
        return;
    }
    RecentAnswers recent;
    readRecentAnswers(recent);
    const std::uint64_t now = win::monotonicMilliseconds();
    // This answer first, then the others of the last 35 s, newest first.
    char16_t list[RecentListCapacity] = {};
    std::size_t used = 0;
    const auto add = [&](std::uint64_t tick, const char16_t* who) {
        char16_t entry[RecentEntryCapacity];
        util::formatString(entry, u"%I64d %s", static_cast<std::int64_t>(tick), who);
        util::copyString(list + used, RecentListCapacity - used, entry);
        used += util::length(entry) + 1;
    };
    add(now, key);
    for (std::size_t i = 0; i < recent.count && i + 1 < RecentAnswerLimit; ++i) {
        const RecentAnswer& answer = recent.entries[i];
        if (util::compareNoCase(answer.key, key) != 0 && answer.tick <= now && now - answer.tick < RepeatedAnswerMs) {
            add(answer.tick, answer.key);
        }
    }
    list[used++] = 0;  // the list's end
    // Nobody acts on a failure: the next run for this caller then finds no
    // record, and only the pop-up it waits for tells.
    const util::UniqueKey volatileKey = openVolatileKey();
    if (volatileKey) {
        [[maybe_unused]] const win::DWORD written =
            win::setRegistryValue(volatileKey.get(), RecentAnswersValue, win::REG_MULTI_SZ, list,
                                  static_cast<win::DWORD>(used * sizeof(char16_t)));
    }
}

}  // namespace teams

#include "teams/teams_policy.h"

#include "log/diagnostic_log.h"
#include "teams/teams_window_scan.h"
#include "util/handles.h"
#include "winapi/registry.h"

namespace teams {

namespace {

static_assert(PolicyValueByteLimit == 8194);

// Reads one value into `list`; false when the key can no longer be read.
bool readPolicyList(logging::DiagnosticLog& log, win::HKEY key, const char16_t* name, PolicyEntries& list)
{
    // Room for one more unit than a value may have: a longer one reads as
    // ERROR_MORE_DATA and is ignored whole.
    char16_t data[PolicyValueByteLimit / 2 + 1] = {};
    win::DWORD size = PolicyValueByteLimit;
    win::DWORD type = win::REG_NONE;
    const win::DWORD read =
        win::readRegistryValue(key, nullptr, name, win::RRF_RT_ANY | win::RRF_NOEXPAND, &type, data, &size);
    if (read == win::ERROR_FILE_NOT_FOUND) {
        return true;  // not set: nothing to add
    }
    if (read == win::ERROR_MORE_DATA) {
        log.print(u"Policy value \"%s\" ignored (%s).\n", name, u"larger than 8194 bytes");
        return true;
    }
    if (read != win::ERROR_SUCCESS) {
        log.print(u"Policy key could not be read (error %d).\n", static_cast<std::int32_t>(read));
        return false;
    }
    if (type != win::REG_MULTI_SZ) {
        log.print(u"Policy value \"%s\" ignored (%s).\n", name, u"not a multi-string");
        return true;
    }
    // The list ends at its first empty string, as REG_MULTI_SZ does, or at
    // the end of the data. Strings an editor left behind an empty one are
    // not read, and are counted as ignored so the log says the list was cut
    // short; zeros padding the data are no strings at all.
    const std::size_t units = size / sizeof(char16_t);
    std::int32_t ignored = 0;
    bool listEnded = false;
    for (std::size_t start = 0; start < units;) {
        std::size_t end = start;
        while (end < units && data[end] != 0) {
            ++end;
        }
        const std::size_t length = end - start;
        if (length == 0) {
            listEnded = true;
        } else if (listEnded || length >= PolicyEntryCapacity || list.count == PolicyEntryLimit) {
            ++ignored;
        } else {
            for (std::size_t i = 0; i < length; ++i) {
                list.entries[list.count][i] = data[start + i];
            }
            list.entries[list.count][length] = 0;
            ++list.count;
        }
        start = end + 1;
    }
    if (ignored > 0) {
        log.print(u"Policy value \"%s\": %d entries ignored.\n", name, ignored);
    }
    return true;
}

}  // namespace

const TeamsRecognition& builtInRecognition()
{
    // Not a constant: all zeros, it costs the program's file nothing, where
    // a constant would fill 32 KB of it with zeros.
    static TeamsRecognition none;
    return none;
}

namespace {
// One run per process: what the run read is kept here for the rest of it.
struct RunRecognition {
    bool read = false;
    TeamsRecognition recognition;
};
RunRecognition& runRecognition()
{
    static RunRecognition kept;
    return kept;
}
}  // namespace

const TeamsRecognition& teamsRecognition(logging::DiagnosticLog& log)
{
    RunRecognition& kept = runRecognition();
    if (!kept.read) {
        kept.recognition = readTeamsRecognition(log);
        kept.read = true;
    }
    return kept.recognition;
}

void forgetTeamsRecognition() { runRecognition() = RunRecognition{}; }

TeamsRecognition readTeamsRecognition(logging::DiagnosticLog& log)
{
    TeamsRecognition recognition;
    util::UniqueKey key;
    const win::DWORD opened = win::openRegistryKey(win::HKEY_LOCAL_MACHINE, logging::MachinePolicyKeyPath,
                                                   win::KEY_QUERY_VALUE, key.receive());
    if (opened == win::ERROR_FILE_NOT_FOUND) {
        return recognition;  // no policy: the built-in lists alone
    }
    if (opened != win::ERROR_SUCCESS) {
        log.print(u"Policy key could not be read (error %d).\n", static_cast<std::int32_t>(opened));
        return recognition;
    }
    const struct {
        const char16_t* name;
        PolicyEntries* list;
    } values[] = {
        {TeamsImageNamesValue, &recognition.imageNames},
        {TeamsWindowClassesValue, &recognition.windowClasses},
        {NotificationTitlesValue, &recognition.notificationTitles},
        {CallInProgressTitlesValue, &recognition.callInProgressTitles},
    };
    for (const auto& value : values) {
        if (!readPolicyList(log, key.get(), value.name, *value.list)) {
            break;
        }
    }
    return recognition;
}

}  // namespace teams

#include "log/diagnostic_log.h"

#include <iterator>

#include "log/machine_policy.h"
#include "util/civil_time.h"
#include "util/handles.h"
#include "util/strings.h"
#include "util/wait.h"
#include "winapi/registry.h"
#include "winapi/system.h"

namespace logging {

namespace {

constexpr char16_t LogFolderName[] = u"Velmorathis\\Velmorathis Mirrowcast\\";
// The user's folder as every text names it: expanded, the path holds the
// user's name, and the text may land in the shared folder, where every other
// user reads it. As it stands it still opens the folder from a command
// prompt or Explorer's address bar.
constexpr char16_t UserFolderAsWritten[] = u"%LOCALAPPDATA%\\Velmorathis\\Velmorathis Mirrowcast\\";
constexpr char16_t PermissionWarning[] = u"Warning: unable to set user permissions on log folder\n";
constexpr char16_t UserFileHeader[] = u"Log file could not be written (error %d), entries of this run follow here.\n";
constexpr char16_t EntriesMovedNote[] = u"%d entries of this run were written to the user's log folder.\n";

}  // namespace

void DiagnosticLog::open(bool console)
{
    detailEnabled = false;
    consoleAttached = console;
    readPolicy();
    // The weekday computed from the date itself, or -1 when the clock cannot
    // be read: such a run still logs, to a file of its own.
    std::uint64_t now = 0;
    dayOfWeek = win::readClock(now) ? util::civilFromFileTime(now).dayOfWeek : -1;
    if (userFolderOnly) {
        // Not even made: nothing of these runs belongs in the shared folder.
        opened = true;
        return;
    }
    prepareFolder();
    if (logPath[0] != 0 && !appendFileName(logPath)) {
        logPath[0] = 0;
        dayFileError = 0;
    }
    opened = true;
    if (logPath[0] != 0) {
        const std::int64_t expired = sharedFolder.expireOldFile(logPath);
        if (expired > 0) {
            printDetail(u"Deleting expired logfile [%s] age %I64d seconds\n", static_cast<const char16_t*>(logPath),
                        expired);
        }
    }
    // Written once the file is known, so that a run started by the shell,
    // which has no console, leaves the warning where someone reads it.
    if (permissionWarningPending) {
        permissionWarningPending = false;
        writeLine(PermissionWarning);
    }
}

// Read before the first entry, so that the run's banner already goes where
// the policy says. A value the log cannot use leaves the default: the shared
// folder, no detail.
void DiagnosticLog::readPolicy()
{
    userFolderOnly = false;
    logFolderNotUnderstood = false;
    // "Shared" or "User": a longer text is neither, and reads as too long.
    char16_t folder[8] = {};
    win::DWORD size = sizeof(folder);
    policyError = win::readLogSettingValue(win::HKEY_LOCAL_MACHINE, MachinePolicyKeyPath, LogFolderValue,
                                           win::RRF_RT_REG_SZ, nullptr, folder, &size);
    if (policyError == win::ERROR_SUCCESS) {
        userFolderOnly = util::compareNoCase(folder, LogFolderUser) == 0;
        logFolderNotUnderstood = !userFolderOnly && util::compareNoCase(folder, LogFolderShared) != 0;
    } else if (policyError == win::ERROR_MORE_DATA || policyError == win::ERROR_UNSUPPORTED_TYPE) {
        logFolderNotUnderstood = true;  // there, but not a text the log knows
    }
    if (policyError == win::ERROR_FILE_NOT_FOUND || logFolderNotUnderstood) {
        policyError = 0;  // not set, or said once below as not understood
    }

    win::DWORD detail = 0;
    size = sizeof(detail);
    if (win::readLogSettingValue(win::HKEY_LOCAL_MACHINE, MachinePolicyKeyPath, DetailLoggingValue,
                                 win::RRF_RT_REG_DWORD, nullptr, &detail, &size) == win::ERROR_SUCCESS &&
        detail == 1) {
        detailEnabled = true;
        util::formatString(processTag, u"[%d] ", static_cast<std::int32_t>(win::currentProcessId()));
    }
}

void DiagnosticLog::printRunStart(const char16_t* commandLine)
{
    printDetail(u"Command line [%s]\n", commandLine != nullptr ? commandLine : u"");
    if (detailEnabled) {
        const win::DWORD process = win::currentProcessId();
        win::DWORD session = 0;
        // -1: Windows could not say; nothing else of the run depends on it.
        const std::int32_t shown = win::processSessionId(process, session) ? static_cast<std::int32_t>(session) : -1;
        printDetail(u"Process %d, session %d.\n", static_cast<std::int32_t>(process), shown);
    }
    if (policyError != 0) {
        print(u"Policy key could not be read (error %d).\n", static_cast<std::int32_t>(policyError));
    }
    if (logFolderNotUnderstood) {
        print(u"Policy value \"LogFolder\" not understood; the shared folder is used.\n");
    }
}

void DiagnosticLog::reportFolderInUse()
{
    char16_t folder[PathCapacity];
    // An empty path: the folder could not be had (or not yet looked up).
    util::copyString(folder, lastEntryPath());
    if (folder[0] != 0 && (lastEntryInUserFile || userFolderOnly)) {
        util::copyString(folder, UserFolderAsWritten);
    }
    if (!util::pathRemoveFileSpec(folder)) {
        util::copyString(folder, u"none, entries go to the console only");
    }
    print(u"Log folder in use: %s\n", folder);
}

// Any set-up failure leaves logPath empty, with the reason in dayFileError:
// the run's entries then go to the user's file.
void DiagnosticLog::prepareFolder()
{
    dayFileError = win::knownFolderPath(win::KnownFolder::CommonAppData, logPath);
    if (dayFileError != win::ERROR_SUCCESS) {
        logPath[0] = 0;
        return;
    }
    sharedFolder.beShared(logPath);
    // A folder path that does not fit leaves no room for a file name.
    if (!util::pathAppend(logPath, PathCapacity, LogFolderName)) {
        logPath[0] = 0;
        return;
    }
    if (win::pathExists(logPath)) {
        return;  // an existing folder keeps the list it has, weaker or not
    }
    char16_t folder[PathCapacity];  // without the final backslash
    util::copyString(folder, logPath);
    util::pathRemoveFileSpec(folder);
    const win::DWORD made = makeSharedFolder(sharedFolder, folder, permissionWarningPending);
    if (made != win::ERROR_SUCCESS) {
        dayFileError = made;
        logPath[0] = 0;
    }
}

void DiagnosticLog::reportWeakerFolderAccess()
{
    char16_t folder[PathCapacity];
    util::copyString(folder, logPath);
    if (!util::pathRemoveFileSpec(folder) || !hasWeakerAccess(folder)) {
        return;  // set-up gave no folder, or its list is the program's
    }
    // One text per line: with the path three times they would not fit one.
    print(
        u"The access list of the log folder \"%s\" may let users other than the administrators delete, rename "
        u"or re-permission it. To give it the program's list, run as an administrator:\n",
        folder);
    print(
        u"  icacls \"%s\" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F "
        u"*S-1-5-32-545:(RX,WD) *S-1-3-4:(RX,WD)\n",
        folder);
    print(u"  icacls \"%s\" /grant *S-1-5-32-545:(OI)(IO)M *S-1-3-4:(OI)(IO)M\n", folder);
}

bool DiagnosticLog::appendFileName(char16_t (&path)[PathCapacity]) const
{
    const std::size_t folderLength = util::length(path);
    return util::formatString(path + folderLength, PathCapacity - folderLength, u"VelmorathisMirrowcast%d.log",
                              dayOfWeek);
}

// The user's file is looked up, its folder created and its expiry checked
// when the run first needs it, never otherwise: most runs never do.
bool DiagnosticLog::prepareUserFile()
{
    if (userFile == UserFileState::NotNeededYet) {
        userFile = UserFileState::Unavailable;
        if (win::knownFolderPath(win::KnownFolder::LocalAppData, userPath) != win::ERROR_SUCCESS ||
            !util::pathAppend(userPath, PathCapacity, LogFolderName)) {
            userPath[0] = 0;
            return false;
        }
        const win::DWORD created = win::createFolder(userPath);
        if ((created != win::ERROR_SUCCESS && created != win::ERROR_ALREADY_EXISTS) || !appendFileName(userPath)) {
            userPath[0] = 0;
            return false;
        }
        userFile = UserFileState::Ready;
        userFolder.beUsers();
        const std::int64_t expired = userFolder.expireOldFile(userPath);
        if (expired > 0) {
            char16_t named[PathCapacity];
            util::copyString(named, UserFolderAsWritten);
            [[maybe_unused]] const bool fits = appendFileName(named);  // cut, it still names the folder
            printDetail(u"Deleting expired logfile [%s] age %I64d seconds\n", static_cast<const char16_t*>(named),
                        expired);
        }
    }
    return userFile == UserFileState::Ready;
}

bool DiagnosticLog::writeToDayFile(const char16_t* text)
{
    if (logPath[0] == 0) {
        return false;  // set-up said why in dayFileError
    }
    EntryFile target = sharedFolder.openEntryFile(logPath, dayFileError);
    if (!target.file) {
        return false;
    }
    char16_t note[NoteCapacity] = {};
    if (entriesInUserFile > 0) {
        util::formatString(note, EntriesMovedNote, entriesInUserFile);
    }
    dayFileError = appendEntry(target.file.get(), processTag, note, text);
    if (dayFileError != win::ERROR_SUCCESS) {
        return false;
    }
    entriesInUserFile = 0;
    return true;
}

// A full disk usually takes the user's file with it: then the entry is lost
// from both, and the console is all that shows it.
bool DiagnosticLog::writeToUserFile(const char16_t* text)
{
    win::DWORD error = 0;
    if (!prepareUserFile()) {
        return false;
    }
    EntryFile target = userFolder.openEntryFile(userPath, error);
    if (!target.file) {
        return false;
    }
    char16_t note[NoteCapacity] = {};
    if (!userFileHeaded && !userFolderOnly) {
        util::formatString(note, UserFileHeader, static_cast<std::int32_t>(dayFileError));
    }
    if (appendEntry(target.file.get(), processTag, note, text) != win::ERROR_SUCCESS) {
        return false;
    }
    userFileHeaded = true;
    ++entriesInUserFile;
    return true;
}

void DiagnosticLog::printFormatted(const char16_t* format, const util::FormatArg* args, std::size_t count)
{
    if (!opened) {
        return;
    }
    char16_t text[TextCapacity];
    util::FormatOptions options;
    options.markControlsInInserts = true;
    // A failed or overlong format keeps what fitted: the first 1023 characters
    // (1022 when a surrogate pair would be cut in two).
    util::formatInto(text, TextCapacity, format, args, count, options);
    text[TextCapacity - 1] = 0;
    writeLine(text);
}

void DiagnosticLog::writeLine(const char16_t* text)
{
    if (!opened) {
        return;
    }
    if (text == nullptr) {
        text = u"";
    }
    if (userFolderOnly) {
        lastEntryInUserFile = writeToUserFile(text);  // or on the console alone
    } else if (writeToDayFile(text)) {
        lastEntryInUserFile = false;
    } else if (writeToUserFile(text)) {
        lastEntryInUserFile = true;
    }  // else lost from both files
    if (consoleAttached) {
        win::writeConsole(text, util::length(text));
    }
}

}  // namespace logging

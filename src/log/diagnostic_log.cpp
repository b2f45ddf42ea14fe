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
constexpr std::size_t PrefixLength = 22;  // "[YYYY-MM-DD hh:mm:ss] "
// With detail logging the process id follows: "[YYYY-MM-DD hh:mm:ss] [4242] ".
constexpr std::size_t PrefixCapacity = PrefixLength + 14;
// The lines that tie the two files of a run together (a 32-bit number each).
constexpr std::size_t NoteCapacity = 128;
constexpr char16_t UserFileHeader[] = u"Log file could not be written (error %d), entries of this run follow here.\n";
constexpr char16_t EntriesMovedNote[] = u"%d entries of this run were written to the user's log folder.\n";

// Two days in 100-nanosecond units plus one second: a file whose age in whole
// seconds is above 172,800 was last written in an earlier week's run of the
// same weekday, and is replaced.
constexpr std::int64_t ExpiryAge = 1'728'010'000'000;

// The shared folder must stay where the log expects it, the same folder for
// every user's runs: every user may add files to it, and create, append to
// and delete the files in it, another user's expired one included; nobody
// but the system and the administrators may delete or rename the folder,
// make folders in it or change who may do what. The Users entry on the
// folder itself therefore holds read, list, traverse and add-file only,
// while its Modify reaches the files alone (inherit only). OWNER RIGHTS, in
// place of the owner's implicit rights, holds the same, so that the user
// whose run created the folder, or a file in it, gets no more than others.
constexpr win::DWORD ReadAndList = win::FILE_GENERIC_READ | win::FILE_GENERIC_EXECUTE;
constexpr win::DWORD ModifyRights =
    win::FILE_GENERIC_READ | win::FILE_GENERIC_WRITE | win::FILE_GENERIC_EXECUTE | win::DELETE;
constexpr win::DWORD InheritedByAll = win::OBJECT_INHERIT_ACE | win::CONTAINER_INHERIT_ACE;
constexpr win::DWORD FilesOnly = win::OBJECT_INHERIT_ACE | win::INHERIT_ONLY_ACE;
constexpr win::FolderAccess LogFolderAccess[] = {
    {win::Trustee::LocalSystem, win::FILE_ALL_ACCESS, InheritedByAll},
    {win::Trustee::Administrators, win::FILE_ALL_ACCESS, InheritedByAll},
    {win::Trustee::Users, ReadAndList | win::FILE_ADD_FILE, 0},
    {win::Trustee::OwnerRights, ReadAndList | win::FILE_ADD_FILE, 0},
    {win::Trustee::Users, ModifyRights, FilesOnly},
    {win::Trustee::OwnerRights, ModifyRights, FilesOnly},
};
// The maker's folder above it, when this run made it: read and list for
// every user, so that nobody can rename the log folder away through it.
constexpr win::FolderAccess VendorFolderAccess[] = {
    {win::Trustee::LocalSystem, win::FILE_ALL_ACCESS, InheritedByAll},
    {win::Trustee::Administrators, win::FILE_ALL_ACCESS, InheritedByAll},
    {win::Trustee::Users, ReadAndList, 0},
    {win::Trustee::OwnerRights, ReadAndList, 0},
};
// Rights on the folder itself that let their holder take the folder from
// under the log: delete or rename it, change its list or owner, delete what
// is in it, or make a folder in it.
constexpr win::DWORD TakingRights =
    win::DELETE | win::WRITE_DAC | win::WRITE_OWNER | win::FILE_DELETE_CHILD | win::FILE_ADD_SUBDIRECTORY;

// An unprotected list takes whatever the folder above passes down.
bool isWeaker(const win::FolderAccessList& list)
{
    if (!list.isProtected) {
        return true;
    }
    for (std::size_t i = 0; i < list.count; ++i) {
        const win::FolderAccess& entry = list.entries[i];
        win::DWORD rights = entry.rights;
        rights |= (rights & win::GENERIC_ALL) != 0 ? win::FILE_ALL_ACCESS : 0;
        rights |= (rights & win::GENERIC_WRITE) != 0 ? win::FILE_GENERIC_WRITE : 0;
        const bool onTheFolder = (entry.inheritance & win::INHERIT_ONLY_ACE) == 0;
        const bool trusted =
            entry.trustee == win::Trustee::LocalSystem || entry.trustee == win::Trustee::Administrators;
        if (onTheFolder && !trusted && (rights & TakingRights) != 0) {
            return true;
        }
    }
    return false;
}

// A link or junction opened as itself is refused wherever the log writes:
// written through, the entry would land where the link's author chose.
bool isPlainObject(win::HANDLE object, bool folder, win::FileFacts& facts)
{
    return win::readFileFacts(object, facts) && !facts.reparsePoint && facts.folder == folder;
}

// The shared log folder is open to every local user, while the console
// commands are run as administrator. Anyone can therefore put a symbolic
// link, a junction or a second hard link where the log expects its own file
// or folder; written, deleted or re-permissioned through it, the
// administrator's action would land on an object of that user's choosing. So
// there the log acts only on what it opened without following a reparse
// point and found to be of the expected kind, with a single name, at the
// expected final path.
bool isPlainObjectAt(win::HANDLE object, const char16_t* expectedPath, bool folder)
{
    win::FileFacts facts{};
    if (!isPlainObject(object, folder, facts) || (!folder && facts.names != 1)) {
        return false;
    }
    char16_t path[win::PathCapacity];
    if (!win::readFinalPath(object, path)) {
        return false;
    }
    // The folder path ends in a backslash; the final path of a folder does not.
    char16_t expected[DiagnosticLog::PathCapacity];
    util::copyString(expected, expectedPath);
    const std::size_t expectedLength = util::length(expected);
    if (folder && expectedLength > 3 && expected[expectedLength - 1] == u'\\') {
        expected[expectedLength - 1] = 0;
    }
    return util::compareNoCase(path, expected) == 0;
}

bool isBusy(win::DWORD error) { return error == win::ERROR_SHARING_VIOLATION || error == win::ERROR_LOCK_VIOLATION; }

// One entry as it goes into a file, in `entry` (room for two prefixes, a note
// and a text): the prefixed note first when there is one, then the prefixed
// text; a bare line break, which keeps runs apart, stays before the note.
// Each prefix is the time stamp and `processTag` ("" unless detail logging
// is on).
std::size_t composeEntry(char16_t* entry, const char16_t* processTag, const char16_t* note, const char16_t* text)
{
    std::uint64_t now = 0;
    [[maybe_unused]] const bool clockRead = win::readClock(now);  // unreadable: stamped 1601-01-01
    const util::CivilTime t = util::civilFromFileTime(now);
    const bool bareLineBreak = util::compareNoCase(text, u"\n") == 0;
    std::size_t used = 0;
    const auto add = [&](const char16_t* part, std::size_t capacity, bool prefixed) {
        if (prefixed) {
            util::formatString(entry + used, PrefixLength + 1, u"[%04d-%02d-%02d %02d:%02d:%02d] ", t.year, t.month,
                               t.day, t.hour, t.minute, t.second);
            used += util::length(entry + used);
            util::copyString(entry + used, PrefixCapacity - PrefixLength, processTag);
            used += util::length(entry + used);
        }
        util::copyString(entry + used, capacity, part);
        used += util::length(entry + used);
    };
    if (bareLineBreak) {
        add(text, DiagnosticLog::TextCapacity, false);
    }
    if (*note != 0) {
        add(note, NoteCapacity, true);
    }
    if (!bareLineBreak) {
        add(text, DiagnosticLog::TextCapacity, true);
    }
    return used;
}

}  // namespace

void DiagnosticLog::open(bool console)
{
    detailEnabled = 0;
    consoleAttached = console ? 1 : 0;
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
        expireOldFile(logPath, Destination::DayFile);
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
    } else if (policyError == win::ERROR_MORE_DATA ||
               policyError == win::ERROR_UNSUPPORTED_TYPE) {
        logFolderNotUnderstood = true;  // there, but not a text the log knows
    }
    if (policyError == win::ERROR_FILE_NOT_FOUND || logFolderNotUnderstood) {
        policyError = 0;  // not set, or said once below as not understood
    }

    win::DWORD detail = 0;
    size = sizeof(detail);
    if (win::readLogSettingValue(win::HKEY_LOCAL_MACHINE, MachinePolicyKeyPath, DetailLoggingValue,
                                 win::RRF_RT_REG_DWORD, nullptr, &detail, &size) ==
            win::ERROR_SUCCESS &&
        detail == 1) {
        detailEnabled = 1;
        util::formatString(processTag, u"[%d] ", static_cast<std::int32_t>(win::currentProcessId()));
    }
}

void DiagnosticLog::printRunStart(const char16_t* commandLine)
{
    printDetail(u"Command line [%s]\n", commandLine != nullptr ? commandLine : u"");
    if (detailEnabled != 0) {
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
    resolveRoot();
    // A folder path that does not fit leaves no room for a file name.
    if (util::pathAppend(logPath, PathCapacity, LogFolderName) != win::S_OK) {
        logPath[0] = 0;
        return;
    }
    if (win::pathExists(logPath)) {
        return;  // an existing folder keeps the list it has, weaker or not
    }
    char16_t folder[PathCapacity];  // without the final backslash
    util::copyString(folder, logPath);
    util::pathRemoveFileSpec(folder);
    char16_t vendor[PathCapacity];
    util::copyString(vendor, folder);
    util::pathRemoveFileSpec(vendor);
    // The maker's folder comes with what it inherits, so that this run can
    // make the log folder in it; another product may use it too.
    const win::DWORD vendorMade = win::createFolder(vendor);
    // The log folder's list comes with it: it is never open to others for a
    // moment, and a run that could not change a list afterwards (in a
    // parent that passes down less than full control) still gives it.
    // ERROR_ALREADY_EXISTS: another run, started at the same moment, made it
    // (one process per URL), with the same list.
    const win::DWORD created = vendorMade == win::ERROR_SUCCESS || vendorMade == win::ERROR_ALREADY_EXISTS
                                   ? win::createFolderWithAccess(folder, LogFolderAccess, std::size(LogFolderAccess))
                                   : vendorMade;
    if (created != win::ERROR_SUCCESS && created != win::ERROR_ALREADY_EXISTS) {
        dayFileError = created;
        logPath[0] = 0;
        return;
    }
    if (vendorMade == win::ERROR_SUCCESS) {
        restrictVendorFolder(vendor);
    }
}

// The maker's folder that this run has just created gets its own list in
// place of what it inherited, once the log folder is in it: read and list
// only, no user could make the log folder there any more.
void DiagnosticLog::restrictVendorFolder(const char16_t* vendor)
{
    // Not through a junction: the list would be the junction target's.
    win::DWORD error = 0;
    util::UniqueFile folder(win::openFile(vendor, win::FileUse::ChangeFolderRights, error));
    if (folder && !isPlainObjectBelowRoot(folder.get(), vendor, true)) {
        folder.reset();
    }
    // Either way the log folder is usable; the warning tells an
    // administrator that the rights need setting by hand.
    permissionWarningPending =
        !folder || win::setProtectedFolderAccess(folder.get(), VendorFolderAccess, std::size(VendorFolderAccess)) !=
                       win::ERROR_SUCCESS;
}

void DiagnosticLog::reportWeakerFolderAccess()
{
    char16_t folder[PathCapacity];
    util::copyString(folder, logPath);
    if (!util::pathRemoveFileSpec(folder)) {
        return;  // set-up gave no folder
    }
    // Opened as itself: a junction in its place is the entries' problem,
    // and they refuse it.
    win::DWORD error = 0;
    const util::UniqueFile handle(win::openFile(folder, win::FileUse::ReadFolderRights, error));
    win::FolderAccessList list;
    if (!handle || win::readFolderAccess(handle.get(), list) != win::ERROR_SUCCESS || !isWeaker(list)) {
        return;
    }
    // One text per line: with the path three times they would not fit one.
    print(u"The access list of the log folder \"%s\" may let users other than the administrators delete, rename "
          u"or re-permission it. To give it the program's list, run as an administrator:\n",
          folder);
    print(u"  icacls \"%s\" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F "
          u"*S-1-5-32-545:(RX,WD) *S-1-3-4:(RX,WD)\n",
          folder);
    print(u"  icacls \"%s\" /grant *S-1-5-32-545:(OI)(IO)M *S-1-3-4:(OI)(IO)M\n", folder);
}

bool DiagnosticLog::appendFileName(char16_t (&path)[PathCapacity]) const
{
    const std::size_t folderLength = util::length(path);
    return util::formatString(path + folderLength, PathCapacity - folderLength, u"VelmorathisMirrowcast%d.log",
                              dayOfWeek) == win::S_OK;
}

// The user's file is looked up, its folder created and its expiry checked
// when the run first needs it, never otherwise: most runs never do.
bool DiagnosticLog::prepareUserFile()
{
    if (userFile == UserFileState::NotNeededYet) {
        userFile = UserFileState::Unavailable;
        if (win::knownFolderPath(win::KnownFolder::LocalAppData, userPath) != win::ERROR_SUCCESS ||
            util::pathAppend(userPath, PathCapacity, LogFolderName) != win::S_OK) {
            userPath[0] = 0;
            return false;
        }
        const win::DWORD created = win::createFolder(userPath);
        if ((created != win::ERROR_SUCCESS && created != win::ERROR_ALREADY_EXISTS) || !appendFileName(userPath)) {
            userPath[0] = 0;
            return false;
        }
        userFile = UserFileState::Ready;
        expireOldFile(userPath, Destination::UserFile);
    }
    return userFile == UserFileState::Ready;
}

void DiagnosticLog::expireOldFile(const char16_t* path, Destination destination)
{
    // The file stays open, sharing deletion, until the deletion is done: the
    // name that was checked is the one deleted. DeleteFileW removes a link
    // itself, never its target, but the checks keep the age of a link's
    // target, or of a file behind a junction, from deciding anything.
    win::DWORD error = 0;
    util::UniqueFile file(win::openFile(path, win::FileUse::ReadToExpire, error));
    win::FileFacts facts{};
    std::uint64_t now = 0;
    if (!file || !win::readFileFacts(file.get(), facts) || !win::readClock(now)) {
        return;
    }
    const auto age = static_cast<std::int64_t>(now - facts.lastWrite);
    if (age >= ExpiryAge && passesChecks(file.get(), path, false, destination) && win::deleteFile(path)) {
        file.reset();  // the name is free only once the deleted file is closed
        char16_t named[PathCapacity];
        util::copyString(named, destination == Destination::UserFile ? UserFolderAsWritten : path);
        if (destination == Destination::UserFile) {
            [[maybe_unused]] const bool fits = appendFileName(named);  // cut, it still names the folder
        }
        printDetail(u"Deleting expired logfile [%s] age %I64d seconds\n", named, age / 10'000'000);
    }
}

void DiagnosticLog::resolveRoot()
{
    rootLength = util::length(logPath);
    util::copyString(resolvedRoot, logPath);
    win::DWORD error = 0;
    util::UniqueFile root(win::openFile(logPath, win::FileUse::ResolveFolder, error));
    char16_t finalPath[PathCapacity];
    if (root && win::readFinalPath(root.get(), finalPath)) {
        util::copyString(resolvedRoot, finalPath);
    }
}

// In the shared folder, everything the log opens must be the plain object at
// the path it names (isPlainObjectAt). The user's own folder is that user's
// to arrange: only a link is refused there, so that no entry lands where a
// link points.
bool DiagnosticLog::passesChecks(win::HANDLE object, const char16_t* path, bool folder, Destination destination) const
{
    if (destination == Destination::UserFile) {
        win::FileFacts facts{};
        return isPlainObject(object, folder, facts);
    }
    return isPlainObjectBelowRoot(object, path, folder);
}

// The application data folder itself may sit behind a link (an administrator
// moving it to another drive): that part of the path is the administrator's,
// so it is taken as it resolves; everything below it must be what it says.
bool DiagnosticLog::isPlainObjectBelowRoot(win::HANDLE object, const char16_t* path, bool folder) const
{
    char16_t expected[PathCapacity];
    if (util::copyString(expected, resolvedRoot) != win::S_OK) {
        return false;
    }
    const char16_t* below = path + rootLength;
    while (*below == u'\\') {
        ++below;
    }
    if (*below != 0 && util::pathAppend(expected, PathCapacity, below) != win::S_OK) {
        return false;
    }
    return isPlainObjectAt(object, expected, folder);
}

// The folder of a log file, held while an entry is written: refused when it
// is a link (error 0), so no file is even created through one; and not shared
// for deletion, so it cannot be renamed and replaced by a junction while the
// file in it is opened. Empty when it cannot be opened (`error` says why).
util::UniqueFile DiagnosticLog::openFolderOf(const char16_t* path, Destination destination, win::DWORD& error) const
{
    char16_t folderPath[PathCapacity];
    util::copyString(folderPath, path);
    util::pathRemoveFileSpec(folderPath);
    util::UniqueFile folder(win::openFile(folderPath, win::FileUse::InspectFolder, error));
    if (folder && !passesChecks(folder.get(), folderPath, true, destination)) {
        folder.reset();
    }
    return folder;
}

// Every URL starts its own process, so several runs write at once and each
// holds the file for writing, alone, for one entry. A sharing or lock
// violation means another run is mid-entry (or something else holds the
// folder a moment): wait instead of giving the file up. Any other failure
// (rights, disk, a link in the way) is not retried. No file: `error` says
// why, 0 when the checks refused what was there.
DiagnosticLog::EntryFile DiagnosticLog::openEntryFile(Destination destination, win::DWORD& error)
{
    const char16_t* path = destination == Destination::DayFile ? logPath : userPath;
    bool& staysBusy = destination == Destination::DayFile ? dayFileStaysBusy : userFileStaysBusy;
    EntryFile entryFile;
    // After one entry waited in vain, the run tries each later one once.
    const bool taken = util::lookUntil(staysBusy ? 0 : LogBusyRetryLimitMs, LogBusyRetryPauseMs, 0, false,
                                       [&](bool, std::uint64_t) {
                                           error = 0;
                                           entryFile.folder = openFolderOf(path, destination, error);
                                           if (entryFile.folder) {
                                               entryFile.file.reset(win::openFile(path, win::FileUse::AppendEntry, error));
                                           }
                                           if (entryFile.file || !isBusy(error)) {
                                               return true;
                                           }
                                           entryFile.folder.reset();  // not held while another run writes
                                           return false;
                                       });
    staysBusy = staysBusy || !taken;
    if (entryFile.file && !passesChecks(entryFile.file.get(), path, false, destination)) {
        entryFile.file.reset();
        error = 0;
    }
    return entryFile;
}

namespace {

// Appends one entry, with its note, in one WriteFile, so that it is never
// split even if a later version shares the file: ERROR_SUCCESS or why not.
win::DWORD appendEntry(win::HANDLE file, const char16_t* processTag, const char16_t* note, const char16_t* text)
{
    // UTF-16 needs even offsets. A file cut short, or written to by something
    // else, can have an odd length: one zero byte first puts this entry, and
    // every later one, where a reader expects it.
    win::FileFacts facts{};
    if (win::readFileFacts(file, facts) && facts.size % 2 != 0) {
        constexpr win::BYTE Padding = 0;
        [[maybe_unused]] const win::DWORD padded = win::appendToFile(file, &Padding, 1);
    }
    char16_t entry[2 * PrefixCapacity + NoteCapacity + DiagnosticLog::TextCapacity];
    const std::size_t used = composeEntry(entry, processTag, note, text);
    return win::appendToFile(file, entry, static_cast<win::DWORD>(used * sizeof(char16_t)));
}

}  // namespace

bool DiagnosticLog::writeToDayFile(const char16_t* text)
{
    if (logPath[0] == 0) {
        return false;  // set-up said why in dayFileError
    }
    EntryFile target = openEntryFile(Destination::DayFile, dayFileError);
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
    EntryFile target = openEntryFile(Destination::UserFile, error);
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

int DiagnosticLog::printFormatted(const char16_t* format, const util::FormatArg* args, std::size_t count)
{
    if (!opened) {
        return 0;
    }
    char16_t text[TextCapacity];
    util::FormatOptions options;
    options.markControlsInInserts = true;
    // A failed or overlong format keeps what fitted: the first 1023 characters
    // (1022 when a surrogate pair would be cut in two).
    util::formatInto(text, TextCapacity, format, args, count, options);
    text[TextCapacity - 1] = 0;
    return writeLine(text);
}

int DiagnosticLog::writeLine(const char16_t* text)
{
    if (!opened) {
        return 0;
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
    if (consoleAttached != 0) {
        writeToConsole(text, util::length(text));
    }
    return 1;
}

void DiagnosticLog::writeToConsole(const char16_t* text, std::size_t length)
{
    // A console that cannot be written to has nobody reading it.
    [[maybe_unused]] const bool written = win::writeConsole(text, length);
}

}  // namespace logging

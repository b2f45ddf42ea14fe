#include "log/diagnostic_log.h"

#include <iterator>

#include "util/civil_time.h"
#include "util/handles.h"
#include "winapi/system.h"

namespace {

constexpr char16_t LogFolderName[] = u"Velmorathis\\Velmorathis Mirrowcast\\";
constexpr char16_t PermissionWarning[] = u"Warning: unable to set user permissions on log folder\n";
constexpr std::size_t PrefixLength = 22;  // "[YYYY-MM-DD hh:mm:ss] "

// Two days in 100-nanosecond units plus one second: a file whose age in whole
// seconds is above 172,800 was last written in an earlier week's run of the
// same weekday, and is replaced.
constexpr std::int64_t ExpiryAge = 1'728'010'000'000;

// The log folder is open to every local user (grantUsersAccess), while the
// console commands are run as administrator. Anyone can therefore put a
// symbolic link, a junction or a second hard link where the log expects its
// own file or folder; written, deleted or re-permissioned through it, the
// administrator's action would land on an object of that user's choosing. So
// the log acts only on what it opened without following a reparse point and
// found to be of the expected kind, with a single name, at the expected final
// path (see DiagnosticLog::isOwn).
bool isOwnObject(win::HANDLE object, const char16_t* expectedPath, bool folder)
{
    win::FileFacts facts{};
    if (!win::readFileFacts(object, facts) || facts.reparsePoint || facts.folder != folder ||
        (!folder && facts.names != 1)) {
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

}  // namespace

// The log folder, held while an entry is written: refused when it is a
// junction or not at the expected path, so no file is even created through
// one; and not shared for deletion, so it cannot be renamed and replaced by a
// junction while the file in it is opened. Empty when it cannot be opened
// (`error` then holds why) or is refused (`error` 0).
util::UniqueFile DiagnosticLog::openOwnFolder(win::DWORD& error) const
{
    char16_t folderPath[PathCapacity];
    util::copyString(folderPath, logPath);
    util::pathRemoveFileSpec(folderPath);
    util::UniqueFile folder(win::openFile(folderPath, win::FileUse::InspectFolder, error));
    if (folder && !isOwn(folder.get(), folderPath, true)) {
        folder.reset();
    }
    return folder;
}

// The application data folder itself may sit behind a link (an administrator
// moving it to another drive): that part of the path is the administrator's,
// so it is taken as it resolves; everything below it must be what it says.
bool DiagnosticLog::isOwn(win::HANDLE object, const char16_t* path, bool folder) const
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
    return isOwnObject(object, expected, folder);
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

void DiagnosticLog::open(bool console)
{
    detailEnabled = 0;
    consoleAttached = console ? 1 : 0;
    prepareFolder();
    if (logPath[0] == 0) {
        return;
    }
    chooseFile();
    if (logPath[0] == 0) {
        return;
    }
    expireOldFile();
}

void DiagnosticLog::prepareFolder()
{
    if (!win::commonAppDataFolder(logPath)) {
        logPath[0] = 0;
        return;
    }
    resolveRoot();
    // A folder path that does not fit leaves no room for a file name: the log
    // is off, as for the other set-up failures.
    if (util::pathAppend(logPath, PathCapacity, LogFolderName) != win::S_OK) {
        logPath[0] = 0;
        return;
    }
    if (win::pathExists(logPath)) {
        return;  // an existing folder keeps the rights it has
    }
    const win::DWORD created = win::createFolder(logPath);
    if (created == win::ERROR_ALREADY_EXISTS) {
        // Another run, started at the same moment, made it first (one process
        // per URL): it is there, and that run sets its rights.
        return;
    }
    if (created != win::ERROR_SUCCESS) {
        logPath[0] = 0;
        return;
    }
    grantUsersAccess();
}

// Every user's run of the program writes to the same files, so a folder this
// run has just created is opened to the local Users group; files created in it
// later inherit the entry.
void DiagnosticLog::grantUsersAccess()
{
    // Not through a junction: opened to Users would be the junction's target.
    win::DWORD error = 0;
    util::UniqueFile folder(win::openFile(logPath, win::FileUse::ChangeFolderRights, error));
    if (folder && !isOwn(folder.get(), logPath, true)) {
        folder.reset();
    }
    if (!folder) {
        if (consoleAttached != 0) {
            writeToConsole(PermissionWarning, util::length(PermissionWarning));
        }
        return;
    }
    // Without the folder's current list there is nothing sound to merge into;
    // a failure here costs the other users their access, not this run its log.
    [[maybe_unused]] const win::DWORD granted = win::grantUsersFullAccess(folder.get());
}

void DiagnosticLog::chooseFile()
{
    // The weekday computed from the date itself, or -1 when the clock cannot
    // be read: such a run still logs, to a file of its own.
    std::uint64_t now = 0;
    const int dayOfWeek = win::readClock(now) ? util::civilFromFileTime(now).dayOfWeek : -1;
    const std::size_t folderLength = util::length(logPath);
    if (util::formatString(logPath + folderLength, PathCapacity - folderLength, u"VelmorathisMirrowcast%d.log",
                           dayOfWeek) != win::S_OK) {
        logPath[0] = 0;
    }
}

void DiagnosticLog::expireOldFile()
{
    // The file stays open, sharing deletion, until the deletion is done: the
    // name that was checked is the one deleted. DeleteFileW removes a link
    // itself, never its target, but the checks keep the age of a link's
    // target, or of a file behind a junction, from deciding anything.
    win::DWORD error = 0;
    util::UniqueFile file(win::openFile(logPath, win::FileUse::ReadToExpire, error));
    win::FileFacts facts{};
    std::uint64_t now = 0;
    if (!file || !win::readFileFacts(file.get(), facts) || !win::readClock(now)) {
        return;
    }
    const auto age = static_cast<std::int64_t>(now - facts.lastWrite);
    if (age >= ExpiryAge && isOwn(file.get(), logPath, false) && win::deleteFile(logPath)) {
        file.reset();  // the name is free only once the deleted file is closed
        printDetail(u"Deleting expired logfile [%s] age %I64d seconds\n", logPath, age / 10'000'000);
    }
}

int DiagnosticLog::printFormatted(const char16_t* format, const util::FormatArg* args, std::size_t count)
{
    if (logPath[0] == 0) {
        return 0;
    }
    char16_t text[TextCapacity];
    util::FormatOptions options;
    options.markControlsInInserts = true;
    // A failed or overlong format keeps what fitted: the first 1023 characters.
    util::formatInto(text, TextCapacity, format, args, count, options);
    text[TextCapacity - 1] = 0;
    return writeLine(text);
}

int DiagnosticLog::writeLine(const char16_t* text)
{
    if (logPath[0] == 0) {
        return 0;
    }
    if (text == nullptr) {
        text = u"";
    }
    // Prefix and text go out in one WriteFile, so an entry is never split
    // even if a later version shares the file.
    char16_t entry[PrefixLength + TextCapacity];
    std::size_t used = 0;
    const bool bareLineBreak = util::compareNoCase(text, u"\n") == 0;

    // Every URL starts its own process, so several runs write at once and
    // each holds the file for writing, alone, for one entry. A sharing or lock
    // violation means another run is mid-entry (or something else holds the
    // folder a moment): wait instead of losing the text. Any other failure
    // (rights, disk, a link in the way) is not retried.
    util::UniqueFile folder;
    util::UniqueFile file;
    for (std::uint32_t waited = 0;; waited += LogBusyRetryPauseMs) {
        win::DWORD error = 0;
        folder = openOwnFolder(error);
        if (folder) {
            file.reset(win::openFile(logPath, win::FileUse::AppendEntry, error));
        }
        if (file || !isBusy(error)) {
            break;
        }
        if (fileStaysBusy || waited >= LogBusyRetryLimitMs) {
            fileStaysBusy = true;
            break;
        }
        folder.reset();
        win::pause(LogBusyRetryPauseMs);
    }
    if (file && !isOwn(file.get(), logPath, false)) {
        file.reset();  // not the log's own file: the entry goes to the console only
    }
    if (file) {
        // UTF-16 needs even offsets. A file cut short, or written to by
        // something else, can have an odd length: one zero byte first puts
        // this entry, and every later one, where a reader expects it.
        win::FileFacts facts{};
        if (win::readFileFacts(file.get(), facts) && facts.size % 2 != 0) {
            constexpr win::BYTE Padding = 0;
            [[maybe_unused]] const bool padded = win::appendToFile(file.get(), &Padding, 1);
        }
        if (!bareLineBreak) {
            std::uint64_t now = 0;
            [[maybe_unused]] const bool clockRead = win::readClock(now);  // unreadable: stamped 1601-01-01
            const util::CivilTime t = util::civilFromFileTime(now);
            util::formatString(entry, PrefixLength + 1, u"[%04d-%02d-%02d %02d:%02d:%02d] ", t.year, t.month, t.day,
                               t.hour, t.minute, t.second);
            used = util::length(entry);
        }
        util::copyString(entry + used, TextCapacity, text);
        used += util::length(entry + used);
        // A failed write loses this entry; the log never stops the program.
        [[maybe_unused]] const bool written =
            win::appendToFile(file.get(), entry, static_cast<win::DWORD>(used * sizeof(char16_t)));
    }
    file.reset();  // before the folder, whose handle kept it in place
    folder.reset();
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

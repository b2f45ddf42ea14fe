#include "log/diagnostic_log.h"

#include <iterator>

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

std::int64_t fileTimeValue(const win::FILETIME& time)
{
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// The final path of an open file or folder as it would be typed: without the
// "\\?\" that GetFinalPathNameByHandleW puts first, and \\?\UNC\server\...
// as \\server\.... False when it cannot be read or does not fit.
bool readFinalPath(win::HANDLE object, char16_t (&path)[DiagnosticLog::PathCapacity])
{
    // Room for "\\?\UNC\" in front of a path of at most 259 characters.
    char16_t finalPath[DiagnosticLog::PathCapacity + 8];
    const win::DWORD length =
        win::GetFinalPathNameByHandleW(object, finalPath, static_cast<win::DWORD>(std::size(finalPath)),
                                       win::FILE_NAME_NORMALIZED | win::VOLUME_NAME_DOS);
    if (length == 0 || length >= std::size(finalPath)) {
        return false;
    }
    const char16_t* from = finalPath;
    if (util::compareNoCaseN(finalPath, u"\\\\?\\UNC\\", 8) == 0) {
        path[0] = u'\\';
        return util::copyString(path + 1, DiagnosticLog::PathCapacity - 1, finalPath + 7) == win::S_OK;
    }
    if (util::compareNoCaseN(finalPath, u"\\\\?\\", 4) == 0) {
        from += 4;
    }
    return util::copyString(path, from) == win::S_OK;
}

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
    win::BY_HANDLE_FILE_INFORMATION information{};
    if (!win::GetFileInformationByHandle(object, &information)) {
        return false;
    }
    const bool isFolder = (information.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((information.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0 || isFolder != folder ||
        (!folder && information.nNumberOfLinks != 1)) {
        return false;
    }
    char16_t path[DiagnosticLog::PathCapacity];
    if (!readFinalPath(object, path)) {
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

// The log folder, held while an entry is written: refused when it is a
// junction or not at the expected path, so no file is even created through
// one; and not shared for deletion, so it cannot be renamed and replaced by a
// junction while the file in it is opened. Empty when it cannot be opened
// (`error` then holds why) or is refused (`error` 0).

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
    util::UniqueFile folder(win::CreateFileW(folderPath, win::FILE_READ_ATTRIBUTES,
                                             win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, win::OPEN_EXISTING,
                                             win::FILE_FLAG_BACKUP_SEMANTICS | win::FILE_FLAG_OPEN_REPARSE_POINT));
    error = folder ? 0 : win::GetLastError();
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
    util::UniqueFile root(win::CreateFileW(logPath, win::FILE_READ_ATTRIBUTES,
                                           win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE,
                                           win::OPEN_EXISTING, win::FILE_FLAG_BACKUP_SEMANTICS));
    char16_t finalPath[PathCapacity];
    if (root && readFinalPath(root.get(), finalPath)) {
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
    if (win::SHGetFolderPathW(win::CSIDL_COMMON_APPDATA, win::SHGFP_TYPE_CURRENT, logPath) < 0) {
        logPath[0] = 0;
        return;
    }
    logPath[PathCapacity - 1] = 0;
    resolveRoot();
    // A folder path that does not fit leaves no room for a file name: the log
    // is off, as for the other set-up failures.
    if (util::pathAppend(logPath, PathCapacity, LogFolderName) != win::S_OK) {
        logPath[0] = 0;
        return;
    }
    if (win::PathFileExistsW(logPath)) {
        return;  // an existing folder keeps the rights it has
    }
    const int created = win::SHCreateDirectory(logPath);
    if (created == static_cast<int>(win::ERROR_ALREADY_EXISTS)) {
        // Another run, started at the same moment, made it first (one process
        // per URL): it is there, and that run sets its rights.
        return;
    }
    if (created != static_cast<int>(win::ERROR_SUCCESS)) {
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
    util::UniqueFile folder(win::CreateFileW(logPath, win::READ_CONTROL | win::WRITE_DAC | win::FILE_READ_ATTRIBUTES,
                                             0, win::OPEN_EXISTING,
                                             win::FILE_FLAG_BACKUP_SEMANTICS | win::FILE_FLAG_OPEN_REPARSE_POINT));
    if (folder && !isOwn(folder.get(), logPath, true)) {
        folder.reset();
    }
    if (!folder) {
        if (consoleAttached != 0) {
            writeToConsole(PermissionWarning, util::length(PermissionWarning));
        }
        return;
    }
    win::PACL currentAcl = nullptr;
    util::UniqueLocal descriptor;
    if (win::GetSecurityInfo(folder.get(), win::SE_FILE_OBJECT, win::DACL_SECURITY_INFORMATION, &currentAcl,
                             descriptor.receive()) != win::ERROR_SUCCESS) {
        // Without the current list there is nothing sound to merge into.
        return;
    }
    util::UniqueSid users;
    if (!win::AllocateAndInitializeSid(&win::SECURITY_NT_AUTHORITY, 2, win::SECURITY_BUILTIN_DOMAIN_RID,
                                       win::DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, users.receive())) {
        return;
    }
    win::EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = win::GENERIC_ALL;
    access.grfAccessMode = win::GRANT_ACCESS;
    access.grfInheritance = win::SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.pMultipleTrustee = nullptr;
    access.Trustee.MultipleTrusteeOperation = win::NO_MULTIPLE_TRUSTEE;
    access.Trustee.TrusteeForm = win::TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = win::TRUSTEE_IS_GROUP;
    access.Trustee.ptstrName = users.get();
    util::UniqueLocal newAcl;
    win::PACL merged = nullptr;
    if (win::SetEntriesInAclW(1, &access, currentAcl, &merged) != win::ERROR_SUCCESS) {
        return;
    }
    newAcl.reset(merged);
    if (merged != nullptr) {
        win::SetSecurityInfo(folder.get(), win::SE_FILE_OBJECT, win::DACL_SECURITY_INFORMATION, merged);
    }
}

void DiagnosticLog::chooseFile()
{
    win::SYSTEMTIME now{};
    win::GetSystemTime(&now);
    win::FILETIME asFileTime{};
    win::SYSTEMTIME roundTrip{};
    int dayOfWeek = -1;
    // GetSystemTime leaves wDayOfWeek as the clock has it; the round trip
    // through FILETIME yields the weekday computed from the date itself.
    if (win::SystemTimeToFileTime(&now, &asFileTime) && win::FileTimeToSystemTime(&asFileTime, &roundTrip)) {
        dayOfWeek = roundTrip.wDayOfWeek;
    }
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
    util::UniqueFile file(win::CreateFileW(logPath, win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_DELETE,
                                           win::OPEN_EXISTING, win::FILE_FLAG_OPEN_REPARSE_POINT));
    if (!file) {
        return;
    }
    win::FILETIME creation{};
    win::FILETIME lastAccess{};
    win::FILETIME lastWrite{};
    if (!win::GetFileTime(file.get(), &creation, &lastAccess, &lastWrite)) {
        return;
    }
    win::SYSTEMTIME now{};
    win::GetSystemTime(&now);
    win::FILETIME nowFileTime{};
    win::SystemTimeToFileTime(&now, &nowFileTime);
    const std::int64_t age =
        static_cast<std::int64_t>(static_cast<std::uint64_t>(fileTimeValue(nowFileTime)) -
                                  static_cast<std::uint64_t>(fileTimeValue(lastWrite)));
    if (age >= ExpiryAge && isOwn(file.get(), logPath, false) && win::DeleteFileW(logPath)) {
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
    // each holds the file exclusively for one entry. A sharing or lock
    // violation means another run is mid-entry (or something else holds the
    // folder a moment): wait instead of losing the text. Any other failure
    // (rights, disk, a link in the way) is not retried.
    util::UniqueFile folder;
    util::UniqueFile file;
    for (std::uint32_t waited = 0;; waited += LogBusyRetryPauseMs) {
        win::DWORD error = 0;
        folder = openOwnFolder(error);
        if (folder) {
            file.reset(win::CreateFileW(logPath, win::FILE_APPEND_DATA | win::FILE_READ_ATTRIBUTES, 0,
                                        win::OPEN_ALWAYS,
                                        win::FILE_ATTRIBUTE_NORMAL | win::FILE_FLAG_OPEN_REPARSE_POINT));
            error = file ? 0 : win::GetLastError();
        }
        if (file || !isBusy(error) || waited >= LogBusyRetryLimitMs) {
            break;
        }
        folder.reset();
        win::Sleep(LogBusyRetryPauseMs);
    }
    if (file && !isOwn(file.get(), logPath, false)) {
        file.reset();  // not the log's own file: the entry goes to the console only
    }
    if (file) {
        win::SYSTEMTIME now{};
        win::GetSystemTime(&now);
        if (!bareLineBreak) {
            util::formatString(entry, PrefixLength + 1, u"[%04d-%02d-%02d %02d:%02d:%02d] ", now.wYear, now.wMonth,
                               now.wDay, now.wHour, now.wMinute, now.wSecond);
            used = util::length(entry);
        }
        util::copyString(entry + used, TextCapacity, text);
        used += util::length(entry + used);
        win::DWORD written = 0;
        win::WriteFile(file.get(), entry, static_cast<win::DWORD>(used * sizeof(char16_t)), &written);
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
    win::DWORD written = 0;
    win::WriteConsoleW(win::GetStdHandle(win::STD_OUTPUT_HANDLE), text, static_cast<win::DWORD>(length), &written);
}

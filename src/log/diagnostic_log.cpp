#include "log/diagnostic_log.h"

#include "util/handles.h"
#include "winapi/desktop.h"
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

}  // namespace

DiagnosticLog::DiagnosticLog()
{
    detailEnabled = 0;
    consoleAttached = 0;
    if (win::AttachConsole(win::ATTACH_PARENT_PROCESS)) {
        consoleAttached = 1;
    }
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

DiagnosticLog::~DiagnosticLog()
{
    releaseConsole();
}

void DiagnosticLog::prepareFolder()
{
    if (win::SHGetFolderPathW(win::CSIDL_COMMON_APPDATA, win::SHGFP_TYPE_CURRENT, logPath) < 0) {
        logPath[0] = 0;
        return;
    }
    logPath[PathCapacity - 1] = 0;
    // A folder path that does not fit leaves no room for a file name: the log
    // is off, as for the other set-up failures.
    if (util::pathAppend(logPath, PathCapacity, LogFolderName) != win::S_OK) {
        logPath[0] = 0;
        return;
    }
    if (win::PathFileExistsW(logPath)) {
        return;  // an existing folder keeps the rights it has
    }
    if (win::SHCreateDirectory(logPath) != static_cast<int>(win::ERROR_SUCCESS)) {
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
    util::UniqueFile folder(win::CreateFileW(logPath, win::READ_CONTROL | win::WRITE_DAC, 0, win::OPEN_EXISTING,
                                             win::FILE_FLAG_BACKUP_SEMANTICS));
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
    win::FILETIME lastWrite{};
    {
        util::UniqueFile file(
            win::CreateFileW(logPath, win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING, 0));
        if (!file) {
            return;
        }
        win::FILETIME creation{};
        win::FILETIME lastAccess{};
        if (!win::GetFileTime(file.get(), &creation, &lastAccess, &lastWrite)) {
            return;
        }
    }
    win::SYSTEMTIME now{};
    win::GetSystemTime(&now);
    win::FILETIME nowFileTime{};
    win::SystemTimeToFileTime(&now, &nowFileTime);
    const std::int64_t age =
        static_cast<std::int64_t>(static_cast<std::uint64_t>(fileTimeValue(nowFileTime)) -
                                  static_cast<std::uint64_t>(fileTimeValue(lastWrite)));
    if (age >= ExpiryAge && win::DeleteFileW(logPath)) {
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
    options.markLineBreaksInInserts = true;
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
    // violation means another run is mid-entry: wait a moment instead of
    // losing the text. Any other failure (rights, disk) is not retried.
    util::UniqueFile file;
    for (std::uint32_t waited = 0;; waited += LogBusyRetryPauseMs) {
        file.reset(win::CreateFileW(logPath, win::FILE_APPEND_DATA, 0, win::OPEN_ALWAYS, win::FILE_ATTRIBUTE_NORMAL));
        if (file) {
            break;
        }
        const win::DWORD error = win::GetLastError();
        if ((error != win::ERROR_SHARING_VIOLATION && error != win::ERROR_LOCK_VIOLATION) ||
            waited >= LogBusyRetryLimitMs) {
            break;
        }
        win::Sleep(LogBusyRetryPauseMs);
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
    file.reset();
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

void DiagnosticLog::releaseConsole()
{
    if (consoleAttached == 0) {
        return;
    }
    consoleAttached = 0;
    win::FreeConsole();
    win::KEYBDINPUT enter{};
    enter.wVk = 0;
    enter.wScan = 0x000D;
    enter.dwFlags = win::KEYEVENTF_UNICODE;
    enter.time = 0;
    enter.dwExtraInfo = 0;
    win::SendInput(1, &enter);
}

// The clock, the console, this process, and the files of the log.
#pragma once

#include <iterator>

#include "winapi/types.h"

namespace win {

// --- Clock -------------------------------------------------------------------
// The current UTC time as a FILETIME value (100-nanosecond units since
// 1601-01-01). False when the system time cannot be converted.
[[nodiscard]] bool readClock(std::uint64_t& fileTime);
// Milliseconds since the system started (GetTickCount64). The waits measure
// themselves by it: it neither stops nor jumps when someone sets the clock,
// and it counts the time a pause really took, which on Windows is a whole
// number of scheduler ticks (about 15.6 ms) rather than what was asked.
[[nodiscard]] std::uint64_t monotonicMilliseconds();
// Waits; the program's waits are all pauses between polls.
void pause(DWORD milliseconds);

// --- Console -----------------------------------------------------------------
// Attaches to the console of the process that started this one; false when it
// has none (a program started by the shell for a URL).
[[nodiscard]] bool attachParentConsole();
// Writes to the attached console's output. A console that cannot be written
// to has nobody reading it: a failure is not reported.
void writeConsole(const char16_t* text, std::size_t length);
// The attached console's window (GetConsoleWindow); null when there is none.
// A terminal's pseudo-console window is owned by the terminal's own window.
[[nodiscard]] HWND consoleWindow();
// Detaches from the console.
void releaseConsole();

// --- This process ------------------------------------------------------------
// The program's own full path: its length, 0 on failure; a path that does not
// fit is cut and terminated and its length returned (as GetModuleFileNameW).
[[nodiscard]] DWORD moduleFileName(char16_t* buffer, DWORD size);
// The whole process command line, program name included.
const char16_t* commandLine();
// This process's id (GetCurrentProcessId); it cannot fail.
[[nodiscard]] DWORD currentProcessId();
// The Remote Desktop session the process runs in, the console's included
// (ProcessIdToSessionId): false when Windows cannot say.
[[nodiscard]] bool processSessionId(DWORD processId, DWORD& sessionId);

// --- Named objects of this session ---------------------------------------------
// Runs of the program coordinate through named objects of the session's own
// namespace ("Local\..." names): on a multi-session host every user's
// session has its own, so one user's runs never wait for another's.
// Opens the named mutex, creating it (not owned) when no run has it open:
// the handle, or null with the reason in `error`.
[[nodiscard]] HANDLE openSessionMutex(const char16_t* name, DWORD& error);
// Takes the mutex, waiting up to `milliseconds` for its owner to let go:
// ERROR_SUCCESS, also for a mutex whose owner ended without letting go
// (abandoned: a run that died holds nothing any more); WAIT_TIMEOUT while
// another process holds it; or why the wait failed.
[[nodiscard]] DWORD takeMutex(HANDLE mutex, DWORD milliseconds);
// Lets go of a mutex this process took.
void releaseMutex(HANDLE mutex);
// Opens the named event that stays set until it is reset, creating it
// (reset) when no run has it open: the handle, or null with the reason in
// `error`.
[[nodiscard]] HANDLE openSessionEvent(const char16_t* name, DWORD& error);
void setEvent(HANDLE event);
void resetEvent(HANDLE event);
// False when it is reset, or cannot be asked.
[[nodiscard]] bool isEventSet(HANDLE event);
// Closes a mutex's or an event's handle.
void closeSessionObject(HANDLE object);

// --- The log's files -----------------------------------------------------------
constexpr std::size_t PathCapacity = 260;  // at most 259 characters

enum class KnownFolder {
    CommonAppData,  // CSIDL_COMMON_APPDATA: the machine's, shared by every user
    LocalAppData,   // CSIDL_LOCAL_APPDATA: the user's own, not roaming
};
// The folder's path: ERROR_SUCCESS, or the Windows error of the lookup (the
// path is then empty).
[[nodiscard]] DWORD knownFolderPath(KnownFolder folder, char16_t (&path)[PathCapacity]);
[[nodiscard]] bool pathExists(const char16_t* path);
// Creates the folder and any missing parents: ERROR_SUCCESS, ERROR_ALREADY_EXISTS
// when it was there, or why it failed.
[[nodiscard]] DWORD createFolder(const char16_t* path);

// What the log opens a path for, and how (FileOpens below).
enum class FileUse { InspectFolder, ResolveFolder, ChangeFolderRights, ReadFolderRights, ReadToExpire, AppendEntry };

// CreateFileW's access, share mode, disposition and flags for each use, in
// Windows' numbers. The real side passes them on; the test double decides by
// the same entries what an open may do and whom it keeps out, so a change
// here reaches both. Every use but ResolveFolder opens a link or junction
// itself rather than what it points to, so that the log can look at what it
// opened before it acts on it. An entry's open shares reading, so a log
// viewer that follows the file (reading, sharing everything) never keeps an
// entry out, while two writers still exclude each other.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD FILE_APPEND_DATA = 0x0004;
constexpr DWORD FILE_READ_ATTRIBUTES = 0x0080;
constexpr DWORD READ_CONTROL = 0x00020000;
constexpr DWORD WRITE_DAC = 0x00040000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;  // opens a folder too

struct FileOpen {
    FileUse use;
    DWORD access;
    DWORD share;
    DWORD disposition;
    DWORD flags;
};
constexpr FileOpen FileOpens[] = {
    {FileUse::InspectFolder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS},
    {FileUse::ResolveFolder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS},
    {FileUse::ChangeFolderRights, FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_DAC, 0, OPEN_EXISTING,
     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS},
    {FileUse::ReadFolderRights, FILE_READ_ATTRIBUTES | READ_CONTROL,
     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS},
    {FileUse::ReadToExpire, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING,
     FILE_FLAG_OPEN_REPARSE_POINT},
    {FileUse::AppendEntry, FILE_READ_ATTRIBUTES | FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS,
     FILE_FLAG_OPEN_REPARSE_POINT | FILE_ATTRIBUTE_NORMAL},
};
constexpr const FileOpen& fileOpenFor(FileUse use) { return FileOpens[static_cast<std::size_t>(use)]; }
static_assert(
    [] {
        for (std::size_t i = 0; i < std::size(FileOpens); ++i) {
            if (static_cast<std::size_t>(FileOpens[i].use) != i) {
                return false;
            }
        }
        return true;
    }(),
    "FileOpens lists the uses in FileUse's order");
// The open handle, or INVALID_HANDLE_VALUE with the reason in `error` (2 or 3
// missing, 5 refused, 32 another open's share mode refuses this one).
[[nodiscard]] HANDLE openFile(const char16_t* path, FileUse use, DWORD& error);
void closeFile(HANDLE file);

struct FileFacts {
    bool folder;
    bool reparsePoint;  // a link or junction, opened as itself
    DWORD names;        // hard links to the file
    std::uint64_t size;
    std::uint64_t lastWrite;  // FILETIME value
};
[[nodiscard]] bool readFileFacts(HANDLE file, FileFacts& facts);
// The path the handle's file or folder has now, every link on the way
// followed, as it would be typed ("C:\...", "\\server\share\..."). False when
// it cannot be read or does not fit.
[[nodiscard]] bool readFinalPath(HANDLE file, char16_t (&path)[PathCapacity]);
// Writes all the bytes at the end of a file opened for AppendEntry:
// ERROR_SUCCESS, or why not (112 the disk is full).
[[nodiscard]] DWORD appendToFile(HANDLE file, const void* data, DWORD byteCount);
// Deletes the name (a link itself, never its target).
[[nodiscard]] bool deleteFile(const char16_t* path);

// Access rights as a folder's access list counts them (icacls shows
// FILE_ALL_ACCESS as F, and read, write, execute and DELETE together as M).
constexpr DWORD FILE_ADD_FILE = 0x0002;          // a folder's FILE_WRITE_DATA
constexpr DWORD FILE_ADD_SUBDIRECTORY = 0x0004;  // a folder's FILE_APPEND_DATA
constexpr DWORD FILE_DELETE_CHILD = 0x0040;
constexpr DWORD DELETE = 0x00010000;
constexpr DWORD WRITE_OWNER = 0x00080000;
constexpr DWORD FILE_GENERIC_READ = 0x00120089;
constexpr DWORD FILE_GENERIC_WRITE = 0x00120116;
constexpr DWORD FILE_GENERIC_EXECUTE = 0x001200A0;
constexpr DWORD FILE_ALL_ACCESS = 0x001F01FF;
// An entry may hold these instead, which Windows maps to the file rights.
constexpr DWORD GENERIC_ALL = 0x10000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;

// Where an entry applies, as its flags say (icacls's (OI), (CI) and (IO)):
// with neither inherit flag, to the folder itself only; OBJECT_INHERIT_ACE
// passes it to the files in the folder, CONTAINER_INHERIT_ACE to its
// folders; INHERIT_ONLY_ACE keeps it off the folder itself.
constexpr DWORD OBJECT_INHERIT_ACE = 0x1;
constexpr DWORD CONTAINER_INHERIT_ACE = 0x2;
constexpr DWORD INHERIT_ONLY_ACE = 0x8;

// Who an entry of a folder's access list is for.
enum class Trustee {
    LocalSystem,     // S-1-5-18
    Administrators,  // S-1-5-32-544
    Users,           // S-1-5-32-545
    OwnerRights,     // S-1-3-4: stands in for the owner's implicit rights
    Other,           // any other, as a list read back may hold
};
// One entry that allows `rights`, where `inheritance` says.
struct FolderAccess {
    Trustee trustee;
    DWORD rights;
    DWORD inheritance;
    bool operator==(const FolderAccess&) const = default;
};
// A folder's list as read back: its entries that allow (those that deny are
// left out), in order, and whether it is protected (inherits nothing from
// the folder above).
struct FolderAccessList {
    static constexpr std::size_t Capacity = 16;
    bool isProtected = false;
    std::size_t count = 0;
    FolderAccess entries[Capacity] = {};
};

// Each of these gives the folder a protected list of exactly these entries
// (at most 8): nothing is inherited from the folder above.
//
// Replaces the list of a folder opened for ChangeFolderRights:
// ERROR_SUCCESS or why not; the folder keeps its old list then.
[[nodiscard]] DWORD setProtectedFolderAccess(HANDLE folder, const FolderAccess* entries, std::size_t count);
// Creates one folder, whose parent must exist, with the list from its first
// moment: ERROR_SUCCESS, ERROR_ALREADY_EXISTS when it was there (it is left
// as it is), or why not (3 the parent is missing, 5 refused).
[[nodiscard]] DWORD createFolderWithAccess(const char16_t* path, const FolderAccess* entries, std::size_t count);
// Reads the list of a folder opened for ReadFolderRights: ERROR_SUCCESS, or
// why not (122 when it has more entries than a FolderAccessList holds). A
// folder without any list, open to everyone, reads as one entry for Other
// with FILE_ALL_ACCESS.
[[nodiscard]] DWORD readFolderAccess(HANDLE folder, FolderAccessList& list);

}  // namespace win

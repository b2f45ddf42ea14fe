// The in-memory machine's files, shell folders, time, console, folder security
// and process facts.
#include <cstring>
#include <functional>

#include "inmemory/machine.h"

namespace inmemory {

using namespace detail;

namespace detail {
namespace {

constexpr win::DWORD ReadAccess = win::GENERIC_READ | 0x0001u;  // FILE_READ_DATA
constexpr win::DWORD WriteAccess = win::GENERIC_WRITE | win::GENERIC_ALL | 0x0002u | win::FILE_APPEND_DATA;

std::uint64_t toValue(const win::FILETIME& t)
{
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}
win::FILETIME toFileTime(std::uint64_t value)
{
    return win::FILETIME{static_cast<win::DWORD>(value), static_cast<win::DWORD>(value >> 32)};
}

bool isLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }
int daysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : days[month - 1];
}

// The entry that holds a file's contents: a second hard link leads to the
// first name's entry.
std::u16string contentKey(const std::u16string& key)
{
    auto it = machine().files.find(key);
    return it != machine().files.end() && !it->second.hardLinkOf.empty() ? it->second.hardLinkOf : key;
}

// Windows follows a junction wherever it stands among the folders of a path;
// only for the last component does the caller choose.
std::u16string followFolderJunctions(std::u16string path)
{
    for (int hops = 0; hops < 32; ++hops) {
        bool replaced = false;
        for (std::size_t slash = path.find(u'\\'); slash != std::u16string::npos;
             slash = path.find(u'\\', slash + 1)) {
            auto it = machine().folders.find(fold(path.substr(0, slash)));
            if (it != machine().folders.end() && !it->second.junctionTarget.empty()) {
                path = it->second.junctionTarget + path.substr(slash);
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            break;
        }
    }
    return path;
}

// The path an open reaches: junctions among the folders are always followed;
// a link or junction in the last place only without
// FILE_FLAG_OPEN_REPARSE_POINT. False when links go round in circles.
bool resolvePath(std::u16string path, bool openReparsePoint, std::u16string& resolved)
{
    for (int hops = 0; hops < 32; ++hops) {
        path = followFolderJunctions(path);
        const std::u16string key = fold(path);
        auto file = machine().files.find(key);
        auto folder = machine().folders.find(key);
        if (!openReparsePoint && file != machine().files.end() && !file->second.symbolicLinkTarget.empty()) {
            path = file->second.symbolicLinkTarget;
        } else if (!openReparsePoint && folder != machine().folders.end() &&
                   !folder->second.junctionTarget.empty()) {
            path = folder->second.junctionTarget;
        } else {
            resolved = path;
            return true;
        }
    }
    return false;
}

// Removes one name of a file. When the first name of a hard-linked file goes,
// its contents pass to another name, as the file lives on under that one.
void removeName(const std::u16string& key)
{
    auto& files = machine().files;
    auto it = files.find(key);
    if (it == files.end()) {
        return;
    }
    if (it->second.hardLinkOf.empty()) {
        std::u16string heir;
        for (auto& [other, file] : files) {
            if (file.hardLinkOf == key) {
                if (heir.empty()) {
                    heir = other;
                    const std::u16string heirPath = file.path;
                    file = it->second;
                    file.path = heirPath;
                    file.deletePending = false;
                } else {
                    file.hardLinkOf = heir;
                }
            }
        }
    }
    files.erase(key);
}

bool heldByOther(const std::u16string& key)
{
    auto name = machine().files.find(key);
    auto content = machine().files.find(contentKey(key));
    return (name != machine().files.end() && name->second.heldByOther) ||
           (content != machine().files.end() && content->second.heldByOther);
}

// Would an open with this access and share mode conflict with the ones already
// open on the file (by any of its names)? Both sides' share modes must allow
// the other's access.
bool sharingConflict(const std::u16string& key, win::DWORD access, win::DWORD share)
{
    const std::u16string content = contentKey(key);
    for (const auto& [value, open] : machine().handles) {
        if ((open.kind != HandleKind::File && open.kind != HandleKind::Folder) || contentKey(open.path) != content) {
            continue;
        }
        const bool theyRead = (open.access & ReadAccess) != 0;
        const bool theyWrite = (open.access & WriteAccess) != 0;
        const bool weRead = (access & ReadAccess) != 0;
        const bool weWrite = (access & WriteAccess) != 0;
        if ((weRead && !(open.share & win::FILE_SHARE_READ)) || (weWrite && !(open.share & win::FILE_SHARE_WRITE)) ||
            (theyRead && !(share & win::FILE_SHARE_READ)) || (theyWrite && !(share & win::FILE_SHARE_WRITE))) {
            return true;
        }
    }
    return false;
}

File* fileFor(win::HANDLE handle, OpenHandle** open = nullptr)
{
    OpenHandle* h = findHandle(handleValue(handle));
    if (h == nullptr || h->kind != HandleKind::File) {
        return nullptr;
    }
    if (open != nullptr) {
        *open = h;
    }
    auto it = machine().files.find(contentKey(h->path));
    return it == machine().files.end() ? nullptr : &it->second;
}

}  // namespace
}  // namespace detail

void addFolder(const std::u16string& path)
{
    std::u16string current;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find(u'\\', start);
        current = path.substr(0, slash);
        if (!current.empty()) {
            machine().folders.try_emplace(fold(current), Folder{current});
        }
        if (slash == std::u16string::npos) {
            break;
        }
        start = slash + 1;
    }
}

bool folderExists(const std::u16string& path) { return machine().folders.count(fold(path)) != 0; }

void addFile(const std::u16string& path, const std::u16string& text, std::uint64_t lastWrite)
{
    addFolder(parentPath(path));
    File file;
    file.path = path;
    file.bytes.resize(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        file.bytes[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
        file.bytes[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
    file.creation = file.lastWrite = file.lastAccess = lastWrite;
    machine().files[fold(path)] = file;
}

bool fileExists(const std::u16string& path) { return machine().files.count(fold(path)) != 0; }

std::vector<std::uint8_t> fileBytes(const std::u16string& path)
{
    auto it = machine().files.find(contentKey(fold(path)));
    return it == machine().files.end() ? std::vector<std::uint8_t>{} : it->second.bytes;
}

std::u16string fileText(const std::u16string& path)
{
    const std::vector<std::uint8_t> bytes = fileBytes(path);
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return text;
}

std::uint64_t fileLastWrite(const std::u16string& path)
{
    auto it = machine().files.find(contentKey(fold(path)));
    return it == machine().files.end() ? 0 : it->second.lastWrite;
}

void setFileLastWrite(const std::u16string& path, std::uint64_t fileTime)
{
    auto it = machine().files.find(contentKey(fold(path)));
    if (it != machine().files.end()) {
        it->second.lastWrite = fileTime;
    }
}

void holdFile(const std::u16string& path)
{
    if (!fileExists(path)) {
        addFile(path, u"", machine().now);
    }
    machine().files[fold(path)].heldByOther = true;
}

void releaseFile(const std::u16string& path)
{
    auto it = machine().files.find(fold(path));
    if (it != machine().files.end()) {
        it->second.heldByOther = false;
    }
}

void denyAccess(const std::u16string& path) { machine().deniedPaths.insert(fold(path)); }

bool usersGrantedFullAccess(const std::u16string& folder)
{
    auto it = machine().folders.find(fold(folder));
    return it != machine().folders.end() && it->second.usersGranted;
}

void setProgramDataPath(const std::u16string& path)
{
    machine().programData = path;
    if (!path.empty()) {
        addFolder(path);
    }
}

void makeSymbolicLink(const std::u16string& path, const std::u16string& target)
{
    addFolder(parentPath(path));
    File link;
    link.path = path;
    link.symbolicLinkTarget = target;
    link.creation = link.lastWrite = link.lastAccess = machine().now;
    machine().files[fold(path)] = link;
}

void makeJunction(const std::u16string& path, const std::u16string& target)
{
    addFolder(parentPath(path));
    Folder junction{path};
    junction.junctionTarget = target;
    machine().folders[fold(path)] = junction;
}

void addHardLink(const std::u16string& path, const std::u16string& existing)
{
    const std::u16string content = contentKey(fold(existing));
    if (machine().files.count(content) == 0) {
        return;
    }
    addFolder(parentPath(path));
    File name;
    name.path = path;
    name.hardLinkOf = content;
    machine().files[fold(path)] = name;
}

void setParentConsole(bool present) { machine().parentConsole = present; }
bool consoleAttached() { return machine().attached; }
std::u16string consoleOutput() { return machine().console; }

void setModuleFileName(const std::u16string& path) { machine().moduleFileName = path; }
void setCommandLine(const std::u16string& commandLine) { machine().commandLine = commandLine; }

}  // namespace inmemory

namespace win {

using namespace inmemory::detail;
using inmemory::detail::machine;

HANDLE CreateFileW(const char16_t* path, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                   DWORD flagsAndAttributes)
{
    if (enterFailing("CreateFileW")) {
        return INVALID_HANDLE_VALUE;
    }
    Machine& m = machine();
    std::u16string resolved;
    if (fold(path != nullptr ? path : u"").empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (!resolvePath(path, (flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0, resolved)) {
        SetLastError(ERROR_CANT_RESOLVE_FILENAME);
        return INVALID_HANDLE_VALUE;
    }
    const std::u16string key = fold(resolved);
    if (m.deniedPaths.count(key) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (m.folders.count(key) != 0) {
        // A folder opens only with backup semantics, as on Windows.
        if ((flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) == 0 || creationDisposition != OPEN_EXISTING) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        if (sharingConflict(key, desiredAccess, shareMode)) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
        SetLastError(ERROR_SUCCESS);
        return asHandle(newHandle(OpenHandle{HandleKind::Folder, key, desiredAccess, shareMode, 0}));
    }
    auto existing = m.files.find(key);
    if (existing == m.files.end()) {
        if (creationDisposition == OPEN_EXISTING) {
            SetLastError(m.folders.count(parentPath(key)) != 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        if (m.folders.count(parentPath(key)) == 0) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        File file;
        file.path = resolved;
        file.creation = file.lastWrite = file.lastAccess = m.now;
        existing = m.files.emplace(key, file).first;
        SetLastError(ERROR_SUCCESS);
    } else {
        if (existing->second.deletePending) {
            SetLastError(ERROR_ACCESS_DENIED);  // STATUS_DELETE_PENDING
            return INVALID_HANDLE_VALUE;
        }
        if (heldByOther(key) || sharingConflict(key, desiredAccess, shareMode)) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
        if (creationDisposition == CREATE_NEW) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        SetLastError(creationDisposition == OPEN_ALWAYS || creationDisposition == CREATE_ALWAYS ? ERROR_ALREADY_EXISTS
                                                                                                 : ERROR_SUCCESS);
    }
    return asHandle(newHandle(OpenHandle{HandleKind::File, key, desiredAccess, shareMode, 0}));
}

BOOL WriteFile(HANDLE file, const void* data, DWORD byteCount, DWORD* written)
{
    if (written != nullptr) {
        *written = 0;
    }
    if (enterFailing("WriteFile")) {
        return FALSE;
    }
    OpenHandle* open = nullptr;
    File* target = fileFor(file, &open);
    if (target == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((open->access & WriteAccess) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    target->bytes.insert(target->bytes.end(), bytes, bytes + byteCount);
    target->lastWrite = machine().now;
    if (written != nullptr) {
        *written = byteCount;
    }
    return TRUE;
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite)
{
    if (enterFailing("GetFileTime")) {
        return FALSE;
    }
    File* target = fileFor(file);
    if (target == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (creation != nullptr) {
        *creation = toFileTime(target->creation);
    }
    if (lastAccess != nullptr) {
        *lastAccess = toFileTime(target->lastAccess);
    }
    if (lastWrite != nullptr) {
        *lastWrite = toFileTime(target->lastWrite);
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    if (enterFailing("CloseHandle")) {
        return FALSE;
    }
    auto it = machine().handles.find(handleValue(handle));
    if (it == machine().handles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const OpenHandle closed = it->second;
    machine().handles.erase(it);
    // A name deleted while open goes with the last handle opened through it.
    auto file = machine().files.find(closed.path);
    if (closed.kind == HandleKind::File && file != machine().files.end() && file->second.deletePending) {
        bool stillOpen = false;
        for (const auto& [value, open] : machine().handles) {
            stillOpen = stillOpen || (open.kind == HandleKind::File && open.path == closed.path);
        }
        if (!stillOpen) {
            removeName(closed.path);
        }
    }
    return TRUE;
}

BOOL DeleteFileW(const char16_t* path)
{
    if (enterFailing("DeleteFileW")) {
        return FALSE;
    }
    // The last component is deleted itself, link or not; junctions among the
    // folders on the way are followed.
    const std::u16string key = fold(followFolderJunctions(path != nullptr ? path : u""));
    if (machine().folders.count(key) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);  // a folder or junction is not a file
        return FALSE;
    }
    auto it = machine().files.find(key);
    if (it == machine().files.end()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (machine().deniedPaths.count(key) != 0 || it->second.deletePending) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (heldByOther(key)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    // Windows opens the file for deletion sharing everything: only an open
    // that does not share deletion stands in the way. While the name is still
    // open it is only marked, and goes with its last handle.
    const std::u16string content = contentKey(key);
    bool openByName = false;
    for (const auto& [value, open] : machine().handles) {
        if (open.kind != HandleKind::File || contentKey(open.path) != content) {
            continue;
        }
        if ((open.share & FILE_SHARE_DELETE) == 0) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
        openByName = openByName || open.path == key;
    }
    if (openByName) {
        it->second.deletePending = true;
    } else {
        removeName(key);
    }
    return TRUE;
}

BOOL PathFileExistsW(const char16_t* path)
{
    if (enterFailing("PathFileExistsW")) {
        return FALSE;
    }
    // GetFileAttributesW underneath: a link in the last place is looked at
    // itself, so a dangling one exists too.
    std::u16string resolved;
    if (!resolvePath(path != nullptr ? path : u"", true, resolved)) {
        return FALSE;
    }
    const std::u16string key = fold(resolved);
    return machine().folders.count(key) != 0 || machine().files.count(key) != 0;
}

HRESULT SHGetFolderPathW(int csidl, DWORD, char16_t* path)
{
    DWORD error = 0;
    if (enter("SHGetFolderPathW", error)) {
        return hresultFromWin32(error);
    }
    path[0] = 0;
    if (csidl != CSIDL_COMMON_APPDATA || machine().programData.empty()) {
        return E_FAIL;
    }
    const std::u16string& folder = machine().programData;
    if (folder.size() >= 260) {
        return E_FAIL;
    }
    std::memcpy(path, folder.c_str(), (folder.size() + 1) * sizeof(char16_t));
    return S_OK;
}

int SHCreateDirectory(const char16_t* path)
{
    DWORD error = 0;
    if (enter("SHCreateDirectory", error)) {
        return static_cast<int>(error);
    }
    std::u16string folder = path != nullptr ? path : u"";
    while (!folder.empty() && folder.back() == u'\\') {
        folder.pop_back();
    }
    if (folder.empty()) {
        return static_cast<int>(ERROR_PATH_NOT_FOUND);
    }
    // Created where the path leads: through the junctions among its folders.
    if (!resolvePath(folder, false, folder)) {
        return static_cast<int>(ERROR_CANT_RESOLVE_FILENAME);
    }
    if (inmemory::folderExists(folder)) {
        return static_cast<int>(ERROR_ALREADY_EXISTS);
    }
    for (std::u16string parent = parentPath(folder); !parent.empty(); parent = parentPath(parent)) {
        if (machine().deniedPaths.count(fold(parent)) != 0) {
            return static_cast<int>(ERROR_ACCESS_DENIED);
        }
    }
    inmemory::addFolder(folder);
    return static_cast<int>(ERROR_SUCCESS);
}

namespace {
void civilFromFileTime(std::uint64_t value, SYSTEMTIME* time)
{
    const std::uint64_t totalSeconds = value / inmemory::TicksPerSecond;
    std::int64_t days = static_cast<std::int64_t>(totalSeconds / 86400);
    const std::uint64_t secondsOfDay = totalSeconds % 86400;
    const int dayOfWeek = static_cast<int>((days + 1) % 7);  // 1601-01-01 was a Monday
    days -= 134774;                                          // to days since 1970-01-01
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    time->wYear = static_cast<WORD>(year);
    time->wMonth = static_cast<WORD>(month);
    time->wDayOfWeek = static_cast<WORD>(dayOfWeek);
    time->wDay = static_cast<WORD>(day);
    time->wHour = static_cast<WORD>(secondsOfDay / 3600);
    time->wMinute = static_cast<WORD>(secondsOfDay / 60 % 60);
    time->wSecond = static_cast<WORD>(secondsOfDay % 60);
    time->wMilliseconds = static_cast<WORD>(value / 10'000 % 1000);
}
}  // namespace

void GetSystemTime(SYSTEMTIME* time)
{
    DWORD ignored = 0;
    enter("GetSystemTime", ignored);
    civilFromFileTime(machine().now, time);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime)
{
    if (enterFailing("SystemTimeToFileTime")) {
        return FALSE;
    }
    const SYSTEMTIME& t = *systemTime;
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > daysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 ||
        t.wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::uint64_t value = fileTimeFromCivil(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond) +
                                static_cast<std::uint64_t>(t.wMilliseconds) * 10'000;
    *fileTime = toFileTime(value);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime)
{
    if (enterFailing("FileTimeToSystemTime")) {
        return FALSE;
    }
    const std::uint64_t value = toValue(*fileTime);
    if (value >= 0x8000000000000000ull) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    civilFromFileTime(value, systemTime);
    return TRUE;
}

void Sleep(DWORD milliseconds)
{
    DWORD ignored = 0;
    enter("Sleep", ignored);
    Machine& m = machine();
    m.sleptMs += milliseconds;
    const std::uint64_t until = m.now + static_cast<std::uint64_t>(milliseconds) * 10'000;
    // Scheduled actions run at their own moment, in order, while time passes.
    while (!m.scheduled.empty() && m.scheduled.begin()->first <= until) {
        auto it = m.scheduled.begin();
        if (it->first > m.now) {
            m.now = it->first;
        }
        auto action = std::move(it->second);
        m.scheduled.erase(it);
        action();
    }
    m.now = until;
}

BOOL AttachConsole(DWORD)
{
    if (enterFailing("AttachConsole")) {
        return FALSE;
    }
    Machine& m = machine();
    if (m.attached) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!m.parentConsole) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    m.attached = true;
    return TRUE;
}

BOOL FreeConsole()
{
    if (enterFailing("FreeConsole")) {
        return FALSE;
    }
    machine().attached = false;
    return TRUE;
}

HANDLE GetStdHandle(DWORD which)
{
    if (enterFailing("GetStdHandle")) {
        return INVALID_HANDLE_VALUE;
    }
    if (which != STD_OUTPUT_HANDLE || !machine().attached) {
        return nullptr;
    }
    for (const auto& [value, open] : machine().handles) {
        if (open.kind == HandleKind::Console) {
            return asHandle(value);
        }
    }
    return asHandle(newHandle(OpenHandle{HandleKind::Console, u"CONOUT$", 0, 0, 0}));
}

BOOL WriteConsoleW(HANDLE console, const char16_t* text, DWORD length, DWORD* written)
{
    if (written != nullptr) {
        *written = 0;
    }
    if (enterFailing("WriteConsoleW")) {
        return FALSE;
    }
    OpenHandle* open = findHandle(handleValue(console));
    if (open == nullptr || open->kind != HandleKind::Console || !machine().attached) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    machine().console.append(text, length);
    if (written != nullptr) {
        *written = length;
    }
    return TRUE;
}

namespace {
// What the in-memory machine keeps behind a PACL: whether the Users group has
// been merged in with full, inherited access.
struct Acl {
    bool grantsUsers = false;
};
struct Sid {
    BYTE authority[6];
    DWORD sub[2];
    BYTE count;
};
}  // namespace

DWORD GetSecurityInfo(HANDLE object, int objectType, DWORD securityInfo, PACL* dacl, PSECURITY_DESCRIPTOR* descriptor)
{
    DWORD error = 0;
    if (enter("GetSecurityInfo", error)) {
        return error;
    }
    OpenHandle* open = findHandle(handleValue(object));
    if (open == nullptr || objectType != SE_FILE_OBJECT || securityInfo != DACL_SECURITY_INFORMATION) {
        return ERROR_INVALID_PARAMETER;
    }
    if ((open->access & READ_CONTROL) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    auto* acl = static_cast<Acl*>(allocate(sizeof(Acl)));
    acl->grantsUsers = open->kind == HandleKind::Folder && machine().folders[open->path].usersGranted;
    *descriptor = acl;  // the list lives inside its descriptor, as on Windows
    *dacl = acl;
    return ERROR_SUCCESS;
}

DWORD SetSecurityInfo(HANDLE object, int objectType, DWORD securityInfo, PACL dacl)
{
    DWORD error = 0;
    if (enter("SetSecurityInfo", error)) {
        return error;
    }
    OpenHandle* open = findHandle(handleValue(object));
    if (open == nullptr || objectType != SE_FILE_OBJECT || securityInfo != DACL_SECURITY_INFORMATION ||
        machine().allocations.count(dacl) == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    if ((open->access & WRITE_DAC) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (open->kind == HandleKind::Folder) {
        machine().folders[open->path].usersGranted = static_cast<Acl*>(dacl)->grantsUsers;
    }
    return ERROR_SUCCESS;
}

BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE subAuthorityCount, DWORD sub0,
                              DWORD sub1, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, PSID* sid)
{
    if (enterFailing("AllocateAndInitializeSid")) {
        return FALSE;
    }
    auto* made = static_cast<Sid*>(allocate(sizeof(Sid)));
    std::memcpy(made->authority, authority->Value, 6);
    made->sub[0] = sub0;
    made->sub[1] = sub1;
    made->count = subAuthorityCount;
    *sid = made;
    return TRUE;
}

void FreeSid(PSID sid)
{
    DWORD ignored = 0;
    enter("FreeSid", ignored);
    if (machine().allocations.erase(sid) != 0) {
        std::free(sid);
    }
}

DWORD SetEntriesInAclW(DWORD count, const EXPLICIT_ACCESS_W* entries, PACL oldAcl, PACL* newAcl)
{
    DWORD error = 0;
    if (enter("SetEntriesInAclW", error)) {
        return error;
    }
    if (oldAcl != nullptr && machine().allocations.count(oldAcl) == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    auto* acl = static_cast<Acl*>(allocate(sizeof(Acl)));
    acl->grantsUsers = oldAcl != nullptr && static_cast<Acl*>(oldAcl)->grantsUsers;
    for (DWORD i = 0; i < count; ++i) {
        const EXPLICIT_ACCESS_W& e = entries[i];
        const auto* sid = static_cast<const Sid*>(e.Trustee.ptstrName);
        const bool isUsers = sid != nullptr && machine().allocations.count(sid) != 0 && sid->count == 2 &&
                             std::memcmp(sid->authority, SECURITY_NT_AUTHORITY.Value, 6) == 0 &&
                             sid->sub[0] == SECURITY_BUILTIN_DOMAIN_RID && sid->sub[1] == DOMAIN_ALIAS_RID_USERS;
        if (isUsers && e.grfAccessPermissions == GENERIC_ALL && e.grfAccessMode == GRANT_ACCESS &&
            e.grfInheritance == SUB_CONTAINERS_AND_OBJECTS_INHERIT && e.Trustee.TrusteeForm == TRUSTEE_IS_SID &&
            e.Trustee.TrusteeType == TRUSTEE_IS_GROUP) {
            acl->grantsUsers = true;
        }
    }
    *newAcl = acl;
    return ERROR_SUCCESS;
}

void LocalFree(void* memory)
{
    DWORD ignored = 0;
    enter("LocalFree", ignored);
    if (memory != nullptr && machine().allocations.erase(memory) != 0) {
        std::free(memory);
    }
}

DWORD GetModuleFileNameW(char16_t* buffer, DWORD size)
{
    if (enterFailing("GetModuleFileNameW")) {
        return 0;
    }
    const std::u16string& path = machine().moduleFileName;
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() + 1 > size) {
        // Cut and terminated, the full size returned, as Windows does.
        std::memcpy(buffer, path.c_str(), (size - 1) * sizeof(char16_t));
        buffer[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(char16_t));
    return static_cast<DWORD>(path.size());
}

const char16_t* GetCommandLineW()
{
    DWORD ignored = 0;
    enter("GetCommandLineW", ignored);
    return machine().commandLine.c_str();
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information)
{
    if (enterFailing("GetFileInformationByHandle")) {
        return FALSE;
    }
    const OpenHandle* open = findHandle(handleValue(file));
    if (open == nullptr || (open->kind != HandleKind::File && open->kind != HandleKind::Folder) ||
        information == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((open->access & (GENERIC_READ | GENERIC_ALL | FILE_READ_ATTRIBUTES)) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *information = BY_HANDLE_FILE_INFORMATION{};
    information->dwVolumeSerialNumber = 0x5A17C0DEu;
    information->nNumberOfLinks = 1;
    if (open->kind == HandleKind::Folder) {
        auto folder = machine().folders.find(open->path);
        information->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
        if (folder != machine().folders.end() && !folder->second.junctionTarget.empty()) {
            information->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        }
        return TRUE;
    }
    auto name = machine().files.find(open->path);
    const std::u16string content = contentKey(open->path);
    auto data = machine().files.find(content);
    if (name == machine().files.end() || data == machine().files.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    information->dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    if (!name->second.symbolicLinkTarget.empty()) {
        information->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    }
    information->ftCreationTime = toFileTime(data->second.creation);
    information->ftLastAccessTime = toFileTime(data->second.lastAccess);
    information->ftLastWriteTime = toFileTime(data->second.lastWrite);
    const std::uint64_t size = data->second.bytes.size();
    information->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    information->nFileSizeLow = static_cast<DWORD>(size);
    for (const auto& [key, other] : machine().files) {
        information->nNumberOfLinks += other.hardLinkOf == content ? 1 : 0;
    }
    const std::size_t index = std::hash<std::u16string>{}(content);
    information->nFileIndexHigh = static_cast<DWORD>(static_cast<std::uint64_t>(index) >> 32);
    information->nFileIndexLow = static_cast<DWORD>(index);
    return TRUE;
}

DWORD GetFinalPathNameByHandleW(HANDLE file, char16_t* buffer, DWORD size, DWORD flags)
{
    if (enterFailing("GetFinalPathNameByHandleW")) {
        return 0;
    }
    const OpenHandle* open = findHandle(handleValue(file));
    if (open == nullptr || (open->kind != HandleKind::File && open->kind != HandleKind::Folder)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (flags != (FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)) {
        SetLastError(ERROR_INVALID_PARAMETER);  // the other forms are not modelled
        return 0;
    }
    std::u16string path;
    if (auto f = machine().files.find(open->path); f != machine().files.end()) {
        path = f->second.path;
    } else if (auto d = machine().folders.find(open->path); d != machine().folders.end()) {
        path = d->second.path;
    } else {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const std::u16string final = u"\\\\?\\" + path;
    if (buffer == nullptr || final.size() + 1 > size) {
        return static_cast<DWORD>(final.size() + 1);
    }
    std::memcpy(buffer, final.c_str(), (final.size() + 1) * sizeof(char16_t));
    return static_cast<DWORD>(final.size());
}

}  // namespace win

// The in-memory machine's files, shell folders, time, console, folder security
// and process facts.
#include <cstring>

#include "winapi/inmemory/machine.h"

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

// Would an open with this access and share mode conflict with the ones already
// open on the path? Both sides' share modes must allow the other's access.
bool sharingConflict(const std::u16string& key, win::DWORD access, win::DWORD share)
{
    for (const auto& [value, open] : machine().handles) {
        if ((open.kind != HandleKind::File && open.kind != HandleKind::Folder) || open.path != key) {
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
    auto it = machine().files.find(h->path);
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
    auto it = machine().files.find(fold(path));
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
    auto it = machine().files.find(fold(path));
    return it == machine().files.end() ? 0 : it->second.lastWrite;
}

void setFileLastWrite(const std::u16string& path, std::uint64_t fileTime)
{
    auto it = machine().files.find(fold(path));
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
    const std::u16string key = fold(path != nullptr ? path : u"");
    if (key.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
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
        file.path = path;
        file.creation = file.lastWrite = file.lastAccess = m.now;
        existing = m.files.emplace(key, file).first;
        SetLastError(ERROR_SUCCESS);
    } else {
        if (existing->second.heldByOther || sharingConflict(key, desiredAccess, shareMode)) {
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
    if (machine().handles.erase(handleValue(handle)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileW(const char16_t* path)
{
    if (enterFailing("DeleteFileW")) {
        return FALSE;
    }
    const std::u16string key = fold(path);
    auto it = machine().files.find(key);
    if (it == machine().files.end()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (machine().deniedPaths.count(key) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (it->second.heldByOther || sharingConflict(key, 0x00010000u /* DELETE */, 0)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    machine().files.erase(it);
    return TRUE;
}

BOOL PathFileExistsW(const char16_t* path)
{
    if (enterFailing("PathFileExistsW")) {
        return FALSE;
    }
    const std::u16string key = fold(path);
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

}  // namespace win

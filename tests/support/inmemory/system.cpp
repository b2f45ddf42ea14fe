// The in-memory machine's files, shell folders, time, console, folder security
// and process facts.
#include <cstring>

#include "inmemory/machine.h"

namespace inmemory {

using namespace detail;

namespace detail {
namespace {

// Whether an open reads or writes the file's data, which is what share modes
// count (its attributes and access list are not).
bool readsData(win::DWORD access) { return (access & win::GENERIC_READ) != 0; }
bool writesData(win::DWORD access) { return (access & win::FILE_APPEND_DATA) != 0; }
bool shareRefuses(win::DWORD share, win::DWORD access)
{
    return (readsData(access) && (share & win::FILE_SHARE_READ) == 0) ||
           (writesData(access) && (share & win::FILE_SHARE_WRITE) == 0);
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
    for (int hops = 0; machine().linksPlanted && hops < 32; ++hops) {
        bool replaced = false;
        for (std::size_t slash = path.find(u'\\'); slash != std::u16string::npos; slash = path.find(u'\\', slash + 1)) {
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
    if (!machine().linksPlanted) {
        resolved = std::move(path);
        return true;
    }
    for (int hops = 0; hops < 32; ++hops) {
        path = followFolderJunctions(path);
        const std::u16string key = fold(path);
        auto file = machine().files.find(key);
        auto folder = machine().folders.find(key);
        if (!openReparsePoint && file != machine().files.end() && !file->second.symbolicLinkTarget.empty()) {
            path = file->second.symbolicLinkTarget;
        } else if (!openReparsePoint && folder != machine().folders.end() && !folder->second.junctionTarget.empty()) {
            path = folder->second.junctionTarget;
        } else {
            resolved = path;
            return true;
        }
    }
    return false;
}

bool followedByOther(const std::u16string& key)
{
    auto content = machine().files.find(contentKey(key));
    return content != machine().files.end() && content->second.followedByOther;
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
    // A viewer following the file reads it and shares everything: only an
    // open that does not share reading conflicts with it.
    if (followedByOther(key) && (share & win::FILE_SHARE_READ) == 0) {
        return true;
    }
    const std::u16string content = contentKey(key);
    for (const auto& [value, open] : machine().handles) {
        if ((open.kind != HandleKind::File && open.kind != HandleKind::Folder) || contentKey(open.path) != content) {
            continue;
        }
        if (shareRefuses(open.share, access) || shareRefuses(share, open.access)) {
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

bool passTime(std::uint64_t until, const std::function<bool()>& done)
{
    Machine& m = machine();
    // Scheduled actions run at their own moment, in order, while time passes.
    while (!m.scheduled.empty() && m.scheduled.begin()->first <= until) {
        auto it = m.scheduled.begin();
        if (it->first > m.now) {
            m.now = it->first;
        }
        auto action = std::move(it->second);
        m.scheduled.erase(it);
        action();
        if (done && done()) {
            return true;
        }
    }
    m.now = until;
    return false;
}

}  // namespace detail

void addFolder(const std::u16string& path)
{
    std::u16string current;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find(u'\\', start);
        current = path.substr(0, slash);
        if (!current.empty()) {
            machine().folders.try_emplace(fold(current), Folder{.path = current});
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
    machine().files[fold(path)] = File{.path = path, .bytes = utf16Bytes(text), .lastWrite = lastWrite};
}

bool fileExists(const std::u16string& path) { return machine().files.count(fold(path)) != 0; }

std::vector<std::uint8_t> fileBytes(const std::u16string& path)
{
    auto it = machine().files.find(contentKey(fold(path)));
    return it == machine().files.end() ? std::vector<std::uint8_t>{} : it->second.bytes;
}

std::u16string fileText(const std::u16string& path) { return utf16Text(fileBytes(path)); }

namespace {
// The file another process opens, made empty when it is not there yet.
File& openedElsewhere(const std::u16string& path)
{
    if (!fileExists(path)) {
        addFile(path, u"", machine().now);
    }
    return machine().files[fold(path)];
}
}  // namespace

void holdFile(const std::u16string& path) { openedElsewhere(path).heldByOther = true; }
void followFile(const std::u16string& path) { openedElsewhere(path).followedByOther = true; }

void releaseFile(const std::u16string& path)
{
    auto it = machine().files.find(fold(path));
    if (it != machine().files.end()) {
        it->second.heldByOther = false;
        it->second.followedByOther = false;
    }
}

void appendBytes(const std::u16string& path, const std::vector<std::uint8_t>& bytes)
{
    auto it = machine().files.find(contentKey(fold(path)));
    if (it != machine().files.end()) {
        it->second.bytes.insert(it->second.bytes.end(), bytes.begin(), bytes.end());
    }
}

void afterWriting(const std::u16string& text, std::function<void()> action)
{
    machine().writeHooks.emplace_back(text, std::move(action));
}

FolderList folderAccess(const std::u16string& folder)
{
    auto it = machine().folders.find(fold(folder));
    return it != machine().folders.end() ? it->second.access : FolderList{};
}

void setFolderAccess(const std::u16string& folder, const FolderList& list)
{
    addFolder(folder);
    machine().folders[fold(folder)].access = list;
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
    machine().linksPlanted = true;
    machine().files[fold(path)] = File{.path = path, .lastWrite = machine().now, .symbolicLinkTarget = target};
}

void makeJunction(const std::u16string& path, const std::u16string& target)
{
    addFolder(parentPath(path));
    machine().linksPlanted = true;
    // Member by member: GCC 12 at -O2 takes the access list a designated
    // initializer leaves out for uninitialised.
    Folder& junction = machine().folders[fold(path)];
    junction = Folder{};
    junction.path = path;
    junction.junctionTarget = target;
}

void addHardLink(const std::u16string& path, const std::u16string& existing)
{
    const std::u16string content = contentKey(fold(existing));
    if (machine().files.count(content) == 0) {
        return;
    }
    addFolder(parentPath(path));
    machine().files[fold(path)] = File{.path = path, .hardLinkOf = content};
}

void setParentConsole(bool present) { machine().parentConsole = present; }
bool consoleAttached() { return machine().attached; }
std::u16string consoleOutput() { return machine().console; }

void setModuleFileName(const std::u16string& path) { machine().moduleFileName = path; }

void holdMutex(const std::u16string& name) { machine().mutexes[name].heldElsewhere = true; }
void releaseHeldMutex(const std::u16string& name) { machine().mutexes[name].heldElsewhere = false; }
bool holdsMutex(const std::u16string& name) { return machine().mutexes[name].heldByUs > 0; }
void setSessionEvent(const std::u16string& name) { machine().events[name] = true; }
bool sessionEventIsSet(const std::u16string& name) { return machine().events[name]; }

}  // namespace inmemory

namespace win {

using namespace inmemory::detail;
using inmemory::detail::machine;

bool readClock(std::uint64_t& fileTime)
{
    if (failsNow("readClock")) {
        return false;
    }
    fileTime = machine().now;
    return true;
}

// The same clock as the UTC one, in milliseconds: pauses advance both.
std::uint64_t monotonicMilliseconds()
{
    [[maybe_unused]] const bool ignored = failsNow("monotonicMilliseconds");
    return machine().now / 10'000;
}

void pause(DWORD milliseconds)
{
    [[maybe_unused]] const bool ignored = failsNow("pause");
    Machine& m = machine();
    const std::uint64_t stretched = static_cast<std::uint64_t>(milliseconds) * m.pauseStretch;
    m.sleptMs += stretched;
    passTime(m.now + stretched * 10'000);
}

bool attachParentConsole()
{
    Machine& m = machine();
    if (failsNow("attachParentConsole") || m.attached || !m.parentConsole) {
        return false;
    }
    m.attached = true;
    return true;
}

void writeConsole(const char16_t* text, std::size_t length)
{
    if (!failsNow("writeConsole") && machine().attached) {
        machine().console.append(text, length);
    }
}

HWND consoleWindow()
{
    if (failsNow("consoleWindow") || !machine().attached) {
        return nullptr;
    }
    return machine().consoleWindow;
}

void releaseConsole()
{
    if (!failsNow("releaseConsole")) {
        machine().attached = false;
    }
}

DWORD moduleFileName(char16_t* buffer, DWORD size)
{
    if (failsNow("moduleFileName") || size == 0) {
        return 0;
    }
    const std::u16string& path = machine().moduleFileName;
    if (path.size() + 1 > size) {
        // Cut and terminated, the full size returned, as Windows does.
        std::memcpy(buffer, path.c_str(), (size - 1) * sizeof(char16_t));
        buffer[size - 1] = 0;
        return size;
    }
    std::memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(char16_t));
    return static_cast<DWORD>(path.size());
}

DWORD currentProcessId()
{
    [[maybe_unused]] const bool ignored = failsNow("currentProcessId");  // cannot fail on Windows
    return inmemory::ThisProcessId;
}

bool processSessionId(DWORD processId, DWORD& sessionId)
{
    if (failsNow("processSessionId") || processId != inmemory::ThisProcessId) {
        return false;
    }
    sessionId = inmemory::ThisSessionId;
    return true;
}

namespace {

HANDLE openSessionObject(const char* function, HandleKind kind, const char16_t* name, DWORD& error)
{
    if (enter(function, error)) {
        return nullptr;
    }
    if (name == nullptr || name[0] == 0) {
        error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    error = ERROR_SUCCESS;
    if (kind == HandleKind::Mutex) {
        machine().mutexes.try_emplace(name);
    } else {
        machine().events.try_emplace(name, false);
    }
    return asHandle(newHandle(OpenHandle{kind, name}));
}

// The name behind a handle of this kind; null for any other handle.
const std::u16string* sessionObject(HANDLE handle, HandleKind kind)
{
    const OpenHandle* open = findHandle(handleValue(handle));
    return open != nullptr && open->kind == kind ? &open->path : nullptr;
}

}  // namespace

HANDLE openSessionMutex(const char16_t* name, DWORD& error)
{
    return openSessionObject("openSessionMutex", HandleKind::Mutex, name, error);
}

DWORD takeMutex(HANDLE mutex, DWORD milliseconds)
{
    DWORD error = 0;
    if (enter("takeMutex", error)) {
        return error;
    }
    const std::u16string* name = sessionObject(mutex, HandleKind::Mutex);
    if (name == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    SessionMutex& held = machine().mutexes[*name];
    // Waiting, time passes: the run that holds it may let go meanwhile.
    if (held.heldElsewhere) {
        Machine& m = machine();
        const std::uint64_t start = m.now;
        const std::uint64_t waited = static_cast<std::uint64_t>(milliseconds) * m.pauseStretch;
        passTime(m.now + waited * 10'000, [&held] { return !held.heldElsewhere; });
        m.sleptMs += (m.now - start) / 10'000;
        if (held.heldElsewhere) {
            return WAIT_TIMEOUT;
        }
    }
    ++held.heldByUs;
    return ERROR_SUCCESS;
}

void releaseMutex(HANDLE mutex)
{
    const std::u16string* name = sessionObject(mutex, HandleKind::Mutex);
    if (!failsNow("releaseMutex") && name != nullptr && machine().mutexes[*name].heldByUs > 0) {
        --machine().mutexes[*name].heldByUs;
    }
}

HANDLE openSessionEvent(const char16_t* name, DWORD& error)
{
    return openSessionObject("openSessionEvent", HandleKind::Event, name, error);
}

void setEvent(HANDLE event)
{
    const std::u16string* name = sessionObject(event, HandleKind::Event);
    if (!failsNow("setEvent") && name != nullptr) {
        machine().events[*name] = true;
    }
}

void resetEvent(HANDLE event)
{
    const std::u16string* name = sessionObject(event, HandleKind::Event);
    if (!failsNow("resetEvent") && name != nullptr) {
        machine().events[*name] = false;
    }
}

bool isEventSet(HANDLE event)
{
    const std::u16string* name = sessionObject(event, HandleKind::Event);
    return !failsNow("isEventSet") && name != nullptr && machine().events[*name];
}

void closeSessionObject(HANDLE object)
{
    if (failsNow("closeSessionObject")) {
        return;
    }
    auto it = machine().handles.find(handleValue(object));
    if (it != machine().handles.end() &&
        (it->second.kind == HandleKind::Mutex || it->second.kind == HandleKind::Event)) {
        machine().handles.erase(it);
    }
}

DWORD knownFolderPath(KnownFolder which, char16_t (&path)[PathCapacity])
{
    path[0] = 0;
    DWORD error = 0;
    if (enter("knownFolderPath", error)) {
        return error;
    }
    const std::u16string& folder = which == KnownFolder::CommonAppData ? machine().programData : machine().localAppData;
    if (folder.empty() || folder.size() >= PathCapacity) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::memcpy(path, folder.c_str(), (folder.size() + 1) * sizeof(char16_t));
    return ERROR_SUCCESS;
}

bool pathExists(const char16_t* path)
{
    // A link in the last place is looked at itself, so a dangling one exists too.
    std::u16string resolved;
    if (failsNow("pathExists") || !resolvePath(path != nullptr ? path : u"", true, resolved)) {
        return false;
    }
    const std::u16string key = fold(resolved);
    return machine().folders.count(key) != 0 || machine().files.count(key) != 0;
}

namespace {
// Both ways of making a folder; `list` (for one folder whose parent exists)
// or the missing parents with it.
DWORD makeFolder(const char* function, const char16_t* path, const inmemory::FolderList* list)
{
    DWORD error = 0;
    if (enter(function, error)) {
        return error;
    }
    std::u16string folder = path != nullptr ? path : u"";
    while (!folder.empty() && folder.back() == u'\\') {
        folder.pop_back();
    }
    // Created where the path leads: through the junctions among its folders.
    if (folder.empty() || !resolvePath(folder, false, folder) ||
        (list != nullptr && !inmemory::folderExists(parentPath(folder)))) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (inmemory::folderExists(folder)) {
        return ERROR_ALREADY_EXISTS;
    }
    inmemory::addFolder(folder);
    if (list != nullptr) {
        machine().folders[fold(folder)].access = *list;
    }
    return ERROR_SUCCESS;
}
}  // namespace

DWORD createFolder(const char16_t* path) { return makeFolder("createFolder", path, nullptr); }

DWORD createFolderWithAccess(const char16_t* path, const FolderAccess* entries, std::size_t count)
{
    const inmemory::FolderList list{true, {entries, entries + count}};
    return makeFolder("createFolderWithAccess", path, &list);
}

HANDLE openFile(const char16_t* path, FileUse use, DWORD& error)
{
    if (enter("openFile", error)) {
        return INVALID_HANDLE_VALUE;
    }
    // The access, sharing and link rules of the real side's CreateFileW.
    const FileOpen& how = fileOpenFor(use);
    const bool followLink = (how.flags & FILE_FLAG_OPEN_REPARSE_POINT) == 0;
    Machine& m = machine();
    std::u16string resolved;
    error = ERROR_SUCCESS;
    if (fold(path != nullptr ? path : u"").empty()) {
        error = ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (!resolvePath(path, !followLink, resolved)) {
        error = 1921;  // ERROR_CANT_RESOLVE_FILENAME: links in a circle
        return INVALID_HANDLE_VALUE;
    }
    const std::u16string key = fold(resolved);
    if (m.folders.count(key) != 0) {
        // A folder opens only with backup semantics, which the file uses lack.
        if ((how.flags & FILE_FLAG_BACKUP_SEMANTICS) == 0) {
            error = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
        if (sharingConflict(key, how.access, how.share)) {
            error = ERROR_SHARING_VIOLATION;
            return INVALID_HANDLE_VALUE;
        }
        return asHandle(newHandle(OpenHandle{HandleKind::Folder, key, how.access, how.share}));
    }
    auto existing = m.files.find(key);
    if (existing == m.files.end()) {
        if (how.disposition != OPEN_ALWAYS) {
            error = m.folders.count(parentPath(key)) != 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
            return INVALID_HANDLE_VALUE;
        }
        if (m.folders.count(parentPath(key)) == 0) {
            error = ERROR_PATH_NOT_FOUND;
            return INVALID_HANDLE_VALUE;
        }
        existing = m.files.emplace(key, File{.path = resolved, .lastWrite = m.now}).first;
    } else if (existing->second.deletePending) {
        error = ERROR_ACCESS_DENIED;  // STATUS_DELETE_PENDING
        return INVALID_HANDLE_VALUE;
    } else if (heldByOther(key) || sharingConflict(key, how.access, how.share)) {
        error = ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    return asHandle(newHandle(OpenHandle{HandleKind::File, key, how.access, how.share}));
}

void closeFile(HANDLE file)
{
    if (failsNow("closeFile")) {
        return;
    }
    auto it = machine().handles.find(handleValue(file));
    if (it == machine().handles.end()) {
        return;
    }
    const OpenHandle closed = it->second;
    machine().handles.erase(it);
    // A name deleted while open goes with the last handle opened through it.
    auto name = machine().files.find(closed.path);
    if (closed.kind == HandleKind::File && name != machine().files.end() && name->second.deletePending) {
        bool stillOpen = false;
        for (const auto& [value, open] : machine().handles) {
            stillOpen = stillOpen || (open.kind == HandleKind::File && open.path == closed.path);
        }
        if (!stillOpen) {
            machine().files.erase(closed.path);
        }
    }
}

bool readFileFacts(HANDLE file, FileFacts& facts)
{
    const bool fails = failsNow("readFileFacts");
    const OpenHandle* open = findHandle(handleValue(file));
    if (fails || open == nullptr) {
        return false;
    }
    facts = FileFacts{false, false, 1, 0, 0};
    if (open->kind == HandleKind::Folder) {
        auto folder = machine().folders.find(open->path);
        facts.folder = true;
        facts.reparsePoint = folder != machine().folders.end() && !folder->second.junctionTarget.empty();
        return true;
    }
    auto name = machine().files.find(open->path);
    const std::u16string content = contentKey(open->path);
    auto data = machine().files.find(content);
    if (name == machine().files.end() || data == machine().files.end()) {
        return false;
    }
    facts.reparsePoint = !name->second.symbolicLinkTarget.empty();
    facts.size = data->second.bytes.size();
    facts.lastWrite = data->second.lastWrite;
    for (const auto& [key, other] : machine().files) {
        facts.names += other.hardLinkOf == content ? 1 : 0;
    }
    return true;
}

bool readFinalPath(HANDLE file, char16_t (&path)[PathCapacity])
{
    const bool fails = failsNow("readFinalPath");
    const OpenHandle* open = findHandle(handleValue(file));
    if (fails || open == nullptr) {
        return false;
    }
    std::u16string final;
    if (auto f = machine().files.find(open->path); f != machine().files.end()) {
        final = f->second.path;
    } else if (auto d = machine().folders.find(open->path); d != machine().folders.end()) {
        final = d->second.path;
    }
    if (final.empty() || final.size() + 1 > PathCapacity) {
        return false;
    }
    std::memcpy(path, final.c_str(), (final.size() + 1) * sizeof(char16_t));
    return true;
}

DWORD appendToFile(HANDLE file, const void* data, DWORD byteCount)
{
    DWORD error = 0;
    if (enter("appendToFile", error)) {
        return error;
    }
    OpenHandle* open = nullptr;
    File* target = fileFor(file, &open);
    if (target == nullptr || !writesData(open->access)) {
        return ERROR_INVALID_HANDLE;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    target->bytes.insert(target->bytes.end(), bytes, bytes + byteCount);
    target->lastWrite = machine().now;
    auto& hooks = machine().writeHooks;
    if (!hooks.empty()) {
        const std::u16string written = utf16Text(std::vector<std::uint8_t>(bytes, bytes + byteCount));
        for (auto it = hooks.begin(); it != hooks.end(); ++it) {
            if (written.find(it->first) != std::u16string::npos) {
                auto action = std::move(it->second);
                hooks.erase(it);
                action();
                break;
            }
        }
    }
    return ERROR_SUCCESS;
}

bool deleteFile(const char16_t* path)
{
    if (failsNow("deleteFile")) {
        return false;
    }
    // The last component is deleted itself, link or not; junctions among the
    // folders on the way are followed.
    const std::u16string key = fold(followFolderJunctions(path != nullptr ? path : u""));
    auto it = machine().files.find(key);
    if (machine().folders.count(key) != 0 || it == machine().files.end() || it->second.deletePending ||
        heldByOther(key)) {
        return false;
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
            return false;
        }
        openByName = openByName || open.path == key;
    }
    if (openByName) {
        it->second.deletePending = true;
    } else {
        machine().files.erase(key);
    }
    return true;
}

namespace {
// The folder of a handle opened with `access`, or null.
Folder* folderFor(HANDLE handle, DWORD access)
{
    const OpenHandle* open = findHandle(handleValue(handle));
    return open == nullptr || open->kind != HandleKind::Folder || (open->access & access) == 0
               ? nullptr
               : &machine().folders[open->path];
}
}  // namespace

DWORD setProtectedFolderAccess(HANDLE folder, const FolderAccess* entries, std::size_t count)
{
    DWORD error = 0;
    if (enter("setProtectedFolderAccess", error)) {
        return error;
    }
    Folder* target = folderFor(folder, WRITE_DAC);
    if (target == nullptr) {
        return ERROR_ACCESS_DENIED;
    }
    target->access = {true, {entries, entries + count}};
    return ERROR_SUCCESS;
}

DWORD readFolderAccess(HANDLE folder, FolderAccessList& list)
{
    list = FolderAccessList{};
    DWORD error = 0;
    if (enter("readFolderAccess", error)) {
        return error;
    }
    const Folder* source = folderFor(folder, READ_CONTROL);
    if (source == nullptr) {
        return ERROR_ACCESS_DENIED;
    }
    if (source->access.entries.size() > FolderAccessList::Capacity) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    list.isProtected = source->access.isProtected;
    for (const FolderAccess& entry : source->access.entries) {
        list.entries[list.count++] = entry;
    }
    return ERROR_SUCCESS;
}

}  // namespace win

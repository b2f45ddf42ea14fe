#include "log/log_files.h"

#include <iterator>

#include "util/civil_time.h"
#include "util/format.h"
#include "util/strings.h"
#include "util/wait.h"

namespace logging {

namespace {

constexpr std::size_t PrefixLength = 22;  // "[YYYY-MM-DD hh:mm:ss] "
// With detail logging the process id follows: "[YYYY-MM-DD hh:mm:ss] [4242] ".
constexpr std::size_t PrefixCapacity = PrefixLength + 14;

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

bool isBusy(win::DWORD error) { return error == win::ERROR_SHARING_VIOLATION || error == win::ERROR_LOCK_VIOLATION; }

// The entry in `entry` (room for two prefixes, a note and a text).
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
        add(text, EntryTextCapacity, false);
    }
    if (*note != 0) {
        add(note, NoteCapacity, true);
    }
    if (!bareLineBreak) {
        add(text, EntryTextCapacity, true);
    }
    return used;
}

}  // namespace

void LogFolder::beShared(const char16_t* root)
{
    shared = true;
    rootLength = util::length(root);
    util::copyString(resolvedRoot, root);
    win::DWORD error = 0;
    const util::UniqueFile opened(win::openFile(root, win::FileUse::ResolveFolder, error));
    char16_t finalPath[win::PathCapacity];
    if (opened && win::readFinalPath(opened.get(), finalPath)) {
        util::copyString(resolvedRoot, finalPath);
    }
}

bool LogFolder::isPlainObjectAt(win::HANDLE object, const char16_t* path, ObjectKind kind) const
{
    const bool folder = kind == ObjectKind::Folder;
    win::FileFacts facts{};
    if (!win::readFileFacts(object, facts) || facts.reparsePoint || facts.folder != folder) {
        return false;
    }
    if (!shared) {
        return true;
    }
    if (!folder && facts.names != 1) {
        return false;
    }
    // The path as it resolves: the root's part as Windows says, then the rest
    // as written. A folder's final path has no backslash at its end.
    char16_t expected[win::PathCapacity];
    if (!util::copyString(expected, resolvedRoot)) {
        return false;
    }
    const char16_t* below = path + rootLength;
    while (*below == u'\\') {
        ++below;
    }
    if (*below != 0 && !util::pathAppend(expected, win::PathCapacity, below)) {
        return false;
    }
    const std::size_t expectedLength = util::length(expected);
    if (folder && expectedLength > 3 && expected[expectedLength - 1] == u'\\') {
        expected[expectedLength - 1] = 0;
    }
    char16_t actual[win::PathCapacity];
    return win::readFinalPath(object, actual) && util::compareNoCase(actual, expected) == 0;
}

// The folder of a log file, held while an entry is written: refused when it
// is a link (error 0), so no file is even created through one.
util::UniqueFile LogFolder::openFolderOf(const char16_t* path, win::DWORD& error) const
{
    char16_t folderPath[win::PathCapacity];
    util::copyString(folderPath, path);
    util::pathRemoveFileSpec(folderPath);
    util::UniqueFile folder(win::openFile(folderPath, win::FileUse::InspectFolder, error));
    if (folder && !isPlainObjectAt(folder.get(), folderPath, ObjectKind::Folder)) {
        folder.reset();
    }
    return folder;
}

util::UniqueFile LogFolder::openFolderForRights(const char16_t* path) const
{
    win::DWORD error = 0;
    util::UniqueFile folder(win::openFile(path, win::FileUse::ChangeFolderRights, error));
    if (folder && !isPlainObjectAt(folder.get(), path, ObjectKind::Folder)) {
        folder.reset();
    }
    return folder;
}

// Every URL starts its own process, so several runs write at once and each
// holds the file for writing, alone, for one entry. A sharing or lock
// violation means another run is mid-entry (or something else holds the
// folder a moment): wait instead of giving the file up. Any other failure
// (rights, disk, a link in the way) is not retried.
EntryFile LogFolder::openEntryFile(const char16_t* path, win::DWORD& error)
{
    EntryFile entryFile;
    const bool taken =
        util::lookUntil(staysBusy ? 0 : LogBusyRetryLimitMs, LogBusyRetryPauseMs, 0, false, [&](bool, std::uint64_t) {
            error = 0;
            entryFile.folder = openFolderOf(path, error);
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
    if (entryFile.file && !isPlainObjectAt(entryFile.file.get(), path, ObjectKind::File)) {
        entryFile.file.reset();
        error = 0;
    }
    return entryFile;
}

std::int64_t LogFolder::expireOldFile(const char16_t* path) const
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
        return 0;
    }
    const auto age = static_cast<std::int64_t>(now - facts.lastWrite);
    if (age < ExpiryAge || !isPlainObjectAt(file.get(), path, ObjectKind::File) || !win::deleteFile(path)) {
        return 0;
    }
    return age / 10'000'000;
}

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
    char16_t entry[2 * PrefixCapacity + NoteCapacity + EntryTextCapacity];
    const std::size_t used = composeEntry(entry, processTag, note, text);
    return win::appendToFile(file, entry, static_cast<win::DWORD>(used * sizeof(char16_t)));
}

win::DWORD makeSharedFolder(const LogFolder& place, const char16_t* folder, bool& warn)
{
    warn = false;
    char16_t vendor[win::PathCapacity];
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
        return created;
    }
    // The maker's folder that this run has just made gets its own list in
    // place of what it inherited, once the log folder is in it: read and
    // list only, no user could make the log folder there any more. Either
    // way the log folder is usable; the warning tells an administrator that
    // the rights need setting by hand.
    if (vendorMade == win::ERROR_SUCCESS) {
        const util::UniqueFile opened = place.openFolderForRights(vendor);
        warn = !opened || win::setProtectedFolderAccess(opened.get(), VendorFolderAccess,
                                                        std::size(VendorFolderAccess)) != win::ERROR_SUCCESS;
    }
    return win::ERROR_SUCCESS;
}

bool hasWeakerAccess(const char16_t* folder)
{
    // Opened as itself: a junction in its place is the entries' problem,
    // and they refuse it.
    win::DWORD error = 0;
    const util::UniqueFile handle(win::openFile(folder, win::FileUse::ReadFolderRights, error));
    win::FolderAccessList list;
    if (!handle || win::readFolderAccess(handle.get(), list) != win::ERROR_SUCCESS) {
        return false;
    }
    // An unprotected list takes whatever the folder above passes down.
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

}  // namespace logging

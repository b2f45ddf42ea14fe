// How the log opens, writes and deletes its files without being led
// elsewhere.
//
// The shared log folder is open to every local user, while the console
// commands are run as administrator. Anyone can therefore put a symbolic
// link, a junction or a second hard link where the log expects its own file
// or folder; written, deleted or re-permissioned through it, the
// administrator's action would land on an object of that user's choosing. So
// there the log acts only on what it opened without following a reparse
// point and found to be the plain object the path names. The user's own
// folder is that user's to arrange: only a link is refused there, so that no
// entry lands where a link points.
#pragma once

#include <cstdint>

#include "util/handles.h"
#include "winapi/system.h"

namespace logging {

// How long an entry waits for another process of the program to let go of
// its file before it is given up there (sharing or lock violation only).
// After one entry waited in vain, the run's later entries try that file once
// each: a stuck file costs a run about a second, not a second per entry.
constexpr std::uint32_t LogBusyRetryPauseMs = 10;
constexpr std::uint32_t LogBusyRetryLimitMs = 1000;

enum class ObjectKind : std::uint8_t { File, Folder };

// The folder and the file of one entry, held while it is written; the file,
// declared last, is closed first.
struct EntryFile {
    util::UniqueFile folder;
    util::UniqueFile file;
};

// One of the two folders the log writes to: the shared one under the
// machine's application data, or the user's own.
class LogFolder {
public:
    // The shared folder below `root`, the machine's application data folder as
    // its path spells it. That folder may sit behind a link (an administrator
    // moving it to another drive): it is taken as it resolves, and everything
    // below it must be what it says.
    void beShared(const char16_t* root);
    // The user's own folder: only links are refused.
    void beUsers() { shared = false; }

    // The one check of everything the log acts on: the object, opened without
    // following a link, is of the kind asked for, no link or junction itself,
    // and in the shared folder a file with a single name at the final path
    // the path names.
    [[nodiscard]] bool isPlainObjectAt(win::HANDLE object, const char16_t* path, ObjectKind kind) const;

    // Opens the file for one entry, with its folder held (not shared for
    // deletion, so that it cannot be swapped for a junction meanwhile).
    // Waits for another run that holds the file; no file: `error` says why,
    // 0 when the checks refused what was there.
    [[nodiscard]] EntryFile openEntryFile(const char16_t* path, win::DWORD& error);
    // Deletes the file when it is left over from an earlier week (last
    // written more than two days ago): its age in whole seconds when it did.
    [[nodiscard]] std::int64_t expireOldFile(const char16_t* path) const;
    // Opens a folder of the log (the maker's, the log's own) to change its
    // access list, refused through a junction: the list would be the target's.
    [[nodiscard]] util::UniqueFile openFolderForRights(const char16_t* path) const;

private:
    [[nodiscard]] util::UniqueFile openFolderOf(const char16_t* path, win::DWORD& error) const;

    bool shared = true;
    bool staysBusy = false;                         // an entry already waited for the file in vain
    char16_t resolvedRoot[win::PathCapacity] = {};  // the application data folder, links resolved
    std::size_t rootLength = 0;                     // its length as the paths spell it
};

// Appends one entry in one write, so that it is never split even if a later
// version shares the file: a note first when there is one, then the text,
// each after its time stamp and `processTag` ("" unless detail logging is
// on); a bare line break, which keeps runs apart, is written without a stamp.
// ERROR_SUCCESS or why not.
[[nodiscard]] win::DWORD appendEntry(win::HANDLE file, const char16_t* processTag, const char16_t* note,
                                     const char16_t* text);
constexpr std::size_t NoteCapacity = 128;        // the lines that tie the two files of a run together
constexpr std::size_t EntryTextCapacity = 1024;  // a text: at most 1023 characters

// The shared log folder, made with its own list (and the maker's folder
// above it, locked when this run made it): ERROR_SUCCESS (also when another
// run made it at the same moment) or why not. `warn`: a list could not be
// given, and an administrator must set it by hand.
[[nodiscard]] win::DWORD makeSharedFolder(const LogFolder& place, const char16_t* folder, bool& warn);
// Whether the folder's list is weaker than the one the program gives it:
// unprotected, or letting anyone but the system and the administrators take
// the folder itself. False when it cannot be read.
[[nodiscard]] bool hasWeakerAccess(const char16_t* folder);

}  // namespace logging

#include "registration/protocol_handler.h"

#include "log/diagnostic_log.h"
#include "util/handles.h"
#include "util/strings.h"
#include "winapi/registry.h"
#include "winapi/system.h"

namespace registration {

using win::DWORD;
using win::HKEY;
using win::HKEY_CLASSES_ROOT;

namespace {

constexpr char16_t SchemeKey[] = u"Velmorathis.Mirrowcast";
constexpr char16_t CommandKeyPath[] = u"Velmorathis.Mirrowcast\\shell\\open\\command";
constexpr char16_t SchemeDescription[] = u"URL:Velmorathis.Mirrowcast Protocol";

constexpr std::size_t ModulePathCapacity = 260;
// Quotes, blank and "%1" around a path of at most 259 characters always fit,
// and so does another program's command of up to 515 characters.
constexpr std::size_t CommandCapacity = 516;
// RegGetValueW counts bytes: the whole buffer, or this program's own command
// under a long install path would not fit and never read as valid.
constexpr DWORD ReadSizeBytes = CommandCapacity * sizeof(char16_t);
// The REG_SZ restriction alone takes plain and expandable strings alike (the
// latter expanded, as the shell will expand it). Adding RRF_RT_REG_EXPAND_SZ
// without RRF_NOEXPAND makes every read fail with 87, whatever the value: the
// registration would never be seen, never be refused and never be removed.
constexpr DWORD ReadTypes = win::RRF_RT_REG_SZ;

constexpr DWORD NotFoundError = win::ERROR_FILE_NOT_FOUND;

constexpr DWORD NewKeyAccess = win::KEY_SET_VALUE | win::KEY_CREATE_SUB_KEY;

void reportModulePathUnreadable(const ProtocolHandler& handler)
{
    handler.log->printDetail(u"Unable to retrieve module filename\n");
}

// GetModuleFileNameW cuts a path that does not fit and still returns a length;
// a cut path names a program that does not exist, so registering or comparing
// it would be wrong. It counts as unreadable like a failed call.
bool readModulePath(char16_t (&path)[ModulePathCapacity])
{
    const DWORD length = win::moduleFileName(path, ModulePathCapacity);
    return length != 0 && length < ModulePathCapacity;
}

// "<path>" "%1": Windows puts the URL in place of %1. Both parts are quoted so
// a path with blanks and a URL with blanks each stay one argument.
void buildOpenCommand(const char16_t* modulePath, char16_t (&command)[CommandCapacity])
{
    util::copyString(command, u"\"");
    util::appendString(command, modulePath);
    util::appendString(command, u"\" \"%1\"");
}

DWORD readDefaultValue(const char16_t* keyPath, char16_t (&value)[CommandCapacity])
{
    DWORD size = ReadSizeBytes;
    return win::readRegistryValue(HKEY_CLASSES_ROOT, keyPath, nullptr, ReadTypes, nullptr, value, &size);
}

// The registration as validate judges it, and the read's own error when the
// command could not be read for a reason that says nothing about it.
struct Registration {
    ValidateResult found;
    DWORD readError;
};

Registration readRegistration(const ProtocolHandler& handler)
{
    // Only ERROR_FILE_NOT_FOUND means nothing is registered: the scheme key,
    // "shell\open\command" or its default value is not there. A command
    // that does not fit or is no string is a registration all the same; it
    // cannot be compared, so it counts as another program's and is never
    // written over.
    char16_t registered[CommandCapacity] = {};
    const DWORD error = readDefaultValue(CommandKeyPath, registered);
    if (error == NotFoundError) {
        return {ValidateResult::Missing, 0};
    }
    if (error != 0) {
        const bool uncomparable = error == win::ERROR_MORE_DATA || error == win::ERROR_UNSUPPORTED_TYPE;
        return {ValidateResult::Differs, uncomparable ? 0 : error};
    }
    // The registry first: without a registration the answer is "missing"
    // even when the program's own path cannot be read.
    char16_t modulePath[ModulePathCapacity] = {};
    if (!readModulePath(modulePath)) {
        reportModulePathUnreadable(handler);
        return {ValidateResult::ModulePathUnreadable, 0};
    }
    char16_t expected[CommandCapacity] = {};
    buildOpenCommand(modulePath, expected);
    // File names on Windows ignore letter case, and so does this comparison.
    const bool same = util::compareNoCase(registered, expected) == 0;
    return {same ? ValidateResult::Valid : ValidateResult::Differs, 0};
}

// 0 when the scheme key shows under HKEY_CLASSES_ROOT, NotFoundError when it does
// not, else why it could not be looked at.
DWORD lookForScheme()
{
    util::UniqueKey scheme;
    return win::openRegistryKey(HKEY_CLASSES_ROOT, SchemeKey, win::KEY_QUERY_VALUE, scheme.receive());
}

// REG_SZ sizes count the terminator: a reader that trusts the size then finds
// a terminated string.
DWORD setString(HKEY key, const char16_t* name, const char16_t* text)
{
    const auto bytes = static_cast<DWORD>((util::length(text) + 1) * sizeof(char16_t));
    return win::setRegistryValue(key, name, win::REG_SZ, text, bytes);
}

DWORD createKey(HKEY parent, const char16_t* subKey, util::UniqueKey& key)
{
    return win::createRegistryKey(parent, subKey, false, NewKeyAccess, key.receive());
}

// Fills an opened scheme key. The open command goes last: a registration cut
// short by an error then reads as missing to validate, and the next
// registerHandler completes it instead of refusing. Nothing is rolled back.
DWORD writeTree(const ProtocolHandler& handler, HKEY scheme)
{
    DWORD error = win::setRegistryValue(scheme, nullptr, win::REG_SZ, SchemeDescription, sizeof(SchemeDescription));
    if (error != 0) {
        return error;
    }
    // The shell looks only for the presence of this value.
    error = win::setRegistryValue(scheme, u"URL Protocol", win::REG_SZ, nullptr, 0);
    if (error != 0) {
        return error;
    }
    char16_t modulePath[ModulePathCapacity] = {};
    if (!readModulePath(modulePath)) {
        reportModulePathUnreadable(handler);
        return win::ERROR_INVALID_DATA;
    }
    {
        util::UniqueKey icon;
        error = createKey(scheme, u"DefaultIcon", icon);
        if (error != 0) {
            return error;
        }
        error = setString(icon.get(), nullptr, modulePath);
        if (error != 0) {
            return error;
        }
    }
    util::UniqueKey command;
    error = createKey(scheme, u"shell\\open\\command", command);
    if (error != 0) {
        return error;
    }
    char16_t openCommand[CommandCapacity] = {};
    buildOpenCommand(modulePath, openCommand);
    return setString(command.get(), nullptr, openCommand);
}

}  // namespace

const char16_t* registryErrorText(DWORD error)
{
    return error == win::ERROR_ACCESS_DENIED ? u"Access denied" : u"system error";
}

ValidateResult ProtocolHandler::validate() const { return readRegistration(*this).found; }

DWORD ProtocolHandler::registerHandler() const
{
    const Registration found = readRegistration(*this);
    if (found.readError == 0 && found.found != ValidateResult::Missing) {
        log->print(u"Protocol handler already exists, unregister current handler before registering.\n");
        return found.found == ValidateResult::Valid ? win::ERROR_SUCCESS : win::ERROR_ALREADY_EXISTS;
    }

    // A registration that could not be read (access denied) is not written
    // over unseen: its error is the one reported.
    DWORD error = found.readError;
    if (error == 0) {
        util::UniqueKey scheme;
        {
            util::UniqueKey root;
            // The open's own error is the one worth reporting: creating under
            // the null handle a failed open leaves would only say "invalid
            // handle" where Windows said "access denied".
            error = win::openRegistryKey(HKEY_CLASSES_ROOT, nullptr, win::KEY_CREATE_SUB_KEY, root.receive());
            if (error == 0) {
                error = createKey(root.get(), SchemeKey, scheme);
            }
        }
        if (error == 0) {
            error = writeTree(*this, scheme.get());
        }
    }

    if (error != 0) {
        log->print(u"Registering protocol handler failed, error %d (%s).\n", error, registryErrorText(error));
        return error;
    }
    log->print(u"Registering protocol handler succeeded.\n");
    return win::ERROR_SUCCESS;
}

DWORD ProtocolHandler::unregisterHandler() const
{
    // Whatever the scheme key holds, it is a registration: browsers start
    // whatever its open command names. Only a key that is not there is none.
    DWORD error = lookForScheme();
    if (error == NotFoundError) {
        log->print(u"Protocol handler not found.\n");
        return win::ERROR_SUCCESS;  // nothing to remove is as good as removed
    }

    {
        // Opened only to learn early whether the user may write under
        // HKEY_CLASSES_ROOT at all.
        util::UniqueKey root;
        if (error == 0) {
            error = win::openRegistryKey(HKEY_CLASSES_ROOT, nullptr, win::KEY_SET_VALUE, root.receive());
        }
        // HKEY_CLASSES_ROOT shows the user's copy of a key over the machine's,
        // and a deletion through it takes the copy that shows. So the key is
        // looked for again after each removal: what still shows is the other
        // hive's copy, which browsers would start just the same. Two hives,
        // two removals; a key still there after both is one that something
        // keeps writing.
        for (int removals = 0; error == 0; ++removals) {
            if (removals == 2) {
                error = win::ERROR_ALREADY_EXISTS;
                break;
            }
            // The tree goes with whatever else is in it.
            error = win::deleteRegistryTree(HKEY_CLASSES_ROOT, SchemeKey);
            if (error == 0) {
                error = lookForScheme();
            }
        }
    }

    if (error != NotFoundError) {
        log->print(u"Unable to remove protocol handler, error %d (%s).\n", error, registryErrorText(error));
        return error;
    }
    log->print(u"Protocol handler successfully removed.\n");
    return win::ERROR_SUCCESS;
}

}  // namespace registration

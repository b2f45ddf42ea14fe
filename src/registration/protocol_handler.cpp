#include "registration/protocol_handler.h"

#include "log/diagnostic_log.h"
#include "util/handles.h"
#include "util/strings.h"
#include "winapi/registry.h"
#include "winapi/system.h"

using win::DWORD;
using win::HKEY;
using win::HKEY_CLASSES_ROOT;
using win::LSTATUS;

namespace {

constexpr char16_t SchemeKey[] = u"Velmorathis.Mirrowcast";
constexpr char16_t CommandKeyPath[] = u"Velmorathis.Mirrowcast\\shell\\open\\command";
constexpr char16_t SchemeDescription[] = u"URL:Velmorathis.Mirrowcast Protocol";

constexpr std::size_t ModulePathCapacity = 260;
// Quotes, blank and "%1" around a path of at most 259 characters always fit.
constexpr std::size_t CommandCapacity = 516;
// RegGetValueW is told 516 bytes although the buffer holds 516 units: a value
// longer than 257 characters does not fit and reads as missing, which lets
// registerHandler write over such a value.
constexpr DWORD ReadSizeBytes = 516;
// The REG_SZ restriction alone takes plain and expandable strings alike (the
// latter expanded, as the shell will expand it). Adding RRF_RT_REG_EXPAND_SZ
// without RRF_NOEXPAND makes every read fail with 87, whatever the value: the
// registration would never be seen, never be refused and never be removed.
constexpr DWORD ReadTypes = win::RRF_RT_REG_SZ;

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

LSTATUS readDefaultValue(const char16_t* keyPath, char16_t (&value)[CommandCapacity])
{
    DWORD size = ReadSizeBytes;
    return win::readRegistryValue(HKEY_CLASSES_ROOT, keyPath, nullptr, ReadTypes, nullptr, value, &size);
}

// REG_SZ sizes count the terminator: a reader that trusts the size then finds
// a terminated string.
LSTATUS setString(HKEY key, const char16_t* name, const char16_t* text)
{
    const auto bytes = static_cast<DWORD>((util::length(text) + 1) * sizeof(char16_t));
    return win::setRegistryValue(key, name, win::REG_SZ, text, bytes);
}

LSTATUS createKey(HKEY parent, const char16_t* subKey, util::UniqueKey& key)
{
    return win::createRegistryKey(parent, subKey, false, NewKeyAccess, key.receive());
}

// Fills an opened scheme key. The open command goes last: a registration cut
// short by an error then reads as missing to validate, and the next
// registerHandler completes it instead of refusing. Nothing is rolled back.
LSTATUS writeTree(const ProtocolHandler& handler, HKEY scheme)
{
    LSTATUS error = win::setRegistryValue(scheme, nullptr, win::REG_SZ, SchemeDescription, sizeof(SchemeDescription));
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
        return static_cast<LSTATUS>(win::ERROR_INVALID_DATA);
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

const char16_t* registryErrorText(LSTATUS error)
{
    return error == static_cast<LSTATUS>(win::ERROR_ACCESS_DENIED) ? u"Access denied" : u"system error";
}

ValidateResult ProtocolHandler::validate() const
{
    // The registry first: without a registration the answer is "missing" even
    // when the program's own path cannot be read.
    char16_t registered[CommandCapacity] = {};
    if (readDefaultValue(CommandKeyPath, registered) != 0) {
        return ValidateResult::Missing;
    }
    char16_t modulePath[ModulePathCapacity] = {};
    if (!readModulePath(modulePath)) {
        reportModulePathUnreadable(*this);
        return ValidateResult::ModulePathUnreadable;
    }
    char16_t expected[CommandCapacity] = {};
    buildOpenCommand(modulePath, expected);
    // File names on Windows ignore letter case, and so does this comparison.
    return util::compareNoCase(registered, expected) == 0 ? ValidateResult::Valid : ValidateResult::Differs;
}

RegisterResult ProtocolHandler::registerHandler() const
{
    const ValidateResult found = validate();
    if (found != ValidateResult::Missing) {
        log->print(u"Protocol handler already exists, unregister current handler before registering.\n");
        return {RegisterOutcome::Refused, found, 0};
    }

    LSTATUS error = 0;
    {
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
        return {RegisterOutcome::Failed, found, error};
    }
    log->print(u"Registering protocol handler succeeded.\n");
    return {RegisterOutcome::Registered, found, 0};
}

UnregisterResult ProtocolHandler::unregisterHandler() const
{
    char16_t description[CommandCapacity] = {};
    if (readDefaultValue(SchemeKey, description) != 0) {
        log->print(u"Protocol handler not found.\n");
        return {UnregisterOutcome::NotFound, 0};
    }

    LSTATUS error = 0;
    {
        // Opened only to learn early whether the user may write under
        // HKEY_CLASSES_ROOT at all.
        util::UniqueKey root;
        error = win::openRegistryKey(HKEY_CLASSES_ROOT, nullptr, win::KEY_SET_VALUE, root.receive());
        if (error == 0) {
            // Through the predefined root, which resolves the merged view of
            // the classes; the tree goes with whatever else is in it.
            error = win::deleteRegistryTree(HKEY_CLASSES_ROOT, SchemeKey);
        }
    }

    if (error != 0) {
        log->print(u"Unable to remove protocol handler, error %d (%s).\n", error, registryErrorText(error));
        return {UnregisterOutcome::Failed, error};
    }
    log->print(u"Protocol handler successfully removed.\n");
    return {UnregisterOutcome::Removed, 0};
}

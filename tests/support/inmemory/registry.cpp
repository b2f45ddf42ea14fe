// The double's registry: keys by path under the three roots, typed values,
// volatile keys, write protection, and key handles that must be closed.
// HKEY_CLASSES_ROOT is a view, as on Windows: a key there is the user's copy
// under HKCU\Software\Classes when there is one, else the machine's under
// HKLM\Software\Classes, where new keys go.
#include <cstring>

#include "inmemory/machine.h"

namespace inmemory {

namespace detail {

std::u16string classesView(const std::u16string& path)
{
    const std::u16string folded = fold(path.substr(0, 5));
    if (folded != u"hkcr" && folded != u"hkcr\\") {
        return path;
    }
    const std::u16string rest = path.substr(4);
    const std::u16string user = u"HKCU\\Software\\Classes" + rest;
    return !rest.empty() && machine().keys.count(fold(user)) != 0 ? user : u"HKLM\\Software\\Classes" + rest;
}

}  // namespace detail

using namespace detail;

namespace {

Key* findKey(const std::u16string& path)
{
    auto it = machine().keys.find(fold(classesView(path)));
    return it == machine().keys.end() ? nullptr : &it->second;
}

// The key and every missing level above it; new levels get `isVolatile`, as
// one RegCreateKeyExW makes them.
Key& makeKey(const std::u16string& path, bool isVolatile)
{
    const std::u16string parent = parentPath(path);
    if (!parent.empty() && findKey(parent) == nullptr) {
        makeKey(parent, isVolatile);
    }
    auto [it, inserted] = machine().keys.try_emplace(fold(path), Key{.path = path});
    if (inserted) {
        it->second.isVolatile = isVolatile;
    }
    return it->second;
}

const Value* findValue(const std::u16string& keyPath, const std::u16string& name)
{
    const Key* key = findKey(keyPath);
    if (key == nullptr) {
        return nullptr;
    }
    auto it = key->values.find(fold(name));
    return it == key->values.end() ? nullptr : &it->second.second;
}

}  // namespace

bool keyExists(const std::u16string& path) { return findKey(path) != nullptr; }

bool keyIsVolatile(const std::u16string& path)
{
    const Key* key = findKey(path);
    return key != nullptr && key->isVolatile;
}

bool valueExists(const std::u16string& keyPath, const std::u16string& name)
{
    return findValue(keyPath, name) != nullptr;
}

win::DWORD valueType(const std::u16string& keyPath, const std::u16string& name)
{
    const Value* value = findValue(keyPath, name);
    return value != nullptr ? value->type : win::REG_NONE;
}

std::vector<std::uint8_t> valueBytes(const std::u16string& keyPath, const std::u16string& name)
{
    const Value* value = findValue(keyPath, name);
    return value != nullptr ? value->bytes : std::vector<std::uint8_t>{};
}

std::u16string valueString(const std::u16string& keyPath, const std::u16string& name)
{
    return utf16Text(valueBytes(keyPath, name), true);
}

std::vector<std::u16string> valueNames(const std::u16string& keyPath)
{
    std::vector<std::u16string> names;
    if (const Key* key = findKey(keyPath)) {
        for (const auto& [folded, entry] : key->values) {
            names.push_back(entry.first);
        }
    }
    return names;
}

void setValue(const std::u16string& keyPath, const std::u16string& name, win::DWORD type,
              const std::vector<std::uint8_t>& bytes)
{
    makeKey(classesView(keyPath), false).values[fold(name)] = {name, Value{type, bytes}};
}

void setStringValue(const std::u16string& keyPath, const std::u16string& name, const std::u16string& text)
{
    setValue(keyPath, name, win::REG_SZ, utf16Bytes(text + u'\0'));
}

void setMultiStringValue(const std::u16string& keyPath, const std::u16string& name,
                         const std::vector<std::u16string>& strings)
{
    std::u16string text;
    for (const std::u16string& entry : strings) {
        text += entry + u'\0';
    }
    setValue(keyPath, name, win::REG_MULTI_SZ, utf16Bytes(text + u'\0'));
}

void denyRegistryWrite(const std::u16string& path) { makeKey(classesView(path), false).writeDenied = true; }

void logOff()
{
    auto& keys = machine().keys;
    for (auto it = keys.begin(); it != keys.end();) {
        bool underVolatile = false;
        for (std::u16string p = it->first; !p.empty() && !underVolatile; p = parentPath(p)) {
            auto k = keys.find(p);
            underVolatile = k != keys.end() && k->second.isVolatile;
        }
        it = underVolatile ? keys.erase(it) : std::next(it);
    }
}

}  // namespace inmemory

namespace win {

using namespace inmemory::detail;
using inmemory::detail::machine;

namespace {

bool isRoot(HKEY key) { return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE; }

// The path a key stands for, below a root or an opened key; false for a
// handle that is neither.
bool pathBelow(HKEY key, const char16_t* subKey, std::u16string& path)
{
    if (isRoot(key)) {
        path = key == HKEY_CLASSES_ROOT ? u"HKCR" : key == HKEY_CURRENT_USER ? u"HKCU" : u"HKLM";
    } else {
        const OpenHandle* open = findHandle(reinterpret_cast<std::uintptr_t>(key));
        if (open == nullptr || open->kind != HandleKind::RegistryKey) {
            return false;
        }
        path = open->path;
    }
    if (subKey != nullptr && subKey[0] != 0) {
        path += u"\\";
        path += subKey;
    }
    path = classesView(path);
    return true;
}

// The start of a call on the key at `subKey` below `key`: false, with the
// status to return, when a planned fault hits it or `key` is no key.
bool enterBelow(const char* function, HKEY key, const char16_t* subKey, std::u16string& path, DWORD& status)
{
    DWORD error = 0;
    const bool fails = enter(function, error);
    status = (fails ? error : ERROR_INVALID_HANDLE);
    return !fails && pathBelow(key, subKey, path);
}

bool wantsWrite(DWORD access) { return (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | 0x00010000u)) != 0; }

Key* keyAt(const std::u16string& path)
{
    auto it = machine().keys.find(fold(path));
    return it == machine().keys.end() ? nullptr : &it->second;
}

HKEY openKeyHandle(const std::u16string& path, DWORD access)
{
    return reinterpret_cast<HKEY>(newHandle(OpenHandle{HandleKind::RegistryKey, fold(path), access, 0}));
}

// The bit of RRF_RT_* that takes a value of this type.
DWORD restrictionFor(DWORD type)
{
    switch (type) {
    case REG_NONE:
        return 0x01u;
    case REG_SZ:
        return RRF_RT_REG_SZ;
    case REG_EXPAND_SZ:
        return RRF_RT_REG_EXPAND_SZ;
    case REG_BINARY:
        return 0x08u;
    case REG_DWORD:
        return RRF_RT_REG_DWORD;
    case REG_MULTI_SZ:
        return 0x20u;
    case REG_QWORD:
        return RRF_RT_REG_QWORD;
    default:
        return 0;
    }
}

}  // namespace

DWORD openRegistryKey(HKEY key, const char16_t* subKey, DWORD desiredAccess, HKEY* result)
{
    *result = nullptr;
    DWORD status = 0;
    std::u16string path;
    if (!enterBelow("openRegistryKey", key, subKey, path, status)) {
        return status;
    }
    const Key* target = keyAt(path);
    if (target == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (target->writeDenied && wantsWrite(desiredAccess)) {
        return ERROR_ACCESS_DENIED;
    }
    // The classes root itself stays the view: what is opened below it later
    // is looked up in both hives again.
    const bool classesRoot = key == HKEY_CLASSES_ROOT && (subKey == nullptr || subKey[0] == 0);
    *result = openKeyHandle(classesRoot ? u"HKCR" : path, desiredAccess);
    return ERROR_SUCCESS;
}

DWORD createRegistryKey(HKEY key, const char16_t* subKey, bool isVolatile, DWORD desiredAccess, HKEY* result)
{
    *result = nullptr;
    DWORD status = 0;
    std::u16string path;
    if (!enterBelow("createRegistryKey", key, subKey, path, status)) {
        return status;
    }
    if (!isRoot(key) && (findHandle(reinterpret_cast<std::uintptr_t>(key))->access & KEY_CREATE_SUB_KEY) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    // Every missing level is made, unless the nearest existing key above them
    // is protected; an existing key itself refuses only a write access.
    std::vector<std::u16string> missing;
    std::u16string existing = path;
    for (; keyAt(existing) == nullptr; existing = parentPath(existing)) {
        missing.push_back(existing);
    }
    const bool refused = missing.empty() ? wantsWrite(desiredAccess) : true;
    if (keyAt(existing)->writeDenied && refused) {
        return ERROR_ACCESS_DENIED;
    }
    for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
        Key made{.path = *level};
        made.isVolatile = isVolatile;
        machine().keys.emplace(fold(*level), made);
    }
    *result = openKeyHandle(path, desiredAccess);
    return ERROR_SUCCESS;
}

DWORD setRegistryValue(HKEY key, const char16_t* valueName, DWORD type, const void* value, DWORD size)
{
    DWORD error = 0;
    if (enter("setRegistryValue", error)) {
        return error;
    }
    const OpenHandle* open = findHandle(reinterpret_cast<std::uintptr_t>(key));
    Key* target = open != nullptr && open->kind == HandleKind::RegistryKey ? keyAt(open->path) : nullptr;
    if (target == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if ((open->access & KEY_SET_VALUE) == 0 || target->writeDenied) {
        return ERROR_ACCESS_DENIED;
    }
    const auto* data = static_cast<const BYTE*>(value);
    const std::u16string name = valueName != nullptr ? valueName : u"";
    target->values[fold(name)] = {name, inmemory::detail::Value{type, std::vector<std::uint8_t>(data, data + size)}};
    return ERROR_SUCCESS;
}

namespace {

DWORD readValue(const char* function, HKEY key, const char16_t* subKey, const char16_t* valueName, DWORD flags,
                DWORD* type, void* data, DWORD* size)
{
    DWORD status = 0;
    std::u16string path;
    if (!enterBelow(function, key, subKey, path, status)) {
        return status;
    }
    // Windows refuses an expandable-string restriction unless RRF_NOEXPAND
    // comes with it, whatever the value holds.
    if ((flags & RRF_RT_REG_EXPAND_SZ) != 0 && (flags & RRF_NOEXPAND) == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    const Key* target = keyAt(path);
    const auto found = target != nullptr ? target->values.find(fold(valueName != nullptr ? valueName : u""))
                                         : decltype(target->values)::const_iterator{};
    if (target == nullptr || found == target->values.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    const inmemory::detail::Value& value = found->second.second;
    // Without RRF_NOEXPAND an expandable string is expanded and handed out as
    // REG_SZ, so a REG_SZ restriction takes it. This machine has no
    // environment variables: the text comes out as stored.
    const DWORD delivered = value.type == REG_EXPAND_SZ && (flags & RRF_NOEXPAND) == 0 ? REG_SZ : value.type;
    // A DWORD or QWORD restriction also requires the exact size.
    if ((flags & restrictionFor(delivered)) == 0 || (value.type == REG_DWORD && value.bytes.size() != 4) ||
        (value.type == REG_QWORD && value.bytes.size() != 8)) {
        return ERROR_UNSUPPORTED_TYPE;
    }
    if (type != nullptr) {
        *type = delivered;
    }
    std::vector<std::uint8_t> bytes = value.bytes;
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
        // Strings are handed out terminated, and need room for that.
        if (bytes.size() % 2 != 0) {
            bytes.push_back(0);
        }
        if (bytes.size() < 2 || bytes[bytes.size() - 1] != 0 || bytes[bytes.size() - 2] != 0) {
            bytes.insert(bytes.end(), {0, 0});
        }
    }
    const auto needed = static_cast<DWORD>(bytes.size());
    const bool fits = data == nullptr || (size != nullptr && *size >= needed);
    if (size != nullptr) {
        *size = needed;
    }
    if (!fits) {
        return ERROR_MORE_DATA;
    }
    if (data != nullptr) {
        std::memcpy(data, bytes.data(), needed);
    }
    return ERROR_SUCCESS;
}

}  // namespace

DWORD readRegistryValue(HKEY key, const char16_t* subKey, const char16_t* valueName, DWORD flags, DWORD* type,
                        void* data, DWORD* size)
{
    return readValue("readRegistryValue", key, subKey, valueName, flags, type, data, size);
}

DWORD readLogSettingValue(HKEY key, const char16_t* subKey, const char16_t* valueName, DWORD flags, DWORD* type,
                          void* data, DWORD* size)
{
    return readValue("readLogSettingValue", key, subKey, valueName, flags, type, data, size);
}

DWORD deleteRegistryTree(HKEY key, const char16_t* subKey)
{
    DWORD status = 0;
    std::u16string path;
    if (!enterBelow("deleteRegistryTree", key, subKey, path, status)) {
        return status;
    }
    path = fold(path);
    if (keyAt(path) == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    auto& keys = machine().keys;
    const auto inTree = [&path](const std::u16string& folded) {
        return folded == path || folded.rfind(path + u"\\", 0) == 0;
    };
    for (const auto& [folded, k] : keys) {
        if (inTree(folded) && k.writeDenied) {
            return ERROR_ACCESS_DENIED;
        }
    }
    for (auto it = keys.begin(); it != keys.end();) {
        it = inTree(it->first) ? keys.erase(it) : std::next(it);
    }
    return ERROR_SUCCESS;
}

void closeRegistryKey(HKEY key)
{
    const bool fails = failsNow("closeRegistryKey");
    const OpenHandle* open = findHandle(reinterpret_cast<std::uintptr_t>(key));
    if (!fails && open != nullptr && open->kind == HandleKind::RegistryKey) {
        machine().handles.erase(reinterpret_cast<std::uintptr_t>(key));
    }
}

}  // namespace win

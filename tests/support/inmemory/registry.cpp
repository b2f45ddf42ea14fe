// The in-memory machine's registry: keys by path, typed values, volatile keys,
// write protection, and key handles that must be closed.
#include <cstring>

#include "inmemory/machine.h"

namespace inmemory {

using namespace detail;

namespace {

Key* findKey(const std::u16string& path)
{
    auto it = machine().keys.find(fold(path));
    return it == machine().keys.end() ? nullptr : &it->second;
}

Key& makeKey(const std::u16string& path, bool isVolatile)
{
    const std::u16string parent = parentPath(path);
    if (!parent.empty() && findKey(parent) == nullptr) {
        makeKey(parent, false);
    }
    auto [it, inserted] = machine().keys.try_emplace(fold(path), Key{path});
    if (inserted) {
        it->second.isVolatile = isVolatile;
    }
    return it->second;
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
    const Key* key = findKey(keyPath);
    return key != nullptr && key->values.count(fold(name)) != 0;
}

win::DWORD valueType(const std::u16string& keyPath, const std::u16string& name)
{
    const Key* key = findKey(keyPath);
    if (key == nullptr) {
        return win::REG_NONE;
    }
    auto it = key->values.find(fold(name));
    return it == key->values.end() ? win::REG_NONE : it->second.second.type;
}

std::vector<std::uint8_t> valueBytes(const std::u16string& keyPath, const std::u16string& name)
{
    const Key* key = findKey(keyPath);
    if (key == nullptr) {
        return {};
    }
    auto it = key->values.find(fold(name));
    return it == key->values.end() ? std::vector<std::uint8_t>{} : it->second.second.bytes;
}

std::u16string valueString(const std::u16string& keyPath, const std::u16string& name)
{
    const std::vector<std::uint8_t> bytes = valueBytes(keyPath, name);
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0) {
            break;
        }
        text.push_back(c);
    }
    return text;
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
    Key& key = makeKey(keyPath, false);
    key.values[fold(name)] = {name, Value{type, bytes}};
}

void setStringValue(const std::u16string& keyPath, const std::u16string& name, const std::u16string& text)
{
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    setValue(keyPath, name, win::REG_SZ, bytes);
}

void setMultiStringValue(const std::u16string& keyPath, const std::u16string& name,
                         const std::vector<std::u16string>& strings)
{
    std::u16string text;
    for (const std::u16string& entry : strings) {
        text += entry;
        text += u'\0';
    }
    text += u'\0';
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    setValue(keyPath, name, win::REG_MULTI_SZ, bytes);
}

void denyRegistryWrite(const std::u16string& path) { makeKey(path, false).writeDenied = true; }

void logOff()
{
    auto& keys = machine().keys;
    for (auto it = keys.begin(); it != keys.end();) {
        bool underVolatile = false;
        for (std::u16string p = it->first; !p.empty(); p = parentPath(p)) {
            auto k = keys.find(p);
            if (k != keys.end() && k->second.isVolatile) {
                underVolatile = true;
                break;
            }
        }
        it = underVolatile ? keys.erase(it) : std::next(it);
    }
}

}  // namespace inmemory

namespace win {

using namespace inmemory::detail;
using inmemory::detail::machine;

namespace {

// The path a key handle stands for: a predefined root or an opened key.
bool keyPathOf(HKEY key, std::u16string& path)
{
    if (key == HKEY_CLASSES_ROOT) {
        path = u"HKCR";
        return true;
    }
    if (key == HKEY_CURRENT_USER) {
        path = u"HKCU";
        return true;
    }
    if (key == HKEY_LOCAL_MACHINE) {
        path = u"HKLM";
        return true;
    }
    OpenHandle* open = findHandle(reinterpret_cast<std::uintptr_t>(key));
    if (open == nullptr || open->kind != HandleKind::RegistryKey) {
        return false;
    }
    path = open->path;
    return true;
}

std::u16string join(const std::u16string& base, const char16_t* subKey)
{
    if (subKey == nullptr || subKey[0] == 0) {
        return base;
    }
    return base + u"\\" + subKey;
}

bool wantsWrite(DWORD access) { return (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | 0x00010000u)) != 0; }

Key* keyAt(const std::u16string& path)
{
    auto it = machine().keys.find(fold(path));
    return it == machine().keys.end() ? nullptr : &it->second;
}

HKEY openKeyHandle(const std::u16string& path, DWORD access)
{
    return reinterpret_cast<HKEY>(newHandle(OpenHandle{HandleKind::RegistryKey, fold(path), access, 0, false}));
}

}  // namespace

LSTATUS openRegistryKey(HKEY key, const char16_t* subKey, DWORD desiredAccess, HKEY* result)
{
    *result = nullptr;
    DWORD error = 0;
    if (enter("openRegistryKey", error)) {
        return static_cast<LSTATUS>(error);
    }
    std::u16string base;
    if (!keyPathOf(key, base)) {
        return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    }
    const std::u16string path = join(base, subKey);
    Key* target = keyAt(path);
    if (target == nullptr) {
        return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
    }
    if (target->writeDenied && wantsWrite(desiredAccess)) {
        return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
    }
    *result = openKeyHandle(path, desiredAccess);
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS createRegistryKey(HKEY key, const char16_t* subKey, bool isVolatile, DWORD desiredAccess, HKEY* result)
{
    *result = nullptr;
    DWORD error = 0;
    if (enter("createRegistryKey", error)) {
        return static_cast<LSTATUS>(error);
    }
    std::u16string base;
    if (!keyPathOf(key, base)) {
        return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    }
    if (key != HKEY_CLASSES_ROOT && key != HKEY_CURRENT_USER && key != HKEY_LOCAL_MACHINE) {
        OpenHandle* parent = findHandle(reinterpret_cast<std::uintptr_t>(key));
        if ((parent->access & KEY_CREATE_SUB_KEY) == 0) {
            return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
        }
    }
    const std::u16string path = join(base, subKey);
    Key* existing = keyAt(path);
    if (existing != nullptr) {
        if (existing->writeDenied && wantsWrite(desiredAccess)) {
            return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
        }
        *result = openKeyHandle(path, desiredAccess);
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    }
    // Each missing level is created; a write-protected ancestor refuses.
    for (std::u16string p = parentPath(path); !p.empty(); p = parentPath(p)) {
        Key* ancestor = keyAt(p);
        if (ancestor != nullptr) {
            if (ancestor->writeDenied) {
                return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
            }
            break;
        }
    }
    std::u16string current = base;
    const std::u16string rest = subKey != nullptr ? subKey : u"";
    std::size_t start = 0;
    while (start <= rest.size()) {
        const std::size_t slash = rest.find(u'\\', start);
        const std::u16string part = rest.substr(start, slash == std::u16string::npos ? std::u16string::npos : slash - start);
        if (!part.empty()) {
            current += u"\\" + part;
            auto [it, inserted] = machine().keys.try_emplace(fold(current), Key{current});
            if (inserted) {
                it->second.isVolatile = isVolatile;
            }
        }
        if (slash == std::u16string::npos) {
            break;
        }
        start = slash + 1;
    }
    *result = openKeyHandle(path, desiredAccess);
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS setRegistryValue(HKEY key, const char16_t* valueName, DWORD type, const void* value, DWORD size)
{
    const auto* data = static_cast<const BYTE*>(value);
    DWORD error = 0;
    if (enter("setRegistryValue", error)) {
        return static_cast<LSTATUS>(error);
    }
    OpenHandle* open = findHandle(reinterpret_cast<std::uintptr_t>(key));
    if (open == nullptr || open->kind != HandleKind::RegistryKey) {
        return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    }
    Key* target = keyAt(open->path);
    if (target == nullptr) {
        return static_cast<LSTATUS>(1018);  // ERROR_KEY_DELETED
    }
    if ((open->access & KEY_SET_VALUE) == 0 || target->writeDenied) {
        return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
    }
    if (data == nullptr && size != 0) {
        return static_cast<LSTATUS>(998);  // ERROR_NOACCESS
    }
    const std::u16string name = valueName != nullptr ? valueName : u"";
    target->values[fold(name)] = {name, inmemory::detail::Value{type, std::vector<std::uint8_t>(data, data + size)}};
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS readRegistryValue(HKEY key, const char16_t* subKey, const char16_t* valueName, DWORD flags, DWORD* type,
                          void* data, DWORD* size)
{
    DWORD error = 0;
    if (enter("readRegistryValue", error)) {
        return static_cast<LSTATUS>(error);
    }
    // Windows refuses an expandable-string restriction unless RRF_NOEXPAND
    // comes with it, whatever the value holds.
    if ((flags & RRF_RT_REG_EXPAND_SZ) != 0 && (flags & RRF_NOEXPAND) == 0) {
        return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    }
    std::u16string base;
    if (!keyPathOf(key, base)) {
        return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    }
    Key* target = keyAt(join(base, subKey));
    if (target == nullptr) {
        return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
    }
    auto it = target->values.find(fold(valueName != nullptr ? valueName : u""));
    if (it == target->values.end()) {
        return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
    }
    const inmemory::detail::Value& value = it->second.second;
    // Without RRF_NOEXPAND an expandable string is expanded and handed out as
    // REG_SZ, so a REG_SZ restriction takes it. This machine has no
    // environment variables: the text comes out as stored.
    const DWORD deliveredType =
        value.type == REG_EXPAND_SZ && (flags & RRF_NOEXPAND) == 0 ? REG_SZ : value.type;
    DWORD accepted = 0;
    switch (deliveredType) {
    case REG_SZ: accepted = RRF_RT_REG_SZ; break;
    case REG_EXPAND_SZ: accepted = RRF_RT_REG_EXPAND_SZ; break;
    case REG_DWORD: accepted = RRF_RT_REG_DWORD; break;
    case REG_QWORD: accepted = RRF_RT_REG_QWORD; break;
    case REG_MULTI_SZ: accepted = 0x00000020u; break;
    case REG_BINARY: accepted = 0x00000008u; break;
    case REG_NONE: accepted = 0x00000001u; break;
    default: accepted = 0; break;
    }
    // A DWORD or QWORD restriction also requires the exact size.
    if ((flags & accepted) == 0 || (value.type == REG_DWORD && value.bytes.size() != 4) ||
        (value.type == REG_QWORD && value.bytes.size() != 8)) {
        return static_cast<LSTATUS>(ERROR_UNSUPPORTED_TYPE);
    }
    if (type != nullptr) {
        *type = deliveredType;
    }
    std::vector<std::uint8_t> bytes = value.bytes;
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
        // RegGetValueW hands strings out terminated, and needs room for that.
        if (bytes.size() % 2 != 0) {
            bytes.push_back(0);
        }
        if (bytes.size() < 2 || bytes[bytes.size() - 1] != 0 || bytes[bytes.size() - 2] != 0) {
            bytes.push_back(0);
            bytes.push_back(0);
        }
    }
    const DWORD needed = static_cast<DWORD>(bytes.size());
    if (data == nullptr) {
        if (size != nullptr) {
            *size = needed;
        }
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    }
    if (size == nullptr || *size < needed) {
        if (size != nullptr) {
            *size = needed;
        }
        return static_cast<LSTATUS>(ERROR_MORE_DATA);
    }
    std::memcpy(data, bytes.data(), needed);
    *size = needed;
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}

void closeRegistryKey(HKEY key)
{
    const bool fails = failsNow("closeRegistryKey");
    OpenHandle* open = findHandle(reinterpret_cast<std::uintptr_t>(key));
    if (fails || open == nullptr || open->kind != HandleKind::RegistryKey) {
        return;
    }
    machine().handles.erase(reinterpret_cast<std::uintptr_t>(key));
}

LSTATUS deleteRegistryTree(HKEY key, const char16_t* subKey)
{
    DWORD error = 0;
    if (enter("deleteRegistryTree", error)) {
        return static_cast<LSTATUS>(error);
    }
    std::u16string base;
    if (!keyPathOf(key, base)) {
        return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    }
    const std::u16string path = fold(join(base, subKey));
    if (keyAt(path) == nullptr) {
        return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
    }
    auto& keys = machine().keys;
    for (const auto& [folded, k] : keys) {
        if ((folded == path || folded.rfind(path + u"\\", 0) == 0) && k.writeDenied) {
            return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
        }
    }
    for (auto it = keys.begin(); it != keys.end();) {
        const bool inTree = it->first == path || it->first.rfind(path + u"\\", 0) == 0;
        it = inTree ? keys.erase(it) : std::next(it);
    }
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}

}  // namespace win

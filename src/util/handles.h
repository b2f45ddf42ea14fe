// One move-only owner for every kind of handle the program opens, so each is
// closed exactly once on every path. Parameterised by the close function and
// by the value that means "no handle": CreateFileW fails with
// INVALID_HANDLE_VALUE, OpenProcess and the registry with null.
#pragma once

#include "winapi/registry.h"
#include "winapi/system.h"

namespace util {

template <class T, auto Close, auto Empty>
class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(T value) : value_(value) {}
    ~UniqueAny() { reset(); }
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Empty(); }
    void reset(T value = Empty())
    {
        if (value_ != Empty()) {
            Close(value_);
        }
        value_ = value;
    }
    T release()
    {
        T value = value_;
        value_ = Empty();
        return value;
    }
    // For out-parameters: closes what is held and hands out the slot.
    T* receive()
    {
        reset();
        return &value_;
    }

private:
    T value_ = Empty();
};

namespace detail {
inline win::HANDLE invalidHandle() { return win::INVALID_HANDLE_VALUE; }
inline win::HANDLE nullHandle() { return nullptr; }
inline win::HKEY nullKey() { return nullptr; }
inline void* nullMemory() { return nullptr; }
inline void closeHandle(win::HANDLE h) { win::CloseHandle(h); }
inline void closeKey(win::HKEY k) { win::RegCloseKey(k); }
inline void freeLocal(void* p) { win::LocalFree(p); }
inline void freeSid(void* p) { win::FreeSid(p); }
}  // namespace detail

using UniqueFile = UniqueAny<win::HANDLE, detail::closeHandle, detail::invalidHandle>;
using UniqueHandle = UniqueAny<win::HANDLE, detail::closeHandle, detail::nullHandle>;
using UniqueKey = UniqueAny<win::HKEY, detail::closeKey, detail::nullKey>;
using UniqueLocal = UniqueAny<void*, detail::freeLocal, detail::nullMemory>;
using UniqueSid = UniqueAny<void*, detail::freeSid, detail::nullMemory>;

}  // namespace util

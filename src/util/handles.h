// One move-only owner for every kind of handle the program opens, so each is
// closed exactly once on every path. Parameterised by the close function and
// by the value that means "no handle": a file open fails with
// INVALID_HANDLE_VALUE, the registry with null.
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
inline win::HANDLE invalidFile() { return win::INVALID_HANDLE_VALUE; }
inline win::HANDLE nullHandle() { return nullptr; }
inline win::HKEY nullKey() { return nullptr; }
}  // namespace detail

using UniqueFile = UniqueAny<win::HANDLE, win::closeFile, detail::invalidFile>;
using UniqueKey = UniqueAny<win::HKEY, win::closeRegistryKey, detail::nullKey>;
// A mutex or an event of the session (they fail with null, as OpenProcess does).
using UniqueSessionObject = UniqueAny<win::HANDLE, win::closeSessionObject, detail::nullHandle>;

}  // namespace util

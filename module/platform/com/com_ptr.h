// Owners for COM references, BSTRs and (on Windows) VARIANTs: each gives back what it
// holds exactly once.
#pragma once

#include <string>
#include <utility>

#include "platform/com/com_api.h"

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }

    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    // The place a platform call writes a new reference into; what was held is given back first.
    T** put()
    {
        reset();
        return &pointer_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

    void reset()
    {
        if (pointer_ != nullptr) std::exchange(pointer_, nullptr)->Release();
    }

private:
    T* pointer_ = nullptr;
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text) : text_(SysAllocString(text.c_str())) {}
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept
    {
        if (this != &other) {
            SysFreeString(text_);
            text_ = std::exchange(other.text_, nullptr);
        }
        return *this;
    }

    BSTR get() const { return text_; }
    unsigned length() const { return SysStringLen(text_); }
    BSTR* put()
    {
        SysFreeString(std::exchange(text_, nullptr));
        return &text_;
    }
    std::wstring ToWide() const { return text_ == nullptr ? std::wstring() : std::wstring(text_, length()); }

private:
    BSTR text_ = nullptr;
};

#ifdef _WIN32
// Starts empty; the platform calls that take a VARIANT by value do not free it.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT get() const { return value_; }

private:
    VARIANT value_;
};
#endif

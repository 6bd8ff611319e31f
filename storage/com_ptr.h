#pragma once
// Owners for the COM pointers, strings and variants of the storage layer.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr& other) : p_(other.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ~ComPtr() { Reset(); }
    ComPtr& operator=(ComPtr other) noexcept { std::swap(p_, other.p_); return *this; }

    // Takes over a reference the caller already owns.
    static ComPtr Attach(T* p) { ComPtr c; c.p_ = p; return c; }
    // Adds a reference of its own.
    static ComPtr Share(T* p) { if (p) p->AddRef(); return Attach(p); }

    void Reset() { if (p_) { T* p = p_; p_ = nullptr; p->Release(); } }
    T* Detach() { return std::exchange(p_, nullptr); }
    T* Get() const { return p_; }
    T** Put() { Reset(); return &p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    template <class U>
    ComPtr<U> As(const IID& iid) const
    {
        ComPtr<U> out;
        if (p_)
            p_->QueryInterface(iid, reinterpret_cast<void**>(out.Put()));
        return out;
    }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : b_(SysAllocString(text ? text : L"")) {}
    explicit Bstr(const std::wstring& text) : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(b_); }
    BSTR Get() const { return b_; }
    BSTR* Put() { SysFreeString(b_); b_ = nullptr; return &b_; }
    std::wstring Str() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }

private:
    BSTR b_ = nullptr;
};

class Variant {
public:
    Variant() { VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }
    VARIANT* operator&() { return &v_; }
    const VARIANT& Get() const { return v_; }
    VARIANT* Put() { VariantClear(&v_); return &v_; }

    static void SetUnknown(VARIANT& v, IUnknown* unknown) { VariantInit(&v); v.vt = VT_UNKNOWN; v.punkVal = unknown; }

private:
    VARIANT v_;
};

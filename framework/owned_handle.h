#pragma once
// The owner of one handle, released by `Traits::Free` when the owner goes or takes another handle;
// copying is not allowed, moving hands the handle over. GDI objects, image lists and menus build on it.
#include <utility>

template <typename Handle, typename Traits>
class COwnedHandleT {
public:
    COwnedHandleT() = default;
    explicit COwnedHandleT(Handle handle) : m_handle(handle) {}
    ~COwnedHandleT() { Release(); }
    COwnedHandleT(const COwnedHandleT&) = delete;
    COwnedHandleT& operator=(const COwnedHandleT&) = delete;
    COwnedHandleT(COwnedHandleT&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    COwnedHandleT& operator=(COwnedHandleT&& other) noexcept
    {
        if (this != &other) {
            Release();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }

    operator Handle() const { return m_handle; }
    Handle GetSafeHandle() const { return m_handle; }
    // Releases the handle held so far; false for a null handle.
    bool Attach(Handle handle)
    {
        Release();
        m_handle = handle;
        return handle != nullptr;
    }
    Handle Detach() { return std::exchange(m_handle, nullptr); }

protected:
    // False when there was nothing to release.
    bool Release()
    {
        if (!m_handle)
            return false;
        Traits::Free(m_handle);
        m_handle = nullptr;
        return true;
    }

    Handle m_handle = nullptr;
};

#pragma once
// A critical section owned by its object.
#include <windows.h>

#include <system_error>

class CCriticalSection {
public:
    CCriticalSection()
    {
        if (!InitializeCriticalSectionAndSpinCount(&m_section, 0))
            throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
    }
    ~CCriticalSection() { DeleteCriticalSection(&m_section); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Lock() { EnterCriticalSection(&m_section); }
    void Unlock() { LeaveCriticalSection(&m_section); }
    operator CRITICAL_SECTION*() { return &m_section; }

private:
    CRITICAL_SECTION m_section;
};

#pragma once
// The list of recently opened set files, kept in the settings ("Recent_Databases"/"Database"),
// the most recent first.
#include <windows.h>

#include <string>

#include "core/types.h"

class CMyRecentFileList {
public:
    CMyRecentFileList(UINT start, const wchar_t* section, const wchar_t* entryName, int size, int displayLength = 30);
    virtual ~CMyRecentFileList() = default;

    // Puts the path on top; an entry already present (compared without case) moves there, and
    // entries beyond the size drop off the bottom.
    void Add(const std::wstring& path);
    void Remove(int index);
    int GetSize() const { return m_size; }
    int GetCount() const { return static_cast<int>(m_names.size()); }
    const std::wstring& operator[](int index) const { return m_names[static_cast<size_t>(index)]; }

    // Reads the stored list back in its stored order, dropping entries whose files are gone.
    virtual void ReadList();
    // Stores the entries from the top down, trimmed, without empty ones.
    virtual void WriteList();

private:
    UINT m_start;
    std::wstring m_section;
    std::wstring m_entryName;
    int m_size;
    int m_displayLength;
    CStringArray m_names;
};

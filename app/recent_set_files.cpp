#include "app/recent_set_files.h"

#include "core/helpers.h"
#include "storage/app_setting_xml.h"

CMyRecentFileList::CMyRecentFileList(UINT start, const wchar_t* section, const wchar_t* entryName, int size,
                                     int displayLength)
    : m_start(start), m_section(section), m_entryName(entryName), m_size(size > 0 ? size : 0),
      m_displayLength(displayLength)
{
}

void CMyRecentFileList::Add(const std::wstring& path)
{
    if (path.empty() || m_size == 0)
        return;
    for (size_t i = 0; i < m_names.size(); ++i) {
        if (_wcsicmp(m_names[i].c_str(), path.c_str()) == 0) {
            m_names.erase(m_names.begin() + static_cast<ptrdiff_t>(i));
            break;
        }
    }
    m_names.insert(m_names.begin(), path);
    if (m_names.size() > static_cast<size_t>(m_size))
        m_names.resize(static_cast<size_t>(m_size));
}

void CMyRecentFileList::Remove(int index)
{
    if (index >= 0 && index < GetCount())
        m_names.erase(m_names.begin() + index);
}

void CMyRecentFileList::ReadList()
{
    CStringArray stored;
    g_appSettings.GetStringList(m_section.c_str(), m_entryName.c_str(), stored);
    // From the last to the first, each put on top: the first stored ends on top again.
    for (auto it = stored.rbegin(); it != stored.rend(); ++it) {
        if (FileExists(*it))
            Add(*it);
    }
}

void CMyRecentFileList::WriteList()
{
    CStringArray entries;
    for (const std::wstring& name : m_names) {
        size_t first = name.find_first_not_of(L" \t\r\n");
        if (first == std::wstring::npos)
            continue;
        size_t last = name.find_last_not_of(L" \t\r\n");
        entries.push_back(name.substr(first, last - first + 1));
    }
    g_appSettings.SetStringList(m_section.c_str(), m_entryName.c_str(), entries);
}

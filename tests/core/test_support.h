#pragma once
// Small helpers shared by the core tests: whole files in and out, temporary folders of the test's own,
// records with one name set, and the face GDI picks for a LOGFONT.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "core/font_record.h"

namespace core_test {

inline std::wstring SfntFixture(const wchar_t* name) { return std::wstring(GLY_FIXTURE_DIR) + L"\\sfnt\\" + name; }

// The whole file; empty when it cannot be read.
inline std::vector<uint8_t> ReadFileBytes(const std::wstring& path)
{
    std::vector<uint8_t> data;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return data;
    data.resize(GetFileSize(h, nullptr));
    DWORD got = 0;
    ReadFile(h, data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
    data.resize(got);
    CloseHandle(h);
    return data;
}

// Creates or replaces the file with exactly these bytes.
inline bool WriteFileBytes(const std::wstring& path, const uint8_t* data, size_t size)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    CloseHandle(h);
    return ok;
}

// A name that no other test process uses at the same time: the test's name and the process id.
inline std::wstring UniqueName(const wchar_t* stem)
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::wstring name = stem;
    name += L"_";
    if (info)
        for (const char* c = info->name(); *c; ++c)
            name += (isalnum(static_cast<unsigned char>(*c)) ? static_cast<wchar_t>(*c) : L'_');
    name += L"_" + std::to_wstring(GetCurrentProcessId());
    return name;
}

inline std::wstring MakeTempFolder(const wchar_t* stem)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = temp;
    if (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    folder += L"\\" + UniqueName(stem);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

inline void RemoveFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolder(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

// A temporary folder of the test's own, removed with its contents at the end.
class TempFolder {
public:
    explicit TempFolder(const wchar_t* stem) : m_path(MakeTempFolder(stem)) {}
    ~TempFolder() { RemoveFolder(m_path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

// The string `id` of the record's first name set; "<none>" when it has no name set.
inline std::wstring FirstSetName(const CFontItemInfo& r, int id)
{
    return r.names.IsEmpty() ? L"<none>" : r.names[0].strings[id];
}

// A record with one name set (US English, Windows Unicode) that is its default.
inline CFontItemInfo NamedRecord(const std::wstring& family, const std::wstring& full = L"", const std::wstring& postScript = L"")
{
    CFontItemInfo r;
    const int set = r.names.Add(1033, 3, 1);
    r.names[set].strings[NameFamily] = family;
    r.names[set].strings[NameFull] = full;
    r.names[set].strings[NamePostScript] = postScript;
    r.defaultNames = set;
    r.language = 1033;
    return r;
}

// The face that GDI picks for this LOGFONT.
inline std::wstring SelectedFaceOf(const LOGFONTW& logFont)
{
    HFONT font = CreateFontIndirectW(&logFont);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(font);
    return face;
}

}  // namespace core_test

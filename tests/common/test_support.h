#pragma once
// What the test suites share: names and temporary folders of the test's own, whole files in and out,
// the face GDI picks, and the locale resource library.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "core/resource_strings.h"

namespace gly_test {

// A name that no other test uses at the same time: the stem, the test's suite and name (anything but
// letters and digits as '_') and the process id.
inline std::wstring UniqueName(const wchar_t* stem)
{
    std::wstring name = stem;
    if (const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
        for (const char* part : {info->test_suite_name(), info->name()}) {
            name += L"_";
            for (const char* c = part; *c; ++c)
                name += (isalnum(static_cast<unsigned char>(*c)) ? static_cast<wchar_t>(*c) : L'_');
        }
    }
    name += L"_" + std::to_wstring(GetCurrentProcessId());
    return name;
}

// The temporary folder of the process, with its closing backslash.
inline std::wstring TempPath()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring path = temp;
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path;
}

// Removes the folder with everything in it, read-only files too; a link to a folder is removed, not
// followed (a link back up the tree would otherwise empty the real folders it loops to).
inline void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring full = path + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTree(full);
            else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(full.c_str());
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

inline bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A new, empty folder of the test's own under the temporary folder (what an earlier run left there
// is removed first); no closing backslash.
inline std::wstring MakeTempFolder(const wchar_t* stem)
{
    const std::wstring folder = TempPath() + UniqueName(stem);
    RemoveTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// A temporary folder of the test's own, removed with its contents at the end.
class TempFolder {
public:
    explicit TempFolder(const wchar_t* stem) : m_path(MakeTempFolder(stem)) {}
    ~TempFolder() { RemoveTree(m_path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

// The whole file; empty when it cannot be read. Others may have it open for anything meanwhile.
inline std::string ReadBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

inline std::vector<uint8_t> ReadFileBytes(const std::wstring& path)
{
    const std::string bytes = ReadBytes(path);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// Creates or replaces the file with exactly these bytes.
inline bool WriteFileBytes(const std::wstring& path, const void* data, size_t size)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    CloseHandle(file);
    return ok;
}

inline bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    return WriteFileBytes(path, bytes.data(), bytes.size());
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

// The face that GDI picks for a family: the family itself only when a font of it is loaded.
inline std::wstring SelectedFace(const std::wstring& family)
{
    // Wine keeps the face it chose for a recently used LOGFONT even after the fonts change: every
    // question uses another height.
    static int height = 10;
    height = height >= 200 ? 10 : height + 1;
    LOGFONTW logFont = {};
    logFont.lfHeight = -height;
    logFont.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(logFont.lfFaceName, family.c_str(), LF_FACESIZE);
    return SelectedFaceOf(logFont);
}

inline bool FaceIsLoaded(const std::wstring& family)
{
    return _wcsicmp(SelectedFace(family).c_str(), family.c_str()) == 0;
}

// The locale resource library beside the test programs, loaded as data; null when it is missing.
inline HMODULE LoadLocaleResources()
{
    return LoadLibraryExW(GLY_BIN_DIR L"\\res_en_Amplex.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

// The locale resource library as the resource module while this lives.
class LocaleResources {
public:
    LocaleResources() : m_module(LoadLocaleResources()) { SetResourceModule(m_module); }
    ~LocaleResources()
    {
        SetResourceModule(nullptr);
        if (m_module)
            FreeLibrary(m_module);
    }
    LocaleResources(const LocaleResources&) = delete;
    LocaleResources& operator=(const LocaleResources&) = delete;

    HMODULE Module() const { return m_module; }

private:
    HMODULE m_module;
};

}  // namespace gly_test

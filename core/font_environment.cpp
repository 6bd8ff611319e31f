#include "core/font_environment.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "core/helpers.h"

FontEnvironment& GetFontEnvironment()
{
    static FontEnvironment environment;
    return environment;
}

void InitFontEnvironment()
{
    FontEnvironment& env = GetFontEnvironment();
    if (!env.gdi32)
        env.gdi32 = LoadLibraryW(L"gdi32.dll");
    env.fontsFolder = GetShellFolderPath(CSIDL_FONTS);
    env.administrator = IsUserAdministrator();
}

void ReleaseFontEnvironment()
{
    FontEnvironment& env = GetFontEnvironment();
    if (env.gdi32) {
        FreeLibrary(env.gdi32);
        env.gdi32 = nullptr;
    }
}

bool IsUserAdministrator()
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, &administrators))
        return false;
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member))
        member = FALSE;
    FreeSid(administrators);
    return member != FALSE;
}

const OsVersion& FontEnvironmentVersion()
{
    const FontEnvironment& env = GetFontEnvironment();
    return env.version ? *env.version : GetOsVersion();
}

std::wstring FontRegistryVersionKey()
{
    const FontEnvironment& env = GetFontEnvironment();
    std::wstring key = env.registryPrefix;
    if (!key.empty() && key.back() != L'\\')
        key += L'\\';
    key += FontEnvironmentVersion().IsNT() ? L"Software\\Microsoft\\Windows NT\\CurrentVersion"
                                           : L"Software\\Microsoft\\Windows\\CurrentVersion";
    return key;
}

void ShowFontErrorBox(DWORD code)
{
    const FontEnvironment& env = GetFontEnvironment();
    if (env.errorBox)
        env.errorBox(code);
    else
        ShowErrorBox(code);
}

std::wstring NormalizeFolder(const std::wstring& folder)
{
    std::wstring out = folder;
    for (wchar_t& c : out)
        if (c == L'/')
            c = L'\\';
    while (!out.empty() && (out.back() == L'\\' || out.back() == L' '))
        out.pop_back();
    const size_t first = out.find_first_not_of(L' ');
    return first == std::wstring::npos ? std::wstring() : out.substr(first);
}

bool IsSameFolder(const std::wstring& a, const std::wstring& b)
{
    const std::wstring na = NormalizeFolder(a), nb = NormalizeFolder(b);
    return !na.empty() && _wcsicmp(na.c_str(), nb.c_str()) == 0;
}

LSTATUS RegistryKey::Open(HKEY parent, const std::wstring& path, REGSAM access)
{
    Close();
    return RegOpenKeyExW(parent, path.c_str(), 0, access, &key_);
}

LSTATUS RegistryKey::Create(HKEY parent, const std::wstring& path, REGSAM access)
{
    Close();
    return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key_, nullptr);
}

void RegistryKey::Close()
{
    if (key_) {
        RegCloseKey(key_);
        key_ = nullptr;
    }
}

std::wstring RegistryValue::Characters() const
{
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty())
        memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    text.push_back(L'\0');
    return text;
}

std::wstring RegistryValue::Text() const
{
    if (!IsText())
        return {};
    const std::wstring chars = Characters();
    return chars.substr(0, chars.find(L'\0'));
}

bool EnumRegistryValue(HKEY key, DWORD index, RegistryValue& out)
{
    DWORD maxName = 0, maxData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData, nullptr,
                         nullptr) != ERROR_SUCCESS)
        return false;
    std::wstring name(maxName + 1, L'\0');
    std::vector<BYTE> data(maxData + 2);
    // A value may grow between the size query and the read: retry with larger buffers a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        const LSTATUS status = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_SUCCESS) {
            out.name.assign(name.c_str(), std::min<size_t>(nameLength, name.size()));
            out.type = type;
            out.data.assign(data.begin(), data.begin() + std::min<size_t>(dataSize, data.size()));
            return true;
        }
        if (status != ERROR_MORE_DATA)
            return false;
        name.resize(name.size() * 2 + 256);
        data.resize(std::max<size_t>(data.size() * 2, dataSize + 2));
    }
    return false;
}

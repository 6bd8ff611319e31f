#pragma once
// Shared set-up of the font-layer tests: the resource library, a font environment of the test's own (a
// registry sandbox under HKEY_CURRENT_USER, error boxes recorded instead of shown) and temporary folders.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/font_environment.h"
#include "core/font_resource_loader.h"
#include "core/resource_strings.h"
#include "test_support.h"

namespace font_layer_test {

inline std::vector<DWORD>& ErrorBoxes()
{
    static std::vector<DWORD> boxes;
    return boxes;
}

inline void RecordErrorBox(DWORD code)
{
    ErrorBoxes().push_back(code);
}

using core_test::MakeTempFolder;
using core_test::RemoveTree;
using core_test::UniqueName;

inline bool CopyInto(const std::wstring& source, const std::wstring& target)
{
    return CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE;
}

using gly_test::FaceIsLoaded;
using gly_test::SelectedFace;

// The process environment with the real GDI32 and fonts folder, errors recorded, a registry sandbox.
class FontLayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = GetFontEnvironment();
        InitFontEnvironment();
        FontEnvironment& env = GetFontEnvironment();
        env.errorBox = RecordErrorBox;
        env.quietShellOperations = true;
        ErrorBoxes().clear();
        savedLoader_ = GetFontResourceLoader();
        GetFontResourceLoader().Initialize();
        LastFontOperationError.clear();

        sandboxKey_ = L"Software\\GlyTests\\" + UniqueName(L"reg");
        realFontsFolder_ = env.fontsFolder;
    }

    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, sandboxKey_.c_str());
        GetFontResourceLoader() = savedLoader_;
        HMODULE gdi32 = GetFontEnvironment().gdi32;
        GetFontEnvironment() = saved_;
        GetFontEnvironment().gdi32 = gdi32;
    }

    // Points the font registry at the sandbox; with the version key created unless asked not to.
    void UseRegistrySandbox(bool createVersionKey = true)
    {
        FontEnvironment& env = GetFontEnvironment();
        env.registryRoot = HKEY_CURRENT_USER;
        env.registryPrefix = sandboxKey_;
        RegistryKey key;
        if (createVersionKey)
            key.Create(HKEY_CURRENT_USER, FontRegistryVersionKey() + L"\\Fonts", KEY_ALL_ACCESS);
        else
            key.Create(HKEY_CURRENT_USER, sandboxKey_, KEY_ALL_ACCESS);
    }

    std::wstring VersionKey() const { return FontRegistryVersionKey(); }

    void WriteValue(const std::wstring& subKey, const std::wstring& name, DWORD type, const void* data, DWORD size)
    {
        RegistryKey key;
        ASSERT_EQ(key.Create(GetFontEnvironment().registryRoot, VersionKey() + L"\\" + subKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }

    void WriteText(const std::wstring& subKey, const std::wstring& name, const std::wstring& text)
    {
        WriteValue(subKey, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

    // Characters as given, embedded zeros included, stored as they are.
    void WriteMulti(const std::wstring& subKey, const std::wstring& name, const std::wstring& chars, DWORD type = REG_MULTI_SZ)
    {
        WriteValue(subKey, name, type, chars.data(), static_cast<DWORD>(chars.size() * sizeof(wchar_t)));
    }

    // The value's data in characters; false when it does not exist.
    bool ReadValue(const std::wstring& subKey, const std::wstring& name, std::wstring& out, DWORD* type = nullptr)
    {
        RegistryKey key;
        if (key.Open(GetFontEnvironment().registryRoot, VersionKey() + L"\\" + subKey, KEY_READ) != ERROR_SUCCESS)
            return false;
        DWORD size = 0, valueType = 0;
        if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &valueType, nullptr, &size) != ERROR_SUCCESS)
            return false;
        std::wstring data(size / sizeof(wchar_t), L'\0');
        RegQueryValueExW(key.Get(), name.c_str(), nullptr, &valueType, reinterpret_cast<BYTE*>(data.data()), &size);
        if (type)
            *type = valueType;
        while (valueType == REG_SZ && !data.empty() && data.back() == L'\0')
            data.pop_back();
        out = data;
        return true;
    }

    int CountValues(const std::wstring& subKey)
    {
        RegistryKey key;
        if (key.Open(GetFontEnvironment().registryRoot, VersionKey() + L"\\" + subKey, KEY_READ) != ERROR_SUCCESS)
            return -1;
        DWORD count = 0;
        RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                         nullptr);
        return static_cast<int>(count);
    }

    std::wstring realFontsFolder_;
    std::wstring sandboxKey_;

private:
    gly_test::LocaleResources resources_;
    FontEnvironment saved_;
    FontResourceLoader savedLoader_;
};

}  // namespace font_layer_test

#pragma once
// What the storage tests share: COM, a scratch folder, the locale texts, and message boxes
// recorded instead of shown.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/resource_strings.h"
#include "storage/storage_messages.h"

class StorageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        resources_ = LoadLibraryExW(GLY_BIN_DIR L"\\res_en_Amplex.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
        SetResourceModule(resources_);
        SetStorageMessageSink([this](const std::wstring& text, UINT) {
            messages.push_back(text);
            return IDOK;
        });
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        folder = std::wstring(temp) + L"gly_storage_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                 std::wstring(name.begin(), name.end());
        for (wchar_t& c : folder)
            if (c == L'/')
                c = L'_';
        RemoveFolder(folder);
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    }

    void TearDown() override
    {
        RemoveFolder(folder);
        SetStorageMessageSink(nullptr);
        SetResourceModule(nullptr);
        if (resources_)
            FreeLibrary(resources_);
        CoUninitialize();
    }

    static void RemoveFolder(const std::wstring& path)
    {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = data.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                std::wstring full = path + L"\\" + name;
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveFolder(full);
                else
                    DeleteFileW(full.c_str());
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        RemoveDirectoryW(path.c_str());
    }

    std::wstring Path(const wchar_t* name) const { return folder + L"\\" + name; }

    static std::string ReadBytes(const std::wstring& path)
    {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return {};
        std::string bytes;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got)
            bytes.append(buffer, got);
        CloseHandle(file);
        return bytes;
    }

    static bool WriteBytes(const std::wstring& path, const std::string& bytes)
    {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
        CloseHandle(file);
        return ok;
    }

    static bool Contains(const std::string& bytes, const char* what) { return bytes.find(what) != std::string::npos; }

    std::wstring folder;
    std::vector<std::wstring> messages;

private:
    HMODULE resources_ = nullptr;
};

#pragma once
// What the storage tests share: COM, a scratch folder, the locale texts, and message boxes
// recorded instead of shown.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "core/resource_strings.h"
#include "storage/storage_messages.h"
#include "tests/common/test_support.h"

using gly_test::ReadBytes;
using gly_test::RemoveTree;
using gly_test::WriteBytes;

class StorageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        SetStorageMessageSink([this](const std::wstring& text, UINT) {
            messages.push_back(text);
            return IDOK;
        });
        folder = gly_test::MakeTempFolder(L"gly_storage");
        ASSERT_TRUE(gly_test::IsFolder(folder));
    }

    void TearDown() override
    {
        RemoveTree(folder);
        SetStorageMessageSink(nullptr);
        CoUninitialize();
    }

    std::wstring Path(const wchar_t* name) const { return folder + L"\\" + name; }

    static bool Contains(const std::string& bytes, const char* what) { return bytes.find(what) != std::string::npos; }

    std::wstring folder;
    std::vector<std::wstring> messages;

private:
    gly_test::LocaleResources resources_;
};

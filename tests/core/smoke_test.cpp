#include <gtest/gtest.h>
#include <windows.h>

#include "core/resource_strings.h"

// The build runs: a Windows program under Wine that finds the locale resource library beside it.
TEST(Smoke, LoadsTheLocaleResourceLibrary)
{
    HMODULE res = LoadLibraryExW(GLY_BIN_DIR L"\\res_en_Amplex.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(res, nullptr) << GetLastError();
    SetResourceModule(res);
    EXPECT_FALSE(LoadResString(625).empty());
    EXPECT_TRUE(LoadResString(1).empty());
    SetResourceModule(nullptr);
    FreeLibrary(res);
}

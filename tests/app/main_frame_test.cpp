// The main frame inside the test process: the search folder that the program itself passes with
// code 5, which is the only way that code is honoured.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include "app/app_globals.h"
#include "app/main_frame.h"
#include "core/resource_strings.h"
#include "storage/app_setting_xml.h"
#include "tests/common/test_support.h"

TEST(MainFrame, Code5IsReadOnlyFromTheProgramsOwnCall)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    HMODULE resources = gly_test::LoadLocaleResources();
    ASSERT_NE(resources, nullptr);
    AfxSetResourceHandle(resources);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"gly_frame_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    g_appSettings.SetDataFolder(folder);
    g_appSettings.Load();

    auto* frame = new CMainFrame;
    ASSERT_TRUE(frame->CreateFrame(RECT{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT}));
    HWND window = frame->m_hWnd;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    EXPECT_STREQ(className, L"GLYMainWnd");

    std::string ansi(folder.begin(), folder.end());
    std::string missing = ansi + "\\missing";
    // Sent straight, not through the program's own call: not read.
    EXPECT_EQ(SendMessageW(window, WM_PLUGIN_COMMAND, 5, reinterpret_cast<LPARAM>(ansi.c_str())), 0);
    EXPECT_EQ(SendMessageW(window, WM_PLUGIN_COMMAND, 4, 0), 257);
    EXPECT_EQ(frame->SetSearchFolderFromProgram(missing.c_str()), 0);
    EXPECT_EQ(SendMessageW(window, WM_PLUGIN_COMMAND, 4, 0), 257);
    EXPECT_EQ(frame->SetSearchFolderFromProgram(ansi.c_str()), 1);
    EXPECT_EQ(GetAutoSearchFolder(), folder);
    EXPECT_EQ(SendMessageW(window, WM_PLUGIN_COMMAND, 4, 0), 256);
    // A stored folder that has gone is reported as missing.
    RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(SendMessageW(window, WM_PLUGIN_COMMAND, 4, 0), 257);

    // The menu's Exit closes the frame (the frame deletes itself).
    EXPECT_NE(GetMenu(window), nullptr);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(57665, 0), 0);
    for (int i = 0; i < 100 && IsWindow(window); ++i) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(10);
    }
    EXPECT_FALSE(IsWindow(window));
    g_appSettings.Close();
    AfxSetResourceHandle(nullptr);
    FreeLibrary(resources);
    CoUninitialize();
}

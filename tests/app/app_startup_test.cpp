// Start-up pieces that need no running program: the command line, the single-instance mutex, the
// folders, the recent set files and the list colours.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <commctrl.h>
#include <gdiplus.h>

#include "app/app_globals.h"
#include "app/glyphary_app.h"
#include "app/recent_set_files.h"
#include "core/resource_strings.h"
#include "storage/app_setting_xml.h"
#include "tests/common/test_support.h"

namespace {

class AppStartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = gly_test::MakeTempFolder(L"gly_appunit");
        ASSERT_TRUE(gly_test::IsFolder(folder));
    }
    void TearDown() override { gly_test::RemoveTree(folder); }
    std::wstring folder;
};

}  // namespace

TEST(CommandLine, OnlyTheFirstCharacterOfLowerCaseMAndPCounts)
{
    struct Case {
        std::vector<std::pair<const wchar_t*, BOOL>> args;
        int minimized;
        int plugin;
        const wchar_t* file;
    };
    const Case cases[] = {
        {{{L"m", TRUE}}, 1, 0, L""},
        {{{L"maximize", TRUE}}, 1, 0, L""},
        {{{L"p", TRUE}}, 1, 1, L""},
        {{{L"M", TRUE}, {L"P", TRUE}}, 0, 0, L""},
        {{{L"", TRUE}, {L"x", TRUE}}, 0, 0, L""},
        {{{L"some.set", FALSE}, {L"m", FALSE}}, 0, 0, L"some.set"},
    };
    for (const Case& c : cases) {
        CGLYCommandLineInfo info;
        for (size_t i = 0; i < c.args.size(); ++i)
            info.ParseParam(c.args[i].first, c.args[i].second, i + 1 == c.args.size());
        EXPECT_EQ(info.m_bStartMinimized, c.minimized) << c.args.size();
        EXPECT_EQ(info.m_bStartedByPlugin, c.plugin);
        EXPECT_EQ(info.m_strFileName, c.file);
    }
}

TEST(SingleInstance, TheSecondHolderOfTheNameIsNotFirst)
{
    std::wstring name = L"gly_test_instance_" + std::to_wstring(GetCurrentProcessId());
    EXPECT_TRUE(IsFirstInstance(name.c_str()));
    EXPECT_FALSE(IsFirstInstance(name.c_str()));
}

TEST_F(AppStartupTest, DataAndTemporaryFoldersAreMadeWithoutTrailingBackslashes)
{
    std::wstring data = folder + L"\\data";
    SetEnvironmentVariableW(kDataFolderVariable, (data + L"\\\\").c_str());
    std::wstring path;
    GetUserDataFolder(path);
    SetEnvironmentVariableW(kDataFolderVariable, nullptr);
    EXPECT_EQ(path, data);
    EXPECT_TRUE(FolderExists(data));

    wchar_t oldTmp[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", oldTmp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", folder.c_str());
    CreateTempWorkFolder();
    SetEnvironmentVariableW(L"TMP", oldTmp[0] ? oldTmp : nullptr);
    EXPECT_EQ(GetAppGlobals().tempWorkFolder, folder + L"\\GLYD\\");
    ASSERT_TRUE(FolderExists(folder + L"\\GLYD"));
    ASSERT_TRUE(gly_test::WriteBytes(folder + L"\\GLYD\\work.tmp", ""));
    DeleteTempWorkFolder();
    EXPECT_FALSE(FolderExists(folder + L"\\GLYD"));

    // Nothing is deleted without a path.
    GetAppGlobals().tempWorkFolder.clear();
    DeleteTempWorkFolder();
    EXPECT_TRUE(FolderExists(folder));
    EXPECT_FALSE(FolderExists(folder + L"\\*"));
}

TEST_F(AppStartupTest, RecentSetFilesComeBackInTheirStoredOrder)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        CAppSettingXML& settings = g_appSettings;
        settings.SetDataFolder(folder);
        ASSERT_TRUE(settings.Load());
        CStringArray stored;
        for (const wchar_t* name : {L"A.set", L"B.set", L"C.set", L"gone.set", L"D.set", L"E.set", L"F.set"}) {
            stored.push_back(folder + L"\\" + name);
            if (std::wstring(name) != L"gone.set") {
                ASSERT_TRUE(gly_test::WriteBytes(stored.back(), ""));
            }
        }
        settings.SetStringList(L"Recent_Databases", L"Database", stored);

        CMyRecentFileList list(0, L"Recent_Databases", L"Database", 6);
        list.ReadList();
        ASSERT_EQ(list.GetCount(), 6);
        const wchar_t* expected[] = {L"A.set", L"B.set", L"C.set", L"D.set", L"E.set", L"F.set"};
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(list[i], folder + L"\\" + expected[i]);

        // An entry added again moves to the top (compared without case); the last drops off.
        list.Add(folder + L"\\c.SET");
        list.Add(folder + L"\\new.set");
        list.WriteList();
        CStringArray written;
        settings.GetStringList(L"Recent_Databases", L"Database", written);
        ASSERT_EQ(written.size(), 6u);
        EXPECT_EQ(written[0], folder + L"\\new.set");
        EXPECT_EQ(written[1], folder + L"\\c.SET");
        EXPECT_EQ(written[2], folder + L"\\A.set");
        EXPECT_EQ(written[5], folder + L"\\E.set");
        settings.Close();
    }
    CoUninitialize();
}

TEST(ListColours, FollowTheRecordsState)
{
    AppGlobals& g = GetAppGlobals();
    g.colourInstalled = 1;
    g.colourLoaded = 2;
    g.colourSystemUsed = 3;
    struct Case {
        int loaded, inUse, tracked, setLoaded;
        COLORREF colour;
    };
    const Case cases[] = {
        {1, 1, 1, 1, 3},  // used by the system wins
        {0, 0, 1, 1, 9},  // not active: the caller's colour
        {1, 0, 0, 0, 1},  // active, not by this program
        {1, 0, 1, 0, 2},
        {1, 0, 0, 1, 2},
    };
    for (const Case& c : cases) {
        CFontItemInfo record;
        record.loaded = c.loaded;
        record.inUse = c.inUse;
        record.trackedLoad = c.tracked;
        record.setLoaded = c.setLoaded;
        EXPECT_EQ(GetFontStateColour(record, 9), c.colour) << c.loaded << c.inUse << c.tracked << c.setLoaded;
    }
}

TEST(ImageLists, AreBuiltFromTheProgramsPictures)
{
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
    HMODULE program = LoadLibraryExW(GLY_BIN_DIR L"\\gly.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    AppGlobals& g = GetAppGlobals();
    g.ownModule = program;
    BuildImageLists();
    // One 16 x 16 cell per 16 pixels of the mask's width.
    EXPECT_EQ(ImageList_GetImageCount(g.fontTypeIcons), 8);
    for (HIMAGELIST list : {g.menuIcons, g.menuIconsGrey, g.menuIconsHot})
        EXPECT_EQ(ImageList_GetImageCount(list), 24);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(g.fontTypeIcons, &cx, &cy);
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);
    // A picture of the program over a background colour.
    HBITMAP bitmap = LoadPngResourceToHBitmap(L"MENUICONS.PNG", L"PNG", RGB(255, 255, 255));
    EXPECT_NE(bitmap, nullptr);
    DeleteObject(bitmap);
    EXPECT_EQ(LoadPngResourceToHBitmap(L"NOSUCH.PNG", L"PNG", 0), nullptr);
    DestroyImageLists();
    g.ownModule = nullptr;
    FreeLibrary(program);
    Gdiplus::GdiplusShutdown(token);
}

// The state refresh (kind 2): a record is loaded when its registry entry says so, when this program
// loaded it, or when the installed-fonts pane marks its full name in use.
#include <gtest/gtest.h>
#include <windows.h>

#include <mutex>

#include "activation/app_state.h"
#include "activation/list_refresh.h"
#include "activation/pipe_server.h"
#include "core/installed_fonts.h"
#include "core/loaded_fonts.h"
#include "core/sfnt_reader.h"
#include "worker_test_support.h"

namespace {

class ListRefreshTest : public WorkerTest {
protected:
    void TearDown() override
    {
        GetFolderListFonts().RemoveAll();
        GetInstalledFontArray().clear();
        GetGLYLoadedFonts().clear();
        GetInUseFontNames().clear();
        WorkerTest::TearDown();
    }
};

TEST_F(ListRefreshTest, StatesComeFromRegistryLoadedListAndInUseNames)
{
    CFontItemArray& list = GetFolderListFonts();
    list.RemoveAll();
    const std::wstring fixture = std::wstring(GLY_FIXTURE_DIR) + L"\\sfnt\\";
    // Four records of different fonts; a fifth without names ends the walk.
    for (const wchar_t* name : {L"basic.ttf", L"cff.otf", L"dsig-truetype-outlines.ttf", L"kern-count-overflow.ttf"})
        ASSERT_TRUE(ReadSfntFile(fixture + name, name, list));
    ASSERT_EQ(list.GetSize(), 4);
    for (int i = 0; i < 4; ++i)
        list[i].itemId = i + 1;
    CFontItemInfo nameless = list[0];
    nameless.names.RemoveAll();
    nameless.itemId = 5;
    nameless.loaded = 1;
    list.Add(nameless);
    list[3].loaded = list[3].installed = list[3].inUse = list[3].trackedLoad = 1;  // stale flags

    // Row 0: the registry names it with a non-zero second value, as a system font.
    CRegistryInstalledFontItem entry;
    entry.SetKey(list[0].GetRegistryName(), list[0].kind);
    entry.reserved = 1;
    entry.systemFont = 1;
    GetInstalledFontArray().InsertSorted(entry);
    // Row 1: this program loaded it.
    GetGLYLoadedFonts().AddSorted(CFontItemGLYLoaded(list[1].GetName(NameFamily), list[1].GetName(NameFull),
                                                     list[1].GetName(NamePostScript), L"cff.otf", list[1].kind));
    // Row 2: the installed-fonts pane marks its full name in use.
    GetInUseFontNames() = {list[2].GetName(NameFull)};

    RecordingOwner owner;
    WorkerStopFlag stop{FALSE};
    FlagThreadParams params;
    ASSERT_TRUE(StartListRefresh(params, owner.hwnd, &stop, FALSE));
    int result = 0;
    ASSERT_TRUE(owner.WaitForDone(kWorkerListRefresh, result));
    EXPECT_EQ(result, kWorkerResultDone);
    StopWorkerThread(&params);

    struct Expect {
        int loaded, installed, inUse, trackedLoad;
    } expected[] = {{1, 1, 0, 0}, {1, 0, 0, 1}, {1, 0, 1, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(list[i].loaded, expected[i].loaded) << i;
        EXPECT_EQ(list[i].installed, expected[i].installed) << i;
        EXPECT_EQ(list[i].inUse, expected[i].inUse) << i;
        EXPECT_EQ(list[i].trackedLoad, expected[i].trackedLoad) << i;
    }
}

}  // namespace

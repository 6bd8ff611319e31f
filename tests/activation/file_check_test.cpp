// The file check (kind 8): records whose file went missing move to the missing-file kinds and back,
// one row message for each change.
#include <gtest/gtest.h>
#include <windows.h>

#include "activation/app_state.h"
#include "activation/file_check.h"
#include "core/sfnt_reader.h"
#include "worker_test_support.h"

namespace {

class FileCheckTest : public WorkerTest {
protected:
    void TearDown() override
    {
        GetSetListFonts().RemoveAll();
        WorkerTest::TearDown();
    }

    int Check(const std::wstring& base)
    {
        owner.messages.clear();
        TextThreadParams params;
        EXPECT_TRUE(StartFileCheck(params, owner.hwnd, &stop, base));
        int result = 0;
        EXPECT_TRUE(owner.WaitForDone(kWorkerFileCheck, result));
        StopWorkerThread(&params);
        owner.Pump();
        return result;
    }

    std::vector<WPARAM> ChangedRows() const
    {
        std::vector<WPARAM> rows;
        for (const RecordedMessage& m : owner.messages)
            if (m.message == WM_FONT_ROW_CHANGED && m.lParam == 1)
                rows.push_back(m.wParam);
        return rows;
    }

    ScratchFolder folder;
    RecordingOwner owner;
    WorkerStopFlag stop{FALSE};
};

TEST_F(FileCheckTest, MissingFileMovesKindUpByFiveAndBackWhenItReturns)
{
    folder.MakeFolder(L"sub");
    ASSERT_TRUE(folder.CopyFixture(L"sfnt\\basic.ttf", L"a.ttf"));
    ASSERT_TRUE(folder.CopyFixture(L"sfnt\\cff.otf", L"sub\\b.otf"));
    CFontItemArray& list = GetSetListFonts();
    list.RemoveAll();
    // Row 0 by a name against the base folder, row 1 by a name against its own relative folder.
    ASSERT_TRUE(ReadSfntFile(folder.path + L"\\a.ttf", L"a.ttf", list));
    ASSERT_TRUE(ReadSfntFile(folder.path + L"\\sub\\b.otf", L"b.otf", list));
    list[1].baseFolder = L".\\sub";
    list[0].loaded = 1;
    const int kindA = list[0].kind, kindB = list[1].kind;

    EXPECT_EQ(Check(folder.path), kWorkerResultDone);
    EXPECT_TRUE(ChangedRows().empty());

    const std::wstring a = folder.path + L"\\a.ttf", hidden = folder.path + L"\\a.hidden";
    ASSERT_TRUE(MoveFileW(a.c_str(), hidden.c_str()));
    EXPECT_EQ(Check(folder.path), kWorkerResultDone);
    EXPECT_EQ(ChangedRows(), std::vector<WPARAM>{0});
    EXPECT_EQ(list[0].kind, kindA + 5);
    EXPECT_EQ(list[0].loaded, 0);
    EXPECT_EQ(list[1].kind, kindB);

    // A second check changes nothing more.
    EXPECT_EQ(Check(folder.path), kWorkerResultDone);
    EXPECT_TRUE(ChangedRows().empty());
    EXPECT_EQ(list[0].kind, kindA + 5);

    ASSERT_TRUE(MoveFileW(hidden.c_str(), a.c_str()));
    EXPECT_EQ(Check(folder.path), kWorkerResultDone);
    EXPECT_EQ(ChangedRows(), std::vector<WPARAM>{0});
    EXPECT_EQ(list[0].kind, kindA);
}

TEST_F(FileCheckTest, StoppedCheckReportsStopped)
{
    CFontItemArray& list = GetSetListFonts();
    list.RemoveAll();
    ASSERT_TRUE(ReadSfntFile(std::wstring(GLY_FIXTURE_DIR) + L"\\sfnt\\basic.ttf", L"basic.ttf", list));
    TextThreadParams params;
    // The list's lock holds the worker at its first row until the flag is up.
    list.Lock();
    ASSERT_TRUE(StartFileCheck(params, owner.hwnd, &stop, folder.path));
    stop = TRUE;
    list.Unlock();
    int result = 0;
    ASSERT_TRUE(owner.WaitForDone(kWorkerFileCheck, result));
    EXPECT_EQ(result, kWorkerResultStopped);
    StopWorkerThread(&params);
}

}  // namespace

// Folder count (kind 1) and folder read (kind 0) over nested folders with fonts, other files,
// collections, Type 1 pairs and link loops.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>

#include "activation/folder_scan.h"
#include "worker_test_support.h"

namespace {

class FolderScanTest : public WorkerTest {
protected:
    // root: basic.ttf, readme.txt
    //   sub: cff.otf, pair.ttc (two faces), GlyHand.pfm + GlyHand.pfb
    //     deeper: bmp-three-sizes.fon, notes.dat, BASIC2.TTF (upper-case extension)
    //   empty/
    void MakeTree()
    {
        ASSERT_TRUE(folder.CopyFixture(L"sfnt\\basic.ttf", L"basic.ttf"));
        ASSERT_TRUE(folder.WriteText(L"readme.txt", "not a font"));
        folder.MakeFolder(L"sub");
        folder.MakeFolder(L"empty");
        ASSERT_TRUE(folder.CopyFixture(L"sfnt\\cff.otf", L"sub\\cff.otf"));
        ASSERT_TRUE(folder.CopyFixture(L"sfnt\\pair.ttc", L"sub\\pair.ttc"));
        ASSERT_TRUE(folder.CopyFixture(L"type1\\GlyHand.pfm", L"sub\\GlyHand.pfm"));
        ASSERT_TRUE(folder.CopyFixture(L"type1\\GlyHand.pfb", L"sub\\GlyHand.pfb"));
        folder.MakeFolder(L"sub\\deeper");
        ASSERT_TRUE(folder.CopyFixture(L"bitmap\\bmp-three-sizes.fon", L"sub\\deeper\\bmp-three-sizes.fon"));
        ASSERT_TRUE(folder.WriteText(L"sub\\deeper\\notes.dat", "x"));
        ASSERT_TRUE(folder.CopyFixture(L"sfnt\\basic.ttf", L"sub\\deeper\\BASIC2.TTF"));
    }

    ScratchFolder folder;
    RecordingOwner owner;
    WorkerStopFlag stop{FALSE};
};

TEST_F(FolderScanTest, CountsFilesAndFontFilesFlatOrRecursive)
{
    MakeTree();
    struct Case {
        BOOL recursive;
        int files;
        int fontFiles;
    } cases[] = {
        {FALSE, 2, 1},  // basic.ttf, readme.txt
        {TRUE, 9, 6},   // + cff, pair, pfm, pfb, fon, notes, BASIC2 (the .pfb is no font file)
    };
    for (const Case& c : cases) {
        FolderScanParams params;
        ASSERT_TRUE(StartFolderCount(params, owner.hwnd, &stop, folder.path, c.recursive));
        int result = 0;
        ASSERT_TRUE(owner.WaitForDone(kWorkerFolderCount, result));
        EXPECT_EQ(result, kWorkerResultDone);
        EXPECT_EQ(params.fileCount.load(), c.files) << c.recursive;
        EXPECT_EQ(params.fontFileCount.load(), c.fontFiles) << c.recursive;
        StopWorkerThread(&params);
        owner.messages.clear();
    }
}

TEST_F(FolderScanTest, ReadsEveryFontOfTheTreeWithPathsBelowTheFolder)
{
    MakeTree();
    CFontItemArray list;
    list.EnableLock(TRUE);
    FolderReadParams params;
    ASSERT_TRUE(StartFolderRead(params, owner.hwnd, &stop, folder.path, TRUE, &list));
    int result = 0;
    ASSERT_TRUE(owner.WaitForDone(kWorkerFolderRead, result));
    EXPECT_EQ(result, kWorkerResultDone);
    EXPECT_EQ(params.filesMet.load(), 9);
    EXPECT_EQ(params.fontFiles.load(), 6);
    StopWorkerThread(&params);

    std::set<std::wstring> paths;
    for (const CFontItemInfo& record : list)
        paths.insert(record.path);
    // Files of the folder itself keep their name; deeper ones a path relative to the folder.
    EXPECT_TRUE(paths.count(L"basic.ttf"));
    EXPECT_TRUE(paths.count(L".\\sub\\cff.otf"));
    EXPECT_TRUE(paths.count(L".\\sub\\pair.ttc"));
    EXPECT_TRUE(paths.count(L".\\sub\\deeper\\bmp-three-sizes.fon"));
    EXPECT_TRUE(paths.count(L".\\sub\\deeper\\BASIC2.TTF"));
    int collectionFaces = 0, type1 = 0;
    for (const CFontItemInfo& record : list) {
        collectionFaces += record.path == L".\\sub\\pair.ttc";
        type1 += IsType1Kind(record.kind);
    }
    EXPECT_EQ(collectionFaces, 2);
    EXPECT_EQ(type1, 1);
    EXPECT_GE(list.GetSize(), 7);
}

TEST_F(FolderScanTest, FlatReadLeavesSubFoldersAlone)
{
    MakeTree();
    CFontItemArray list;
    FolderReadParams params;
    ASSERT_TRUE(StartFolderRead(params, owner.hwnd, &stop, folder.path, FALSE, &list));
    int result = 0;
    ASSERT_TRUE(owner.WaitForDone(kWorkerFolderRead, result));
    EXPECT_EQ(result, kWorkerResultDone);
    StopWorkerThread(&params);
    ASSERT_EQ(list.GetSize(), 1);
    EXPECT_EQ(list[0].path, L"basic.ttf");
}

TEST_F(FolderScanTest, EmptyOrMissingFolderAndMissingTarget)
{
    folder.MakeFolder(L"empty");
    folder.WriteText(L"empty\\a.txt", "x");
    struct Case {
        std::wstring path;
        bool withTarget;
        int result;
    } cases[] = {
        {folder.path + L"\\empty", true, kWorkerResultDone},
        {folder.path + L"\\absent", true, kWorkerResultDone},
        {std::wstring(), true, kWorkerResultDone},
        {folder.path, false, kWorkerResultMissing},
    };
    for (const Case& c : cases) {
        CFontItemArray list;
        FolderReadParams read;
        ASSERT_TRUE(StartFolderRead(read, owner.hwnd, &stop, c.path, TRUE, c.withTarget ? &list : nullptr));
        int result = 0;
        ASSERT_TRUE(owner.WaitForDone(kWorkerFolderRead, result));
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(list.GetSize(), 0);
        EXPECT_EQ(read.fontFiles.load(), 0);
        StopWorkerThread(&read);

        FolderScanParams count;
        ASSERT_TRUE(StartFolderCount(count, owner.hwnd, &stop, c.path, TRUE));
        ASSERT_TRUE(owner.WaitForDone(kWorkerFolderCount, result));
        EXPECT_EQ(result, kWorkerResultDone);
        EXPECT_EQ(count.fontFileCount.load(), 0);
        StopWorkerThread(&count);
        owner.messages.clear();
    }
}

TEST_F(FolderScanTest, StoppingHalfWayKeepsTheRowsReadSoFar)
{
    constexpr int kFiles = 400;
    ASSERT_TRUE(folder.CopyFixture(L"sfnt\\basic.ttf", L"f0.ttf"));
    for (int i = 1; i < kFiles; ++i) {
        ASSERT_TRUE(CopyFileW((folder.path + L"\\f0.ttf").c_str(),
                              (folder.path + L"\\f" + std::to_wstring(i) + L".ttf").c_str(), FALSE));
    }
    CFontItemArray list;
    list.EnableLock(TRUE);
    FolderReadParams params;
    ASSERT_TRUE(StartFolderRead(params, owner.hwnd, &stop, folder.path, FALSE, &list));
    while (params.filesMet.load() < 3 && WaitForSingleObject(params.thread.load()->m_hThread, 0) == WAIT_TIMEOUT)
        Sleep(0);
    // Holding the list's lock, the worker can finish at most the file it is in before it sees the flag.
    list.Lock();
    stop = TRUE;
    list.Unlock();
    int result = 0;
    ASSERT_TRUE(owner.WaitForDone(kWorkerFolderRead, result));
    EXPECT_EQ(result, kWorkerResultStopped);
    const int read = params.fontFiles.load();
    EXPECT_GE(read, 3);
    EXPECT_LT(read, kFiles);
    EXPECT_EQ(list.GetSize(), read);  // nothing read was taken back
    StopWorkerThread(&params);
    EXPECT_EQ(list.GetSize(), read);
}

// Creates a Unix symbolic link through /bin/ln; Wine runs Unix programs and shows the link as a
// folder with the reparse-point attribute. False when not under Wine.
bool MakeUnixLink(const std::wstring& target, const std::wstring& link)
{
    using UnixName = char*(CDECL*)(const wchar_t*);
    auto toUnix = reinterpret_cast<UnixName>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
    if (!toUnix)
        return false;
    char* t = toUnix(target.c_str());
    // The link does not exist yet: name its folder and append the last part.
    size_t slash = link.find_last_of(L'\\');
    char* dir = toUnix(link.substr(0, slash).c_str());
    if (!t || !dir)
        return false;
    std::string linkPath = std::string(dir) + "/" + std::string(link.begin() + slash + 1, link.end());
    std::string cmd = std::string("Z:\\bin\\ln -s ") + t + " " + linkPath;
    HeapFree(GetProcessHeap(), 0, t);
    HeapFree(GetProcessHeap(), 0, dir);
    STARTUPINFOA si{sizeof(si)};
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA("Z:\\bin\\ln", cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    // Wine neither waits for a Unix program nor passes its exit code on: the link itself tells.
    for (int i = 0; i < 1000; ++i) {
        if (GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(10);
    }
    return false;
}

TEST_F(FolderScanTest, LinkLoopsAreNotFollowed)
{
    ASSERT_TRUE(folder.CopyFixture(L"sfnt\\basic.ttf", L"basic.ttf"));
    folder.MakeFolder(L"sub");
    ASSERT_TRUE(folder.CopyFixture(L"sfnt\\cff.otf", L"sub\\cff.otf"));
    if (!MakeUnixLink(folder.path, folder.path + L"\\sub\\loop"))
        GTEST_SKIP() << "needs Wine to make a Unix link";

    FolderScanParams count;
    ASSERT_TRUE(StartFolderCount(count, owner.hwnd, &stop, folder.path, TRUE));
    int result = 0;
    ASSERT_TRUE(owner.WaitForDone(kWorkerFolderCount, result));
    EXPECT_EQ(result, kWorkerResultDone);
    EXPECT_EQ(count.fontFileCount.load(), 2);
    StopWorkerThread(&count);

    CFontItemArray list;
    FolderReadParams read;
    ASSERT_TRUE(StartFolderRead(read, owner.hwnd, &stop, folder.path, TRUE, &list));
    ASSERT_TRUE(owner.WaitForDone(kWorkerFolderRead, result));
    EXPECT_EQ(result, kWorkerResultDone);
    EXPECT_EQ(list.GetSize(), 2);
    StopWorkerThread(&read);
}

TEST_F(FolderScanTest, GuardRefusesAncestorsDeepFoldersAndReparsePoints)
{
    folder.MakeFolder(L"sub");
    const bool linked = MakeUnixLink(folder.path, folder.path + L"\\sub\\loop");

    FolderLoopGuard guard;
    guard.EnterRoot(folder.path);
    WIN32_FIND_DATAW entry{};
    entry.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    EXPECT_TRUE(guard.Enter(entry, folder.path + L"\\sub", 1));
    if (linked) {
        // Seen without its reparse attribute, the link still leads to an ancestor.
        EXPECT_FALSE(guard.Enter(entry, folder.path + L"\\sub\\loop", 2));
    }
    guard.Leave();
    EXPECT_FALSE(guard.Enter(entry, folder.path + L"\\sub", FolderLoopGuard::kMaxDepth + 1));
    entry.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_FALSE(guard.Enter(entry, folder.path + L"\\sub", 1));
}

TEST(FontFileExtension, ChoosesByTheTextAfterTheLastDot)
{
    for (const wchar_t* yes : {L"a.fon", L"a.FNT", L"a.b.ttf", L"x.Otf", L"c.ttc", L"t.pfm"})
        EXPECT_TRUE(IsFontFileExtension(yes)) << yes;
    for (const wchar_t* no : {L"a.pfb", L"ttf", L"a.ttf.bak", L"a.", L"a.tt"})
        EXPECT_FALSE(IsFontFileExtension(no)) << no;
}

}  // namespace

// Workers that fill and activate sets over an open set file: a set from a folder (kind 10), chosen
// files (kind 9), the installed fonts (kind 11) and set activation (kind 4).
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <memory>
#include <string>

#include "activation/app_state.h"
#include "activation/set_activation_worker.h"
#include "activation/set_filling_workers.h"
#include "activation/set_load_worker.h"
#include "core/installed_fonts.h"
#include "core/sfnt_reader.h"
#include "storage/app_setting_xml.h"
#include "storage/com_ptr.h"
#include "storage/font_files_xml.h"
#include "storage/set_activation.h"
#include "storage/set_file.h"
#include "worker_test_support.h"

namespace {

class SetWorkersTest : public WorkerTest {
protected:
    void SetUp() override
    {
        WorkerTest::SetUp();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        fonts = std::make_unique<ScratchFolder>();
        setFile = fonts->path + L"\\test.set";
        ASSERT_TRUE(CreateCompoundFile(setFile, storage.Put()));
        tree = std::make_unique<CFontFilesXML>();
        ASSERT_TRUE(tree->OpenOrCreate(kSetsStreamName, storage.Get(), TRUE, FALSE));
        SetAppSetFile(setFile, storage.Get(), tree.get());
        top = {};
        ASSERT_EQ(tree->CreateNode(L"Top", top), 1);
        SetFontChangeBroadcastHook([] {});
        g_appSettings.SetDataFolder(fonts->path);
        g_appSettings.Load();
    }

    void TearDown() override
    {
        for (const std::wstring& file : loadedCandidates)
            for (int i = 0; i < 16 && RemoveFontResourceExW(file.c_str(), 0, nullptr); ++i) {
            }
        g_appSettings.Close();
        SetFontChangeBroadcastHook(nullptr);
        SetShownSetDocument(nullptr);
        GetShownSetPath().clear();
        ClearAppSetFile();
        tree.reset();
        storage.Reset();
        fonts.reset();
        CoUninitialize();
        WorkerTest::TearDown();
    }

    // root: basic.ttf, readme.txt; sub: cff.otf, pair.ttc (two faces); a\b: dsig.ttf (a has no font);
    // empty\: nothing.
    std::wstring MakeFontTree()
    {
        std::wstring root = fonts->MakeFolder(L"root");
        EXPECT_TRUE(fonts->CopyFixture(L"sfnt\\basic.ttf", L"root\\basic.ttf"));
        EXPECT_TRUE(fonts->WriteText(L"root\\readme.txt", "text"));
        fonts->MakeFolder(L"root\\sub");
        EXPECT_TRUE(fonts->CopyFixture(L"sfnt\\cff.otf", L"root\\sub\\cff.otf"));
        EXPECT_TRUE(fonts->CopyFixture(L"sfnt\\pair.ttc", L"root\\sub\\pair.ttc"));
        fonts->MakeFolder(L"root\\a");
        fonts->MakeFolder(L"root\\a\\b");
        EXPECT_TRUE(fonts->CopyFixture(L"sfnt\\dsig-truetype-outlines.ttf", L"root\\a\\b\\dsig.ttf"));
        fonts->MakeFolder(L"root\\empty");
        return root;
    }

    long RecordsOf(const CWordArray& path)
    {
        std::wstring name;
        CFontFilesXML::MakeSetStreamName(path, name);
        CFontFilesXML set;
        if (!set.OpenOrCreate(name, storage.Get(), FALSE, TRUE))
            return -1;
        return set.CountRecords();
    }

    bool ChildSet(const CWordArray& parent, const wchar_t* name, CWordArray& out)
    {
        return tree->FindChildByName(name, parent, out) != FALSE;
    }

    int FillFromFolder(SetFromFolderParams& params, const std::wstring& folder, BOOL onePerFolder, BOOL existing = FALSE)
    {
        SetFromFolderRequest request;
        request.folder = folder;
        request.idPath = top;
        request.onePerFolder = onePerFolder;
        request.existingSet = existing;
        if (existing)
            request.existingSourceFolder = folder;
        EXPECT_TRUE(StartSetFromFolder(params, owner.hwnd, request));
        int result = 0;
        EXPECT_TRUE(owner.WaitForDone(kWorkerSetFromFolder, result));
        StopWorkerThread(&params);
        return result;
    }

    std::unique_ptr<ScratchFolder> fonts;
    std::wstring setFile;
    ComPtr<IStorage> storage;
    std::unique_ptr<CFontFilesXML> tree;
    CWordArray top;
    RecordingOwner owner;
    std::vector<std::wstring> loadedCandidates;
};

TEST_F(SetWorkersTest, FolderIntoOneSetCountsTheFontsOfAllSubFolders)
{
    const std::wstring root = MakeFontTree();
    SetFromFolderParams params;
    EXPECT_EQ(FillFromFolder(params, root, FALSE), kWorkerResultDone);
    EXPECT_EQ(params.fontsAdded.load(), 5);  // basic, cff, two faces of pair, dsig
    EXPECT_EQ(params.duplicates.load(), 0);
    EXPECT_EQ(params.documentInUse.load(), nullptr);
    EXPECT_EQ(tree->GetNodeValueH(top), 5);
    std::wstring source;
    tree->GetNodeSourcePath(source, top);
    EXPECT_EQ(source, root);
    EXPECT_EQ(RecordsOf(top), 5);
    EXPECT_FALSE(tree->HasChildNodes(&top));
    owner.Pump();
    EXPECT_EQ(owner.Count(WM_SET_FILL_PROGRESS), 5);

    // The same folder again into the existing set: every face is a duplicate.
    SetFromFolderParams again;
    EXPECT_EQ(FillFromFolder(again, root, FALSE, TRUE), kWorkerResultDone);
    EXPECT_EQ(again.fontsAdded.load(), 0);
    EXPECT_EQ(again.duplicates.load(), 5);
    EXPECT_EQ(RecordsOf(top), 5);
    EXPECT_EQ(tree->GetNodeValueH(top), 5);  // the count it had, plus nothing new
}

TEST_F(SetWorkersTest, OneSetPerFolderSkipsFoldersWithoutFonts)
{
    const std::wstring root = MakeFontTree();
    SetFromFolderParams params;
    EXPECT_EQ(FillFromFolder(params, root, TRUE), kWorkerResultDone);
    EXPECT_EQ(params.fontsAdded.load(), 5);
    EXPECT_EQ(tree->GetNodeValueH(top), 1);
    EXPECT_EQ(RecordsOf(top), 1);

    CWordArray sub, a, b, empty;
    ASSERT_TRUE(ChildSet(top, L"sub", sub));
    EXPECT_EQ(tree->GetNodeValueH(sub), 3);
    EXPECT_EQ(RecordsOf(sub), 3);
    std::wstring source;
    tree->GetNodeSourcePath(source, sub);
    EXPECT_EQ(source, root + L"\\sub");
    // "a" holds no font itself but is the parent of "b", which does.
    ASSERT_TRUE(ChildSet(top, L"a", a));
    EXPECT_EQ(tree->GetNodeValueH(a), 0);
    ASSERT_TRUE(ChildSet(a, L"b", b));
    EXPECT_EQ(tree->GetNodeValueH(b), 1);
    EXPECT_FALSE(ChildSet(top, L"empty", empty));
}

TEST_F(SetWorkersTest, StoppedFolderFillStillSavesWhatWasAddedAndPostsDone)
{
    const std::wstring root = MakeFontTree();
    SetFromFolderParams params;
    SetFromFolderRequest request;
    request.folder = root;
    request.idPath = top;
    request.onePerFolder = FALSE;
    // Stopped before the first entry: nothing is added, but the completion still comes.
    ASSERT_TRUE(StartSetFromFolder(params, owner.hwnd, request));
    params.ownStop = TRUE;
    int result = 0;
    ASSERT_TRUE(owner.WaitForDone(kWorkerSetFromFolder, result));
    EXPECT_EQ(result, kWorkerResultDone);
    StopWorkerThread(&params);
    EXPECT_EQ(RecordsOf(top), params.fontsAdded.load());
}

TEST_F(SetWorkersTest, AddFilesWritesThroughTheShownListsDocument)
{
    fonts->MakeFolder(L"files");
    ASSERT_TRUE(fonts->CopyFixture(L"sfnt\\basic.ttf", L"files\\basic.ttf"));
    ASSERT_TRUE(fonts->CopyFixture(L"sfnt\\cff.otf", L"files\\cff.otf"));
    ASSERT_TRUE(fonts->WriteText(L"files\\notes.txt", "x"));
    const std::wstring files = fonts->path + L"\\files";

    // The set fonts list shows the set: its open document must get the records, or the list's next
    // save would drop them.
    std::wstring name;
    ASSERT_TRUE(CFontFilesXML::MakeSetStreamName(top, name));
    CFontFilesXML shown;
    ASSERT_TRUE(shown.OpenOrCreate(name, storage.Get(), TRUE, FALSE));
    GetShownSetPath().assign(top.begin(), top.end());
    SetShownSetDocument(&shown);

    AddFilesParams params;
    WorkerStopFlag stop{FALSE};
    AddFilesRequest request;
    request.setFolder = files;
    request.fileFolder = files;
    request.files = {L"basic.ttf", L"cff.otf", L"notes.txt"};
    request.shownSet = TRUE;
    request.idPath = top;
    ASSERT_TRUE(StartAddFiles(params, owner.hwnd, &stop, request));
    int result = 0;
    ASSERT_TRUE(owner.WaitForDone(kWorkerAddFiles, result));
    EXPECT_EQ(result, kWorkerResultDone);
    StopWorkerThread(&params);
    EXPECT_EQ(params.result.load(), 2);
    EXPECT_EQ(params.recordCount.load(), 2);
    EXPECT_EQ(params.fileCount.load(), 3);
    EXPECT_EQ(params.document.load(), nullptr);
    EXPECT_EQ(shown.CountRecords(), 2);
    SetShownSetDocument(nullptr);
    EXPECT_EQ(RecordsOf(top), 2);  // and it was saved

    // Not shown: the worker opens the stream itself; the same files are duplicates now.
    ASSERT_TRUE(StartAddFiles(params, owner.hwnd, &stop, request));
    owner.messages.clear();
    ASSERT_TRUE(owner.WaitForDone(kWorkerAddFiles, result));
    StopWorkerThread(&params);
    EXPECT_EQ(params.duplicates.load(), 2);
    EXPECT_EQ(RecordsOf(top), 2);
}

TEST_F(SetWorkersTest, InstalledFontsWithoutAFileAreSkipped)
{
    fonts->MakeFolder(L"Fonts");
    ASSERT_TRUE(fonts->CopyFixture(L"sfnt\\basic.ttf", L"Fonts\\basic.ttf"));
    ASSERT_TRUE(fonts->CopyFixture(L"sfnt\\cff.otf", L"Fonts\\cff.otf"));
    SetAppSystemFontsFolder(fonts->path + L"\\Fonts");
    CFontItemArray& installed = GetInstalledFontRecords();
    installed.RemoveAll();
    ASSERT_TRUE(ReadSfntFile(fonts->path + L"\\Fonts\\basic.ttf", L"basic.ttf", installed));
    CFontItemInfo noFile = installed[0];
    noFile.path.clear();
    installed.Add(noFile);
    ASSERT_TRUE(ReadSfntFile(fonts->path + L"\\Fonts\\cff.otf", L"cff.otf", installed));

    InstalledToSetParams params;
    ASSERT_TRUE(StartInstalledToSet(params, owner.hwnd, top));
    int result = 0;
    ASSERT_TRUE(owner.WaitForDone(kWorkerInstalledToSet, result));
    EXPECT_EQ(result, kWorkerResultDone);
    StopWorkerThread(&params);
    EXPECT_EQ(params.total.load(), 2);
    EXPECT_EQ(params.added.load(), 2);
    EXPECT_EQ(RecordsOf(top), 2);
    owner.Pump();
    EXPECT_EQ(owner.Count(WM_SET_FILL_PROGRESS), 2);
    installed.RemoveAll();
    SetAppSystemFontsFolder(std::wstring());
}

TEST_F(SetWorkersTest, ActivationReportsChangeNoChangeAndMissingTree)
{
    std::wstring root = fonts->MakeFolder(L"act");
    ASSERT_TRUE(fonts->CopyFixture(L"sfnt\\kern-count-overflow.ttf", L"act\\k.ttf"));
    loadedCandidates.push_back(root + L"\\k.ttf");
    SetFromFolderParams fill;
    ASSERT_EQ(FillFromFolder(fill, root, FALSE), kWorkerResultDone);
    ASSERT_EQ(RecordsOf(top), 1);
    CWordArray emptySet;
    ASSERT_EQ(tree->CreateNode(L"Empty", emptySet), 2);

    struct Case {
        CWordArray path;
        BOOL activate;
        CFontFilesXML* tree;
        int result;
    } cases[] = {
        {top, TRUE, tree.get(), kWorkerResultDone},
        {top, FALSE, tree.get(), kWorkerResultDone},
        {emptySet, TRUE, tree.get(), kWorkerResultNoChange},
        {top, TRUE, nullptr, kWorkerResultMissing},
    };
    for (const Case& c : cases) {
        SetActivationParams params;
        WorkerStopFlag stop{FALSE};
        owner.messages.clear();
        ASSERT_TRUE(StartSetActivation(params, owner.hwnd, &stop, c.activate, c.path, c.tree));
        int result = 0;
        ASSERT_TRUE(owner.WaitForDone(kWorkerSetActivation, result));
        EXPECT_EQ(result, c.result);
        StopWorkerThread(&params);
        EXPECT_EQ(params.done.load(), 1);
    }
}

}  // namespace

namespace {

TEST_F(SetWorkersTest, SetLoadFillsTheListAndMakesTheSetTheShownOne)
{
    const std::wstring root = MakeFontTree();
    SetFromFolderParams fill;
    ASSERT_EQ(FillFromFolder(fill, root, FALSE), kWorkerResultDone);

    CFontFilesXML listDocument;
    CFontItemArray& list = GetSetListFonts();
    SetFontsLoadParams params;
    ASSERT_TRUE(StartSetFontsLoad(params, owner.hwnd, &listDocument, top, &list));
    int result = 0;
    ASSERT_TRUE(owner.WaitForDone(kWorkerSetLoad, result));
    EXPECT_EQ(result, kWorkerResultDone);
    StopWorkerThread(&params);
    EXPECT_EQ(list.GetSize(), 5);
    EXPECT_EQ(params.recordsRead.load(), 5);
    EXPECT_TRUE(GetShownSetPath().IsEqual(top));
    EXPECT_EQ(GetShownSetDocument(), &listDocument);

    // A set without a stream: the document is emptied and no set is shown.
    ASSERT_TRUE(StartSetFontsLoad(params, owner.hwnd, &listDocument, CWordArray{7}, &list));
    ASSERT_TRUE(owner.WaitForDone(kWorkerSetLoad, result));
    StopWorkerThread(&params);
    EXPECT_FALSE(listDocument.HasRoot());
    EXPECT_TRUE(GetShownSetPath().empty());
    EXPECT_EQ(list.GetSize(), 0);
    SetShownSetDocument(nullptr);
}

}  // namespace

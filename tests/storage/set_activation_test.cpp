#include <thread>

#include "core/app_messages.h"
#include "core/helpers.h"
#include "storage/app_setting_xml.h"
#include "storage/font_files_tags.h"
#include "storage/set_activation.h"
#include "font_files_test_env.h"

namespace {

struct SetSpec {
    CWordArray path;
    const wchar_t* active;    // "g", null: none
    const wchar_t* kind;      // "i", null: none
    bool withSource;          // "c"
    std::vector<std::pair<const wchar_t*, const wchar_t*>> records;  // font file, stored "c" (null: none)
};

}  // namespace

class SetActivationTest : public FontFilesTest {
protected:
    void SetUp() override
    {
        FontFilesTest::SetUp();
        // Fonts of different names: the system keeps only one font of a given name.
        const wchar_t* sources[] = {L"basic.ttf", L"cff.otf", L"dsig-truetype-outlines.ttf", L"kern-count-overflow.ttf",
                                    L"no-os2.ttf", L"mac-names-only.ttf", L"name-offset-out-of-range.ttf"};
        for (int i = 1; i <= 7; ++i) {
            std::wstring file = Path((L"f" + std::to_wstring(i) + L".ttf").c_str());
            std::wstring source = std::wstring(GLY_FIXTURE_DIR L"\\sfnt\\") + sources[i - 1];
            ASSERT_TRUE(CopyFileW(source.c_str(), file.c_str(), FALSE));
            fonts.push_back(file);
        }
        SetFontChangeBroadcastHook([this] { ++broadcasts; });
        g_appSettings.SetDataFolder(folder);
        g_appSettings.Load();
    }

    void TearDown() override
    {
        for (const std::wstring& file : fonts)
            for (int i = 0; i < 16 && RemoveFontResourceExW(file.c_str(), 0, nullptr); ++i) {
            }
        SetFontChangeBroadcastHook(nullptr);
        g_appSettings.Close();
        FontFilesTest::TearDown();
    }

    // Builds the sets in order (parents first), each with its own stream of records.
    void MakeSets(const std::vector<SetSpec>& sets)
    {
        for (const SetSpec& spec : sets) {
            CWordArray parent(spec.path.begin(), spec.path.end() - 1);
            CWordArray path = parent;
            ASSERT_EQ(tree->CreateNode(L"Set " + JoinNumberArray(spec.path, L"-"), path), spec.path.back());
            ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(tree->SelectNodeByIdPath(path));
            if (spec.active)
                tree->GetOrCreateChild(node.Get(), kTagSetActive, spec.active);
            if (spec.kind)
                tree->GetOrCreateChild(node.Get(), kTagSetActivation, spec.kind);
            if (spec.withSource)
                tree->GetOrCreateChild(node.Get(), kTagSetSource, folder.c_str());
            std::wstring name;
            CFontFilesXML::MakeSetStreamName(path, name);
            CFontFilesXML set;
            ASSERT_TRUE(set.OpenOrCreate(name, storage.Get(), TRUE, FALSE));
            for (const auto& [file, state] : spec.records) {
                CFontItemInfo record;
                record.Reset();
                record.kind = KindTrueType;
                record.storedPath = file;
                record.names[record.names.Add(1033, 3, 1)].strings[NameFamily] = L"Gly Basic";
                ComPtr<IXMLDOMNode> element;
                ASSERT_TRUE(set.AppendFontRecord(record, folder, nullptr, FALSE, element.Put()));
                if (state)
                    set.GetOrCreateChild(element.Get(), kTagLoaded, state, kFontFilesNamespace, L"a");
            }
            ASSERT_TRUE(set.SaveIfModified());
        }
    }

    // Whether the font file is loaded for all programs; leaves it as it was.
    bool IsLoaded(int n)
    {
        const std::wstring& file = fonts[n - 1];
        if (!RemoveFontResourceExW(file.c_str(), 0, nullptr))
            return false;
        AddFontResourceExW(file.c_str(), 0, nullptr);
        return true;
    }
    std::vector<int> LoadedFonts()
    {
        std::vector<int> loaded;
        for (int n = 1; n <= static_cast<int>(fonts.size()); ++n)
            if (IsLoaded(n))
                loaded.push_back(n);
        return loaded;
    }

    std::wstring RecordState(const CWordArray& path, int position)
    {
        std::wstring name;
        CFontFilesXML::MakeSetStreamName(path, name);
        CFontFilesXML set;
        if (!set.OpenOrCreate(name, storage.Get(), FALSE, TRUE))
            return L"<no stream>";
        ComPtr<IXMLDOMNode> record = ComPtr<IXMLDOMNode>::Attach(set.SelectRecordByPosition(position));
        std::wstring state;
        return XmlGetChildText(record.Get(), state, L"c", L"a") ? state : L"<none>";
    }

    std::vector<std::wstring> fonts;
    int broadcasts = 0;
};

TEST_F(SetActivationTest, SetsLeftActiveAreLoadedAtStartAndUnloadedAtExit)
{
    MakeSets({
        {{1}, nullptr, nullptr, true, {{L"f1.ttf", L"1"}}},
        {{1, 1}, L"1", L"1", true, {{L"f2.ttf", L"1"}}},
        {{1, 1, 1}, L"1", L"3", true, {{L"f3.ttf", L"1"}}},
        {{2}, nullptr, nullptr, true, {{L"f4.ttf", L"1"}}},
        {{3}, L"1", L"1", false, {{L"f5.ttf", L"1"}}},
        {{4}, L"1", L"2", true, {{L"f6.ttf", L"1"}, {L"f7.ttf", nullptr}}},
    });
    Reopen();

    // Start: the marked sets with their parents and sub-sets; not a set without a folder, not the
    // fonts of a partly active set that were not loaded. One broadcast for the whole batch.
    ASSERT_TRUE(tree->ActivateMarkedSets(FALSE));
    EXPECT_EQ(LoadedFonts(), (std::vector<int>{1, 2, 3, 6}));
    EXPECT_EQ(broadcasts, 1);
    EXPECT_EQ(NodeField({1}, L"g"), L"<none>");
    Reopen();

    // Exit with "AutoActivate" on: everything goes, the marks stay for the next start.
    ASSERT_TRUE(tree->ActivateMarkedSets(TRUE));
    EXPECT_TRUE(LoadedFonts().empty());
    EXPECT_EQ(broadcasts, 2);
    EXPECT_EQ(NodeField({1, 1}, L"g"), L"1");
    EXPECT_EQ(NodeField({1, 1, 1}, L"g"), L"1");
    EXPECT_EQ(RecordState({1, 1}, 1), L"1");
    Reopen();
    ASSERT_TRUE(tree->ActivateMarkedSets(FALSE));
    EXPECT_EQ(LoadedFonts(), (std::vector<int>{1, 2, 3, 6}));
    EXPECT_EQ(broadcasts, 3);

    // Exit with it off: every visited set and record is marked inactive; the next start loads nothing.
    g_appSettings.SetInt(L"general", L"AutoActivate", 0);
    ASSERT_TRUE(tree->ActivateMarkedSets(TRUE));
    EXPECT_TRUE(LoadedFonts().empty());
    EXPECT_EQ(broadcasts, 4);
    Reopen();
    for (const CWordArray& path : {CWordArray{1}, CWordArray{1, 1}, CWordArray{1, 1, 1}, CWordArray{4}})
        EXPECT_EQ(NodeField(path, L"g"), L"0") << JoinNumberArray(path, L"-");
    EXPECT_EQ(NodeField({3}, L"g"), L"1");
    EXPECT_EQ(RecordState({1, 1}, 1), L"0");
    EXPECT_EQ(RecordState({4}, 1), L"0");
    ASSERT_TRUE(tree->ActivateMarkedSets(FALSE));
    EXPECT_TRUE(LoadedFonts().empty());
    EXPECT_EQ(broadcasts, 4);
}

TEST_F(SetActivationTest, NothingMarkedMeansNoBroadcast)
{
    MakeSets({{{1}, L"0", L"1", true, {{L"f1.ttf", L"1"}}}});
    EXPECT_TRUE(tree->ActivateMarkedSets(FALSE));
    EXPECT_TRUE(tree->ActivateMarkedSets(TRUE));
    EXPECT_EQ(broadcasts, 0);
    EXPECT_TRUE(LoadedFonts().empty());
    CFontFilesXML empty;
    EXPECT_FALSE(empty.ActivateMarkedSets(FALSE));
}

TEST_F(SetActivationTest, UserRequestsLoadRelativesOnceAndKeepAParentWhileASiblingIsActive)
{
    MakeSets({
        {{1}, nullptr, nullptr, true, {{L"f1.ttf", nullptr}}},
        {{1, 1}, nullptr, nullptr, true, {{L"f2.ttf", nullptr}}},
        {{1, 2}, nullptr, nullptr, true, {{L"f3.ttf", nullptr}}},
    });
    // The set shown in the font list is worked on in its open document.
    CFontFilesXML shown;
    ASSERT_TRUE(shown.OpenOrCreate(L"set1-1.xml", storage.Get(), FALSE, FALSE));
    const CWordArray shownPath{1, 1};

    EXPECT_EQ(tree->ActivateSetFonts({1, 1}, &shown, &shownPath, 2, 1, TRUE, TRUE), 2);
    EXPECT_EQ(shown.CountLoadedRecords(), 1);
    EXPECT_EQ(tree->ActivateSetFonts({1, 2}, &shown, &shownPath, 2, 1, TRUE, TRUE), 1);
    EXPECT_EQ(LoadedFonts(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(NodeField({1, 1}, L"i"), L"1");
    EXPECT_EQ(NodeField({1}, L"g"), L"1");
    EXPECT_EQ(NodeField({1}, L"i"), L"3");

    EXPECT_EQ(tree->DeactivateSetFonts({1, 1}, &shown, &shownPath, 2, 1, FALSE, TRUE, TRUE), 1);
    EXPECT_EQ(NodeField({1, 1}, L"g"), L"0");
    EXPECT_EQ(NodeField({1}, L"g"), L"1");
    EXPECT_EQ(LoadedFonts(), (std::vector<int>{1, 3}));

    EXPECT_EQ(tree->DeactivateSetFonts({1, 2}, nullptr, nullptr, 2, 1, FALSE, TRUE, TRUE), 2);
    EXPECT_EQ(NodeField({1}, L"g"), L"0");
    EXPECT_TRUE(LoadedFonts().empty());
    Reopen();
    for (const CWordArray& path : {CWordArray{1}, CWordArray{1, 1}, CWordArray{1, 2}})
        EXPECT_EQ(RecordState(path, 1), L"0") << JoinNumberArray(path, L"-");
    // User requests leave the broadcast to their caller.
    EXPECT_EQ(broadcasts, 0);
}

TEST_F(SetActivationTest, DeletingAnActiveSetUnloadsItsFonts)
{
    MakeSets({
        {{1}, nullptr, nullptr, true, {{L"f1.ttf", nullptr}}},
        {{1, 1}, nullptr, nullptr, true, {{L"f2.ttf", nullptr}}},
        {{2}, nullptr, nullptr, true, {{L"f3.ttf", nullptr}}},
    });
    EXPECT_EQ(tree->ActivateSetFonts({1}, nullptr, nullptr, 2, 1, TRUE, TRUE), 2);
    EXPECT_EQ(tree->ActivateSetFonts({2}, nullptr, nullptr, 2, 1, TRUE, TRUE), 1);
    EXPECT_TRUE(tree->DeleteNode({1}, storage.Get(), nullptr, nullptr));
    EXPECT_EQ(LoadedFonts(), (std::vector<int>{3}));
    EXPECT_FALSE(StreamExists(L"set1.xml"));
    EXPECT_FALSE(StreamExists(L"set1-1.xml"));
}

TEST_F(SetActivationTest, MissingPiecesAndCancelStopTheWork)
{
    MakeSets({
        {{1}, nullptr, nullptr, false, {{L"f1.ttf", nullptr}}},
        {{2}, nullptr, nullptr, true, {{L"f2.ttf", nullptr}}},
        {{3}, nullptr, nullptr, true, {}},
    });
    storage->DestroyElement(L"set3.xml");
    EXPECT_EQ(tree->ActivateSetFonts({1}, nullptr, nullptr, 2, 1, TRUE, TRUE), 0);
    EXPECT_EQ(NodeField({1}, L"g"), L"<none>");
    EXPECT_EQ(tree->ActivateSetFonts({3}, nullptr, nullptr, 2, 1, TRUE, TRUE), 0);
    EXPECT_EQ(NodeField({3}, L"g"), L"<none>");
    EXPECT_EQ(tree->ActivateSetFonts({9}, nullptr, nullptr, 2, 1, TRUE, TRUE), 0);
    tree->cancelActivation = TRUE;
    EXPECT_EQ(tree->ActivateSetFonts({2}, nullptr, nullptr, 2, 1, TRUE, TRUE), 0);
    EXPECT_TRUE(LoadedFonts().empty());
}

TEST_F(SetActivationTest, AWorkerNeverWaitsForTheThreadThatShowsItsProgress)
{
    MakeSets({{{1}, nullptr, nullptr, true, {{L"f1.ttf", nullptr}, {L"f2.ttf", nullptr}, {L"f3.ttf", nullptr}}}});
    FontOpProgressLog progress;
    const std::vector<std::wstring>& seen = progress.seen;
    HWND window = progress.window;
    ASSERT_TRUE(window);
    tree->progressWindow = window;

    int loaded = -1;
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread worker([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        loaded = tree->ActivateSetFonts({1}, nullptr, nullptr, 2, 1, TRUE, TRUE);
        CoUninitialize();
        SetEvent(done);
    });
    // This thread waits without dispatching messages, holding the set file's lock now and then,
    // as the user-interface thread may. A worker that sent its progress would never finish.
    DWORD waited = WAIT_TIMEOUT;
    for (int round = 0; round < 600 && waited == WAIT_TIMEOUT; ++round) {
        {
            CSetFileLock lock;
            tree->IsNodeActive({1});
        }
        waited = WaitForSingleObject(done, 100);
    }
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the worker is stuck";
    worker.join();
    CloseHandle(done);
    EXPECT_EQ(loaded, 3);

    MSG message;
    while (PeekMessageW(&message, window, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    ASSERT_EQ(seen.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(seen[i], L"Gly Basic|" + fonts[i]);
}

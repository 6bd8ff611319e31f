#include <atomic>
#include <set>
#include <functional>
#include <memory>

#include "core/app_messages.h"
#include "core/sfnt_reader.h"
#include "storage/com_ptr.h"
#include "storage/font_files_xml.h"
#include "storage/set_file.h"
#include "storage/set_font_adder.h"
#include "storage/set_records.h"
#include "font_files_test_env.h"

namespace {

const std::wstring kFixtures = GLY_FIXTURE_DIR L"\\sets\\";

// A message-only window that records the set-filling progress it receives and can cancel the
// addition at the n-th message.
struct ProgressRecorder {
    struct Entry {
        std::wstring family;
        std::wstring path;
    };
    std::vector<Entry> entries;
    CFontFilesXML* document = nullptr;
    size_t cancelAt = 0;  // 0: never
    HWND window = nullptr;

    ProgressRecorder()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"GlySetFillProgressTest";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~ProgressRecorder() { DestroyWindow(window); }

    void Pump()
    {
        MSG msg;
        while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<ProgressRecorder*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == WM_SET_FILL_PROGRESS) {
            self->entries.push_back({reinterpret_cast<const wchar_t*>(wParam), reinterpret_cast<const wchar_t*>(lParam)});
            if (self->document && self->entries.size() == self->cancelAt)
                self->document->cancelAddition = TRUE;
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};

class SetFontAdderTest : public SetDocumentTest {
protected:
    void Copy(const wchar_t* fixture, const std::wstring& to)
    {
        ASSERT_TRUE(CopyFileW((kFixtures + fixture).c_str(), to.c_str(), FALSE)) << fixture;
    }

    // The records as they now stand in the set file on disk (the storage is closed for that).
    std::vector<CFontItemInfo> RecordsOnDisk()
    {
        document().OpenOrCreate(L"", nullptr, FALSE, FALSE);
        storage.Reset();
        std::vector<CFontItemInfo> out;
        BOOL readOnly = FALSE;
        EXPECT_TRUE(OpenCompoundFile(setFile, storage.Put(), readOnly, FALSE));
        CFontFilesXML reread;
        if (reread.OpenOrCreate(L"set1.xml", storage.Get(), FALSE, FALSE)) {
            CFontItemArray list;
            int count = 0;
            ReadSetRecords(reread, list, count);
            out.assign(list.begin(), list.end());
        }
        return out;
    }
};

TEST_F(SetFontAdderTest, CollectionGivesEveryFaceOnceThenDuplicates)
{
    Copy(L"trio.ttc", Path(L"trio.ttc"));
    int duplicates = -1, files = 0, current = -1;
    EXPECT_EQ(AddFontFiles(document(), folder, folder, {L"trio.ttc"}, duplicates, &files, &current), 3);
    EXPECT_EQ(duplicates, 0);
    EXPECT_EQ(files, 1);
    EXPECT_EQ(current, 0);
    EXPECT_FALSE(document().IsModified());  // saved

    EXPECT_EQ(AddFontFiles(document(), folder, folder, {L"trio.ttc"}, duplicates), 3);
    EXPECT_EQ(duplicates, 3);
    EXPECT_EQ(document().CountRecords(), 3);

    std::vector<CFontItemInfo> stored = RecordsOnDisk();
    ASSERT_EQ(stored.size(), 3u);
    std::set<std::wstring> fullNames;
    for (const CFontItemInfo& record : stored) {
        fullNames.insert(record.GetName(NameFull));
        EXPECT_EQ(record.storedPath, L"trio.ttc");
        EXPECT_TRUE(record.baseFolder.empty());
    }
    EXPECT_EQ(fullNames, (std::set<std::wstring>{L"Gly Trio Regular", L"Gly Trio Bold", L"Gly Trio Italic"}));
}

TEST_F(SetFontAdderTest, DuplicatesAreTheSameFileAndNamesIgnoringCase)
{
    Copy(L"solo.ttf", Path(L"solo.ttf"));
    ASSERT_TRUE(CreateDirectoryW(Path(L"Other").c_str(), nullptr));
    Copy(L"solo.ttf", Path(L"Other\\solo.ttf"));

    // One call: the second name is the same file by another case, found by the call's own index.
    int duplicates = 0;
    EXPECT_EQ(AddFontFiles(document(), folder, folder, {L"solo.ttf", L"SOLO.TTF"}, duplicates), 2);
    EXPECT_EQ(duplicates, 1);
    // A later call finds it in the document.
    EXPECT_EQ(AddFontFiles(document(), folder, folder, {L"solo.ttf"}, duplicates), 1);
    EXPECT_EQ(duplicates, 1);
    // The same family and full name in another folder is another font file.
    EXPECT_EQ(AddFontFiles(document(), folder, folder, {L"Other\\solo.ttf"}, duplicates), 1);
    EXPECT_EQ(duplicates, 0);
    EXPECT_EQ(document().CountRecords(), 2);

    // The single-record test agrees with the index.
    CFontItemArray records;
    ASSERT_TRUE(ReadFontFileByExtension(folder, L"solo.ttf", folder, records));
    EXPECT_TRUE(FindDuplicateRecord(document(), records[0], folder.c_str(), folder));
    records[0].names[records[0].defaultNames].strings[NameFull] = L"Gly Solo Other";
    EXPECT_FALSE(FindDuplicateRecord(document(), records[0], folder.c_str(), folder));
    int dup = 0;
    EXPECT_TRUE(AddFontFile(document(), records[0], folder, folder.c_str(), dup, FALSE));
    EXPECT_EQ(dup, 0);
    EXPECT_EQ(document().CountRecords(), 3);
}

TEST_F(SetFontAdderTest, ReaderChosenByExtensionIgnoringCase)
{
    Copy(L"solo.ttf", Path(L"upper.TTF"));
    Copy(L"solo.ttf", Path(L"outline.otf"));
    Copy(L"solo.ttf", Path(L"type1.pfb"));
    Copy(L"solo.ttf", Path(L"noext"));
    Copy(L"trio.ttc", Path(L"Trio.TtC"));
    Copy(L"..\\bitmap\\bmp-v3-device.fnt", Path(L"device.FNT"));
    Copy(L"..\\bitmap\\bmp-two-families.fon", Path(L"two.fon"));
    Copy(L"..\\type1\\GlyHand.pfm", Path(L"GlyHand.pfm"));
    Copy(L"..\\type1\\GlyHand.pfb", Path(L"GlyHand.pfb"));
    const struct {
        const wchar_t* name;
        int records;
    } cases[] = {
        {L"upper.TTF", 1}, {L"outline.otf", 1}, {L"Trio.TtC", 3}, {L"device.FNT", 1}, {L"two.fon", 2},
        {L"GlyHand.pfm", 1}, {L"type1.pfb", 0}, {L"noext", 0}, {L"missing.ttf", 0},
    };
    for (const auto& c : cases) {
        CFontItemArray records;
        EXPECT_EQ(ReadFontFileByExtension(folder, c.name, folder, records), c.records > 0 ? TRUE : FALSE) << c.name;
        EXPECT_EQ(records.GetSize(), c.records) << c.name;
    }
    int duplicates = 0;
    EXPECT_EQ(AddFontFiles(document(), folder, folder, {L"type1.pfb", L"noext", L"missing.ttf"}, duplicates), 0);
    EXPECT_EQ(document().CountRecords(), 0);

    // A Type 1 font is stored as its pair of files.
    EXPECT_EQ(AddFontFiles(document(), folder, folder, {L"GlyHand.pfm"}, duplicates), 1);
    std::vector<CFontItemInfo> stored = RecordsOnDisk();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(_wcsicmp(stored[0].storedPath.c_str(), L"GlyHand.pfm | GlyHand.pfb"), 0) << stored[0].storedPath;
    EXPECT_EQ(BaseKind(stored[0].kind), int(KindType1));
}

TEST_F(SetFontAdderTest, StoredFolderIsRelativeToTheSetFolder)
{
    ASSERT_TRUE(CreateDirectoryW(Path(L"Sans").c_str(), nullptr));
    const std::wstring other = folder + L"Other";  // a sibling folder whose name begins like the set folder
    RemoveTree(other);
    ASSERT_TRUE(CreateDirectoryW(other.c_str(), nullptr));
    Copy(L"solo.ttf", Path(L"top.ttf"));
    Copy(L"solo.ttf", Path(L"Sans\\sub.ttf"));
    Copy(L"solo.ttf", other + L"\\far.ttf");
    std::wstring upperSet = folder;
    for (wchar_t& c : upperSet)
        c = static_cast<wchar_t>(towupper(c));

    const struct {
        std::wstring setFolder;
        std::wstring name;
        std::wstring expected;
    } cases[] = {
        {folder, L"top.ttf", L""},
        {folder + L"\\", L"top.ttf", L""},  // a trailing backslash on the set folder
        {upperSet, L"Sans\\sub.ttf", L".\\Sans"},
        {folder, other + L"\\far.ttf", other},
        {L"", L"top.ttf", folder},  // no set folder: the whole folder, or the file could not be found again
    };
    for (const auto& c : cases) {
        CFontItemArray records;
        ASSERT_TRUE(ReadFontFileByExtension(folder, c.name, c.setFolder, records)) << c.name;
        EXPECT_EQ(records[0].baseFolder, c.expected) << c.name << L" in " << c.setFolder;
        EXPECT_EQ(records[0].storedPath, records[0].path);
    }

    int duplicates = 0;
    EXPECT_EQ(AddFontFiles(document(), folder, folder, {L"top.ttf", L"Sans\\sub.ttf", other + L"\\far.ttf"}, duplicates), 3);
    // A file named with a subfolder is found again as the file it is, not as a file of the top folder.
    EXPECT_EQ(AddFontFiles(document(), folder, folder, {L"Sans\\sub.ttf", L"SANS\\SUB.TTF"}, duplicates), 2);
    EXPECT_EQ(duplicates, 2);
    CFontItemArray list;
    int count = 0;
    ASSERT_TRUE(ReadSetRecords(document(), list, count));
    std::set<std::wstring> found;
    for (const CFontItemInfo& record : list) {
        std::wstring file;
        record.GetFilePath(file, true);
        found.insert(CombinePath(CombinePath(file, record.baseFolder), folder));
    }
    EXPECT_EQ(found, (std::set<std::wstring>{Path(L"top.ttf"), Path(L"Sans\\sub.ttf"), other + L"\\far.ttf"}));
    RemoveTree(other);
}

TEST_F(SetFontAdderTest, CancelAfterTheFirstFileKeepsAndSavesIt)
{
    CStringArray names;
    for (int i = 0; i < 10; ++i) {
        names.push_back(L"copy" + std::to_wstring(i) + L".ttf");
        Copy(L"solo.ttf", Path(names.back().c_str()));
    }
    ProgressRecorder progress;
    progress.document = &document();
    progress.cancelAt = 1;  // the user cancels while the first file's face is shown
    document().progressWindow = progress.window;
    int duplicates = 0, current = -1;
    EXPECT_EQ(AddFontFiles(document(), folder, folder, names, duplicates, nullptr, &current), 1);
    EXPECT_EQ(current, 0);
    ASSERT_EQ(progress.entries.size(), 1u);
    EXPECT_EQ(progress.entries[0].family, L"Gly Solo");
    EXPECT_EQ(progress.entries[0].path, L"copy0.ttf");

    std::vector<CFontItemInfo> stored = RecordsOnDisk();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].storedPath, L"copy0.ttf");
}

TEST_F(SetFontAdderTest, ProgressToAnotherThreadNeverWaitsForIt)
{
    // The window's thread waits for the worker without pumping messages, as a user-interface
    // thread stopping a worker does; a worker that sent its progress would hang here.
    Copy(L"trio.ttc", Path(L"trio.ttc"));
    ProgressRecorder progress;
    std::atomic<int> result{-1};
    IStorage* shared = storage.Get();
    document().OpenOrCreate(L"", nullptr, FALSE, FALSE);
    const std::wstring files = folder;
    std::function<void()> work = [&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
            CFontFilesXML own;
            if (own.OpenOrCreate(L"set1.xml", shared, TRUE, FALSE)) {
                own.progressWindow = progress.window;
                int duplicates = 0;
                result = AddFontFiles(own, files, files, {L"trio.ttc"}, duplicates);
            }
        }
        CoUninitialize();
    };
    HANDLE thread = CreateThread(nullptr, 0, [](void* p) -> DWORD { (*static_cast<std::function<void()>*>(p))(); return 0; },
                                 &work, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    const DWORD waited = WaitForSingleObject(thread, 20000);
    EXPECT_EQ(waited, WAIT_OBJECT_0);
    while (WaitForSingleObject(thread, 10) == WAIT_TIMEOUT)  // free a hung worker before going on
        progress.Pump();
    CloseHandle(thread);
    EXPECT_EQ(result, 3);

    progress.Pump();
    ASSERT_EQ(progress.entries.size(), 3u);
    for (const auto& entry : progress.entries) {
        EXPECT_EQ(entry.family, L"Gly Trio");
        EXPECT_EQ(entry.path, L"trio.ttc");
    }
}

TEST_F(SetFontAdderTest, NothingReportedAddedWhenItCannotBeSaved)
{
    Copy(L"trio.ttc", Path(L"trio.ttc"));
    Copy(L"solo.ttf", Path(L"solo.ttf"));
    int duplicates = 0;
    ASSERT_EQ(AddFontFiles(document(), folder, folder, {L"solo.ttf"}, duplicates), 1);

    document().readOnly = TRUE;  // a set file opened read-only is never written
    EXPECT_EQ(AddFontFiles(document(), folder, folder, {L"trio.ttc"}, duplicates), 0);
    EXPECT_EQ(duplicates, 0);
    // Faces that are all in the set already need no save and are still reported as found.
    document().readOnly = FALSE;
    document().OpenOrCreate(L"set1.xml", storage.Get(), FALSE, TRUE);
    EXPECT_EQ(AddFontFiles(document(), folder, folder, {L"solo.ttf"}, duplicates), 1);
    EXPECT_EQ(duplicates, 1);
    EXPECT_EQ(RecordsOnDisk().size(), 1u);
}

TEST_F(SetFontAdderTest, NoDocumentNoRecords)
{
    Copy(L"solo.ttf", Path(L"solo.ttf"));
    CFontFilesXML empty;
    int duplicates = 0;
    EXPECT_EQ(AddFontFiles(empty, folder, folder, {L"solo.ttf"}, duplicates), 0);
    CFontItemArray records;
    ASSERT_TRUE(ReadFontFileByExtension(folder, L"solo.ttf", folder, records));
    EXPECT_FALSE(AddFontFile(empty, records[0], folder, folder.c_str(), duplicates, FALSE));
    EXPECT_FALSE(FindDuplicateRecord(empty, records[0], folder.c_str(), folder));
}

}  // namespace

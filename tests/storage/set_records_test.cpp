#include <functional>
#include <memory>

#include "storage/com_ptr.h"
#include "storage/font_files_tags.h"
#include "storage/font_files_xml.h"
#include "storage/set_activation.h"
#include "storage/set_file.h"
#include "storage/set_font_adder.h"
#include "storage/set_records.h"
#include "font_files_test_env.h"

namespace {

CFontItemInfo MakeRecord(const std::wstring& family, const std::wstring& file)
{
    CFontItemInfo record;
    record.kind = KindTrueType;
    record.language = 1033;
    const int set = record.names.Add(1033, 3, 1);
    record.defaultNames = set;
    record.names[set].strings[NameFamily] = family;
    record.names[set].strings[NameFull] = family + L" Regular";
    record.path = file;
    record.storedPath = file;
    record.fileSize = 1000;
    return record;
}

class SetRecordsTest : public SetDocumentTest {
protected:
    void SetUp() override
    {
        SetDocumentTest::SetUp();
        SetFontChangeBroadcastHook([this] { ++broadcasts; });
    }
    void TearDown() override
    {
        SetFontChangeBroadcastHook(nullptr);
        SetDocumentTest::TearDown();
    }

    // Records "A" to "E" in files a.ttf to e.ttf, saved.
    void AddFive()
    {
        int duplicates = 0;
        for (wchar_t c = L'A'; c <= L'E'; ++c) {
            CFontItemInfo record = MakeRecord(std::wstring(L"Family ") + c, std::wstring(1, wchar_t(towlower(c))) + L".ttf");
            ASSERT_TRUE(AddFontFile(document(), record, folder, folder.c_str(), duplicates, FALSE));
        }
        ASSERT_EQ(duplicates, 0);
        ASSERT_TRUE(document().SaveIfModified());
    }

    // The families of the document's records in document order.
    std::vector<std::wstring> Families(CFontFilesXML& doc)
    {
        std::vector<std::wstring> out;
        for (int position = 1;; ++position) {
            ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(doc.SelectRecordByPosition(position));
            if (!node)
                break;
            CFontItemInfo record;
            CFontFilesXML::ReadFontRecord(node.Get(), record, position);
            out.push_back(record.GetName(NameFamily));
        }
        return out;
    }

    int broadcasts = 0;
};

TEST_F(SetRecordsTest, ReadsEveryRecordWithItsDocumentPosition)
{
    AddFive();
    CFontItemArray list;
    list.EnableLock(TRUE);  // as when the view shows the list while it fills
    PreviewImageCache cache;
    list.previewCache = &cache;
    list.Add(MakeRecord(L"Left over", L"old.ttf"));

    // One large record goes into the preview queue.
    ComPtr<IXMLDOMNode> third = ComPtr<IXMLDOMNode>::Attach(document().SelectRecordByPosition(3));
    ASSERT_TRUE(third);
    ASSERT_TRUE(document().GetOrCreateChild(third.Get(), kTagFileSize, L"900000", kFontFilesNamespace, L"a"));

    int count = -1;
    ASSERT_TRUE(ReadSetRecords(document(), list, count));
    EXPECT_EQ(count, 5);
    ASSERT_EQ(list.GetSize(), 5);
    for (const CFontItemInfo& record : list) {
        // "Family A" is the first record, "Family E" the fifth.
        const int expected = record.GetName(NameFamily).back() - L'A' + 1;
        EXPECT_EQ(record.setEntryId, expected);
        EXPECT_EQ(record.itemId, expected - 1);
    }
    ASSERT_EQ(cache.renderAhead.size(), 1u);
    const CCacheFontImageIndexItem& queued = cache.renderAhead.front();
    EXPECT_EQ(queued.itemId, 2);
    EXPECT_EQ(queued.imageSlot, 0u);
    ASSERT_NE(list.GetAt(queued.index), nullptr);
    list.previewCache = nullptr;
    list.EnableLock(FALSE);
}

TEST_F(SetRecordsTest, EmptySetOrNoDocumentGivesAnEmptyList)
{
    CFontItemArray list;
    list.Add(MakeRecord(L"Left over", L"old.ttf"));
    int count = -1;
    EXPECT_FALSE(ReadSetRecords(document(), list, count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(list.GetSize(), 0);

    CFontFilesXML none;
    list.Add(MakeRecord(L"Left over", L"old.ttf"));
    EXPECT_FALSE(ReadSetRecords(none, list, count));
    EXPECT_EQ(list.GetSize(), 0);
    BOOL unloaded = TRUE;
    EXPECT_FALSE(RemoveFontRecords(none, {1}, folder, unloaded));
    EXPECT_FALSE(unloaded);
}

TEST_F(SetRecordsTest, RemovesByPositionsAsTheyStoodBeforeTheCall)
{
    AddFive();
    BOOL unloaded = TRUE;
    // 0 and 99 select nothing; 3 given twice removes one record.
    EXPECT_TRUE(RemoveFontRecords(document(), {2, 3, 0, 99, 3}, folder, unloaded));
    EXPECT_FALSE(unloaded);
    EXPECT_EQ(broadcasts, 0);  // nothing was loaded
    EXPECT_EQ(Families(document()), (std::vector<std::wstring>{L"Family A", L"Family D", L"Family E"}));
    EXPECT_FALSE(document().IsModified());

    // Saved: a new document over the same stream sees the same three.
    CFontFilesXML reread;
    ASSERT_TRUE(reread.OpenOrCreate(L"set1.xml", storage.Get(), FALSE, FALSE));
    EXPECT_EQ(Families(reread), (std::vector<std::wstring>{L"Family A", L"Family D", L"Family E"}));

    EXPECT_FALSE(RemoveFontRecords(document(), {7}, folder, unloaded));
    EXPECT_FALSE(RemoveFontRecords(document(), {}, folder, unloaded));
    EXPECT_EQ(document().CountRecords(), 3);
}

TEST_F(SetRecordsTest, RemovingALoadedRecordUnloadsItAndTellsOnce)
{
    ASSERT_TRUE(CopyFileW(GLY_FIXTURE_DIR L"\\sets\\solo.ttf", Path(L"solo.ttf").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(GLY_FIXTURE_DIR L"\\sets\\trio.ttc", Path(L"trio.ttc").c_str(), FALSE));
    int duplicates = 0;
    ASSERT_EQ(AddFontFiles(document(), folder, folder, {L"solo.ttf", L"trio.ttc"}, duplicates), 4);
    ASSERT_FALSE(gly_test::FaceIsLoaded(L"Gly Solo"));
    ComPtr<IXMLDOMNode> first = ComPtr<IXMLDOMNode>::Attach(document().SelectRecordByPosition(1));
    ASSERT_TRUE(document().ActivateFontRecord(first.Get(), TRUE, 2, 2, folder, FALSE));
    ASSERT_TRUE(gly_test::FaceIsLoaded(L"Gly Solo"));

    BOOL unloaded = FALSE;
    EXPECT_TRUE(RemoveFontRecords(document(), {1, 2}, folder, unloaded));
    EXPECT_TRUE(unloaded);
    EXPECT_EQ(broadcasts, 1);
    EXPECT_FALSE(gly_test::FaceIsLoaded(L"Gly Solo"));
    EXPECT_EQ(document().CountRecords(), 2);
}

}  // namespace

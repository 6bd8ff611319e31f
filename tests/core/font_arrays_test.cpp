#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/font_arrays.h"
#include "core/loaded_fonts.h"
#include "core/resource_strings.h"
#include "test_support.h"

namespace {

CFontItemInfo MakeRecord(const std::wstring& family, const std::wstring& full = L"", const std::wstring& postScript = L"", int itemId = -1)
{
    CFontItemInfo r = core_test::NamedRecord(family, full, postScript);
    r.itemId = itemId;
    return r;
}

std::wstring Family(const CFontItemInfo& r) { return r.GetName(NameFamily, -1); }

bool IsSorted(const CFontItemArray& a)
{
    for (int i = 0; i + 1 < a.GetSize(); ++i) {
        if (CompareFontItems(a[i], a[i + 1], a.sortColumn) > 0)
            return false;
    }
    return true;
}

}  // namespace

TEST(FontItemArray, InsertSortedNeverGoesBeforeTheFirstEqualRecord)
{
    // Arrays of families and the family inserted; single, double and triple runs of equals at every place.
    const std::vector<std::pair<std::vector<std::wstring>, std::wstring>> cases = {
        {{}, L"M"},
        {{L"M"}, L"M"},
        {{L"M", L"M"}, L"M"},
        {{L"M", L"M", L"M"}, L"M"},
        {{L"A", L"B", L"M"}, L"M"},
        {{L"A", L"M", L"M", L"Z"}, L"M"},
        {{L"M", L"N", L"O", L"P", L"Q"}, L"M"},
        {{L"A", L"B", L"C", L"D", L"E", L"F"}, L"F"},
        {{L"A", L"B", L"C", L"D", L"E", L"F"}, L"Ex"},
        {{L"B", L"C"}, L"A"},
        {{L"B", L"C"}, L"D"},
    };
    for (const auto& [families, inserted] : cases) {
        CFontItemArray a;
        for (size_t i = 0; i < families.size(); ++i)
            a.Add(MakeRecord(families[i], L"", L"", static_cast<int>(i)));
        int firstEqual = -1;
        for (int i = 0; i < a.GetSize() && firstEqual < 0; ++i) {
            if (Family(a[i]) == inserted)
                firstEqual = i;
        }
        const int pos = a.InsertSorted(MakeRecord(inserted, L"", L"", 99));
        ASSERT_EQ(a.GetSize(), static_cast<int>(families.size()) + 1);
        EXPECT_EQ(a[pos].itemId, 99);
        EXPECT_TRUE(IsSorted(a)) << "inserting " << std::string(inserted.begin(), inserted.end());
        if (firstEqual >= 0) {
            EXPECT_GT(pos, firstEqual) << "inserted before the first equal record, size " << families.size();
        }
    }
}

TEST(FontItemArray, SortOrdersByColumnAndQueuesLargeFontsForPreview)
{
    CFontItemArray a;
    a.Add(MakeRecord(L"Charlie", L"", L"", 10));
    a.Add(MakeRecord(L"alpha", L"", L"", 11));
    a.Add(MakeRecord(L"Bravo", L"", L"", 12));
    a[0].kerningPairs = 3000;    // large by kerning
    a[2].fileSize = 0x80001;     // large by size
    PreviewImageCache cache;
    cache.renderAhead.push_back({5, 5, 5});
    a.previewCache = &cache;
    a.sortColumn = 0;
    a.Sort();
    ASSERT_EQ(a.GetSize(), 3);
    EXPECT_EQ(Family(a[0]), L"alpha");
    EXPECT_EQ(Family(a[1]), L"Bravo");
    EXPECT_EQ(Family(a[2]), L"Charlie");
    EXPECT_EQ(GetFontSortColumn(), 0);
    ASSERT_EQ(cache.renderAhead.size(), 2u);
    EXPECT_EQ(cache.renderAhead.front().index, 1);
    EXPECT_EQ(cache.renderAhead.front().itemId, 12);
    EXPECT_EQ(cache.renderAhead.back().index, 2);
    EXPECT_EQ(cache.renderAhead.back().itemId, 10);
    EXPECT_EQ(cache.renderAhead.back().imageSlot, 0u);

    a.sortColumn = 11;  // kerning pairs
    a.Sort();
    EXPECT_EQ(GetFontSortColumn(), 11);
    EXPECT_EQ(a[2].itemId, 10);
}

TEST(FontItemArray, CheckMarksKeepTheirCountAndNeverGoBelowZero)
{
    CFontItemArray a;
    for (int i = 0; i < 4; ++i)
        a.Add(MakeRecord(L"F", L"", L"", i));
    a.SetChecked(7, true);
    a.SetChecked(-1, true);
    a.ToggleChecked(4);
    EXPECT_EQ(a.markedCount, 0);
    a.SetChecked(1, false);  // already clear
    EXPECT_EQ(a.markedCount, 0);
    EXPECT_EQ(a.GetFirstChecked(), -1);

    a.SetChecked(2, true);
    a.SetChecked(2, true);  // already set: counted once
    a.ToggleChecked(3);
    EXPECT_EQ(a.markedCount, 2);
    a.EnableLock(TRUE);
    EXPECT_EQ(a.GetFirstChecked(), 2);
    CDWordArray checked{42};
    a.GetCheckedIndices(checked);
    EXPECT_EQ(checked, (CDWordArray{2, 3}));
    a.EnableLock(FALSE);
    a.ToggleChecked(3);
    a.SetChecked(2, false);
    a.SetChecked(2, false);
    EXPECT_EQ(a.markedCount, 0);

    a.CheckAll(true);
    EXPECT_EQ(a.markedCount, 4);
    a.CheckAll(false);
    EXPECT_EQ(a.markedCount, 0);
    a.GetCheckedIndices(checked);
    EXPECT_TRUE(checked.empty());
}

TEST(FontItemArray, FindsRecordsByItemIdAndSetEntryId)
{
    CFontItemArray a;
    for (int i = 0; i < 3; ++i) {
        a.Add(MakeRecord(L"F", L"", L"", 100 + i));
        a[i].setEntryId = 7 - i;
    }
    a.Add(MakeRecord(L"G", L"", L"", 101));  // a second record with an id: the first wins
    EXPECT_EQ(a.FindByItemId(101), 1);
    EXPECT_EQ(a.FindByItemId(5), -1);
    EXPECT_EQ(a.FindBySetEntryId(5), 2);
    EXPECT_EQ(a.FindBySetEntryId(-2), -1);
}

TEST(FontItemArray, StatusTextShowsTheCounts)
{
    gly_test::LocaleResources resources;
    ASSERT_NE(resources.Module(), nullptr);
    CFontItemArray a;
    a.Add(MakeRecord(L"F"));
    a.Add(MakeRecord(L"G"));
    a.SetChecked(1, true);
    int marked = -1;
    const std::wstring plain = a.GetStatusText(marked);
    EXPECT_EQ(marked, 1);
    EXPECT_EQ(plain, FormatString(LoadResString(593).c_str(), 2, 1));
    a.countA = 5;
    a.countB = 9;
    EXPECT_EQ(a.GetStatusText(marked), FormatString(LoadResString(611).c_str(), 2, 5, 9, 1));
    EXPECT_NE(plain.find(L'2'), std::wstring::npos);
}

TEST(FontItemArray, ImageCacheFolderAndReset)
{
    CFontItemArray a;
    a.cacheFolder = L"unchanged";
    SetTempWorkFolder(L"");
    a.SetImageCacheFolder(3);
    EXPECT_EQ(a.cacheIndex, 3);
    EXPECT_EQ(a.cacheFolder, L"unchanged");

    {
        const core_test::TempFolder temp(L"gly_arrays_test");
        const std::wstring work = temp.Path() + L"\\";
        SetTempWorkFolder(work);
        a.SetImageCacheFolder(4);
        EXPECT_EQ(a.cacheFolder, work + L"cache4\\");
        EXPECT_NE(GetFileAttributesW(a.cacheFolder.c_str()), INVALID_FILE_ATTRIBUTES);
        SetTempWorkFolder(L"");
    }

    a.Add(MakeRecord(L"F"));
    a[0].imageIndex = 6;
    a.ResetImageCache(L"no cache", 0, 20, 0);  // without a cache nothing changes
    EXPECT_EQ(a[0].imageIndex, 6);
    PreviewImageCache cache;
    a.previewCache = &cache;
    a.ResetImageCache(L"Sample", 0, 24, 0);
    EXPECT_EQ(a[0].imageIndex, -1);
    EXPECT_EQ(cache.sampleText, L"Sample");
    EXPECT_EQ(cache.pixelHeight, 24);
    EXPECT_EQ(cache.mode, 0);
    EXPECT_EQ(cache.fixedWidth, 0);
    EXPECT_TRUE(cache.resetFlag);
    a.ResetImageCache(L"Other", 1, -1, 300);  // -1 keeps the pixel height
    EXPECT_EQ(cache.pixelHeight, 24);
    EXPECT_EQ(cache.fixedWidth, 300);
    EXPECT_FALSE(a.IsLockEnabled());
}

TEST(FontItemArray, SetAtGrowAndCollections)
{
    CFontItemArray a;
    a.SetAtGrow(2, MakeRecord(L"Third", L"", L"", 3));
    ASSERT_EQ(a.GetSize(), 3);
    EXPECT_EQ(a[2].itemId, 3);
    EXPECT_EQ(a[0].itemId, -1);
    EXPECT_EQ(a.nextCollectionId, 0);
    EXPECT_TRUE(a.collections.empty());
}

TEST(DBFoundFontItemArray, OrdersHitsBySetThenFullName)
{
    CDBFoundItem inSetB, inSetA, inSetA2, noSet;
    inSetB.setNumber = 1;
    inSetB.setName = L"beta";
    inSetB.record = MakeRecord(L"F", L"Zeta");
    inSetA.setNumber = 2;
    inSetA.setName = L"Alpha";
    inSetA.record = MakeRecord(L"F", L"Omega");
    inSetA2 = inSetA;
    inSetA2.record = MakeRecord(L"F", L"Eta");
    noSet.record = MakeRecord(L"F", L"Alpha");
    EXPECT_EQ(CompareDBFoundItems(noSet, inSetA, 18), 1);
    EXPECT_EQ(CompareDBFoundItems(inSetA, noSet, 18), -1);
    EXPECT_EQ(CompareDBFoundItems(inSetA, inSetB, 18), -1);
    EXPECT_EQ(CompareDBFoundItems(inSetA, inSetA2, 18), 1);   // same set: by full name
    EXPECT_EQ(CompareDBFoundItems(inSetB, inSetA, 1), 1);     // other columns: by record
    EXPECT_EQ(CompareDBFoundItems(inSetB, inSetA, 255), 0);

    CDBFoundFontItemArray hits;
    hits.EnableLock(TRUE);
    hits.Lock();
    hits.Add(inSetA);
    hits.Add(noSet);
    hits.Unlock();
    hits.EnableLock(FALSE);
    EXPECT_EQ(hits.GetSize(), 2);
    EXPECT_EQ(hits[0].setName, L"Alpha");
    EXPECT_EQ(hits[1].setNumber, -1);
    hits.SetSize(0);
    EXPECT_EQ(hits.GetSize(), 0);
}

TEST(GLYLoadedFonts, AddSortedKeepsFamiliesInOrder)
{
    CFontArrayGLYLoaded list;
    for (const wchar_t* family : {L"Mango", L"Apple", L"Zucchini", L"Mango", L"Kiwi"})
        list.AddSorted(CFontItemGLYLoaded(family, family, family, L"C:\\f.ttf", KindTrueType));
    ASSERT_EQ(list.GetSize(), 5);
    for (int i = 0; i + 1 < list.GetSize(); ++i)
        EXPECT_LE(CompareLocale(list[i].family, list[i + 1].family, false), 0);
    EXPECT_EQ(list[0].mark, 1);
    EXPECT_EQ(list[0].publicLoad, 1);
    EXPECT_EQ(CFontItemGLYLoaded().kind, -1);
}

TEST(GLYLoadedFonts, FindIsAPureLookUpForEveryKind)
{
    CFontArrayGLYLoaded list;
    list.AddSorted(CFontItemGLYLoaded(L"Serif", L"Serif Bold", L"Serif-Bold", L"C:\\f\\sb.ttf", KindTrueType));
    list.AddSorted(CFontItemGLYLoaded(L"Serif", L"Serif Italic", L"Serif-Italic", L"C:\\f\\si.ttf", KindTrueType));
    list.AddSorted(CFontItemGLYLoaded(L"Serif", L"Serif", L"Serif-Roman", L"C:\\f\\s.pfm | C:\\f\\s.pfb", KindType1));
    list.AddSorted(CFontItemGLYLoaded(L"Sans", L"Sans", L"Sans", L"C:\\f\\sans.ttf", KindTrueType));
    for (auto& e : list)
        e.mark = 0;

    const auto index = [&](const std::wstring& full) {
        for (int i = 0; i < list.GetSize(); ++i)
            if (list[i].fullName == full)
                return i;
        return -1;
    };
    EXPECT_EQ(list.Find(MakeRecord(L"serif", L"SERIF ITALIC"), false), index(L"Serif Italic"));
    EXPECT_EQ(list.Find(MakeRecord(L"Serif", L"Serif Bold"), true), index(L"Serif Bold"));
    EXPECT_EQ(list[index(L"Serif Bold")].mark, 1);
    EXPECT_EQ(list[index(L"Serif Italic")].mark, 0);
    // No full name: the PostScript name decides, ignoring case.
    EXPECT_EQ(list.Find(MakeRecord(L"Serif", L"", L"serif-italic"), false), index(L"Serif Italic"));
    // Neither name: any element of the family.
    EXPECT_NE(list.Find(MakeRecord(L"Serif"), false), -1);
    EXPECT_EQ(list.Find(MakeRecord(L"Serif", L"Serif Light"), false), -1);
    EXPECT_EQ(list.Find(MakeRecord(L"Mono", L"Mono"), false), -1);

    // A Type 1 record is found like any other and stays in the list until a caller removes it.
    CFontItemInfo type1 = MakeRecord(L"Serif", L"Serif");
    type1.kind = KindType1;
    const int found = list.Find(type1, false);
    ASSERT_EQ(found, index(L"Serif"));
    EXPECT_EQ(list.GetSize(), 4);
    EXPECT_EQ(list.Find(type1, false), found);
    list.RemoveAt(found);
    EXPECT_EQ(list.Find(type1, false), -1);
    EXPECT_EQ(list.GetSize(), 3);
}

TEST(GLYLoadedFonts, UnloadAtExitData)
{
    CFontItemGLYLoaded privateTrueType(L"Sans", L"Sans Bold", L"Sans-Bold", L"C:\\fonts\\sub\\sansb.ttf", KindTrueType, 0);
    CFontItemGLYLoaded privateType1(L"Serif", L"Serif", L"Serif", L"C:\\t1\\s.pfm | C:\\t1\\s.pfb", KindType1, 0);
    EXPECT_FALSE(CFontArrayGLYLoaded::UnloadsAtExit(privateTrueType, true));
    EXPECT_TRUE(CFontArrayGLYLoaded::UnloadsAtExit(privateTrueType, false));
    EXPECT_TRUE(CFontArrayGLYLoaded::UnloadsAtExit(privateType1, true));

    CFontItemInfo record;
    std::wstring folder;
    CFontArrayGLYLoaded::MakeUnloadRecord(privateTrueType, record, folder);
    EXPECT_EQ(folder, L"C:\\fonts\\sub");
    EXPECT_EQ(record.path, L"C:\\fonts\\sub\\sansb.ttf");
    EXPECT_EQ(record.kind, KindTrueType);
    EXPECT_EQ(record.loaded, 1);
    EXPECT_EQ(record.trackedLoad, 1);
    ASSERT_EQ(record.names.GetSize(), 1);
    EXPECT_EQ(record.names[0].language, 0u);
    EXPECT_EQ(record.GetName(NameFamily, -1), L"Sans");
    EXPECT_EQ(record.GetName(NamePostScript, -1), L"Sans-Bold");
    EXPECT_EQ(&GetGLYLoadedFonts(), &GetGLYLoadedFonts());
}

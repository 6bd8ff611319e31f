#include "core/installed_fonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "font_layer_test_support.h"

using namespace font_layer_test;

namespace {

const std::wstring kFixtures = GLY_FIXTURE_DIR;
const std::wstring Z(1, L'\0');

class InstalledFontsTest : public FontLayerTest {
protected:
    void SetUp() override
    {
        FontLayerTest::SetUp();
        UseRegistrySandbox();
    }

    const CRegistryInstalledFontItem* Entry(const CRegistryInstalledFontArray& array, const std::wstring& name, int kind)
    {
        for (const CRegistryInstalledFontItem& item : array)
            if (item.name == name && item.kind == kind)
                return &item;
        return nullptr;
    }
};

int KindRankOf(int kind)
{
    return IsSfntKind(kind) ? 0 : IsType1Kind(kind) ? 1 : 2 + BaseKind(kind);
}

CRegistryInstalledFontItem Item(const std::wstring& name, int kind, const std::wstring& file = L"f")
{
    CRegistryInstalledFontItem item;
    item.name = name;
    item.kind = kind;
    item.file = file;
    return item;
}

}  // namespace

TEST_F(InstalledFontsTest, FontsKeyValues)
{
    // One file name of more than 2,080 bytes.
    const std::wstring longFile = L"C:\\" + std::wstring(1500, L'x') + L".ttf";
    WriteText(L"Fonts", L"Gly A & Gly B (TrueType)", L"pair.ttc");
    WriteText(L"Fonts", L"Gly Courier 10,12,15", L"glycour.fon");
    WriteText(L"Fonts", L"Gly Serif 8,10 (VGA res)", L"glyserif.fon");
    WriteText(L"Fonts", L"Gly Outline (OpenType)", L"outline.otf");
    WriteText(L"Fonts", L"Gly Plain", L"C:\\f\\plain.ttf");
    WriteText(L"Fonts", L"Gly Bare Otf", L"bare.OTF");
    WriteText(L"Fonts", L"Gly Joined & Gly Faces", L"joined.ttf");
    WriteText(L"Fonts", L"Gly Long", longFile);
    WriteText(L"Fonts", L"Gly Other", L"other.xyz");
    WriteText(L"Fonts", L"Gly NoExtension", L"noext");
    WriteText(L"Fonts", L"&", L"amp.ttf");
    // Stored without its terminating zero.
    const std::wstring unterminated = L"unterminated.ttf";
    WriteValue(L"Fonts", L"Gly Unterminated (TrueType)", REG_SZ, unterminated.data(),
               static_cast<DWORD>(unterminated.size() * sizeof(wchar_t)));
    const DWORD number = 7;
    WriteValue(L"Fonts", L"Gly Number (TrueType)", REG_DWORD, &number, sizeof(number));

    CRegistryInstalledFontArray array;
    array.LoadAll();

    struct Expected {
        const wchar_t* name;
        int kind;
        std::wstring file;
    } expected[] = {
        {L"Gly A", KindCollection, L"pair.ttc"},
        {L"Gly B", KindCollection, L"pair.ttc"},
        {L"Gly Courier", KindBitmap, L"glycour.fon"},
        {L"Gly Serif", KindBitmap, L"glyserif.fon"},
        {L"Gly Outline", KindOpenType, L"outline.otf"},
        {L"Gly Plain", KindTrueType, L"C:\\f\\plain.ttf"},
        {L"Gly Bare Otf", KindOpenType, L"bare.OTF"},
        {L"Gly Joined&Gly Faces", KindTrueType, L"joined.ttf"},
        {L"Gly Long", KindTrueType, longFile},
        {L"Gly Unterminated", KindTrueType, unterminated},
    };
    for (const Expected& e : expected) {
        const CRegistryInstalledFontItem* item = Entry(array, e.name, e.kind);
        ASSERT_NE(item, nullptr) << e.name;
        EXPECT_EQ(item->file, e.file) << e.name;
        EXPECT_EQ(item->companionFile, L"");
        EXPECT_EQ(item->systemFont, 0);
    }
    EXPECT_EQ(array.GetSize(), static_cast<int>(std::size(expected)));
}

TEST_F(InstalledFontsTest, Type1Values)
{
    const std::wstring key = L"Type 1 Installer\\Type 1 Fonts";
    WriteMulti(key, L"Gly-Hand Book", L"T" + Z + L"C:\\t1\\GLYHAND.PFM" + Z + L"C:\\t1\\GLYHAND.PFB" + Z + Z);
    WriteMulti(key, L"Gly Plain PFM", L"P" + Z + L"plain.pfm" + Z + L"plain.pfb" + Z + Z);
    // Without any terminator, too short, and of a wrong type.
    WriteMulti(key, L"Gly Open End", L"T" + Z + L"open.pfm" + Z + L"open.pfb");
    WriteMulti(key, L"Gly Short", L"T");
    const DWORD number = 1;
    WriteValue(key, L"Gly Number", REG_DWORD, &number, sizeof(number));

    CRegistryInstalledFontArray array;
    array.LoadAll();
    ASSERT_EQ(array.GetSize(), 4);
    const CRegistryInstalledFontItem* hand = Entry(array, L"Gly Hand Book", KindType1);
    ASSERT_NE(hand, nullptr);
    EXPECT_EQ(hand->file, L"C:\\t1\\GLYHAND.PFM");
    EXPECT_EQ(hand->companionFile, L"C:\\t1\\GLYHAND.PFB");
    EXPECT_EQ(hand->GetFileName(true), L"C:\\t1\\GLYHAND.PFM | C:\\t1\\GLYHAND.PFB");
    EXPECT_EQ(hand->GetFileName(false), L"C:\\t1\\GLYHAND.PFM");
    const CRegistryInstalledFontItem* plain = Entry(array, L"Gly Plain PFM", KindType1);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->file, L"plain.pfm");
    EXPECT_EQ(plain->companionFile, L"");
    EXPECT_EQ(plain->GetFileName(true), L"plain.pfm");
    const CRegistryInstalledFontItem* open = Entry(array, L"Gly Open End", KindType1);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->companionFile, L"open.pfb");
    const CRegistryInstalledFontItem* shortValue = Entry(array, L"Gly Short", KindType1);
    ASSERT_NE(shortValue, nullptr);
    EXPECT_EQ(shortValue->file, L"");
}

TEST_F(InstalledFontsTest, SubstitutesAndSystemFonts)
{
    WriteText(L"FontSubstitutes", L"Helv,0", L"MS Sans Serif,0");
    WriteText(L"FontSubstitutes", L"Gly Sub", L"Arial,0");
    WriteText(L"FontSubstitutes", L"Tms Rmn", L"Times New Roman");
    WriteText(L"Fonts", L"Gly Gui (TrueType)", L"gui.ttf");
    WriteText(L"GRE_Initialize", L"FONTS.FON", kFixtures + L"\\bitmap\\bmp-two-families.fon");
    WriteText(L"GRE_Initialize", L"GUIFont.Facename", L"Gly Gui");
    WriteText(L"GRE_Initialize", L"OEMFONT.FON", L"missing-oem.fon");
    WriteText(L"GRE_Initialize", L"Other", L"ignored.fon");

    CRegistryInstalledFontArray array;
    array.LoadAll();
    EXPECT_TRUE(array.IsSubstituteName(L"Helv"));
    EXPECT_TRUE(array.IsSubstituteName(L"Gly Sub"));
    EXPECT_FALSE(array.IsSubstituteName(L"helv"));
    EXPECT_FALSE(array.IsSubstituteName(L"Tms Rmn"));
    EXPECT_EQ(array.substituteNames.size(), 2u);

    const CRegistryInstalledFontItem* gui = Entry(array, L"Gly Gui", KindTrueType);
    ASSERT_NE(gui, nullptr);
    EXPECT_EQ(gui->systemFont, 1);
    int systemBitmaps = 0;
    for (const CRegistryInstalledFontItem& item : array) {
        if (item.kind != KindBitmap)
            continue;
        ++systemBitmaps;
        EXPECT_EQ(item.systemFont, 1);
        EXPECT_EQ(item.file, kFixtures + L"\\bitmap\\bmp-two-families.fon");
        EXPECT_TRUE(item.name.rfind(L"Gly Alpha", 0) == 0 || item.name.rfind(L"Gly Beta", 0) == 0) << item.name;
    }
    EXPECT_GE(systemBitmaps, 2);

    // The large and small font keys count from Vista on.
    WriteText(L"GRE_Initialize\\LargeFont", L"FIXEDFON.FON", kFixtures + L"\\bitmap\\bmp-three-sizes.fon");
    const OsVersion xp(VER_PLATFORM_WIN32_NT, 5, 1), vista(VER_PLATFORM_WIN32_NT, 6, 0);
    const auto fromLargeFont = [&] {
        int count = 0;
        for (const CRegistryInstalledFontItem& item : array)
            count += item.file == kFixtures + L"\\bitmap\\bmp-three-sizes.fon";
        return count;
    };
    GetFontEnvironment().version = &xp;
    array.LoadAll();
    EXPECT_EQ(fromLargeFont(), 0);
    GetFontEnvironment().version = &vista;
    array.LoadAll();
    EXPECT_GT(fromLargeFont(), 0);

    // A second load starts afresh; without a fonts folder nothing is read.
    array.LoadAll();
    EXPECT_EQ(array.substituteNames.size(), 2u);
    GetFontEnvironment().fontsFolder.clear();
    array.LoadAll();
    EXPECT_EQ(array.GetSize(), 0);
    EXPECT_TRUE(array.substituteNames.empty());
}

TEST(InstalledFontOrder, IsStrictAndSearchable)
{
    CRegistryInstalledFontArray array;
    EXPECT_EQ(array.FindKey(L"Anything", -1), -1);
    const std::vector<CRegistryInstalledFontItem> items = {
        Item(L"Mono", KindBitmap),     Item(L"Alpha", KindType1),      Item(L"Zeta", KindTrueType),
        Item(L"Mono", KindCollection), Item(L"Beta", KindOpenType),    Item(L"Beta", KindType1),
        Item(L"Gamma", 17),            Item(L"alpha", KindTrueType),   Item(L"Delta", KindBitmap),
        Item(L"Epsilon", KindType1),   Item(L"Beta", KindTrueType),    Item(L"", KindTrueType),
    };
    for (const CRegistryInstalledFontItem& item : items)
        array.InsertSorted(item);
    // The empty name is never inserted.
    ASSERT_EQ(array.GetSize(), static_cast<int>(items.size()) - 1);
    for (int i = 1; i < array.GetSize(); ++i) {
        EXPECT_LE(CompareRegistryInstalledFontItems(array[i - 1], array[i]), 0) << i;
        EXPECT_GE(CompareRegistryInstalledFontItems(array[i], array[i - 1]), 0) << i;
    }
    // Groups in order: sfnt kinds, Type 1, then the other kinds by code.
    EXPECT_TRUE(IsSfntKind(array[0].kind));
    EXPECT_EQ(array[array.GetSize() - 1].kind, 17);

    for (const CRegistryInstalledFontItem& item : items) {
        if (item.name.empty())
            continue;
        const int exact = array.FindKey(item.name, item.kind);
        ASSERT_GE(exact, 0) << item.name;
        EXPECT_EQ(_wcsicmp(array[exact].name.c_str(), item.name.c_str()), 0);
        EXPECT_EQ(KindRankOf(array[exact].kind), KindRankOf(item.kind));
        const int any = array.FindKey(item.name, -1);
        ASSERT_GE(any, 0) << item.name;
        EXPECT_EQ(_wcsicmp(array[any].name.c_str(), item.name.c_str()), 0);
    }
    // A missing file's kind searches its group; a Type 1 key reads hyphens as spaces.
    EXPECT_GE(array.FindKey(L"Zeta", KindTrueType + KindMissingOffset), 0);
    EXPECT_EQ(array.FindKey(L"Zeta", KindType1), -1);
    array.InsertSorted(Item(L"Gly Hand Book", KindType1));
    EXPECT_GE(array.FindKey(L"Gly-Hand-Book", KindType1), 0);
    EXPECT_EQ(array.FindKey(L"", -1), -1);
    EXPECT_EQ(array.FindKey(L"Nothing", -1), -1);

    // An alternate name is matched as well as the name.
    const int zeta = array.FindKey(L"Zeta", KindTrueType);
    array[zeta].SetName(L"Zeta Regular", false);
    EXPECT_EQ(array.FindKey(L"Zeta Regular", KindTrueType), zeta);
    EXPECT_EQ(array[zeta].name, L"Zeta");
    array[zeta].SetName(L"Zeta Renamed", true);
    EXPECT_EQ(array[zeta].name, L"Zeta Renamed");
    EXPECT_EQ(array[zeta].alternateName, L"Zeta");
}

TEST(InstalledFontOrder, FindIndicesForFontGoesThroughTheEntryKey)
{
    CRegistryInstalledFontArray array;
    CRegistryInstalledFontItem entry = Item(L"Gly Test Regular", KindTrueType);
    entry.key = 42;
    array.InsertSorted(entry);
    CRegistryInstalledFontItem type1 = Item(L"GlyHand Book", KindType1);
    type1.key = 7;
    array.InsertSorted(type1);

    CFontItemArray records;
    for (int id : {5, 42, 7}) {
        CFontItemInfo record;
        record.itemId = id;
        records.Add(record);
    }
    CFontItemInfo font;
    font.kind = KindTrueType;
    const int set = font.names.Add(1033, 3, 1);
    font.names[set].strings[NameFull] = L"Gly Test Regular";
    font.names[set].strings[NamePostScript] = L"GlyHand-Book";
    font.defaultNames = set;

    CDWordArray out = {99};
    EXPECT_TRUE(array.FindIndicesForFont(font, out, &records));
    EXPECT_EQ(out, CDWordArray{1});
    // Type 1 records are looked up by their PostScript name.
    font.kind = KindType1;
    EXPECT_TRUE(array.FindIndicesForFont(font, out, &records));
    EXPECT_EQ(out, CDWordArray{2});
    // An entry whose key names no record finds nothing.
    array[array.FindKey(L"GlyHand Book", KindType1)].key = 1000;
    EXPECT_FALSE(array.FindIndicesForFont(font, out, &records));
    EXPECT_TRUE(out.empty());
}

TEST_F(InstalledFontsTest, EntryFiles)
{
    GetFontEnvironment().fontsFolder = kFixtures + L"\\sfnt";
    struct Case {
        std::wstring file;
        std::wstring companion;
        int records;
        std::wstring firstPath;
    } cases[] = {
        {L"basic.ttf", L"", 1, L"basic.ttf"},
        {L"cff.otf", L"", 1, L"cff.otf"},
        {L"pair.ttc", L"", 2, L"pair.ttc"},
        {kFixtures + L"\\bitmap\\bmp-two-families.fon", L"", 2, L""},
        {kFixtures + L"\\bitmap\\bmp-v3-device.fnt", L"", 1, L""},
        {kFixtures + L"\\type1\\GlyHand.pfm", kFixtures + L"\\type1\\GlyHand.pfb", 1, L""},
        {L"missing.ttf", L"", 0, L""},
        {L"unknown.xyz", L"", 0, L""},
        {L"", L"", 0, L""},
    };
    for (const Case& c : cases) {
        CRegistryInstalledFontItem item = Item(L"x", KindTrueType, c.file);
        item.companionFile = c.companion;
        CFontItemArray array;
        EXPECT_EQ(item.ReadFontFile(array), c.records > 0) << c.file;
        if (c.records == 0) {
            EXPECT_EQ(array.GetSize(), 0) << c.file;
        } else {
            EXPECT_GE(array.GetSize(), c.records) << c.file;
        }
        if (!c.firstPath.empty() && array.GetSize()) {
            EXPECT_EQ(array[0].path, c.firstPath);
        }
    }

    CRegistryInstalledFontItem pair = Item(L"Gly Pair", KindCollection, L"pair.ttc");
    CFontItemInfo record;
    ASSERT_TRUE(pair.GetFontRecord(record, L"gly pair bold"));
    EXPECT_EQ(record.GetName(NameFull), L"Gly Pair Bold");
    ASSERT_TRUE(pair.GetFontRecord(record, nullptr));
    EXPECT_EQ(record.GetName(NameFull), L"Gly Pair Regular");
    EXPECT_FALSE(pair.GetFontRecord(record, L"Gly Pair Light"));
}

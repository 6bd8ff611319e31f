#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "core/font_record.h"
#include "core/helpers.h"
#include "core/resource_strings.h"
#include "test_support.h"

namespace {

class FontRecord : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(resources_.Module(), nullptr); }

    gly_test::LocaleResources resources_;
};

std::wstring Res(UINT id) { return LoadResString(id); }

// A record of the given kind with one default name set (US English, Windows Unicode).
CFontItemInfo Named(int kind, const std::wstring& family, const std::wstring& full = L"")
{
    CFontItemInfo item = core_test::NamedRecord(family, full);
    item.kind = kind;
    return item;
}

void SetVendor(CFontItemInfo& item, const wchar_t* vendor)
{
    std::memset(item.metrics.sfnt.vendorId, 0, sizeof(item.metrics.sfnt.vendorId));
    std::wcsncpy(item.metrics.sfnt.vendorId, vendor, 4);
}

}  // namespace

TEST_F(FontRecord, KindCodesTreatMissingFilesAsTheirBaseKind)
{
    const bool sfnt[] = {true, true, false, true, false, true, true, false, true, false};
    const bool type1[] = {false, false, false, false, true, false, false, false, false, true};
    for (int kind = 0; kind < 10; ++kind) {
        EXPECT_EQ(IsSfntKind(kind), sfnt[kind]) << kind;
        EXPECT_EQ(IsType1Kind(kind), type1[kind]) << kind;
    }
    EXPECT_EQ(GetKindText(7), Res(629));
    EXPECT_EQ(GetKindText(5), Res(627));
    EXPECT_EQ(GetKindText(-1), L"");
    EXPECT_EQ(GetKindText(10), L"");
}

TEST_F(FontRecord, MissingBitmapUsesViewBAndMissingSfntUsesViewA)
{
    CFontItemInfo bitmap = Named(7, L"Fixedsys");
    bitmap.metrics.win.dfWeight = 700;
    bitmap.metrics.win.dfItalic = 1;
    CFontItemInfo sfnt = Named(8, L"Cambria");
    sfnt.metrics.sfnt.usWeightClass = 400;
    sfnt.metrics.sfnt.usWidthClass = 5;
    sfnt.metrics.sfnt.fsSelection = 0x20;

    EXPECT_EQ(bitmap.GetColumnText(16), Res(629));
    EXPECT_EQ(bitmap.GetColumnText(13), L"700 (" + Res(302) + L")");
    EXPECT_EQ(bitmap.GetColumnText(14), L"");
    EXPECT_TRUE(bitmap.IsBold());
    EXPECT_TRUE(bitmap.IsItalic());
    EXPECT_FALSE(bitmap.IsUnderline());

    EXPECT_EQ(sfnt.GetColumnText(16), Res(626));
    EXPECT_EQ(sfnt.GetColumnText(13), L"400 (" + Res(381) + L")");
    EXPECT_EQ(sfnt.GetColumnText(14), Res(300) + L"(" + Res(515) + L")");
    EXPECT_TRUE(sfnt.IsBold());
    EXPECT_FALSE(sfnt.IsItalic());
}

TEST_F(FontRecord, RecordWithoutNamesShowsEmptyNameColumns)
{
    CFontItemInfo item;
    item.path = L"C:\\fonts\\a.ttf";
    item.kind = 1;
    for (int column : {0, 1, 2, 3, 7, 9, 17})
        EXPECT_EQ(item.GetColumnText(column), L"") << column;
    EXPECT_EQ(item.GetColumnText(4), item.path);
    EXPECT_EQ(item.GetColumnText(10), L"");  // glyph count not read
    EXPECT_EQ(item.GetColumnText(18), L"");
    EXPECT_EQ(item.GetName(NameFamily), L"");
    EXPECT_EQ(item.GetFontStrings(-1), nullptr);
}

TEST_F(FontRecord, ColumnTextsOfAnSfntRecord)
{
    CFontItemInfo item = Named(0, L"Source Serif", L"");
    item.glyphs = 1234;
    item.kerningPairs = 0;
    item.metrics.sfnt.unitsPerEm = 1000;
    SetVendor(item, L"ADBE");
    const uint8_t panose[10] = {2, 11, 6, 4, 5, 5, 5, 2, 2, 4};
    std::memcpy(item.metrics.sfnt.panose, panose, 10);

    EXPECT_EQ(item.GetColumnText(1), L"Source Serif");  // empty full name falls back on the family
    EXPECT_EQ(item.GetColumnText(8), L"ADBE");
    EXPECT_EQ(item.GetColumnText(10), L"1234");
    EXPECT_EQ(item.GetColumnText(11), L"0");
    EXPECT_EQ(item.GetColumnText(12), L"# 2 B 6 4 5 5 5 2 2 4");
    EXPECT_EQ(item.GetColumnText(15), L"1000");
}

TEST_F(FontRecord, StatusColumnAndStatusOrder)
{
    struct Case {
        int kind, loaded, installed, setLoaded, trackedLoad, inUse;
        std::wstring text;
        int order;
    } cases[] = {
        {1, 1, 1, 0, 0, 0, Res(634), 10},  // loaded wins in the text, installed in the order
        {1, 0, 1, 0, 0, 0, Res(633), 10},
        {1, 0, 0, 1, 1, 1, Res(631), 9},
        {1, 1, 0, 1, 1, 1, Res(632), 6},
        {1, 1, 0, 0, 1, 1, Res(636), 7},
        {1, 1, 0, 0, 0, 1, Res(637), 8},
        {1, 1, 0, 0, 0, 0, Res(634), 5},
        {4, 1, 0, 0, 1, 0, Res(636) + L". " + Res(670), 7},
        {9, 1, 0, 0, 0, 2, Res(637) + L". " + Res(670), 8},
        {4, 1, 0, 1, 0, 0, Res(632), 6},
    };
    for (const Case& c : cases) {
        CFontItemInfo item;
        item.kind = c.kind;
        item.loaded = c.loaded;
        item.installed = c.installed;
        item.setLoaded = c.setLoaded;
        item.trackedLoad = c.trackedLoad;
        item.inUse = c.inUse;
        EXPECT_EQ(item.GetColumnText(19), c.text) << c.kind << c.loaded << c.installed;
        EXPECT_EQ(item.GetStatusOrder(), c.order) << c.kind << c.loaded << c.installed;
    }
}

TEST_F(FontRecord, CompareByNameColumns)
{
    CFontItemInfo none;
    const CFontItemInfo arial = Named(1, L"Arial", L"Arial Bold");
    const CFontItemInfo lower = Named(1, L"arial");
    const CFontItemInfo zapf = Named(1, L"Zapf");
    for (int column : {0, 1, 2, 3, 7, 9, 17}) {
        EXPECT_EQ(CompareFontItems(none, arial, column), -1) << column;
        EXPECT_EQ(CompareFontItems(arial, none, column), 1) << column;
        EXPECT_EQ(CompareFontItems(none, none, column), 0) << column;
    }
    EXPECT_EQ(CompareFontItems(arial, lower, 0), 0);  // case ignored
    EXPECT_EQ(CompareFontItems(arial, zapf, 0), -1);
    EXPECT_EQ(CompareFontItems(zapf, arial, 0), 1);
    EXPECT_EQ(CompareFontItems(arial, lower, 1), 1);  // "Arial Bold" against the family "arial"
    EXPECT_EQ(CompareFontItems(arial, zapf, 255), 0);

    // Families of 40 characters that differ only after the 31st compare equal.
    const std::wstring base(31, L'M');
    EXPECT_EQ(CompareFontItems(Named(1, base + L"AAAAAAAAA"), Named(1, base + L"ZZZZZZZZZ"), 0), 0);
    EXPECT_EQ(CompareFontItems(Named(1, L"A" + base + L"ZZZZZZZZ"), Named(1, L"B" + base + L"AAAAAAAA"), 0), -1);
    EXPECT_EQ(CompareFontItems(Named(1, base + L"Z"), Named(1, base), 0), 0);
    // Only one side that long: the full comparison stands.
    EXPECT_EQ(CompareFontItems(Named(1, base + L"Z"), Named(1, base.substr(1)), 0), 1);
}

TEST_F(FontRecord, CompareByValueColumns)
{
    CFontItemInfo big = Named(1, L"A");
    CFontItemInfo small = Named(1, L"A");
    big.fileSize = 3000000000u;  // would be negative as a 32-bit difference
    small.fileSize = 1;
    EXPECT_EQ(CompareFontItems(big, small, 5), 1);
    EXPECT_EQ(CompareFontItems(small, big, 5), -1);
    EXPECT_EQ(CompareFontItems(big, big, 5), 0);

    big.fileDate = {45000.5, true};
    small.fileDate = {45000.25, true};
    EXPECT_EQ(CompareFontItems(big, small, 6), 1);
    EXPECT_EQ(CompareFontItems(small, big, 6), -1);
    EXPECT_EQ(CompareFontItems(small, small, 6), 0);

    big.glyphs = 10;
    small.glyphs = -1;
    EXPECT_EQ(CompareFontItems(big, small, 10), 1);
    big.kerningPairs = 0x7FFFFFFF;
    small.kerningPairs = -1;
    EXPECT_EQ(CompareFontItems(big, small, 11), 1);

    CFontItemInfo installed = Named(1, L"A");
    installed.installed = 1;
    installed.loaded = 1;
    CFontItemInfo loaded = Named(1, L"A");
    loaded.loaded = 1;
    EXPECT_EQ(CompareFontItems(installed, loaded, 19), 1);
    EXPECT_EQ(CompareFontItems(loaded, installed, 19), -1);
    EXPECT_EQ(CompareFontItems(installed, loaded, 18), 0);
}

TEST_F(FontRecord, CompareSfntOnlyColumnsAgainstOtherKinds)
{
    CFontItemInfo adobe = Named(1, L"A");
    SetVendor(adobe, L"ADBE");
    adobe.metrics.sfnt.panose[0] = 2;
    adobe.metrics.sfnt.usWeightClass = 700;
    adobe.metrics.sfnt.usWidthClass = 5;
    adobe.metrics.sfnt.unitsPerEm = 2048;
    CFontItemInfo microsoft = Named(6, L"A");  // missing TrueType file: still sfnt
    SetVendor(microsoft, L"msft");
    microsoft.metrics.sfnt.panose[0] = 2;
    microsoft.metrics.sfnt.panose[9] = 1;
    CFontItemInfo bitmap = Named(2, L"A");
    bitmap.metrics.win.dfWeight = 400;
    CFontItemInfo type1 = Named(9, L"A");
    const CFontItemInfo otherType1 = Named(4, L"B");

    struct Case {
        const CFontItemInfo* a;
        const CFontItemInfo* b;
        int column, expected;
    } cases[] = {
        {&adobe, &microsoft, 8, -1}, {&microsoft, &adobe, 8, 1}, {&adobe, &bitmap, 8, 1},
        {&bitmap, &adobe, 8, -1},    {&bitmap, &type1, 8, 0},    {&adobe, &microsoft, 12, -1},
        {&adobe, &bitmap, 12, 1},    {&type1, &adobe, 12, -1},   {&bitmap, &type1, 12, 0},
        {&adobe, &bitmap, 13, 1},    {&bitmap, &microsoft, 13, 1}, {&bitmap, &adobe, 14, -1},
        {&bitmap, &type1, 14, 0},    {&bitmap, &adobe, 15, 1},   {&adobe, &microsoft, 15, 1},
        {&bitmap, &type1, 16, -1},   {&type1, &otherType1, 16, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CompareFontItems(*c.a, *c.b, c.column), c.expected) << "column " << c.column;
}

TEST_F(FontRecord, FileSizeAboveTheLimitIsStoredAsZero)
{
    const struct {
        uint64_t size;
        uint32_t stored;
    } cases[] = {{0, 0}, {1234, 1234}, {4294967294ull, 4294967294u}, {4294967295ull, 0}, {5000000000ull, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(StoredFileSize(c.size), c.stored) << c.size;
}

TEST_F(FontRecord, ReadFileInfoTakesSizeAndDateOfThePfmFile)
{
    const core_test::TempFolder temp(L"gly_font_record_test");
    const std::wstring& folder = temp.Path();
    const std::wstring pfm = temp.File(L"face.pfm");
    ASSERT_TRUE(gly_test::WriteBytes(pfm, std::string(1234, 'x')));

    CFontItemInfo item;
    item.kind = 4;
    item.path = L"face.pfm | face.pfb";  // the .pfb does not exist: only the .pfm is opened
    item.fileDate = {};
    item.ReadFileInfo(folder);
    EXPECT_EQ(item.fileSize, 1234u);
    EXPECT_TRUE(item.fileDate.valid);

    CFontItemInfo missing;
    missing.path = L"absent.ttf";
    missing.fileDate = {};
    missing.ReadFileInfo(folder);
    EXPECT_EQ(missing.fileSize, 0u);
    EXPECT_FALSE(missing.fileDate.valid);

    CStringArray files;
    EXPECT_FALSE(item.ResolvePaths(folder, files, false));
    files.clear();
    CFontItemInfo single;
    single.path = L"face.pfm";
    EXPECT_TRUE(single.ResolvePaths(folder, files, false));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0], pfm);
    CFontItemInfo empty;
    EXPECT_TRUE(empty.ResolvePaths(folder, files, false));
}

TEST_F(FontRecord, PathForms)
{
    CFontItemInfo type1;
    type1.kind = 9;
    type1.path = L"C:\\old\\a.pfm | C:\\old\\a.pfb";
    type1.storedPath = L"a.pfm | a.pfb";
    std::wstring out;
    type1.GetFilePath(out, true);
    EXPECT_EQ(out, L"a.pfm");
    type1.GetFilePath(out, false);
    EXPECT_EQ(out, L"a.pfm | a.pfb");
    type1.GetFullPath(out);
    EXPECT_EQ(out, L"a.pfm | a.pfb");
    type1.baseFolder = L"D:\\sets";
    type1.GetFullPath(out);
    EXPECT_EQ(out, L"D:\\sets\\a.pfm | D:\\sets\\a.pfb");

    CFontItemInfo ttf;
    ttf.kind = 1;
    ttf.storedPath = L"sub\\b.ttf";
    ttf.baseFolder = L"D:\\sets";
    ttf.GetFullPath(out);
    EXPECT_EQ(out, L"D:\\sets\\sub\\b.ttf");
    ttf.baseFolder = L"sets";
    ttf.GetBaseFolderPath(out, L"E:\\root");
    EXPECT_EQ(out, L"E:\\root\\sets");
    ttf.baseFolder.clear();
    ttf.GetBaseFolderPath(out, L"E:\\root");
    EXPECT_EQ(out, L"E:\\root");
}

TEST_F(FontRecord, PropertyTextsAtTheirBoundaries)
{
    const struct {
        int weight;
        UINT id;
    } weights[] = {{0, 288},   {99, 288},  {100, 508}, {200, 508}, {201, 298}, {300, 298}, {301, 381}, {400, 381},
                   {401, 300}, {500, 300}, {501, 509}, {600, 509}, {700, 302}, {701, 510}, {800, 510}, {900, 511},
                   {901, 0},   {950, 0}};
    for (const auto& w : weights) {
        const std::wstring expected =
            w.id ? std::to_wstring(w.weight) + L" (" + Res(w.id) + L")" : std::to_wstring(w.weight);
        EXPECT_EQ(WeightClassToText(w.weight), expected) << w.weight;
    }

    EXPECT_EQ(WidthClassToText(0), L"0");
    EXPECT_EQ(WidthClassToText(10), L"10");
    EXPECT_EQ(WidthClassToText(1), Res(512) + L"(50%)");
    EXPECT_EQ(WidthClassToText(2), Res(513) + L"(62.5%)");
    EXPECT_EQ(WidthClassToText(5), Res(300) + L"(" + Res(515) + L")");
    EXPECT_EQ(WidthClassToText(6), Res(516) + L"(112.5%)");
    EXPECT_EQ(WidthClassToText(9), Res(518) + L"(200%)");

    EXPECT_EQ(GetCharsetName(0), Res(521));
    EXPECT_EQ(GetCharsetName(238), Res(535));
    EXPECT_EQ(GetCharsetName(255), Res(523));
    EXPECT_EQ(GetCharsetName(3), L"");
    for (int charSet : {0, 1, 2, 77, 128, 129, 130, 134, 136, 161, 162, 163, 177, 178, 186, 204, 222, 238, 255})
        EXPECT_FALSE(GetCharsetName(charSet).empty()) << charSet;

    EXPECT_EQ(GetPitchAndFamilyText(0x00), Res(181) + L", " + Res(526));
    EXPECT_EQ(GetPitchAndFamilyText(0x31), Res(524) + L", " + Res(529));
    EXPECT_EQ(GetPitchAndFamilyText(0x52), Res(181) + L", " + Res(531));
    EXPECT_EQ(GetPitchAndFamilyText(0x61), Res(524));
}

TEST_F(FontRecord, EmbeddingTextOnlyForOpenTypeAndTrueType)
{
    const struct {
        int kind;
        uint16_t fsType;
        std::wstring text;
    } cases[] = {
        {0, 0, L"0x0000, " + Res(639)},
        {1, 2, L"0x0002, " + Res(640)},
        {5, 8, L"0x0008, " + Res(642)},
        {1, 0x0104, L"0x0104, " + Res(643)},
        {1, 0x0302, L"0x0302, " + Res(643) + L", " + Res(644)},
        {1, 0x0204, L"0x0204, " + Res(644)},
        {3, 0, L""},
        {2, 0, L""},
    };
    for (const auto& c : cases) {
        CFontItemInfo item;
        item.kind = c.kind;
        item.fsType = c.fsType;
        EXPECT_EQ(GetEmbeddingText(item), c.text) << c.kind << " " << c.fsType;
    }
}

TEST_F(FontRecord, NameSetsAndNames)
{
    CFontItemInfo item = Named(1, L"Family");
    const int german = item.names.Add(1031, 3, 1);
    item.names[german].strings[NameFamily] = L"Familie";
    item.names[0].strings[NameTypographicSubfamily] = L"Semibold Condensed";  // sfnt name id 17

    EXPECT_EQ(item.names.Find(1031, 3, 1), german);
    EXPECT_EQ(item.names.Find(1031, 0xFFFF, 0xFFFF), german);
    EXPECT_EQ(item.names.Find(1031, 1, 0xFFFF), -1);
    EXPECT_EQ(item.names.Find(1036, 0xFFFF, 0xFFFF), -1);

    EXPECT_EQ(item.GetName(NameFamily, 1031), L"Familie");
    EXPECT_EQ(item.GetName(16), L"Semibold Condensed");
    EXPECT_EQ(item.GetName(21), L"");
    EXPECT_EQ(item.GetName(-1), L"");
    EXPECT_EQ(item.GetName(NameFamily, 1036), L"");
    item.defaultNames = 5;  // outside the array
    EXPECT_EQ(item.GetName(NameFamily), L"");
    EXPECT_EQ(item.GetColumnText(0), L"");

    CFontItemInfo copy = Named(1, L"Other");
    copy.names.Add(1036, 3, 1);
    copy.names.Add(1040, 3, 1);
    copy = item;
    ASSERT_EQ(copy.names.GetSize(), 2);
    EXPECT_EQ(copy.names[1].strings[NameFamily], L"Familie");
    copy.Reset();
    EXPECT_TRUE(copy.names.IsEmpty());
    EXPECT_EQ(copy.language, -1);
    EXPECT_EQ(copy.previewValue1, -1);
    EXPECT_EQ(copy.previewable, 1);
    EXPECT_EQ(copy.fsType, 0xFFFF);
    EXPECT_TRUE(copy.fileDate.valid);
}

TEST_F(FontRecord, ChooseDefaultPrefersUserLocaleThenUsEnglish)
{
    const uint32_t user = GetUserDefaultLCID();
    const uint32_t other = user == 1031 ? 1036 : 1031;
    auto add = [](CFontStringsArray& sets, uint32_t language, uint16_t platform, const wchar_t* family) {
        const int index = sets.Add(language, platform, 1);
        sets[index].strings[NameFamily] = family;
    };

    CFontStringsArray sets;
    add(sets, 0, 3, L"no language");
    add(sets, user, 3, L"");  // no family
    add(sets, user, 1, L"other platform");
    EXPECT_EQ(sets.ChooseDefault(3, 1), -1);
    add(sets, other, 3, L"other");
    EXPECT_EQ(sets.ChooseDefault(3, 1), 3);
    add(sets, 1033, 3, L"english");
    EXPECT_EQ(sets.ChooseDefault(3, 1), 4);
    add(sets, user, 3, L"user");
    EXPECT_EQ(sets.ChooseDefault(3, 1), user == 1033 ? 4 : 5);
    EXPECT_EQ(sets.ChooseDefault(1, 1), 2);
}

TEST_F(FontRecord, EnglishNames)
{
    std::wstring ps, family, style;

    CFontItemInfo withEnglish = Named(1, L"Default");
    const int english = withEnglish.names.Add(1033, 1, 0);
    withEnglish.names[0].language = 1041;  // the default set is Japanese
    withEnglish.names[english].strings[NamePostScript] = L"Eng-Bold";
    withEnglish.names[english].strings[NameFamily] = L"Eng";
    withEnglish.names[english].strings[NameSubfamily] = L"Bold";
    EXPECT_TRUE(withEnglish.GetEnglishNames(ps, family, style));
    EXPECT_EQ(ps + L"/" + family + L"/" + style, L"Eng-Bold/Eng/Bold");

    CFontItemInfo japanese;
    const int index = japanese.names.Add(1041, 3, 1);
    japanese.names[index].strings[NamePostScript] = L"MS-Mincho";
    japanese.names[index].strings[NameFamily] = L"\x660e\x671d";
    japanese.names[index].strings[NameSubfamily] = L"Regular";
    japanese.language = 1041;
    EXPECT_TRUE(japanese.GetEnglishNames(ps, family, style));
    EXPECT_EQ(ps + L"/" + family + L"/" + style, L"MS-Mincho/MS-Mincho/Regular");

    japanese.names[index].strings[NameSubfamily].clear();  // empty counts as ASCII
    EXPECT_TRUE(japanese.GetEnglishNames(ps, family, style));
    EXPECT_EQ(style, L"");

    japanese.language = 1042;  // no set of that language
    EXPECT_FALSE(japanese.GetEnglishNames(ps, family, style));

    japanese.language = -1;  // the default set
    EXPECT_TRUE(japanese.GetEnglishNames(ps, family, style));
    EXPECT_EQ(ps + L"/" + family, L"MS-Mincho/MS-Mincho");
}

TEST_F(FontRecord, RegistryAndPreferredNames)
{
    CFontItemInfo type1 = Named(9, L"Helvetica", L"Helvetica Bold");
    type1.names[0].strings[NamePostScript] = L"Helvetica-Bold";
    EXPECT_EQ(type1.GetRegistryName(), L"Helvetica-Bold");
    EXPECT_EQ(type1.GetPreferredFamilyName(), L"Helvetica");
    type1.names[0].strings[NameTypographicFamily] = L"Helvetica Bold Win";
    EXPECT_EQ(type1.GetPreferredFamilyName(), L"Helvetica Bold Win");

    CFontItemInfo ttf = Named(1, L"Arial", L"Arial Bold");
    ttf.names[0].strings[NameTypographicFamily] = L"Arial Typo";
    EXPECT_EQ(ttf.GetRegistryName(), L"Arial Bold");
    EXPECT_EQ(ttf.GetPreferredFamilyName(), L"Arial");
}

TEST_F(FontRecord, MatchesTextAndLargeFonts)
{
    CFontItemInfo item = Named(1, L"Arial");
    item.names[0].strings[NameManufacturer] = L"Monotype";
    EXPECT_TRUE(item.MatchesText(L"monotype", false, true));
    EXPECT_FALSE(item.MatchesText(L"monotype", true, true));
    EXPECT_FALSE(CFontItemInfo().MatchesText(L"monotype", false, true));

    CFontItemInfo large;
    large.fileSize = 0x80000;
    EXPECT_FALSE(large.IsLarge());
    large.fileSize = 0x80001;
    EXPECT_TRUE(large.IsLarge());
    large.fileSize = 0;
    large.kerningPairs = 2501;
    EXPECT_TRUE(large.IsLarge());
}

TEST_F(FontRecord, FillFromTextMetric)
{
    LOGFONTW logFont{};
    logFont.lfCharSet = 238;
    logFont.lfPitchAndFamily = 0x31;
    NEWTEXTMETRICW metric{};
    metric.tmHeight = 16;
    metric.tmInternalLeading = 3;
    metric.tmWeight = 700;
    metric.tmFirstChar = 0x120;  // low byte kept
    metric.ntmAvgWidth = 7;
    metric.ntmFlags = NTM_BOLD;

    FontMetrics metrics{};
    EXPECT_TRUE(FillFontMetricsFromTextMetric(metrics, &logFont, &metric));
    EXPECT_EQ(metrics.win.dfCharSet, 238);
    EXPECT_EQ(metrics.win.dfPitchAndFamily, 0x31);
    EXPECT_EQ(metrics.win.dfPoints, 13);
    EXPECT_EQ(metrics.win.dfWeight, 700);
    EXPECT_EQ(metrics.win.dfFirstChar, 0x20);
    EXPECT_EQ(metrics.win.dfPixWidth, 7);
    EXPECT_EQ(metrics.win.dfPixHeight, 16);
    EXPECT_EQ(metrics.win.dfFlags, static_cast<uint32_t>(NTM_BOLD));

    EXPECT_TRUE(FillFontMetricsFromTextMetric(metrics, nullptr, nullptr));
    EXPECT_FALSE(FillFontMetricsFromTextMetricEx(metrics, nullptr, nullptr));
    EXPECT_TRUE(FillFontMetricsFromTextMetricEx(metrics, &logFont, nullptr));
}

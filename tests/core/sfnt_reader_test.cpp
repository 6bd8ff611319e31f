#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/font_file.h"
#include "core/sfnt_reader.h"
#include "test_support.h"

namespace {

using core_test::SfntFixture;

const wchar_t kDejaVu[] = L"Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf";
const wchar_t kLiberation[] = L"Z:\\usr\\share\\fonts\\truetype\\liberation\\LiberationSans-Regular.ttf";
const wchar_t kNotoCjk[] = L"Z:\\usr\\share\\fonts\\opentype\\noto\\NotoSansCJK-Regular.ttc";
// Wine's own Tahoma, which every Wine prefix has installed.
const wchar_t kWineTahoma[] = L"Z:\\usr\\share\\wine\\fonts\\tahoma.ttf";

uint64_t FileSizeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

const CFontStrings* FindSet(const CFontItemInfo& r, uint32_t language, uint16_t platform, uint16_t encoding)
{
    const int i = r.names.Find(language, platform, encoding);
    return i < 0 ? nullptr : r.names.GetAt(i);
}

// The bytes of one table of a font file.
std::vector<uint8_t> TableBytes(const std::wstring& path, SfntTableSlot SfntDirectory::*slot)
{
    FontFile file;
    SfntDirectory dir;
    if (!file.Open(path) || !ReadSfntDirectory(file, 0, dir) || !(dir.*slot).present)
        return {};
    const ByteReader r = file.Read((dir.*slot).offset, (dir.*slot).length);
    return std::vector<uint8_t>(r.Data(), r.Data() + r.Size());
}

}  // namespace

TEST(SfntReader, ReadsNamesMetricsGlyphsAndKerningOfATrueTypeFile)
{
    CFontItemArray fonts;
    fonts.Add(CFontItemInfo());  // the new record's itemId is its position
    SfntFontReader reader;
    ASSERT_TRUE(reader.ReadSfntFile(SfntFixture(L"basic.ttf"), L"shown\\basic.ttf", fonts));
    ASSERT_EQ(fonts.GetSize(), 2);
    const CFontItemInfo& r = fonts[1];
    EXPECT_EQ(r.itemId, 1);
    EXPECT_EQ(r.kind, KindTrueType);
    EXPECT_EQ(r.path, L"shown\\basic.ttf");
    EXPECT_EQ(r.installed, 0);
    EXPECT_EQ(r.collectionId, -1);
    EXPECT_EQ(r.fileSize, FileSizeOf(SfntFixture(L"basic.ttf")));
    EXPECT_TRUE(r.fileDate.valid);
    EXPECT_EQ(r.glyphs, 4);
    EXPECT_EQ(r.kerningPairs, 5);
    EXPECT_EQ(r.fsType, 8);

    const SfntMetrics& m = r.metrics.sfnt;
    EXPECT_EQ(m.unitsPerEm, 1000);
    EXPECT_EQ(m.usWinAscent, 900);
    EXPECT_EQ(m.usWinDescent, 300);
    EXPECT_EQ(m.extraLeading, 200);
    EXPECT_EQ(m.xAvgCharWidth, 550);
    EXPECT_EQ(m.usWeightClass, 400);
    EXPECT_EQ(m.usWidthClass, 5);
    EXPECT_STREQ(m.vendorId, L"GLYT");
    const uint8_t panose[10] = {2, 11, 6, 4, 5, 5, 5, 2, 2, 4};
    EXPECT_EQ(std::memcmp(m.panose, panose, 10), 0);
    EXPECT_EQ(m.fsSelection, 0x40);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(m.reserved[i], 0);

    // Windows sets in English and German survive; the Macintosh names and the Japanese set, whose
    // encoding the cmap does not list, do not.
    EXPECT_EQ(r.names.GetSize(), 2);
    const CFontStrings* english = FindSet(r, 1033, 3, 1);
    const CFontStrings* german = FindSet(r, 1031, 3, 1);
    ASSERT_TRUE(english && german);
    EXPECT_EQ(FindSet(r, 1041, 0xFFFF, 0xFFFF), nullptr);
    if (GetUserDefaultLCID() != 1031) {
        EXPECT_EQ(r.language, 1033);
        EXPECT_EQ(r.GetName(NameFamily, -1), L"Gly Test");
    }
    EXPECT_EQ(english->strings[NameSubfamily], L"Regular");
    EXPECT_EQ(english->strings[NameFull], L"Gly Test Regular");
    EXPECT_EQ(english->strings[NamePostScript], L"GlyTest-Regular");
    EXPECT_EQ(english->strings[NameTypographicFamily], L"Gly Test Typo");  // name id 16
    EXPECT_EQ(english->strings[NamePostScriptCid], L"GlyTestCID");         // name id 20
    EXPECT_TRUE(english->strings[NameDevice].empty());
    for (const std::wstring& s : english->strings)
        EXPECT_NE(s, L"Dropped fifteen");  // name id 15 is not kept
    EXPECT_EQ(german->strings[NameFamily], L"Gly Probe");

    ASSERT_EQ(reader.encodings.GetSize(), 3);
    EXPECT_EQ(reader.encodings.Find(0, 3), 0);
    EXPECT_EQ(reader.encodings.Find(3, 1), 1);
    EXPECT_EQ(reader.encodings.Find(3, 10), 2);
}

TEST(SfntReader, KindFollowsTheOutlineTables)
{
    const struct {
        const wchar_t* file;
        int kind;
    } cases[] = {
        {L"basic.ttf", KindTrueType},
        {L"dsig-truetype-outlines.ttf", KindOpenType},
        {L"cff.otf", KindOpenType},
    };
    for (const auto& c : cases) {
        CFontItemArray fonts;
        ASSERT_TRUE(ReadSfntFile(SfntFixture(c.file), L"", fonts));
        ASSERT_EQ(fonts.GetSize(), 1);
        EXPECT_EQ(fonts[0].kind, c.kind) << c.file;
        EXPECT_EQ(fonts[0].path, SfntFixture(c.file));  // without a display path the file path is kept
    }
    CFontItemArray fonts;
    ASSERT_TRUE(ReadSfntFile(SfntFixture(L"cff.otf"), L"", fonts));
    EXPECT_EQ(MakeFontsRegistryValueName(fonts[0]), L"Gly Outline Regular (OpenType)");
    ASSERT_TRUE(ReadSfntFile(SfntFixture(L"basic.ttf"), L"", fonts));
    EXPECT_EQ(MakeFontsRegistryValueName(fonts[1]), L"Gly Test Regular (TrueType)");
}

TEST(SfntReader, RejectsFacesThatLackARequiredPiece)
{
    for (const wchar_t* file : {L"mac-names-only.ttf", L"no-os2.ttf", L"missing.ttf"}) {
        CFontItemArray fonts;
        EXPECT_FALSE(ReadSfntFile(SfntFixture(file), L"", fonts)) << file;
        EXPECT_EQ(fonts.GetSize(), 0) << file;
    }
}

TEST(SfntReader, DecodesNameStringsByPlatformAndEncoding)
{
    CFontItemArray fonts;
    ASSERT_TRUE(ReadSfntFile(SfntFixture(L"name-cp936-wide.ttf"), L"", fonts));
    const CFontStrings* chinese = FindSet(fonts[0], 0x804, 3, 3);
    ASSERT_NE(chinese, nullptr);
    EXPECT_EQ(chinese->strings[NameFamily], L"\x4F60\x597D");

    const uint8_t utf16[] = {0, 'A', 0x4F, 0x60, 0, 0, 0, 'B'};
    EXPECT_EQ(DecodeNameString(utf16, 8, 3, 1), L"A\x4F60");  // ends at the first zero unit
    EXPECT_EQ(DecodeNameString(utf16, 3, 0, 3), L"A");        // an odd last byte is dropped
    const uint8_t symbolWide[] = {0, 'S', 0, 'y'};
    EXPECT_EQ(DecodeNameString(symbolWide, 4, 3, 0), L"Sy");
    const uint8_t shiftJis[] = {0x82, 0xA0};
    EXPECT_EQ(DecodeNameString(shiftJis, 2, 3, 2), L"\x3042");
    EXPECT_EQ(DecodeNameString(nullptr, 0, 3, 1), L"");
}

TEST(SfntReader, ClampsNameStringsToTheNameTable)
{
    CFontItemArray fonts;
    ASSERT_TRUE(ReadSfntFile(SfntFixture(L"name-offset-out-of-range.ttf"), L"", fonts));
    const CFontItemInfo& r = fonts[0];
    EXPECT_EQ(r.GetName(NameFamily, -1), L"Clamp");
    EXPECT_EQ(r.GetName(NameFull, -1), L"");              // offset past the table
    EXPECT_EQ(r.GetName(NameVersion, -1), L"Version 1");  // length past the table, cut at its end

    // The name walk over every prefix of the table stays inside it.
    const std::vector<uint8_t> name = TableBytes(SfntFixture(L"name-offset-out-of-range.ttf"), &SfntDirectory::name);
    ASSERT_FALSE(name.empty());
    for (size_t n = 0; n <= name.size(); ++n) {
        CFontStringsArray sets;
        EXPECT_EQ(ReadNameTable(ByteReader(name.data(), n), sets), n >= 6);
    }
}

TEST(SfntReader, KerningPairsInSubtableOrder)
{
    int count = -1;
    std::vector<KerningPair> pairs;
    EXPECT_EQ(ReadKernTableFromFile(SfntFixture(L"basic.ttf"), count, &pairs, true), 5);
    EXPECT_EQ(count, 5);
    const KerningPair expected[] = {{1, 2, -10}, {1, 3, -20}, {2, 3, -30}, {3, 1, 40}, {3, 2, 50}};
    ASSERT_EQ(pairs.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(pairs[i].left, expected[i].left);
        EXPECT_EQ(pairs[i].right, expected[i].right);
        EXPECT_EQ(pairs[i].value, expected[i].value);
    }
    EXPECT_EQ(ReadKernTableFromFile(SfntFixture(L"basic.ttf"), count, nullptr, false), 5);
    EXPECT_EQ(ReadKernTableFromFile(SfntFixture(L"cff.otf"), count, nullptr, false), 0);
    EXPECT_EQ(ReadKernTableFromFile(SfntFixture(L"pair.ttc"), count, nullptr, false), 0);  // not an sfnt version
    EXPECT_EQ(ReadKernTableFromFile(SfntFixture(L"missing.ttf"), count, nullptr, false), 0);
}

TEST(SfntReader, KerningTotalIsCappedByTheTableLength)
{
    // Three subtables claim 65535 pairs each in a table of 58 bytes.
    CFontItemArray fonts;
    ASSERT_TRUE(ReadSfntFile(SfntFixture(L"kern-count-overflow.ttf"), L"", fonts));
    EXPECT_GT(fonts[0].kerningPairs, 0);
    EXPECT_LE(fonts[0].kerningPairs, 58 / 6);

    int count = 0;
    std::vector<KerningPair> pairs;
    ReadKernTableFromFile(SfntFixture(L"kern-count-overflow.ttf"), count, &pairs, true);
    EXPECT_EQ(static_cast<size_t>(count), pairs.size());
    EXPECT_LE(count, 58 / 6);
    ASSERT_FALSE(pairs.empty());
    EXPECT_EQ(pairs[0].left, 1);
    EXPECT_EQ(pairs[0].value, -5);

    const std::vector<uint8_t> kern = TableBytes(SfntFixture(L"kern-count-overflow.ttf"), &SfntDirectory::kern);
    ASSERT_EQ(kern.size(), 58u);
    for (size_t n = 0; n <= kern.size(); ++n) {
        std::vector<KerningPair> some;
        const int total = ReadKernTable(ByteReader(kern.data(), n), false, &some);
        EXPECT_LE(total, static_cast<int>(n / 6));
        EXPECT_EQ(static_cast<size_t>(total), some.size());
    }
}

TEST(SfntReader, ReadsEveryFaceOfACollection)
{
    CFontItemArray fonts;
    fonts.nextCollectionId = 4;
    SfntCollectionReader reader;
    ASSERT_TRUE(reader.ReadTtcFile(SfntFixture(L"pair.ttc"), L"pair.ttc", fonts));
    ASSERT_EQ(fonts.GetSize(), 2);
    EXPECT_EQ(fonts[0].kind, KindCollection);
    EXPECT_EQ(fonts[1].kind, KindOpenType);  // a collection face with CFF outlines
    EXPECT_EQ(fonts[0].GetName(NameSubfamily, -1), L"Regular");
    EXPECT_EQ(fonts[1].GetName(NameSubfamily, -1), L"Bold");
    EXPECT_EQ(fonts[1].metrics.sfnt.usWeightClass, 700);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(fonts[i].collectionId, 4);
        EXPECT_EQ(fonts[i].itemId, i);
        EXPECT_EQ(fonts[i].path, L"pair.ttc");
    }
    EXPECT_EQ(fonts.nextCollectionId, 5);
    ASSERT_EQ(fonts.collections.count(4), 1u);
    EXPECT_EQ(fonts.collections[4], (CMyDWordArray{0, 1}));

    EXPECT_EQ(GetTtcRegistryName(SfntFixture(L"pair.ttc")), L"Gly Pair Regular & Gly Pair Bold (TrueType)");
    EXPECT_EQ(GetTtcRegistryName(SfntFixture(L"ttc-version-2.ttc")), L"");
}

TEST(SfntReader, CollectionFailures)
{
    CFontItemArray fonts;
    EXPECT_FALSE(ReadTtcFile(SfntFixture(L"ttc-version-2.ttc"), L"", fonts));
    EXPECT_FALSE(ReadTtcFile(SfntFixture(L"basic.ttf"), L"", fonts));
    EXPECT_FALSE(ReadTtcFile(SfntFixture(L"missing.ttc"), L"", fonts));
    EXPECT_EQ(fonts.GetSize(), 0);
    EXPECT_TRUE(fonts.collections.empty());

    // The second face fails: the first stays, and the collection lists it alone.
    EXPECT_FALSE(ReadTtcFile(SfntFixture(L"ttc-second-face-no-os2.ttc"), L"", fonts));
    ASSERT_EQ(fonts.GetSize(), 1);
    EXPECT_EQ(fonts[0].GetName(NameFamily, -1), L"Gly First");
    ASSERT_EQ(fonts.collections.size(), 1u);
    EXPECT_EQ(fonts.collections.begin()->second, (CMyDWordArray{0}));
    EXPECT_EQ(GetTtcRegistryName(SfntFixture(L"ttc-second-face-no-os2.ttc")), L"");

    // A face count of 2^32 - 1 in a file of a few hundred bytes: the real faces are read, the rest are not
    // looked for beyond the file.
    CFontItemArray huge;
    const FontFileStats before = GetFontFileStats();
    ReadTtcFile(SfntFixture(L"ttc-numfonts-huge.ttc"), L"", huge);
    const FontFileStats after = GetFontFileStats();
    EXPECT_GE(huge.GetSize(), 2);
    EXPECT_LE(after.bytesRead - before.bytesRead, 2 * FileSizeOf(SfntFixture(L"ttc-numfonts-huge.ttc")));
}

TEST(SfntReader, EncodingArrayStoresItsCountAndRecords)
{
    CTTFCMapEncodingArray a;
    EXPECT_EQ(a.Add(3, 1), 0);
    EXPECT_EQ(a.Add(0, 3), 1);
    EXPECT_EQ(a.Find(0, 3), 1);
    EXPECT_EQ(a.Find(3, 10), -1);
    std::vector<uint8_t> bytes;
    a.Serialize(bytes);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{2, 0, 3, 0, 1, 0, 0, 0, 3, 0}));
    CTTFCMapEncodingArray b;
    ByteReader in(bytes.data(), bytes.size());
    ASSERT_TRUE(b.Serialize(in));
    ASSERT_EQ(b.GetSize(), 2);
    EXPECT_EQ(b[1].platform, 0);
    EXPECT_EQ(b[1].encoding, 3);
    // A count larger than the records that follow is refused.
    bytes[0] = 9;
    ByteReader shortIn(bytes.data(), bytes.size());
    EXPECT_FALSE(b.Serialize(shortIn));
}

TEST(SfntReader, Cmap4FromTableChoosesTheWindowsUnicodeSubtable)
{
    std::vector<uint8_t> cmap = TableBytes(SfntFixture(L"basic.ttf"), &SfntDirectory::cmap);  // (0,3), (3,1), (3,10)
    ASSERT_FALSE(cmap.empty());
    DWORD size = 0;
    BOOL symbol = TRUE;
    EXPECT_FALSE(GetCmap4FromTable(ByteReader(cmap.data(), cmap.size()), nullptr, 0, size, symbol));
    ASSERT_GT(size, 16u);
    std::vector<uint8_t> buffer(size);
    ASSERT_TRUE(GetCmap4FromTable(ByteReader(cmap.data(), cmap.size()), buffer.data(), size, size, symbol));
    EXPECT_FALSE(symbol);
    uint16_t words[4];
    std::memcpy(words, buffer.data(), sizeof(words));
    EXPECT_EQ(words[0], 4);  // format, now in native order
    EXPECT_EQ(words[1], size);
    const uint16_t segCount = words[3] / 2;
    uint16_t lastEnd;
    std::memcpy(&lastEnd, buffer.data() + 14 + 2 * (segCount - 1), 2);
    EXPECT_EQ(lastEnd, 0xFFFF);

    // A segCountX2 whose arrays would run past the subtable is refused.
    size_t subtable = 0;
    {
        const ByteReader r(cmap.data(), cmap.size());
        for (uint16_t i = 0; i < r.U16BEAt(2); ++i) {
            if (r.U16BEAt(4 + 8 * i) == 3 && r.U16BEAt(6 + 8 * i) == 1)
                subtable = r.U32BEAt(8 + 8 * i);
        }
    }
    ASSERT_NE(subtable, 0u);
    cmap[subtable + 6] = 0xFF;
    cmap[subtable + 7] = 0xFE;
    EXPECT_FALSE(GetCmap4FromTable(ByteReader(cmap.data(), cmap.size()), buffer.data(), static_cast<DWORD>(buffer.size()), size, symbol));
}

TEST(SfntReader, RealTrueTypeFontsWithKernTables)
{
    const struct {
        const wchar_t* path;
        const wchar_t* family;
        int glyphs;
        int kerningPairs;
        int unitsPerEm;
    } cases[] = {
        {kDejaVu, L"DejaVu Sans", 6253, 2727, 2048},
        {kLiberation, L"Liberation Sans", 681, 907, 2048},
    };
    for (const auto& c : cases) {
        ASSERT_NE(FileSizeOf(c.path), 0u) << "installed by setup";
        CFontItemArray fonts;
        ASSERT_TRUE(ReadSfntFile(c.path, L"", fonts));
        const CFontItemInfo& r = fonts[0];
        EXPECT_EQ(r.kind, KindTrueType);
        EXPECT_EQ(r.GetName(NameFamily, -1), c.family);
        EXPECT_EQ(r.glyphs, c.glyphs);
        EXPECT_EQ(r.kerningPairs, c.kerningPairs);
        EXPECT_EQ(r.metrics.sfnt.unitsPerEm, c.unitsPerEm);
        EXPECT_EQ(r.metrics.sfnt.usWeightClass, 400);
        EXPECT_EQ(r.fileSize, FileSizeOf(c.path));
        int count = 0;
        std::vector<KerningPair> pairs;
        EXPECT_EQ(ReadKernTableFromFile(c.path, count, &pairs, true), c.kerningPairs);
        EXPECT_EQ(pairs.size(), static_cast<size_t>(c.kerningPairs));
    }
}

TEST(SfntReader, LargeCollectionReadsEveryFaceFromAFewRanges)
{
    ASSERT_NE(FileSizeOf(kNotoCjk), 0u) << "installed by setup";
    CFontItemArray fonts;
    const FontFileStats before = GetFontFileStats();
    ASSERT_TRUE(ReadTtcFile(kNotoCjk, L"", fonts));
    const FontFileStats after = GetFontFileStats();
    ASSERT_EQ(fonts.GetSize(), 10);
    const uint32_t languages[] = {1041, 1042, 2052, 1028, 3076};
    for (int i = 0; i < 10; ++i) {
        const CFontItemInfo& r = fonts[i];
        EXPECT_EQ(r.kind, KindOpenType);
        EXPECT_EQ(r.glyphs, 65535);
        EXPECT_EQ(r.collectionId, 0);
        EXPECT_NE(r.GetName(NameFamily, -1).find(L"Noto Sans"), std::wstring::npos);
        // English and the face's own language.
        EXPECT_EQ(r.names.GetSize(), 2);
        EXPECT_NE(FindSet(r, 1033, 3, 1), nullptr);
        EXPECT_NE(FindSet(r, languages[i % 5], 3, 1), nullptr) << i;
    }
    EXPECT_EQ(fonts[0].GetName(NameFamily, 1033), L"Noto Sans CJK JP");
    EXPECT_EQ(fonts[9].GetName(NameFamily, 1033), L"Noto Sans Mono CJK HK");
    EXPECT_EQ(after.opens - before.opens, 1u);
    EXPECT_LT(after.bytesRead - before.bytesRead, FileSizeOf(kNotoCjk) / 20);
}

namespace {
int CALLBACK CollectTrueTypeFaces(const LOGFONTW* lf, const TEXTMETRICW*, DWORD type, LPARAM param)
{
    if (type & TRUETYPE_FONTTYPE)
        reinterpret_cast<std::vector<LOGFONTW>*>(param)->push_back(*lf);
    return 1;
}
}  // namespace

TEST(SfntReader, InstalledFontThroughGetFontData)
{
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    std::vector<LOGFONTW> faces;
    EnumFontFamiliesExW(screen, &query, CollectTrueTypeFaces, reinterpret_cast<LPARAM>(&faces), 0);
    ReleaseDC(nullptr, screen);
    // Wine's own Tahoma when its fonts are installed, else the system fonts that Wine installs from
    // the Debian packages.
    const struct {
        const wchar_t* face;
        const wchar_t* file;
    } candidates[] = {{L"Tahoma", kWineTahoma}, {L"DejaVu Sans", kDejaVu}, {L"Liberation Sans", kLiberation}};
    const wchar_t* filePath = nullptr;
    LOGFONTW chosen{};
    for (const auto& c : candidates) {
        for (const LOGFONTW& lf : faces) {
            if (!filePath && std::wstring(lf.lfFaceName) == c.face && FileSizeOf(c.file)) {
                filePath = c.file;
                chosen = lf;
            }
        }
    }
    ASSERT_NE(filePath, nullptr) << faces.size() << " TrueType faces, none of the expected ones";
    chosen.lfWeight = FW_NORMAL;
    chosen.lfItalic = FALSE;
    chosen.lfHeight = -16;
    chosen.lfWidth = 0;
    const LOGFONTW* face = &chosen;

    CFontItemInfo installed;
    installed.kind = 77;  // kind and path stay the caller's
    ASSERT_TRUE(ReadInstalledFontTables(*face, installed));
    EXPECT_EQ(installed.kind, 77);
    EXPECT_TRUE(installed.path.empty());

    CFontItemArray fromFile;
    ASSERT_TRUE(ReadSfntFile(filePath, L"", fromFile));
    const CFontItemInfo& file = fromFile[0];
    EXPECT_EQ(installed.GetName(NameFamily, -1), chosen.lfFaceName);
    EXPECT_EQ(installed.GetName(NameFull, -1), file.GetName(NameFull, -1));
    EXPECT_EQ(installed.names.GetSize(), file.names.GetSize());
    EXPECT_EQ(installed.language, file.language);
    EXPECT_EQ(installed.glyphs, file.glyphs);
    EXPECT_EQ(installed.kerningPairs, file.kerningPairs);
    EXPECT_EQ(std::memcmp(&installed.metrics, &file.metrics, sizeof(FontMetrics)), 0);
    EXPECT_EQ(installed.fsType, file.fsType);

    // Its format-4 character map, sized first and then fetched.
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontIndirectW(face);
    HGDIOBJ old = SelectObject(dc, font);
    DWORD size = 0;
    BOOL symbol = TRUE;
    EXPECT_FALSE(GetInstalledFontCmap4(dc, nullptr, 0, size, symbol));
    ASSERT_GT(size, 16u);
    std::vector<uint8_t> buffer(size);
    EXPECT_FALSE(GetInstalledFontCmap4(dc, buffer.data(), size - 1, size, symbol));
    ASSERT_TRUE(GetInstalledFontCmap4(dc, buffer.data(), size, size, symbol));
    EXPECT_FALSE(symbol);
    uint16_t format;
    std::memcpy(&format, buffer.data(), 2);
    EXPECT_EQ(format, 4);
    CTTFCMapEncodingArray encodings;
    EXPECT_TRUE(ReadEncodingsFromDC(dc, encodings));
    EXPECT_GE(encodings.Find(3, 1), 0);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
}

TEST(SfntReader, InstalledCmap4WithAnOversizedSegmentCountIsRefused)
{
    const std::wstring path = SfntFixture(L"cmap4-segcount-overflow.ttf");
    ASSERT_GT(AddFontResourceExW(path.c_str(), FR_PRIVATE, nullptr), 0);
    LOGFONTW lf{};
    lf.lfHeight = -16;
    lf.lfCharSet = DEFAULT_CHARSET;
    wcscpy_s(lf.lfFaceName, L"Gly SegCount");
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    EXPECT_STREQ(face, L"Gly SegCount");
    DWORD size = 0;
    BOOL symbol = FALSE;
    EXPECT_FALSE(GetInstalledFontCmap4(dc, nullptr, 0, size, symbol));
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> buffer(size);
    EXPECT_FALSE(GetInstalledFontCmap4(dc, buffer.data(), size, size, symbol));
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    RemoveFontResourceExW(path.c_str(), FR_PRIVATE, nullptr);
}

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/bitmap_reader.h"
#include "test_support.h"

namespace {

using core_test::FirstSetName;
using core_test::ReadFileBytes;

const std::wstring kBitmapDir = GLY_FIXTURE_DIR L"\\bitmap\\";
const std::wstring kWineFonts = L"Z:\\usr\\share\\wine\\fonts\\";

std::wstring Family(const CFontItemInfo& r) { return FirstSetName(r, NameFamily); }

}  // namespace

TEST(BitmapReader, PointSizesOfOneFamilyBecomeOneRecord)
{
    CFontItemArray fonts;
    fonts.Add(CFontItemInfo());  // the new record's itemId is the array's size before the append
    BitmapFontReader reader;
    ASSERT_TRUE(reader.ReadFonFile(kBitmapDir + L"bmp-three-sizes.fon", L"three.fon", fonts));
    ASSERT_EQ(fonts.GetSize(), 2);
    const CFontItemInfo& r = fonts[1];
    EXPECT_EQ(Family(r), L"Gly Raster");
    EXPECT_EQ(FirstSetName(r, NameFull), L"Gly Raster");
    EXPECT_EQ(FirstSetName(r, NameNotice), L"Copyright gly tests");
    EXPECT_EQ(FirstSetName(r, NameDevice), L"");
    EXPECT_EQ(r.names[0].language, 0u);
    EXPECT_EQ(r.names[0].platform, 0);
    EXPECT_EQ(r.path, L"three.fon");
    EXPECT_EQ(r.kind, KindBitmap);
    EXPECT_EQ(r.itemId, 1);
    EXPECT_EQ(r.installed, 0);
    EXPECT_EQ(r.fileSize, 6256u);
    EXPECT_EQ(r.glyphs, 126 - 32 + 1);
    // The first size found is the one kept.
    EXPECT_EQ(r.metrics.win.dfPoints, 8);
    EXPECT_EQ(r.metrics.win.dfPixHeight, 11);
    EXPECT_EQ(r.metrics.win.dfWeight, 400);
    EXPECT_EQ(r.metrics.win.dfPitchAndFamily, 0x21);
    EXPECT_EQ(r.metrics.win.dfFlags, 1u);
    EXPECT_EQ(r.metrics.win.dfAvgWidth, 0);
    EXPECT_EQ(reader.families, CStringArray{L"Gly Raster"});
}

TEST(BitmapReader, FamiliesAreMergedWithinOneFonReadOnly)
{
    CFontItemArray fonts;
    BitmapFontReader reader;
    ASSERT_TRUE(reader.ReadFonFile(kBitmapDir + L"bmp-two-families.fon", L"", fonts));
    ASSERT_EQ(fonts.GetSize(), 2);
    EXPECT_EQ(Family(fonts[0]), L"Gly Alpha");
    EXPECT_EQ(Family(fonts[1]), L"Gly Beta");
    EXPECT_EQ(fonts[1].metrics.win.dfWeight, 700);
    EXPECT_EQ(fonts[1].itemId, 1);
    EXPECT_EQ(fonts[0].path, kBitmapDir + L"bmp-two-families.fon");  // no display path: the file path

    // Each .fon read starts a new family list, so the same file read again adds its faces again.
    ASSERT_TRUE(reader.ReadFonFile(kBitmapDir + L"bmp-two-families.fon", L"", fonts));
    EXPECT_EQ(fonts.GetSize(), 4);

    // The .fnt reader keeps adding to the list: a second read of one family adds nothing.
    BitmapFontReader fntReader;
    CFontItemArray single;
    EXPECT_TRUE(fntReader.ReadFntFile(kBitmapDir + L"bmp-v2.fnt", L"", &single));
    EXPECT_TRUE(fntReader.ReadFntFile(kBitmapDir + L"bmp-v2.fnt", L"", &single));
    EXPECT_EQ(single.GetSize(), 1);
}

TEST(BitmapReader, FntVersionTwoHasNoDeviceAndNoVersionThreeFields)
{
    CFontItemArray fonts;
    BitmapFontReader reader;
    ASSERT_TRUE(reader.ReadFntFile(kBitmapDir + L"bmp-v2.fnt", L"v2.fnt", &fonts));
    ASSERT_EQ(fonts.GetSize(), 1);
    const CFontItemInfo& r = fonts[0];
    EXPECT_EQ(Family(r), L"Gly Two");
    EXPECT_EQ(FirstSetName(r, NameDevice), L"");
    EXPECT_EQ(r.metrics.win.dfFlags, 0u);
    EXPECT_EQ(r.metrics.win.dfAspace, 0);
    EXPECT_EQ(r.metrics.win.dfItalic, 1);
    EXPECT_EQ(r.metrics.win.dfWeight, 700);
    EXPECT_EQ(r.metrics.win.dfCharSet, 2);
    EXPECT_EQ(r.metrics.win.dfPoints, 9);
    EXPECT_EQ(r.path, L"v2.fnt");
    EXPECT_EQ(r.kind, KindBitmap);
    EXPECT_EQ(r.fileSize, 1662u);
}

TEST(BitmapReader, FntVersionThreeKeepsDeviceFlagsAndSpaces)
{
    CFontItemArray fonts;
    BitmapFontReader reader;
    ASSERT_TRUE(reader.ReadFntFile(kBitmapDir + L"bmp-v3-device.fnt", L"", &fonts));
    ASSERT_EQ(fonts.GetSize(), 1);
    const WinFontMetrics& m = fonts[0].metrics.win;
    EXPECT_EQ(FirstSetName(fonts[0], NameDevice), L"GLYPRN");
    EXPECT_EQ(m.dfFlags, 0x11u);
    EXPECT_EQ(m.dfAspace, 1);
    EXPECT_EQ(m.dfBspace, 2);
    EXPECT_EQ(m.dfCspace, 3);
    EXPECT_EQ(m.dfCharSet, 238);
    EXPECT_EQ(m.dfFirstChar, 0x20);
    EXPECT_EQ(m.dfLastChar, 0xFF);
    EXPECT_EQ(fonts[0].glyphs, 0xFF - 0x20 + 1);
}

TEST(BitmapReader, GlyphCountAndVectorFonts)
{
    CFontItemArray fonts;
    BitmapFontReader reader;
    ASSERT_TRUE(reader.ReadFntFile(kBitmapDir + L"bmp-reversed-range.fnt", L"", &fonts));
    ASSERT_EQ(fonts.GetSize(), 1);
    EXPECT_EQ(fonts[0].glyphs, 0);

    // A vector font only earns a warning line; it is read like a raster font.
    ASSERT_TRUE(reader.ReadFntFile(kBitmapDir + L"bmp-vector.fnt", L"", &fonts));
    ASSERT_EQ(fonts.GetSize(), 2);
    EXPECT_EQ(Family(fonts[1]), L"Gly Vector");
    EXPECT_EQ(fonts[1].metrics.win.dfType, 1);
}

TEST(BitmapReader, RejectedResourceEndsTheFonWalkButKeepsEarlierFaces)
{
    CFontItemArray fonts;
    BitmapFontReader reader;
    EXPECT_FALSE(reader.ReadFonFile(kBitmapDir + L"fon-second-version-400.fon", L"", fonts));
    ASSERT_EQ(fonts.GetSize(), 1);
    EXPECT_EQ(Family(fonts[0]), L"Gly First");

    // A rejected .fnt header still counts as a successful read of the file.
    CFontItemArray none;
    EXPECT_TRUE(reader.ReadFntFile(kBitmapDir + L"fnt-version-400.fnt", L"", &none));
    EXPECT_EQ(none.GetSize(), 0);
    EXPECT_TRUE(reader.ReadFntFile(kBitmapDir + L"bmp-v2.fnt", L"", nullptr));  // no array: only reads
    EXPECT_FALSE(reader.ReadFntFile(kBitmapDir + L"missing.fnt", L"", &none));
    EXPECT_FALSE(reader.ReadFonFile(kBitmapDir + L"missing.fon", L"", none));
    EXPECT_FALSE(reader.ReadFonFile(kBitmapDir + L"bmp-v2.fnt", L"", none));  // not an MZ/NE module
    EXPECT_EQ(none.GetSize(), 0);
}

TEST(BitmapReader, ParseFntHeaderChecksVersionAndLength)
{
    std::vector<uint8_t> v3 = ReadFileBytes(kBitmapDir + L"bmp-v3-device.fnt");
    std::vector<uint8_t> v2 = ReadFileBytes(kBitmapDir + L"bmp-v2.fnt");
    ASSERT_GT(v3.size(), 148u);
    ASSERT_GT(v2.size(), 118u);
    std::vector<uint8_t> v4 = v3;
    v4[1] = 4;
    struct Case {
        const char* what;
        const std::vector<uint8_t>& data;
        size_t length;
        int expected;
    } cases[] = {
        {"empty", v3, 0, BitmapFontReader::HeaderTruncated},
        {"one byte", v3, 1, BitmapFontReader::HeaderTruncated},
        {"bad version before length", v4, 10, BitmapFontReader::HeaderBadVersion},
        {"v3 one byte short", v3, 147, BitmapFontReader::HeaderTruncated},
        {"v3 header only", v3, 148, BitmapFontReader::HeaderAccepted},
        {"v2 one byte short", v2, 116, BitmapFontReader::HeaderTruncated},
        {"v2 header only", v2, 117, BitmapFontReader::HeaderAccepted},
        {"v3 whole", v3, v3.size(), BitmapFontReader::HeaderAccepted},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BitmapFontReader::ParseFntHeader(c.data.data(), c.length, nullptr, 0), c.expected) << c.what;
        CFontItemInfo record;
        EXPECT_EQ(BitmapFontReader::ParseFntHeader(c.data.data(), c.length, &record, 1), c.expected) << c.what;
        EXPECT_EQ(record.names.GetSize(), c.expected == BitmapFontReader::HeaderAccepted ? 1 : 0) << c.what;
        if (c.expected == BitmapFontReader::HeaderAccepted) {
            EXPECT_EQ(record.installed, 1) << c.what;
        }
    }
    // With the header alone the names, which lie behind it, are simply empty.
    CFontItemInfo headerOnly;
    BitmapFontReader::ParseFntHeader(v3.data(), 148, &headerOnly, 0);
    EXPECT_EQ(Family(headerOnly), L"");
    EXPECT_EQ(FirstSetName(headerOnly, NameNotice), L"Copyright gly tests");
}

// Damaged files: each is read to a clear result, and names never come from outside the resource.
TEST(BitmapReader, DamagedFiles)
{
    struct Case {
        const wchar_t* file;
        bool result;
        int records;
        const wchar_t* family;
    } cases[] = {
        {L"fnt-short-header.fnt", true, 0, nullptr},
        {L"fnt-face-past-end.fnt", true, 1, L""},
        {L"fnt-face-unterminated.fnt", true, 1, L"Gly Damaged"},
        {L"fnt-dfsize-before-face.fnt", true, 1, L""},
        {L"fnt-dfsize-huge.fnt", true, 1, L"Gly Damaged"},
        {L"fon-negative-restab.fon", false, 0, nullptr},
        {L"fon-shift-overflow.fon", false, 0, nullptr},
        {L"fon-align-shift-60.fon", false, 0, nullptr},
        {L"fon-resource-past-end.fon", false, 0, nullptr},
        {L"fon-lfanew-past-end.fon", false, 0, nullptr},
        {L"fon-short-resource.fon", false, 0, nullptr},
    };
    for (const Case& c : cases) {
        const std::wstring path = kBitmapDir + c.file;
        CFontItemArray fonts;
        BitmapFontReader reader;
        const bool fon = path.substr(path.size() - 3) == L"fon";
        const bool result = fon ? reader.ReadFonFile(path, L"", fonts) : reader.ReadFntFile(path, L"", &fonts);
        EXPECT_EQ(result, c.result) << c.file;
        ASSERT_EQ(fonts.GetSize(), c.records) << c.file;
        if (c.family) {
            EXPECT_EQ(Family(fonts[0]), c.family) << c.file;
        }
    }
}

TEST(BitmapReader, FonDescriptionFollowsTheFirstColon)
{
    EXPECT_EQ(BitmapFontReader::ReadFonDescription(kBitmapDir + L"bmp-three-sizes.fon"), L" Gly Raster 8,10,12 (VGA res)");
    EXPECT_EQ(BitmapFontReader::ReadFonDescription(kBitmapDir + L"bmp-no-colon.fon"), L"Gly plain description");
    EXPECT_EQ(BitmapFontReader::ReadFonDescription(kBitmapDir + L"bmp-v2.fnt"), L"");
    EXPECT_EQ(BitmapFontReader::ReadFonDescription(kBitmapDir + L"fon-lfanew-past-end.fon"), L"");
    EXPECT_EQ(BitmapFontReader::ReadFonDescription(kBitmapDir + L"missing.fon"), L"");
    EXPECT_EQ(BitmapFontReader::ReadFonDescription(kWineFonts + L"sserife.fon"), L" MS Sans Serif 8,10,12 (VGA res)");
}

// Wine's own bitmap fonts (package fonts-wine) are real .fon files.
TEST(BitmapReader, ReadsEveryWineBitmapFont)
{
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((kWineFonts + L"*.fon").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE) << "fonts-wine is not installed";
    int files = 0;
    do {
        CFontItemArray fonts;
        BitmapFontReader reader;
        const std::wstring path = kWineFonts + found.cFileName;
        EXPECT_TRUE(reader.ReadFonFile(path, found.cFileName, fonts)) << found.cFileName;
        ASSERT_GE(fonts.GetSize(), 1) << found.cFileName;
        for (const CFontItemInfo& r : fonts) {
            EXPECT_FALSE(Family(r).empty()) << found.cFileName;
            EXPECT_GT(r.glyphs, 0) << found.cFileName;
            EXPECT_GT(r.metrics.win.dfPixHeight, 0) << found.cFileName;
            EXPECT_EQ(r.path, found.cFileName);
        }
        ++files;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_GT(files, 10);

    // Three sizes of one face, one record.
    CFontItemArray sansSerif;
    BitmapFontReader reader;
    ASSERT_TRUE(reader.ReadFonFile(kWineFonts + L"sserife.fon", L"", sansSerif));
    ASSERT_EQ(sansSerif.GetSize(), 1);
    EXPECT_EQ(Family(sansSerif[0]), L"MS Sans Serif");
    EXPECT_EQ(sansSerif[0].metrics.win.dfPoints, 8);
    EXPECT_EQ(sansSerif[0].metrics.win.dfVertRes, 96);
}

// The made-up .fon fixtures are real enough for GDI: it loads them and knows the face.
TEST(BitmapReader, FixtureFonLoadsInGdi)
{
    const std::wstring path = kBitmapDir + L"bmp-three-sizes.fon";
    ASSERT_GT(AddFontResourceExW(path.c_str(), FR_PRIVATE, nullptr), 0);
    LOGFONTW lf{};
    lf.lfHeight = -8;
    wcscpy_s(lf.lfFaceName, L"Gly Raster");
    const std::wstring face = core_test::SelectedFaceOf(lf);
    RemoveFontResourceExW(path.c_str(), FR_PRIVATE, nullptr);
    EXPECT_EQ(face, L"Gly Raster");
}

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/type1_reader.h"
#include "test_support.h"

namespace {

const std::wstring kType1Dir = GLY_FIXTURE_DIR L"\\type1";
const std::wstring kFindDir = kType1Dir + L"\\find";
const std::wstring kSubDir = kFindDir + L"\\sub";

using core_test::FirstSetName;

struct Pair {
    wchar_t first, second;
    int amount;
};

std::vector<Pair> Pairs(const std::vector<KERNINGPAIR>& pairs)
{
    std::vector<Pair> out;
    for (const KERNINGPAIR& p : pairs)
        out.push_back({static_cast<wchar_t>(p.wFirst), static_cast<wchar_t>(p.wSecond), p.iKernAmount});
    return out;
}

bool operator==(const Pair& a, const Pair& b) { return a.first == b.first && a.second == b.second && a.amount == b.amount; }
void PrintTo(const Pair& p, std::ostream* os) { *os << char(p.first) << char(p.second) << ' ' << p.amount; }

}  // namespace

// A pair written by fontforge: names from the .pfm and the .pfb's FontInfo, and its kerning pairs.
TEST(Type1Reader, ReadsAFontforgePair)
{
    CFontItemArray fonts;
    Type1FontReader reader;
    ASSERT_TRUE(reader.ReadType1FontFile(kType1Dir, L"GlyKern.pfm", fonts));
    ASSERT_EQ(fonts.GetSize(), 1);
    const CFontItemInfo& r = fonts[0];
    EXPECT_EQ(r.kind, KindType1);
    EXPECT_EQ(r.path, L"GlyKern.pfm | GlyKern.PFB");
    EXPECT_EQ(FirstSetName(r, NameTypographicFamily), L"Gly Kern");
    EXPECT_EQ(FirstSetName(r, NamePostScript), L"GlyKern-Regular");
    EXPECT_EQ(FirstSetName(r, NameFull), L"Gly Kern Regular");
    EXPECT_EQ(FirstSetName(r, NameFamily), L"Gly Kern");
    EXPECT_EQ(FirstSetName(r, NameNotice), L"Copyright gly tests by fontforge");
    EXPECT_EQ(FirstSetName(r, NameDevice), L"PostScript");
    EXPECT_EQ(r.metrics.win.dfWeight, 400);
    EXPECT_EQ(r.metrics.win.dfType, 0);

    // fontforge promises five pairs but writes four: only the pairs the file holds are counted.
    EXPECT_EQ(r.kerningPairs, 4);
    std::vector<KERNINGPAIR> pairs;
    EXPECT_EQ(reader.ReadPfmFileKerningPairs(kType1Dir + L"\\GlyKern.pfm", pairs, true), 4);
    const std::vector<Pair> expected = {{L'A', L'C', 15}, {L'A', L'V', -80}, {L'A', L'W', -60}, {L'V', L'A', -70}};
    EXPECT_EQ(Pairs(pairs), expected);
}

TEST(Type1Reader, RecordFromPfmAndPfb)
{
    CFontItemArray fonts;
    fonts.Add(CFontItemInfo());
    Type1FontReader reader;
    ASSERT_TRUE(reader.ReadType1FontFile(kType1Dir, L"GlyHand.pfm", fonts));
    ASSERT_EQ(fonts.GetSize(), 2);
    const CFontItemInfo& r = fonts[1];
    EXPECT_EQ(r.itemId, 1);
    EXPECT_EQ(r.installed, 0);
    EXPECT_EQ(r.fileSize, 196u);
    EXPECT_EQ(r.glyphs, -1);
    EXPECT_EQ(r.kerningPairs, 3);
    ASSERT_EQ(r.names.GetSize(), 1);
    EXPECT_EQ(r.names[0].language, 0u);
    EXPECT_EQ(FirstSetName(r, NameTypographicFamily), L"GlyHandWin");
    EXPECT_EQ(FirstSetName(r, NamePostScript), L"GlyHand-Book");
    EXPECT_EQ(FirstSetName(r, NameFull), L"Gly Hand Book");
    EXPECT_EQ(FirstSetName(r, NameFamily), L"Gly Hand");
    EXPECT_EQ(FirstSetName(r, NameNotice), L"Notice from pfb");
    const WinFontMetrics& m = r.metrics.win;
    EXPECT_EQ(m.dfType, 0);
    EXPECT_EQ(m.dfPoints, 10);
    EXPECT_EQ(m.dfVertRes, 300);
    EXPECT_EQ(m.dfAscent, 800);
    EXPECT_EQ(m.dfInternalLeading, 196);
    EXPECT_EQ(m.dfPixHeight, 1000);
    EXPECT_EQ(m.dfPitchAndFamily, 0x31);
    EXPECT_EQ(m.dfFirstChar, 32);
    EXPECT_EQ(m.dfLastChar, 255);
    EXPECT_EQ(m.dfDefaultChar, 149 - 32);
    EXPECT_EQ(m.dfFlags, 0u);
    EXPECT_EQ(m.dfAvgWidth, 500);
}

TEST(Type1Reader, KerningPairs)
{
    Type1FontReader reader;
    std::vector<KERNINGPAIR> pairs;
    // Stored as (B,A), (A,C), (A,B).
    EXPECT_EQ(reader.ReadPfmFileKerningPairs(kType1Dir + L"\\GlyHand.pfm", pairs, true), 3);
    const std::vector<Pair> sorted = {{L'A', L'B', -40}, {L'A', L'C', 30}, {L'B', L'A', -20}};
    EXPECT_EQ(Pairs(pairs), sorted);
    EXPECT_EQ(reader.ReadPfmFileKerningPairs(kType1Dir + L"\\GlyHand.pfm", pairs, false), 3);

    struct Case {
        const wchar_t* file;
        int count;
        int recordCount;  // the record's kerningPairs
    } cases[] = {
        {L"kern-sizefields-28.pfm", 0, 0},
        {L"kern-none.pfm", 0, -1},
        {L"kern-count-overflow.pfm", 2, 2},
        {L"pfm-version-200.pfm", 0, -2},
        {L"missing.pfm", 0, -2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(reader.ReadPfmFileKerningPairs(kType1Dir + L"\\" + c.file, pairs, true), c.count) << c.file;
        EXPECT_EQ(pairs.size(), size_t(c.count)) << c.file;
        CFontItemArray fonts;
        const bool read = reader.ReadType1FontFile(kType1Dir, c.file, fonts);
        EXPECT_EQ(read, c.recordCount != -2) << c.file;
        if (read) {
            EXPECT_EQ(fonts[0].kerningPairs, c.recordCount) << c.file;
        }
    }
}

// A FontInfo dictionary of size 2 is read for two entries with parenthesised values only.
TEST(Type1Reader, FontInfoSizeLimitsTheEntriesRead)
{
    CFontItemArray fonts;
    Type1FontReader reader;
    ASSERT_TRUE(reader.ReadType1FontFile(kType1Dir, L"fontinfo-size-2.pfm", fonts));
    EXPECT_EQ(FirstSetName(fonts[0], NameFull), L"GlyHand-Book");  // the third entry /FullName is not read
    EXPECT_EQ(FirstSetName(fonts[0], NameNotice), L"Notice from pfb");
    EXPECT_EQ(FirstSetName(fonts[0], NameFamily), L"");
}

TEST(Type1Reader, FontInfoTextFollowsTheLineRules)
{
    struct Case {
        const char* what;
        const char* text;
        const wchar_t* full;
        const wchar_t* family;
        const wchar_t* notice;
    } cases[] = {
        {"no dictionary", "/FullName (A) def\n", L"pfm", L"", L""},
        {"size missing", "/FontInfo dict\n/FullName (A) def\n", L"pfm", L"", L""},
        {"keys ignore case", "/FontInfo 3 dict\n/fullname (A)\n/FAMILYNAME (B)\n/notice (C)\n", L"A", L"B", L"C"},
        {"value to the last parenthesis of its line", "/FontInfo 1\n/FullName (A (x) B) readonly def\n", L"A (x) B", L"", L""},
        {"key and value may be lines apart", "/FontInfo 1\n/FullName\n\n  (A)\n", L"A", L"", L""},
        {"entries without parentheses do not count", "/FontInfo 2\n/ItalicAngle 0 def\n/isFixedPitch true def\n/Notice (N)\n/FullName (F)\n",
         L"F", L"", L"N"},
        {"a line without ')' is passed over", "/FontInfo 1\n/Notice (open\n/FullName (F)\n", L"F", L"", L""},
        {"the rest of a matched line is skipped", "/FontInfo 2\n/Notice (N) /FullName (F)\n/FamilyName (G)\n", L"pfm", L"G",
         L"N) /FullName (F"},
        {"the dictionary line is skipped", "/FontInfo 1 /FullName (F)\n/Notice (N)\n", L"pfm", L"", L"N"},
        {"carriage returns end lines", "/FontInfo 1\r/FullName (A)\r/Notice (N)\r", L"A", L"", L""},
        {"a huge size is bounded by the text", "/FontInfo 99999999999999999999\n/FullName (A)\n", L"A", L"", L""},
        {"text ends inside the dictionary line", "/FontInfo 5", L"pfm", L"", L""},
    };
    for (const Case& c : cases) {
        CFontStrings names(0, 0, 0);
        names.strings[NameFull] = L"pfm";
        Type1FontReader::ParseFontInfoText(c.text, std::strlen(c.text), names);
        EXPECT_EQ(names.strings[NameFull], c.full) << c.what;
        EXPECT_EQ(names.strings[NameFamily], c.family) << c.what;
        EXPECT_EQ(names.strings[NameNotice], c.notice) << c.what;
    }
}

// Files that add no record, and damaged .pfb files that leave the names of the .pfm.
TEST(Type1Reader, BadFiles)
{
    Type1FontReader reader;
    for (const wchar_t* file : {L"pfm-version-200.pfm", L"pfm-no-face.pfm", L"pfm-empty-face.pfm", L"pfm-face-past-end.pfm",
                                L"pfm-short.pfm", L"missing.pfm"}) {
        CFontItemArray fonts;
        EXPECT_FALSE(reader.ReadType1FontFile(kType1Dir, file, fonts)) << file;
        EXPECT_EQ(fonts.GetSize(), 0) << file;
    }
    for (const wchar_t* title : {L"pfb-segment-length-huge", L"pfb-not-ascii"}) {
        CFontItemArray fonts;
        ASSERT_TRUE(reader.ReadType1FontFile(kType1Dir, std::wstring(title) + L".pfm", fonts)) << title;
        EXPECT_EQ(FirstSetName(fonts[0], NameFull), L"GlyHand-Book") << title;
        EXPECT_EQ(FirstSetName(fonts[0], NameFamily), L"") << title;
        CFontStrings names;
        EXPECT_FALSE(reader.ParsePfbFontInfo(kType1Dir, std::wstring(title) + L".pfb", names)) << title;
    }
    CFontStrings names;
    EXPECT_FALSE(reader.ParsePfbFontInfo(kType1Dir, L"missing.pfb", names));

    // A value on a line of 100,000 characters.
    CFontItemArray fonts;
    ASSERT_TRUE(reader.ReadType1FontFile(kType1Dir, L"pfb-long-line.pfm", fonts));
    EXPECT_EQ(FirstSetName(fonts[0], NameNotice), std::wstring(100000, L'x'));
    EXPECT_EQ(FirstSetName(fonts[0], NameFull), L"Gly Long Line");
}

TEST(Type1Reader, FindPfbForPfm)
{
    const std::wstring subPfm = kSubDir + L"\\InSub.pfm";
    struct Case {
        const char* what;
        std::wstring folder, pfm, base;
        std::wstring result, pfb;
    } cases[] = {
        {"bare name without folder", L"", L"X.pfm", L"", L"X.pfm | X.PFB", L"X.PFB"},
        {"beside the .pfm", kType1Dir, L"GlyHand.pfm", L"", L"GlyHand.pfm | GlyHand.PFB", L"GlyHand.PFB"},
        {"full path, .pfb in the subfolder pfb", L"", subPfm, L"", subPfm + L" | pfb\\InSub.pfb", L"pfb\\InSub.pfb"},
        {"in the subfolder pfb, dotted name", kSubDir, L".\\InSub.pfm", L"",
         L".\\InSub.pfm | " + kSubDir + L"\\pfb\\InSub.pfb", kSubDir + L"\\pfb\\InSub.pfb"},
        {"in the parent folder", kSubDir, L"InParent.pfm", L"", L"InParent.pfm | ..\\InParent.pfb", L"..\\InParent.pfb"},
        {"nowhere", kSubDir, L"Alone.pfm", L"", L"", L"Alone.PFB"},
        {"beside, folder below the base", kSubDir, L"Beside.pfm", kFindDir, L".\\sub\\Beside.pfm | .\\sub\\Beside.pfb",
         L"Beside.PFB"},
        {"beside, folder sorting before the base", kSubDir, L"Beside.pfm", kSubDir + L"\\zz",
         L"Beside.pfm | Beside.PFB", L"Beside.PFB"},
        {"subfolder pfb with a base", kSubDir, L"InSub.pfm", kFindDir, L".\\sub\\InSub.pfm | .\\sub\\pfb\\InSub.pfb",
         L"pfb\\InSub.pfb"},
    };
    Type1FontReader reader;
    for (const Case& c : cases) {
        std::wstring pfb;
        EXPECT_EQ(reader.FindPfbForPfm(c.folder, c.pfm, pfb, c.base), c.result) << c.what;
        EXPECT_EQ(pfb, c.pfb) << c.what;
    }
}

TEST(Type1Reader, RecordPathOfAGivenOrFoundPfb)
{
    Type1FontReader reader;
    CFontItemArray fonts;
    ASSERT_TRUE(reader.ReadType1FontFile(kType1Dir, L"GlyHand.pfm", fonts, L"GlyHand.pfb"));
    EXPECT_EQ(fonts[0].path, L"GlyHand.pfm | GlyHand.pfb");
    ASSERT_TRUE(reader.ReadType1FontFile(kSubDir, L"InSub.pfm", fonts, L"pfb\\InSub.pfb", kFindDir));
    EXPECT_EQ(fonts[1].path, L".\\sub\\InSub.pfm | .\\sub\\pfb\\InSub.pfb");
    EXPECT_EQ(FirstSetName(fonts[1], NameFull), L"Gly Hand Book");  // the given .pfb was read

    // The .pfb is found in the parent folder and read from there.
    ASSERT_TRUE(reader.ReadType1FontFile(kSubDir, L"InParent.pfm", fonts));
    EXPECT_EQ(fonts[2].path, L"InParent.pfm | ..\\InParent.pfb");
    EXPECT_EQ(FirstSetName(fonts[2], NameFull), L"Gly Hand Book");

    // No .pfb anywhere: the record keeps the names of the .pfm and has no path.
    ASSERT_TRUE(reader.ReadType1FontFile(kSubDir, L"Alone.pfm", fonts));
    EXPECT_EQ(fonts[3].path, L"");
    EXPECT_EQ(FirstSetName(fonts[3], NameFull), L"GlyHand-Book");
}

// A real font: the .pfb of fonts-urw-base35 with a .pfm that fontforge made from it and its .afm.
TEST(Type1Reader, RealUrwFont)
{
    const std::wstring pfb = L"Z:\\usr\\share\\fonts\\X11\\Type1\\NimbusSans-Regular.pfb";
    CFontItemArray fonts;
    Type1FontReader reader;
    ASSERT_TRUE(reader.ReadType1FontFile(kType1Dir + L"\\urw", L"NimbusSans-Regular.pfm", fonts, pfb));
    const CFontItemInfo& r = fonts[0];
    EXPECT_EQ(r.path, L"NimbusSans-Regular.pfm | " + pfb);
    EXPECT_EQ(FirstSetName(r, NamePostScript), L"NimbusSans-Regular");
    EXPECT_EQ(FirstSetName(r, NameTypographicFamily), L"Nimbus Sans");
    EXPECT_EQ(FirstSetName(r, NameFull), L"Nimbus Sans");
    EXPECT_EQ(FirstSetName(r, NameFamily), L"Nimbus Sans");
    EXPECT_EQ(FirstSetName(r, NameNotice), L"(URW)++,Copyright 2014 by (URW)++ Design & Development");
    EXPECT_GT(r.metrics.win.dfAvgWidth, 0);
    EXPECT_GT(r.kerningPairs, 100);

    std::vector<KERNINGPAIR> pairs;
    ASSERT_EQ(reader.ReadPfmFileKerningPairs(kType1Dir + L"\\urw\\NimbusSans-Regular.pfm", pairs, true), r.kerningPairs);
    for (size_t i = 1; i < pairs.size(); ++i) {
        const bool ordered = pairs[i - 1].wFirst < pairs[i].wFirst ||
                             (pairs[i - 1].wFirst == pairs[i].wFirst && pairs[i - 1].wSecond <= pairs[i].wSecond);
        ASSERT_TRUE(ordered) << i;
    }
}

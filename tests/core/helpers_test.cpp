#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "core/helpers.h"
#include "core/resource_strings.h"
#include "tests/common/test_support.h"

namespace {

struct PathCase {
    const wchar_t* path;
    const wchar_t* folder;
    const wchar_t* expected;
};

TEST(Paths, CombinePath)
{
    const PathCase cases[] = {
        {L"a.ttf", L"", L"a.ttf"},
        {L"a.ttf", L"C:\\Fonts\\", L"C:\\Fonts\\a.ttf"},
        {L"Sub\\a.ttf", L"C:\\Fonts", L"C:\\Fonts\\Sub\\a.ttf"},
        {L"\\Sub\\a.ttf", L"C:\\Fonts", L"C:\\Fonts\\Sub\\a.ttf"},
        {L".\\Sub\\a.ttf", L"C:\\Fonts", L"C:\\Fonts\\Sub\\a.ttf"},
        {L"..\\a.ttf", L"C:\\Fonts\\Sub", L"C:\\Fonts\\a.ttf"},
        {L"..\\a.ttf", L"C:\\Fonts\\Sub\\", L"C:\\Fonts\\a.ttf"},
        {L"..\\a.ttf", L"Fonts", L""},
        {L"D:\\Other\\a.ttf", L"C:\\Fonts", L"D:\\Other\\a.ttf"},
        {L"\\\\server\\share\\a.ttf", L"C:\\Fonts", L"\\\\server\\share\\a.ttf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CombinePath(c.path, c.folder), c.expected) << c.path << L" in " << c.folder;
}

struct RelativeCase {
    const wchar_t* path;
    const wchar_t* base;
    bool pathIsFile;
    bool keepName;
    const wchar_t* expected;
};

TEST(Paths, MakeRelativePath)
{
    const RelativeCase cases[] = {
        {L"C:\\Fonts\\Sub\\a.ttf", L"C:\\Fonts", true, true, L".\\Sub\\a.ttf"},
        {L"C:\\Fonts\\Sub\\a.ttf", L"C:\\Fonts\\", true, false, L".\\Sub"},
        {L"C:\\Fonts\\a.ttf", L"C:\\Fonts", true, true, L".\\a.ttf"},
        {L"C:\\Fonts\\a.ttf", L"C:\\Fonts", true, false, L"."},
        {L"C:\\fonts\\a.ttf", L"C:\\Fonts", true, true, L".\\a.ttf"},
        {L"C:\\Fonts\\Sub", L"C:\\Fonts", false, false, L".\\Sub"},
        {L"C:\\Fonts\\a.ttf", L"C:\\Fonts\\Sub\\Deep", true, true, L"..\\..\\a.ttf"},
        {L"C:\\Fonts", L"C:\\Fonts\\Sub", false, false, L"..\\"},
        {L"C:\\Fonts\\a.ttf", L"", true, true, L"C:\\Fonts\\a.ttf"},
        {L"C:\\Fonts\\a.ttf", L"", true, false, L"C:\\Fonts"},
        {L"D:\\a.ttf", L"C:\\Fonts", true, true, L"D:\\a.ttf"},
        // A common prefix is not a common folder.
        {L"C:\\FontsX\\a.ttf", L"C:\\Fonts", true, true, L"C:\\FontsX\\a.ttf"},
        {L"C:\\FontsX\\a.ttf", L"C:\\Fonts", true, false, L"C:\\FontsX"},
        {L"C:\\Fonts\\a.ttf", L"C:\\FontsX\\Sub", true, true, L"C:\\Fonts\\a.ttf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeRelativePath(c.path, c.base, c.pathIsFile, c.keepName), c.expected)
            << c.path << L" from " << c.base;
}

TEST(Paths, RelativePathCombinesBack)
{
    for (const wchar_t* path : {L"C:\\Fonts\\a.ttf", L"C:\\Fonts\\Sub\\Deep\\b.otf", L"C:\\Other\\c.ttf"})
        EXPECT_EQ(CombinePath(MakeRelativePath(path, L"C:\\Fonts", true, true), L"C:\\Fonts"), path);
    EXPECT_EQ(CombinePath(MakeRelativePath(L"C:\\Fonts\\a.ttf", L"C:\\Fonts\\Sub", true, true), L"C:\\Fonts\\Sub"),
              L"C:\\Fonts\\a.ttf");
}

TEST(Paths, FileTitleExtensionAndFolder)
{
    struct Case {
        const wchar_t* path;
        bool keepExtension;
        bool keepFolder;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"C:\\Fonts\\arial.ttf", false, false, L"arial"},
        {L"C:\\Fonts\\arial.ttf", true, false, L"arial.ttf"},
        {L"C:\\Fonts\\arial.ttf", false, true, L"C:\\Fonts\\arial"},
        {L"C:\\Fonts\\arial.ttf", true, true, L"C:\\Fonts\\arial.ttf"},
        {L"a.b.ttf", false, false, L"a.b"},
        {L"C:\\My.Fonts\\arial", false, false, L"arial"},
        {L"C:\\My.Fonts\\arial", false, true, L"C:\\My.Fonts\\arial"},
        {L"C:\\Fonts\\Sets", false, false, L"Sets"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetFileTitle(c.path, c.keepExtension, c.keepFolder), c.expected) << c.path;

    EXPECT_EQ(GetFileExt(L"C:\\Fonts\\a.TTF"), L"TTF");
    EXPECT_EQ(GetFileExt(L"C:\\My.Fonts\\a"), L"");
    EXPECT_EQ(GetFileExt(L"a"), L"");
    EXPECT_EQ(GetFolder(L"C:\\Fonts\\a.ttf"), L"C:\\Fonts");
    EXPECT_EQ(GetFolder(L"a.ttf"), L"a.ttf");

    EXPECT_TRUE(IsPathDirectlyInFolder(L"C:\\Fonts\\a.ttf", L"c:\\fonts"));
    EXPECT_TRUE(IsPathDirectlyInFolder(L"C:\\Fonts\\a.ttf", L"C:\\Fonts\\"));
    EXPECT_TRUE(IsPathDirectlyInFolder(L"a.ttf", L"C:\\Fonts"));
    EXPECT_FALSE(IsPathDirectlyInFolder(L"C:\\Fonts\\Sub\\a.ttf", L"C:\\Fonts"));
    EXPECT_FALSE(IsPathDirectlyInFolder(L"C:\\FontsX\\a.ttf", L"C:\\Fonts"));
}

TEST(Paths, FileExists)
{
    EXPECT_TRUE(FileExists(GLY_BIN_DIR L"\\res_en_Amplex.dll"));
    EXPECT_TRUE(FileExists(std::wstring(GLY_BIN_DIR)));
    EXPECT_FALSE(FileExists(GLY_BIN_DIR L"\\no-such-file.ttf"));
    EXPECT_FALSE(FileExists(static_cast<const wchar_t*>(nullptr)));
    EXPECT_FALSE(FileExists(L""));
}

TEST(Paths, SplitType1Pair)
{
    struct Case {
        const wchar_t* pair;
        bool result;
        const wchar_t* pfm;
        const wchar_t* pfb;
    };
    const Case cases[] = {
        {L"a.pfm|a.pfb", true, L"a.pfm", L"a.pfb"},
        {L"C:\\T1\\A.PFM |C:\\T1\\A.PFB", true, L"C:\\T1\\A.PFM", L"C:\\T1\\A.PFB"},
        {L"a.pfm", false, L"a.pfm", L""},
        {L"a.ttf|a.pfb", true, L"", L"a.pfb"},
        {L"a.pfm|a.ttf", false, L"a.pfm", L""},
        {L" | ", false, L"", L""},
        {L"", false, L"", L""},
    };
    for (const auto& c : cases) {
        std::wstring pfm = L"old";
        std::wstring pfb = L"old";
        EXPECT_EQ(SplitType1Pair(c.pair, pfm, pfb), c.result) << c.pair;
        EXPECT_EQ(pfm, c.pfm) << c.pair;
        EXPECT_EQ(pfb, c.pfb) << c.pair;
    }
}

TEST(Paths, ShellFolders)
{
    EXPECT_FALSE(GetShellFolderPath(CSIDL_FONTS).empty());
    LPITEMIDLIST pidl = GetPidlFromPath(GLY_BIN_DIR);
    EXPECT_NE(pidl, nullptr);
    CoTaskMemFree(pidl);
}

TEST(Texts, SplitString)
{
    CStringArray parts = {L"left over"};
    EXPECT_TRUE(SplitString(L" a , ,b ,\tc d ", L",", &parts));
    EXPECT_EQ(parts, (CStringArray{L"a", L"b", L"c d"}));
    EXPECT_TRUE(SplitString(L"1::2::::3", L"::", &parts));
    EXPECT_EQ(parts, (CStringArray{L"1", L"2", L"3"}));
    EXPECT_TRUE(SplitString(L"  ", L",", &parts));
    EXPECT_TRUE(parts.empty());
    EXPECT_FALSE(SplitString(L"a,b", L",", nullptr));
}

TEST(Texts, LocaleComparison)
{
    EXPECT_LT(CompareLocale(L"apple", L"Banana", true), 0);
    EXPECT_GT(CompareLocale(L"banana", L"Apple", false), 0);
    EXPECT_EQ(CompareLocale(L"Arial", L"ARIAL", true), 0);
    EXPECT_NE(CompareLocale(L"Arial", L"ARIAL", false), 0);
    EXPECT_EQ(CompareLocaleN(L"Arial Black", L"arial bold", 7, 7, true), 0);
    EXPECT_NE(CompareLocaleN(L"Arial Black", L"arial bold", 0, 0, true), 0);
    // A length beyond the terminator stops at the terminator.
    EXPECT_EQ(CompareLocaleN(L"ab", L"ab", 100, 2, false), 0);
}

TEST(Texts, CompareText)
{
    EXPECT_TRUE(CompareText(L"Arial", L"arial", false, true));
    EXPECT_FALSE(CompareText(L"Arial", L"arial", true, true));
    EXPECT_FALSE(CompareText(L"Arial Bold", L"Arial", false, true));
    EXPECT_TRUE(CompareText(L"Arial Bold", L"*BOLD", false, false));
    EXPECT_FALSE(CompareText(L"Arial Bold", L"*BOLD", true, false));
    EXPECT_FALSE(CompareText(L"", L"*", false, false));
    EXPECT_FALSE(CompareText(L"Arial", L"", false, false));
}

TEST(Texts, WildcardMatch)
{
    struct Case {
        const wchar_t* text;
        const wchar_t* pattern;
        bool expected;
    };
    const Case cases[] = {
        {L"Arial", L"[A-C]rial", true},
        {L"arial", L"[A-C]rial", true},
        {L"Arial", L"A?ial", true},
        {L"Arial", L"A", true},
        {L"Arial", L"*ria", true},
        {L"Arial", L"[a-c]rial", false},
        {L"arial", L"[a-c]rial", false},
        {L"Arial", L"B*", false},
        {L"A", L"A?", false},
        {L"Arial", L"", true},
        {L"", L"", true},
        {L"", L"*", true},
        {L"", L"?", false},
        {L"Arial", L"Arial*", true},
        {L"Arial", L"Ariall", false},
        {L"Arial", L"[XYZA]rial", true},
        {L"-x", L"[-]x", true},
        {L"Arial", L"[]Arial", false},
        {L"aXbYc", L"a*b*c", true},
        {L"aXbYd", L"a*b*c", false},
        {L"mississippi", L"m*iss*ppi", true},
        {L"mississippi", L"*sip", true},
        {L"mississippi", L"*sipx", false},
        {L"ab", L"*b?", false},
        {L"Times New Roman", L"*New*R?man", true},
        {L"Times New Roman", L"*new*R?man", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildcardMatch(c.text, c.pattern), c.expected) << c.text << L" ~ " << c.pattern;
}

TEST(Texts, WildcardMatchPathologicalPatternReturns)
{
    // Retrying every star at every position would take longer than the universe has left.
    std::wstring text(20000, L'a');
    std::wstring pattern;
    for (int i = 0; i < 40; ++i)
        pattern += L"*a";
    EXPECT_FALSE(WildcardMatch(text.c_str(), (pattern + L"b").c_str()));
    EXPECT_TRUE(WildcardMatch((text + L"b").c_str(), (pattern + L"b").c_str()));
}

TEST(Texts, SearchPatternAndXmlCharacters)
{
    EXPECT_EQ(MakeSearchPattern(L"  Garamond \t"), L"*Garamond");
    EXPECT_EQ(MakeSearchPattern(L"*Gara"), L"*Gara");
    EXPECT_EQ(MakeSearchPattern(L"?ara"), L"?ara");
    EXPECT_EQ(MakeSearchPattern(L"   "), L"");

    EXPECT_TRUE(NeedsXmlEscape(L"a<b", false));
    EXPECT_TRUE(NeedsXmlEscape(L"a&b", false));
    EXPECT_FALSE(NeedsXmlEscape(L" ab ", false));
    EXPECT_TRUE(NeedsXmlEscape(L" ab", true));
    EXPECT_TRUE(NeedsXmlEscape(L"ab ", true));
    EXPECT_FALSE(NeedsXmlEscape(L"a b", true));

    for (wchar_t c : {L'\x01', L'\x1F', L'\xD800', L'\xDFFF', L'\xFFFE', L'\xFFFF'})
        EXPECT_TRUE(IsInvalidXmlChar(c)) << int(c);
    for (wchar_t c : {L'\t', L'\n', L'\r', L' ', L'\xD7FF', L'\xE000', L'\xFFFD'})
        EXPECT_FALSE(IsInvalidXmlChar(c)) << int(c);

    wchar_t all[] = L"a\x01" L"b\xFFFE" L"c";
    ReplaceInvalidXmlChars(all, 0, L'.');
    EXPECT_STREQ(all, L"a.b.c");
    wchar_t firstTwo[] = L"a\x01\x02";
    ReplaceInvalidXmlChars(firstTwo, 2, L'.');
    EXPECT_EQ(std::wstring(firstTwo, 3), std::wstring(L"a.\x02"));
    wchar_t stopsAtZero[] = {L'a', 0, 1, 0};
    ReplaceInvalidXmlChars(stopsAtZero, 3, L'.');
    EXPECT_EQ(stopsAtZero[2], 1);

    // A surrogate pair (U+1F600) is one valid character; lone or reversed halves are replaced.
    wchar_t surrogates[] = L"\xD83D\xDE00|\xD83Dx|\xDE00|\xDE00\xD83D|\xD83D";
    ReplaceInvalidXmlChars(surrogates, 0, L'.');
    EXPECT_EQ(std::wstring(surrogates), std::wstring(L"\xD83D\xDE00|.x|.|..|."));
    // A pair cut by the length limit leaves a lone high half.
    wchar_t cutPair[] = L"a\xD83D\xDE00";
    ReplaceInvalidXmlChars(cutPair, 2, L'.');
    EXPECT_EQ(std::wstring(cutPair), std::wstring(L"a.\xDE00"));
}

TEST(Texts, NormalizeWideText)
{
    struct Case {
        wchar_t in;
        wchar_t out;
    };
    const Case cases[] = {
        {0x3000, L' '}, {0x0001, L' '}, {0x001F, L' '},  {0xFF01, L'!'},  {0xFF21, L'A'},   {0xFF5E, L'~'},
        {0x3001, 0x14}, {0x303E, 0x14}, {0x303F, 0x303F}, {0xFF00, 0xFF00}, {0xFF5F, 0xFF5F}, {L'a', L'a'},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NormalizeWideText(std::wstring(1, c.in)), std::wstring(1, c.out)) << int(c.in);
        wchar_t buffer[] = {c.in, 0};
        NormalizeFullWidth(buffer, 1);
        EXPECT_EQ(buffer[0], c.out) << int(c.in);
    }
    // One character out for every character in, zeros included.
    std::wstring text(L"\xFF21\0\x3002z", 4);
    EXPECT_EQ(NormalizeWideText(text), std::wstring(L"A\0\x14z", 4));
    wchar_t buffer[] = {0xFF21, 0, 0x3000};
    NormalizeFullWidth(buffer, 3);
    EXPECT_EQ(buffer[1], 0);
    EXPECT_EQ(buffer[2], L' ');
    NormalizeFullWidth(buffer, 0);
    NormalizeFullWidth(nullptr, 5);
}

TEST(Texts, AsciiAndSampleText)
{
    EXPECT_TRUE(IsAsciiText(L""));
    EXPECT_TRUE(IsAsciiText(L"Arial Bold\x7F"));
    EXPECT_FALSE(IsAsciiText(L"Caf\xE9"));
    std::wstring sample = DefaultSampleText();
    EXPECT_EQ(sample.substr(0, 28), L"abcdefghijklmnopqrstuvwxyz\r\n");
    EXPECT_EQ(sample.substr(28, 28), L"ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n");
    EXPECT_EQ(sample.substr(56), L"1234567890 $%&(.,;:'\"!?)");
}

TEST(Texts, StringLists)
{
    CStringArray list;
    EXPECT_TRUE(AddUniqueString(list, L"Arial"));
    EXPECT_FALSE(AddUniqueString(list, L"ARIAL"));
    EXPECT_TRUE(AddUniqueString(list, L"Times"));
    EXPECT_TRUE(RemoveMatchingString(list, L"arial"));
    EXPECT_FALSE(RemoveMatchingString(list, L"arial"));
    EXPECT_EQ(list, CStringArray{L"Times"});

    CStringArray sorted;
    for (const wchar_t* name : {L"Verdana", L"arial", L"Times", L"Courier", L"Zapf", L"Arial"})
        SortedInsert(sorted, name);
    for (size_t i = 1; i < sorted.size(); ++i)
        EXPECT_LE(CompareLocale(sorted[i - 1], sorted[i], false), 0) << i;
    EXPECT_EQ(sorted.size(), 6u);
    EXPECT_EQ(SortedInsert(sorted, L"Times"), static_cast<size_t>(SortedFind(sorted, L"Times")));
    EXPECT_GE(SortedFind(sorted, L"VERDANA"), 0);
    EXPECT_EQ(sorted[SortedFind(sorted, L"VERDANA")], L"Verdana");
    EXPECT_EQ(SortedFind(sorted, L"Helvetica"), -1);
    EXPECT_EQ(SortedFind(CStringArray{}, L"x"), -1);

    EXPECT_TRUE(IsSingleEmpty(CStringArray{L""}));
    EXPECT_FALSE(IsSingleEmpty(CStringArray{}));
    EXPECT_FALSE(IsSingleEmpty(CStringArray{L"", L""}));
    EXPECT_FALSE(IsSingleEmpty(CStringArray{L"a"}));

    EXPECT_EQ(JoinNumberArray(CWordArray{0, 12, 65535}, L"_"), L"0_12_65535");
    EXPECT_EQ(JoinNumberArray(CWordArray{1, 2}, L", ", L"%02d"), L"01, 02");
    EXPECT_EQ(JoinNumberArray(CWordArray{}, L"_"), L"");
    EXPECT_EQ(JoinNumberArray(CDWordArray{4000000000u, 7}, L"."), L"4000000000.7");
}

TEST(Texts, LoadSubString)
{
    gly_test::LocaleResources resources;
    HMODULE res = resources.Module();
    ASSERT_NE(res, nullptr);
    std::wstring whole = LoadResString(625);
    EXPECT_FALSE(whole.empty());
    EXPECT_EQ(LoadSubString(625, 0), whole.substr(0, whole.find(L'\n')));
    EXPECT_EQ(LoadSubString(625, -1), whole);
    EXPECT_EQ(LoadSubString(625, 9), L"");
    EXPECT_EQ(LoadSubString(1, 0), L"");
    SetResourceModule(nullptr);
    EXPECT_EQ(LoadSubString(625, res, -1), whole);
    EXPECT_EQ(LoadSubString(625, 0), L"");  // not in the program itself
}

TEST(Numbers, ParseHex)
{
    struct Case {
        const wchar_t* text;
        int length;
        uint64_t value;
        int stop;
    };
    const Case cases[] = {
        {L"1f", -1, 0x1f, 2},
        {L"FFx1", -1, 0xff, 2},
        {L"abcdef", 2, 0xab, 2},
        {L"0123456789ABCDEF", -1, 0x0123456789ABCDEFull, 16},
        {L"", -1, 0, 0},
        {L"zz", -1, 0, 0},
        {L"12", 5, 0x12, 2},
        {L"12", 0, 0, 0},
    };
    for (const auto& c : cases) {
        int stop = -1;
        EXPECT_EQ(ParseHex(c.text, c.length, &stop), c.value) << c.text;
        EXPECT_EQ(stop, c.stop) << c.text;
    }
    EXPECT_EQ(ParseHex(nullptr, -1, nullptr), 0u);
}

TEST(Numbers, FormatThousands)
{
    struct Case {
        uint64_t n;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0, L"0"},
        {123, L"123"},
        {1000, L"1,000"},
        {999999, L"999,999"},
        {1234567, L"1,234,567"},
        {2147483647, L"2,147,483,647"},
        {2147483648u, L"2,147,483,648"},
        {4294967295u, L"4,294,967,295"},
        {5000000000ull, L"5,000,000,000"},
        {18446744073709551615ull, L"18,446,744,073,709,551,615"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatThousands(c.n), c.text) << c.n;
}

TEST(Numbers, AcceleratedStep)
{
    EXPECT_EQ(GetAcceleratedStep(0, 10, 1), 5);  // 0 +1 +2 +3 +4 reaches 10; the step is then 5
    EXPECT_EQ(GetAcceleratedStep(10, 0, 1), 5);
    EXPECT_EQ(GetAcceleratedStep(0, 10, 3), 10);  // 0 +1 +4 +7, and the step grew once more
    EXPECT_EQ(GetAcceleratedStep(3, 3, 2), 1);
    EXPECT_EQ(GetAcceleratedStep(0, 10, 0), 1);
    EXPECT_EQ(GetAcceleratedStep(0, 10, -1), 1);  // would never reach the end
}

TEST(Bytes, FindBytes)
{
    const char text[] = "%!PS eexec data eexec";
    const auto* begin = reinterpret_cast<const uint8_t*>(text);
    const auto* end = begin + std::strlen(text);
    const auto* pattern = reinterpret_cast<const uint8_t*>("eexec");
    const uint8_t* at = nullptr;
    ASSERT_TRUE(FindBytes(begin, pattern, 5, end, &at));
    EXPECT_EQ(at - begin, 5);
    ASSERT_TRUE(FindBytes(begin + 6, pattern, 5, end, &at));
    EXPECT_EQ(at - begin, 16);  // ends exactly at end
    EXPECT_FALSE(FindBytes(begin + 6, pattern, 5, end - 1, &at));
    EXPECT_FALSE(FindBytes(begin, pattern, 5, begin + 4, &at));
    EXPECT_FALSE(FindBytes(begin, pattern, 0, end, &at));
    EXPECT_FALSE(FindBytes(end, pattern, 5, begin, &at));
}

TEST(Encodings, CodePages)
{
    int length = -1;
    BSTR text = MultiByteToBSTR("abc", &length, 1252);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, L"abc");
    EXPECT_EQ(length, 3);
    EXPECT_EQ(SysStringLen(text), 3u);
    SysFreeString(text);

    text = MultiByteToBSTR("abc", 2, &length, 1252);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, L"ab");
    EXPECT_EQ(length, 2);
    SysFreeString(text);

    text = MultiByteToBSTR("\xC3\xBC", &length, CP_UTF8);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, L"\xFC");
    EXPECT_EQ(length, 1);
    SysFreeString(text);

    text = MultiByteToBSTR("\x82\xA0", 2, &length, 932);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, L"\x3042");
    SysFreeString(text);

    text = MultiByteToBSTR("", &length, 1252);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(length, 0);
    SysFreeString(text);

    length = -1;
    EXPECT_EQ(MultiByteToBSTR("a\xC3", &length, CP_UTF8), nullptr);  // a cut sequence
    EXPECT_EQ(length, 0);
    EXPECT_EQ(MultiByteToBSTR(nullptr, &length, CP_UTF8), nullptr);

    auto narrow = WideToMultiByte(L"\xFC!", 1252, &length);
    ASSERT_NE(narrow, nullptr);
    EXPECT_STREQ(narrow.get(), "\xFC!");
    EXPECT_EQ(length, 2);
    EXPECT_EQ(WideToMultiByte(nullptr, 1252), nullptr);
}

TEST(Encodings, URLEncode)
{
    struct Case {
        const wchar_t* text;
        UINT codePage;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"a b", CP_UTF8, L"a+b"},
        {L"a/b", CP_UTF8, L"a%2Fb"},
        {L"Az09", CP_UTF8, L"Az09"},
        {L"-_.~%+", CP_UTF8, L"%2D%5F%2E%7E%25%2B"},
        {L"\xFC", CP_UTF8, L"%C3%BC"},
        {L"\xFC", 1252, L"%FC"},
        {L"a\tb", CP_UTF8, L"a+b"},
        {L"", CP_UTF8, L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(URLEncode(c.text, c.codePage), c.expected) << c.text;
}

TEST(Encodings, Base64Encode)
{
    struct Case {
        const wchar_t* text;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"", L""},           {L"f", L"Zg=="},         {L"fo", L"Zm8="},
        {L"foo", L"Zm9v"},    {L"foobar", L"Zm9vYmFy"}, {L"user:pass", L"dXNlcjpwYXNz"},
        {L"\xE9", L"w6k="},   {L"\xFF\xFE", L"w7/Dvg=="},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Base64Encode(c.text), c.expected) << c.text;

    // 57 bytes make one full line of 76 characters; one more byte starts a second line.
    std::wstring full = Base64Encode(std::wstring(57, L'a'));
    EXPECT_EQ(full.size(), 76u);
    EXPECT_EQ(full.find(L"\r\n"), std::wstring::npos);
    std::wstring longer = Base64Encode(std::wstring(58, L'a'));
    EXPECT_EQ(longer.substr(0, 76), full);
    EXPECT_EQ(longer.substr(76), L"\r\nYQ==");
}

TEST(Encodings, RegexSearch)
{
    std::wstring out;
    for (bool wide : {true, false}) {
        EXPECT_TRUE(RegexSearch(L"gly version 2.14 build 7", L"version (\\d+)\\.(\\d+)", out, wide, false, 2));
        EXPECT_EQ(out, L"14");
        EXPECT_TRUE(RegexSearch(L"gly version 2.14 build 7", L"version (\\d+)", out, wide, false, 0));
        EXPECT_EQ(out, L"version 2");
        EXPECT_FALSE(RegexSearch(L"gly VERSION 2", L"version (\\d+)", out, wide, false, 1));
        EXPECT_TRUE(RegexSearch(L"gly VERSION 2", L"version (\\d+)", out, wide, true, 1));
        EXPECT_EQ(out, L"2");
        EXPECT_FALSE(RegexSearch(L"abc", L"(b", out, wide, false, 0));      // not an expression
        EXPECT_FALSE(RegexSearch(L"abc", L"(b)", out, wide, false, 2));     // no such group
        EXPECT_FALSE(RegexSearch(L"abc", L"x", out, wide, false, 0));
    }
    EXPECT_TRUE(RegexSearch(L"\x4E2D\x6587 (\x5B57)", L"\\((.)\\)", out, true, false, 1));
    EXPECT_EQ(out, L"\x5B57");
}

TEST(Encodings, RegexSearchWalksMatches)
{
    const std::wstring text = L"<a href=\"one\"> <A HREF=\"two\">";
    std::wstring out;
    size_t position = 0;
    CStringArray found;
    while (RegexSearch(text, L"href=\"([^\"]*)\"", out, true, position))
        found.push_back(out);
    EXPECT_EQ(found, (CStringArray{L"one", L"two"}));
    EXPECT_EQ(position, text.size() - 1);
    position = 0;
    EXPECT_TRUE(RegexSearch(text, L"href", out, false, position));  // no group: an empty capture
    EXPECT_EQ(out, L"");
    EXPECT_EQ(position, 7u);
    EXPECT_FALSE(RegexSearch(text, L"^<", out, false, position));  // the text does not start here
    position = text.size() + 1;
    EXPECT_FALSE(RegexSearch(text, L"a", out, false, position));
}

TEST(Encodings, RegexSearchLongInputs)
{
    // The matcher recurses per character; tens of thousands of them would overflow a thread's
    // usual stack, and a megabyte any stack: such a text is refused.
    std::wstring text(60000, L'a');
    text += L'b';
    std::wstring out;
    EXPECT_TRUE(RegexSearch(text, L"(a|b)*b", out, true, false, 0));
    EXPECT_EQ(out.size(), text.size());
    EXPECT_TRUE(RegexSearch(text, L"(a|b)*b", out, false, false, 1));
    EXPECT_EQ(out, L"a");  // the group's last repetition

    text.insert(0, std::wstring(1 << 20, L'a'));
    out = L"stale";
    EXPECT_FALSE(RegexSearch(text, L"(a|b)*b", out, true, false, 0));
    EXPECT_FALSE(RegexSearch(text, L"(a|b)*b", out, false, false, 0));
    EXPECT_TRUE(out.empty());
}

SYSTEMTIME MakeTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    return st;
}

OleDate MakeDate(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    OleDate date;
    date.valid = SystemTimeToOleDate(MakeTime(year, month, day, hour, minute, second), date.date);
    return date;
}

TEST(Dates, SystemTimeToOleDate)
{
    double date = -1;
    EXPECT_TRUE(SystemTimeToOleDate(MakeTime(2000, 1, 1, 12, 0, 0), date));
    EXPECT_DOUBLE_EQ(date, 36526.5);
    EXPECT_TRUE(SystemTimeToOleDate(MakeTime(1899, 12, 30, 0, 0, 0), date));
    EXPECT_DOUBLE_EQ(date, 0.0);
    EXPECT_FALSE(SystemTimeToOleDate(MakeTime(2001, 2, 29, 0, 0, 0), date));
    EXPECT_FALSE(SystemTimeToOleDate(MakeTime(2000, 13, 1, 0, 0, 0), date));
    EXPECT_FALSE(SystemTimeToOleDate(MakeTime(2000, 1, 1, 24, 0, 0), date));
    EXPECT_TRUE(OleDateNow().valid);
}

TEST(Dates, FormatXmlDateTime)
{
    OleDate date = MakeDate(2000, 1, 1, 12, 3, 4);
    ASSERT_TRUE(date.valid);
    EXPECT_EQ(FormatXmlDateTime(date), L"2000-01-01T12:03:04");
    EXPECT_EQ(FormatXmlDateTime(date, L"%Y%m%d%H%M%S"), L"20000101120304");
    EXPECT_EQ(FormatXmlDateTime(date, L"%y|%c|%x"), L"00|01/01/00 12:03:04|01/01/00");
    EXPECT_EQ(FormatXmlDateTime(date, L"%#x"), L"Saturday, January 1, 2000");
    EXPECT_EQ(FormatXmlDateTime(date, L"%#c"), L"Saturday, January 1, 2000, 12:03:04");
    EXPECT_EQ(FormatXmlDateTime(date, L"100%% %A"), L"100% Saturday");
    EXPECT_EQ(FormatXmlDateTime(OleDate{}), L"");
    EXPECT_EQ(FormatOleDate(OleDate{}), L"");
    EXPECT_NE(FormatOleDate(date).find(L' '), std::wstring::npos);
}

TEST(Dates, XmlDateTimeRoundTrip)
{
    const OleDate dates[] = {MakeDate(1971, 1, 1, 0, 0, 0), MakeDate(2000, 2, 29, 23, 59, 59),
                             MakeDate(2026, 12, 9, 20, 2, 14), MakeDate(1899, 12, 30, 0, 0, 0), OleDateNow()};
    for (const auto& date : dates) {
        ASSERT_TRUE(date.valid);
        std::wstring text = FormatXmlDateTime(date);
        OleDate back;
        ASSERT_TRUE(ParseXmlDateTime(text, back)) << text;
        EXPECT_TRUE(back.valid);
        EXPECT_NEAR(back.date, date.date, 1e-9) << text;
        EXPECT_EQ(FormatXmlDateTime(back), text);
    }
    OleDate parsed;
    EXPECT_TRUE(ParseXmlDateTime(L"2000-01-01T12:00:00.250Z", parsed));
    EXPECT_DOUBLE_EQ(parsed.date, 36526.5);
    for (const wchar_t* bad : {L"", L"garbage", L"2000-13-01T00:00:00", L"2001-02-29T00:00:00", L"2000-01-01T24:00:00",
                               L"2000-01-01", L"2000/01/01T00:00:00", L"2000-0a-01T00:00:00"}) {
        parsed = MakeDate(2000, 1, 1, 0, 0, 0);
        EXPECT_FALSE(ParseXmlDateTime(bad, parsed)) << bad;
        EXPECT_FALSE(parsed.valid) << bad;
    }
}

TEST(Errors, FormatErrorText)
{
    std::wstring text;
    EXPECT_TRUE(FormatErrorText(ERROR_FILE_NOT_FOUND, text));
    EXPECT_EQ(text.rfind(L"0x2: ", 0), 0u) << text;
    EXPECT_GT(text.size(), 5u);
    EXPECT_NE(text.back(), L'\n');
    EXPECT_FALSE(FormatErrorText(0x2BADF00Du, text));
    EXPECT_EQ(text, L"0x2badf00d: ");
}

TEST(OsVersionTest, Boundaries)
{
    struct Case {
        DWORD platform;
        DWORD major;
        DWORD minor;
        bool w2000;
        bool xp;
        bool vista;
    };
    const DWORD nt = VER_PLATFORM_WIN32_NT;
    const Case cases[] = {
        {nt, 4, 0, false, false, false},   {nt, 4, 90, false, false, false},  {nt, 5, 0, true, false, false},
        {nt, 5, 1, true, true, false},     {nt, 5, 2, true, true, false},     {nt, 6, 0, true, true, true},
        {nt, 6, 1, true, true, true},      {nt, 10, 0, true, true, true},
        {VER_PLATFORM_WIN32_WINDOWS, 5, 1, false, false, false},
    };
    for (const auto& c : cases) {
        OsVersion version(c.platform, c.major, c.minor);
        EXPECT_EQ(version.IsWindows2000OrLater(), c.w2000) << c.major << "." << c.minor;
        EXPECT_EQ(version.IsWindowsXPOrLater(), c.xp) << c.major << "." << c.minor;
        EXPECT_EQ(version.IsVistaOrLater(), c.vista) << c.major << "." << c.minor;
    }
    const OsVersion& running = GetOsVersion();
    EXPECT_TRUE(running.IsValid());
    EXPECT_TRUE(running.IsNT());
    EXPECT_EQ(&running, &GetOsVersion());
}

TEST(Modules, VersionsAndResources)
{
    std::wstring kernel = GetModuleVersionString(1, GetModuleHandleW(L"kernel32.dll"));
    EXPECT_TRUE(std::regex_match(kernel, std::wregex(L"\\d+\\.\\d+\\.\\d+\\.\\d+"))) << kernel;
    EXPECT_EQ(GetModuleVersionString(), L"");  // the test program has no version resource

    EXPECT_GE(GetDllVersion(L"comctl32.dll"), 5u << 16);
    EXPECT_EQ(GetDllVersion(L"kernel32.dll"), 0u);
    EXPECT_EQ(GetDllVersion(L"no-such-library.dll"), 0u);

    gly_test::LocaleResources resources;
    ASSERT_NE(resources.Module(), nullptr);
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    // Strings are stored in blocks of 16: string 625 lies in block 40.
    EXPECT_TRUE(LoadResourceToStream(MAKEINTRESOURCEW(625 / 16 + 1), MAKEINTRESOURCEW(6), stream));
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    EXPECT_GT(stat.cbSize.QuadPart, 0u);
    EXPECT_FALSE(LoadResourceToStream(MAKEINTRESOURCEW(4000), MAKEINTRESOURCEW(6), stream));
    EXPECT_FALSE(LoadResourceToStream(MAKEINTRESOURCEW(40), MAKEINTRESOURCEW(6), nullptr));
    stream->Release();
}

TEST(Menus, CopyMenuItemsAndFindPosition)
{
    HMENU source = CreatePopupMenu();
    HMENU sub = CreatePopupMenu();
    AppendMenuW(sub, MF_STRING, 201, L"Inner");
    AppendMenuW(source, MF_STRING, 101, L"&First");
    AppendMenuW(source, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(source, MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), L"Sub");
    AppendMenuW(source, MF_STRING | MF_GRAYED, 102, L"Last");

    HMENU target = CreatePopupMenu();
    AppendMenuW(target, MF_STRING, 100, L"Existing");
    CopyMenuItems(source, target);
    ASSERT_EQ(GetMenuItemCount(target), 5);
    wchar_t text[64];
    GetMenuStringW(target, 1, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&First");
    EXPECT_EQ(GetMenuState(target, 2, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
    HMENU copiedSub = GetSubMenu(target, 3);
    ASSERT_NE(copiedSub, nullptr);
    EXPECT_NE(copiedSub, sub);
    EXPECT_EQ(FindMenuItemPos(copiedSub, 201), 0);
    EXPECT_NE(GetMenuState(target, 4, MF_BYPOSITION) & MF_GRAYED, 0u);

    EXPECT_EQ(FindMenuItemPos(target, 102), 4);
    EXPECT_EQ(FindMenuItemPos(target, 100), 0);
    EXPECT_EQ(FindMenuItemPos(target, 999), -1);
    EXPECT_EQ(FindMenuItemPos(nullptr, 1), -1);
    DestroyMenu(source);
    DestroyMenu(target);
}

TEST(Drawing, FontsAndText)
{
    HFONT normal = CreateMessageFont(false);
    HFONT bold = CreateMessageFont(true);
    ASSERT_NE(normal, nullptr);
    ASSERT_NE(bold, nullptr);
    LOGFONTW font = {};
    GetObjectW(bold, sizeof(font), &font);
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_GT(GetFontTextHeight(normal), 0);
    EXPECT_GT(GetTextWidth(normal, L"WW"), GetTextWidth(normal, L"W"));
    EXPECT_EQ(GetTextWidth(normal, L""), 0);
    DeleteObject(normal);
    DeleteObject(bold);
}

TEST(Drawing, FillGradientRect)
{
    for (bool vertical : {false, true}) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = vertical ? 1 : 512;
        info.bmiHeader.biHeight = vertical ? -512 : 1;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECT rect = {0, 0, info.bmiHeader.biWidth, 512};
        if (!vertical)
            rect.bottom = 1;
        FillGradientRect(dc, rect, RGB(0, 0, 0), RGB(255, 0, 200), vertical);
        GdiFlush();
        const auto* pixels = static_cast<const DWORD*>(bits);  // 0x00RRGGBB
        EXPECT_EQ(pixels[0], 0x000000u);
        EXPECT_EQ(pixels[511], 0xFF00C8u);
        DWORD middle = pixels[256];
        EXPECT_GT(middle >> 16, 0x70u);
        EXPECT_LT(middle >> 16, 0x90u);
        for (int i = 1; i < 512; ++i)
            EXPECT_GE(pixels[i] >> 16, pixels[i - 1] >> 16) << i;
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
}

// ---- Clipboard ----

// ctest runs tests in parallel processes that share one clipboard: a named mutex (the same name in
// every suite that uses the clipboard) keeps them apart.
class Clipboard : public ::testing::Test {
protected:
    void SetUp() override
    {
        mutex_ = CreateMutexW(nullptr, FALSE, L"Local\\gly-tests-clipboard");
        ASSERT_NE(mutex_, nullptr);
        DWORD wait = WaitForSingleObject(mutex_, 60000);
        ASSERT_TRUE(wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED);
    }
    void TearDown() override
    {
        if (mutex_) {
            ReleaseMutex(mutex_);
            CloseHandle(mutex_);
        }
    }

private:
    HANDLE mutex_ = nullptr;
};

UINT DropEffectFormat()
{
    return RegisterClipboardFormatW(L"Preferred DropEffect");
}

// Puts raw blocks on the clipboard, as another program might.
void PutOnClipboard(const std::vector<std::pair<UINT, std::vector<unsigned char>>>& blocks)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    for (const auto& [format, bytes] : blocks) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
        GlobalUnlock(block);
        SetClipboardData(format, block);
    }
    CloseClipboard();
}

std::vector<unsigned char> DwordBytes(DWORD value)
{
    std::vector<unsigned char> bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

std::vector<unsigned char> DropBlock(DWORD offset, bool wide, const void* names, size_t namesSize)
{
    std::vector<unsigned char> bytes(sizeof(DROPFILES) + namesSize);
    DROPFILES header = {};
    header.pFiles = offset;
    header.fWide = wide;
    std::memcpy(bytes.data(), &header, sizeof(header));
    std::memcpy(bytes.data() + sizeof(header), names, namesSize);
    return bytes;
}

TEST_F(Clipboard, FileListRoundTrip)
{
    const CStringArray files = {L"C:\\Fonts\\a.ttf", L"Z:\\tmp\\with space\\b b.otf", L"C:\\\x00FC.pfm"};
    for (bool copy : {true, false}) {
        ASSERT_TRUE(CopyFilesToClipboard(files, copy));
        CStringArray read = {L"kept"};
        DWORD effect = 0;
        ASSERT_TRUE(ReadClipboardFiles(read, &effect));
        CStringArray expected = {L"kept"};
        expected.insert(expected.end(), files.begin(), files.end());
        EXPECT_EQ(read, expected);
        EXPECT_EQ(effect, copy ? 1u : 2u);
        bool isCopy = !copy;
        EXPECT_TRUE(GetClipboardFilesEffect(isCopy));
        EXPECT_EQ(isCopy, copy);
    }
    ASSERT_TRUE(EmptyClipboardNow());
    CStringArray none;
    EXPECT_FALSE(ReadClipboardFiles(none, nullptr));
    bool isCopy = false;
    EXPECT_FALSE(GetClipboardFilesEffect(isCopy));
}

TEST_F(Clipboard, DropEffects)
{
    const wchar_t names[] = L"C:\\a.ttf\0";  // with the final zero of the literal: two zeros
    const auto drop = DropBlock(sizeof(DROPFILES), true, names, sizeof(names));
    bool isCopy = false;
    DWORD effect = 0;
    CStringArray files;

    PutOnClipboard({{CF_HDROP, drop}, {DropEffectFormat(), DwordBytes(1 | 4)}});
    EXPECT_TRUE(ReadClipboardFiles(files, &effect));
    EXPECT_EQ(effect, 1u);
    EXPECT_TRUE(GetClipboardFilesEffect(isCopy));
    EXPECT_TRUE(isCopy);

    PutOnClipboard({{CF_HDROP, drop}, {DropEffectFormat(), DwordBytes(4)}});
    EXPECT_FALSE(GetClipboardFilesEffect(isCopy));

    PutOnClipboard({{CF_HDROP, drop}});
    files.clear();
    EXPECT_TRUE(ReadClipboardFiles(files, nullptr));
    EXPECT_EQ(files, CStringArray{L"C:\\a.ttf"});
    EXPECT_FALSE(ReadClipboardFiles(files, &effect));
    EXPECT_FALSE(GetClipboardFilesEffect(isCopy));

    const char ansi[] = "C:\\x.fon\0C:\\y.fon\0";
    PutOnClipboard({{CF_HDROP, DropBlock(sizeof(DROPFILES), false, ansi, sizeof(ansi))}});
    files.clear();
    EXPECT_TRUE(ReadClipboardFiles(files, nullptr));
    EXPECT_EQ(files, (CStringArray{L"C:\\x.fon", L"C:\\y.fon"}));
    EmptyClipboardNow();
}

TEST_F(Clipboard, DamagedFileListsAreRejected)
{
    CStringArray files;
    const wchar_t names[] = L"C:\\a.ttf\0";
    // The names offset points past the block.
    PutOnClipboard({{CF_HDROP, DropBlock(4096, true, names, sizeof(names))}});
    EXPECT_FALSE(ReadClipboardFiles(files, nullptr));
    // The offset points into the header.
    PutOnClipboard({{CF_HDROP, DropBlock(2, true, names, sizeof(names))}});
    EXPECT_FALSE(ReadClipboardFiles(files, nullptr));
    // The last name has no terminator: only the complete one is read.
    const wchar_t cut[] = {L'C', L':', L'\\', L'a', 0, L'C', L':', L'\\', L'b'};
    PutOnClipboard({{CF_HDROP, DropBlock(sizeof(DROPFILES), true, cut, sizeof(cut))}});
    EXPECT_TRUE(ReadClipboardFiles(files, nullptr));
    EXPECT_EQ(files, CStringArray{L"C:\\a"});
    // A header alone.
    files.clear();
    PutOnClipboard({{CF_HDROP, DropBlock(sizeof(DROPFILES), true, nullptr, 0)}});
    EXPECT_FALSE(ReadClipboardFiles(files, nullptr));
    EXPECT_TRUE(files.empty());
    EmptyClipboardNow();
}

TEST_F(Clipboard, SetClipboardText)
{
    ASSERT_TRUE(SetClipboardText(L"Caf\xE9 Bold"));
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE wide = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(wide, nullptr);
    EXPECT_STREQ(static_cast<const wchar_t*>(GlobalLock(wide)), L"Caf\xE9 Bold");
    GlobalUnlock(wide);
    HANDLE narrow = GetClipboardData(CF_TEXT);
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(narrow))).size(), 9u);
    GlobalUnlock(narrow);
    CloseClipboard();
    EmptyClipboardNow();
}

}  // namespace

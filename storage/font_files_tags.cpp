#include "storage/font_files_tags.h"

#include <cwchar>
#include <mutex>
#include <string_view>
#include <unordered_map>

const wchar_t* const FontFilesTagTable[kFontFilesTagCount] = {
    L"a",  L"b",  L"c",  L"d",  L"e",  L"f",  L"g",  L"h",  L"i",  L"j",  L"k",  L"l",  L"m",  L"n",  L"o",
    L"p",  L"q",  L"r",  L"s",  L"t",  L"u",  L"v",  L"w",  L"x",  L"y",  L"z",  L"a0", L"a1", L"a2", L"a3",
    L"a4", L"a5", L"a6", L"a7", L"a8", L"a9", L"b0", L"b1", L"b2", L"b3", L"b4", L"b5", L"b6", L"b7", L"b8",
    L"b9", L"c0", L"c1", L"c2", L"c3", L"c4", L"c5", L"c6", L"c7", L"c8", L"c9", L"d0", L"d1", L"d2", L"d3",
    L"d4", L"d5", L"d6", L"d7", L"d8", L"d9", L"e0", L"e1", L"e2", L"e3", L"e4", L"e5", L"e6", L"e7",
};

namespace {
std::once_flag g_tagMapOnce;
std::unordered_map<std::wstring_view, int>* g_tagMap = nullptr;
}  // namespace

void BuildTagMap()
{
    // Built once and kept for the whole run; the views point into the table.
    std::call_once(g_tagMapOnce, [] {
        static std::unordered_map<std::wstring_view, int> map;
        for (int i = 0; i < kFontFilesTagCount; ++i)
            map.emplace(FontFilesTagTable[i], i);
        g_tagMap = &map;
    });
}

int LookupTag(const wchar_t* name, int length)
{
    if (!name)
        return -1;
    BuildTagMap();
    std::wstring_view key(name, length < 0 ? std::wcslen(name) : static_cast<size_t>(length));
    auto found = g_tagMap->find(key);
    return found == g_tagMap->end() ? -1 : found->second;
}

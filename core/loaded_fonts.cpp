#include "core/loaded_fonts.h"

#include "core/font_resource_loader.h"

#include "core/helpers.h"

CFontArrayGLYLoaded& GetGLYLoadedFonts()
{
    static CFontArrayGLYLoaded list;
    return list;
}

int CFontArrayGLYLoaded::AddSorted(const CFontItemGLYLoaded& item)
{
    int lo = 0, hi = GetSize() - 1;
    while (lo <= hi) {
        const int mid = lo + (hi - lo + 1) / 2;
        const int c = CompareLocale(item.family, (*this)[mid].family, false);
        if (c == 0) {
            insert(begin() + mid, item);
            return mid;
        }
        if (c < 0)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    insert(begin() + lo, item);
    return lo;
}

int CFontArrayGLYLoaded::Find(const CFontItemInfo& record, bool setMark)
{
    const std::wstring family = record.GetName(NameFamily, -1);
    int found = -1;
    int lo = 0, hi = GetSize() - 1;
    while (lo <= hi) {
        const int mid = lo + (hi - lo + 1) / 2;
        const int c = CompareLocale(family, (*this)[mid].family, true);
        if (c == 0) {
            found = mid;
            break;
        }
        if (c < 0)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    if (found < 0)
        return -1;

    const std::wstring fullName = record.GetName(NameFull, -1);
    const std::wstring postScript = record.GetName(NamePostScript, -1);
    auto matches = [&](const CFontItemGLYLoaded& e) {
        if (fullName.empty() && postScript.empty())
            return true;
        if (!fullName.empty())
            return CompareLocale(e.fullName, fullName, true) == 0;
        return CompareLocale(e.postScriptName, postScript, true) == 0;
    };
    auto sameFamily = [&](int i) { return CompareLocale((*this)[i].family, family, true) == 0; };

    int match = -1;
    if (fullName.empty() && postScript.empty()) {
        match = found;
    } else {
        for (int i = found; i < GetSize() && sameFamily(i); ++i) {
            if (matches((*this)[i])) {
                match = i;
                break;
            }
        }
        for (int i = found - 1; match < 0 && i >= 0 && sameFamily(i); --i) {
            if (matches((*this)[i]))
                match = i;
        }
    }
    if (match >= 0 && setMark)
        (*this)[match].mark = 1;
    return match;
}

bool CFontArrayGLYLoaded::UnloadsAtExit(const CFontItemGLYLoaded& item, bool keepPrivate)
{
    return !(keepPrivate && item.kind != KindType1 && item.publicLoad == 0);
}

void CFontArrayGLYLoaded::MakeUnloadRecord(const CFontItemGLYLoaded& item, CFontItemInfo& outRecord, std::wstring& outFolder)
{
    outRecord.Reset();
    outRecord.kind = item.kind;
    outRecord.path = item.file;
    outRecord.loaded = 1;
    outRecord.trackedLoad = 1;
    const int set = outRecord.names.Add(0, 0, 0);
    outRecord.names[set].strings[NameFamily] = item.family;
    outRecord.names[set].strings[NamePostScript] = item.postScriptName;
    outRecord.defaultNames = set;
    // The folder of the file: the path without its file name and without a trailing backslash.
    const size_t slash = item.file.find_last_of(L"\\/");
    outFolder = slash == std::wstring::npos ? std::wstring() : item.file.substr(0, slash);
    while (!outFolder.empty() && outFolder.back() == L'\\')
        outFolder.pop_back();
}

void CFontArrayGLYLoaded::UnloadAll(bool keepPrivate)
{
    UnloadAllGLYLoaded(*this, keepPrivate);
}

#include "core/installed_fonts.h"

#include <algorithm>

#include "core/bitmap_reader.h"
#include "core/font_environment.h"
#include "core/helpers.h"
#include "core/sfnt_reader.h"
#include "core/type1_reader.h"

namespace {

std::wstring Trim(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos)
        return {};
    const size_t last = text.find_last_not_of(L" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::wstring HyphensAsSpaces(std::wstring text)
{
    std::replace(text.begin(), text.end(), L'-', L' ');
    return text;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b)
{
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

// The kind groups in their order: sfnt kinds, Type 1 kinds, then every other kind by its code.
int KindRank(int kind)
{
    if (IsSfntKind(kind))
        return 0;
    if (IsType1Kind(kind))
        return 1;
    return 2 + BaseKind(kind);
}

int Sign(int value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// Enumerates the values of a key below the version key, stopping when cancelled.
template <typename Visit>
void ForEachValue(const std::wstring& keyPath, const std::atomic<int32_t>& cancel, Visit visit)
{
    RegistryKey key;
    if (key.Open(GetFontEnvironment().registryRoot, keyPath, KEY_READ) != ERROR_SUCCESS)
        return;
    RegistryValue value;
    for (DWORD index = 0; cancel.load() == 0 && EnumRegistryValue(key.Get(), index, value); ++index)
        visit(value);
}

// The file as the reader sees it: a bare name lies in the fonts folder and is recorded as that name.
void ResolveInstalledFile(const std::wstring& file, std::wstring& outPath, std::wstring& outDisplay)
{
    if (file.find(L'\\') == std::wstring::npos) {
        outPath = GetFontEnvironment().fontsFolder + L"\\" + file;
        outDisplay = file;
    } else {
        outPath = file;
        outDisplay.clear();
    }
}

}  // namespace

CRegistryInstalledFontArray& GetInstalledFontArray()
{
    static CRegistryInstalledFontArray array;
    return array;
}

CRegistryInstalledFontItem& GetInstalledFontLookupKey()
{
    static CRegistryInstalledFontItem key;
    return key;
}

CFontItemArray& GetInstalledFontRecords()
{
    static CFontItemArray records;
    return records;
}

void CRegistryInstalledFontItem::SetName(const std::wstring& text, bool keep)
{
    if (keep) {
        alternateName = name;
        name = text;
    } else {
        alternateName = text;
    }
}

std::wstring CRegistryInstalledFontItem::GetFileName(bool withCompanion) const
{
    if (withCompanion && !companionFile.empty())
        return file + L" | " + companionFile;
    return file;
}

int CRegistryInstalledFontItem::CompareKey(const std::wstring& keyName, int keyKind) const
{
    const std::wstring other = IsType1Kind(keyKind) ? HyphensAsSpaces(keyName) : keyName;
    if (keyKind != -1) {
        const int rankA = KindRank(kind), rankB = KindRank(keyKind);
        if (rankA != rankB)
            return rankA < rankB ? -1 : 1;
    }
    int result = Sign(CompareLocale(name, other, true));
    if (result != 0 && !alternateName.empty() && CompareLocale(alternateName, other, true) == 0)
        result = 0;
    return result;
}

int CompareRegistryInstalledFontItems(const CRegistryInstalledFontItem& a, const CRegistryInstalledFontItem& b)
{
    return a.CompareKey(b.name, b.kind);
}

int CRegistryInstalledFontArray::InsertSorted(const CRegistryInstalledFontItem& item)
{
    if (item.name.empty())
        return -1;
    // After the last entry that does not sort above the new one.
    size_t lo = 0, hi = size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (CompareRegistryInstalledFontItems(item, (*this)[mid]) < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    insert(begin() + static_cast<ptrdiff_t>(lo), item);
    return static_cast<int>(lo);
}

int CRegistryInstalledFontArray::FindKey(const std::wstring& keyName, int keyKind) const
{
    if (keyName.empty() || empty())
        return -1;
    const auto search = [&](int lo, int hi) {
        while (lo <= hi) {
            const int mid = lo + (hi - lo) / 2;
            const int c = (*this)[mid].CompareKey(keyName, keyKind);
            if (c == 0)
                return mid;
            if (c < 0)
                lo = mid + 1;
            else
                hi = mid - 1;
        }
        return -1;
    };
    if (keyKind != -1)
        return search(0, GetSize() - 1);
    // Any kind: the array is ordered by name only within each kind group, so search group by group.
    for (int start = 0; start < GetSize();) {
        const int rank = KindRank((*this)[start].kind);
        const auto groupEnd = std::partition_point(begin() + start, end(), [&](const CRegistryInstalledFontItem& e) {
            return KindRank(e.kind) <= rank;
        });
        const int end = static_cast<int>(groupEnd - begin());
        const int found = search(start, end - 1);
        if (found >= 0)
            return found;
        start = std::max(end, start + 1);
    }
    return -1;
}

bool CRegistryInstalledFontArray::FindIndicesForFont(const CFontItemInfo& record, CDWordArray& out,
                                                     const CFontItemArray* records) const
{
    out.clear();
    const int index = FindKey(record.GetRegistryName(), record.kind);
    if (index < 0)
        return false;
    const CFontItemArray& list = records ? *records : GetInstalledFontRecords();
    const int position = list.FindByItemId((*this)[index].key);
    if (position < 0)
        return false;
    out.push_back(static_cast<uint32_t>(position));
    return true;
}

bool CRegistryInstalledFontArray::IsSubstituteName(const std::wstring& faceName) const
{
    // The list is sorted by SortedInsert's locale order; the match must be exact.
    auto it = std::lower_bound(substituteNames.begin(), substituteNames.end(), faceName,
                               [](const std::wstring& a, const std::wstring& b) { return CompareLocale(a, b, false) < 0; });
    for (; it != substituteNames.end() && CompareLocale(*it, faceName, false) == 0; ++it)
        if (*it == faceName)
            return true;
    return false;
}

void CRegistryInstalledFontArray::LoadAll()
{
    cancel = 0;
    clear();
    substituteNames.clear();
    ReadRegistryFonts();
    if (Cancelled())
        return;
    ReadRegistryType1Fonts();
    if (Cancelled())
        return;
    ReadSystemFonts();
    if (Cancelled())
        return;
    ReadFontSubstitutes();
}

void CRegistryInstalledFontArray::ReadRegistryFonts()
{
    if (GetFontEnvironment().fontsFolder.empty())
        return;
    ForEachValue(FontRegistryVersionKey() + L"\\Fonts", cancel, [&](const RegistryValue& value) {
        if (value.type != REG_SZ && value.type != REG_EXPAND_SZ)
            return;
        const std::wstring file = value.Text();
        const std::wstring extension = GetFileExt(file);
        CStringArray faces;
        SplitString(value.name, L"&", &faces);
        if (faces.empty())
            return;

        int kind = -1;
        CStringArray parts;
        SplitString(faces.back(), L"(", &parts);
        if (parts.size() > 1) {
            faces.back() = parts.front();
            std::wstring type = parts.back();
            const size_t close = type.find(L')');
            if (close != std::wstring::npos)
                type.erase(close);
            type = Trim(type);
            kind = EqualsNoCase(type, L"TrueType") ? KindTrueType : EqualsNoCase(type, L"OpenType") ? KindOpenType : KindBitmap;
        } else if (EqualsNoCase(extension, L"ttf")) {
            kind = KindTrueType;
        } else if (EqualsNoCase(extension, L"otf")) {
            kind = KindOpenType;
        } else if (EqualsNoCase(extension, L"ttc")) {
            kind = KindCollection;
        } else if (EqualsNoCase(extension, L"fon")) {
            kind = KindBitmap;
        } else {
            return;
        }

        if (kind == KindBitmap) {
            // "Courier 10,12,15": the face without its point sizes.
            std::wstring face;
            if (RegexSearch(faces.front(), L"(.*)(?:\\s\\d+,)+", face, true, false, 1))
                faces.front() = face;
        }

        CRegistryInstalledFontItem item;
        item.file = file;
        if (faces.size() > 1 && EqualsNoCase(extension, L"ttc")) {
            item.kind = KindCollection;
            for (const std::wstring& face : faces) {
                item.name = Trim(face);
                InsertSorted(item);
            }
            return;
        }
        item.kind = kind;
        if (faces.size() == 1) {
            item.name = Trim(faces.front());
        } else {
            for (size_t i = 0; i < faces.size(); ++i)
                item.name += (i ? L"&" : L"") + faces[i];
        }
        InsertSorted(item);
    });
}

void CRegistryInstalledFontArray::ReadRegistryType1Fonts()
{
    if (GetFontEnvironment().fontsFolder.empty())
        return;
    ForEachValue(FontRegistryVersionKey() + L"\\Type 1 Installer\\Type 1 Fonts", cancel, [&](const RegistryValue& value) {
        if (!value.IsText())
            return;
        // "T", the .pfm, the .pfb: a one-character flag and its terminator come first.
        const std::wstring chars = value.Characters();
        CRegistryInstalledFontItem item;
        if (chars.size() > 2) {
            const size_t pfmEnd = chars.find(L'\0', 2);
            item.file = chars.substr(2, pfmEnd - 2);
            if (chars[0] == L'T' && pfmEnd != std::wstring::npos && pfmEnd + 1 < chars.size())
                item.companionFile = chars.substr(pfmEnd + 1, chars.find(L'\0', pfmEnd + 1) - (pfmEnd + 1));
        }
        item.name = Trim(HyphensAsSpaces(value.name));
        item.kind = KindType1;
        InsertSorted(item);
    });
}

void CRegistryInstalledFontArray::ReadSystemFonts()
{
    if (GetFontEnvironment().fontsFolder.empty())
        return;
    const std::wstring key = FontRegistryVersionKey() + L"\\GRE_Initialize";
    ReadSystemFontKey(key);
    if (FontEnvironmentVersion().IsVistaOrLater()) {
        if (Cancelled())
            return;
        ReadSystemFontKey(key + L"\\LargeFont");
        if (Cancelled())
            return;
        ReadSystemFontKey(key + L"\\SmallFont");
    }
}

void CRegistryInstalledFontArray::ReadSystemFontKey(const std::wstring& keyPath)
{
    ForEachValue(keyPath, cancel, [&](const RegistryValue& value) {
        if (value.type != REG_SZ && value.type != REG_EXPAND_SZ)
            return;
        const std::wstring data = value.Text();
        if (EqualsNoCase(value.name, L"FIXEDFON.FON") || EqualsNoCase(value.name, L"FONTS.FON") ||
            EqualsNoCase(value.name, L"OEMFONT.FON")) {
            if (data.empty())
                return;
            const std::wstring path =
                data.find(L'\\') == std::wstring::npos ? GetFontEnvironment().fontsFolder + L"\\" + data : data;
            CFontItemArray faces;
            BitmapFontReader reader;
            reader.ReadFonFile(path, data, faces);
            for (const CFontItemInfo& record : faces) {
                for (const CFontStrings& names : record.names) {
                    CRegistryInstalledFontItem item;
                    item.name = Trim(names.strings[NameFull].empty() ? names.strings[NameFamily] : names.strings[NameFull]);
                    item.file = data;
                    item.kind = KindBitmap;
                    item.systemFont = 1;
                    InsertSorted(item);
                }
            }
        } else if (EqualsNoCase(value.name, L"GUIFont.Facename")) {
            const int index = FindKey(data, -1);
            if (index >= 0)
                (*this)[index].systemFont = 1;
        }
    });
}

void CRegistryInstalledFontArray::ReadFontSubstitutes()
{
    if (GetFontEnvironment().fontsFolder.empty())
        return;
    ForEachValue(FontRegistryVersionKey() + L"\\FontSubstitutes", cancel, [&](const RegistryValue& value) {
        if (value.Text().find(L',') == std::wstring::npos)
            return;
        SortedInsert(substituteNames, value.name.substr(0, value.name.find(L',')));
    });
}

bool CRegistryInstalledFontItem::ReadFontFile(CFontItemArray& array) const
{
    if (file.empty())
        return false;
    std::wstring path, display;
    ResolveInstalledFile(file, path, display);
    const std::wstring extension = GetFileExt(file);
    const int before = array.GetSize();
    if (EqualsNoCase(extension, L"fon")) {
        array.RemoveAll();
        BitmapFontReader reader;
        reader.ReadFonFile(path, display, array);
        return array.GetSize() > 0;
    }
    if (EqualsNoCase(extension, L"fnt")) {
        array.RemoveAll();
        BitmapFontReader reader;
        reader.ReadFntFile(path, display, &array);
        return array.GetSize() > 0;
    }
    if (EqualsNoCase(extension, L"ttf") || EqualsNoCase(extension, L"otf"))
        ReadSfntFile(path, display, array);
    else if (EqualsNoCase(extension, L"ttc"))
        ReadTtcFile(path, display, array);
    else if (EqualsNoCase(extension, L"pfm"))
        Type1FontReader().ReadType1FontFile(GetFontEnvironment().fontsFolder, file, array, companionFile);
    return array.GetSize() > before;
}

bool CRegistryInstalledFontItem::GetFontRecord(CFontItemInfo& out, const wchar_t* faceName) const
{
    CFontItemArray faces;
    if (!ReadFontFile(faces))
        return false;
    for (const CFontItemInfo& record : faces) {
        if (!faceName || CompareLocale(record.GetName(NameFull, -1), faceName, true) == 0) {
            out = record;
            return true;
        }
    }
    return false;
}

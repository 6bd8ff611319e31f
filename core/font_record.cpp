#include "core/font_record.h"

#include <cstring>

#include "core/panose.h"
#include "core/resource_strings.h"

namespace {

constexpr uint32_t kEnglishUs = 1033;
constexpr uint16_t kAnyId = 0xFFFF;

int Sign(int64_t value) { return value > 0 ? 1 : (value < 0 ? -1 : 0); }

bool IsNameColumn(int column)
{
    switch (column) {
    case 0: case 1: case 2: case 3: case 7: case 9: case 17: return true;
    default: return false;
    }
}

// The vendor id up to its terminator; a block read from a set file may lack one.
std::wstring VendorText(const FontMetrics& metrics)
{
    const wchar_t* vendor = metrics.sfnt.vendorId;
    size_t length = 0;
    while (length < 5 && vendor[length])
        ++length;
    return std::wstring(vendor, length);
}

int WeightOf(const CFontItemInfo& item)
{
    return IsSfntKind(item.kind) ? item.metrics.sfnt.usWeightClass : item.metrics.win.dfWeight;
}

std::wstring StatusText(const CFontItemInfo& item)
{
    if (!item.loaded)
        return LoadResString(item.installed ? 633 : 631);
    UINT id = 634;
    if (item.setLoaded)
        id = 632;
    else if (item.trackedLoad)
        id = 636;
    else if (item.inUse)
        id = 637;
    std::wstring text = LoadResString(id);
    if (IsType1Kind(item.kind) && (item.inUse || item.trackedLoad))
        text += L". " + LoadResString(670);
    return text;
}

}  // namespace

// ---- CFontStrings, CFontStringsArray ----

void CFontStrings::Clear()
{
    language = 0;
    platform = 0;
    encoding = 0;
    for (auto& text : strings)
        text.clear();
}

int CFontStringsArray::Find(uint32_t language, uint16_t platform, uint16_t encoding) const
{
    for (size_t i = 0; i < m_sets.size(); ++i) {
        const CFontStrings& set = m_sets[i];
        if (set.language == language && (platform == kAnyId || set.platform == platform) &&
            (encoding == kAnyId || set.encoding == encoding))
            return static_cast<int>(i);
    }
    return -1;
}

int CFontStringsArray::Add(uint32_t language, uint16_t platform, uint16_t encoding)
{
    m_sets.emplace_back(language, platform, encoding);
    return static_cast<int>(m_sets.size()) - 1;
}

int CFontStringsArray::ChooseDefault(uint16_t platform, uint16_t encoding) const
{
    static const uint32_t userLocale = GetUserDefaultLCID();
    int english = -1;
    int first = -1;
    for (size_t i = 0; i < m_sets.size(); ++i) {
        const CFontStrings& set = m_sets[i];
        if (set.language == 0 || set.strings[NameFamily].empty() || set.platform != platform || set.encoding != encoding)
            continue;
        if (set.language == userLocale)
            return static_cast<int>(i);
        if (english < 0 && set.language == kEnglishUs)
            english = static_cast<int>(i);
        if (first < 0)
            first = static_cast<int>(i);
    }
    return english >= 0 ? english : first;
}

CFontStrings* CFontStringsArray::GetAt(int index)
{
    return index >= 0 && static_cast<size_t>(index) < m_sets.size() ? &m_sets[index] : nullptr;
}

const CFontStrings* CFontStringsArray::GetAt(int index) const
{
    return index >= 0 && static_cast<size_t>(index) < m_sets.size() ? &m_sets[index] : nullptr;
}

// ---- CFontItemInfo ----

CFontItemInfo::CFontItemInfo()
{
    Reset();
}

CFontItemInfo::CFontItemInfo(const CFontItemInfo& other) = default;
CFontItemInfo& CFontItemInfo::operator=(const CFontItemInfo& other) = default;

void CFontItemInfo::Reset()
{
    std::memset(&metrics, 0, sizeof(metrics));
    names.RemoveAll();
    language = -1;
    defaultNames = 0;
    path.clear();
    kind = 0;
    kerningPairs = -1;
    glyphs = -1;
    fileSize = 0;
    fileDate = OleDateNow();
    fsType = 0xFFFF;
    itemId = -1;
    collectionId = -1;
    loaded = 0;
    installed = 0;
    inUse = 0;
    trackedLoad = 0;
    setLoaded = 0;
    previewable = 1;
    statusWordB = 0;
    imageIndex = -1;
    previewValue1 = -1;
    previewValue2 = 0;
    setEntryId = -1;
    storedPath.clear();
    baseFolder.clear();
    checkMark = 0;
}

const CFontStrings* CFontItemInfo::DefaultStrings() const
{
    return names.GetAt(defaultNames);
}

const CFontStrings* CFontItemInfo::GetFontStrings(int lang) const
{
    if (names.IsEmpty())
        return nullptr;
    if (lang == -1)
        return DefaultStrings();
    return names.GetAt(names.Find(static_cast<uint32_t>(lang), kAnyId, kAnyId));
}

CFontStrings* CFontItemInfo::GetFontStrings(int lang)
{
    return const_cast<CFontStrings*>(static_cast<const CFontItemInfo*>(this)->GetFontStrings(lang));
}

void CFontItemInfo::GetName(std::wstring& out, int nameId, int lang) const
{
    out.clear();
    const CFontStrings* set = GetFontStrings(lang);
    if (set && nameId >= 0 && nameId < kFontNameCount)
        out = set->strings[nameId];
}

std::wstring CFontItemInfo::GetName(int nameId, int lang) const
{
    std::wstring out;
    GetName(out, nameId, lang);
    return out;
}

std::wstring CFontItemInfo::GetRegistryName() const
{
    return GetName(IsType1Kind(kind) ? NamePostScript : NameFull);
}

std::wstring CFontItemInfo::GetPreferredFamilyName() const
{
    if (IsType1Kind(kind)) {
        std::wstring windowsName = GetName(NameTypographicFamily);
        if (!windowsName.empty())
            return windowsName;
    }
    return GetName(NameFamily);
}

void CFontItemInfo::GetFilePath(std::wstring& out, bool pfmOnly) const
{
    out = storedPath.empty() ? path : storedPath;
    if (pfmOnly && IsType1Kind(kind)) {
        std::wstring pfm, pfb;
        SplitType1Pair(out, pfm, pfb);
        out = pfm;
    }
}

void CFontItemInfo::GetBaseFolderPath(std::wstring& out, const std::wstring& folder) const
{
    out = baseFolder.empty() ? folder : CombinePath(baseFolder, folder);
}

void CFontItemInfo::GetFullPath(std::wstring& out) const
{
    if (baseFolder.empty()) {
        out = storedPath;
        return;
    }
    std::wstring pfm, pfb;
    if (IsType1Kind(kind) && SplitType1Pair(storedPath, pfm, pfb)) {
        out = CombinePath(pfm, baseFolder) + L" | " + CombinePath(pfb, baseFolder);
        return;
    }
    out = FormatString(L"%s\\%s", baseFolder.c_str(), storedPath.c_str());
}

bool CFontItemInfo::ResolvePaths(const std::wstring& folder, CStringArray& outFiles, bool showError) const
{
    CStringArray parts;
    SplitString(path, L"|", &parts);
    for (const std::wstring& part : parts) {
        std::wstring file = CombinePath(part, folder);
        if (!FileExists(file)) {
            if (showError) {
                const std::wstring message = FormatString(LoadResString(583).c_str(), file.c_str());
                MessageBoxW(nullptr, message.c_str(), nullptr, MB_OK | MB_ICONERROR);
            }
            return false;
        }
        outFiles.push_back(std::move(file));
    }
    return true;
}

uint32_t StoredFileSize(uint64_t size)
{
    return size > 4294967294ull ? 0 : static_cast<uint32_t>(size);
}

void CFontItemInfo::SetFileInfo(HANDLE fileHandle)
{
    LARGE_INTEGER size;
    if (GetFileSizeEx(fileHandle, &size))
        fileSize = StoredFileSize(static_cast<uint64_t>(size.QuadPart));

    FILETIME created, local;
    SYSTEMTIME systemTime;
    if (GetFileTime(fileHandle, &created, nullptr, nullptr) && FileTimeToLocalFileTime(&created, &local) &&
        FileTimeToSystemTime(&local, &systemTime)) {
        OleDate date;
        date.valid = SystemTimeToOleDate(systemTime, date.date);
        fileDate = date;
    }
}

void CFontItemInfo::ReadFileInfo(const std::wstring& folder)
{
    if (path.empty())
        return;
    std::wstring file;
    GetFilePath(file, true);
    file = CombinePath(file, folder);
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    SetFileInfo(handle);
    CloseHandle(handle);
}

bool CFontItemInfo::MatchesText(const std::wstring& pattern, bool caseSensitive, bool exact) const
{
    const CFontStrings* set = GetFontStrings(-1);
    if (!set)
        return false;
    static const int order[] = {NameNotice, NameFamily, NameFull, NameManufacturer, NamePostScript, NameSubfamily,
                                NameUniqueId};
    for (int id : order) {
        if (CompareText(set->strings[id], pattern, caseSensitive, exact))
            return true;
    }
    return false;
}

BOOL CFontItemInfo::GetEnglishNames(std::wstring& outPostScript, std::wstring& outFamily, std::wstring& outStyle) const
{
    if (const CFontStrings* english = names.GetAt(names.Find(kEnglishUs, kAnyId, kAnyId))) {
        outPostScript = english->strings[NamePostScript];
        outFamily = english->strings[NameFamily];
        outStyle = english->strings[NameSubfamily];
        return TRUE;
    }
    // Otherwise the names of the record's own language, falling back on the PostScript name where
    // they are not plain ASCII (callers compare them with names that hosts send).
    const CFontStrings* set = GetFontStrings(language);
    if (!set) {
        if (language != -1)
            return FALSE;
        outPostScript.clear();
        outFamily.clear();
        outStyle.clear();
        return TRUE;
    }
    outPostScript = set->strings[NamePostScript];
    const std::wstring& family = set->strings[NameFamily];
    const std::wstring& style = set->strings[NameSubfamily];
    outFamily = IsAsciiText(family) ? family : outPostScript;
    outStyle = IsAsciiText(style) ? style : outPostScript;
    return TRUE;
}

bool CFontItemInfo::IsBold() const
{
    return IsSfntKind(kind) ? (metrics.sfnt.fsSelection & 0x20) != 0 : metrics.win.dfWeight > 400;
}

bool CFontItemInfo::IsItalic() const
{
    return IsSfntKind(kind) ? (metrics.sfnt.fsSelection & 0x01) != 0 : (metrics.win.dfItalic & 1) != 0;
}

bool CFontItemInfo::IsUnderline() const
{
    return IsSfntKind(kind) ? (metrics.sfnt.fsSelection & 0x02) != 0 : (metrics.win.dfUnderline & 1) != 0;
}

bool CFontItemInfo::IsLarge() const
{
    return fileSize > 0x80000 || kerningPairs > 2500;
}

int CFontItemInfo::GetStatusOrder() const
{
    if (installed)
        return 10;
    if (!loaded)
        return 9;
    if (setLoaded)
        return 6;
    if (trackedLoad)
        return 7;
    if (inUse != 0)
        return 8;
    return 5;
}

std::wstring CFontItemInfo::GetColumnText(int column) const
{
    const CFontStrings* set = GetFontStrings(-1);
    if (IsNameColumn(column) && !set)
        return {};
    const bool sfnt = IsSfntKind(kind);
    switch (column) {
    case 0: return set->strings[NameFamily];
    case 1: return set->strings[NameFull].empty() ? set->strings[NameFamily] : set->strings[NameFull];
    case 2: return set->strings[NamePostScript];
    case 3: return set->strings[NameUniqueId];
    case 4: return path;
    case 5: return FormatThousands(fileSize);
    case 6: return FormatOleDate(fileDate);
    case 7: return set->strings[NameManufacturer];
    case 8: return sfnt ? VendorText(metrics) : std::wstring();
    case 9: return set->strings[NameNotice];
    case 10: return glyphs >= 0 ? FormatString(L"%d", glyphs) : std::wstring();
    case 11: return kerningPairs >= 0 ? FormatString(L"%d", kerningPairs) : std::wstring();
    case 12: return sfnt ? PanoseToHex(metrics.sfnt.panose, true) : std::wstring();
    case 13: return WeightClassToText(WeightOf(*this));
    case 14: return sfnt ? WidthClassToText(metrics.sfnt.usWidthClass) : std::wstring();
    case 15: return sfnt ? FormatString(L"%d", metrics.sfnt.unitsPerEm) : std::wstring();
    case 16: return GetKindText(kind);
    case 17: return set->strings[NameDesigner];
    case 19: return StatusText(*this);
    default: return {};
    }
}

// ---- GDI metrics ----

bool FillFontMetricsFromTextMetric(FontMetrics& metrics, const LOGFONTW* logFont, const NEWTEXTMETRICW* textMetric)
{
    WinFontMetrics& win = metrics.win;
    if (logFont) {
        win.dfCharSet = logFont->lfCharSet;
        win.dfPitchAndFamily = logFont->lfPitchAndFamily;
    }
    if (textMetric) {
        win.dfFirstChar = static_cast<uint8_t>(textMetric->tmFirstChar);
        win.dfLastChar = static_cast<uint8_t>(textMetric->tmLastChar);
        win.dfDefaultChar = static_cast<uint8_t>(textMetric->tmDefaultChar);
        win.dfBreakChar = static_cast<uint8_t>(textMetric->tmBreakChar);
        win.dfItalic = textMetric->tmItalic;
        win.dfUnderline = textMetric->tmUnderlined;
        win.dfStrikeOut = textMetric->tmStruckOut;
        win.dfAscent = static_cast<uint16_t>(textMetric->tmAscent);
        win.dfWeight = static_cast<uint16_t>(textMetric->tmWeight);
        win.dfPixHeight = static_cast<uint16_t>(textMetric->tmHeight);
        win.dfPixWidth = static_cast<uint16_t>(textMetric->ntmAvgWidth);
        win.dfFlags = textMetric->ntmFlags;
        win.dfInternalLeading = static_cast<uint16_t>(textMetric->tmInternalLeading);
        win.dfExternalLeading = static_cast<uint16_t>(textMetric->tmExternalLeading);
        win.dfPoints = static_cast<uint16_t>(textMetric->tmHeight - textMetric->tmInternalLeading);
    }
    return true;
}

bool FillFontMetricsFromTextMetricEx(FontMetrics& metrics, const LOGFONTW* logFont, const NEWTEXTMETRICW* textMetric)
{
    FillFontMetricsFromTextMetric(metrics, logFont, textMetric);
    return logFont || textMetric;
}

// ---- Property texts ----

std::wstring WeightClassToText(int weight)
{
    UINT id;
    if (weight < 100)
        id = 288;
    else if (weight <= 200)
        id = 508;
    else if (weight <= 300)
        id = 298;
    else if (weight <= 400)
        id = 381;
    else if (weight <= 500)
        id = 300;
    else if (weight <= 600)
        id = 509;
    else if (weight <= 700)
        id = 302;
    else if (weight <= 800)
        id = 510;
    else if (weight <= 900)
        id = 511;
    else
        return FormatString(L"%d", weight);
    return FormatString(L"%d (%s)", weight, LoadResString(id).c_str());
}

std::wstring WidthClassToText(int width)
{
    struct WidthName {
        UINT id;
        const wchar_t* percent;
    };
    static const WidthName widths[] = {
        {512, L"50"}, {513, L"62.5"}, {310, L"75"},  {514, L"87.5"}, {300, nullptr},
        {516, L"112.5"}, {382, L"125"}, {517, L"150"}, {518, L"200"},
    };
    if (width < 1 || width > 9)
        return FormatString(L"%d", width);
    const WidthName& entry = widths[width - 1];
    const std::wstring name = LoadResString(entry.id);
    const std::wstring detail = entry.percent ? FormatString(LoadResString(519).c_str(), entry.percent) : LoadResString(515);
    return FormatString(L"%s(%s)", name.c_str(), detail.c_str());
}

std::wstring GetCharsetName(int charSet)
{
    UINT id;
    switch (charSet) {
    case 0: id = 521; break;
    case 1: id = 532; break;
    case 2: id = 522; break;
    case 77: id = 539; break;
    case 128: id = 541; break;
    case 129: id = 538; break;
    case 130: id = 544; break;
    case 134: id = 536; break;
    case 136: id = 534; break;
    case 161: id = 537; break;
    case 162: id = 542; break;
    case 163: id = 543; break;
    case 177: id = 546; break;
    case 178: id = 545; break;
    case 186: id = 533; break;
    case 204: id = 540; break;
    case 222: id = 547; break;
    case 238: id = 535; break;
    case 255: id = 523; break;
    default: return {};
    }
    return LoadResString(id);
}

std::wstring GetPitchAndFamilyText(int pitchAndFamily)
{
    std::wstring text = LoadResString((pitchAndFamily & 1) ? 524 : 181);
    const int family = pitchAndFamily & 0xF0;
    if (family <= 0x50)
        text += L", " + LoadResString(526 + family / 0x10);
    return text;
}

std::wstring GetEmbeddingText(const CFontItemInfo& item)
{
    const int kind = BaseKind(item.kind);
    if (kind != KindOpenType && kind != KindTrueType)
        return {};
    std::wstring text = FormatString(L"0x%04x", static_cast<unsigned>(item.fsType));
    switch (item.fsType) {
    case 0: text += L", " + LoadResString(639); break;
    case 2: text += L", " + LoadResString(640); break;
    case 4: text += L", " + LoadResString(641); break;
    case 8: text += L", " + LoadResString(642); break;
    default: break;
    }
    if (item.fsType & 0x100)
        text += L", " + LoadResString(643);
    if (item.fsType & 0x200)
        text += L", " + LoadResString(644);
    return text;
}

std::wstring GetKindText(int kind)
{
    switch (BaseKind(kind)) {
    case KindOpenType: return LoadResString(627);
    case KindTrueType: return LoadResString(625);
    case KindBitmap: return LoadResString(629);
    case KindCollection: return LoadResString(626);
    case KindType1: return LoadResString(628);
    default: return {};
    }
}

// ---- Comparator ----

int CompareFontItems(const CFontItemInfo& a, const CFontItemInfo& b, int column)
{
    if (column == 255)
        return 0;
    const CFontStrings* namesA = a.GetFontStrings(-1);
    const CFontStrings* namesB = b.GetFontStrings(-1);
    if (IsNameColumn(column) && (!namesA || !namesB)) {
        if (!namesA && namesB)
            return -1;
        if (namesA && !namesB)
            return 1;
        return 0;
    }
    auto compareName = [&](int id) { return CompareLocale(namesA->strings[id], namesB->strings[id], true); };
    const bool sfntA = IsSfntKind(a.kind);
    const bool sfntB = IsSfntKind(b.kind);

    int64_t result = 0;
    switch (column) {
    case 0: {
        const std::wstring& familyA = namesA->strings[NameFamily];
        const std::wstring& familyB = namesB->strings[NameFamily];
        result = CompareLocale(familyA, familyB, true);
        // Families that agree in their first 31 characters count as equal (the limit of a LOGFONT face name).
        if (result != 0 && familyA.size() >= 31 && familyB.size() >= 31)
            result = CompareLocaleN(familyA.c_str(), familyB.c_str(), 31, 31, true);
        break;
    }
    case 1: {
        const std::wstring& fullA = namesA->strings[NameFull].empty() ? namesA->strings[NameFamily] : namesA->strings[NameFull];
        const std::wstring& fullB = namesB->strings[NameFull].empty() ? namesB->strings[NameFamily] : namesB->strings[NameFull];
        result = CompareLocale(fullA, fullB, true);
        break;
    }
    case 2: result = compareName(NamePostScript); break;
    case 3: result = compareName(NameUniqueId); break;
    case 4: result = CompareLocale(a.path, b.path, true); break;
    case 7: result = compareName(NameManufacturer); break;
    case 9: result = compareName(NameNotice); break;
    case 17: result = compareName(NameDesigner); break;
    // Sizes above 2 GB must not wrap into negative differences.
    case 5: result = a.fileSize > b.fileSize ? 1 : (a.fileSize < b.fileSize ? -1 : 0); break;
    case 10: result = int64_t(a.glyphs) - b.glyphs; break;
    case 11: result = int64_t(a.kerningPairs) - b.kerningPairs; break;
    case 6: result = a.fileDate.date > b.fileDate.date ? 1 : (a.fileDate.date == b.fileDate.date ? 0 : -1); break;
    case 8:
        if (sfntA && sfntB)
            result = CompareLocaleN(VendorText(a.metrics).c_str(), VendorText(b.metrics).c_str(), 0, 0, true);
        else
            result = int(sfntA) - int(sfntB);
        break;
    case 12:
        if (sfntA && sfntB)
            result = ComparePanose(a.metrics.sfnt.panose, b.metrics.sfnt.panose);
        else
            result = int(sfntA) - int(sfntB);
        break;
    case 13: result = WeightOf(a) - WeightOf(b); break;
    case 14: result = (sfntA ? a.metrics.sfnt.usWidthClass : 0) - (sfntB ? b.metrics.sfnt.usWidthClass : 0); break;
    case 15: result = (sfntA ? a.metrics.sfnt.unitsPerEm : 65535) - (sfntB ? b.metrics.sfnt.unitsPerEm : 65535); break;
    case 16: result = CompareLocale(GetKindText(a.kind), GetKindText(b.kind), true); break;
    case 19: result = a.GetStatusOrder() - b.GetStatusOrder(); break;
    default: break;
    }
    return Sign(result);
}

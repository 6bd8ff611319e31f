#pragma once
// One font face as the program sees it: metrics, names in every language, file facts and state flags.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/helpers.h"
#include "core/types.h"

// Name ids of CFontStrings: 0..14 are the sfnt name ids 0..14, 15..19 the sfnt ids 16..20 (one lower),
// 20 the device name of bitmap and Type 1 fonts.
enum FontNameId : int {
    NameNotice = 0,
    NameFamily = 1,
    NameSubfamily = 2,
    NameUniqueId = 3,
    NameFull = 4,
    NameVersion = 5,
    NamePostScript = 6,
    NameTrademark = 7,
    NameManufacturer = 8,
    NameDesigner = 9,
    NameDescription = 10,
    NameVendorUrl = 11,
    NameDesignerUrl = 12,
    NameLicence = 13,
    NameLicenceUrl = 14,
    NameTypographicFamily = 15,
    NameTypographicSubfamily = 16,
    NameCompatibleFull = 17,
    NameSampleText = 18,
    NamePostScriptCid = 19,
    NameDevice = 20,
};
constexpr int kFontNameCount = 21;

// Font kind codes; kinds 5..9 are kinds 0..4 whose file was found missing.
enum FontKind : int {
    KindOpenType = 0,
    KindTrueType = 1,
    KindBitmap = 2,
    KindCollection = 3,
    KindType1 = 4,
    KindMissingOffset = 5,
};

// The kind with the "file missing" offset removed.
inline int BaseKind(int kind) { return kind >= KindMissingOffset ? kind - KindMissingOffset : kind; }
// Kinds 0, 1, 3, 5, 6, 8: the metrics block holds view A (sfnt).
inline bool IsSfntKind(int kind)
{
    const int k = BaseKind(kind);
    return k == KindOpenType || k == KindTrueType || k == KindCollection;
}
// Kinds 4 and 9.
inline bool IsType1Kind(int kind) { return BaseKind(kind) == KindType1; }

// The names of one language.
class CFontStrings {
public:
    CFontStrings() = default;
    CFontStrings(uint32_t language, uint16_t platform, uint16_t encoding)
        : language(language), platform(platform), encoding(encoding) {}

    void Clear();

    uint32_t language = 0;  // Windows LCID
    uint16_t platform = 0;  // name-table platform id
    uint16_t encoding = 0;  // name-table encoding id
    std::wstring strings[kFontNameCount];
};

class CFontStringsArray {
public:
    // Index of the first set of this language whose platform and encoding match (0xFFFF: any); -1 when none.
    int Find(uint32_t language, uint16_t platform, uint16_t encoding) const;
    // Appends an empty set and returns its index.
    int Add(uint32_t language, uint16_t platform, uint16_t encoding);
    // The default set among those with a language and a family name on this platform and encoding:
    // the user's locale, else US English, else the first; -1 when none.
    int ChooseDefault(uint16_t platform, uint16_t encoding) const;

    // Null for an index outside the array.
    CFontStrings* GetAt(int index);
    const CFontStrings* GetAt(int index) const;

    int GetSize() const { return static_cast<int>(m_sets.size()); }
    bool IsEmpty() const { return m_sets.empty(); }
    void RemoveAll() { m_sets.clear(); }
    CFontStrings& operator[](size_t index) { return m_sets[index]; }
    const CFontStrings& operator[](size_t index) const { return m_sets[index]; }
    std::vector<CFontStrings>::iterator begin() { return m_sets.begin(); }
    std::vector<CFontStrings>::iterator end() { return m_sets.end(); }
    std::vector<CFontStrings>::const_iterator begin() const { return m_sets.begin(); }
    std::vector<CFontStrings>::const_iterator end() const { return m_sets.end(); }

private:
    std::vector<CFontStrings> m_sets;
};

// Metrics block, view A: filled by the sfnt readers (kinds 0, 1, 3 and their missing forms).
struct SfntMetrics {
    uint16_t unitsPerEm;      // head
    uint16_t usWinAscent;     // OS/2
    uint16_t usWinDescent;
    uint16_t extraLeading;    // usWinAscent + usWinDescent - unitsPerEm
    uint16_t xAvgCharWidth;
    uint16_t usWeightClass;
    uint16_t usWidthClass;
    wchar_t vendorId[5];      // the four achVendID bytes widened, then 0
    uint8_t panose[10];
    uint16_t fsSelection;
    uint16_t reserved[4];
};

// Metrics block, view B: the Windows font header from dfType on (bitmap and Type 1 kinds), each field at
// its natural alignment. dfMaxWidth, dfWidthBytes, dfDevice and dfFace are not kept.
struct WinFontMetrics {
    uint16_t dfType;
    uint16_t dfPoints;
    uint16_t dfVertRes;
    uint16_t dfHorizRes;
    uint16_t dfAscent;
    uint16_t dfInternalLeading;
    uint16_t dfExternalLeading;
    uint8_t dfItalic;
    uint8_t dfUnderline;
    uint8_t dfStrikeOut;
    uint16_t dfWeight;
    uint8_t dfCharSet;
    uint16_t dfPixWidth;
    uint16_t dfPixHeight;
    uint8_t dfPitchAndFamily;
    uint8_t dfFirstChar;
    uint8_t dfLastChar;
    uint8_t dfDefaultChar;
    uint8_t dfBreakChar;
    uint32_t dfFlags;
    uint16_t dfAspace;
    uint16_t dfBspace;
    uint16_t dfCspace;
    uint16_t dfAvgWidth;  // filled by the Type 1 reader only
};

union FontMetrics {
    SfntMetrics sfnt;
    WinFontMetrics win;
    uint8_t raw[44];
};

// The set files and readers rely on this exact layout.
static_assert(sizeof(wchar_t) == 2);
static_assert(sizeof(SfntMetrics) == 44);
static_assert(offsetof(SfntMetrics, usWeightClass) == 10);
static_assert(offsetof(SfntMetrics, vendorId) == 14);
static_assert(offsetof(SfntMetrics, panose) == 24);
static_assert(offsetof(SfntMetrics, fsSelection) == 34);
static_assert(sizeof(WinFontMetrics) == 44);
static_assert(offsetof(WinFontMetrics, dfItalic) == 14);
static_assert(offsetof(WinFontMetrics, dfWeight) == 18);
static_assert(offsetof(WinFontMetrics, dfCharSet) == 20);
static_assert(offsetof(WinFontMetrics, dfPixWidth) == 22);
static_assert(offsetof(WinFontMetrics, dfPitchAndFamily) == 26);
static_assert(offsetof(WinFontMetrics, dfBreakChar) == 30);
static_assert(offsetof(WinFontMetrics, dfFlags) == 32);
static_assert(offsetof(WinFontMetrics, dfAvgWidth) == 42);
static_assert(sizeof(FontMetrics) == 44);

class CFontItemInfo {
public:
    CFontItemInfo();
    CFontItemInfo(const CFontItemInfo& other);
    CFontItemInfo& operator=(const CFontItemInfo& other);

    // Back to the defaults (date = now).
    void Reset();

    // language -1: the default set; else the first set of that language. Null when none.
    CFontStrings* GetFontStrings(int language);
    const CFontStrings* GetFontStrings(int language) const;
    // Name id 0..20 of GetFontStrings(language); empty otherwise.
    void GetName(std::wstring& out, int nameId, int language) const;
    std::wstring GetName(int nameId, int language = -1) const;

    std::wstring GetRegistryName() const;
    std::wstring GetPreferredFamilyName() const;

    void GetFilePath(std::wstring& out, bool pfmOnly) const;
    void GetBaseFolderPath(std::wstring& out, const std::wstring& folder) const;
    void GetFullPath(std::wstring& out) const;
    // Each part of path combined with folder; false at the first missing file (message box on request).
    bool ResolvePaths(const std::wstring& folder, CStringArray& outFiles, bool showError) const;

    void SetFileInfo(HANDLE fileHandle);
    void ReadFileInfo(const std::wstring& folder);

    bool MatchesText(const std::wstring& pattern, bool caseSensitive, bool exact) const;
    BOOL GetEnglishNames(std::wstring& outPostScript, std::wstring& outFamily, std::wstring& outStyle) const;

    bool IsBold() const;
    bool IsItalic() const;
    bool IsUnderline() const;
    bool IsLarge() const;
    int GetStatusOrder() const;

    std::wstring GetColumnText(int column) const;

    // Fields, in the order the set files store them.
    FontMetrics metrics;
    CFontStringsArray names;
    int32_t language;
    int32_t defaultNames;
    std::wstring path;
    int32_t kind;
    int32_t kerningPairs;
    int32_t glyphs;
    uint32_t fileSize;
    OleDate fileDate;
    uint16_t fsType;
    int32_t itemId;
    int32_t collectionId;
    int32_t loaded;
    int32_t installed;
    int32_t inUse;
    int32_t trackedLoad;
    int32_t setLoaded;
    int32_t previewable;
    int32_t statusWordB;
    int32_t imageIndex;
    int32_t previewValue1;
    int32_t previewValue2;
    int32_t setEntryId;
    std::wstring storedPath;
    std::wstring baseFolder;
    int32_t checkMark;

private:
    const CFontStrings* DefaultStrings() const;
};

// The stored file size: sizes that do not fit below 4,294,967,295 become 0.
uint32_t StoredFileSize(uint64_t size);

// Fills view B from a face enumerated by GDI; either input may be null. Always true.
bool FillFontMetricsFromTextMetric(FontMetrics& metrics, const LOGFONTW* logFont, const NEWTEXTMETRICW* textMetric);
// The same fill; false when both inputs are null.
bool FillFontMetricsFromTextMetricEx(FontMetrics& metrics, const LOGFONTW* logFont, const NEWTEXTMETRICW* textMetric);

// Property texts.
std::wstring WeightClassToText(int weight);
std::wstring WidthClassToText(int width);
std::wstring GetCharsetName(int charSet);
std::wstring GetPitchAndFamilyText(int pitchAndFamily);
std::wstring GetEmbeddingText(const CFontItemInfo& item);
std::wstring GetKindText(int kind);

// The comparator of all font lists: -1, 0 or 1 for the column; 255 = no order.
int CompareFontItems(const CFontItemInfo& a, const CFontItemInfo& b, int column);

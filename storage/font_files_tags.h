#pragma once
// The short element names of set files. Every element and attribute name of the set tree and of the
// set documents is taken from this table by index; readers map names back to indices.
#include <string>

constexpr int kFontFilesTagCount = 74;

// "a" to "z" (0-25), then "a0" to "a9", "b0" to "b9", "c0" to "c9", "d0" to "d9", "e0" to "e7".
extern const wchar_t* const FontFilesTagTable[kFontFilesTagCount];

// Indices with the meaning they have in the set tree and in font-file records.
enum FontFilesTag : int {
    kTagRoot = 0,          // "a": root element of both kinds of document
    kTagNode = 1,          // "b": a set node, or a font-file record
    kTagLoaded = 2,        // "c": record load state; set source folder in the tree
    kTagStoredPath = 3,    // "d": record file name; set id attribute in the tree
    kTagBaseFolder = 4,    // "e": record folder; set display name in the tree
    kTagKind = 5,          // "f": record kind; creation stamp in the tree
    kTagLanguage = 6,      // "g": default language; active flag in the tree
    kTagDefaultNames = 7,  // "h": default name set; font count in the tree
    kTagKerningPairs = 8,  // "i": kerning pairs; activation kind in the tree
    kTagGlyphs = 9,        // "j"
    kTagFileSize = 10,     // "k"
    kTagFileDate = 11,     // "l": record file date; use counter in the tree
    kTagNameSet = 12,      // "m": one name set; format version in both documents
    kTagNameLanguage = 13, // "n"
    kTagNamePlatform = 14, // "o": name set platform; disc volume serial in the tree
    kTagNameEncoding = 15, // "p"
    kTagFirstName = 16,    // "q": name id 0; name id n is kTagFirstName + n, up to "b0" (36)
    kTagLastName = 36,
    kTagSfntBlock = 37,    // "b1": view A metrics
    kTagUnitsPerEm = 38,   // "b2"
    kTagWinAscent = 39,
    kTagWinDescent = 40,
    kTagExtraLeading = 41,
    kTagAvgCharWidth = 42,
    kTagWeightClass = 43,
    kTagWidthClass = 44,
    kTagVendorId = 45,     // "b9"
    kTagPanose = 46,       // "c0"
    kTagFsSelection = 47,  // "c1"
    kTagWinBlock = 48,     // "c2": view B metrics, children 49-72
    kTagDfType = 49,       // "c3"
    kTagDfAvgWidth = 72,   // "e6"
    kTagUnused = 73,       // "e7"
};

// Set-tree meanings of the shared tags.
constexpr int kTagSetSource = kTagLoaded;        // "c"
constexpr int kTagSetId = kTagStoredPath;        // "d"
constexpr int kTagSetName = kTagBaseFolder;      // "e"
constexpr int kTagSetCreated = kTagKind;         // "f"
constexpr int kTagSetActive = kTagLanguage;      // "g"
constexpr int kTagSetFontCount = kTagDefaultNames; // "h"
constexpr int kTagSetActivation = kTagKerningPairs; // "i"
constexpr int kTagSetUseCount = kTagFileDate;    // "l"
constexpr int kTagVersion = kTagNameSet;         // "m"
constexpr int kTagSetDiscSerial = kTagNamePlatform; // "o"

// Fills the process-wide name-to-index map (done once; later calls do nothing). Safe from any thread.
void BuildTagMap();
// The index of a tag name, -1 when it is not in the table. `length` -1: up to the terminating zero.
int LookupTag(const wchar_t* name, int length = -1);
inline const wchar_t* TagName(int index)
{
    return index >= 0 && index < kFontFilesTagCount ? FontFilesTagTable[index] : L"";
}

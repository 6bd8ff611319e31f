#pragma once
// The fonts that Windows lists as installed, read from its font registry into one sorted array of small
// entries, with the names of font substitutes and the lookups that the installed-fonts pane makes.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/font_arrays.h"
#include "core/font_record.h"
#include "core/types.h"

// One font named by the registry.
class CRegistryInstalledFontItem {
public:
    void SetKey(const std::wstring& keyName, int keyKind)
    {
        name = keyName;
        kind = keyKind;
    }
    // keep: the current name becomes the alternate name and text the name; else text becomes the alternate name.
    void SetName(const std::wstring& text, bool keep);
    // The file, then " | " and the companion file when asked for and present.
    std::wstring GetFileName(bool withCompanion) const;
    // Reads the entry's font file into the array; true when a record was added.
    bool ReadFontFile(CFontItemArray& array) const;
    // The record of faceName (full name, without case) or, without a face name, the first record of the file.
    bool GetFontRecord(CFontItemInfo& out, const wchar_t* faceName) const;

    // -1, 0 or 1: this entry against a (name, kind) key; kind -1 matches any kind.
    int CompareKey(const std::wstring& keyName, int keyKind) const;

    std::wstring name;           // face name; Type 1: PostScript name with "-" as spaces
    std::wstring alternateName;  // a key matches it as well as the name
    int32_t kind = KindTrueType;
    int32_t key = -1;  // itemId of the installed-fonts record that this entry names (filled by the pane)
    std::wstring file;           // a bare name lies in the Windows fonts folder; Type 1: the .pfm
    std::wstring companionFile;  // Type 1: the .pfb
    int32_t systemFont = 0;      // named by Windows' own font keys
    int32_t reserved = 0;
};

// -1, 0 or 1. Orders by kind group first (sfnt kinds, Type 1 kinds, then every other kind by code) and by
// name within a group, so that the order is strict and bisection safe.
int CompareRegistryInstalledFontItems(const CRegistryInstalledFontItem& a, const CRegistryInstalledFontItem& b);

class CRegistryInstalledFontArray : public std::vector<CRegistryInstalledFontItem> {
public:
    int GetSize() const { return static_cast<int>(size()); }

    // Rebuilds the array and the substitute names from the registry.
    void LoadAll();
    // Inserts at the entry's sorted place (after its equals); -1 and nothing inserted for an empty name.
    int InsertSorted(const CRegistryInstalledFontItem& item);
    // Index of an entry matching (name, kind), kind -1 for any; -1 when none.
    int FindKey(const std::wstring& keyName, int keyKind) const;
    // The index of the installed-fonts record that the record's registry entry names (records: the pane's
    // list, the global one when null); the out array is emptied first.
    bool FindIndicesForFont(const CFontItemInfo& record, CDWordArray& out, const CFontItemArray* records = nullptr) const;
    bool IsSubstituteName(const std::wstring& faceName) const;

    // Set by the owner to stop a running LoadAll between registry values.
    std::atomic<int32_t> cancel{0};
    CStringArray substituteNames;  // sorted

private:
    void ReadRegistryFonts();
    void ReadRegistryType1Fonts();
    void ReadSystemFonts();
    void ReadSystemFontKey(const std::wstring& keyPath);
    void ReadFontSubstitutes();
    bool Cancelled() const { return cancel.load() != 0; }
};

// The global array, the pane's lookup key and the pane's list of installed-font records.
CRegistryInstalledFontArray& GetInstalledFontArray();
CRegistryInstalledFontItem& GetInstalledFontLookupKey();
CFontItemArray& GetInstalledFontRecords();

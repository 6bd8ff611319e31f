#pragma once
// The fonts that this program loaded itself, kept sorted by family; unloaded at exit.
#include <cstdint>
#include <string>
#include <vector>

#include "core/font_record.h"

class CFontItemGLYLoaded {
public:
    CFontItemGLYLoaded() = default;
    CFontItemGLYLoaded(const std::wstring& family, const std::wstring& fullName, const std::wstring& postScriptName,
                       const std::wstring& file, int kind, int publicLoad = 1)
        : family(family), fullName(fullName), postScriptName(postScriptName), file(file), publicLoad(publicLoad), kind(kind) {}

    std::wstring family;          // name id 1
    std::wstring fullName;        // name id 4
    std::wstring postScriptName;  // name id 6
    std::wstring file;            // the resource name given to the font-resource layer
    int32_t mark = 1;
    int32_t publicLoad = 1;
    int32_t kind = -1;
};

class CFontArrayGLYLoaded : public std::vector<CFontItemGLYLoaded> {
public:
    int GetSize() const { return static_cast<int>(size()); }
    void RemoveAt(int index)
    {
        if (index >= 0 && index < GetSize())
            erase(begin() + index);
    }

    // Inserts by family (case-sensitive); returns the position.
    int AddSorted(const CFontItemGLYLoaded& item);
    // The entry of the record's font: same family, then the same full name (or PostScript name when the
    // record has no full name). A pure look-up for every kind; callers remove entries explicitly.
    int Find(const CFontItemInfo& record, bool setMark);

    // Whether the exit step unloads this entry: with keepPrivate, only Type 1 entries and public loads.
    static bool UnloadsAtExit(const CFontItemGLYLoaded& item, bool keepPrivate);
    // The record and folder that the exit step hands to the font-resource layer for this entry.
    static void MakeUnloadRecord(const CFontItemGLYLoaded& item, CFontItemInfo& outRecord, std::wstring& outFolder);

    // Unloads what the program loaded (the exit step); with keepPrivate, private loads stay.
    void UnloadAll(bool keepPrivate);
};

// The one list of the process.
CFontArrayGLYLoaded& GetGLYLoadedFonts();

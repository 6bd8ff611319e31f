#pragma once
// A reference to a font set: its id path from the root of the set tree, a count and two texts.
#include <cstdint>
#include <string>

#include "core/types.h"

class CSetItem {
public:
    CSetItem() = default;
    CSetItem(const CWordArray& idPath, int32_t count, const std::wstring& namePath, const std::wstring& sourceFolder)
        : idPath(idPath), count(count), namePath(namePath), sourceFolder(sourceFolder) {}

    CWordArray idPath;
    int32_t count = 0;
    std::wstring namePath;      // display names along the path
    std::wstring sourceFolder;  // the set's source folder
};

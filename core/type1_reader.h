#pragma once
// Type 1 fonts: the Printer Font Metrics file (.pfm) gives the record and its kerning pairs, the outline file
// (.pfb) beside it the full name, family and notice of its FontInfo dictionary.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/font_arrays.h"
#include "core/font_record.h"

// The reader holds no state.
class Type1FontReader {
public:
    // Reads one Type 1 font into a new record of `array`; true when a record was appended. pfmName (and
    // pfbName) are resolved against folder; an empty pfbName makes the reader look for the .pfb
    // (FindPfbForPfm). With a baseFolder the record's path is made relative to it.
    bool ReadType1FontFile(const std::wstring& folder, const std::wstring& pfmName, CFontItemArray& array,
                           const std::wstring& pfbName = std::wstring(), const std::wstring& baseFolder = std::wstring());

    // The record path of the pair (.pfm part, " | ", .pfb part), empty when no .pfb was found; outPfb gets the
    // .pfb part as it resolves against the folder.
    std::wstring FindPfbForPfm(const std::wstring& folder, const std::wstring& pfmName, std::wstring& outPfb,
                               const std::wstring& baseFolder);

    // Full name (4), family (1) and notice (0) from the FontInfo dictionary of the .pfb; false when the file
    // or its first (ASCII) segment cannot be read.
    bool ParsePfbFontInfo(const std::wstring& folder, const std::wstring& pfbName, CFontStrings& names);
    // The same over the text of the first segment.
    static void ParseFontInfoText(const char* text, size_t length, CFontStrings& names);

    // The number of kerning pairs of a .pfm file (0 unless dfVersion is 0x100 and a pair-kerning table is
    // named); with collect, also the pairs, sorted by first and then second character.
    int ReadPfmFileKerningPairs(const std::wstring& path, std::vector<KERNINGPAIR>& outPairs, bool collect);
    // The same over the bytes of a whole .pfm file.
    static int ReadPfmKerningPairs(const uint8_t* pfm, size_t size, std::vector<KERNINGPAIR>& outPairs, bool collect);
};

#pragma once
// Windows bitmap fonts: one font resource in a .fnt file, or every font resource of a .fon file (a 16-bit
// New Executable module). Each face becomes a record of kind 2 whose metrics hold the font header.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/byte_reader.h"
#include "core/font_arrays.h"
#include "core/font_record.h"
#include "core/types.h"

// The metrics fields of a Windows font header from dfPoints to dfBreakChar, the part that .fnt resources and
// .pfm files share (dfType and the later fields are the caller's); fields past the reader's end read as 0.
void ReadFontHeaderMetrics(const ByteReader& header, WinFontMetrics& m);

class BitmapFontReader {
public:
    // Results of ParseFntHeader.
    enum HeaderResult : int {
        HeaderAccepted = 0,
        HeaderTruncated = 1,  // shorter than the header of its version
        HeaderBadVersion = 2,
    };

    // Checks one font resource and, with a record, converts it (names, view B metrics, glyph count).
    static int ParseFntHeader(const uint8_t* data, size_t length, CFontItemInfo* record, int installed);

    // A .fnt file. False when the file cannot be opened or read; true otherwise, also when the header is
    // rejected or the family was already read. Without an array it only opens and reads the file.
    bool ReadFntFile(const std::wstring& path, const std::wstring& displayPath, CFontItemArray* array);
    // A .fon file. True when the last font resource looked at was converted.
    bool ReadFonFile(const std::wstring& path, const std::wstring& displayPath, CFontItemArray& array);

    // The same over bytes in memory; `file` (may be INVALID_HANDLE_VALUE) gives the records their size and date.
    bool ReadFntData(const uint8_t* data, size_t size, const std::wstring& recordPath, HANDLE file, CFontItemArray* array);
    bool ReadFonData(const uint8_t* data, size_t size, const std::wstring& recordPath, HANDLE file, CFontItemArray& array);

    // The module description of a .fon file from the character after its first ':'; empty when the file is
    // not an MZ/NE module or the string cannot be read.
    static std::wstring ReadFonDescription(const std::wstring& path);
    static std::wstring ReadFonDescriptionData(const uint8_t* data, size_t size);

    // The families added so far: a face whose family is listed is not added again, so that the point sizes of
    // one face become one record. Emptied at the start of each .fon read.
    CStringArray families;

private:
    bool AddFace(CFontItemInfo& record, const std::wstring& recordPath, HANDLE file, CFontItemArray& array);
};

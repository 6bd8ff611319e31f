#pragma once
// Reads TrueType and OpenType fonts (plain files, every face of a collection, faces installed in the
// system) into font records.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/font_arrays.h"
#include "core/font_file.h"
#include "core/font_record.h"
#include "core/types.h"

struct CTTFCMapEncodingRecord {
    uint16_t platform = 0;
    uint16_t encoding = 0;
};

// The character-map encodings of a font, in the order of its cmap table.
class CTTFCMapEncodingArray : public std::vector<CTTFCMapEncodingRecord> {
public:
    int GetSize() const { return static_cast<int>(size()); }
    int Add(uint16_t platform, uint16_t encoding);
    int Find(uint16_t platform, uint16_t encoding) const;
    // The element count (16 bits, or 0xFFFF and 32 bits from 0xFFFF on), then the 4-byte records as held.
    void Serialize(std::vector<uint8_t>& out) const;
    bool Serialize(ByteReader& in);
};

// One kerning pair as collected from a kern table.
struct KerningPair {
    uint16_t left;
    uint16_t right;
    int16_t value;
};

struct SfntTableSlot {
    uint32_t tag = 0;
    uint32_t checksum = 0;
    uint32_t offset = 0;
    uint32_t length = 0;
    bool present = false;
};

// The tables a face is read from, found in its table directory (the first of duplicate tags wins).
struct SfntDirectory {
    uint32_t version = 0;
    SfntTableSlot name, cmap, head, os2, kern, maxp;
    bool openTypeOutlines = false;  // a DSIG or CFF table
};

// True for 00 01 00 00 and for "otto" in any case.
bool IsSfntVersion(const uint8_t bytes[4]);
// Reads the offset table at faceOffset and the table directory behind it; false when the offset table is short.
bool ReadSfntDirectory(FontFile& file, uint64_t faceOffset, SfntDirectory& out);

class SfntFontReader {
public:
    // readerKind: 1 for plain files, 3 for the faces of a collection.
    explicit SfntFontReader(int readerKind = KindTrueType) : readerKind(readerKind) {}

    // displayPath is stored as the record's path; empty: the file path.
    bool ReadSfntFile(const std::wstring& path, const std::wstring& displayPath, CFontItemArray& array);
    // One face whose offset table lies at faceOffset; appends a record and returns true, or appends nothing.
    bool ReadSfntTables(FontFile& file, uint64_t faceOffset, const std::wstring& displayPath, CFontItemArray& array, int installed);

    std::wstring path;
    std::wstring displayPath;
    CStringArray families;  // emptied at the start of every read
    int readerKind;
    CTTFCMapEncodingArray encodings;  // of the face read last
};

// Reads the faces of a ttcf collection; their kind is 3 unless a face has OpenType outlines.
class SfntCollectionReader : public SfntFontReader {
public:
    SfntCollectionReader() : SfntFontReader(KindCollection) {}
    // Every face up to the first that fails; true when the last face read was appended.
    bool ReadTtcFile(const std::wstring& path, const std::wstring& displayPath, CFontItemArray& array);
};

// The readers as the folder scans call them.
bool ReadSfntFile(const std::wstring& path, const std::wstring& displayPath, CFontItemArray& array);
bool ReadTtcFile(const std::wstring& path, const std::wstring& displayPath, CFontItemArray& array);

// Fills the record from a font installed in the system (through GetFontData); kind, path and flags stay
// the caller's.
bool ReadInstalledFontTables(const LOGFONTW& logFont, CFontItemInfo& record);

// "Face A & Face B (TrueType)": the registry name of a collection; empty when it cannot be read.
std::wstring GetTtcRegistryName(const std::wstring& path);
// "Full name (OpenType)" or "Full name (TrueType)".
std::wstring MakeFontsRegistryValueName(const CFontItemInfo& record);

// The number of kerning pairs of a font file's kern table (0 without one); with collect, also the pairs.
int ReadKernTableFromFile(const std::wstring& path, int& outCount, std::vector<KerningPair>* outPairs, bool collect);
// The same walk over a kern table in memory (fileRules: subtables of format 0 must also have version 0).
int ReadKernTable(const ByteReader& table, bool fileRules, std::vector<KerningPair>* outPairs);

bool ReadEncodingsFromFile(FontFile& file, const SfntTableSlot& cmapSlot, CTTFCMapEncodingArray& encodings);
bool ReadEncodingsFromDC(HDC dc, CTTFCMapEncodingArray& encodings);

// The format-4 subtable (Windows platform, encoding 1 or 0) of the font selected into dc, its words in
// native order. Without a buffer or with one too small it only reports outSize.
bool GetInstalledFontCmap4(HDC dc, void* buffer, DWORD bufferSize, DWORD& outSize, BOOL& outIsSymbol);
// The same from a cmap table in memory.
bool GetCmap4FromTable(const ByteReader& cmap, void* buffer, DWORD bufferSize, DWORD& outSize, BOOL& outIsSymbol);

// Decodes a name table string of this platform and encoding.
std::wstring DecodeNameString(const uint8_t* bytes, size_t length, uint16_t platform, uint16_t encoding);
// Adds the platform 0 and 3 names of a name table to sets; false when its header cannot be read.
bool ReadNameTable(const ByteReader& table, CFontStringsArray& sets);

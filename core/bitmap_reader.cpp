#include "core/bitmap_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/byte_reader.h"
#include "core/font_file.h"
#include "core/helpers.h"

namespace {

// No real bitmap font comes near this; a larger file is refused rather than read into memory.
constexpr uint64_t kMaxFileBytes = 64ull << 20;

constexpr uint16_t kMzSignature = 0x5A4D;
constexpr uint16_t kNeSignature = 0x454E;
constexpr uint16_t kFontResourceType = 0x8008;

// Header sizes: versions 1 and 2 end after dfBitsOffset (dfReserved at 117 is not needed); version 3 adds
// dfFlags, the three spaces, dfColorPointer and dfReserved1.
constexpr size_t kHeaderSizeV2 = 117;
constexpr size_t kHeaderSizeV3 = 148;

// The zero-terminated ANSI string at offset, cut at end when it has no terminator before it; empty when
// the offset lies at or beyond end.
std::wstring ZeroTerminatedAt(const uint8_t* data, size_t end, uint64_t offset)
{
    if (offset >= end)
        return {};
    const char* start = reinterpret_cast<const char*>(data + offset);
    const size_t room = end - static_cast<size_t>(offset);
    const void* zero = std::memchr(start, 0, room);
    const size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - start) : room;
    return MultiByteToWide(start, length, CP_ACP);
}

bool IsNeModule(const ByteReader& file, uint32_t& outNeOffset)
{
    if (!file.Has(0, 64) || file.U16LEAt(0) != kMzSignature)
        return false;
    outNeOffset = file.U32LEAt(60);
    return file.Has(outNeOffset, 64) && file.U16LEAt(outNeOffset) == kNeSignature;
}

}  // namespace

void ReadFontHeaderMetrics(const ByteReader& header, WinFontMetrics& m)
{
    m.dfPoints = header.U16LEAt(68);
    m.dfVertRes = header.U16LEAt(70);
    m.dfHorizRes = header.U16LEAt(72);
    m.dfAscent = header.U16LEAt(74);
    m.dfInternalLeading = header.U16LEAt(76);
    m.dfExternalLeading = header.U16LEAt(78);
    m.dfItalic = header.U8At(80);
    m.dfUnderline = header.U8At(81);
    m.dfStrikeOut = header.U8At(82);
    m.dfWeight = header.U16LEAt(83);
    m.dfCharSet = header.U8At(85);
    m.dfPixWidth = header.U16LEAt(86);
    m.dfPixHeight = header.U16LEAt(88);
    m.dfPitchAndFamily = header.U8At(90);
    m.dfFirstChar = header.U8At(95);
    m.dfLastChar = header.U8At(96);
    m.dfDefaultChar = header.U8At(97);
    m.dfBreakChar = header.U8At(98);
}

int BitmapFontReader::ParseFntHeader(const uint8_t* data, size_t length, CFontItemInfo* record, int installed)
{
    ByteReader header(data, length);
    if (!header.Has(0, 2))
        return HeaderTruncated;
    const uint16_t version = header.U16LEAt(0);
    if (version != 0x100 && version != 0x200 && version != 0x300)
        return HeaderBadVersion;
    const bool v3 = version == 0x300;
    if (!header.Has(0, v3 ? kHeaderSizeV3 : kHeaderSizeV2))
        return HeaderTruncated;

    const uint16_t type = header.U16LEAt(66);
    if (type & 1)
        std::fputs("Vector fonts not supported\n", stderr);
    if (!record)
        return HeaderAccepted;

    CFontStrings names(0, 0, 0);
    names.strings[NameNotice] = ZeroTerminatedAt(data, 66, 6);

    std::memset(&record->metrics, 0, sizeof(record->metrics));
    WinFontMetrics& m = record->metrics.win;
    m.dfType = type;
    ReadFontHeaderMetrics(header, m);
    // Older headers end before these fields: the bytes there belong to the character table.
    if (v3) {
        m.dfFlags = header.U32LEAt(118);
        m.dfAspace = header.U16LEAt(122);
        m.dfBspace = header.U16LEAt(124);
        m.dfCspace = header.U16LEAt(126);
    }
    record->glyphs = std::max(0, int(m.dfLastChar) - int(m.dfFirstChar) + 1);
    record->installed = installed;

    // The resource ends at dfSize, or earlier when fewer bytes exist.
    const size_t end = std::min<uint64_t>(length, header.U32LEAt(2));
    const uint32_t device = header.U32LEAt(101);
    names.strings[NameFamily] = ZeroTerminatedAt(data, end, header.U32LEAt(105));
    names.strings[NameFull] = names.strings[NameFamily];
    if (device != 0)
        names.strings[NameDevice] = ZeroTerminatedAt(data, end, device);

    const int index = record->names.Add(0, 0, 0);
    record->names[index] = names;
    return HeaderAccepted;
}

bool BitmapFontReader::AddFace(CFontItemInfo& record, const std::wstring& recordPath, HANDLE file, CFontItemArray& array)
{
    const std::wstring family = record.names.IsEmpty() ? std::wstring() : record.names[0].strings[NameFamily];
    if (std::find(families.begin(), families.end(), family) != families.end())
        return false;
    families.push_back(family);
    record.path = recordPath;
    record.kind = KindBitmap;
    if (file != INVALID_HANDLE_VALUE)
        record.SetFileInfo(file);
    record.itemId = array.GetSize();
    array.Add(record);
    return true;
}

bool BitmapFontReader::ReadFntData(const uint8_t* data, size_t size, const std::wstring& recordPath, HANDLE file,
                                   CFontItemArray* array)
{
    if (!array)
        return true;
    CFontItemInfo record;
    if (ParseFntHeader(data, size, &record, 0) == HeaderAccepted)
        AddFace(record, recordPath, file, *array);
    return true;
}

bool BitmapFontReader::ReadFntFile(const std::wstring& path, const std::wstring& displayPath, CFontItemArray* array)
{
    FontFile file;
    std::vector<uint8_t> data;
    if (!file.Open(path) || !file.ReadAll(kMaxFileBytes, data))
        return false;
    return ReadFntData(data.data(), data.size(), displayPath.empty() ? path : displayPath, file.Handle(), array);
}

bool BitmapFontReader::ReadFonData(const uint8_t* data, size_t size, const std::wstring& recordPath, HANDLE file,
                                   CFontItemArray& array)
{
    families.clear();
    const ByteReader module(data, size);
    uint32_t ne = 0;
    if (!IsNeModule(module, ne))
        return false;

    // The resource table runs from ne_rsrctab to ne_restab, both relative to the NE header.
    const uint16_t rsrctab = module.U16LEAt(ne + 36);
    const uint16_t restab = module.U16LEAt(ne + 38);
    if (restab < rsrctab)
        return false;
    const uint64_t tableStart = uint64_t(ne) + rsrctab;
    if (tableStart >= size)
        return false;
    const size_t tableLength = static_cast<size_t>(std::min<uint64_t>(uint64_t(restab) - rsrctab + 1, size - tableStart));
    ByteReader table = module.Sub(static_cast<size_t>(tableStart), tableLength);

    const uint16_t alignShift = table.U16LE();
    bool converted = false;
    while (table.Ok()) {
        const uint16_t typeId = table.U16LE();
        const uint16_t count = table.U16LE();
        table.Skip(4);
        if (!table.Ok() || typeId == 0)
            break;
        if (typeId != kFontResourceType) {
            table.Skip(size_t(count) * 12);
            continue;
        }
        for (uint16_t i = 0; i < count; ++i) {
            const uint16_t rnOffset = table.U16LE();
            const uint16_t rnLength = table.U16LE();
            table.Skip(8);
            converted = false;
            // Offsets beyond 2^48 cannot lie in any file; the shifts below then stay inside 64 bits.
            if (!table.Ok() || alignShift >= 48)
                return false;
            const uint64_t offset = uint64_t(rnOffset) << alignShift;
            const uint64_t length = uint64_t(rnLength) << alignShift;
            if (offset > size || length > size - offset)
                return false;

            CFontItemInfo record;
            if (ParseFntHeader(data + offset, static_cast<size_t>(length), &record, 0) != HeaderAccepted)
                return false;
            AddFace(record, recordPath, file, array);
            converted = true;
        }
        break;
    }
    return converted;
}

bool BitmapFontReader::ReadFonFile(const std::wstring& path, const std::wstring& displayPath, CFontItemArray& array)
{
    families.clear();
    FontFile file;
    std::vector<uint8_t> data;
    if (!file.Open(path) || !file.ReadAll(kMaxFileBytes, data))
        return false;
    return ReadFonData(data.data(), data.size(), displayPath.empty() ? path : displayPath, file.Handle(), array);
}

std::wstring BitmapFontReader::ReadFonDescriptionData(const uint8_t* data, size_t size)
{
    const ByteReader module(data, size);
    uint32_t ne = 0;
    if (!IsNeModule(module, ne))
        return {};
    // The first entry of the non-resident name table (a file offset) is the module description.
    const uint32_t nonResident = module.U32LEAt(ne + 44);
    if (!module.Has(nonResident, 1))
        return {};
    const uint8_t length = data[nonResident];
    if (!module.Has(size_t(nonResident) + 1, length))
        return {};
    const char* text = reinterpret_cast<const char*>(data + nonResident + 1);
    const void* colon = std::memchr(text, ':', length);
    const char* start = colon ? static_cast<const char*>(colon) + 1 : text;
    return ZeroTerminatedAt(reinterpret_cast<const uint8_t*>(start), static_cast<size_t>(text + length - start), 0);
}

std::wstring BitmapFontReader::ReadFonDescription(const std::wstring& path)
{
    FontFile file;
    std::vector<uint8_t> data;
    if (!file.Open(path) || !file.ReadAll(kMaxFileBytes, data))
        return {};
    return ReadFonDescriptionData(data.data(), data.size());
}

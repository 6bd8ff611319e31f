#include "core/sfnt_reader.h"

#include <algorithm>
#include <cstring>

#include "core/helpers.h"
#include "core/resource_strings.h"
#include "core/serial_count.h"

namespace {

constexpr uint32_t Tag(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) << 24 | uint32_t(uint8_t(b)) << 16 | uint32_t(uint8_t(c)) << 8 | uint8_t(d);
}

// The table tag as GetFontData takes it: the four bytes in file order.
constexpr DWORD GdiTag(char a, char b, char c, char d)
{
    return DWORD(uint8_t(a)) | DWORD(uint8_t(b)) << 8 | DWORD(uint8_t(c)) << 16 | DWORD(uint8_t(d)) << 24;
}

constexpr size_t kHeadSize = 54;
constexpr size_t kMaxpSize = 6;
constexpr size_t kOs2Size = 96;
// The fields read from OS/2 end with usWinDescent: version 0 tables are this short.
constexpr size_t kOs2FieldsEnd = 78;
constexpr size_t kKernHeadersSize = 4 + 14;
// Enough cmap bytes for the encoding records of nearly every font.
constexpr size_t kCmapHeadSize = 4 + 8 * 16;

uint32_t LowerTag(const uint8_t* p)
{
    uint32_t t = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t c = p[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<uint8_t>(c - 'A' + 'a');
        t = t << 8 | c;
    }
    return t;
}

void ReadHead(ByteReader head, CFontItemInfo& record)
{
    record.metrics.sfnt.unitsPerEm = head.U16BEAt(18);
}

void ReadOs2(ByteReader os2, CFontItemInfo& record)
{
    SfntMetrics& m = record.metrics.sfnt;
    m.xAvgCharWidth = os2.U16BEAt(2);
    m.usWeightClass = os2.U16BEAt(4);
    m.usWidthClass = os2.U16BEAt(6);
    record.fsType = os2.U16BEAt(8);
    for (int i = 0; i < 10; ++i)
        m.panose[i] = os2.Data()[32 + i];
    for (int i = 0; i < 4; ++i)
        m.vendorId[i] = static_cast<wchar_t>(os2.Data()[58 + i]);
    m.vendorId[4] = 0;
    m.fsSelection = os2.U16BEAt(62);
    m.usWinAscent = os2.U16BEAt(74);
    m.usWinDescent = os2.U16BEAt(76);
    m.extraLeading = static_cast<uint16_t>(m.usWinAscent + m.usWinDescent - m.unitsPerEm);
}

// Keeps the name sets of the face's character-map encodings and picks the default among them, trying the
// encodings in cmap order. False when no set qualifies.
bool ChooseDefaultNames(const CTTFCMapEncodingArray& encodings, CFontStringsArray& sets, CFontItemInfo& record)
{
    CFontStringsArray kept;
    for (CFontStrings& set : sets) {
        if (encodings.Find(set.platform, set.encoding) >= 0)
            kept[kept.Add(set.language, set.platform, set.encoding)] = std::move(set);
    }
    record.names = std::move(kept);
    for (const CTTFCMapEncodingRecord& e : encodings) {
        const int hit = record.names.ChooseDefault(e.platform, e.encoding);
        if (hit >= 0) {
            record.defaultNames = hit;
            record.language = static_cast<int32_t>(record.names[hit].language);
            return true;
        }
    }
    return false;
}

// The kern walk over a fetch(offset, length) that gives the table's bytes from offset on (fewer at its end).
// The total is capped by what the table can hold, so no count read from the file can overflow it.
template <class Fetch>
int WalkKernTable(Fetch&& fetch, uint32_t tableLength, bool fileRules, std::vector<KerningPair>* pairs)
{
    const ByteReader header = fetch(0, 4);
    if (!header.Has(0, 4))
        return 0;
    const uint16_t nTables = header.U16BEAt(2);
    const uint64_t maxTotal = tableLength / 6;
    uint64_t total = 0;
    uint64_t pos = 4;
    for (unsigned t = 0; t < nTables && pos < tableLength; ++t) {
        const ByteReader sub = fetch(pos, 14);
        if (!sub.Has(0, 6))
            break;
        const uint16_t version = sub.U16BEAt(0);
        const uint16_t length = sub.U16BEAt(2);
        const uint16_t coverage = sub.U16BEAt(4);
        if ((coverage >> 8) == 0 && (!fileRules || version == 0)) {
            if (!sub.Has(0, 14))
                break;
            const uint64_t room = tableLength > pos + 14 ? (tableLength - pos - 14) / 6 : 0;
            const uint64_t n = std::min<uint64_t>({sub.U16BEAt(6), room, maxTotal - total});
            if (pairs && n) {
                ByteReader data = fetch(pos + 14, n * 6);
                const size_t got = std::min<size_t>(data.Size() / 6, n);
                try {
                    pairs->reserve(pairs->size() + got);
                } catch (const std::bad_alloc&) {
                    return 0;
                }
                for (size_t i = 0; i < got; ++i) {
                    KerningPair p;
                    p.left = data.U16BE();
                    p.right = data.U16BE();
                    p.value = data.I16BE();
                    pairs->push_back(p);
                }
                total += got;
                if (got < n)
                    break;
            } else {
                total += n;
            }
        }
        if (length < 6)
            break;  // a subtable that does not advance would be counted again and again
        pos += length;
    }
    return static_cast<int>(total);
}

UINT CodePageOfEncoding(uint16_t encoding)
{
    switch (encoding) {
    case 2: return 932;
    case 3: return 936;
    case 4: return 950;
    case 5: return 949;
    case 6: return 1361;
    default: return CP_ACP;
    }
}

void FillFileFacts(const FontFile& file, CFontItemInfo& record)
{
    record.fileSize = StoredFileSize(file.Size());
    record.fileDate = FileTimeToOleDate(file.CreationTime());
}

// GetFontData of a whole table (length 0: none or unreadable).
std::vector<uint8_t> GetWholeTable(HDC dc, DWORD tag)
{
    std::vector<uint8_t> bytes;
    const DWORD size = GetFontData(dc, tag, 0, nullptr, 0);
    if (size == GDI_ERROR || size == 0)
        return bytes;
    bytes.resize(size);
    const DWORD got = GetFontData(dc, tag, 0, bytes.data(), size);
    if (got == GDI_ERROR)
        bytes.clear();
    else
        bytes.resize(std::min<DWORD>(got, size));
    return bytes;
}

// Exactly length bytes of a table at offset, or nothing.
bool GetTablePart(HDC dc, DWORD tag, DWORD offset, void* out, DWORD length)
{
    return GetFontData(dc, tag, offset, out, length) == length;
}

}  // namespace

int CTTFCMapEncodingArray::Add(uint16_t platform, uint16_t encoding)
{
    push_back({platform, encoding});
    return GetSize() - 1;
}

int CTTFCMapEncodingArray::Find(uint16_t platform, uint16_t encoding) const
{
    for (int i = 0; i < GetSize(); ++i) {
        if ((*this)[i].platform == platform && (*this)[i].encoding == encoding)
            return i;
    }
    return -1;
}

void CTTFCMapEncodingArray::Serialize(std::vector<uint8_t>& out) const
{
    PutSerialCount(out, static_cast<uint32_t>(size()));
    for (const CTTFCMapEncodingRecord& r : *this) {
        PutU16LE(out, r.platform);
        PutU16LE(out, r.encoding);
    }
}

bool CTTFCMapEncodingArray::Serialize(ByteReader& in)
{
    clear();
    const uint32_t count = ReadSerialCount(in);
    if (!in.Ok() || count > in.Remaining() / 4)
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        CTTFCMapEncodingRecord r;
        r.platform = in.U16LE();
        r.encoding = in.U16LE();
        push_back(r);
    }
    return in.Ok();
}

bool IsSfntVersion(const uint8_t bytes[4])
{
    if (bytes[0] == 0 && bytes[1] == 1 && bytes[2] == 0 && bytes[3] == 0)
        return true;
    return (bytes[0] == 'o' || bytes[0] == 'O') && LowerTag(bytes) == Tag('o', 't', 't', 'o');
}

bool ReadSfntDirectory(FontFile& file, uint64_t faceOffset, SfntDirectory& out)
{
    out = SfntDirectory();
    const ByteReader offsetTable = file.Read(faceOffset, 12);
    if (!offsetTable.Has(0, 12))
        return false;
    out.version = offsetTable.U32BEAt(0);
    const uint16_t numTables = offsetTable.U16BEAt(4);
    // A directory cut short by the end of the file keeps the records that are there.
    ByteReader records = file.Read(faceOffset + 12, uint64_t(numTables) * 16);
    const size_t count = std::min<size_t>(numTables, records.Size() / 16);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* tag = records.Data() + i * 16;
        SfntTableSlot slot;
        slot.tag = records.U32BEAt(i * 16);
        slot.checksum = records.U32BEAt(i * 16 + 4);
        slot.offset = records.U32BEAt(i * 16 + 8);
        slot.length = records.U32BEAt(i * 16 + 12);
        slot.present = true;
        SfntTableSlot* target = nullptr;
        switch (LowerTag(tag)) {
        case Tag('n', 'a', 'm', 'e'): target = &out.name; break;
        case Tag('c', 'm', 'a', 'p'): target = &out.cmap; break;
        case Tag('h', 'e', 'a', 'd'): target = &out.head; break;
        case Tag('o', 's', '/', '2'): target = &out.os2; break;
        case Tag('k', 'e', 'r', 'n'): target = &out.kern; break;
        case Tag('m', 'a', 'x', 'p'): target = &out.maxp; break;
        case Tag('d', 's', 'i', 'g'):
        case Tag('c', 'f', 'f', ' '): out.openTypeOutlines = true; break;
        default: break;
        }
        if (target && !target->present)
            *target = slot;
    }
    return true;
}

bool ReadEncodingsFromFile(FontFile& file, const SfntTableSlot& cmapSlot, CTTFCMapEncodingArray& encodings)
{
    encodings.clear();
    if (!cmapSlot.present || cmapSlot.length == 0)
        return false;
    const ByteReader header = file.Read(cmapSlot.offset, 4);
    if (!header.Has(0, 4))
        return false;
    // Records beyond the table's own length are not the table's.
    const uint32_t fit = cmapSlot.length >= 4 ? (cmapSlot.length - 4) / 8 : 0;
    const uint32_t numTables = std::min<uint32_t>(header.U16BEAt(2), fit);
    ByteReader records = file.Read(uint64_t(cmapSlot.offset) + 4, uint64_t(numTables) * 8);
    const size_t count = std::min<size_t>(numTables, records.Size() / 8);
    for (size_t i = 0; i < count; ++i) {
        const uint16_t platform = records.U16BEAt(i * 8);
        const uint16_t encoding = records.U16BEAt(i * 8 + 2);
        if (platform == 0 || platform == 3)
            encodings.Add(platform, encoding);
    }
    return !encodings.empty();
}

bool ReadEncodingsFromDC(HDC dc, CTTFCMapEncodingArray& encodings)
{
    encodings.clear();
    const DWORD cmap = GdiTag('c', 'm', 'a', 'p');
    uint8_t header[4];
    if (!GetTablePart(dc, cmap, 0, header, 4))
        return false;
    const uint16_t numTables = static_cast<uint16_t>(header[2] << 8 | header[3]);
    for (uint16_t i = 0; i < numTables; ++i) {
        uint8_t record[8];
        if (!GetTablePart(dc, cmap, 4 + 8u * i, record, 8))
            break;
        const uint16_t platform = static_cast<uint16_t>(record[0] << 8 | record[1]);
        const uint16_t encoding = static_cast<uint16_t>(record[2] << 8 | record[3]);
        if (platform == 0 || platform == 3)
            encodings.Add(platform, encoding);
    }
    return !encodings.empty();
}

std::wstring DecodeNameString(const uint8_t* bytes, size_t length, uint16_t platform, uint16_t encoding)
{
    if (!bytes)
        length = 0;
    // Byte i of the string as if two zero bytes followed it.
    auto at = [&](size_t i) -> uint8_t { return i < length ? bytes[i] : 0; };
    const bool utf16 = platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10)) ||
                       (platform == 3 && encoding == 0 && at(0) == 0);
    if (utf16) {
        std::wstring out;
        out.reserve(length / 2);
        for (size_t u = 0; u < length / 2; ++u) {
            const wchar_t c = static_cast<wchar_t>(bytes[2 * u] << 8 | bytes[2 * u + 1]);
            if (c == 0)
                break;
            out.push_back(c);
        }
        return out;
    }
    std::string text;
    if (at(0) == 0) {
        // Single bytes stored in 16-bit units: keep the low byte of each.
        for (size_t i = 0; i < (length + 1) / 2 && at(2 * i + 1) != 0; ++i)
            text.push_back(static_cast<char>(at(2 * i + 1)));
    } else {
        for (size_t i = 0; i < length && bytes[i] != 0; ++i)
            text.push_back(static_cast<char>(bytes[i]));
    }
    if (text.empty())
        return {};
    return MultiByteToWide(text.data(), text.size(), CodePageOfEncoding(encoding));
}

bool ReadNameTable(const ByteReader& table, CFontStringsArray& sets)
{
    if (!table.Has(0, 6))
        return false;
    const uint16_t count = table.U16BEAt(2);
    const uint32_t stringOffset = table.U16BEAt(4);
    int last = -1;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = 6 + size_t(i) * 12;
        if (!table.Has(at, 12))
            break;  // a table cut short ends the walk
        const uint16_t platform = table.U16BEAt(at);
        if (platform != 0 && platform != 3)
            continue;
        const uint16_t encoding = table.U16BEAt(at + 2);
        const uint16_t language = table.U16BEAt(at + 4);
        const uint16_t nameId = table.U16BEAt(at + 6);
        const uint32_t length = table.U16BEAt(at + 8);
        const uint32_t offset = table.U16BEAt(at + 10);
        // Records come grouped by language, so the set of the previous record usually fits.
        if (last < 0 || sets[last].language != language || sets[last].platform != platform || sets[last].encoding != encoding) {
            last = sets.Find(language, platform, encoding);
            if (last < 0 || sets[last].platform != platform || sets[last].encoding != encoding)
                last = sets.Add(language, platform, encoding);
        }
        int slot;
        if (nameId <= 14)
            slot = nameId;
        else if (nameId >= 16 && nameId <= 20)
            slot = nameId - 1;
        else
            continue;
        // Strings are clamped to the table: what lies outside it is not this string.
        const size_t start = size_t(stringOffset) + offset;
        const size_t available = start < table.Size() ? table.Size() - start : 0;
        const size_t len = std::min<size_t>(length, available);
        sets[last].strings[slot] = DecodeNameString(len ? table.Data() + start : nullptr, len, platform, encoding);
    }
    return true;
}

bool SfntFontReader::ReadSfntFile(const std::wstring& filePath, const std::wstring& shownPath, CFontItemArray& array)
{
    path = filePath;
    displayPath = shownPath;
    FontFile file;
    if (!file.Open(filePath))
        return false;
    return ReadSfntTables(file, 0, shownPath, array, 0);
}

bool SfntFontReader::ReadSfntTables(FontFile& file, uint64_t faceOffset, const std::wstring& shownPath, CFontItemArray& array, int installed)
{
    families.clear();
    encodings.clear();
    SfntDirectory dir;
    if (!ReadSfntDirectory(file, faceOffset, dir))
        return false;

    // Everything this face needs, fetched together.
    std::vector<FontFile::Range> wanted;
    auto want = [&](const SfntTableSlot& slot, uint64_t length) {
        if (slot.present)
            wanted.push_back({slot.offset, length});
    };
    want(dir.cmap, std::min<uint64_t>(dir.cmap.length, kCmapHeadSize));
    want(dir.head, kHeadSize);
    want(dir.maxp, kMaxpSize);
    want(dir.os2, kOs2Size);
    want(dir.name, dir.name.length);
    want(dir.kern, std::min<uint64_t>(dir.kern.length, kKernHeadersSize));
    file.Prefetch(wanted);

    if (!ReadEncodingsFromFile(file, dir.cmap, encodings) || !dir.head.present)
        return false;
    const ByteReader head = file.Read(dir.head.offset, kHeadSize);
    if (!head.Has(0, kHeadSize))
        return false;
    // The record is built in place: a copy of its names would cost more than reading them.
    array.emplace_back();
    bool appended = false;
    struct DropUnlessAppended {
        CFontItemArray& array;
        const bool& appended;
        ~DropUnlessAppended()
        {
            if (!appended)
                array.pop_back();
        }
    } guard{array, appended};
    CFontItemInfo& record = array.back();
    ReadHead(head, record);

    record.glyphs = 0;
    if (dir.maxp.present) {
        const ByteReader maxp = file.Read(dir.maxp.offset, kMaxpSize);
        if (maxp.Has(0, kMaxpSize))
            record.glyphs = maxp.U16BEAt(4);
    }

    if (!dir.os2.present)
        return false;
    const ByteReader os2 = file.Read(dir.os2.offset, kOs2Size);
    if (!os2.Has(0, kOs2FieldsEnd))
        return false;
    ReadOs2(os2, record);

    record.path = shownPath.empty() ? path : shownPath;
    record.kind = dir.openTypeOutlines ? KindOpenType : readerKind;
    record.installed = installed;
    record.kerningPairs = 0;
    FillFileFacts(file, record);

    CFontStringsArray sets;
    if (dir.name.present)
        ReadNameTable(file.Read(dir.name.offset, dir.name.length), sets);
    if (!ChooseDefaultNames(encodings, sets, record))
        return false;
    if (record.names[record.defaultNames].strings[NameFamily].empty())
        return false;

    if (dir.kern.present) {
        const SfntTableSlot kern = dir.kern;
        const int pairs = WalkKernTable(
            [&](uint64_t offset, uint64_t length) {
                if (offset >= kern.length)
                    return ByteReader();
                return file.Read(kern.offset + offset, std::min<uint64_t>(length, kern.length - offset));
            },
            kern.length, true, nullptr);
        if (pairs != 0)
            record.kerningPairs = pairs;
    }

    record.itemId = array.GetSize() - 1;
    appended = true;
    return true;
}

bool SfntCollectionReader::ReadTtcFile(const std::wstring& filePath, const std::wstring& shownPath, CFontItemArray& array)
{
    path = filePath;
    displayPath = shownPath;
    FontFile file;
    if (!file.Open(filePath))
        return false;
    const ByteReader header = file.Read(0, 12);
    if (!header.Has(0, 12) || LowerTag(header.Data()) != Tag('t', 't', 'c', 'f'))
        return false;
    if (header.U16BEAt(4) != 1 || header.U16BEAt(6) != 0)
        return false;
    // The count sizes a read: no more offsets than the file can hold.
    const uint64_t numFonts = std::min<uint64_t>(header.U32BEAt(8), (file.Size() - 12) / 4);
    const ByteReader offsets = file.Read(12, numFonts * 4);
    const size_t count = std::min<size_t>(numFonts, offsets.Size() / 4);

    const int collectionId = array.nextCollectionId++;
    CMyDWordArray faces;
    bool result = false;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t offset = offsets.U32BEAt(i * 4);
        if (offset == 0)
            continue;
        result = ReadSfntTables(file, offset, shownPath, array, 0);
        if (!result)
            break;
        CFontItemInfo& face = array.back();
        face.collectionId = collectionId;
        faces.Add(static_cast<uint32_t>(face.itemId));
    }
    if (!faces.empty())
        array.collections[collectionId] = faces;
    return result;
}

bool ReadSfntFile(const std::wstring& path, const std::wstring& displayPath, CFontItemArray& array)
{
    SfntFontReader reader;
    return reader.ReadSfntFile(path, displayPath, array);
}

bool ReadTtcFile(const std::wstring& path, const std::wstring& displayPath, CFontItemArray& array)
{
    SfntCollectionReader reader;
    return reader.ReadTtcFile(path, displayPath, array);
}

namespace {
// A screen-compatible memory context with the font of logFont selected; everything released on destruction.
class InstalledFontContext {
public:
    explicit InstalledFontContext(const LOGFONTW& logFont)
    {
        m_screen = GetDC(nullptr);
        if (m_screen)
            m_dc = CreateCompatibleDC(m_screen);
        if (m_dc)
            m_font = CreateFontIndirectW(&logFont);
        if (m_font)
            m_old = SelectObject(m_dc, m_font);
    }
    ~InstalledFontContext()
    {
        if (m_old)
            SelectObject(m_dc, m_old);
        if (m_font)
            DeleteObject(m_font);
        if (m_dc)
            DeleteDC(m_dc);
        if (m_screen)
            ReleaseDC(nullptr, m_screen);
    }
    InstalledFontContext(const InstalledFontContext&) = delete;
    InstalledFontContext& operator=(const InstalledFontContext&) = delete;
    HDC dc() const { return m_old ? m_dc : nullptr; }

private:
    HDC m_screen = nullptr;
    HDC m_dc = nullptr;
    HFONT m_font = nullptr;
    HGDIOBJ m_old = nullptr;
};
}  // namespace

bool ReadInstalledFontTables(const LOGFONTW& logFont, CFontItemInfo& record)
{
    InstalledFontContext context(logFont);
    const HDC dc = context.dc();
    if (!dc)
        return false;
    CTTFCMapEncodingArray encodings;
    if (!ReadEncodingsFromDC(dc, encodings))
        return false;
    record.glyphs = 0;
    record.kerningPairs = 0;

    uint8_t head[kHeadSize];
    if (GetTablePart(dc, GdiTag('h', 'e', 'a', 'd'), 0, head, kHeadSize))
        ReadHead(ByteReader(head, kHeadSize), record);
    uint8_t maxp[kMaxpSize];
    if (GetTablePart(dc, GdiTag('m', 'a', 'x', 'p'), 0, maxp, kMaxpSize))
        record.glyphs = ByteReader(maxp, kMaxpSize).U16BEAt(4);
    uint8_t os2[kOs2Size] = {};
    const DWORD os2Got = GetFontData(dc, GdiTag('O', 'S', '/', '2'), 0, os2, kOs2Size);
    if (os2Got != GDI_ERROR && os2Got >= kOs2FieldsEnd)
        ReadOs2(ByteReader(os2, kOs2Size), record);

    const std::vector<uint8_t> name = GetWholeTable(dc, GdiTag('n', 'a', 'm', 'e'));
    CFontStringsArray sets;
    if (ReadNameTable(ByteReader(name.data(), name.size()), sets)) {
        if (!ChooseDefaultNames(encodings, sets, record))
            return false;
    }

    const DWORD kern = GdiTag('k', 'e', 'r', 'n');
    const DWORD kernSize = GetFontData(dc, kern, 0, nullptr, 0);
    if (kernSize != GDI_ERROR && kernSize != 0) {
        std::vector<uint8_t> part;
        const int pairs = WalkKernTable(
            [&](uint64_t offset, uint64_t length) {
                if (offset >= kernSize)
                    return ByteReader();
                length = std::min<uint64_t>(length, kernSize - offset);
                part.assign(static_cast<size_t>(length), 0);
                const DWORD got = GetFontData(dc, kern, static_cast<DWORD>(offset), part.data(), static_cast<DWORD>(length));
                if (got == GDI_ERROR)
                    return ByteReader();
                return ByteReader(part.data(), std::min<size_t>(got, part.size()));
            },
            kernSize, false, nullptr);
        if (pairs != 0)
            record.kerningPairs = pairs;
    }
    return true;
}

std::wstring GetTtcRegistryName(const std::wstring& path)
{
    CFontItemArray faces;
    if (!ReadTtcFile(path, GetFileTitle(path, true, false), faces))
        return {};
    std::wstring out;
    for (const CFontItemInfo& face : faces) {
        if (!out.empty())
            out += L" & ";
        out += face.GetName(NameFull, -1);
    }
    return out + L" (TrueType)";
}

std::wstring MakeFontsRegistryValueName(const CFontItemInfo& record)
{
    return FormatString(L"%s (%s)", record.GetName(NameFull, -1).c_str(), record.kind == KindOpenType ? L"OpenType" : L"TrueType");
}

int ReadKernTable(const ByteReader& table, bool fileRules, std::vector<KerningPair>* outPairs)
{
    const uint32_t length = static_cast<uint32_t>(std::min<size_t>(table.Size(), 0xFFFFFFFFu));
    return WalkKernTable(
        [&](uint64_t offset, uint64_t count) {
            if (offset >= table.Size())
                return ByteReader();
            return table.Sub(static_cast<size_t>(offset), static_cast<size_t>(std::min<uint64_t>(count, table.Size() - offset)));
        },
        length, fileRules, outPairs);
}

int ReadKernTableFromFile(const std::wstring& path, int& outCount, std::vector<KerningPair>* outPairs, bool collect)
{
    outCount = 0;
    FontFile file;
    if (!file.Open(path))
        return 0;
    const ByteReader version = file.Read(0, 4);
    if (!version.Has(0, 4) || !IsSfntVersion(version.Data()))
        return 0;
    SfntDirectory dir;
    if (!ReadSfntDirectory(file, 0, dir) || !dir.kern.present)
        return 0;
    std::vector<KerningPair> pairs;
    const SfntTableSlot kern = dir.kern;
    const int count = WalkKernTable(
        [&](uint64_t offset, uint64_t length) {
            if (offset >= kern.length)
                return ByteReader();
            return file.Read(kern.offset + offset, std::min<uint64_t>(length, kern.length - offset));
        },
        kern.length, true, collect ? &pairs : nullptr);
    if (collect && outPairs)
        *outPairs = std::move(pairs);
    outCount = count;
    return count;
}

namespace {
// The format-4 walk over get(offset, out, length), which copies exactly length bytes of the cmap table.
template <class Get>
bool ExtractCmap4(Get&& get, void* buffer, DWORD bufferSize, DWORD& outSize, BOOL& outIsSymbol)
{
    outIsSymbol = FALSE;
    uint8_t header[4];
    if (!get(0, header, 4))
        return false;
    const uint16_t numTables = static_cast<uint16_t>(header[2] << 8 | header[3]);
    int chosen = -1;
    uint32_t chosenOffset = 0;
    bool symbol = false;
    for (uint16_t i = 0; i < numTables; ++i) {
        uint8_t record[8];
        if (!get(4 + 8u * i, record, 8)) {
            outSize = 0;
            return false;
        }
        const ByteReader r(record, 8);
        const uint16_t platform = r.U16BEAt(0);
        const uint16_t encoding = r.U16BEAt(2);
        if (platform == 3 && (encoding == 1 || encoding == 0)) {
            chosen = i;
            chosenOffset = r.U32BEAt(4);
            symbol = encoding == 0;
        }
    }
    if (chosen < 0) {
        outSize = 0;
        return false;
    }
    uint8_t sub[14];
    if (!get(chosenOffset, sub, 14))
        return false;
    const ByteReader h(sub, 14);
    if (h.U16BEAt(0) != 4)
        return false;
    const DWORD length = h.U16BEAt(2);
    const uint32_t segCount = h.U16BEAt(6) / 2;
    outSize = length;
    if (!buffer || length > bufferSize)
        return false;
    // segCountX2 is the font's word: the four arrays it sizes must lie inside the subtable.
    if (16 + 8 * segCount > length)
        return false;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    if (!get(chosenOffset, out, length))
        return false;
    // Every word to native order but the reserved one between endCode and startCode.
    const size_t reserved = 14 + 2 * size_t(segCount);
    for (size_t at = 0; at + 1 < length; at += 2) {
        if (at != reserved)
            std::swap(out[at], out[at + 1]);
    }
    outIsSymbol = symbol ? TRUE : FALSE;
    return true;
}
}  // namespace

bool GetInstalledFontCmap4(HDC dc, void* buffer, DWORD bufferSize, DWORD& outSize, BOOL& outIsSymbol)
{
    const DWORD cmap = GdiTag('c', 'm', 'a', 'p');
    return ExtractCmap4([&](uint32_t offset, void* out, DWORD length) { return GetTablePart(dc, cmap, offset, out, length); },
                        buffer, bufferSize, outSize, outIsSymbol);
}

bool GetCmap4FromTable(const ByteReader& cmap, void* buffer, DWORD bufferSize, DWORD& outSize, BOOL& outIsSymbol)
{
    return ExtractCmap4(
        [&](uint32_t offset, void* out, DWORD length) {
            if (!cmap.Has(offset, length))
                return false;
            std::memcpy(out, cmap.Data() + offset, length);
            return true;
        },
        buffer, bufferSize, outSize, outIsSymbol);
}

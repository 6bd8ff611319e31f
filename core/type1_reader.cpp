#include "core/type1_reader.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "core/bitmap_reader.h"
#include "core/byte_reader.h"
#include "core/font_file.h"
#include "core/helpers.h"

namespace {

// A .pfm is a few kilobytes; a larger file is refused rather than read into memory.
constexpr uint64_t kMaxPfmBytes = 16ull << 20;

constexpr size_t kPfmHeaderSize = 143;
constexpr size_t kPfmNameRoom = 255;  // a name read from the .pfm is at most this long
constexpr uint16_t kPfmVersion = 0x100;
constexpr uint16_t kPfmExtensionSize = 30;
constexpr size_t kPfmSizeFieldsAt = 117;
constexpr size_t kPfmPairKernTableAt = 131;
constexpr size_t kPfmDriverInfoAt = 139;

// The ANSI text at offset up to its first zero byte, at most room bytes and never past the data.
std::wstring TextAt(const uint8_t* data, size_t size, uint64_t offset, size_t room)
{
    if (offset >= size)
        return {};
    const char* start = reinterpret_cast<const char*>(data + offset);
    room = std::min<size_t>(room, size - static_cast<size_t>(offset));
    const void* zero = std::memchr(start, 0, room);
    return MultiByteToWide(start, zero ? static_cast<size_t>(static_cast<const char*>(zero) - start) : room, CP_ACP);
}

// The white space and word characters of ECMAScript regular expressions over narrow text.
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsWord(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; }
bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

bool EqualsAsciiNoCase(const char* text, size_t length, const char* word)
{
    const size_t wordLength = std::strlen(word);
    if (length != wordLength)
        return false;
    for (size_t i = 0; i < length; ++i) {
        char a = text[i], b = word[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<char>(b - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

// Matches `/key\s*(value)rest` as the regular expression "/(\w+)\s*\((.*)\)(.*)" would: the leftmost match
// from `from`, the value running to the last ')' of the line that holds the '('. Hand-made because the
// library's regular expressions recurse once per character and overflow the stack on long lines; this scan
// stays linear: the end and the last ')' of a line are found once per line.
struct KeyMatch {
    size_t keyStart, keyLength, valueStart, valueLength, lineEnd;
};

class KeyScanner {
public:
    KeyScanner(const char* text, size_t length) : m_text(text), m_length(length) {}

    bool Next(size_t from, KeyMatch& out)
    {
        for (size_t slash = from; slash < m_length; ++slash) {
            if (m_text[slash] != '/')
                continue;
            size_t p = slash + 1;
            while (p < m_length && IsWord(m_text[p]))
                ++p;
            if (p == slash + 1)
                continue;
            const size_t keyEnd = p;
            while (p < m_length && IsSpace(m_text[p]))
                ++p;
            if (p >= m_length || m_text[p] != '(')
                continue;
            if (p >= m_lineEnd)
                ScanLine(p);
            if (m_lastClose == kNone || m_lastClose <= p)
                continue;
            out = {slash + 1, keyEnd - slash - 1, p + 1, m_lastClose - p - 1, m_lineEnd};
            return true;
        }
        return false;
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    // The end of the line that holds position `open` and its last ')' after `open`.
    void ScanLine(size_t open)
    {
        m_lastClose = kNone;
        size_t p = open + 1;
        for (; p < m_length && !IsLineEnd(m_text[p]); ++p) {
            if (m_text[p] == ')')
                m_lastClose = p;
        }
        m_lineEnd = p;
    }

    const char* m_text;
    size_t m_length;
    size_t m_lineEnd = 0;  // positions before it belong to the line last scanned
    size_t m_lastClose = kNone;
};

}  // namespace

void Type1FontReader::ParseFontInfoText(const char* text, size_t length, CFontStrings& names)
{
    static const char kFontInfo[] = "/FontInfo";
    const size_t tagLength = sizeof(kFontInfo) - 1;
    size_t p = 0;
    while (p + tagLength <= length && std::memcmp(text + p, kFontInfo, tagLength) != 0)
        ++p;
    if (p + tagLength > length)
        return;
    p += tagLength;

    // "/FontInfo\s*(\d*)(.*)": the dictionary size, then the rest of the line.
    while (p < length && IsSpace(text[p]))
        ++p;
    long long entries = 0;
    for (; p < length && text[p] >= '0' && text[p] <= '9'; ++p)
        entries = std::min<long long>(entries * 10 + (text[p] - '0'), INT_MAX);
    while (p < length && !IsLineEnd(text[p]))
        ++p;
    size_t scan = p + 1;

    KeyScanner scanner(text, length);
    KeyMatch match{};
    for (long long n = 0; n < entries && scan < length && scanner.Next(scan, match); ++n) {
        const char* key = text + match.keyStart;
        int id = -1;
        if (EqualsAsciiNoCase(key, match.keyLength, "FullName"))
            id = NameFull;
        else if (EqualsAsciiNoCase(key, match.keyLength, "FamilyName"))
            id = NameFamily;
        else if (EqualsAsciiNoCase(key, match.keyLength, "Notice"))
            id = NameNotice;
        if (id >= 0)
            names.strings[id] = MultiByteToWide(text + match.valueStart, match.valueLength, CP_ACP);
        scan = match.lineEnd + 1;
    }
}

bool Type1FontReader::ParsePfbFontInfo(const std::wstring& folder, const std::wstring& pfbName, CFontStrings& names)
{
    FontFile file;
    if (!file.Open(CombinePath(pfbName, folder)))
        return false;
    constexpr size_t kSegmentHeader = 6;
    const ByteReader segment = file.Read(0, kSegmentHeader);
    if (segment.Size() < kSegmentHeader || segment.U8At(0) != 0x80 || segment.U8At(1) != 1)
        return false;
    const uint32_t length = segment.U32LEAt(2);
    // The length is the file's word: a segment cannot be longer than what follows its header.
    if (length > file.Size() - kSegmentHeader)
        return false;
    const ByteReader text = file.Read(kSegmentHeader, length);
    if (text.Size() != length)
        return false;
    ParseFontInfoText(reinterpret_cast<const char*>(text.Data()), text.Size(), names);
    return true;
}

int Type1FontReader::ReadPfmKerningPairs(const uint8_t* pfm, size_t size, std::vector<KERNINGPAIR>& outPairs, bool collect)
{
    if (collect)
        outPairs.clear();
    const ByteReader file(pfm, size);
    const uint32_t table = file.U32LEAt(kPfmPairKernTableAt);
    if (file.U16LEAt(kPfmSizeFieldsAt) != kPfmExtensionSize || table == 0 || !file.Has(table, 2))
        return 0;
    // The stored count may promise more pairs than the file holds: only those that exist are counted.
    const size_t present = (size - table - 2) / 4;
    const size_t count = std::min<size_t>(file.U16LEAt(table), present);
    if (!collect)
        return static_cast<int>(count);

    struct RawPair {
        uint8_t first, second;
        int16_t amount;
    };
    std::vector<RawPair> raw(count);
    for (size_t i = 0; i < count; ++i) {
        const size_t at = table + 2 + i * 4;
        raw[i] = {pfm[at], pfm[at + 1], static_cast<int16_t>(file.U16LEAt(at + 2))};
    }
    // Stable, like the narrowing bubble sort that orders the pairs elsewhere: equal pairs keep their order.
    std::stable_sort(raw.begin(), raw.end(), [](const RawPair& a, const RawPair& b) {
        return a.first != b.first ? a.first < b.first : a.second < b.second;
    });
    outPairs.resize(count);
    for (size_t i = 0; i < count; ++i)
        outPairs[i] = {raw[i].first, raw[i].second, raw[i].amount};
    return static_cast<int>(count);
}

int Type1FontReader::ReadPfmFileKerningPairs(const std::wstring& path, std::vector<KERNINGPAIR>& outPairs, bool collect)
{
    if (collect)
        outPairs.clear();
    FontFile file;
    std::vector<uint8_t> data;
    if (!file.Open(path) || !file.ReadAll(kMaxPfmBytes, data))
        return 0;
    const ByteReader pfm(data.data(), data.size());
    if (pfm.U16LEAt(0) != kPfmVersion || pfm.U32LEAt(kPfmPairKernTableAt) == 0)
        return 0;
    return ReadPfmKerningPairs(data.data(), data.size(), outPairs, collect);
}

std::wstring Type1FontReader::FindPfbForPfm(const std::wstring& folder, const std::wstring& pfmName, std::wstring& outPfb,
                                            const std::wstring& baseFolder)
{
    const std::wstring title = GetFileTitle(pfmName, false, false);
    outPfb = title + L".PFB";
    std::wstring dir = folder;
    if (dir.empty()) {
        const size_t slash = pfmName.rfind(L'\\');
        if (slash == std::wstring::npos)
            return pfmName + L" | " + outPfb;
        dir = pfmName.substr(0, slash);
    }
    while (dir.size() > 1 && dir.back() == L'\\')
        dir.pop_back();

    const std::wstring pfmPath = CombinePath(pfmName, folder);
    auto relativePair = [&](const std::wstring& pfbPath) {
        return MakeRelativePath(pfmPath, baseFolder, true, true) + L" | " + MakeRelativePath(pfbPath, baseFolder, true, true);
    };

    std::wstring candidate = dir + L"\\" + title + L".pfb";
    if (FileExists(candidate)) {
        if (baseFolder.empty() || CompareLocale(dir, baseFolder, true) <= 0)
            return pfmName + L" | " + outPfb;
        return relativePair(candidate);
    }

    // Next to the .pfm in a folder "pfb", then in the parent folder.
    const bool dotted = pfmName.rfind(L".\\", 0) == 0;
    const size_t parentSlash = dir.rfind(L'\\');
    const std::wstring places[2][2] = {
        {dir + L"\\pfb\\" + title + L".pfb", L"pfb\\" + title + L".pfb"},
        {parentSlash == std::wstring::npos ? std::wstring() : dir.substr(0, parentSlash) + L"\\" + title + L".pfb",
         L"..\\" + title + L".pfb"},
    };
    for (const auto& place : places) {
        candidate = place[0];
        if (candidate.empty() || !FileExists(candidate))
            continue;
        outPfb = dotted ? candidate : place[1];
        return baseFolder.empty() ? pfmName + L" | " + outPfb : relativePair(candidate);
    }
    return {};
}

bool Type1FontReader::ReadType1FontFile(const std::wstring& folder, const std::wstring& pfmName, CFontItemArray& array,
                                        const std::wstring& pfbName, const std::wstring& baseFolder)
{
    const std::wstring pfmPath = CombinePath(pfmName, folder);
    CFontItemInfo record;
    CFontStrings names(0, 0, 0);
    std::wstring pfb = pfbName;
    {
        FontFile file;
        std::vector<uint8_t> data;
        if (!file.Open(pfmPath) || !file.ReadAll(kMaxPfmBytes, data))
            return false;
        // A short file reads as a header padded with zeros.
        uint8_t headerBytes[kPfmHeaderSize] = {};
        std::memcpy(headerBytes, data.data(), std::min(data.size(), sizeof(headerBytes)));
        const ByteReader header(headerBytes, sizeof(headerBytes));
        const uint32_t face = header.U32LEAt(105);
        if (header.U16LEAt(0) != kPfmVersion || face == 0)
            return false;

        if (header.U32LEAt(kPfmPairKernTableAt) != 0) {
            std::vector<KERNINGPAIR> unused;
            record.kerningPairs = ReadPfmKerningPairs(data.data(), data.size(), unused, false);
        }
        names.strings[NameTypographicFamily] = TextAt(data.data(), data.size(), face, kPfmNameRoom);
        if (names.strings[NameTypographicFamily].empty())
            return false;
        if (const uint32_t driverInfo = header.U32LEAt(kPfmDriverInfoAt)) {
            names.strings[NamePostScript] = TextAt(data.data(), data.size(), driverInfo, kPfmNameRoom);
            names.strings[NameFull] = names.strings[NamePostScript];
        }
        names.strings[NameNotice] = TextAt(headerBytes, 66, 6, 60);

        if (pfbName.empty())
            record.path = FindPfbForPfm(folder, pfmName, pfb, baseFolder);
        else if (!baseFolder.empty())
            record.path = MakeRelativePath(pfmPath, baseFolder, true, true) + L" | " +
                          MakeRelativePath(CombinePath(pfbName, folder), baseFolder, true, true);
        else
            record.path = pfmName + L" | " + pfbName;
        record.kind = KindType1;
        record.installed = 0;
        names.strings[NameDevice] = TextAt(data.data(), data.size(), header.U32LEAt(101), kPfmNameRoom);

        std::memset(&record.metrics, 0, sizeof(record.metrics));
        WinFontMetrics& m = record.metrics.win;
        ReadFontHeaderMetrics(header, m);
        m.dfAvgWidth = header.U16LEAt(91);

        record.SetFileInfo(file.Handle());
        record.itemId = array.GetSize();
    }
    ParsePfbFontInfo(folder, pfb, names);
    const int index = record.names.Add(0, 0, 0);
    record.names[index] = names;
    array.Add(record);
    return true;
}

// Truncated and mutated bitmap and Type 1 fonts: every read ends in a result, never in a fault. Parsers that
// take bytes get them right before an inaccessible page, so that a read past the end faults at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap_reader.h"
#include "core/type1_reader.h"
#include "test_support.h"

namespace {

using core_test::ReadFileBytes;
using core_test::TempFolder;
using core_test::WriteFileBytes;

const std::wstring kBitmapDir = GLY_FIXTURE_DIR L"\\bitmap\\";
const std::wstring kType1Dir = GLY_FIXTURE_DIR L"\\type1\\";
const std::wstring kWineFonts = L"Z:\\usr\\share\\wine\\fonts\\";
constexpr uint32_t kSeed = 20261209;

// Memory whose last usable byte is followed by a page that cannot be read.
class GuardedArena {
public:
    explicit GuardedArena(size_t capacity)
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        const size_t page = info.dwPageSize;
        m_usable = (capacity + page - 1) / page * page;
        m_base = static_cast<uint8_t*>(VirtualAlloc(nullptr, m_usable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        if (m_base)
            VirtualProtect(m_base + m_usable, page, PAGE_NOACCESS, &old);
    }
    ~GuardedArena()
    {
        if (m_base)
            VirtualFree(m_base, 0, MEM_RELEASE);
    }
    GuardedArena(const GuardedArena&) = delete;
    GuardedArena& operator=(const GuardedArena&) = delete;

    bool Ok() const { return m_base != nullptr; }
    // Copies the bytes so that they end at the guard page.
    const uint8_t* Place(const uint8_t* data, size_t size)
    {
        uint8_t* at = m_base + m_usable - size;
        if (size)
            std::memcpy(at, data, size);
        return at;
    }

private:
    uint8_t* m_base = nullptr;
    size_t m_usable = 0;
};

// Deterministic damage: bytes and words set to random or boundary values, biased towards the headers where
// offsets, lengths and counts live; now and then a cut.
class Mutator {
public:
    explicit Mutator(uint32_t seed) : m_random(seed) {}

    std::vector<uint8_t> Mutate(const std::vector<uint8_t>& original, size_t hotEnd)
    {
        std::vector<uint8_t> data = original;
        const int edits = 1 + static_cast<int>(m_random() % 4);
        for (int e = 0; e < edits && !data.empty(); ++e) {
            const size_t limit = (m_random() % 4 != 0) ? std::min(hotEnd, data.size()) : data.size();
            const size_t at = m_random() % limit;
            static const uint32_t kBoundaries[] = {0, 1, 0x7F, 0x80, 0xFF, 0x7FFF, 0x8000, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
            const uint32_t value = (m_random() % 2) ? kBoundaries[m_random() % std::size(kBoundaries)] : m_random();
            const size_t width = std::min<size_t>(size_t(1) << (m_random() % 3), data.size() - at);
            for (size_t i = 0; i < width; ++i)
                data[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
        if (m_random() % 16 == 0)
            data.resize(m_random() % (data.size() + 1));
        return data;
    }

private:
    std::mt19937 m_random;
};

void ExpectSaneBitmapRecords(const CFontItemArray& fonts, size_t from)
{
    for (size_t i = from; i < fonts.size(); ++i) {
        EXPECT_EQ(fonts[i].kind, KindBitmap);
        EXPECT_EQ(fonts[i].names.GetSize(), 1);
        EXPECT_GE(fonts[i].glyphs, 0);
        EXPECT_LE(fonts[i].glyphs, 256);
    }
}

}  // namespace

TEST(ReaderFuzzBitmapType1, TruncatedBitmapFonts)
{
    GuardedArena arena(64 * 1024);
    ASSERT_TRUE(arena.Ok());

    const std::vector<uint8_t> fon = ReadFileBytes(kBitmapDir + L"bmp-two-families.fon");
    ASSERT_FALSE(fon.empty());
    for (size_t length = 0; length <= fon.size(); ++length) {
        const uint8_t* data = arena.Place(fon.data(), length);
        CFontItemArray fonts;
        BitmapFontReader reader;
        // The last resource ends at the end of the file: every shorter prefix cuts a resource.
        EXPECT_EQ(reader.ReadFonData(data, length, L"x.fon", INVALID_HANDLE_VALUE, fonts), length == fon.size()) << length;
        ExpectSaneBitmapRecords(fonts, 0);
        BitmapFontReader::ReadFonDescriptionData(data, length);
    }

    const std::vector<uint8_t> fnt = ReadFileBytes(kBitmapDir + L"bmp-v3-device.fnt");
    ASSERT_FALSE(fnt.empty());
    for (size_t length = 0; length <= fnt.size(); ++length) {
        const uint8_t* data = arena.Place(fnt.data(), length);
        CFontItemArray fonts;
        BitmapFontReader reader;
        EXPECT_TRUE(reader.ReadFntData(data, length, L"x.fnt", INVALID_HANDLE_VALUE, &fonts));
        EXPECT_EQ(fonts.GetSize(), length >= 148 ? 1 : 0) << length;
        ExpectSaneBitmapRecords(fonts, 0);
    }
}

TEST(ReaderFuzzBitmapType1, MutatedBitmapFonts)
{
    GuardedArena arena(64 * 1024);
    ASSERT_TRUE(arena.Ok());
    struct Source {
        std::wstring path;
        bool fon;
        size_t hotEnd;  // headers and tables: MZ, NE and resource table, or the font header
        int rounds;
    } sources[] = {
        {kBitmapDir + L"bmp-two-families.fon", true, 0x100, 8000},
        {kWineFonts + L"sserife.fon", true, 0x200, 2000},
        {kBitmapDir + L"bmp-v3-device.fnt", false, 148, 6000},
    };
    Mutator mutator(kSeed);
    for (const Source& source : sources) {
        const std::vector<uint8_t> original = ReadFileBytes(source.path);
        ASSERT_FALSE(original.empty()) << source.path;
        ASSERT_LE(original.size(), 64u * 1024);
        int accepted = 0;
        for (int round = 0; round < source.rounds; ++round) {
            const std::vector<uint8_t> bytes = mutator.Mutate(original, source.hotEnd);
            const uint8_t* data = arena.Place(bytes.data(), bytes.size());
            CFontItemArray fonts;
            BitmapFontReader reader;
            bool ok;
            if (source.fon) {
                ok = reader.ReadFonData(data, bytes.size(), L"x", INVALID_HANDLE_VALUE, fonts);
                BitmapFontReader::ReadFonDescriptionData(data, bytes.size());
            } else {
                ok = reader.ReadFntData(data, bytes.size(), L"x", INVALID_HANDLE_VALUE, &fonts) && !fonts.empty();
                CFontItemInfo record;
                BitmapFontReader::ParseFntHeader(data, bytes.size(), &record, 0);
            }
            ExpectSaneBitmapRecords(fonts, 0);
            accepted += ok;
        }
        // Most damage is harmless to the names; the mutations must not all be refusals.
        EXPECT_GT(accepted, 0) << source.path;
        EXPECT_LT(accepted, source.rounds) << source.path;
    }
}

TEST(ReaderFuzzBitmapType1, MutatedPfmKerningAndFontInfo)
{
    GuardedArena arena(256 * 1024);
    ASSERT_TRUE(arena.Ok());
    Mutator mutator(kSeed + 1);

    for (const wchar_t* file : {L"GlyHand.pfm", L"GlyKern.pfm"}) {
        const std::vector<uint8_t> pfm = ReadFileBytes(kType1Dir + file);
        ASSERT_FALSE(pfm.empty()) << file;
        for (size_t length = 0; length <= pfm.size(); ++length) {
            std::vector<KERNINGPAIR> pairs;
            const int count = Type1FontReader::ReadPfmKerningPairs(arena.Place(pfm.data(), length), length, pairs, true);
            EXPECT_EQ(size_t(count), pairs.size());
        }
        for (int round = 0; round < 20000; ++round) {
            const std::vector<uint8_t> bytes = mutator.Mutate(pfm, 147);
            std::vector<KERNINGPAIR> pairs;
            const int count = Type1FontReader::ReadPfmKerningPairs(arena.Place(bytes.data(), bytes.size()), bytes.size(), pairs, true);
            EXPECT_EQ(size_t(count), pairs.size());
            EXPECT_LE(size_t(count), bytes.size() / 4);
        }
    }

    for (const wchar_t* file : {L"GlyHand.pfb", L"GlyKern.pfb", L"fontinfo-size-2.pfb"}) {
        const std::vector<uint8_t> pfb = ReadFileBytes(kType1Dir + file);
        ASSERT_GT(pfb.size(), 6u) << file;
        for (size_t length = 0; length <= pfb.size(); ++length) {
            CFontStrings names;
            Type1FontReader::ParseFontInfoText(reinterpret_cast<const char*>(arena.Place(pfb.data(), length)), length, names);
        }
        for (int round = 0; round < 10000; ++round) {
            const std::vector<uint8_t> bytes = mutator.Mutate(pfb, pfb.size());
            CFontStrings names;
            Type1FontReader::ParseFontInfoText(reinterpret_cast<const char*>(arena.Place(bytes.data(), bytes.size())), bytes.size(), names);
        }
    }
}

// Type 1 pairs through the files: cut and damaged .pfm and .pfb files.
TEST(ReaderFuzzBitmapType1, TruncatedAndMutatedType1Files)
{
    TempFolder temp(L"gly_fuzz_bitmap_type1");
    const std::wstring pfmPath = temp.File(L"F.pfm");
    const std::wstring pfbPath = temp.File(L"F.pfb");
    const std::vector<uint8_t> pfm = ReadFileBytes(kType1Dir + L"GlyHand.pfm");
    const std::vector<uint8_t> pfb = ReadFileBytes(kType1Dir + L"GlyHand.pfb");
    ASSERT_GT(pfm.size(), 143u);
    ASSERT_GT(pfb.size(), 6u);
    const uint32_t faceAt = pfm[105] | pfm[106] << 8 | pfm[107] << 16 | uint32_t(pfm[108]) << 24;
    const size_t segmentEnd = 6 + (pfb[2] | pfb[3] << 8 | pfb[4] << 16 | size_t(pfb[5]) << 24);
    Type1FontReader reader;

    // A cut .pfm is read as long as the face name has begun.
    ASSERT_TRUE(WriteFileBytes(pfbPath, pfb.data(), pfb.size()));
    for (size_t length = 0; length <= pfm.size(); ++length) {
        ASSERT_TRUE(WriteFileBytes(pfmPath, pfm.data(), length));
        CFontItemArray fonts;
        EXPECT_EQ(reader.ReadType1FontFile(temp.Path(), L"F.pfm", fonts), length > faceAt) << length;
    }
    // A cut .pfb leaves the names of the .pfm until its first segment is whole.
    ASSERT_TRUE(WriteFileBytes(pfmPath, pfm.data(), pfm.size()));
    for (size_t length = 0; length <= pfb.size(); ++length) {
        ASSERT_TRUE(WriteFileBytes(pfbPath, pfb.data(), length));
        CFontItemArray fonts;
        ASSERT_TRUE(reader.ReadType1FontFile(temp.Path(), L"F.pfm", fonts)) << length;
        EXPECT_EQ(fonts[0].names[0].strings[NameFull], length >= segmentEnd ? L"Gly Hand Book" : L"GlyHand-Book") << length;
    }

    Mutator mutator(kSeed + 2);
    for (int round = 0; round < 400; ++round) {
        const std::vector<uint8_t> badPfm = mutator.Mutate(pfm, 147);
        const std::vector<uint8_t> badPfb = mutator.Mutate(pfb, 32);
        ASSERT_TRUE(WriteFileBytes(pfmPath, badPfm.data(), badPfm.size()));
        ASSERT_TRUE(WriteFileBytes(pfbPath, badPfb.data(), badPfb.size()));
        CFontItemArray fonts;
        if (reader.ReadType1FontFile(temp.Path(), L"F.pfm", fonts)) {
            ASSERT_EQ(fonts.GetSize(), 1);
            EXPECT_EQ(fonts[0].kind, KindType1);
            EXPECT_FALSE(fonts[0].names[0].strings[NameTypographicFamily].empty());
            EXPECT_LE(fonts[0].kerningPairs, int(badPfm.size() / 4));
        } else {
            EXPECT_EQ(fonts.GetSize(), 0);
        }
        std::vector<KERNINGPAIR> pairs;
        const int count = reader.ReadPfmFileKerningPairs(pfmPath, pairs, true);
        EXPECT_EQ(size_t(count), pairs.size());
    }
}

// Bitmap files through the file readers, with a few damaged versions of one.
TEST(ReaderFuzzBitmapType1, MutatedBitmapFiles)
{
    TempFolder temp(L"gly_fuzz_bitmap_type1");
    const std::wstring fonPath = temp.File(L"F.fon");
    const std::wstring fntPath = temp.File(L"F.fnt");
    const std::vector<uint8_t> fon = ReadFileBytes(kBitmapDir + L"bmp-three-sizes.fon");
    const std::vector<uint8_t> fnt = ReadFileBytes(kBitmapDir + L"bmp-v2.fnt");
    ASSERT_FALSE(fon.empty());
    ASSERT_FALSE(fnt.empty());
    Mutator mutator(kSeed + 3);
    for (int round = 0; round < 200; ++round) {
        const std::vector<uint8_t> badFon = mutator.Mutate(fon, 0x100);
        const std::vector<uint8_t> badFnt = mutator.Mutate(fnt, 118);
        ASSERT_TRUE(WriteFileBytes(fonPath, badFon.data(), badFon.size()));
        ASSERT_TRUE(WriteFileBytes(fntPath, badFnt.data(), badFnt.size()));
        CFontItemArray fonts;
        BitmapFontReader reader;
        reader.ReadFonFile(fonPath, L"", fonts);
        BitmapFontReader::ReadFonDescription(fonPath);
        EXPECT_TRUE(reader.ReadFntFile(fntPath, L"", &fonts));
        ExpectSaneBitmapRecords(fonts, 0);
    }
}

// Damaged sfnt files: every prefix of small fixtures and deterministic mutations of real fonts. Nothing may
// crash or read outside its buffers, and a reader that fails must say so.
#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include "core/font_file.h"
#include "core/sfnt_reader.h"
#include "test_support.h"

namespace {

using core_test::SfntFixture;

// One scratch file, rewritten for every case.
class ScratchFile {
public:
    explicit ScratchFile(const wchar_t* name)
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        // The process id keeps parallel test processes apart.
        m_path = std::wstring(temp) + std::to_wstring(GetCurrentProcessId()) + L"_" + name;
    }
    ~ScratchFile() { DeleteFileW(m_path.c_str()); }
    const std::wstring& path() const { return m_path; }
    bool Write(const uint8_t* data, size_t size) const { return core_test::WriteFileBytes(m_path, data, size); }

private:
    std::wstring m_path;
};

// The reader's answer agrees with what it appended, and what it appended is a usable record.
void CheckRecord(const CFontItemInfo& r, uint64_t fileSize)
{
    EXPECT_FALSE(r.GetName(NameFamily, -1).empty());
    EXPECT_GE(r.defaultNames, 0);
    EXPECT_LT(r.defaultNames, r.names.GetSize());
    EXPECT_GE(r.glyphs, 0);
    EXPECT_GE(r.kerningPairs, 0);
    EXPECT_LE(static_cast<uint64_t>(r.kerningPairs), fileSize / 6);
}

void ReadAsSfnt(const std::wstring& path, uint64_t size)
{
    CFontItemArray fonts;
    const bool ok = ReadSfntFile(path, L"", fonts);
    ASSERT_EQ(ok, fonts.GetSize() == 1);
    if (ok)
        CheckRecord(fonts[0], size);
    int count = -1;
    std::vector<KerningPair> pairs;
    ReadKernTableFromFile(path, count, &pairs, true);
    EXPECT_EQ(static_cast<size_t>(count), pairs.size());
    EXPECT_LE(static_cast<uint64_t>(count), size / 6);
}

void ReadAsCollection(const std::wstring& path, uint64_t size)
{
    CFontItemArray fonts;
    const bool ok = ReadTtcFile(path, L"", fonts);
    if (ok) {
        ASSERT_GE(fonts.GetSize(), 1);
    }
    size_t listed = 0;
    for (const auto& [id, faces] : fonts.collections)
        listed += faces.size();
    EXPECT_EQ(listed, fonts.size());
    for (const CFontItemInfo& r : fonts)
        CheckRecord(r, size);
}

// The byte ranges that the sfnt reader looks at in a face: where mutations can matter.
std::vector<std::pair<size_t, size_t>> ReadRanges(const std::wstring& path, uint64_t faceOffset)
{
    FontFile file;
    SfntDirectory dir;
    std::vector<std::pair<size_t, size_t>> ranges{{static_cast<size_t>(faceOffset), 12 + 16 * 24}};
    if (!file.Open(path) || !ReadSfntDirectory(file, faceOffset, dir))
        return ranges;
    for (const SfntTableSlot* s : {&dir.name, &dir.cmap, &dir.head, &dir.os2, &dir.kern, &dir.maxp}) {
        if (s->present)
            ranges.push_back({s->offset, std::min<size_t>(s->length, 512)});
    }
    return ranges;
}

void Mutate(std::vector<uint8_t>& bytes, const std::vector<std::pair<size_t, size_t>>& ranges, std::mt19937& rng)
{
    const int edits = 1 + static_cast<int>(rng() % 3);
    for (int e = 0; e < edits; ++e) {
        const auto& [start, length] = ranges[rng() % ranges.size()];
        if (length == 0)
            continue;
        size_t at = start + rng() % length;
        if (at >= bytes.size())
            continue;
        static const uint32_t kWords[] = {0, 1, 0x7FFF, 0x8000, 0xFFFE, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF};
        switch (rng() % 4) {
        case 0: bytes[at] = static_cast<uint8_t>(rng()); break;
        case 1: bytes[at] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
        default: {
            const uint32_t v = kWords[rng() % 8];
            const int width = rng() % 2 ? 2 : 4;
            at &= ~size_t(1);
            for (int i = 0; i < width && at + i < bytes.size(); ++i)
                bytes[at + i] = static_cast<uint8_t>(v >> (8 * (width - 1 - i)));
        }
        }
    }
}

}  // namespace

TEST(ReaderFuzz, SfntPrefixesOfAFixture)
{
    const std::vector<uint8_t> whole = core_test::ReadFileBytes(SfntFixture(L"basic.ttf"));
    ASSERT_FALSE(whole.empty());
    ScratchFile scratch(L"gly_fuzz_prefix.ttf");
    for (size_t n = 0; n <= whole.size(); ++n) {
        SCOPED_TRACE(n);
        ASSERT_TRUE(scratch.Write(whole.data(), n));
        ReadAsSfnt(scratch.path(), n);
        if (::testing::Test::HasFatalFailure())
            FAIL() << "prefix " << n;
    }
    CFontItemArray fonts;
    EXPECT_TRUE(ReadSfntFile(scratch.path(), L"", fonts));  // the last prefix is the whole file
}

TEST(ReaderFuzz, CollectionPrefixesOfAFixture)
{
    const std::vector<uint8_t> whole = core_test::ReadFileBytes(SfntFixture(L"pair.ttc"));
    ASSERT_FALSE(whole.empty());
    ScratchFile scratch(L"gly_fuzz_prefix.ttc");
    for (size_t n = 0; n <= whole.size(); ++n) {
        SCOPED_TRACE(n);
        ASSERT_TRUE(scratch.Write(whole.data(), n));
        ReadAsCollection(scratch.path(), n);
        if (::testing::Test::HasFatalFailure())
            FAIL() << "prefix " << n;
    }
}

TEST(ReaderFuzz, MutatedRealFontsAndCollections)
{
    const struct {
        std::wstring path;
        int rounds;
        bool collection;
    } sources[] = {
        {L"Z:\\usr\\share\\fonts\\truetype\\liberation\\LiberationSans-Regular.ttf", 200, false},
        {L"Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf", 40, false},
        {SfntFixture(L"basic.ttf"), 200, false},
        {SfntFixture(L"pair.ttc"), 200, true},
    };
    std::mt19937 rng(20261209);
    ScratchFile scratch(L"gly_fuzz_mutant.bin");
    for (const auto& source : sources) {
        const std::vector<uint8_t> original = core_test::ReadFileBytes(source.path);
        ASSERT_FALSE(original.empty()) << "installed by setup";
        std::vector<std::pair<size_t, size_t>> ranges;
        if (source.collection) {
            ranges.push_back({0, 12 + 4 * 4});
            const ByteReader header(original.data(), original.size());
            for (uint32_t i = 0; i < header.U32BEAt(8) && i < 4; ++i) {
                const auto face = ReadRanges(source.path, header.U32BEAt(12 + 4 * i));
                ranges.insert(ranges.end(), face.begin(), face.end());
            }
        } else {
            ranges = ReadRanges(source.path, 0);
        }
        for (int round = 0; round < source.rounds; ++round) {
            std::vector<uint8_t> bytes = original;
            Mutate(bytes, ranges, rng);
            SCOPED_TRACE(round);
            ASSERT_TRUE(scratch.Write(bytes.data(), bytes.size()));
            if (source.collection)
                ReadAsCollection(scratch.path(), bytes.size());
            else
                ReadAsSfnt(scratch.path(), bytes.size());
            if (::testing::Test::HasFatalFailure())
                FAIL() << "round " << round;
        }
    }
}

TEST(ReaderFuzz, MutatedTablesInMemory)
{
    const std::wstring path = L"Z:\\usr\\share\\fonts\\truetype\\liberation\\LiberationSans-Regular.ttf";
    FontFile file;
    SfntDirectory dir;
    ASSERT_TRUE(file.Open(path));
    ASSERT_TRUE(ReadSfntDirectory(file, 0, dir));
    auto table = [&](const SfntTableSlot& s) {
        const ByteReader r = file.Read(s.offset, s.length);
        return std::vector<uint8_t>(r.Data(), r.Data() + r.Size());
    };
    const std::vector<uint8_t> name = table(dir.name), kern = table(dir.kern), cmap = table(dir.cmap);
    ASSERT_FALSE(name.empty() || kern.empty() || cmap.empty());
    std::mt19937 rng(7);
    std::vector<uint8_t> out(1 << 16);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> n = name, k = kern, c = cmap;
        Mutate(n, {{0, std::min<size_t>(n.size(), 6 + 12 * 40)}}, rng);
        Mutate(k, {{0, 32}}, rng);
        Mutate(c, {{0, std::min<size_t>(c.size(), 64)}}, rng);
        // Cut the mutants short now and then as well.
        const size_t cut = rng() % 4 == 0 ? rng() % 64 : 0;
        CFontStringsArray sets;
        ReadNameTable(ByteReader(n.data(), n.size() - std::min(cut, n.size())), sets);
        std::vector<KerningPair> pairs;
        const int total = ReadKernTable(ByteReader(k.data(), k.size() - std::min(cut, k.size())), true, &pairs);
        EXPECT_EQ(static_cast<size_t>(total), pairs.size());
        EXPECT_LE(static_cast<size_t>(total), k.size() / 6);
        DWORD size = 0;
        BOOL symbol = FALSE;
        GetCmap4FromTable(ByteReader(c.data(), c.size() - std::min(cut, c.size())), out.data(), static_cast<DWORD>(out.size()), size, symbol);
    }
}

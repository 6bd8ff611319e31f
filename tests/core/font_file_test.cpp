#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/font_file.h"
#include "test_support.h"

namespace {
using core_test::SfntFixture;
}  // namespace

TEST(FontFile, ReadsRangesTogetherAndNeverPastTheEnd)
{
    FontFile missing;
    EXPECT_FALSE(missing.Open(SfntFixture(L"missing.ttf")));
    EXPECT_EQ(missing.Read(0, 4).Size(), 0u);

    FontFile file;
    const FontFileStats start = GetFontFileStats();
    ASSERT_TRUE(file.Open(SfntFixture(L"basic.ttf")));
    const uint64_t size = file.Size();
    ASSERT_GT(size, 100u);

    // Two ranges a few bytes apart come in with one read, and later look-ups inside them cost none.
    file.Prefetch({{0, 16}, {60, 40}});
    const FontFileStats afterPrefetch = GetFontFileStats();
    EXPECT_EQ(afterPrefetch.opens - start.opens, 1u);
    EXPECT_EQ(afterPrefetch.reads - start.reads, 1u);
    const ByteReader head = file.Read(0, 12);
    EXPECT_EQ(head.Size(), 12u);
    EXPECT_EQ(head.U32BEAt(0), 0x00010000u);
    EXPECT_EQ(file.Read(60, 40).Size(), 40u);
    EXPECT_EQ(GetFontFileStats().reads, afterPrefetch.reads);

    // A range that runs past the end is cut at the end; one that starts there is empty.
    EXPECT_EQ(file.Read(size - 4, 100).Size(), 4u);
    EXPECT_EQ(file.Read(size, 1).Size(), 0u);
    EXPECT_EQ(file.Read(~uint64_t(0) - 2, 8).Size(), 0u);
    EXPECT_EQ(file.Read(0, ~uint64_t(0)).Size(), size);
    file.Close();
    EXPECT_EQ(file.Read(0, 4).Size(), 0u);
}

TEST(FontFile, ReadAllHonoursItsCap)
{
    FontFile file;
    std::vector<uint8_t> data;
    EXPECT_FALSE(file.ReadAll(1 << 20, data));  // not open
    ASSERT_TRUE(file.Open(SfntFixture(L"basic.ttf")));
    const uint64_t size = file.Size();
    EXPECT_FALSE(file.ReadAll(size - 1, data));
    EXPECT_TRUE(data.empty());
    // Earlier ranged reads leave the file position elsewhere; the whole file still comes from its start.
    EXPECT_EQ(file.Read(40, 8).Size(), 8u);
    ASSERT_TRUE(file.ReadAll(size, data));
    EXPECT_EQ(data, core_test::ReadFileBytes(SfntFixture(L"basic.ttf")));
}

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "core/font_file.h"

namespace {
std::wstring Fixture(const wchar_t* name) { return std::wstring(GLY_FIXTURE_DIR) + L"\\sfnt\\" + name; }
}  // namespace

TEST(FontFile, ReadsRangesTogetherAndNeverPastTheEnd)
{
    FontFile missing;
    EXPECT_FALSE(missing.Open(Fixture(L"missing.ttf")));
    EXPECT_EQ(missing.Read(0, 4).Size(), 0u);

    FontFile file;
    const FontFileStats start = GetFontFileStats();
    ASSERT_TRUE(file.Open(Fixture(L"basic.ttf")));
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

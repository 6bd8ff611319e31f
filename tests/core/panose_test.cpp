#include <gtest/gtest.h>

#include <cstring>

#include "core/panose.h"

TEST(Panose, HexTextWithAndWithoutPrefix)
{
    const uint8_t panose[10] = {2, 11, 6, 4, 5, 5, 5, 2, 2, 4};
    EXPECT_EQ(PanoseToHex(panose, true), L"# 2 B 6 4 5 5 5 2 2 4");
    EXPECT_EQ(PanoseToHex(panose, false), L" 2 B 6 4 5 5 5 2 2 4");
    const uint8_t wide[10] = {0x1F, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0x10};
    EXPECT_EQ(PanoseToHex(wide, false), L"1F 0FF 0 0 0 0 0 010");
}

TEST(Panose, HexTextReadsBack)
{
    const uint8_t panose[10] = {2, 11, 6, 4, 5, 5, 5, 2, 2, 4};
    uint8_t out[10] = {};
    EXPECT_TRUE(PanoseFromHex(PanoseToHex(panose, true), out));
    EXPECT_EQ(std::memcmp(out, panose, 10), 0);

    const uint8_t digits[10] = {0, 1, 15, 14, 0, 9, 10, 0, 3, 15};
    EXPECT_TRUE(PanoseFromHex(PanoseToHex(digits, false), out));
    EXPECT_EQ(std::memcmp(out, digits, 10), 0);

    // Short text fills only the first bytes; the rest stay as they were.
    uint8_t partial[10] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_TRUE(PanoseFromHex(L"  020B", partial));
    EXPECT_EQ(partial[0], 2);
    EXPECT_EQ(partial[1], 11);
    EXPECT_EQ(partial[2], 9);

    EXPECT_FALSE(PanoseFromHex(L"", out));
    EXPECT_FALSE(PanoseFromHex(L" # -", out));
}

TEST(Panose, SetAndCompare)
{
    uint8_t zero[10] = {};
    uint8_t last[10] = {};
    last[9] = 1;
    uint8_t first[10] = {};
    first[0] = 2;
    EXPECT_FALSE(PanoseIsSet(zero));
    EXPECT_TRUE(PanoseIsSet(last));
    EXPECT_EQ(ComparePanose(zero, zero), 0);
    EXPECT_EQ(ComparePanose(last, zero), 1);
    EXPECT_EQ(ComparePanose(zero, last), -1);
    EXPECT_EQ(ComparePanose(first, last), 1);  // the first difference decides
}

TEST(Panose, FamilyKindsWithoutTable)
{
    PanoseDigitName names[10];
    const struct {
        uint8_t family;
        int title, value;
    } cases[] = {{0, 251, 281}, {1, 251, 282}, {6, -1, -1}, {255, -1, -1}};
    for (const auto& c : cases) {
        uint8_t panose[10] = {c.family, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        EXPECT_TRUE(GetPanoseDigitNames(panose, names));
        EXPECT_EQ(names[0].title, c.title) << int(c.family);
        EXPECT_EQ(names[0].value, c.value) << int(c.family);
        for (int i = 1; i < 10; ++i) {
            EXPECT_EQ(names[i].title, -1) << int(c.family) << " digit " << i;
            EXPECT_EQ(names[i].value, -1) << int(c.family) << " digit " << i;
        }
    }
}

TEST(Panose, LatinTextNames)
{
    uint8_t panose[10] = {2, 11, 6, 4, 5, 5, 5, 2, 2, 4};
    PanoseDigitName names[10];
    ASSERT_TRUE(GetPanoseDigitNames(panose, names));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(names[i].title, 251 + i);
    EXPECT_EQ(names[0].value, 247);
    EXPECT_EQ(names[1].value, 292);  // serif style 11: normal sans
    EXPECT_EQ(names[2].value, 300);  // weight 6: medium
    EXPECT_EQ(names[9].value, 329);  // x-height 4: constant/large

    const struct {
        int weight, id;
    } weights[] = {{0, 281}, {1, 282}, {2, 297}, {3, 298}, {4, 288}, {5, 299}, {11, 305}, {12, -1}, {255, -1}};
    for (const auto& w : weights) {
        panose[2] = static_cast<uint8_t>(w.weight);
        GetPanoseDigitNames(panose, names);
        EXPECT_EQ(names[2].value, w.id) << w.weight;
    }
}

TEST(Panose, ValueListsEndAtTheirLengths)
{
    // Per family and digit 1..9: the number of values with a list entry.
    const struct {
        uint8_t family;
        int counts[9];
        int titles[10];
    } families[] = {
        {2, {16, 12, 10, 10, 11, 12, 16, 15, 8}, {251, 252, 253, 254, 255, 256, 257, 258, 259, 260}},
        {3, {10, 12, 4, 7, 10, 11, 14, 14, 7}, {}},
        {4, {13, 12, 10, 14, 17, 8, 9, 16, 6}, {}},
        {5, {13, 2, 4, 2, 10, 10, 10, 10, 10}, {251, 272, 253, 262, 275, 276, 277, 278, 279, 280}},
    };
    PanoseDigitName names[10];
    for (const auto& f : families) {
        for (int digit = 1; digit < 10; ++digit) {
            const int count = f.counts[digit - 1];
            uint8_t panose[10] = {f.family};
            panose[digit] = static_cast<uint8_t>(count - 1);
            GetPanoseDigitNames(panose, names);
            EXPECT_NE(names[digit].title, -1);
            EXPECT_EQ(names[0].value, 245 + f.family);
            panose[digit] = static_cast<uint8_t>(count);
            GetPanoseDigitNames(panose, names);
            EXPECT_EQ(names[digit].value, -1) << int(f.family) << " digit " << digit;
            // Values 0 and 1 are "any" and "no fit" in every list.
            panose[digit] = 1;
            GetPanoseDigitNames(panose, names);
            EXPECT_EQ(names[digit].value, 282) << int(f.family) << " digit " << digit;
        }
        if (f.titles[0]) {
            uint8_t panose[10] = {f.family};
            GetPanoseDigitNames(panose, names);
            for (int i = 0; i < 10; ++i)
                EXPECT_EQ(names[i].title, f.titles[i]) << int(f.family) << " digit " << i;
        }
    }
}

TEST(Panose, LatinTextIdsStayInTheirRange)
{
    const int counts[9] = {16, 12, 10, 10, 11, 12, 16, 15, 8};
    PanoseDigitName names[10];
    for (int digit = 1; digit < 10; ++digit) {
        for (int value = 0; value < counts[digit - 1]; ++value) {
            uint8_t panose[10] = {2};
            panose[digit] = static_cast<uint8_t>(value);
            GetPanoseDigitNames(panose, names);
            EXPECT_GE(names[digit].value, 281) << digit << "/" << value;
            EXPECT_LE(names[digit].value, 330) << digit << "/" << value;
        }
    }
}

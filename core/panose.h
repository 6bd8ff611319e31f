#pragma once
// The 10-byte PANOSE classification of an sfnt font: text form, comparison and digit names.
#include <cstdint>
#include <string>

constexpr int kPanoseSize = 10;

// String ids of one digit's title and value; -1 = none.
struct PanoseDigitName {
    int title = -1;
    int value = -1;
};

// "#" (with the prefix) and every byte as "%2X", e.g. "# 2 B 6 4 5 5 5 2 2 4".
std::wstring PanoseToHex(const uint8_t* panose, bool withPrefix);
// Reads pairs of hexadecimal characters from the first letter or digit on, up to 10 bytes.
bool PanoseFromHex(const std::wstring& text, uint8_t* out);
bool PanoseIsSet(const uint8_t* panose);
// -1, 0 or 1; the first differing byte decides.
int ComparePanose(const uint8_t* a, const uint8_t* b);
// The title and value string ids of the 10 digits; always true.
bool GetPanoseDigitNames(const uint8_t* panose, PanoseDigitName* out);

#include "core/panose.h"

#include <cwctype>

#include "core/helpers.h"
#include "core/resource_strings.h"

namespace {

// Ids shared by the family tables. Values 0 and 1 of every digit are "Any" and "No Fit".
constexpr int kAny = 281;
constexpr int kNoFit = 282;
constexpr int kNone = 314;
constexpr int kMedium = 300;

// A digit's value list: the string id of each value, from value 0 on.
struct ValueList {
    const int* ids;
    int count;
};

struct FamilyTable {
    int familyName;         // value of digit 0
    int titles[kPanoseSize];
    ValueList values[kPanoseSize - 1];  // digits 1..9
};

template <size_t N>
constexpr ValueList List(const int (&ids)[N])
{
    return ValueList{ids, static_cast<int>(N)};
}

// Latin Text (2).
constexpr int kTextSerif[] = {kAny, kNoFit, 283, 284, 285, 286, 287, 288, 289, 290, 291, 292, 293, 294, 295, 296};
constexpr int kWeight[] = {kAny, kNoFit, 297, 298, 288, 299, 300, 301, 302, 303, 304, 305};
constexpr int kTextProportion[] = {kAny, kNoFit, 306, 307, 308, 309, 310, 311, 312, 313};
constexpr int kContrast[] = {kAny, kNoFit, kNone, 315, 316, 317, kMedium, 318, 319, 320};
// Stroke variation: no variation, gradual (4), rapid (2), instant (2).
constexpr int kTextStroke[] = {kAny, kNoFit, kNone, 321, 321, 321, 321, 322, 322, 323, 323};
// Arm style: straight arms (5), non-straight arms (5).
constexpr int kTextArms[] = {kAny, kNoFit, 324, 324, 324, 324, 324, 325, 325, 325, 325, 325};
// Letterform: normal (7), oblique (7).
constexpr int kTextLetterform[] = {kAny, kNoFit, 326, 326, 326, 326, 326, 326, 326, 327, 327, 327, 327, 327, 327, 327};
// Midline: standard, high, constant, low (3 each); the last value has no name of its own.
constexpr int kTextMidline[] = {kAny, kNoFit, 328, 328, 328, 319, 319, 319, 329, 329, 329, 316, 316, 316, kNoFit};
// X-height: constant (3), ducking (3).
constexpr int kTextXHeight[] = {kAny, kNoFit, 329, 329, 329, 330, 330, 330};

// Latin Hand Written (3).
constexpr int kHandTool[] = {kAny, kNoFit, -1, -1, -1, -1, -1, -1, -1, -1};
constexpr int kHandSpacing[] = {kAny, kNoFit, 475, 313};
constexpr int kHandAspect[] = {kAny, kNoFit, 312, 310, 326, 309, 311};
// Topology: roman, cursive, blackletter (3 each).
constexpr int kHandTopology[] = {kAny, kNoFit, 479, 479, 479, 480, 480, 480, 481, 481, 481};
// Form: upright, oblique, exaggerated (4 each).
constexpr int kHandForm[] = {kAny, kNoFit, 326, 326, 326, 326, 327, 327, 327, 327, 290, 290, 290, 290};
// Finials: none, sharp, tapered, round (3 each).
constexpr int kHandFinials[] = {kAny, kNoFit, kNone, kNone, kNone, -1, -1, -1, -1, -1, -1, 296, 296, 296};
constexpr int kHandXAscent[] = {kAny, kNoFit, 315, 316, kMedium, 319, 320};

// Latin Decorative (4).
constexpr int kDecoClass[] = {kAny, kNoFit, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 464};
constexpr int kDecoAspect[] = {kAny, kNoFit, -1, 312, 310, 326, 309, 311, -1, 313};
constexpr int kDecoContrast[] = {kAny, kNoFit, kNone, 315, 316, 317, kMedium, 318, 319, 320, -1, -1, -1, -1};
constexpr int kDecoSerif[] = {kAny, kNoFit, 283, 284, 285, 286, 287, 288, 289, 290, 291, 292, 293, 294, 295, 296, 480};
constexpr int kDecoTreatment[] = {kAny, kNoFit, kNone, -1, 470, -1, -1, -1};
constexpr int kDecoLining[] = {kAny, kNoFit, kNone, -1, -1, -1, -1, -1, -1};
constexpr int kDecoTopology[] = {kAny, kNoFit, 328, 287, -1, -1, -1, -1, -1, -1, -1, -1, -1, 480, 481, -1};
constexpr int kDecoRange[] = {kAny, kNoFit, -1, -1, -1, -1};

// Latin Symbol (5).
constexpr int kSymbolKind[] = {kAny, kNoFit, 464, 465, 466, 467, 468, 469, 470, 471, 472, 473, 474};
constexpr int kAnyOrNoFit[] = {kAny, kNoFit};
constexpr int kSymbolSpacing[] = {kAny, kNoFit, 475, 313};
// Aspect ratio of a character: no width, exceptionally wide, super wide, very wide, wide, normal, narrow,
// very narrow.
constexpr int kSymbolAspect[] = {kAny, kNoFit, 476, 477, 478, 311, 309, 326, 310, 312};

constexpr FamilyTable kLatinText = {
    247,
    {251, 252, 253, 254, 255, 256, 257, 258, 259, 260},
    {List(kTextSerif), List(kWeight), List(kTextProportion), List(kContrast), List(kTextStroke), List(kTextArms),
     List(kTextLetterform), List(kTextMidline), List(kTextXHeight)},
};
constexpr FamilyTable kLatinHandWritten = {
    248,
    {251, 261, 253, 262, 263, 255, 264, 265, 266, 267},
    {List(kHandTool), List(kWeight), List(kHandSpacing), List(kHandAspect), List(kContrast), List(kHandTopology),
     List(kHandForm), List(kHandFinials), List(kHandXAscent)},
};
constexpr FamilyTable kLatinDecorative = {
    249,
    {251, 268, 253, 269, 255, 270, 271, 273, 264, 274},
    {List(kDecoClass), List(kWeight), List(kDecoAspect), List(kDecoContrast), List(kDecoSerif), List(kDecoTreatment),
     List(kDecoLining), List(kDecoTopology), List(kDecoRange)},
};
constexpr FamilyTable kLatinSymbol = {
    250,
    {251, 272, 253, 262, 275, 276, 277, 278, 279, 280},
    {List(kSymbolKind), List(kAnyOrNoFit), List(kSymbolSpacing), List(kAnyOrNoFit), List(kSymbolAspect),
     List(kSymbolAspect), List(kSymbolAspect), List(kSymbolAspect), List(kSymbolAspect)},
};

}  // namespace

std::wstring PanoseToHex(const uint8_t* panose, bool withPrefix)
{
    std::wstring text;
    if (withPrefix)
        text = FormatString(L"%C", L'#');
    for (int i = 0; i < kPanoseSize; ++i)
        text += FormatString(L"%2X", static_cast<unsigned>(panose[i]));
    return text;
}

bool PanoseFromHex(const std::wstring& text, uint8_t* out)
{
    size_t pos = 0;
    while (pos < text.size() && !std::iswalnum(text[pos]))
        ++pos;
    if (pos >= text.size())
        return false;
    for (int i = 0; i < kPanoseSize && pos < text.size(); ++i, pos += 2) {
        const int length = text.size() - pos >= 2 ? 2 : 1;
        int stop = 0;
        out[i] = static_cast<uint8_t>(ParseHex(text.c_str() + pos, length, &stop));
    }
    return true;
}

bool PanoseIsSet(const uint8_t* panose)
{
    for (int i = 0; i < kPanoseSize; ++i) {
        if (panose[i] != 0)
            return true;
    }
    return false;
}

int ComparePanose(const uint8_t* a, const uint8_t* b)
{
    for (int i = 0; i < kPanoseSize; ++i) {
        if (a[i] != b[i])
            return a[i] > b[i] ? 1 : -1;
    }
    return 0;
}

bool GetPanoseDigitNames(const uint8_t* panose, PanoseDigitName* out)
{
    for (int i = 0; i < kPanoseSize; ++i)
        out[i] = PanoseDigitName{};

    const FamilyTable* table = nullptr;
    switch (panose[0]) {
    case 0:
        out[0] = {251, kAny};
        return true;
    case 1:
        out[0] = {251, kNoFit};
        return true;
    case 2: table = &kLatinText; break;
    case 3: table = &kLatinHandWritten; break;
    case 4: table = &kLatinDecorative; break;
    case 5: table = &kLatinSymbol; break;
    default: return true;
    }

    for (int i = 0; i < kPanoseSize; ++i)
        out[i].title = table->titles[i];
    out[0].value = table->familyName;
    for (int digit = 1; digit < kPanoseSize; ++digit) {
        const ValueList& list = table->values[digit - 1];
        const int value = panose[digit];
        out[digit].value = value < list.count ? list.ids[value] : -1;
    }
    return true;
}

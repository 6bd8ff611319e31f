// The GDI+ helpers: type codes, encoders, saving, pixels, crops, PNG resources and re-framed image
// lists.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "ui/image_utils.h"

namespace {

class ImageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
    }
    static void TearDownTestSuite() { Gdiplus::GdiplusShutdown(token_); }

    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        base = std::wstring(temp) + L"gly_image_" + std::to_wstring(GetCurrentProcessId()) + L"_";
    }

    static std::string Head(const std::wstring& path, size_t count)
    {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return {};
        std::string bytes(count, '\0');
        DWORD got = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(count), &got, nullptr);
        CloseHandle(file);
        bytes.resize(got);
        return bytes;
    }

    std::wstring base;

private:
    static inline ULONG_PTR token_ = 0;
};

// A 16 x 16 icon: red where x < 8, blue elsewhere, fully opaque.
HICON MakeIcon(int size)
{
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = size;
    header.bV5Height = -size;
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    auto* pixels = static_cast<uint32_t*>(bits);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            pixels[y * size + x] = x < size / 2 ? 0xFFFF0000 : 0xFF0000FF;
    HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
    ICONINFO info{TRUE, 0, 0, mask, colour};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colour);
    DeleteObject(mask);
    return icon;
}

}  // namespace

TEST(ImageTypes, NamesAndExtensions)
{
    const std::pair<int, const wchar_t*> names[] = {{0, L"jpg"}, {1, L"bmp"}, {2, L"gif"}, {3, L"jpg"}, {4, L"jpeg"},
                                                    {5, L"png"}, {6, L"tiff"}, {7, L"jpg"}, {-1, L"jpg"}};
    for (const auto& [type, name] : names)
        EXPECT_EQ(ImageTypeToFormatName(type), name) << type;
    const std::pair<const wchar_t*, int> extensions[] = {{L"JPG", 4}, {L"jpeg", 4}, {L"Tif", 6}, {L"tiff", 6}, {L"ico", 3},
                                                         {L"png", 5}, {L"bmp", 1},  {L"gif", 2},  {L"svg", 0}, {L"", 0}};
    for (const auto& [extension, type] : extensions)
        EXPECT_EQ(ImageTypeFromExtension(extension), type) << std::wstring(extension).size();
}

TEST_F(ImageTest, EncodersAreFoundByMimeTypeOnly)
{
    CLSID clsid{};
    EXPECT_GE(GetEncoderClsid(kImageTypePng, &clsid), 0);
    EXPECT_GE(GetEncoderClsid(kImageTypeJpeg, &clsid), 0);
    CLSID untouched{};
    untouched.Data1 = 0x1234;
    EXPECT_EQ(GetEncoderClsid(kImageTypeIco, &untouched), -1);  // "image/jpg" is no encoder's type
    EXPECT_EQ(untouched.Data1, 0x1234u);
}

TEST_F(ImageTest, SavingPicksTheEncoderFromTypeOrExtension)
{
    Gdiplus::Bitmap bitmap(8, 8, PixelFormat32bppARGB);
    CImageSaver saver;
    struct Case {
        const wchar_t* file;
        int type;
        std::string magic;
    };
    const Case cases[] = {
        {L"a.JPG", 0, "\xFF\xD8"},             // extension, any case
        {L"b.ico", 0, "\xFF\xD8"},             // no encoder of its own: the current one (JPEG for a new saver)
        {L"c.png", 0, "\x89PNG"},
        {L"d.bin", kImageTypeBmp, "BM"},
        {L"e.ico", 0, "BM"},                   // still the previous save's encoder
        {L"f.out", kImageTypePng, "\x89PNG"},
    };
    for (const Case& c : cases) {
        std::wstring path = base + c.file;
        EXPECT_TRUE(saver.SaveImage(&bitmap, path.c_str(), c.type)) << c.magic;
        EXPECT_EQ(Head(path, c.magic.size()), c.magic);
        DeleteFileW(path.c_str());
    }
    EXPECT_FALSE(saver.SaveImage(nullptr, (base + L"x.png").c_str(), 0));
    EXPECT_FALSE(saver.SaveImage(&bitmap, nullptr, 0));
    // A folder that does not exist: the failure stays in the bitmap.
    EXPECT_FALSE(saver.SaveImage(&bitmap, L"Z:\\no\\such\\folder\\x.png", 0));
    EXPECT_NE(bitmap.GetLastStatus(), Gdiplus::Ok);
}

TEST_F(ImageTest, PixelsAndCrops)
{
    Gdiplus::Bitmap bitmap(4, 4, PixelFormat32bppARGB);
    bitmap.SetPixel(1, 2, Gdiplus::Color(0xFF, 0xFF, 0, 0));
    bitmap.SetPixel(3, 3, Gdiplus::Color(0x80, 0x10, 0x20, 0x30));
    EXPECT_EQ(GetBitmapPixelColor(&bitmap, 1, 2), 0x000000FFu);
    EXPECT_EQ(GetBitmapPixelColor(&bitmap, 3, 3), RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(GetBitmapPixelColor(&bitmap, 9, 9), 0u);
    EXPECT_EQ(GetBitmapPixelColor(nullptr, 0, 0), 0u);

    std::unique_ptr<Gdiplus::Bitmap> cropped(CropBitmap(&bitmap, 1, 2, 2, 1));
    ASSERT_TRUE(cropped);
    EXPECT_EQ(cropped->GetWidth(), 2u);
    EXPECT_EQ(cropped->GetHeight(), 1u);
    EXPECT_EQ(cropped->GetPixelFormat(), PixelFormat32bppARGB);
    EXPECT_EQ(GetBitmapPixelColor(cropped.get(), 0, 0), 0x000000FFu);
}

TEST_F(ImageTest, PngResourcesOfTheProgramLoad)
{
    HMODULE program = LoadLibraryExW(GLY_BIN_DIR L"\\gly.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    std::unique_ptr<Gdiplus::Bitmap> strip(LoadPngResource(program, L"FontTypeIcons.PNG", L"PNG"));
    ASSERT_TRUE(strip);
    EXPECT_EQ(strip->GetHeight(), 16u);
    EXPECT_EQ(strip->GetWidth() % 16, 0u);
    EXPECT_EQ(LoadPngResource(program, L"NoSuchImage.PNG", L"PNG"), nullptr);
    EXPECT_EQ(LoadPngResource(program, nullptr, L"PNG"), nullptr);
    // A resource that is no image.
    EXPECT_EQ(LoadPngResource(program, MAKEINTRESOURCEW(1), RT_VERSION), nullptr);
    FreeLibrary(program);
}

TEST_F(ImageTest, ReframedImagesSitAtHalfTheDifferenceToTheRightAndDown)
{
    EXPECT_TRUE(ReframeImageList(nullptr, 20, 20, nullptr));
    struct Case {
        int iconSize;
        int cell;
        int offset;
    };
    const Case cases[] = {{16, 20, 2}, {16, 16, 0}, {32, 24, 4}};
    for (const Case& c : cases) {
        HIMAGELIST source = ImageList_Create(c.iconSize, c.iconSize, ILC_COLOR32 | ILC_MASK, 1, 1);
        HICON icon = MakeIcon(c.iconSize);
        ImageList_ReplaceIcon(source, -1, icon);
        ImageList_ReplaceIcon(source, -1, icon);
        DestroyIcon(icon);
        HIMAGELIST framed = nullptr;
        ASSERT_TRUE(ReframeImageList(source, c.cell, c.cell, &framed));
        ASSERT_NE(framed, nullptr);
        EXPECT_EQ(ImageList_GetImageCount(framed), 2);
        int w = 0, h = 0;
        ImageList_GetIconSize(framed, &w, &h);
        EXPECT_EQ(w, c.cell);

        // Read the first cell back and find where the red half begins.
        HICON out = ImageList_GetIcon(framed, 0, ILD_NORMAL);
        std::unique_ptr<Gdiplus::Bitmap> cell(Gdiplus::Bitmap::FromHICON(out));
        DestroyIcon(out);
        int firstRed = -1;
        for (int x = 0; x < c.cell && firstRed < 0; ++x) {
            if (GetBitmapPixelColor(cell.get(), x, c.cell / 2) == RGB(255, 0, 0))
                firstRed = x;
        }
        EXPECT_EQ(firstRed, c.offset) << c.iconSize << " in " << c.cell;
        ImageList_Destroy(source);
        ImageList_Destroy(framed);
    }
}

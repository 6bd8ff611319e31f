#pragma once
// GDI+ helpers: PNG resources as bitmaps, pixels, crops, saving with the right encoder, image type
// codes and re-framed image lists.
#include <windows.h>
#include <objidl.h>
#include <commctrl.h>
#include <gdiplus.h>

#include <string>

// Image type codes of the saver and the sample-image dialog.
enum ImageType : int {
    kImageTypeFromExtension = 0,
    kImageTypeBmp = 1,
    kImageTypeGif = 2,
    kImageTypeIco = 3,
    kImageTypeJpeg = 4,
    kImageTypePng = 5,
    kImageTypeTiff = 6,
};

// "bmp", "gif", "jpeg", "png", "tiff"; "jpg" for every code without a name of its own.
std::wstring ImageTypeToFormatName(int type);
// The type of an extension (without the dot, any case); 0 when none matches.
int ImageTypeFromExtension(const std::wstring& extension);
// The index of the encoder for "image/<format name>" and its CLSID; -1 (clsid untouched) when none.
int GetEncoderClsid(int type, CLSID* clsid);

class CImageSaver {
public:
    CImageSaver();
    // Saves with the type's encoder; type 0 takes the type from the path's extension. A type
    // without an encoder of its own saves with the encoder of the previous save (JPEG at first).
    // quality: JPEG quality (75 when null). A failure's status stays in the bitmap.
    BOOL SaveImage(Gdiplus::Bitmap* bitmap, const wchar_t* path, int type, const ULONG* quality = nullptr);

private:
    void PrepareFor(int type, const ULONG* quality);

    CLSID m_current{};
    CLSID m_png{};
    CLSID m_jpeg{};
    ULONG m_quality = 75;
    Gdiplus::EncoderParameters m_params{};
};

// A new bitmap of a PNG (or other image) resource of the module (null: the locale resource
// library); null when the resource is missing or not an image. Raises std::bad_alloc when no
// memory stream can be had.
Gdiplus::Bitmap* LoadPngResource(HMODULE module, const wchar_t* name, const wchar_t* type);
// 0x00BBGGRR of the pixel (alpha dropped); 0 for a null bitmap or a failed read.
COLORREF GetBitmapPixelColor(Gdiplus::Bitmap* bitmap, int x, int y);
// A new 32-bit ARGB bitmap holding the region (x, y, width, height) of the source, 1:1.
Gdiplus::Bitmap* CropBitmap(Gdiplus::Bitmap* source, int x, int y, int width, int height);
// Copies every image of the source list into a new list of the given cell size, each drawn
// unscaled at half the size difference; TRUE also for a null source.
BOOL ReframeImageList(HIMAGELIST source, int cellWidth, int cellHeight, HIMAGELIST* destination);

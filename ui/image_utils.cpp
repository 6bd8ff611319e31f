#include "ui/image_utils.h"

#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "core/resource_strings.h"

namespace {

struct TypeName {
    int type;
    const wchar_t* name;
    const wchar_t* extensions[2];
};

constexpr TypeName kTypes[] = {
    {kImageTypeBmp, L"bmp", {L"bmp", nullptr}},
    {kImageTypeGif, L"gif", {L"gif", nullptr}},
    {kImageTypeIco, nullptr, {L"ico", nullptr}},
    {kImageTypeJpeg, L"jpeg", {L"jpeg", L"jpg"}},
    {kImageTypePng, L"png", {L"png", nullptr}},
    {kImageTypeTiff, L"tiff", {L"tiff", L"tif"}},
};

// Copies the module's resource into the stream and rewinds it.
bool CopyResourceToStream(HMODULE module, const wchar_t* name, const wchar_t* type, IStream* stream)
{
    HRSRC found = FindResourceW(module, name, type);
    if (!found)
        return false;
    DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || !size)
        return false;
    ULONG written = 0;
    if (FAILED(stream->Write(bytes, size, &written)) || written != size)
        return false;
    LARGE_INTEGER zero{};
    return SUCCEEDED(stream->Seek(zero, STREAM_SEEK_SET, nullptr));
}

// The offset that centres an image of one size in a cell of another, always to the right and down.
int HalfDifference(int a, int b)
{
    return std::abs(a - b) / 2;
}

}  // namespace

std::wstring ImageTypeToFormatName(int type)
{
    for (const TypeName& entry : kTypes) {
        if (entry.type == type && entry.name)
            return entry.name;
    }
    return L"jpg";
}

int ImageTypeFromExtension(const std::wstring& extension)
{
    for (const TypeName& entry : kTypes) {
        for (const wchar_t* candidate : entry.extensions) {
            if (candidate && _wcsicmp(candidate, extension.c_str()) == 0)
                return entry.type;
        }
    }
    return kImageTypeFromExtension;
}

int GetEncoderClsid(int type, CLSID* clsid)
{
    std::wstring mime = L"image/" + ImageTypeToFormatName(type);
    UINT count = 0;
    UINT size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0)
        return -1;
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size]);
    if (!bytes)
        return -1;
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(bytes.get());
    if (Gdiplus::GetImageEncoders(count, size, encoders) != Gdiplus::Ok)
        return -1;
    for (UINT i = 0; i < count; ++i) {
        if (encoders[i].MimeType && mime == encoders[i].MimeType) {
            if (clsid)
                *clsid = encoders[i].Clsid;
            return static_cast<int>(i);
        }
    }
    return -1;
}

CImageSaver::CImageSaver()
{
    GetEncoderClsid(kImageTypePng, &m_png);
    GetEncoderClsid(kImageTypeJpeg, &m_jpeg);
    m_params.Parameter[0].Guid = Gdiplus::EncoderQuality;
    m_params.Parameter[0].NumberOfValues = 1;
    m_params.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    m_params.Parameter[0].Value = &m_quality;
    PrepareFor(kImageTypeJpeg, nullptr);
}

void CImageSaver::PrepareFor(int type, const ULONG* quality)
{
    switch (type) {
    case kImageTypeJpeg:
        m_current = m_jpeg;
        m_quality = quality ? *quality : 75;
        m_params.Count = 1;
        break;
    case kImageTypePng:
        m_current = m_png;
        m_params.Count = 0;
        break;
    default:
        GetEncoderClsid(type, &m_current);
        m_params.Count = 0;
        break;
    }
}

BOOL CImageSaver::SaveImage(Gdiplus::Bitmap* bitmap, const wchar_t* path, int type, const ULONG* quality)
{
    if (!bitmap || !path)
        return FALSE;
    if (type == kImageTypeFromExtension) {
        const wchar_t* dot = wcsrchr(path, L'.');
        const wchar_t* slash = wcsrchr(path, L'\\');
        if (dot && (!slash || dot > slash))
            type = ImageTypeFromExtension(dot + 1);
    }
    PrepareFor(type, quality);
    return bitmap->Save(path, &m_current, &m_params) == Gdiplus::Ok;
}

Gdiplus::Bitmap* LoadPngResource(HMODULE module, const wchar_t* name, const wchar_t* type)
{
    if (!name)
        return nullptr;
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) || !stream)
        throw std::bad_alloc();
    if (!CopyResourceToStream(module ? module : GetResourceModule(), name, type, stream)) {
        stream->Release();
        return nullptr;
    }
    Gdiplus::Bitmap* bitmap = Gdiplus::Bitmap::FromStream(stream);
    // The bitmap keeps its own reference to the stream.
    stream->Release();
    if (bitmap && bitmap->GetLastStatus() != Gdiplus::Ok) {
        delete bitmap;
        bitmap = nullptr;
    }
    return bitmap;
}

COLORREF GetBitmapPixelColor(Gdiplus::Bitmap* bitmap, int x, int y)
{
    if (!bitmap)
        return 0;
    Gdiplus::Color colour;
    if (bitmap->GetPixel(x, y, &colour) != Gdiplus::Ok)
        return 0;
    return RGB(colour.GetR(), colour.GetG(), colour.GetB());
}

Gdiplus::Bitmap* CropBitmap(Gdiplus::Bitmap* source, int x, int y, int width, int height)
{
    auto* cropped = new Gdiplus::Bitmap(width, height, PixelFormat32bppARGB);
    if (source && cropped->GetLastStatus() == Gdiplus::Ok) {
        Gdiplus::Graphics graphics(cropped);
        graphics.DrawImage(source, Gdiplus::Rect(0, 0, width, height), x, y, width, height, Gdiplus::UnitPixel);
    }
    return cropped;
}

BOOL ReframeImageList(HIMAGELIST source, int cellWidth, int cellHeight, HIMAGELIST* destination)
{
    if (!source)
        return TRUE;
    if (!destination)
        return FALSE;
    int count = ImageList_GetImageCount(source);
    int iconWidth = 0;
    int iconHeight = 0;
    ImageList_GetIconSize(source, &iconWidth, &iconHeight);
    *destination = ImageList_Create(cellWidth, cellHeight, ILC_COLOR32 | ILC_MASK, count, 1);
    if (!*destination)
        return FALSE;
    const int dx = HalfDifference(cellWidth, iconWidth);
    const int dy = HalfDifference(cellHeight, iconHeight);
    for (int i = 0; i < count; ++i) {
        HICON icon = ImageList_GetIcon(source, i, ILD_NORMAL);
        if (!icon)
            continue;
        std::unique_ptr<Gdiplus::Bitmap> iconBitmap(Gdiplus::Bitmap::FromHICON(icon));
        DestroyIcon(icon);
        std::unique_ptr<Gdiplus::Bitmap> cell(new Gdiplus::Bitmap(cellWidth, cellHeight, PixelFormat32bppARGB));
        if (!iconBitmap || iconBitmap->GetLastStatus() != Gdiplus::Ok || cell->GetLastStatus() != Gdiplus::Ok)
            return FALSE;
        {
            Gdiplus::Graphics graphics(cell.get());
            graphics.DrawImage(iconBitmap.get(), Gdiplus::Rect(dx, dy, iconWidth, iconHeight), 0, 0, iconWidth, iconHeight,
                               Gdiplus::UnitPixel);
        }
        HICON framed = nullptr;
        if (cell->GetHICON(&framed) == Gdiplus::Ok && framed) {
            ImageList_ReplaceIcon(*destination, -1, framed);
            DestroyIcon(framed);
        }
    }
    return TRUE;
}

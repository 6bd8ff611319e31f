#pragma once
// Owners of GDI objects and device contexts. Each wrapper owns its handle unless it was attached
// with owns = false; copying is not allowed, moving hands the handle over.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <utility>

#include "framework/owned_handle.h"

class CWnd;

struct GdiObjectTraits {
    static void Free(HGDIOBJ object) { ::DeleteObject(object); }
};

// One GDI object (font, brush, pen, bitmap) with its owner semantics.
template <typename Handle>
class CGdiObjectT : public COwnedHandleT<Handle, GdiObjectTraits> {
public:
    using COwnedHandleT<Handle, GdiObjectTraits>::COwnedHandleT;
    bool DeleteObject() { return this->Release(); }
};

class CFont : public CGdiObjectT<HFONT> {
public:
    using CGdiObjectT::CGdiObjectT;
    bool CreateFontIndirect(const LOGFONTW& lf) { return Attach(::CreateFontIndirectW(&lf)); }
    bool GetLogFont(LOGFONTW* lf) const { return m_handle && ::GetObjectW(m_handle, sizeof(*lf), lf) != 0; }
};

class CBrush : public CGdiObjectT<HBRUSH> {
public:
    using CGdiObjectT::CGdiObjectT;
    bool CreateSolidBrush(COLORREF colour) { return Attach(::CreateSolidBrush(colour)); }
    bool CreatePatternBrush(HBITMAP bitmap) { return Attach(::CreatePatternBrush(bitmap)); }
};

class CPen : public CGdiObjectT<HPEN> {
public:
    using CGdiObjectT::CGdiObjectT;
    bool CreatePen(int style, int width, COLORREF colour) { return Attach(::CreatePen(style, width, colour)); }
};

class CBitmap : public CGdiObjectT<HBITMAP> {
public:
    using CGdiObjectT::CGdiObjectT;
    bool LoadBitmap(HINSTANCE module, UINT id)
    {
        return Attach(::LoadBitmapW(module, MAKEINTRESOURCEW(id)));
    }
    bool CreateCompatibleBitmap(HDC dc, int width, int height)
    {
        return Attach(::CreateCompatibleBitmap(dc, width, height));
    }
    bool GetBitmap(BITMAP* info) const { return m_handle && ::GetObjectW(m_handle, sizeof(*info), info) != 0; }
};

// A device context. A plain CDC wraps a DC that someone else releases; CreateCompatibleDC makes one
// that the object deletes. Objects selected into it are put back before it goes.
class CDC {
public:
    HDC m_hDC = nullptr;

    CDC() = default;
    explicit CDC(HDC dc) : m_hDC(dc) {}
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }
    bool Attach(HDC dc);
    HDC Detach();
    bool CreateCompatibleDC(HDC reference);
    bool DeleteDC();

    HGDIOBJ SelectObject(HGDIOBJ object) { return ::SelectObject(m_hDC, object); }
    int SaveDC() { return ::SaveDC(m_hDC); }
    bool RestoreDC(int saved) { return ::RestoreDC(m_hDC, saved) != FALSE; }
    COLORREF SetTextColor(COLORREF colour) { return ::SetTextColor(m_hDC, colour); }
    COLORREF SetBkColor(COLORREF colour) { return ::SetBkColor(m_hDC, colour); }
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }

    void FillSolidRect(const RECT& rect, COLORREF colour);
    void FillRect(const RECT& rect, HBRUSH brush) { ::FillRect(m_hDC, &rect, brush); }
    void FrameRect(const RECT& rect, HBRUSH brush) { ::FrameRect(m_hDC, &rect, brush); }
    // A frame with topLeft on the top and left edges and bottomRight on the others.
    void Draw3dRect(const RECT& rect, COLORREF topLeft, COLORREF bottomRight);
    int DrawText(const std::wstring& text, RECT& rect, UINT format)
    {
        return ::DrawTextW(m_hDC, text.c_str(), static_cast<int>(text.size()), &rect, format);
    }
    bool TextOut(int x, int y, const std::wstring& text)
    {
        return ::TextOutW(m_hDC, x, y, text.c_str(), static_cast<int>(text.size())) != FALSE;
    }
    SIZE GetTextExtent(const std::wstring& text) const;
    bool BitBlt(int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop)
    {
        return ::BitBlt(m_hDC, x, y, width, height, source, sourceX, sourceY, rop) != FALSE;
    }
    bool PatBlt(int x, int y, int width, int height, DWORD rop)
    {
        return ::PatBlt(m_hDC, x, y, width, height, rop) != FALSE;
    }

protected:
    bool m_owned = false;  // deleted (not released) by this object
};

class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps{};

private:
    HWND m_hWnd;
};

class CClientDC : public CDC {
public:
    explicit CClientDC(CWnd* wnd);
    ~CClientDC() override;

private:
    HWND m_hWnd;
};

class CWindowDC : public CDC {
public:
    explicit CWindowDC(CWnd* wnd);
    ~CWindowDC() override;

private:
    HWND m_hWnd;
};

// Puts the previous object back into the DC when it goes out of scope.
class CSelectObject {
public:
    CSelectObject(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(::SelectObject(dc, object)) {}
    ~CSelectObject()
    {
        if (m_previous)
            ::SelectObject(m_dc, m_previous);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

struct ImageListTraits {
    static void Free(HIMAGELIST list) { ImageList_Destroy(list); }
};

class CImageList : public COwnedHandleT<HIMAGELIST, ImageListTraits> {
public:
    CImageList() = default;
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    bool Create(int cx, int cy, UINT flags, int initial, int grow);
    bool DeleteImageList() { return Release(); }
    int Add(HBITMAP image, HBITMAP mask) { return ImageList_Add(m_handle, image, mask); }
    int Add(HICON icon) { return ImageList_AddIcon(m_handle, icon); }
    int GetImageCount() const { return m_handle ? ImageList_GetImageCount(m_handle) : 0; }
    bool Draw(HDC dc, int image, POINT at, UINT style) const
    {
        return ImageList_Draw(m_handle, image, dc, at.x, at.y, style) != FALSE;
    }
};

#include "framework/gdi.h"

#include "framework/wnd.h"

CDC::~CDC()
{
    if (m_owned)
        DeleteDC();
}

bool CDC::Attach(HDC dc)
{
    if (m_hDC)
        return false;
    m_hDC = dc;
    m_owned = false;
    return dc != nullptr;
}

HDC CDC::Detach()
{
    HDC dc = m_hDC;
    m_hDC = nullptr;
    m_owned = false;
    return dc;
}

bool CDC::CreateCompatibleDC(HDC reference)
{
    if (m_hDC)
        return false;
    m_hDC = ::CreateCompatibleDC(reference);
    m_owned = m_hDC != nullptr;
    return m_owned;
}

bool CDC::DeleteDC()
{
    if (!m_hDC || !m_owned)
        return false;
    ::DeleteDC(m_hDC);
    m_hDC = nullptr;
    m_owned = false;
    return true;
}

void CDC::FillSolidRect(const RECT& rect, COLORREF colour)
{
    COLORREF old = ::SetBkColor(m_hDC, colour);
    ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, old);
}

void CDC::Draw3dRect(const RECT& rect, COLORREF topLeft, COLORREF bottomRight)
{
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    FillSolidRect(RECT{rect.left, rect.top, rect.left + width - 1, rect.top + 1}, topLeft);
    FillSolidRect(RECT{rect.left, rect.top, rect.left + 1, rect.top + height - 1}, topLeft);
    FillSolidRect(RECT{rect.right - 1, rect.top, rect.right, rect.bottom}, bottomRight);
    FillSolidRect(RECT{rect.left, rect.bottom - 1, rect.right, rect.bottom}, bottomRight);
}

SIZE CDC::GetTextExtent(const std::wstring& text) const
{
    SIZE size{};
    ::GetTextExtentPoint32W(m_hDC, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd)
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
    m_hDC = nullptr;
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr)
{
    m_hDC = ::GetDC(m_hWnd);
}

CClientDC::~CClientDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, m_hDC);
    m_hDC = nullptr;
}

CWindowDC::CWindowDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr)
{
    m_hDC = ::GetWindowDC(m_hWnd);
}

CWindowDC::~CWindowDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, m_hDC);
    m_hDC = nullptr;
}

bool CImageList::Create(int cx, int cy, UINT flags, int initial, int grow)
{
    DeleteImageList();
    return Attach(ImageList_Create(cx, cy, flags, initial, grow));
}

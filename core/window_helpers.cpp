// Small helpers around fonts, drawing, menus, windows and the mouse.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "core/helpers.h"

namespace {

class ScreenTextContext {
public:
    explicit ScreenTextContext(HFONT font) : dc_(GetDC(nullptr))
    {
        if (dc_ && font)
            old_ = SelectObject(dc_, font);
    }
    ~ScreenTextContext()
    {
        if (old_)
            SelectObject(dc_, old_);
        if (dc_)
            ReleaseDC(nullptr, dc_);
    }
    ScreenTextContext(const ScreenTextContext&) = delete;
    ScreenTextContext& operator=(const ScreenTextContext&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ old_ = nullptr;
};

SIZE TextExtent(HFONT font, const wchar_t* text, int length)
{
    SIZE size = {};
    ScreenTextContext context(font);
    if (!context.Get() || !GetTextExtentPoint32W(context.Get(), text, length, &size))
        size = SIZE{};
    return size;
}

BYTE Blend(BYTE from, BYTE to, int step)
{
    return static_cast<BYTE>(from + (static_cast<int>(to) - static_cast<int>(from)) * step / 255);
}

}  // namespace

HFONT CreateMessageFont(bool bold)
{
    LOGFONTW font = {};
    NONCLIENTMETRICSW metrics = {};
    // The size without the padded-border field, which every version of Windows accepts.
    metrics.cbSize = 500;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, 500, &metrics, 0)) {
        font = metrics.lfMessageFont;
    } else {
        if (!GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font))
            return nullptr;
        font.lfWeight = FW_NORMAL;
    }
    if (bold)
        font.lfWeight = FW_BOLD;
    return CreateFontIndirectW(&font);
}

int GetTextWidth(HFONT font, const std::wstring& text)
{
    return TextExtent(font, text.c_str(), static_cast<int>(text.size())).cx;
}

int GetFontTextHeight(HFONT font)
{
    return TextExtent(font, L"A", 1).cy;
}

void FillGradientRect(HDC dc, const RECT& rect, COLORREF colour1, COLORREF colour2, bool vertical)
{
    if (!dc)
        return;
    const int extent = vertical ? rect.bottom - rect.top : rect.right - rect.left;
    if (extent <= 0 || rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    for (int band = 0; band < 256; ++band) {
        int from = static_cast<int>(static_cast<long long>(extent) * band / 256);
        int to = static_cast<int>(static_cast<long long>(extent) * (band + 1) / 256);
        if (to <= from)
            continue;
        COLORREF colour = RGB(Blend(GetRValue(colour1), GetRValue(colour2), band),
                              Blend(GetGValue(colour1), GetGValue(colour2), band),
                              Blend(GetBValue(colour1), GetBValue(colour2), band));
        RECT part = rect;
        if (vertical) {
            part.top = rect.top + from;
            part.bottom = rect.top + to;
        } else {
            part.left = rect.left + from;
            part.right = rect.left + to;
        }
        HBRUSH brush = CreateSolidBrush(colour);
        if (brush) {
            FillRect(dc, &part, brush);
            DeleteObject(brush);
        }
    }
}

void CopyMenuItems(HMENU source, HMENU target)
{
    if (!source || !target)
        return;
    const int count = GetMenuItemCount(source);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING | MIIM_DATA;
        if (!GetMenuItemInfoW(source, static_cast<UINT>(i), TRUE, &item))
            continue;
        std::vector<wchar_t> text(item.cch + 1, L'\0');
        item.dwTypeData = text.data();
        item.cch = static_cast<UINT>(text.size());
        if (!GetMenuItemInfoW(source, static_cast<UINT>(i), TRUE, &item))
            continue;
        if (item.hSubMenu) {
            HMENU copy = CreatePopupMenu();
            if (!copy)
                continue;
            CopyMenuItems(item.hSubMenu, copy);
            item.hSubMenu = copy;
        }
        if (!InsertMenuItemW(target, static_cast<UINT>(GetMenuItemCount(target)), TRUE, &item) && item.hSubMenu)
            DestroyMenu(item.hSubMenu);
    }
}

int FindMenuItemPos(HMENU menu, UINT id)
{
    if (!menu)
        return -1;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        if (GetMenuItemID(menu, i) == id)
            return i;
    }
    return -1;
}

void ForceForegroundWindow(HWND window)
{
    if (!window)
        return;
    // SetForegroundWindow is refused to a thread that does not share input with the foreground one.
    DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    DWORD ownThread = GetCurrentThreadId();
    bool attached = foregroundThread && foregroundThread != ownThread &&
                    AttachThreadInput(ownThread, foregroundThread, TRUE);
    SetForegroundWindow(window);
    SetFocus(window);
    if (attached)
        AttachThreadInput(ownThread, foregroundThread, FALSE);
}

bool IsMouseButtonDown(bool primary)
{
    bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
    int key = (primary != swapped) ? VK_LBUTTON : VK_RBUTTON;
    return (GetAsyncKeyState(key) & 0x8000) != 0;
}

int GetAcceleratedStep(int a, int b, int acceleration)
{
    // Without a positive acceleration the step never grows.
    if (a == b || acceleration <= 0)
        return 1;
    long long value = std::min(a, b);
    const long long target = std::max(a, b);
    long long step = 1;
    while (value < target) {
        value += step;
        step += acceleration;
    }
    return static_cast<int>(std::min<long long>(step, INT_MAX));
}

#include "framework/controls.h"

#include <vector>

std::wstring CListBox::GetText(int index) const
{
    LRESULT length = SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (length == LB_ERR || length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = SendMessage(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

std::wstring CComboBox::GetLBText(int index) const
{
    LRESULT length = SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length == CB_ERR || length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

BOOL CToolTipCtrl::Create(CWnd* parent, DWORD style)
{
    return CreateEx(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | style, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, parent ? parent->m_hWnd : nullptr, nullptr);
}

BOOL CToolTipCtrl::AddTool(HWND window, const wchar_t* text, const RECT* rect, UINT_PTR id) const
{
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.hwnd = window;
    info.uFlags = TTF_SUBCLASS;
    if (!rect) {
        info.uFlags |= TTF_IDISHWND;
        info.uId = reinterpret_cast<UINT_PTR>(window);
    } else {
        info.uId = id;
        info.rect = *rect;
    }
    info.lpszText = const_cast<wchar_t*>(text ? text : LPSTR_TEXTCALLBACKW);
    return static_cast<BOOL>(SendMessage(TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)));
}

BOOL CToolBarCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    if (!CreateControl(TOOLBARCLASSNAMEW, style, rect, parent, id))
        return FALSE;
    SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    return TRUE;
}

int CTabCtrl::InsertItem(int index, const wchar_t* text, LPARAM data) const
{
    TCITEMW item{};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = const_cast<wchar_t*>(text ? text : L"");
    item.lParam = data;
    return static_cast<int>(SendMessage(TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
}

int CListCtrl::InsertColumn(int index, const wchar_t* heading, int format, int width) const
{
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = format;
    column.pszText = const_cast<wchar_t*>(heading ? heading : L"");
    column.iSubItem = index;
    if (width >= 0) {
        column.mask |= LVCF_WIDTH;
        column.cx = width;
    }
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)));
}

int CListCtrl::InsertItem(int index, const wchar_t* text, int image) const
{
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(text ? text : L"");
    if (image >= 0) {
        item.mask |= LVIF_IMAGE;
        item.iImage = image;
    }
    return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::SetItemText(int item, int subItem, const wchar_t* text) const
{
    LVITEMW lv{};
    lv.iSubItem = subItem;
    lv.pszText = const_cast<wchar_t*>(text ? text : L"");
    return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv)));
}

std::wstring CListCtrl::GetItemText(int item, int subItem) const
{
    // The control gives no length; grow the buffer until the text fits.
    for (size_t size = 256; size <= (1u << 20); size *= 4) {
        std::vector<wchar_t> buffer(size, L'\0');
        LVITEMW lv{};
        lv.iSubItem = subItem;
        lv.pszText = buffer.data();
        lv.cchTextMax = static_cast<int>(size);
        LRESULT copied = SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv));
        if (copied < 0)
            return {};
        if (static_cast<size_t>(copied) < size - 1)
            return std::wstring(buffer.data(), static_cast<size_t>(copied));
    }
    return {};
}

BOOL CListCtrl::SetItemData(int item, LPARAM data) const
{
    LVITEMW lv{};
    lv.mask = LVIF_PARAM;
    lv.iItem = item;
    lv.lParam = data;
    return static_cast<BOOL>(SendMessage(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&lv)));
}

LPARAM CListCtrl::GetItemData(int item) const
{
    LVITEMW lv{};
    lv.mask = LVIF_PARAM;
    lv.iItem = item;
    if (!SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&lv)))
        return 0;
    return lv.lParam;
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) const
{
    LVITEMW lv{};
    lv.state = state;
    lv.stateMask = mask;
    return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv)));
}

HTREEITEM CTreeCtrl::InsertItem(const wchar_t* text, HTREEITEM parent, HTREEITEM after) const
{
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<wchar_t*>(text ? text : L"");
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

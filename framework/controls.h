#pragma once
// Thin wrappers of the system and common controls: creation with the control's class, plus the
// few operations that the program's windows call. Anything else is a SendMessage away.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "framework/wnd.h"

// Creates a child control of the class; the object is attached from WM_NCCREATE on.
class CControlWnd : public CWnd {
protected:
    BOOL CreateControl(LPCWSTR className, DWORD style, const RECT& rect, CWnd* parent, UINT id,
                       LPCWSTR text = nullptr, DWORD exStyle = 0)
    {
        return CreateEx(exStyle, className, text, style | WS_CHILD, rect, parent, id);
    }
};

class CStatic : public CControlWnd {
public:
    BOOL Create(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xFFFF)
    {
        return CreateControl(WC_STATICW, style, rect, parent, id, text);
    }
};

class CButton : public CControlWnd {
public:
    BOOL Create(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id)
    {
        return CreateControl(WC_BUTTONW, style, rect, parent, id, text);
    }
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int check) const { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }
};

class CEdit : public CControlWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
    {
        return CreateControl(WC_EDITW, style, rect, parent, id);
    }
    void SetSel(int start, int end) const { SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end); }
    void ReplaceSel(const wchar_t* text, bool canUndo = false) const
    {
        SendMessage(EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text));
    }
    void SetReadOnly(bool readOnly = true) const { SendMessage(EM_SETREADONLY, readOnly); }
    void LimitText(int count) const { SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(count)); }
};

class CListBox : public CControlWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
    {
        return CreateControl(WC_LISTBOXW, style, rect, parent, id);
    }
    int AddString(const wchar_t* text) const { return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
    int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(LB_GETCURSEL)); }
    int SetCurSel(int index) const { return static_cast<int>(SendMessage(LB_SETCURSEL, static_cast<WPARAM>(index))); }
    std::wstring GetText(int index) const;
    void ResetContent() const { SendMessage(LB_RESETCONTENT); }
};

class CComboBox : public CControlWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
    {
        return CreateControl(WC_COMBOBOXW, style, rect, parent, id);
    }
    int AddString(const wchar_t* text) const { return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
    int InsertString(int index, const wchar_t* text) const
    {
        return static_cast<int>(SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
    }
    int DeleteString(int index) const { return static_cast<int>(SendMessage(CB_DELETESTRING, static_cast<WPARAM>(index))); }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) const { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    int FindStringExact(int after, const wchar_t* text) const
    {
        return static_cast<int>(SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(after), reinterpret_cast<LPARAM>(text)));
    }
    std::wstring GetLBText(int index) const;
    void ResetContent() const { SendMessage(CB_RESETCONTENT); }
};

class CProgressCtrl : public CControlWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
    {
        return CreateControl(PROGRESS_CLASSW, style, rect, parent, id);
    }
    void SetRange32(int lower, int upper) const { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper); }
    int SetPos(int position) const { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position))); }
    int SetStep(int step) const { return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step))); }
    int StepIt() const { return static_cast<int>(SendMessage(PBM_STEPIT)); }
};

class CToolTipCtrl : public CControlWnd {
public:
    // A popup owned by the parent.
    BOOL Create(CWnd* parent, DWORD style = 0);
    BOOL AddTool(HWND window, const wchar_t* text, const RECT* rect = nullptr, UINT_PTR id = 0) const;
    void RelayEvent(MSG* msg) const { SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg)); }
    void Activate(bool on) const { SendMessage(TTM_ACTIVATE, on); }
    int SetMaxTipWidth(int width) const { return static_cast<int>(SendMessage(TTM_SETMAXTIPWIDTH, 0, width)); }
};

class CToolBarCtrl : public CControlWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetButtonCount() const { return static_cast<int>(SendMessage(TB_BUTTONCOUNT)); }
    BOOL AddButtons(int count, const TBBUTTON* buttons) const
    {
        return static_cast<BOOL>(SendMessage(TB_ADDBUTTONSW, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(buttons)));
    }
    BOOL DeleteButton(int index) const { return static_cast<BOOL>(SendMessage(TB_DELETEBUTTON, static_cast<WPARAM>(index))); }
    BOOL EnableButton(UINT id, bool enable = true) const { return static_cast<BOOL>(SendMessage(TB_ENABLEBUTTON, id, MAKELPARAM(enable, 0))); }
    BOOL CheckButton(UINT id, bool check = true) const { return static_cast<BOOL>(SendMessage(TB_CHECKBUTTON, id, MAKELPARAM(check, 0))); }
    BOOL PressButton(UINT id, bool press = true) const { return static_cast<BOOL>(SendMessage(TB_PRESSBUTTON, id, MAKELPARAM(press, 0))); }
    int SetHotItem(int index) const { return static_cast<int>(SendMessage(TB_SETHOTITEM, static_cast<WPARAM>(index))); }
    int HitTest(POINT pt) const { return static_cast<int>(SendMessage(TB_HITTEST, 0, reinterpret_cast<LPARAM>(&pt))); }
    BOOL GetItemRect(int index, RECT* rect) const
    {
        return static_cast<BOOL>(SendMessage(TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(rect)));
    }
    void SetBitmapSize(SIZE size) const { SendMessage(TB_SETBITMAPSIZE, 0, MAKELPARAM(size.cx, size.cy)); }
};

class CTabCtrl : public CControlWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
    {
        return CreateControl(WC_TABCONTROLW, style, rect, parent, id);
    }
    int GetItemCount() const { return static_cast<int>(SendMessage(TCM_GETITEMCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(TCM_GETCURSEL)); }
    int SetCurSel(int index) const { return static_cast<int>(SendMessage(TCM_SETCURSEL, static_cast<WPARAM>(index))); }
    int InsertItem(int index, const wchar_t* text, LPARAM data = 0) const;
    BOOL DeleteItem(int index) const { return static_cast<BOOL>(SendMessage(TCM_DELETEITEM, static_cast<WPARAM>(index))); }
};

class CListCtrl : public CControlWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
    {
        return CreateControl(WC_LISTVIEWW, style, rect, parent, id);
    }
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    int InsertColumn(int index, const wchar_t* heading, int format = LVCFMT_LEFT, int width = -1) const;
    int InsertItem(int index, const wchar_t* text, int image = -1) const;
    BOOL SetItemText(int item, int subItem, const wchar_t* text) const;
    std::wstring GetItemText(int item, int subItem) const;
    BOOL SetItemData(int item, LPARAM data) const;
    LPARAM GetItemData(int item) const;
    BOOL SetItemState(int item, UINT state, UINT mask) const;
    UINT GetItemState(int item, UINT mask) const
    {
        return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(item), mask));
    }
    int GetNextItem(int start, UINT flags) const
    {
        return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(start), flags));
    }
    BOOL DeleteAllItems() const { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
    DWORD SetExtendedStyle(DWORD style) const
    {
        return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style));
    }
    HWND GetHeaderCtrl() const { return reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER)); }
};

class CTreeCtrl : public CControlWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
    {
        return CreateControl(WC_TREEVIEWW, style, rect, parent, id);
    }
    HTREEITEM InsertItem(const wchar_t* text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST) const;
    HTREEITEM GetSelectedItem() const
    {
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, TVGN_CARET));
    }
    BOOL SelectItem(HTREEITEM item) const
    {
        return static_cast<BOOL>(SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)));
    }
    BOOL DeleteAllItems() const
    {
        return static_cast<BOOL>(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)));
    }
};

#include "framework/control_bar.h"

#include "core/resource_strings.h"
#include "framework/frame_wnd.h"
#include "framework/gdi.h"

namespace {

class CStatusCmdUI : public CCmdUI {
public:
    void Enable(bool on) override
    {
        CCmdUI::Enable(on);
        SetPaneStyle(SBPS_DISABLED, !on);
    }
    void SetCheck(int check) override { SetPaneStyle(SBPS_POPOUT, check != 0); }
    void SetText(const wchar_t* text) override
    {
        static_cast<CStatusBar*>(m_pOther)->SetPaneText(static_cast<int>(m_nIndex), text);
    }

private:
    void SetPaneStyle(UINT flag, bool on)
    {
        auto* bar = static_cast<CStatusBar*>(m_pOther);
        UINT id, style;
        int width;
        bar->GetPaneInfo(static_cast<int>(m_nIndex), id, style, width);
        style = on ? (style | flag) : (style & ~flag);
        bar->SetPaneInfo(static_cast<int>(m_nIndex), id, style, width);
    }
};

class CToolCmdUI : public CCmdUI {
public:
    void Enable(bool on) override
    {
        CCmdUI::Enable(on);
        m_pOther->SendMessage(TB_ENABLEBUTTON, m_nID, MAKELPARAM(on ? TRUE : FALSE, 0));
    }
    void SetCheck(int check) override
    {
        m_pOther->SendMessage(TB_CHECKBUTTON, m_nID, MAKELPARAM(check == 1, 0));
        m_pOther->SendMessage(TB_INDETERMINATE, m_nID, MAKELPARAM(check == 2, 0));
    }
    void SetText(const wchar_t*) override {}  // buttons show pictures
};

// With stretch a bar takes the whole length of its side.
SIZE Stretched(SIZE size, BOOL stretch, BOOL horizontal)
{
    if (stretch) {
        if (horizontal)
            size.cx = 32767;
        else
            size.cy = 32767;
    }
    return size;
}
}  // namespace

DWORD CControlBar::TakeBarStyle(DWORD style)
{
    m_dwStyle = style & CBRS_ALL;
    return style & ~CBRS_ALL;
}

CFrameWnd* CControlBar::CommandTarget() const
{
    return m_pDockSite ? m_pDockSite : GetParentFrame();
}

SIZE CControlBar::CalcFixedLayout(BOOL stretch, BOOL horizontal)
{
    RECT rc = GetWindowRect();
    return Stretched(SIZE{rc.right - rc.left, rc.bottom - rc.top}, stretch, horizontal);
}

SIZE CControlBar::CalcDynamicLayout(int, DWORD mode)
{
    return CalcFixedLayout((mode & LM_STRETCH) != 0, (mode & LM_HORZ) != 0);
}

LRESULT CControlBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY: {
        // Buttons and bands inside a bar speak to the bar; the frame that owns it answers them.
        if (HWND owner = GetOwner(); owner && owner != m_hWnd)
            return ForwardNotification(owner, message, wParam, lParam);
        break;
    }
    case WM_IDLEUPDATECMDUI:
        if (IsVisible()) {
            if (CFrameWnd* target = CommandTarget())
                OnUpdateCmdUI(target, static_cast<BOOL>(wParam));
        }
        return 0;
    default:
        break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

BOOL CStatusBar::Create(CWnd* parent, DWORD style, UINT id)
{
    DWORD windowStyle = TakeBarStyle(style);
    if (!CreateEx(0, STATUSCLASSNAMEW, nullptr, windowStyle | WS_CHILD | CCS_NOPARENTALIGN, 0, 0, 0, 0,
                  parent ? parent->m_hWnd : nullptr, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id))))
        return FALSE;
    // The control picks its natural height; from now on the frame places it.
    ModifyStyle(0, CCS_NORESIZE);
    return TRUE;
}

BOOL CStatusBar::SetIndicators(const UINT* ids, int count)
{
    if (count < 0 || (count > 0 && !ids) || count > 255)
        return FALSE;
    m_panes.assign(static_cast<size_t>(count), Pane{});
    CClientDC dc(this);
    HFONT font = GetFont();
    CSelectObject select(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    for (int i = 0; i < count; ++i) {
        Pane& pane = m_panes[static_cast<size_t>(i)];
        pane.id = ids[i];
        if (i == 0)
            pane.style = SBPS_STRETCH | SBPS_NOBORDERS;
        if (pane.id) {
            pane.text = LoadResString(pane.id);
            pane.width = dc.GetTextExtent(pane.text).cx;
        }
    }
    UpdateParts();
    return TRUE;
}

void CStatusBar::SetPaneInfo(int index, UINT id, UINT style, int width)
{
    if (index < 0 || index >= GetCount())
        return;
    Pane& pane = m_panes[static_cast<size_t>(index)];
    bool sizeChanged = pane.width != width || ((pane.style ^ style) & SBPS_STRETCH);
    pane.id = id;
    pane.style = style;
    pane.width = width;
    if (sizeChanged)
        UpdateParts();
    else
        ShowPane(index);
}

void CStatusBar::GetPaneInfo(int index, UINT& id, UINT& style, int& width) const
{
    id = style = 0;
    width = 0;
    if (index < 0 || index >= GetCount())
        return;
    const Pane& pane = m_panes[static_cast<size_t>(index)];
    id = pane.id;
    style = pane.style;
    width = pane.width;
}

BOOL CStatusBar::SetPaneText(int index, const wchar_t* text, bool update)
{
    if (index < 0 || index >= GetCount())
        return FALSE;
    Pane& pane = m_panes[static_cast<size_t>(index)];
    std::wstring next = text ? text : L"";
    if (pane.text == next)
        return TRUE;
    pane.text = std::move(next);
    if (update)
        ShowPane(index);
    return TRUE;
}

std::wstring CStatusBar::GetPaneText(int index) const
{
    if (index < 0 || index >= GetCount())
        return {};
    return m_panes[static_cast<size_t>(index)].text;
}

void CStatusBar::GetItemRect(int index, RECT* rect) const
{
    *rect = RECT{};
    if (index >= 0 && index < GetCount())
        SendMessage(SB_GETRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(rect));
}

int CStatusBar::CommandToIndex(UINT id) const
{
    for (int i = 0; i < GetCount(); ++i) {
        if (m_panes[static_cast<size_t>(i)].id == id)
            return i;
    }
    return -1;
}

void CStatusBar::UpdateParts()
{
    if (!m_hWnd || m_panes.empty())
        return;
    RECT client = GetClientRect();
    int borders[3] = {};
    SendMessage(SB_GETBORDERS, 0, reinterpret_cast<LPARAM>(borders));
    int gap = borders[2] > 0 ? borders[2] : 2;
    int fixed = 0;
    for (const Pane& pane : m_panes) {
        if (!(pane.style & SBPS_STRETCH))
            fixed += pane.width + 2 * gap;
    }
    int stretch = client.right - client.left - fixed;
    std::vector<int> edges;
    int right = 0;
    for (const Pane& pane : m_panes) {
        right += (pane.style & SBPS_STRETCH) ? (stretch > 0 ? stretch : 0) : pane.width + 2 * gap;
        edges.push_back(right);
    }
    SendMessage(SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    for (int i = 0; i < GetCount(); ++i)
        ShowPane(i);
}

void CStatusBar::ShowPane(int index)
{
    const Pane& pane = m_panes[static_cast<size_t>(index)];
    UINT kind = pane.style & (SBT_NOBORDERS | SBT_POPOUT);
    // A disabled pane keeps its text but shows none.
    const wchar_t* text = (pane.style & SBPS_DISABLED) ? L"" : pane.text.c_str();
    SendMessage(SB_SETTEXTW, static_cast<WPARAM>(index) | kind, reinterpret_cast<LPARAM>(text));
}

SIZE CStatusBar::CalcFixedLayout(BOOL stretch, BOOL horizontal)
{
    SIZE size = CControlBar::CalcFixedLayout(stretch, horizontal);
    if (size.cy <= 0)
        size.cy = GetSystemMetrics(SM_CYMENU);
    return size;
}

void CStatusBar::OnUpdateCmdUI(CFrameWnd* target, BOOL)
{
    for (int i = 0; i < GetCount(); ++i) {
        UINT id = m_panes[static_cast<size_t>(i)].id;
        if (!id)
            continue;
        CStatusCmdUI state;
        state.m_nID = id;
        state.m_nIndex = static_cast<UINT>(i);
        state.m_pOther = this;
        // A pane without a handler keeps its text: indicators are not commands.
        state.DoUpdate(target, false);
    }
}

LRESULT CStatusBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SIZE) {
        LRESULT result = CControlBar::WindowProc(message, wParam, lParam);
        UpdateParts();
        return result;
    }
    return CControlBar::WindowProc(message, wParam, lParam);
}

BOOL CToolBar::CreateEx(CWnd* parent, DWORD controlStyle, DWORD style, UINT id)
{
    DWORD windowStyle = TakeBarStyle(style);
    if (!CWnd::CreateEx(0, TOOLBARCLASSNAMEW, nullptr,
                        windowStyle | controlStyle | WS_CHILD | CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER, 0,
                        0, 0, 0, parent ? parent->m_hWnd : nullptr,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id))))
        return FALSE;
    SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    return TRUE;
}

BOOL CToolBar::SetButtons(const UINT* ids, int count)
{
    if (count < 0 || (count > 0 && !ids))
        return FALSE;
    while (SendMessage(TB_BUTTONCOUNT) > 0)
        SendMessage(TB_DELETEBUTTON, 0);
    std::vector<TBBUTTON> buttons(static_cast<size_t>(count));
    int image = 0;
    for (int i = 0; i < count; ++i) {
        TBBUTTON& b = buttons[static_cast<size_t>(i)];
        b.idCommand = static_cast<int>(ids[i]);
        if (ids[i] == 0) {
            b.fsStyle = BTNS_SEP;
        } else {
            b.iBitmap = image++;
            b.fsState = TBSTATE_ENABLED;
            b.fsStyle = BTNS_BUTTON;
        }
    }
    if (count > 0 && !SendMessage(TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data())))
        return FALSE;
    return TRUE;
}

void CToolBar::SetSizes(SIZE button, SIZE image)
{
    SendMessage(TB_SETBITMAPSIZE, 0, MAKELPARAM(image.cx, image.cy));
    SendMessage(TB_SETBUTTONSIZE, 0, MAKELPARAM(button.cx, button.cy));
}

int CToolBar::CommandToIndex(UINT id) const
{
    return static_cast<int>(SendMessage(TB_COMMANDTOINDEX, id));
}

SIZE CToolBar::CalcFixedLayout(BOOL stretch, BOOL horizontal)
{
    SIZE size{};
    SendMessage(TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
    return Stretched(size, stretch, horizontal);
}

void CToolBar::OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler)
{
    int count = static_cast<int>(SendMessage(TB_BUTTONCOUNT));
    for (int i = 0; i < count; ++i) {
        TBBUTTON button{};
        if (!SendMessage(TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button)))
            continue;
        if ((button.fsStyle & BTNS_SEP) || button.idCommand == 0)
            continue;
        CToolCmdUI state;
        state.m_nID = static_cast<UINT>(button.idCommand);
        state.m_nIndex = static_cast<UINT>(i);
        state.m_pOther = this;
        state.DoUpdate(target, disableIfNoHandler != FALSE);
    }
}

BOOL CReBar::Create(CWnd* parent, DWORD controlStyle, DWORD style, UINT id)
{
    DWORD windowStyle = TakeBarStyle(style);
    if (!CreateEx(0, REBARCLASSNAMEW, nullptr,
                  windowStyle | controlStyle | WS_CHILD | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0, 0, 0, 0,
                  parent ? parent->m_hWnd : nullptr, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id))))
        return FALSE;
    REBARINFO info{sizeof(info)};
    SendMessage(RB_SETBARINFO, 0, reinterpret_cast<LPARAM>(&info));
    return TRUE;
}

BOOL CReBar::AddBar(CWnd* bar, const wchar_t* text, HBITMAP background, DWORD bandStyle)
{
    if (!bar || !bar->m_hWnd)
        return FALSE;
    if (::GetParent(bar->m_hWnd) != m_hWnd)
        ::SetParent(bar->m_hWnd, m_hWnd);
    SIZE size{};
    if (auto* control = dynamic_cast<CControlBar*>(bar)) {
        size = control->CalcFixedLayout(FALSE, TRUE);
    } else {
        RECT rc = bar->GetWindowRect();
        size = SIZE{rc.right - rc.left, rc.bottom - rc.top};
    }
    REBARBANDINFOW band{};
    band.cbSize = sizeof(band);
    band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE;
    band.fStyle = bandStyle;
    band.hwndChild = bar->m_hWnd;
    band.cxMinChild = 0;
    band.cyMinChild = static_cast<UINT>(size.cy);
    band.cx = static_cast<UINT>(size.cx);
    if (text) {
        band.fMask |= RBBIM_TEXT;
        band.lpText = const_cast<wchar_t*>(text);
    }
    if (background) {
        band.fMask |= RBBIM_BACKGROUND;
        band.hbmBack = background;
    }
    return SendMessage(RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band)) != 0;
}

SIZE CReBar::CalcFixedLayout(BOOL stretch, BOOL horizontal)
{
    SIZE size = CControlBar::CalcFixedLayout(stretch, horizontal);
    size.cy = static_cast<LONG>(SendMessage(RB_GETBARHEIGHT));
    return size;
}

bool CReBar::OnChildNotify(UINT message, WPARAM, LPARAM lParam, LRESULT*)
{
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == RBN_HEIGHTCHANGE) {
        if (CFrameWnd* frame = CommandTarget())
            frame->DelayRecalcLayout();
    }
    return false;
}

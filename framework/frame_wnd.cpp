#include "framework/frame_wnd.h"

#include "core/resource_strings.h"
#include "framework/gdi.h"
#include "framework/win_thread.h"

namespace {
// Posted once while a delayed layout is pending.
constexpr UINT WM_FRAME_DELAYED_LAYOUT = 0x0368;

DWORD SideOfDockBar(UINT dockBarId)
{
    switch (dockBarId) {
    case AFX_IDW_DOCKBAR_TOP:
        return CBRS_ALIGN_TOP;
    case AFX_IDW_DOCKBAR_BOTTOM:
        return CBRS_ALIGN_BOTTOM;
    case AFX_IDW_DOCKBAR_LEFT:
        return CBRS_ALIGN_LEFT;
    case AFX_IDW_DOCKBAR_RIGHT:
        return CBRS_ALIGN_RIGHT;
    default:
        return 0;
    }
}
}  // namespace

BOOL CFrameWnd::Create(LPCWSTR className, LPCWSTR title, DWORD style, const RECT& rect, CWnd* parent, UINT menuId,
                       DWORD exStyle)
{
    if (!className)
        className = AfxRegisterWndClass(CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, LoadCursorW(nullptr, IDC_ARROW),
                                        reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    HMENU menu = nullptr;
    if (menuId) {
        menu = LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(menuId));
        if (!menu)
            return FALSE;
    }
    int x = rect.left, y = rect.top, cx = rect.right - rect.left, cy = rect.bottom - rect.top;
    if (rect.left == CW_USEDEFAULT)
        x = y = cx = cy = CW_USEDEFAULT;
    bool created = CreateEx(exStyle, className, title, style, x, y, cx, cy, parent ? parent->m_hWnd : nullptr, menu);
    // On failure the object may already be gone (a frame deletes itself after WM_NCDESTROY).
    if (!created && menu && IsMenu(menu))
        DestroyMenu(menu);
    return created;
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCTW& cs)
{
    cs.style |= WS_CLIPCHILDREN;
    return TRUE;
}

void CFrameWnd::RecalcLayout(BOOL)
{
    if (!m_hWnd)
        return;
    m_bLayoutPending = false;
    RECT rest = GetClientRect();
    HDWP positions = BeginDeferWindowPos(8);
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        auto* bar = dynamic_cast<CControlBar*>(FromHandle(child));
        if (!bar || !(GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE))
            continue;
        DWORD side = bar->GetBarStyle() & CBRS_ALIGN_ANY;
        if (!side)
            continue;
        bool horizontal = (side & (CBRS_ALIGN_TOP | CBRS_ALIGN_BOTTOM)) != 0;
        SIZE size = (bar->GetBarStyle() & CBRS_SIZE_DYNAMIC)
                        ? bar->CalcDynamicLayout(-1, horizontal ? (LM_HORZ | LM_HORZDOCK) : LM_VERTDOCK)
                        : bar->CalcFixedLayout(TRUE, horizontal);
        RECT place = rest;
        if (side & CBRS_ALIGN_TOP) {
            LONG thick = size.cy < rest.bottom - rest.top ? size.cy : rest.bottom - rest.top;
            place.bottom = rest.top + thick;
            rest.top += thick;
        } else if (side & CBRS_ALIGN_BOTTOM) {
            LONG thick = size.cy < rest.bottom - rest.top ? size.cy : rest.bottom - rest.top;
            place.top = rest.bottom - thick;
            rest.bottom -= thick;
        } else if (side & CBRS_ALIGN_LEFT) {
            LONG thick = size.cx < rest.right - rest.left ? size.cx : rest.right - rest.left;
            place.right = rest.left + thick;
            rest.left += thick;
        } else {
            LONG thick = size.cx < rest.right - rest.left ? size.cx : rest.right - rest.left;
            place.left = rest.right - thick;
            rest.right -= thick;
        }
        if (positions)
            positions = DeferWindowPos(positions, child, nullptr, place.left, place.top, place.right - place.left,
                                       place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    m_rectPane = rest;
    if (HWND pane = GetDlgItem(AFX_IDW_PANE_FIRST); pane && positions)
        positions = DeferWindowPos(positions, pane, nullptr, rest.left, rest.top, rest.right - rest.left,
                                   rest.bottom - rest.top, SWP_NOZORDER | SWP_NOACTIVATE);
    if (positions)
        EndDeferWindowPos(positions);
}

void CFrameWnd::DelayRecalcLayout()
{
    if (m_bLayoutPending || !m_hWnd)
        return;
    m_bLayoutPending = true;
    PostMessage(WM_FRAME_DELAYED_LAYOUT);
}

void CFrameWnd::DockControlBar(CControlBar* bar, UINT dockBarId)
{
    if (!bar)
        return;
    DWORD side = SideOfDockBar(dockBarId);
    if (!side) {
        DWORD allowed = bar->GetDockStyle() & (m_dwDockSides ? m_dwDockSides : CBRS_ALIGN_ANY);
        for (DWORD candidate : {CBRS_ALIGN_TOP, CBRS_ALIGN_BOTTOM, CBRS_ALIGN_LEFT, CBRS_ALIGN_RIGHT}) {
            if (allowed & candidate) {
                side = candidate;
                break;
            }
        }
    }
    if (!side)
        return;
    bar->SetBarStyle((bar->GetBarStyle() & ~CBRS_ALIGN_ANY) | side);
    bar->m_pDockSite = this;
    if (bar->m_hWnd && ::GetParent(bar->m_hWnd) != m_hWnd)
        ::SetParent(bar->m_hWnd, m_hWnd);
    RecalcLayout();
}

void CFrameWnd::ShowControlBar(CControlBar* bar, BOOL show, BOOL delay)
{
    if (!bar || !bar->m_hWnd)
        return;
    bar->ShowWindow(show ? SW_SHOWNA : SW_HIDE);
    if (delay)
        DelayRecalcLayout();
    else
        RecalcLayout();
}

void CFrameWnd::SetActiveView(CView* view, BOOL notify)
{
    CView* previous = m_pViewActive;
    if (previous == view)
        return;
    m_pViewActive = view;
    if (!notify)
        return;
    if (previous)
        previous->OnActivateView(FALSE, view, previous);
    if (view)
        view->OnActivateView(TRUE, view, previous);
}

BOOL CFrameWnd::LoadAccelTable(UINT id)
{
    if (m_hAccelTable)
        return FALSE;  // shared resource tables are not destroyed; one per frame
    m_hAccelTable = LoadAcceleratorsW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id));
    return m_hAccelTable != nullptr;
}

bool CFrameWnd::OnCmdMsg(UINT id, CCmdUI* state)
{
    if (m_pViewActive && m_pViewActive->OnCmdMsg(id, state))
        return true;
    if (CWnd::OnCmdMsg(id, state))
        return true;
    if (CWinApp* app = AfxGetApp())
        return app->OnCmdMsg(id, state);
    return false;
}

BOOL CFrameWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    UINT id = LOWORD(wParam);
    if (lParam == 0 && HIWORD(wParam) == 1 && id != 0) {
        // An accelerator must not run a command that its menu item or button would show disabled.
        CCmdUI probe;
        probe.m_nID = id;
        probe.DoUpdate(this, m_bAutoMenuEnable != FALSE);
        if (!probe.m_bEnabled)
            return TRUE;
    }
    return CWnd::OnCommand(wParam, lParam);
}

BOOL CFrameWnd::PreTranslateMessage(MSG* msg)
{
    if (m_hAccelTable && msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST)
        return TranslateAcceleratorW(m_hWnd, m_hAccelTable, msg) != 0;
    return FALSE;
}

void CFrameWnd::UpdateMenuCmdUI(HMENU popup)
{
    int count = GetMenuItemCount(popup);
    for (int i = 0; i < count; ++i) {
        UINT id = GetMenuItemID(popup, i);
        if (id == 0 || id == UINT(-1))
            continue;  // separators and sub-menus have no command of their own
        CCmdUI state;
        state.m_nID = id;
        state.m_nIndex = static_cast<UINT>(i);
        state.m_hMenu = popup;
        state.DoUpdate(this, m_bAutoMenuEnable != FALSE);
    }
}

void CFrameWnd::SetMessageText(const wchar_t* text)
{
    if (auto* status = dynamic_cast<CStatusBar*>(FromHandle(GetDlgItem(AFX_IDW_STATUS_BAR))))
        status->SetPaneText(0, text ? text : L"");
}

LRESULT CFrameWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE: {
        LRESULT result = CWnd::WindowProc(message, wParam, lParam);
        if (wParam != SIZE_MINIMIZED)
            RecalcLayout();
        return result;
    }
    case WM_FRAME_DELAYED_LAYOUT:
    case WM_IDLEUPDATECMDUI:
        if (m_bLayoutPending)
            RecalcLayout();
        return 0;
    case WM_SETFOCUS:
        if (m_pViewActive && m_pViewActive->m_hWnd) {
            ::SetFocus(m_pViewActive->m_hWnd);
            return 0;
        }
        break;
    case WM_INITMENUPOPUP: {
        LRESULT result = CWnd::WindowProc(message, wParam, lParam);
        if (!HIWORD(lParam))
            UpdateMenuCmdUI(reinterpret_cast<HMENU>(wParam));
        return result;
    }
    case WM_MENUSELECT: {
        UINT item = LOWORD(wParam);
        UINT flags = HIWORD(wParam);
        if (flags == 0xFFFF && lParam == 0)
            SendMessage(WM_SETMESSAGESTRING, AFX_IDS_IDLEMESSAGE);
        else if (item && !(flags & (MF_POPUP | MF_SEPARATOR | MF_SYSMENU)))
            SendMessage(WM_SETMESSAGESTRING, item);
        return 0;
    }
    case WM_SETMESSAGESTRING: {
        if (wParam) {
            std::wstring text = LoadResString(static_cast<UINT>(wParam));
            // A command's text is "status prompt\ntooltip".
            if (size_t cut = text.find(L'\n'); cut != std::wstring::npos)
                text.resize(cut);
            SetMessageText(text.c_str());
        } else {
            SetMessageText(reinterpret_cast<const wchar_t*>(lParam));
        }
        return 0;
    }
    case WM_CLOSE: {
        CWinApp* app = AfxGetApp();
        if (app && app->m_pMainWnd == this && !app->SaveAllModified())
            return 0;
        DestroyWindow();
        return 0;
    }
    default:
        break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

void CFrameWnd::PostNcDestroy()
{
    delete this;
}

BOOL CView::Create(CWnd* parent, UINT id, DWORD style, DWORD exStyle)
{
    LPCWSTR className = AfxRegisterWndClass(CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW),
                                            reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    RECT empty{};
    return CreateEx(exStyle, className, nullptr, style | WS_CHILD, empty, parent, id);
}

LRESULT CView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        LRESULT result = CWnd::WindowProc(message, wParam, lParam);
        if (result != -1) {
            if (CFrameWnd* frame = GetParentFrame(); frame && !frame->GetActiveView())
                frame->SetActiveView(this, FALSE);
        }
        return result;
    }
    case WM_MOUSEACTIVATE: {
        LRESULT result = CWnd::WindowProc(message, wParam, lParam);
        if (CFrameWnd* frame = GetParentFrame())
            frame->SetActiveView(this);
        return result;
    }
    case WM_DESTROY:
        if (CFrameWnd* frame = GetParentFrame(); frame && frame->GetActiveView() == this)
            frame->SetActiveView(nullptr, FALSE);
        break;
    case WM_PAINT: {
        CPaintDC dc(this);
        OnDraw(&dc);
        return 0;
    }
    default:
        break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

void CView::PostNcDestroy()
{
    delete this;
}

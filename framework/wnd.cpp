#include "framework/wnd.h"

#include <cwchar>
#include <exception>
#include <mutex>
#include <set>
#include <unordered_map>
#include <vector>

#include "core/resource_strings.h"
#include "framework/frame_wnd.h"
#include "framework/win_thread.h"

namespace {

// Windows may be looked up from any thread (a stop routine asks for another thread's window), so
// the map is shared and locked.
std::mutex g_mapLock;
std::unordered_map<HWND, CWnd*>& WindowMap()
{
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}

void MapInsert(HWND hwnd, CWnd* wnd)
{
    std::lock_guard lock(g_mapLock);
    WindowMap()[hwnd] = wnd;
}

void MapErase(HWND hwnd)
{
    std::lock_guard lock(g_mapLock);
    WindowMap().erase(hwnd);
}

// The creation in progress on this thread: the object waits for its window's first hook call.
struct CreationState {
    CWnd* pending = nullptr;
    HHOOK hook = nullptr;
    int depth = 0;
};
thread_local CreationState t_creation;

// A notification that a bar passes on to its owner after its control declined it.
struct ForwardedNotification {
    HWND child = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};
thread_local ForwardedNotification t_forwarded;

bool IsImeWindow(HWND hwnd)
{
    wchar_t name[32] = {};
    GetClassNameW(hwnd, name, 32);
    return _wcsicmp(name, L"IME") == 0 || _wcsicmp(name, L"MSCTFIME UI") == 0;
}

LRESULT ExceptionResult(HWND hwnd, UINT message)
{
    if (message == WM_CREATE)
        return -1;  // a failed creation rather than a half-built window
    if (message == WM_PAINT)
        ValidateRect(hwnd, nullptr);  // else the paint comes back at once, and the report with it
    return 0;
}

}  // namespace

LRESULT CALLBACK CreationHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && t_creation.pending) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        if (!IsImeWindow(hwnd)) {
            CWnd* wnd = t_creation.pending;
            if (wnd->AttachForCreation(hwnd)) {
                try {
                    wnd->PreSubclassWindow();  // still "under creation" here
                } catch (const std::exception& e) {
                    AfxReportUnhandledException(e.what());
                } catch (...) {
                    AfxReportUnhandledException(nullptr);
                }
            }
            t_creation.pending = nullptr;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

namespace {

void HookWindowCreate(CWnd* wnd)
{
    if (!t_creation.hook)
        t_creation.hook = SetWindowsHookExW(WH_CBT, CreationHookProc, nullptr, GetCurrentThreadId());
    ++t_creation.depth;
    t_creation.pending = wnd;
}

// Returns true when the pending object was attached to a window.
bool UnhookWindowCreate()
{
    bool attached = t_creation.pending == nullptr;
    t_creation.pending = nullptr;
    if (--t_creation.depth == 0 && t_creation.hook) {
        UnhookWindowsHookEx(t_creation.hook);
        t_creation.hook = nullptr;
    }
    return attached;
}

}  // namespace

LRESULT CALLBACK FrameworkWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = CWnd::FromHandle(hwnd);
    if (!wnd || wnd->m_hWnd != hwnd)
        return DefWindowProcW(hwnd, message, wParam, lParam);

    LRESULT result = 0;
    try {
        // A control's notification goes to the control's own object before the parent's switch.
        bool reflected = false;
        result = wnd->ReflectToChild(message, wParam, lParam, &reflected);
        if (!reflected)
            result = wnd->WindowProc(message, wParam, lParam);
    } catch (const std::exception& e) {
        AfxReportUnhandledException(e.what());
        result = ExceptionResult(hwnd, message);
    } catch (...) {
        AfxReportUnhandledException(nullptr);
        result = ExceptionResult(hwnd, message);
    }

    if (message == WM_NCDESTROY && CWnd::FromHandle(hwnd) == wnd) {
        // The last message: give the window its own procedure back and let the object go.
        if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == FrameworkWndProc && wnd->m_pfnSuper)
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(wnd->m_pfnSuper));
        wnd->Detach();
        if (CWinThread* thread = AfxGetThread(); thread && thread->m_pMainWnd == wnd) {
            thread->m_pMainWnd = nullptr;
            PostQuitMessage(0);
        }
        try {
            wnd->PostNcDestroy();
        } catch (const std::exception& e) {
            AfxReportUnhandledException(e.what());
        } catch (...) {
            AfxReportUnhandledException(nullptr);
        }
    }
    return result;
}

CWnd::~CWnd()
{
    // A thread must not keep pointing at a main window object that is gone.
    if (CWinThread* thread = AfxGetThread(); thread && thread->m_pMainWnd == this)
        thread->m_pMainWnd = nullptr;
    if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd == this)
        app->m_pMainWnd = nullptr;
    if (m_hWnd) {
        // A window that outlives its object would call into freed memory.
        HWND hwnd = m_hWnd;
        if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId() && ::IsWindow(hwnd)) {
            if (m_pfnSuper)
                UnsubclassWindow();
            else
                Detach();
            ::DestroyWindow(hwnd);
        } else {
            if (m_pfnSuper)
                UnsubclassWindow();
            else
                Detach();
        }
    }
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    std::lock_guard lock(g_mapLock);
    auto it = WindowMap().find(hwnd);
    return it == WindowMap().end() ? nullptr : it->second;
}

LRESULT CWnd::ForwardNotification(HWND target, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND child = nullptr;
    if (message == WM_COMMAND)
        child = reinterpret_cast<HWND>(lParam);
    else if (message == WM_NOTIFY && lParam)
        child = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
    ForwardedNotification saved = t_forwarded;
    t_forwarded = ForwardedNotification{child, message, wParam, lParam};
    LRESULT result = ::SendMessageW(target, message, wParam, lParam);
    t_forwarded = saved;
    return result;
}

std::vector<HWND> CWnd::AttachedWindowsOfThread(DWORD threadId)
{
    std::vector<HWND> windows;
    std::lock_guard lock(g_mapLock);
    for (const auto& [hwnd, wnd] : WindowMap()) {
        if (GetWindowThreadProcessId(hwnd, nullptr) == threadId)
            windows.push_back(hwnd);
    }
    return windows;
}

void CWnd::HookCreation(CWnd* wnd)
{
    HookWindowCreate(wnd);
}

bool CWnd::UnhookCreation()
{
    return UnhookWindowCreate();
}

CWnd* CWnd::GetWindowUnderCreation()
{
    return t_creation.pending;
}

bool CWnd::Attach(HWND hwnd)
{
    if (!hwnd || m_hWnd || FromHandle(hwnd))
        return false;
    m_hWnd = hwnd;
    MapInsert(hwnd, this);
    return true;
}

HWND CWnd::Detach()
{
    HWND hwnd = m_hWnd;
    // Left subclassed, the window would call a procedure that no longer finds its object, and the
    // original procedure would be lost to any later object.
    if (hwnd && m_pfnSuper && reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == FrameworkWndProc)
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    if (hwnd)
        MapErase(hwnd);
    m_hWnd = nullptr;
    m_pfnSuper = nullptr;
    return hwnd;
}

bool CWnd::AttachForCreation(HWND hwnd)
{
    if (!Attach(hwnd))
        return false;
    auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    if (current != FrameworkWndProc) {
        m_pfnSuper = current;
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameworkWndProc));
    } else {
        m_pfnSuper = ::DefWindowProcW;
    }
    return true;
}

bool CWnd::SubclassWindow(HWND hwnd)
{
    if (!hwnd || !::IsWindow(hwnd) || !Attach(hwnd))
        return false;
    PreSubclassWindow();
    auto previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameworkWndProc)));
    if (!previous) {
        Detach();
        return false;
    }
    // A window already on our procedure has no other to fall back on.
    m_pfnSuper = previous == FrameworkWndProc ? ::DefWindowProcW : previous;
    return true;
}

bool CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    return parent && SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow()
{
    if (!m_hWnd)
        return nullptr;
    if (m_pfnSuper && reinterpret_cast<WNDPROC>(GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC)) == FrameworkWndProc)
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    return Detach();
}

BOOL CWnd::PreCreateWindow(CREATESTRUCTW&)
{
    return TRUE;
}

bool CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int cx,
                    int cy, HWND parent, HMENU menuOrId, void* param)
{
    if (m_hWnd)
        return false;
    CREATESTRUCTW cs{};
    cs.dwExStyle = exStyle;
    cs.lpszClass = className;
    cs.lpszName = windowName;
    cs.style = style;
    cs.x = x;
    cs.y = y;
    cs.cx = cx;
    cs.cy = cy;
    cs.hwndParent = parent;
    cs.hMenu = menuOrId;
    cs.hInstance = GetModuleHandleW(nullptr);
    cs.lpCreateParams = param;
    if (!PreCreateWindow(cs)) {
        PostNcDestroy();
        return false;
    }
    HookWindowCreate(this);
    HWND hwnd = CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y, cs.cx, cs.cy,
                                cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
    // Every failure ends in PostNcDestroy, so that self-deleting objects never leak: a window that
    // failed in WM_NCCREATE or WM_CREATE went through WM_NCDESTROY; one that never came to be did not.
    if (!UnhookWindowCreate() && !hwnd)
        PostNcDestroy();
    return hwnd != nullptr;
}

bool CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                    CWnd* parent, UINT id, void* param)
{
    return CreateEx(exStyle, className, windowName, style, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), param);
}

BOOL CWnd::Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateEx(0, className, windowName, style | WS_CHILD, rect, parent, id);
}

BOOL CWnd::DestroyWindow()
{
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, bool* handled)
{
    *handled = false;
    HWND child = nullptr;
    switch (message) {
    case WM_COMMAND:
        child = reinterpret_cast<HWND>(lParam);
        break;
    case WM_NOTIFY:
        if (lParam)
            child = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
        break;
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (dis && dis->CtlType != ODT_MENU)
            child = dis->hwndItem;
        break;
    }
    case WM_MEASUREITEM: {
        auto* mis = reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam);
        if (mis && mis->CtlType != ODT_MENU)
            child = ::GetDlgItem(m_hWnd, static_cast<int>(mis->CtlID));
        break;
    }
    case WM_DELETEITEM:
        if (lParam)
            child = reinterpret_cast<const DELETEITEMSTRUCT*>(lParam)->hwndItem;
        break;
    case WM_COMPAREITEM:
        if (lParam)
            child = reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam)->hwndItem;
        break;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
        child = reinterpret_cast<HWND>(lParam);
        break;
    default:
        return 0;
    }
    if (!child || child == m_hWnd)
        return 0;
    if (t_forwarded.child == child && t_forwarded.message == message && t_forwarded.wParam == wParam &&
        t_forwarded.lParam == lParam)
        return 0;  // already offered to the control by the bar that forwards it here
    CWnd* control = FromHandle(child);
    if (!control)
        return 0;
    LRESULT result = 0;
    *handled = control->OnChildNotify(message, wParam, lParam, &result);
    return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (OnCommand(wParam, lParam))
            return 0;
        break;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (lParam && OnNotify(wParam, lParam, &result))
            return result;
        break;
    }
    default:
        break;
    }
    return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    UINT code = HIWORD(wParam);
    UINT id = LOWORD(wParam);
    // Menus (0), accelerators (1) and control clicks (BN_CLICKED is 0) are commands; other control
    // notifications are left to the window's own switch.
    if (lParam && code != BN_CLICKED)
        return FALSE;
    if (id == 0)
        return FALSE;
    return OnCmdMsg(id, nullptr);
}

BOOL CWnd::OnNotify(WPARAM, LPARAM, LRESULT*)
{
    return FALSE;
}

bool CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*)
{
    return false;
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

CFrameWnd* CWnd::GetParentFrame() const
{
    for (HWND h = ::GetParent(m_hWnd); h; h = ::GetParent(h)) {
        if (auto* frame = dynamic_cast<CFrameWnd*>(FromHandle(h)))
            return frame;
    }
    return nullptr;
}

HWND CWnd::GetTopLevelParent() const
{
    HWND h = m_hWnd;
    while (h && (GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD)) {
        HWND parent = ::GetParent(h);
        if (!parent)
            break;
        h = parent;
    }
    return h;
}

namespace {
struct DescendantMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

void SendToChildren(HWND parent, const DescendantMessage& m, bool deep)
{
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        SendMessageW(child, m.message, m.wParam, m.lParam);
        if (deep && GetWindow(child, GW_CHILD))
            SendToChildren(child, m, deep);
    }
}
}  // namespace

void CWnd::SendMessageToDescendants(UINT message, WPARAM wParam, LPARAM lParam, bool deep) const
{
    SendToChildren(m_hWnd, DescendantMessage{message, wParam, lParam}, deep);
}

BOOL CWnd::MoveWindow(const RECT& rect, bool repaint) const
{
    return ::MoveWindow(m_hWnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, repaint);
}

RECT CWnd::GetClientRect() const
{
    RECT rc{};
    ::GetClientRect(m_hWnd, &rc);
    return rc;
}

RECT CWnd::GetWindowRect() const
{
    RECT rc{};
    ::GetWindowRect(m_hWnd, &rc);
    return rc;
}

std::wstring CWnd::GetWindowText() const
{
    int length = ::GetWindowTextLengthW(m_hWnd);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = ::GetWindowTextW(m_hWnd, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) const
{
    DWORD style = GetStyle();
    DWORD next = (style & ~remove) | add;
    if (style == next)
        return FALSE;
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(next));
    if (swpFlags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags) const
{
    DWORD style = GetExStyle();
    DWORD next = (style & ~remove) | add;
    if (style == next)
        return FALSE;
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, static_cast<LONG_PTR>(next));
    if (swpFlags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    return TRUE;
}

void CWnd::ScreenToClient(RECT& rc) const
{
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
}

void CWnd::ClientToScreen(RECT& rc) const
{
    ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
}

void CWnd::CenterWindow(HWND alternateOwner) const
{
    HWND owner = alternateOwner ? alternateOwner : ::GetWindow(m_hWnd, GW_OWNER);
    if (GetStyle() & WS_CHILD)
        owner = ::GetParent(m_hWnd);
    RECT self = GetWindowRect();
    MONITORINFO mi{sizeof(mi)};
    GetMonitorInfoW(MonitorFromWindow(owner ? owner : m_hWnd, MONITOR_DEFAULTTONEAREST), &mi);
    RECT area = mi.rcWork;
    RECT center = area;
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
        ::GetWindowRect(owner, &center);
        if (GetStyle() & WS_CHILD) {
            ::GetClientRect(owner, &center);
            area = center;
        }
    }
    int width = self.right - self.left;
    int height = self.bottom - self.top;
    int x = (center.left + center.right - width) / 2;
    int y = (center.top + center.bottom - height) / 2;
    if (!(GetStyle() & WS_CHILD)) {
        x = x + width > area.right ? area.right - width : x;
        y = y + height > area.bottom ? area.bottom - height : y;
        x = x < area.left ? area.left : x;
        y = y < area.top ? area.top : y;
    }
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool AfxRegisterClass(WNDCLASSW* wc)
{
    if (!wc)
        return false;
    WNDCLASSW existing{};
    if (GetClassInfoW(wc->hInstance, wc->lpszClassName, &existing))
        return true;
    if (!wc->lpfnWndProc)
        wc->lpfnWndProc = DefWindowProcW;
    return RegisterClassW(wc) != 0;
}

LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon)
{
    static std::mutex lock;
    static std::set<std::wstring> names;
    wchar_t name[96];
    swprintf(name, 96, L"GlyWnd:%x:%p:%p:%p", classStyle, static_cast<void*>(cursor),
             static_cast<void*>(background), static_cast<void*>(icon));
    std::lock_guard guard(lock);
    auto [it, inserted] = names.insert(name);
    if (inserted) {
        WNDCLASSW wc{};
        wc.style = classStyle;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = cursor;
        wc.hbrBackground = background;
        wc.hIcon = icon;
        wc.lpszClassName = it->c_str();
        if (!AfxRegisterClass(&wc)) {
            names.erase(it);
            return nullptr;
        }
    }
    return it->c_str();
}

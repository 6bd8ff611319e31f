#pragma once
// CWnd: one object per window. Every framework window runs through one window procedure that
// hands the message to the object's virtual WindowProc; a class handles what it knows in a switch
// and passes the rest to its base class, and the root passes it to the window's original procedure.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "framework/cmd_target.h"

// Framework messages and ids that the program's windows rely on.
constexpr UINT WM_SETMESSAGESTRING = 0x0362;   // wParam string id, or lParam a text: status-bar message
constexpr UINT WM_IDLEUPDATECMDUI = 0x0363;    // sent at idle: refresh command state of bars
constexpr UINT AFX_IDS_APP_TITLE = 57344;
constexpr UINT AFX_IDS_IDLEMESSAGE = 57345;
constexpr UINT AFX_IDW_TOOLBAR = 0xE800;
constexpr UINT AFX_IDW_STATUS_BAR = 0xE801;
constexpr UINT AFX_IDW_REBAR = 0xE804;
constexpr UINT AFX_IDW_DOCKBAR_TOP = 0xE81B;
constexpr UINT AFX_IDW_DOCKBAR_LEFT = 0xE81C;
constexpr UINT AFX_IDW_DOCKBAR_RIGHT = 0xE81D;
constexpr UINT AFX_IDW_DOCKBAR_BOTTOM = 0xE81E;
constexpr UINT AFX_IDW_DOCKBAR_FLOAT = 0xE81F;
constexpr UINT AFX_IDW_PANE_FIRST = 0xE900;

class CFrameWnd;

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object attached to a window, or null.
    static CWnd* FromHandle(HWND hwnd);
    // The object whose creation is under way on this thread (between CreateEx and its hook), or null.
    static CWnd* GetWindowUnderCreation();
    // The windows of a thread that still have objects (a thread that ends destroys them).
    static std::vector<HWND> AttachedWindowsOfThread(DWORD threadId);

    // Attach records the object for the window without taking its messages; SubclassWindow also
    // routes the window's messages through the object. Both fail when either side is taken.
    bool Attach(HWND hwnd);
    HWND Detach();
    bool SubclassWindow(HWND hwnd);
    bool SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    virtual BOOL PreCreateWindow(CREATESTRUCTW& cs);
    virtual void PreSubclassWindow() {}

    bool CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int cx,
                  int cy, HWND parent, HMENU menuOrId, void* param = nullptr);
    bool CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                  CWnd* parent, UINT id, void* param = nullptr);
    virtual BOOL Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect, CWnd* parent,
                        UINT id);
    virtual BOOL DestroyWindow();

    // The message switch. Unhandled messages go to the base class and in the end to DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The window's original procedure (the class procedure of a subclassed or system window).
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // WM_COMMAND that the sending control did not take: menu items, accelerators and button clicks
    // go the command route (OnCmdMsg); other control notifications are left to the window's switch.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // WM_NOTIFY that the sending control did not take.
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    // A notification that this control sent to its parent, offered to the control first. Return
    // true when handled; *result is then the parent's answer.
    virtual bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Offered from the message's target window up to the thread's main window before dispatch.
    virtual BOOL PreTranslateMessage(MSG* msg);
    // Runs after the last message (WM_NCDESTROY) when the object is no longer attached; a class
    // whose objects live on the heap deletes itself here.
    virtual void PostNcDestroy() {}

    // The parent frame (nearest framework frame among the ancestors), or null.
    CFrameWnd* GetParentFrame() const;
    CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    HWND GetTopLevelParent() const;
    // A control bar's or popup's owner receives its commands; defaults to the parent.
    HWND GetOwner() const { return m_hWndOwner ? m_hWndOwner : ::GetParent(m_hWnd); }
    void SetOwner(HWND owner) { m_hWndOwner = owner; }

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    // Sends the message to every descendant (optionally only direct children).
    void SendMessageToDescendants(UINT message, WPARAM wParam, LPARAM lParam, bool deep = true) const;

    BOOL IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL ShowWindow(int cmd) const { return ::ShowWindow(m_hWnd, cmd); }
    BOOL EnableWindow(bool enable = true) const { return ::EnableWindow(m_hWnd, enable); }
    BOOL MoveWindow(const RECT& rect, bool repaint = true) const;
    BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) const
    {
        return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
    }
    RECT GetClientRect() const;
    RECT GetWindowRect() const;
    void SetWindowText(const std::wstring& text) const { ::SetWindowTextW(m_hWnd, text.c_str()); }
    std::wstring GetWindowText() const;
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)); }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0) const;
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags = 0) const;
    void SetFont(HFONT font, bool redraw = true) const { SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw); }
    HFONT GetFont() const { return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)); }
    HWND SetFocus() const { return ::SetFocus(m_hWnd); }
    void Invalidate(bool erase = true) const { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void UpdateWindow() const { ::UpdateWindow(m_hWnd); }
    BOOL RedrawWindow(const RECT* rect, HRGN rgn, UINT flags) const { return ::RedrawWindow(m_hWnd, rect, rgn, flags); }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) const { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
    BOOL KillTimer(UINT_PTR id) const { return ::KillTimer(m_hWnd, id); }
    void ScreenToClient(POINT& pt) const { ::ScreenToClient(m_hWnd, &pt); }
    void ScreenToClient(RECT& rc) const;
    void ClientToScreen(POINT& pt) const { ::ClientToScreen(m_hWnd, &pt); }
    void ClientToScreen(RECT& rc) const;
    // Centres over the owner (or the given window), else in the work area of the window's monitor.
    void CenterWindow(HWND alternateOwner = nullptr) const;

protected:
    WNDPROC m_pfnSuper = nullptr;  // the procedure that was in place before ours
    HWND m_hWndOwner = nullptr;

    // Brackets a creation that goes through another API than CreateEx (dialog templates): the
    // next window made on this thread is attached to wnd.
    static void HookCreation(CWnd* wnd);
    static bool UnhookCreation();  // true when the window was attached
    // Sends a control's WM_COMMAND or WM_NOTIFY on to another window without offering it to the
    // control a second time.
    static LRESULT ForwardNotification(HWND target, UINT message, WPARAM wParam, LPARAM lParam);
    // Offers a control's notification to the control's object; *handled tells whether it took it.
    LRESULT ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, bool* handled);

private:
    friend LRESULT CALLBACK FrameworkWndProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK CreationHookProc(int, WPARAM, LPARAM);
    bool AttachForCreation(HWND hwnd);
};

// The one procedure of framework windows.
LRESULT CALLBACK FrameworkWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Registers a class whose procedure is DefWindowProcW (creation hooks route it to the object).
// Returns true when the class is registered now or was already.
bool AfxRegisterClass(WNDCLASSW* wc);
// A class name for these attributes, registered on first use; valid for the life of the process.
LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                            HICON icon = nullptr);

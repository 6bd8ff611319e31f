#pragma once
// Frames and views. A frame lays out its control bars along its sides and gives the rest to its
// pane (the window with id AFX_IDW_PANE_FIRST); commands reach the active view first, then the
// frame, then the application.
#include <windows.h>

#include "framework/control_bar.h"
#include "framework/wnd.h"

class CView;
class CDC;

class CFrameWnd : public CWnd {
public:
    // Frames live on the heap: the object deletes itself when its window is gone.
    BOOL Create(LPCWSTR className, LPCWSTR title, DWORD style = WS_OVERLAPPEDWINDOW,
                const RECT& rect = RECT{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT}, CWnd* parent = nullptr,
                UINT menuId = 0, DWORD exStyle = 0);
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;

    // Bars first, in the order of the frame's children, each taking its strip of what is left;
    // then the pane gets the rest.
    virtual void RecalcLayout(BOOL notify = TRUE);
    // Asks for RecalcLayout once the current message is done.
    void DelayRecalcLayout();
    // The client area that the bars leave to the pane.
    RECT GetPaneRect() const { return m_rectPane; }

    void EnableDocking(DWORD sides) { m_dwDockSides = sides & CBRS_ALIGN_ANY; }
    // Docks the bar at one side: dockBarId AFX_IDW_DOCKBAR_TOP/LEFT/RIGHT/BOTTOM, or 0 for the
    // first side that both allow.
    void DockControlBar(CControlBar* bar, UINT dockBarId = 0);
    void ShowControlBar(CControlBar* bar, BOOL show, BOOL delay);

    CView* GetActiveView() const { return m_pViewActive; }
    void SetActiveView(CView* view, BOOL notify = TRUE);

    BOOL LoadAccelTable(UINT id);
    HACCEL GetAccelTable() const { return m_hAccelTable; }

    bool OnCmdMsg(UINT id, CCmdUI* state) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;

    // Menu items without a handler on the route are disabled when a popup opens.
    BOOL m_bAutoMenuEnable = TRUE;

protected:
    // Updates every item of the popup through the command route.
    void UpdateMenuCmdUI(HMENU popup);
    void SetMessageText(const wchar_t* text);

    HACCEL m_hAccelTable = nullptr;
    CView* m_pViewActive = nullptr;
    DWORD m_dwDockSides = 0;
    RECT m_rectPane{};
    bool m_bLayoutPending = false;
};

class CView : public CWnd {
public:
    // A child of the frame, normally with the pane id.
    BOOL Create(CWnd* parent, UINT id = AFX_IDW_PANE_FIRST, DWORD style = WS_CHILD | WS_VISIBLE,
                DWORD exStyle = 0);
    virtual void OnDraw(CDC* dc) {}
    virtual void OnInitialUpdate() {}
    virtual void OnActivateView(BOOL activate, CView* activated, CView* deactivated) {}

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;
};

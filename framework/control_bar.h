#pragma once
// Control bars: windows that a frame lays out along its sides before it gives the rest to its
// pane. A bar's command state (toolbar buttons, status-bar panes) is refreshed when the thread is idle.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "framework/wnd.h"

// Bar styles: kept by the bar, not given to the window.
constexpr DWORD CBRS_ALIGN_LEFT = 0x1000;
constexpr DWORD CBRS_ALIGN_TOP = 0x2000;
constexpr DWORD CBRS_ALIGN_RIGHT = 0x4000;
constexpr DWORD CBRS_ALIGN_BOTTOM = 0x8000;
constexpr DWORD CBRS_ALIGN_ANY = 0xF000;
constexpr DWORD CBRS_BORDER_LEFT = 0x0100;
constexpr DWORD CBRS_BORDER_TOP = 0x0200;
constexpr DWORD CBRS_BORDER_RIGHT = 0x0400;
constexpr DWORD CBRS_BORDER_BOTTOM = 0x0800;
constexpr DWORD CBRS_TOOLTIPS = 0x0010;
constexpr DWORD CBRS_FLYBY = 0x0020;
constexpr DWORD CBRS_SIZE_FIXED = 0x0040;
constexpr DWORD CBRS_SIZE_DYNAMIC = 0x0080;
constexpr DWORD CBRS_GRIPPER = 0x00400000;
constexpr DWORD CBRS_ALL = 0x0040FFFF;
constexpr DWORD CBRS_LEFT = CBRS_ALIGN_LEFT | CBRS_BORDER_RIGHT;
constexpr DWORD CBRS_TOP = CBRS_ALIGN_TOP | CBRS_BORDER_BOTTOM;
constexpr DWORD CBRS_RIGHT = CBRS_ALIGN_RIGHT | CBRS_BORDER_LEFT;
constexpr DWORD CBRS_BOTTOM = CBRS_ALIGN_BOTTOM | CBRS_BORDER_TOP;

// Layout modes asked of a bar.
constexpr DWORD LM_STRETCH = 0x01;
constexpr DWORD LM_HORZ = 0x02;
constexpr DWORD LM_MRUWIDTH = 0x04;
constexpr DWORD LM_HORZDOCK = 0x08;
constexpr DWORD LM_VERTDOCK = 0x10;
constexpr DWORD LM_LENGTHY = 0x20;
constexpr DWORD LM_COMMIT = 0x40;

// Status-bar pane styles.
constexpr UINT SBPS_NORMAL = 0x0000;
constexpr UINT SBPS_NOBORDERS = SBT_NOBORDERS;
constexpr UINT SBPS_POPOUT = SBT_POPOUT;
constexpr UINT SBPS_DISABLED = 0x04000000;
constexpr UINT SBPS_STRETCH = 0x08000000;

class CControlBar : public CWnd {
public:
    DWORD GetBarStyle() const { return m_dwStyle; }
    void SetBarStyle(DWORD style) { m_dwStyle = style & CBRS_ALL; }
    bool IsVisible() const { return m_hWnd && (GetStyle() & WS_VISIBLE); }
    bool IsHorizontal() const { return (m_dwStyle & (CBRS_ALIGN_TOP | CBRS_ALIGN_BOTTOM)) != 0; }
    // The sides the bar may be docked to (CBRS_ALIGN_*).
    void EnableDocking(DWORD style) { m_dwDockStyle = style & CBRS_ALIGN_ANY; }
    DWORD GetDockStyle() const { return m_dwDockStyle; }
    CFrameWnd* GetDockingFrame() const { return m_pDockSite; }

    // The bar's size along its side: with stretch it takes the whole length (32767).
    virtual SIZE CalcFixedLayout(BOOL stretch, BOOL horizontal);
    virtual SIZE CalcDynamicLayout(int length, DWORD mode);
    // Refreshes the state of the bar's commands from the target's route.
    virtual void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) {}

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    friend class CFrameWnd;
    // Splits style into the bar's part (kept) and the window's part (returned).
    DWORD TakeBarStyle(DWORD style);
    CFrameWnd* CommandTarget() const;

    DWORD m_dwStyle = 0;
    DWORD m_dwDockStyle = 0;
    CFrameWnd* m_pDockSite = nullptr;
};

class CStatusBar : public CControlBar {
public:
    BOOL Create(CWnd* parent, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, UINT id = AFX_IDW_STATUS_BAR);
    // One pane per id (0 for a pane that shows messages); pane 0 stretches.
    BOOL SetIndicators(const UINT* ids, int count);
    void SetPaneInfo(int index, UINT id, UINT style, int width);
    void GetPaneInfo(int index, UINT& id, UINT& style, int& width) const;
    BOOL SetPaneText(int index, const wchar_t* text, bool update = true);
    std::wstring GetPaneText(int index) const;
    void GetItemRect(int index, RECT* rect) const;
    int CommandToIndex(UINT id) const;
    int GetCount() const { return static_cast<int>(m_panes.size()); }

    SIZE CalcFixedLayout(BOOL stretch, BOOL horizontal) override;
    void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Pane {
        UINT id = 0;
        UINT style = 0;
        int width = 0;
        std::wstring text;
    };
    void UpdateParts();
    void ShowPane(int index);
    std::vector<Pane> m_panes;
};

class CToolBar : public CControlBar {
public:
    BOOL CreateEx(CWnd* parent, DWORD controlStyle = TBSTYLE_FLAT,
                  DWORD style = WS_CHILD | WS_VISIBLE | CBRS_ALIGN_TOP, UINT id = AFX_IDW_TOOLBAR);
    // Buttons for the ids, images in order; an id of 0 is a separator.
    BOOL SetButtons(const UINT* ids, int count);
    void SetSizes(SIZE button, SIZE image);
    HWND GetToolBarCtrl() const { return m_hWnd; }
    int CommandToIndex(UINT id) const;

    SIZE CalcFixedLayout(BOOL stretch, BOOL horizontal) override;
    void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) override;
};

class CReBar : public CControlBar {
public:
    BOOL Create(CWnd* parent, DWORD controlStyle = RBS_BANDBORDERS,
                DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | CBRS_TOP,
                UINT id = AFX_IDW_REBAR);
    // Adds a band holding the window (which becomes the rebar's child).
    BOOL AddBar(CWnd* bar, const wchar_t* text = nullptr, HBITMAP background = nullptr,
                DWORD bandStyle = RBBS_GRIPPERALWAYS | RBBS_FIXEDBMP);

    SIZE CalcFixedLayout(BOOL stretch, BOOL horizontal) override;
    bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

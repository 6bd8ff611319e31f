// Command routing (active view, frame, application), command state for menus, toolbars and the
// status bar, accelerators.
#include "test_support.h"

using namespace gly_test;

namespace {

constexpr UINT ID_VIEW_ONLY = 40001;
constexpr UINT ID_VIEW_AND_FRAME = 40002;
constexpr UINT ID_FRAME_DISABLES = 40003;
constexpr UINT ID_APPLICATION = 40004;
constexpr UINT ID_NOBODY = 40005;
constexpr UINT ID_INDICATOR = 40006;

std::vector<std::string> g_log;

class RoutingView : public CView {
public:
    bool HandleCommand(UINT id, CCmdUI* state) override
    {
        switch (id) {
        case ID_VIEW_ONLY:
            if (!state)
                g_log.push_back("view:1");
            return true;
        case ID_VIEW_AND_FRAME:
            if (state)
                state->SetCheck(1);
            else
                g_log.push_back("view:2");
            return true;
        default:
            return CView::HandleCommand(id, state);
        }
    }
};

class RoutingFrame : public CFrameWnd {
public:
    bool HandleCommand(UINT id, CCmdUI* state) override
    {
        switch (id) {
        case ID_VIEW_AND_FRAME:
            if (!state)
                g_log.push_back("frame:2");
            return true;
        case ID_FRAME_DISABLES:
            if (state)
                state->Enable(false);
            else
                g_log.push_back("frame:3");
            return true;
        case ID_INDICATOR:
            if (state)
                state->SetText(L"IND");
            return true;
        default:
            return CFrameWnd::HandleCommand(id, state);
        }
    }
};

class RoutingTest : public FrameworkTest {
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        g_log.clear();
        app.onCommand = [](UINT id, CCmdUI* state) {
            if (id != ID_APPLICATION)
                return false;
            if (!state)
                g_log.push_back("app:4");
            return true;
        };
        frame = new RoutingFrame;
        ASSERT_TRUE(frame->Create(nullptr, L"routing", WS_POPUP | WS_BORDER, RECT{0, 0, 500, 400}, nullptr, 200));
        view = new RoutingView;
        ASSERT_TRUE(view->Create(frame));
        app.m_pMainWnd = frame;
    }
    void TearDown() override
    {
        app.m_pMainWnd = nullptr;
        if (IsWindow(frameHwnd()))
            frame->DestroyWindow();  // the frame and its view delete themselves
        FrameworkTest::TearDown();
    }
    HWND frameHwnd() const { return frame ? frame->m_hWnd : nullptr; }
    void Command(UINT id, WORD code = 0) { frame->SendMessage(WM_COMMAND, MAKEWPARAM(id, code), 0); }

    TestApp app;
    RoutingFrame* frame = nullptr;
    RoutingView* view = nullptr;
};

}  // namespace

TEST_F(RoutingTest, CommandsGoToTheActiveViewThenTheFrameThenTheApplication)
{
    EXPECT_EQ(frame->GetActiveView(), view);
    for (UINT id : {ID_VIEW_ONLY, ID_VIEW_AND_FRAME, ID_FRAME_DISABLES, ID_APPLICATION, ID_NOBODY})
        Command(id);
    EXPECT_EQ(g_log, (std::vector<std::string>{"view:1", "view:2", "frame:3", "app:4"}));

    // Without an active view the frame is first.
    g_log.clear();
    frame->SetActiveView(nullptr);
    Command(ID_VIEW_AND_FRAME);
    Command(ID_VIEW_ONLY);
    EXPECT_EQ(g_log, (std::vector<std::string>{"frame:2"}));
}

TEST_F(RoutingTest, OpeningAPopupAsksEveryItemItsState)
{
    HMENU popup = GetSubMenu(GetMenu(frame->m_hWnd), 0);
    ASSERT_NE(popup, nullptr);
    frame->SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);

    auto state = [&](UINT id) { return GetMenuState(popup, id, MF_BYCOMMAND); };
    EXPECT_FALSE(state(ID_VIEW_ONLY) & MF_GRAYED);
    EXPECT_TRUE(state(ID_VIEW_AND_FRAME) & MF_CHECKED);  // the view answered, the frame was not asked
    EXPECT_TRUE(state(ID_FRAME_DISABLES) & MF_GRAYED);
    EXPECT_FALSE(state(ID_APPLICATION) & MF_GRAYED);
    EXPECT_TRUE(state(ID_NOBODY) & MF_GRAYED);  // no handler anywhere

    // Once a handler appears the item is enabled again; with automatic enabling off nothing is
    // disabled for want of a handler.
    frame->m_bAutoMenuEnable = FALSE;
    EnableMenuItem(popup, ID_NOBODY, MF_BYCOMMAND | MF_ENABLED);
    frame->SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
    EXPECT_FALSE(state(ID_NOBODY) & MF_GRAYED);
}

TEST_F(RoutingTest, AcceleratorsRunOnlyEnabledCommands)
{
    ASSERT_TRUE(frame->LoadAccelTable(300));
    MSG key{frame->m_hWnd, WM_KEYDOWN, VK_F6, 0};
    EXPECT_TRUE(frame->PreTranslateMessage(&key));
    EXPECT_EQ(g_log, (std::vector<std::string>{"app:4"}));

    g_log.clear();
    Command(ID_FRAME_DISABLES, 1);  // as an accelerator sends it
    EXPECT_TRUE(g_log.empty());
    Command(ID_FRAME_DISABLES, 0);  // a menu choice is not second-guessed
    EXPECT_EQ(g_log, (std::vector<std::string>{"frame:3"}));
}

TEST_F(RoutingTest, IdleTimeRefreshesToolbarButtonsAndStatusPanes)
{
    CStatusBar* status = new CStatusBar;  // a child that lives as long as the frame
    ASSERT_TRUE(status->Create(frame));
    const UINT indicators[] = {0, ID_INDICATOR, ID_NOBODY};
    ASSERT_TRUE(status->SetIndicators(indicators, 3));
    status->SetPaneText(2, L"kept");

    CToolBar* toolbar = new CToolBar;
    ASSERT_TRUE(toolbar->CreateEx(frame));
    const UINT buttons[] = {ID_VIEW_ONLY, 0, ID_FRAME_DISABLES, ID_APPLICATION, ID_NOBODY};
    ASSERT_TRUE(toolbar->SetButtons(buttons, 5));
    frame->ShowWindow(SW_SHOWNOACTIVATE);

    // The thread's idle step sends the refresh to the main window and every descendant.
    app.OnIdle(0);
    auto enabled = [&](UINT id) { return toolbar->SendMessage(TB_ISBUTTONENABLED, id) != 0; };
    EXPECT_TRUE(enabled(ID_VIEW_ONLY));
    EXPECT_FALSE(enabled(ID_FRAME_DISABLES));
    EXPECT_TRUE(enabled(ID_APPLICATION));
    EXPECT_FALSE(enabled(ID_NOBODY));
    EXPECT_EQ(status->GetPaneText(1), L"IND");
    EXPECT_EQ(status->GetPaneText(2), L"kept");  // an indicator without a handler keeps its text

    // Menu prompts go to the first pane while a menu item is selected, and back when it closes.
    frame->SendMessage(WM_MENUSELECT, MAKEWPARAM(ID_VIEW_ONLY, 0), 1);
    EXPECT_EQ(status->GetPaneText(0), L"Status prompt one");
    frame->SendMessage(WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_EQ(status->GetPaneText(0), L"Ready");

    // Toolbar clicks travel the same route as menu commands.
    frame->SendMessage(WM_COMMAND, MAKEWPARAM(ID_APPLICATION, BN_CLICKED), reinterpret_cast<LPARAM>(toolbar->m_hWnd));
    EXPECT_EQ(g_log, (std::vector<std::string>{"app:4"}));

    delete status;
    delete toolbar;
}

namespace {
class CountingToolBar : public CToolBar {
public:
    int offered = 0;
    bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        if (message == WM_COMMAND)
            ++offered;
        return CToolBar::OnChildNotify(message, wParam, lParam, result);
    }
};
}  // namespace

TEST_F(RoutingTest, BarsInsideARebarReportToTheFrameOnce)
{
    auto* rebar = new CReBar;
    ASSERT_TRUE(rebar->Create(frame));
    auto* toolbar = new CountingToolBar;
    ASSERT_TRUE(toolbar->CreateEx(rebar, TBSTYLE_FLAT | TBSTYLE_LIST, WS_CHILD | WS_VISIBLE));
    const UINT buttons[] = {ID_APPLICATION};
    ASSERT_TRUE(toolbar->SetButtons(buttons, 1));
    ASSERT_TRUE(rebar->AddBar(toolbar));
    frame->RecalcLayout();
    LONG height = ChildRect(rebar->m_hWnd).bottom;
    EXPECT_GT(height, 0);
    EXPECT_EQ(ChildRect(view->m_hWnd).top, height);

    // The toolbar speaks to the rebar, which hands the command on to the frame's route.
    rebar->SendMessage(WM_COMMAND, MAKEWPARAM(ID_APPLICATION, BN_CLICKED), reinterpret_cast<LPARAM>(toolbar->m_hWnd));
    EXPECT_EQ(g_log, (std::vector<std::string>{"app:4"}));
    EXPECT_EQ(toolbar->offered, 1);  // offered to the button's bar once, not again at the frame

    delete toolbar;
    delete rebar;
}

TEST_F(RoutingTest, ClosingTheMainFrameAsksTheApplicationFirst)
{
    class ClosingApp : public TestApp {
    public:
        bool allow = false;
        int asked = 0;
        BOOL SaveAllModified() override
        {
            ++asked;
            return allow;
        }
    };
    // A second application object takes over for this test.
    ClosingApp closing;
    closing.m_pMainWnd = frame;
    HWND hwnd = frame->m_hWnd;
    frame->SendMessage(WM_CLOSE);
    EXPECT_EQ(closing.asked, 1);
    EXPECT_TRUE(IsWindow(hwnd));
    closing.allow = true;
    frame->SendMessage(WM_CLOSE);
    EXPECT_EQ(closing.asked, 2);
    EXPECT_FALSE(IsWindow(hwnd));
    frame = nullptr;
    closing.m_pMainWnd = nullptr;
    TestApp::DrainQuit();
}

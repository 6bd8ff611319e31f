// The application's start and end: InitInstance, the loop with idle processing, ExitInstance.
#include "test_support.h"

using namespace gly_test;

namespace {

class StartingApp : public TestApp {
public:
    bool failAfterFrame = false;
    int idleCalls = 0;
    int exitCalls = 0;
    HWND frameWindow = nullptr;

    BOOL InitInstance() override
    {
        auto* frame = new CFrameWnd;
        if (!frame->Create(nullptr, L"main", WS_POPUP | WS_BORDER, RECT{0, 0, 200, 100}, nullptr, 200))
            return FALSE;
        m_pMainWnd = frame;
        frameWindow = frame->m_hWnd;
        if (failAfterFrame)
            return FALSE;
        frame->ShowWindow(SW_SHOWNOACTIVATE);
        return TRUE;
    }
    BOOL OnIdle(LONG count) override
    {
        // The first time the queue runs dry the user closes the window.
        if (++idleCalls == 1 && m_pMainWnd)
            m_pMainWnd->PostMessage(WM_CLOSE);
        return TestApp::OnIdle(count);
    }
    int ExitInstance() override
    {
        ++exitCalls;
        TestApp::ExitInstance();
        return 9;
    }
};

}  // namespace

TEST_F(FrameworkTest, ApplicationRunsItsLoopUntilTheMainFrameCloses)
{
    StartingApp app;
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_EQ(AfxGetThread(), &app);
    EXPECT_EQ(AfxWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPWSTR>(L""), SW_SHOWNORMAL), 9);
    EXPECT_EQ(app.exitCalls, 1);
    EXPECT_GE(app.idleCalls, 1);
    EXPECT_FALSE(IsWindow(app.frameWindow));
    EXPECT_EQ(app.m_pMainWnd, nullptr);  // the frame went and deleted itself
}

TEST_F(FrameworkTest, FailedStartDestroysTheMainWindowAndStillExits)
{
    StartingApp app;
    app.failAfterFrame = true;
    EXPECT_EQ(AfxWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPWSTR>(L""), SW_SHOWNORMAL), 9);
    EXPECT_EQ(app.exitCalls, 1);
    EXPECT_EQ(app.idleCalls, 0);
    EXPECT_FALSE(IsWindow(app.frameWindow));
    EXPECT_EQ(app.m_pMainWnd, nullptr);
}

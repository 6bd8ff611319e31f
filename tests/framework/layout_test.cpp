// Frame layout: bars along the sides in the order they were made, the pane in what is left.
#include "test_support.h"

using namespace gly_test;

namespace {

class FixedBar : public CControlBar {
public:
    bool Create(CWnd* parent, DWORD style, UINT id, SIZE size)
    {
        m_size = size;
        DWORD windowStyle = TakeBarStyle(style);
        return CreateEx(0, AfxRegisterWndClass(0), nullptr, windowStyle | WS_CHILD, 0, 0, size.cx, size.cy,
                        parent->m_hWnd, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)));
    }
    SIZE CalcFixedLayout(BOOL stretch, BOOL horizontal) override
    {
        if (horizontal)
            return SIZE{stretch ? 32767 : m_size.cx, m_size.cy};
        return SIZE{m_size.cx, stretch ? 32767 : m_size.cy};
    }

private:
    SIZE m_size{};
};

}  // namespace

TEST_F(FrameworkTest, RecalcLayoutPlacesBarsThenThePane)
{
    auto* frame = new CFrameWnd;
    ASSERT_TRUE(frame->Create(nullptr, L"layout", WS_POPUP, RECT{0, 0, 400, 300}));
    // Children of the frame that it owns until it goes.
    auto* status = new CStatusBar;
    auto* top = new FixedBar;
    auto* left = new FixedBar;
    auto* right = new FixedBar;
    ASSERT_TRUE(status->Create(frame));
    ASSERT_TRUE(top->Create(frame, WS_VISIBLE | CBRS_TOP, 101, SIZE{10, 30}));
    ASSERT_TRUE(left->Create(frame, WS_VISIBLE, 102, SIZE{80, 10}));
    ASSERT_TRUE(right->Create(frame, WS_VISIBLE, 103, SIZE{50, 10}));
    auto* pane = new CView;
    ASSERT_TRUE(pane->Create(frame));

    frame->EnableDocking(CBRS_ALIGN_ANY);
    left->EnableDocking(CBRS_ALIGN_LEFT);
    right->EnableDocking(CBRS_ALIGN_LEFT | CBRS_ALIGN_RIGHT);
    frame->DockControlBar(left);                          // its only side
    frame->DockControlBar(right, AFX_IDW_DOCKBAR_RIGHT);  // the side asked for
    frame->RecalcLayout();

    RECT client = frame->GetClientRect();
    ASSERT_EQ(client, (RECT{0, 0, 400, 300}));
    RECT statusRect = ChildRect(status->m_hWnd);
    LONG statusTop = statusRect.top;
    EXPECT_GT(statusRect.bottom - statusRect.top, 0);
    EXPECT_EQ(statusRect, (RECT{0, statusTop, 400, 300}));
    EXPECT_EQ(ChildRect(top->m_hWnd), (RECT{0, 0, 400, 30}));
    EXPECT_EQ(ChildRect(left->m_hWnd), (RECT{0, 30, 80, statusTop}));
    EXPECT_EQ(ChildRect(right->m_hWnd), (RECT{350, 30, 400, statusTop}));
    EXPECT_EQ(ChildRect(pane->m_hWnd), (RECT{80, 30, 350, statusTop}));
    EXPECT_EQ(frame->GetPaneRect(), (RECT{80, 30, 350, statusTop}));

    // A hidden bar gives its strip back to the pane.
    frame->ShowControlBar(left, FALSE, FALSE);
    EXPECT_EQ(ChildRect(pane->m_hWnd), (RECT{0, 30, 350, statusTop}));

    // Re-docking moves a bar to another side; a delayed layout happens once the queue is served.
    frame->DockControlBar(right, AFX_IDW_DOCKBAR_BOTTOM);
    EXPECT_EQ(ChildRect(right->m_hWnd), (RECT{0, statusTop - 10, 400, statusTop}));
    EXPECT_EQ(ChildRect(pane->m_hWnd), (RECT{0, 30, 400, statusTop - 10}));

    frame->ShowControlBar(left, TRUE, TRUE);
    EXPECT_TRUE(PumpUntil([&] { return ChildRect(pane->m_hWnd).left == 80; }));

    // Resizing the frame lays it out again.
    frame->SetWindowPos(nullptr, 0, 0, 500, 300, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(ChildRect(top->m_hWnd), (RECT{0, 0, 500, 30}));

    delete status;
    delete top;
    delete left;
    delete right;
    frame->DestroyWindow();  // frame and view delete themselves
}

// Window objects: the creation hook, the fall-back through the base classes to the original
// procedure, subclassing, reflection, pre-translation and exceptions in handlers.
#include <stdexcept>

#include "test_support.h"

using namespace gly_test;

namespace {

class RecordingWnd : public CWnd {
public:
    std::vector<UINT> seen;
    bool preSubclassDuringCreation = false;
    int preSubclassCalls = 0;
    int postNcDestroyCalls = 0;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        seen.push_back(message);
        return CWnd::WindowProc(message, wParam, lParam);
    }
    void PreSubclassWindow() override
    {
        ++preSubclassCalls;
        preSubclassDuringCreation = GetWindowUnderCreation() == this;
    }
    void PostNcDestroy() override { ++postNcDestroyCalls; }

    size_t IndexOf(UINT message) const
    {
        for (size_t i = 0; i < seen.size(); ++i) {
            if (seen[i] == message)
                return i;
        }
        return seen.size();
    }
};

LPCWSTR DefProcClass()
{
    static bool registered = [] {
        WNDCLASSW wc{};
        wc.lpszClassName = L"GlyTestDefProcClass";
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpfnWndProc = DefWindowProcW;
        return AfxRegisterClass(&wc);
    }();
    return registered ? L"GlyTestDefProcClass" : nullptr;
}

class CreationHook : public FrameworkTest, public ::testing::WithParamInterface<int> {};

// 0: a class of ours, 1: a system control class, 2: a class registered with DefWindowProcW.
LPCWSTR ClassForCase(int kind)
{
    switch (kind) {
    case 0:
        return AfxRegisterWndClass(0);
    case 1:
        return L"EDIT";
    default:
        return DefProcClass();
    }
}

}  // namespace

TEST_P(CreationHook, ObjectSeesEveryMessageFromNcCreateToNcDestroy)
{
    RecordingWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, ClassForCase(GetParam()), L"title", WS_POPUP, 0, 0, 100, 40, nullptr, nullptr));
    HWND hwnd = wnd.m_hWnd;
    EXPECT_EQ(CWnd::FromHandle(hwnd), &wnd);

    size_t nc = wnd.IndexOf(WM_NCCREATE);
    size_t create = wnd.IndexOf(WM_CREATE);
    ASSERT_LT(nc, wnd.seen.size());
    ASSERT_LT(create, wnd.seen.size());
    EXPECT_LT(nc, create);
    // Nothing reached the window before the object: only the size query may come first.
    for (size_t i = 0; i < nc; ++i)
        EXPECT_EQ(wnd.seen[i], static_cast<UINT>(WM_GETMINMAXINFO));
    EXPECT_EQ(wnd.preSubclassCalls, 1);
    EXPECT_TRUE(wnd.preSubclassDuringCreation);

    // The class's own behaviour still works behind the object.
    wnd.SetWindowText(L"changed");
    EXPECT_EQ(wnd.GetWindowText(), L"changed");

    ASSERT_TRUE(wnd.DestroyWindow());
    EXPECT_EQ(wnd.seen.back(), static_cast<UINT>(WM_NCDESTROY));
    EXPECT_EQ(wnd.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandle(hwnd), nullptr);
    EXPECT_EQ(wnd.postNcDestroyCalls, 1);
}

INSTANTIATE_TEST_SUITE_P(Classes, CreationHook, ::testing::Values(0, 1, 2));

namespace {

class MiddleWnd : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message) {
        case WM_USER + 1:
            return 11;
        case WM_USER + 2:
            return 12;
        default:
            return CWnd::WindowProc(message, wParam, lParam);
        }
    }
};

class LeafWnd : public MiddleWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message) {
        case WM_USER + 1:
            return 21;
        default:
            return MiddleWnd::WindowProc(message, wParam, lParam);
        }
    }
};

}  // namespace

TEST_F(FrameworkTest, UnhandledMessagesFallToTheBaseClassAndThenToTheOriginalProcedure)
{
    LeafWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 30, nullptr, nullptr));
    EXPECT_EQ(wnd.SendMessage(WM_USER + 1), 21);   // the leaf's own case
    EXPECT_EQ(wnd.SendMessage(WM_USER + 2), 12);   // its base class
    wnd.SendMessage(EM_LIMITTEXT, 7);              // the edit control itself
    EXPECT_EQ(wnd.SendMessage(EM_GETLIMITTEXT), 7);
    wnd.DestroyWindow();
}

TEST_F(FrameworkTest, SubclassingAttachesToAnExistingWindowAndGivesItBack)
{
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 30, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
    auto original = GetWindowLongPtrW(edit, GWLP_WNDPROC);

    {
        LeafWnd wnd;
        ASSERT_TRUE(wnd.SubclassWindow(edit));
        EXPECT_EQ(CWnd::FromHandle(edit), &wnd);
        EXPECT_EQ(SendMessageW(edit, WM_USER + 1, 0, 0), 21);
        SetWindowTextW(edit, L"kept");
        EXPECT_EQ(wnd.GetWindowText(), L"kept");

        LeafWnd second;
        EXPECT_FALSE(second.SubclassWindow(edit));  // one object per window

        EXPECT_EQ(wnd.UnsubclassWindow(), edit);
        EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), original);
        EXPECT_EQ(CWnd::FromHandle(edit), nullptr);
        EXPECT_EQ(SendMessageW(edit, WM_USER + 1, 0, 0), 0);
    }

    RecordingWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(edit));
    EXPECT_EQ(wnd.preSubclassCalls, 1);
    EXPECT_FALSE(wnd.preSubclassDuringCreation);
    DestroyWindow(edit);
    EXPECT_EQ(wnd.postNcDestroyCalls, 1);
    EXPECT_EQ(wnd.m_hWnd, nullptr);
}

TEST_F(FrameworkTest, DestroyingTheObjectDestroysItsWindow)
{
    HWND hwnd;
    {
        LeafWnd wnd;
        ASSERT_TRUE(wnd.CreateEx(0, AfxRegisterWndClass(0), L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
        hwnd = wnd.m_hWnd;
    }
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(CWnd::FromHandle(hwnd), nullptr);
}

namespace {

class CountingParent : public CWnd {
public:
    int commands = 0;
    int notifies = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_COMMAND)
            ++commands;
        if (message == WM_NOTIFY)
            ++notifies;
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

class ReflectingButton : public CButton {
public:
    int clicks = 0;
    HBRUSH brush = reinterpret_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
            ++clicks;
            *result = 0;
            return true;
        }
        if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(NM_CLICK)) {
            *result = 5;
            return true;
        }
        if (message == WM_CTLCOLORBTN) {
            *result = reinterpret_cast<LRESULT>(brush);
            return true;
        }
        return CButton::OnChildNotify(message, wParam, lParam, result);
    }
};

}  // namespace

TEST_F(FrameworkTest, ControlNotificationsReachTheControlBeforeItsParent)
{
    CountingParent parent;
    ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr));
    ReflectingButton reflecting;
    CButton plain;
    ASSERT_TRUE(reflecting.Create(L"a", BS_PUSHBUTTON, RECT{0, 0, 50, 20}, &parent, 11));
    ASSERT_TRUE(plain.Create(L"b", BS_PUSHBUTTON, RECT{60, 0, 110, 20}, &parent, 12));

    parent.SendMessage(WM_COMMAND, MAKEWPARAM(11, BN_CLICKED), reinterpret_cast<LPARAM>(reflecting.m_hWnd));
    EXPECT_EQ(reflecting.clicks, 1);
    EXPECT_EQ(parent.commands, 0);

    parent.SendMessage(WM_COMMAND, MAKEWPARAM(12, BN_CLICKED), reinterpret_cast<LPARAM>(plain.m_hWnd));
    EXPECT_EQ(parent.commands, 1);

    NMHDR header{reflecting.m_hWnd, 11, static_cast<UINT>(NM_CLICK)};
    EXPECT_EQ(parent.SendMessage(WM_NOTIFY, 11, reinterpret_cast<LPARAM>(&header)), 5);
    EXPECT_EQ(parent.notifies, 0);
    NMHDR other{plain.m_hWnd, 12, static_cast<UINT>(NM_CLICK)};
    parent.SendMessage(WM_NOTIFY, 12, reinterpret_cast<LPARAM>(&other));
    EXPECT_EQ(parent.notifies, 1);

    HDC dc = GetDC(reflecting.m_hWnd);
    EXPECT_EQ(parent.SendMessage(WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(reflecting.m_hWnd)),
              reinterpret_cast<LRESULT>(reflecting.brush));
    ReleaseDC(reflecting.m_hWnd, dc);

    // A real click goes the same way.
    reflecting.SendMessage(BM_CLICK);
    EXPECT_EQ(reflecting.clicks, 2);
    EXPECT_EQ(parent.commands, 1);
    parent.DestroyWindow();
}

namespace {

class PreTranslating : public CWnd {
public:
    PreTranslating(std::vector<std::string>& log, std::string name) : m_log(log), m_name(std::move(name)) {}
    WPARAM takeKey = 0;
    int keysSeen = 0;
    int markers = 0;
    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (msg->message != WM_KEYDOWN)
            return FALSE;
        m_log.push_back(m_name);
        return msg->wParam == takeKey;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_KEYDOWN)
            ++keysSeen;
        if (message == WM_APP)
            ++markers;
        return CWnd::WindowProc(message, wParam, lParam);
    }

private:
    std::vector<std::string>& m_log;
    std::string m_name;
};

}  // namespace

TEST_F(FrameworkTest, PreTranslationRunsFromTheTargetUpToTheMainWindow)
{
    TestApp app;
    std::vector<std::string> log;
    PreTranslating main(log, "main"), middle(log, "middle"), target(log, "target");
    LPCWSTR cls = AfxRegisterWndClass(0);
    ASSERT_TRUE(main.CreateEx(0, cls, L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr));
    ASSERT_TRUE(middle.CreateEx(0, cls, L"", WS_CHILD, RECT{0, 0, 200, 100}, &main, 1));
    ASSERT_TRUE(target.CreateEx(0, cls, L"", WS_CHILD, RECT{0, 0, 100, 50}, &middle, 2));
    app.m_pMainWnd = &main;

    // Pumps through the thread's own loop step until the marker posted after the key arrives.
    auto pumpKey = [&](WPARAM key) {
        int before = target.markers;
        target.PostMessage(WM_KEYDOWN, key);
        target.PostMessage(WM_APP);
        for (int i = 0; i < 1000 && target.markers == before; ++i)
            ASSERT_TRUE(app.PumpMessage());
    };
    pumpKey('A');
    EXPECT_EQ(log, (std::vector<std::string>{"target", "middle", "main"}));
    EXPECT_EQ(target.keysSeen, 1);

    log.clear();
    middle.takeKey = 'B';
    pumpKey('B');
    EXPECT_EQ(log, (std::vector<std::string>{"target", "middle"}));
    EXPECT_EQ(target.keysSeen, 1);  // taken before dispatch

    app.m_pMainWnd = nullptr;
    main.DestroyWindow();
}

namespace {

class ThrowingWnd : public CWnd {
public:
    bool throwOnCreate = false;
    int postNcDestroyCalls = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message) {
        case WM_CREATE:
            if (throwOnCreate)
                throw std::runtime_error("no window today");
            break;
        case WM_USER + 5:
            throw std::runtime_error("boom");
        case WM_USER + 6:
            return 7;
        default:
            break;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
    void PostNcDestroy() override { ++postNcDestroyCalls; }
};

}  // namespace

TEST_F(FrameworkTest, ExceptionsStopAtTheWindowProcedureAndAreReported)
{
    TestApp app;
    ThrowingWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, AfxRegisterWndClass(0), L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    EXPECT_EQ(wnd.SendMessage(WM_USER + 5), 0);
    EXPECT_EQ(wnd.SendMessage(WM_USER + 6), 7);  // still alive
    auto boxes = app.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(L"boom"), std::wstring::npos);
    EXPECT_NE(boxes[0].find(L"unexpected error"), std::wstring::npos);  // the library's text
    wnd.DestroyWindow();

    ThrowingWnd failing;
    failing.throwOnCreate = true;
    EXPECT_FALSE(failing.CreateEx(0, AfxRegisterWndClass(0), L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    EXPECT_EQ(failing.m_hWnd, nullptr);
    EXPECT_EQ(failing.postNcDestroyCalls, 1);
    EXPECT_EQ(app.Boxes().size(), 2u);

    // A window that never came to be ends the same way, so that self-deleting objects never leak.
    ThrowingWnd classless;
    EXPECT_FALSE(classless.CreateEx(0, L"NoSuchClassAnywhere", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    EXPECT_EQ(classless.postNcDestroyCalls, 1);
}

TEST_F(FrameworkTest, MessageBoxTextsComeFromTheResourceLibrary)
{
    TestApp app;
    AfxMessageBox(7001);
    auto boxes = app.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], L"Message from the library");
    EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCEW(100), RT_DIALOG), TestResources());
    EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCEW(4242), RT_DIALOG), GetModuleHandleW(nullptr));
}

TEST_F(FrameworkTest, DetachingASubclassedWindowGivesBackItsProcedure)
{
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 30, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
    auto original = GetWindowLongPtrW(edit, GWLP_WNDPROC);
    LeafWnd first;
    ASSERT_TRUE(first.SubclassWindow(edit));
    EXPECT_EQ(first.Detach(), edit);
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), original);

    // A later object finds the control's own procedure behind it.
    LeafWnd second;
    ASSERT_TRUE(second.SubclassWindow(edit));
    second.SendMessage(EM_LIMITTEXT, 9);
    EXPECT_EQ(second.SendMessage(EM_GETLIMITTEXT), 9);
    EXPECT_EQ(second.SendMessage(WM_USER + 1), 21);
    DestroyWindow(edit);
    EXPECT_EQ(second.m_hWnd, nullptr);
}

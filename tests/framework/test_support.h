#pragma once
// Helpers of the framework tests: the test resource library, an application object that
// records its message boxes instead of showing them, and a bounded message pump.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "framework/framework.h"

namespace gly_test {

// Loads framework_test_res.dll once and makes it the resource module for every test.
inline HINSTANCE TestResources()
{
    static HINSTANCE module = [] {
        std::wstring path = std::wstring(GLY_BIN_DIR) + L"\\framework_test_res.dll";
        return LoadLibraryW(path.c_str());
    }();
    return module;
}

class TestApp : public CWinApp {
public:
    TestApp() : CWinApp(L"framework tests") {}
    ~TestApp() override { DrainQuit(); }

    int DoMessageBox(const wchar_t* prompt, UINT, UINT) override
    {
        std::lock_guard lock(m_lock);
        m_boxes.push_back(prompt ? prompt : L"");
        return IDOK;
    }
    std::vector<std::wstring> Boxes()
    {
        std::lock_guard lock(m_lock);
        return m_boxes;
    }
    bool HandleCommand(UINT id, CCmdUI* state) override
    {
        return onCommand ? onCommand(id, state) : CWinApp::HandleCommand(id, state);
    }

    // A destroyed main window posts WM_QUIT; it must not end a later test's loop.
    static void DrainQuit()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

    std::function<bool(UINT, CCmdUI*)> onCommand;

private:
    std::mutex m_lock;
    std::vector<std::wstring> m_boxes;
};

// Dispatches this thread's messages until done() holds; gives up after a generous bound so that a
// broken case fails instead of hanging the run.
inline bool PumpUntil(const std::function<bool()>& done, DWORD bound = 20000)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > bound)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

inline RECT ChildRect(HWND child)
{
    RECT rc{};
    GetWindowRect(child, &rc);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(TestResources(), nullptr) << "framework_test_res.dll missing";
        AfxSetResourceHandle(TestResources());
    }
    void TearDown() override { AfxSetResourceHandle(nullptr); }
};

}  // namespace gly_test

inline bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline std::ostream& operator<<(std::ostream& out, const RECT& r)
{
    return out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

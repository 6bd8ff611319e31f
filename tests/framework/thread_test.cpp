// Thread objects: workers with a procedure and a parameter that report to a message-only owner,
// their start flags and deletion, and user-interface threads with their own loop.
#include <atomic>
#include <stdexcept>

#include "test_support.h"

using namespace gly_test;

namespace {

constexpr UINT WM_WORKER_DONE = WM_USER + 127;

class CompletionOwner : public CWnd {
public:
    bool Create() { return CreateEx(0, AfxRegisterWndClass(0), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr); }
    int completions = 0;
    WPARAM result = 0;
    LPARAM kind = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_WORKER_DONE) {
            ++completions;
            result = wParam;
            kind = lParam;
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// The shape every worker's record starts with: owner, stop flag, thread object.
struct WorkerParams {
    HWND owner = nullptr;
    volatile LONG* stop = nullptr;
    CWinThread* thread = nullptr;
    UINT value = 0;
    std::atomic<bool> ran{false};
};

UINT __cdecl DoublingWorker(LPVOID param)
{
    auto* p = static_cast<WorkerParams*>(param);
    p->ran = true;
    PostMessageW(p->owner, WM_WORKER_DONE, p->value * 2, 13);
    return p->value;
}

UINT __cdecl ThrowingWorker(LPVOID)
{
    throw std::runtime_error("worker failed");
}

// The stop routine that every owner uses: wait without a limit, then delete.
void StopWorker(CWinThread*& thread)
{
    if (!thread)
        return;
    WaitForSingleObject(thread->m_hThread, INFINITE);
    delete thread;
    thread = nullptr;
}

class ObservedThread : public CWinThread {
public:
    ObservedThread(AFX_THREADPROC proc, LPVOID param, HANDLE deleted) : CWinThread(proc, param), m_deleted(deleted) {}
    ~ObservedThread() override { SetEvent(m_deleted); }

private:
    HANDLE m_deleted;
};

}  // namespace

TEST_F(FrameworkTest, WorkerPostsItsCompletionToAMessageOnlyOwner)
{
    TestApp app;
    CompletionOwner owner;
    ASSERT_TRUE(owner.Create());
    volatile LONG stop = 0;
    WorkerParams params;
    params.owner = owner.m_hWnd;
    params.stop = &stop;
    params.value = 21;

    CWinThread* thread = new CWinThread(DoublingWorker, &params);
    thread->m_bAutoDelete = FALSE;
    params.thread = thread;
    ASSERT_TRUE(thread->CreateThread());  // started at once
    EXPECT_NE(thread->m_hThread, nullptr);
    EXPECT_NE(thread->m_nThreadID, 0u);

    ASSERT_TRUE(PumpUntil([&] { return owner.completions == 1; }));
    EXPECT_EQ(owner.result, 42u);
    EXPECT_EQ(owner.kind, 13);
    DWORD exitCode = 0;
    WaitForSingleObject(thread->m_hThread, INFINITE);
    ASSERT_TRUE(GetExitCodeThread(thread->m_hThread, &exitCode));
    EXPECT_EQ(exitCode, 21u);
    StopWorker(thread);
    EXPECT_EQ(thread, nullptr);
    owner.DestroyWindow();
}

TEST_F(FrameworkTest, SuspendedWorkerWaitsForResume)
{
    CompletionOwner owner;
    ASSERT_TRUE(owner.Create());
    WorkerParams params;
    params.owner = owner.m_hWnd;
    CWinThread* thread = AfxBeginThread(DoublingWorker, &params, THREAD_PRIORITY_BELOW_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    thread->m_bAutoDelete = FALSE;
    EXPECT_EQ(WaitForSingleObject(thread->m_hThread, 200), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_FALSE(params.ran);
    EXPECT_EQ(thread->GetThreadPriority(), THREAD_PRIORITY_BELOW_NORMAL);
    thread->ResumeThread();
    StopWorker(thread);
    EXPECT_TRUE(params.ran);
    owner.DestroyWindow();
}

TEST_F(FrameworkTest, AutoDeletingWorkerDeletesItselfAndAThrowingOneEndsCleanly)
{
    TestApp app;
    CompletionOwner owner;
    ASSERT_TRUE(owner.Create());
    WorkerParams params;
    params.owner = owner.m_hWnd;
    HANDLE deleted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto* thread = new ObservedThread(DoublingWorker, &params, deleted);
    ASSERT_TRUE(thread->CreateThread());  // m_bAutoDelete stays set
    EXPECT_EQ(WaitForSingleObject(deleted, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(deleted);

    CWinThread* failing = new CWinThread(ThrowingWorker, nullptr);
    failing->m_bAutoDelete = FALSE;
    ASSERT_TRUE(failing->CreateThread());
    WaitForSingleObject(failing->m_hThread, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeThread(failing->m_hThread, &exitCode);
    EXPECT_EQ(exitCode, static_cast<DWORD>(-1));
    StopWorker(failing);
    auto boxes = app.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(L"worker failed"), std::wstring::npos);
    owner.DestroyWindow();
}

namespace {

class UiWindow : public CWnd {
public:
    explicit UiWindow(std::atomic<int>* destroyed) : m_destroyed(destroyed) {}
    void PostNcDestroy() override
    {
        ++*m_destroyed;
        delete this;
    }

private:
    std::atomic<int>* m_destroyed;
};

class UiThread : public CWinThread {
public:
    std::atomic<HWND> window{nullptr};
    std::atomic<int> idleCalls{0};
    std::atomic<int> exitCalls{0};
    std::atomic<int> windowsDestroyed{0};
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE idled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool failStart = false;

    ~UiThread() override
    {
        CloseHandle(ready);
        CloseHandle(idled);
    }

    BOOL InitInstance() override
    {
        auto* wnd = new UiWindow(&windowsDestroyed);
        bool made = wnd->CreateEx(0, AfxRegisterWndClass(0), L"ui", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr);
        if (made) {
            m_pMainWnd = wnd;
            window = wnd->m_hWnd;
        }
        SetEvent(ready);
        return made && !failStart;
    }
    BOOL OnIdle(LONG count) override
    {
        ++idleCalls;
        SetEvent(idled);
        return CWinThread::OnIdle(count);
    }
    int ExitInstance() override
    {
        ++exitCalls;
        return 3;
    }
};

}  // namespace

TEST_F(FrameworkTest, UserInterfaceThreadPumpsUntilItsMainWindowGoes)
{
    auto* thread = new UiThread;
    thread->m_bAutoDelete = FALSE;
    ASSERT_TRUE(thread->CreateThread());
    ASSERT_EQ(WaitForSingleObject(thread->ready, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    ASSERT_NE(thread->window.load(), nullptr);
    // Its loop answers while this thread waits.
    EXPECT_EQ(SendMessageW(thread->window, WM_NULL, 0, 0), 0);
    // Idle time comes only when the queue is empty: a close posted before that would leave none.
    EXPECT_EQ(WaitForSingleObject(thread->idled, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    PostMessageW(thread->window, WM_CLOSE, 0, 0);  // destroys the main window, which ends the loop
    WaitForSingleObject(thread->m_hThread, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeThread(thread->m_hThread, &exitCode);
    EXPECT_EQ(exitCode, 3u);
    EXPECT_EQ(thread->exitCalls, 1);
    EXPECT_GE(thread->idleCalls, 1);
    EXPECT_EQ(thread->windowsDestroyed, 1);
    EXPECT_EQ(thread->m_pMainWnd, nullptr);
    delete thread;
}

TEST_F(FrameworkTest, UserInterfaceThreadThatCannotStartCleansUp)
{
    auto* thread = new UiThread;
    thread->failStart = true;
    thread->m_bAutoDelete = FALSE;
    ASSERT_TRUE(thread->CreateThread());
    WaitForSingleObject(thread->m_hThread, INFINITE);
    EXPECT_EQ(thread->exitCalls, 1);
    EXPECT_EQ(thread->windowsDestroyed, 1);  // its window went with it, object included
    delete thread;
}

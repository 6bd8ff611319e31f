// The worker convention: thread objects that outlive their thread, the one stop routine, the
// completion message, and a stop that cannot deadlock against a worker's SendMessage.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>

#include "activation/worker_threads.h"
#include "worker_test_support.h"

namespace {

constexpr UINT kPing = WM_APP + 1;
constexpr int kTestKind = 9;

struct TestParams : ThreadParams {
    HANDLE started = nullptr;  // set once the worker runs
    std::atomic<int> sends{0};
    bool useCom = false;
    std::atomic<bool> comOk{false};
};

std::atomic<int> g_destroyed{0};

class CountingThread : public CThreadFontsOperations {
public:
    CountingThread(AFX_THREADPROC proc, ThreadParams* params, int kind) : CThreadFontsOperations(proc, params, kind) {}
    ~CountingThread() override { ++g_destroyed; }
};

// Ends at once with its completion.
UINT __cdecl QuickProc(LPVOID param)
{
    auto* params = static_cast<TestParams*>(param);
    CWorkerComApartment com;
    params->comOk = com.Ok();
    PostWorkerDone(params, AfxGetThread(), kWorkerResultDone, kTestKind);
    return 1;
}

// Runs until stopped, then posts its completion (which must not arrive after a stop).
UINT __cdecl UntilStoppedProc(LPVOID param)
{
    auto* params = static_cast<TestParams*>(param);
    SetEvent(params->started);
    while (!params->StopRequested())
        Sleep(1);
    PostWorkerDone(params, AfxGetThread(), kWorkerResultStopped, kTestKind);
    return 2;
}

// Sends to the owner window without pause until stopped: while the owner's thread waits for it, the
// worker sits inside SendMessage.
UINT __cdecl SendingProc(LPVOID param)
{
    auto* params = static_cast<TestParams*>(param);
    SetEvent(params->started);
    // The first send comes whatever the flag says, so the owner's stop always meets a worker that
    // is blocked in SendMessage.
    do {
        SendMessageW(params->hwndOwner, kPing, 0, 0);
        ++params->sends;
    } while (!params->StopRequested());
    return 1;
}

bool Start(TestParams& params, RecordingOwner& owner, WorkerStopFlag& stop, AFX_THREADPROC proc)
{
    PrepareWorkerStart(&params, owner.hwnd, &stop);
    if (!params.started)
        params.started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(params.started);
    return StartWorkerThread(new CountingThread(proc, &params, kTestKind), &params);
}

class WorkerThreadsTest : public WorkerTest {};

TEST_F(WorkerThreadsTest, ThreadObjectOutlivesItsThreadUntilStopped)
{
    RecordingOwner owner;
    WorkerStopFlag stop{FALSE};
    TestParams params;
    g_destroyed = 0;
    ASSERT_TRUE(Start(params, owner, stop, QuickProc));
    CWinThread* thread = params.thread;
    ASSERT_NE(thread, nullptr);
    EXPECT_FALSE(thread->m_bAutoDelete);

    int result = 0;
    ASSERT_TRUE(owner.WaitForDone(kTestKind, result));
    EXPECT_EQ(result, kWorkerResultDone);
    EXPECT_TRUE(params.comOk);
    // The thread has ended, but its object stays until the owner stops it.
    WaitForSingleObject(thread->m_hThread, INFINITE);
    EXPECT_EQ(g_destroyed, 0);
    EXPECT_EQ(params.thread.load(), thread);

    StopWorkerThread(&params);
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(params.thread.load(), nullptr);
    EXPECT_FALSE(stop.load());
    StopWorkerThread(&params);  // a second stop finds nothing to do
    StopWorkerThread(nullptr);
    EXPECT_EQ(g_destroyed, 1);
    CloseHandle(params.started);
}

TEST_F(WorkerThreadsTest, StartingAgainStopsThePreviousRunAndAStoppedRunPostsNothing)
{
    RecordingOwner owner;
    WorkerStopFlag stop{FALSE};
    TestParams params;
    g_destroyed = 0;
    ASSERT_TRUE(Start(params, owner, stop, UntilStoppedProc));
    ASSERT_EQ(WaitForSingleObject(params.started, INFINITE), WAIT_OBJECT_0);

    ASSERT_TRUE(Start(params, owner, stop, UntilStoppedProc));
    EXPECT_EQ(g_destroyed, 1);  // the first run was stopped and its object deleted
    EXPECT_NE(params.thread.load(), nullptr);
    EXPECT_FALSE(stop.load());  // the new run starts with a clear flag
    ASSERT_EQ(WaitForSingleObject(params.started, INFINITE), WAIT_OBJECT_0);

    StopWorkerThread(&params);
    EXPECT_EQ(g_destroyed, 2);
    owner.Pump();
    // Both runs ended on the stop routine's request: the owner hears of neither.
    EXPECT_EQ(owner.Count(WM_WORKER_DONE), 0);
    CloseHandle(params.started);
}

TEST_F(WorkerThreadsTest, StopWhileTheWorkerIsInsideSendMessageToTheWaitingThread)
{
    RecordingOwner owner;
    WorkerStopFlag stop{FALSE};
    TestParams params;
    g_destroyed = 0;
    ASSERT_TRUE(Start(params, owner, stop, SendingProc));
    ASSERT_EQ(WaitForSingleObject(params.started, INFINITE), WAIT_OBJECT_0);
    // No pumping here: the worker is (or soon will be) blocked in SendMessage to this thread. A stop
    // routine that waited without answering sent messages would never return.
    StopWorkerThread(&params);
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_GE(params.sends.load(), 1);
    EXPECT_GE(owner.Count(kPing), 1);
    CloseHandle(params.started);
}

// A handler that stops the same record while the stop routine is still waiting must find nothing
// to stop (the thread object is deleted once).
WorkerStopFlag g_reentryStop{FALSE};
TestParams* g_reentryParams = nullptr;
void StopAgainOnPing(RecordingOwner&, UINT message, WPARAM, LPARAM)
{
    if (message == kPing)
        StopWorkerThread(g_reentryParams);
}

TEST_F(WorkerThreadsTest, StopReenteredFromASentMessageDeletesTheThreadOnce)
{
    RecordingOwner owner;
    TestParams params;
    g_destroyed = 0;
    g_reentryParams = &params;
    ASSERT_TRUE(Start(params, owner, g_reentryStop, SendingProc));
    ASSERT_EQ(WaitForSingleObject(params.started, INFINITE), WAIT_OBJECT_0);
    owner.onMessage = StopAgainOnPing;
    StopWorkerThread(&params);
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(params.thread.load(), nullptr);
    owner.onMessage = nullptr;
    CloseHandle(params.started);
}

TEST_F(WorkerThreadsTest, CompletionGoesNowhereWithoutOwner)
{
    TestParams params;
    WorkerStopFlag stop{FALSE};
    g_destroyed = 0;
    PrepareWorkerStart(&params, nullptr, &stop);
    ASSERT_TRUE(StartWorkerThread(new CountingThread(QuickProc, &params, kTestKind), &params));
    StopWorkerThread(&params);  // waits for the end; nothing was posted anywhere
    EXPECT_EQ(g_destroyed, 1);
}

}  // namespace

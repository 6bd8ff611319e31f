#include "activation/worker_threads.h"

#include <objbase.h>

#include "core/resource_strings.h"

CWorkerThread::CWorkerThread(AFX_THREADPROC proc, ThreadParams* params, int kind)
    : CWinThread(proc, params), m_params(params), m_kind(kind)
{
    m_bAutoDelete = FALSE;
    if (params)
        params->thread = this;
}

CWorkerThread::~CWorkerThread() = default;

CThreadFontsOperations::CThreadFontsOperations(AFX_THREADPROC proc, ThreadParams* params, int kind)
    : CWorkerThread(proc, params, kind)
{
}

CThreadFontsOperations::~CThreadFontsOperations() = default;

CFontsBrowseThread::CFontsBrowseThread(AFX_THREADPROC proc, ThreadParams* params, int kind)
    : CWorkerThread(proc, params, kind)
{
}

CFontsBrowseThread::~CFontsBrowseThread() = default;

bool StartWorkerThread(CWinThread* thread, ThreadParams* params)
{
    if (!thread)
        return false;
    if (thread->CreateThread(0, 0, nullptr))
        return true;
    if (params && params->thread.load() == thread)
        params->thread = nullptr;
    delete thread;
    AfxMessageBox(LoadResString(IDS_CANNOT_START_THREAD).c_str(), MB_OK | MB_ICONERROR);
    return false;
}

namespace {

// Waits for the thread while answering messages that other threads send to this one: a worker that
// is inside SendMessage to one of our windows cannot end until we answer. Posted messages stay
// queued; only sent ones are dispatched here.
void WaitHandlingSentMessages(HANDLE thread)
{
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0)
            return;
        if (r == WAIT_OBJECT_0 + 1) {
            MSG msg;
            // Peeking with PM_QS_SENDMESSAGE delivers the pending sent messages and removes nothing.
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        // The wait itself failed (a bad handle): a plain wait is all that is left.
        WaitForSingleObject(thread, INFINITE);
        return;
    }
}

}  // namespace

void StopWorkerThread(ThreadParams* params)
{
    if (!params)
        return;
    // Taken out of the record before waiting: a message handled during the wait may stop the same
    // record again, and the worker must not announce an end that its owner is already handling.
    CWinThread* thread = params->thread.exchange(nullptr);
    if (thread) {
        thread->m_bAutoDelete = FALSE;
        if (params->stopFlag)
            params->stopFlag->store(TRUE);
        if (thread->m_hThread)
            WaitHandlingSentMessages(thread->m_hThread);
        delete thread;
        // Only the call that stopped a thread lowers the flag: a nested call from a handler run
        // during the wait must not let the thread go on.
        if (params->stopFlag)
            params->stopFlag->store(FALSE);
    }
}

void PrepareWorkerStart(ThreadParams* params, HWND owner, WorkerStopFlag* stop)
{
    if (!params)
        return;
    if (stop)
        stop->store(FALSE);
    StopWorkerThread(params);
    params->hwndOwner = owner;
    params->stopFlag = stop;
}

void PostWorkerDone(const ThreadParams* params, const CWinThread* self, int result, int kind)
{
    if (!params || !params->hwndOwner || params->thread.load() != self)
        return;
    PostMessageW(params->hwndOwner, WM_WORKER_DONE, static_cast<WPARAM>(static_cast<INT_PTR>(result)),
                 static_cast<LPARAM>(kind));
}

CWorkerComApartment::CWorkerComApartment()
    : m_ok(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
{
}

CWorkerComApartment::~CWorkerComApartment()
{
    // Only a successful initialisation is balanced; uninitialising after a failed one would undo a
    // caller's apartment.
    if (m_ok)
        CoUninitialize();
}

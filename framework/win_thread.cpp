#include "framework/win_thread.h"

#include <process.h>
#include <shellapi.h>

#include <exception>

#include "core/resource_strings.h"
#include "framework/wnd.h"

namespace {

thread_local CWinThread* t_thread = nullptr;
CWinApp* g_app = nullptr;

UINT RunWorker(CWinThread* thread)
{
    try {
        return thread->m_pfnThreadProc(thread->m_pThreadParams);
    } catch (const std::exception& e) {
        AfxReportUnhandledException(e.what());
    } catch (...) {
        AfxReportUnhandledException(nullptr);
    }
    return static_cast<UINT>(-1);
}

int RunUserInterface(CWinThread* thread)
{
    try {
        if (!thread->InitInstance()) {
            if (CWnd* main = thread->m_pMainWnd; main && main->m_hWnd)
                main->DestroyWindow();
            return thread->ExitInstance();
        }
        return thread->Run();
    } catch (const std::exception& e) {
        AfxReportUnhandledException(e.what());
    } catch (...) {
        AfxReportUnhandledException(nullptr);
    }
    return -1;
}

// Windows of this thread that are still attached when it ends would die without WM_NCDESTROY
// reaching their objects; destroy them while the thread can still dispatch.
void DestroyThreadWindows()
{
    for (HWND hwnd : CWnd::AttachedWindowsOfThread(GetCurrentThreadId())) {
        if (IsWindow(hwnd))
            DestroyWindow(hwnd);
    }
}

}  // namespace

CWinThread::CWinThread() = default;

CWinThread::CWinThread(AFX_THREADPROC proc, LPVOID param) : m_pfnThreadProc(proc), m_pThreadParams(param) {}

CWinThread::~CWinThread()
{
    if (m_hThread)
        CloseHandle(m_hThread);
    if (t_thread == this)
        t_thread = nullptr;
}

bool CWinThread::CreateThread(DWORD flags, UINT stackSize, LPSECURITY_ATTRIBUTES security)
{
    if (m_hThread)
        return false;
    unsigned id = 0;
    // Always start suspended: the handle and id must be in the object before the thread can use
    // (or delete) it.
    uintptr_t handle = _beginthreadex(security, stackSize, ThreadEntry, this,
                                      (flags & STACK_SIZE_PARAM_IS_A_RESERVATION) | CREATE_SUSPENDED, &id);
    if (!handle)
        return false;
    m_hThread = reinterpret_cast<HANDLE>(handle);
    m_nThreadID = id;
    if (!(flags & CREATE_SUSPENDED))
        ::ResumeThread(m_hThread);
    return true;
}

unsigned __stdcall CWinThread::ThreadEntry(void* self)
{
    auto* thread = static_cast<CWinThread*>(self);
    t_thread = thread;
    int result = thread->m_pfnThreadProc ? static_cast<int>(RunWorker(thread)) : RunUserInterface(thread);
    DestroyThreadWindows();
    t_thread = nullptr;
    if (thread->m_bAutoDelete)
        thread->Delete();
    return static_cast<unsigned>(result);
}

void CWinThread::Delete()
{
    delete this;
}

int CWinThread::Run()
{
    bool idle = true;
    LONG idleCount = 0;
    MSG peek;
    for (;;) {
        while (idle && !PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) {
            bool more = false;
            try {
                more = OnIdle(idleCount++);
            } catch (const std::exception& e) {
                AfxReportUnhandledException(e.what());
            } catch (...) {
                AfxReportUnhandledException(nullptr);
            }
            if (!more)
                idle = false;
        }
        do {
            if (!PumpMessage())
                return ExitInstance();
            if (IsIdleMessage(m_msgCur)) {
                idle = true;
                idleCount = 0;
            }
        } while (PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE));
    }
}

BOOL AfxPreTranslateUpTo(MSG* msg, HWND stop, bool* outReachedStop)
{
    if (outReachedStop)
        *outReachedStop = false;
    for (HWND h = msg->hwnd; h; h = ::GetParent(h)) {
        CWnd* wnd = CWnd::FromHandle(h);
        if (wnd && wnd->PreTranslateMessage(msg))
            return TRUE;
        if (h == stop) {
            if (outReachedStop)
                *outReachedStop = true;
            return FALSE;
        }
    }
    return FALSE;
}

void AfxDispatchUnlessTaken(MSG* msg, const std::function<BOOL(MSG*)>& preTranslate)
{
    bool taken = false;
    try {
        taken = preTranslate(msg) != FALSE;
    } catch (const std::exception& e) {
        AfxReportUnhandledException(e.what());
        taken = true;
    } catch (...) {
        AfxReportUnhandledException(nullptr);
        taken = true;
    }
    if (!taken) {
        TranslateMessage(msg);
        DispatchMessageW(msg);
    }
}

BOOL CWinThread::PumpMessage()
{
    if (GetMessageW(&m_msgCur, nullptr, 0, 0) <= 0)
        return FALSE;  // WM_QUIT (or a broken queue): the loop ends
    AfxDispatchUnlessTaken(&m_msgCur, [this](MSG* msg) { return PreTranslateMessage(msg); });
    return TRUE;
}

BOOL CWinThread::PreTranslateMessage(MSG* msg)
{
    // From the target up through its parents (and owners) to the thread's main window.
    HWND stop = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
    bool reachedStop = false;
    if (AfxPreTranslateUpTo(msg, stop, &reachedStop))
        return TRUE;
    if (reachedStop)
        return FALSE;
    // A message outside the main window's tree still gets the main window's chance (its
    // accelerators work while a modeless window has the focus).
    if (m_pMainWnd && m_pMainWnd->m_hWnd && msg->hwnd)
        return m_pMainWnd->PreTranslateMessage(msg);
    return FALSE;
}

BOOL CWinThread::OnIdle(LONG count)
{
    if (count == 0 && m_pMainWnd && m_pMainWnd->m_hWnd && IsWindowVisible(m_pMainWnd->m_hWnd)) {
        m_pMainWnd->SendMessage(WM_IDLEUPDATECMDUI, TRUE, 0);
        m_pMainWnd->SendMessageToDescendants(WM_IDLEUPDATECMDUI, TRUE, 0);
    }
    return FALSE;
}

bool CWinThread::IsIdleMessage(const MSG& msg)
{
    // Repeated mouse moves at one place, paints and caret blinks would keep idle work going for ever.
    if (msg.message == WM_MOUSEMOVE || msg.message == WM_NCMOUSEMOVE) {
        if (msg.message == m_lastMouseMessage && msg.pt.x == m_lastMousePos.x && msg.pt.y == m_lastMousePos.y)
            return false;
        m_lastMousePos = msg.pt;
        m_lastMouseMessage = msg.message;
        return true;
    }
    return msg.message != WM_PAINT && msg.message != 0x0118;  // 0x0118: the system's caret timer
}

int CWinThread::ExitInstance()
{
    return static_cast<int>(m_msgCur.wParam);
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority, UINT stackSize, DWORD flags,
                           LPSECURITY_ATTRIBUTES security)
{
    auto* thread = new CWinThread(proc, param);
    if (!thread->CreateThread(flags | CREATE_SUSPENDED, stackSize, security)) {
        delete thread;
        return nullptr;
    }
    thread->SetThreadPriority(priority);
    if (!(flags & CREATE_SUSPENDED))
        thread->ResumeThread();
    return thread;
}

void CCommandLineInfo::ParseParam(const wchar_t* param, BOOL flag, BOOL)
{
    if (!flag && param && m_strFileName.empty())
        m_strFileName = param;
}

CWinApp::CWinApp(const wchar_t* appName)
{
    if (appName)
        m_pszAppName = appName;
    g_app = this;
    // The application object is the main thread's thread object.
    if (!t_thread)
        t_thread = this;
    m_hInstance = GetModuleHandleW(nullptr);
    m_nThreadID = GetCurrentThreadId();
    m_bAutoDelete = FALSE;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
    // The main thread's handle is not ours to close.
    m_hThread = nullptr;
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info)
{
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args)
        return;
    for (int i = 1; i < count; ++i) {
        const wchar_t* arg = args[i];
        bool flag = arg[0] == L'-' || arg[0] == L'/';
        info.ParseParam(flag ? arg + 1 : arg, flag, i == count - 1);
    }
    LocalFree(args);
}

int CWinApp::Run()
{
    if (!m_pMainWnd)
        PostQuitMessage(0);  // nothing to show: end at once rather than pump for ever
    return CWinThread::Run();
}

BOOL CWinApp::OnIdle(LONG count)
{
    return CWinThread::OnIdle(count);
}

int CWinApp::ExitInstance()
{
    return CWinThread::ExitInstance();
}

int CWinApp::DoMessageBox(const wchar_t* prompt, UINT type, UINT)
{
    std::wstring title = LoadResString(AFX_IDS_APP_TITLE);
    if (title.empty())
        title = m_pszAppName;
    // Owned by what the user looks at: the active window of this thread (a modal dialog while one
    // runs), else the main window's last popup.
    HWND owner = GetActiveWindow();
    if (!owner) {
        if (CWnd* main = AfxGetMainWnd(); main && main->m_hWnd && IsWindowEnabled(main->m_hWnd))
            owner = GetLastActivePopup(main->m_hWnd);
    }
    return MessageBoxW(owner, prompt ? prompt : L"", title.c_str(), type);
}

CWinThread* AfxGetThread()
{
    return t_thread;
}

CWinApp* AfxGetApp()
{
    return g_app;
}

CWnd* AfxGetMainWnd()
{
    if (t_thread && t_thread->m_pMainWnd)
        return t_thread->m_pMainWnd;
    return g_app ? g_app->m_pMainWnd : nullptr;
}

HINSTANCE AfxGetResourceHandle()
{
    return GetResourceModule();
}

void AfxSetResourceHandle(HINSTANCE module)
{
    SetResourceModule(module);
}

HINSTANCE AfxFindResourceHandle(LPCWSTR name, LPCWSTR type)
{
    HINSTANCE resources = GetResourceModule();
    if (resources && FindResourceW(resources, name, type))
        return resources;
    return GetModuleHandleW(nullptr);
}

int AfxMessageBox(const wchar_t* text, UINT type, UINT helpId)
{
    if (CWinApp* app = AfxGetApp())
        return app->DoMessageBox(text, type, helpId);
    return MessageBoxW(nullptr, text ? text : L"", L"", type);
}

int AfxMessageBox(UINT textId, UINT type, UINT helpId)
{
    std::wstring text = LoadResString(textId);
    return AfxMessageBox(text.c_str(), type, helpId == UINT(-1) ? textId : helpId);
}

void AfxReportUnhandledException(const char* what)
{
    try {
        std::wstring detail;
        if (what) {
            int length = MultiByteToWideChar(CP_UTF8, 0, what, -1, nullptr, 0);
            if (length > 1) {
                detail.resize(static_cast<size_t>(length));
                MultiByteToWideChar(CP_UTF8, 0, what, -1, detail.data(), length);
                detail.resize(static_cast<size_t>(length - 1));
            }
        }
        std::wstring format = LoadResString(IDS_FRAMEWORK_UNEXPECTED_ERROR);
        std::wstring text = format.empty() ? detail : FormatString(format.c_str(), detail.c_str());
        OutputDebugStringW(text.c_str());
        // Without an application there is no one to show it to (a library under test).
        if (AfxGetApp())
            AfxMessageBox(text.c_str(), MB_OK | MB_ICONSTOP);
    } catch (...) {
        // Reporting must never be the second failure.
    }
}

int AfxWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = instance;
    app->m_lpCmdLine = commandLine;
    app->m_nCmdShow = showCommand;
    int result = 0;
    try {
        if (!app->InitInstance()) {
            if (CWnd* main = app->m_pMainWnd; main && main->m_hWnd)
                main->DestroyWindow();
            result = app->ExitInstance();
        } else {
            result = app->Run();
        }
    } catch (const std::exception& e) {
        AfxReportUnhandledException(e.what());
        result = -1;
    } catch (...) {
        AfxReportUnhandledException(nullptr);
        result = -1;
    }
    return result;
}

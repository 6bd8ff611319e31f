#pragma once
// Threads and the application object. A worker thread is a CWinThread with a procedure and a
// parameter; a user-interface thread is a CWinThread subclass with its own message pump; the
// application object is the user-interface thread of the process's main thread.
#include <windows.h>

#include <functional>
#include <string>

#include "framework/cmd_target.h"

class CWnd;

using AFX_THREADPROC = UINT(__cdecl*)(LPVOID);

// Ids of the framework's own texts in the locale resource library.
constexpr UINT IDS_FRAMEWORK_UNEXPECTED_ERROR = 61696;  // "%s": an exception stopped at a window or thread
constexpr UINT IDS_FRAMEWORK_PARSE_INT = 61697;         // a dialog field needs a whole number

class CWinThread : public CCmdTarget {
public:
    // A user-interface thread (subclass it and override InitInstance).
    CWinThread();
    // A worker: runs the procedure with the parameter; its result is the thread's exit code.
    CWinThread(AFX_THREADPROC proc, LPVOID param);
    ~CWinThread() override;
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Starts the thread; with CREATE_SUSPENDED it waits for ResumeThread. Returns false when the
    // thread could not be made (the object is then not deleted, whatever m_bAutoDelete says).
    bool CreateThread(DWORD flags = 0, UINT stackSize = 0, LPSECURITY_ATTRIBUTES security = nullptr);
    DWORD ResumeThread() const { return ::ResumeThread(m_hThread); }
    DWORD SuspendThread() const { return ::SuspendThread(m_hThread); }
    int GetThreadPriority() const { return ::GetThreadPriority(m_hThread); }
    BOOL SetThreadPriority(int priority) const { return ::SetThreadPriority(m_hThread, priority); }
    operator HANDLE() const { return m_hThread; }

    virtual BOOL InitInstance() { return FALSE; }
    // The message loop: pumps until WM_QUIT, running OnIdle whenever the queue runs empty; ends with
    // ExitInstance's result.
    virtual int Run();
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual BOOL PumpMessage();
    // Idle work; count is 0 on the first call after a message. Return true to be called again
    // before the next message.
    virtual BOOL OnIdle(LONG count);
    virtual bool IsIdleMessage(const MSG& msg);
    virtual int ExitInstance();
    virtual CWnd* GetMainWnd() { return m_pMainWnd; }
    // The object deletes itself at the end of its thread when m_bAutoDelete is set.
    virtual void Delete();

    CWnd* m_pMainWnd = nullptr;   // its destruction ends the thread's message loop
    HANDLE m_hThread = nullptr;   // owned; closed by the destructor
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = TRUE;
    AFX_THREADPROC m_pfnThreadProc = nullptr;
    LPVOID m_pThreadParams = nullptr;

protected:
    MSG m_msgCur{};
    POINT m_lastMousePos{-1, -1};
    UINT m_lastMouseMessage = 0;

private:
    static unsigned __stdcall ThreadEntry(void* self);
};

// Makes and starts a worker thread (m_bAutoDelete set, as the object is new).
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD flags = 0, LPSECURITY_ATTRIBUTES security = nullptr);

class CCommandLineInfo {
public:
    virtual ~CCommandLineInfo() = default;
    // One argument; flag is true when it began with '-' or '/' (the text is given without it).
    virtual void ParseParam(const wchar_t* param, BOOL flag, BOOL last);

    std::wstring m_strFileName;  // the first argument that is not a flag
};

class CWinApp : public CWinThread {
public:
    explicit CWinApp(const wchar_t* appName = nullptr);
    ~CWinApp() override;

    // Hands every argument after the program's name to info.ParseParam.
    void ParseCommandLine(CCommandLineInfo& info);

    int Run() override;
    BOOL OnIdle(LONG count) override;
    int ExitInstance() override;

    // Called when the main frame is asked to close; the frame closes only on TRUE.
    virtual BOOL SaveAllModified() { return TRUE; }
    // The one place where the framework's message boxes are shown.
    virtual int DoMessageBox(const wchar_t* prompt, UINT type, UINT helpId);

    HINSTANCE m_hInstance = nullptr;
    LPWSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    std::wstring m_pszAppName;
};

// The current thread's object (the application on the main thread), or null.
CWinThread* AfxGetThread();
CWinApp* AfxGetApp();
// The current thread's main window, else the application's.
CWnd* AfxGetMainWnd();

// Texts, dialogs, menus and accelerators load from this module (the locale resource library once
// start-up has set it).
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE module);
// The module that holds the resource: the resource library when it does, else the program.
HINSTANCE AfxFindResourceHandle(LPCWSTR name, LPCWSTR type);

int AfxMessageBox(const wchar_t* text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT textId, UINT type = MB_OK, UINT helpId = UINT(-1));

// Reports an exception that reached a window procedure or thread entry (a message box with the
// framework's text); never throws.
void AfxReportUnhandledException(const char* what);

// Offers a message to the windows from its target up through the parents, ending with `stop` (null: the
// top); TRUE when one took it. outReachedStop tells whether `stop` was on the way.
BOOL AfxPreTranslateUpTo(MSG* msg, HWND stop, bool* outReachedStop = nullptr);
// One turn of a message loop for a message already taken from the queue: `preTranslate` may take it,
// else it is translated and dispatched. An exception from `preTranslate` is reported and the message dropped.
void AfxDispatchUnlessTaken(MSG* msg, const std::function<BOOL(MSG*)>& preTranslate);

// The program's entry: InitInstance, then Run; on a failed start the main window is destroyed and
// ExitInstance gives the exit code.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);

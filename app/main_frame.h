#pragma once
// The main frame: the window (class "GLYMainWnd") through which the host plug-ins, a second
// instance and the shell steer the running program, and owner of the activation server thread.
#include <windows.h>

#include <string>

#include "activation/pipe_server.h"
#include "activation/worker_threads.h"
#include "core/app_messages.h"
#include "framework/framework.h"

// Codes of WM_PLUGIN_COMMAND (wParam).
enum PluginCommand : WPARAM {
    kPluginStartServer = 2,      // start the activation server unless it runs
    kPluginProtocolVersion = 3,  // answers kPluginProtocol
    kPluginWantsFolder = 4,      // answers kAnswerFolderKnown or kAnswerFolderWanted
    kPluginSetFolder = 5,        // lParam: an ANSI folder path (callers inside the program only)
};
constexpr LRESULT kPluginProtocol = 5;
constexpr LRESULT kAnswerFolderKnown = 0x100;   // may go on without a folder; none wanted
constexpr LRESULT kAnswerFolderWanted = 0x101;  // may go on without a folder; one wanted
constexpr ULONG_PTR kCopyDataSearchFolder = 1;  // dwData of WM_COPYDATA with a search folder

class CMainFrame : public CFrameWnd {
public:
    CMainFrame();
    ~CMainFrame() override;

    // Registers the window class (string 131, "GLYMainWnd") and creates the frame.
    BOOL CreateFrame(const RECT& rect);

    // The code 5 request from inside the program: the folder (ANSI) becomes the search folder
    // when it exists. The only way code 5 is honoured.
    LRESULT SetSearchFolderFromProgram(const char* folder);

    // Ends the frame's machinery before the application saves and goes: the activation server and
    // the timers. Runs once.
    void ShutDown();

    // Whether an activation server thread is present (tests and the worker completion).
    bool IsServerRunning() const;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool HandleCommand(UINT id, CCmdUI* state) override;

protected:
    LRESULT HandleControlMessage(WPARAM code, LPARAM argument);
    LRESULT OnCopyData(const COPYDATASTRUCT* data);
    LRESULT OnInstanceMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnHttpRequestDone(WPARAM result, LPARAM source);
    LRESULT StartActivationServer();
    void StopActivationServer();
    void RestoreFromTray();

private:
    PipeServerParams m_pipeParams;
    WorkerStopFlag m_serverStop{FALSE};
    bool m_shutDown = false;
    // A start was asked for while a server ran: that server may already be past its exchange.
    bool m_serverRestartPending = false;
    const char* m_trustedFolderArgument = nullptr;
};

// The search folder of the activation server, as stored.
std::wstring GetAutoSearchFolder();

#include "app/main_frame.h"

#include <oleauto.h>

#include <mutex>
#include <new>

#include "app/app_globals.h"
#include "app/glyphary_app.h"
#include "core/helpers.h"
#include "core/resource_strings.h"
#include "storage/app_setting_xml.h"

std::wstring GetAutoSearchFolder()
{
    std::lock_guard lock(AppSettingsMutex());
    return g_appSettings.GetString(L"general", L"AutoSearchFolder");
}

namespace {

// An ANSI path, widened; empty when it does not convert.
std::wstring WidenAnsi(const char* text, int byteCount)
{
    int length = 0;
    BSTR wide = MultiByteToBSTR(text, byteCount, &length, CP_ACP);
    if (!wide)
        return {};
    std::wstring result(wide, SysStringLen(wide));
    SysFreeString(wide);
    while (!result.empty() && result.back() == L'\0')
        result.pop_back();
    return result;
}

bool StoreSearchFolder(const std::wstring& folder)
{
    if (!FolderExists(folder))
        return false;
    std::lock_guard lock(AppSettingsMutex());  // the activation server reads the settings too
    g_appSettings.SetString(L"general", L"AutoSearchFolder", folder);
    return true;
}

}  // namespace

CMainFrame::CMainFrame() = default;

CMainFrame::~CMainFrame()
{
    StopActivationServer();
}

BOOL CMainFrame::CreateFrame(const RECT& rect)
{
    std::wstring className = LoadResString(IDS_MAIN_WINDOW_CLASS);
    if (className.empty())
        className = kMainWindowClass;
    AppGlobals& g = GetAppGlobals();
    WNDCLASSW wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(g.ownModule ? g.ownModule : GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = className.c_str();
    AfxRegisterClass(&wc);  // the class may exist already; creation tells
    std::wstring title = LoadResString(AFX_IDS_APP_TITLE);
    if (!Create(className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, rect, nullptr, 128))
        return FALSE;
    LoadAccelTable(128);
    return TRUE;
}

bool CMainFrame::IsServerRunning() const
{
    return m_pipeParams.thread.load() != nullptr;
}

LRESULT CMainFrame::StartActivationServer()
{
    if (m_shutDown)
        return 1;  // the frame is going: no new thread may outlive it
    if (IsServerRunning()) {
        // The running server may be ending already, with its completion still on the way: the
        // client that asked now must find a server once that one is reclaimed.
        m_serverRestartPending = true;
        return 0;
    }
    try {
        // A failure to make the thread is reported by the start itself.
        return StartPipeServer(m_pipeParams, m_hWnd, &m_serverStop) ? 0 : 1;
    } catch (const std::bad_alloc&) {
        AfxMessageBox(IDS_CANNOT_START_THREAD, MB_OK | MB_ICONSTOP);
        return 1;
    }
}

void CMainFrame::StopActivationServer()
{
    // Wakes the server at once, so that closing does not wait for an exchange to finish.
    StopPipeServer(&m_pipeParams);
}

LRESULT CMainFrame::HandleControlMessage(WPARAM code, LPARAM argument)
{
    switch (code) {
    case kPluginStartServer:
        return StartActivationServer();
    case kPluginProtocolVersion:
        return kPluginProtocol;
    case kPluginWantsFolder:
        return FolderExists(GetAutoSearchFolder()) ? kAnswerFolderKnown : kAnswerFolderWanted;
    case kPluginSetFolder: {
        // The argument is an address in this process: only the program's own call, which
        // announced exactly this address and waits for the answer, is read. Other processes pass
        // folders by WM_COPYDATA.
        const char* folder = reinterpret_cast<const char*>(argument);
        if (!folder || folder != m_trustedFolderArgument)
            return 0;
        return StoreSearchFolder(WidenAnsi(folder, -1)) ? 1 : 0;
    }
    default:
        return 0;
    }
}

LRESULT CMainFrame::SetSearchFolderFromProgram(const char* folder)
{
    if (!m_hWnd || !folder)
        return 0;
    m_trustedFolderArgument = folder;
    LRESULT result = SendMessage(WM_PLUGIN_COMMAND, kPluginSetFolder, reinterpret_cast<LPARAM>(folder));
    m_trustedFolderArgument = nullptr;
    return result;
}

LRESULT CMainFrame::OnCopyData(const COPYDATASTRUCT* data)
{
    // Another process's bytes: only a NUL-terminated text within the given length is read.
    if (!data || data->dwData != kCopyDataSearchFolder || !data->lpData || data->cbData == 0)
        return TRUE;
    const char* bytes = static_cast<const char*>(data->lpData);
    const void* end = memchr(bytes, 0, data->cbData);
    if (!end)
        return TRUE;
    int length = static_cast<int>(static_cast<const char*>(end) - bytes);
    if (length > 0)
        StoreSearchFolder(WidenAnsi(bytes, length));
    return TRUE;
}

void CMainFrame::RestoreFromTray()
{
    if (IsIconic(m_hWnd) || !IsWindowVisible())
        ShowWindow(SW_RESTORE);
    ShowWindow(SW_SHOW);
    ForceForegroundWindow(m_hWnd);
}

LRESULT CMainFrame::OnInstanceMessage(WPARAM wParam, LPARAM lParam)
{
    if (wParam == 1 && lParam == 0)
        RestoreFromTray();
    else if (wParam == 1)
        PostMessage(WM_PLUGIN_COMMAND, kPluginStartServer, 0);
    else
        PostMessage(WM_CLOSE);
    return 0;
}

LRESULT CMainFrame::OnHttpRequestDone(WPARAM, LPARAM source)
{
    if (source == kWorkerPipeServer) {
        StopActivationServer();
        if (m_serverRestartPending && !m_shutDown) {
            m_serverRestartPending = false;
            StartActivationServer();
        }
    }
    return 0;
}

void CMainFrame::ShutDown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    KillTimer(kUpdateCheckTimer);
    m_serverRestartPending = false;
    StopActivationServer();
}

bool CMainFrame::HandleCommand(UINT id, CCmdUI* state)
{
    switch (id) {
    case ID_APP_EXIT:
        if (!state)
            PostMessage(WM_CLOSE);
        return true;
    default:
        return CFrameWnd::HandleCommand(id, state);
    }
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    const AppGlobals& g = GetAppGlobals();
    if (message == WM_PLUGIN_COMMAND)
        return HandleControlMessage(wParam, lParam);
    if (message == WM_WORKER_DONE)
        return OnHttpRequestDone(wParam, lParam);
    if (g.instanceMessage && message == g.instanceMessage)
        return OnInstanceMessage(wParam, lParam);
    if (g.queryCancelAutoPlayMessage && message == g.queryCancelAutoPlayMessage)
        return 1;
    switch (message) {
    case WM_COPYDATA:
        return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_DESTROY:
        // The server's record lives in this object: the thread ends before the object goes.
        ShutDown();
        break;
    case WM_QUERYENDSESSION:
        // Only a question: the closing work waits for the answer that the session really ends.
        return TRUE;
    case WM_ENDSESSION:
        if (wParam) {
            // The process may end as soon as this returns: save what the exit would save.
            if (CGlypharyApp* app = GetGlypharyApp())
                app->SaveAllModified();
            g_appSettings.Save();
        }
        return 0;
    default:
        break;
    }
    return CFrameWnd::WindowProc(message, wParam, lParam);
}

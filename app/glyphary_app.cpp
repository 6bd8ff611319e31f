#include "app/glyphary_app.h"

#include <winsock2.h>
#include <gdiplus.h>

#include <mutex>

#include "activation/app_state.h"
#include "activation/pipe_server.h"
#include "app/app_globals.h"
#include "app/main_frame.h"
#include "core/font_environment.h"
#include "core/font_resource_loader.h"
#include "core/helpers.h"
#include "core/loaded_fonts.h"
#include "core/resource_strings.h"
#include "storage/app_setting_xml.h"
#include "storage/font_files_xml.h"
#include "storage/set_file.h"
#include "storage/storage_messages.h"
#include "ui/stdio_file_ex.h"

CGlypharyApp* GetGlypharyApp()
{
    return dynamic_cast<CGlypharyApp*>(AfxGetApp());
}

// ---- command line ----

void CGLYCommandLineInfo::ParseParam(const wchar_t* param, BOOL flag, BOOL last)
{
    if (flag && param) {
        // Only the first character counts, and its case.
        if (param[0] == L'm') {
            m_bStartMinimized = 1;
            return;
        }
        if (param[0] == L'p') {
            m_bStartedByPlugin = 1;
            m_bStartMinimized = 1;
            return;
        }
    }
    CCommandLineInfo::ParseParam(param, flag, last);
}

// ---- the application object ----

CGlypharyApp::CGlypharyApp() : CWinApp(L"GLY")
{
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr);
    AppGlobals& g = GetAppGlobals();
    GetModuleFolder(g.moduleFolder);
    g.helpFilePath = FormatString(L"%s\\gly_amplex.chm", g.moduleFolder.c_str());
    g.fontsFolder = GetShellFolderPath(CSIDL_FONTS);
    g.instanceMessage = RegisterWindowMessageW(kInstanceMessageName);
    g.queryCancelAutoPlayMessage = RegisterWindowMessageW(L"QueryCancelAutoPlay");
}

CGlypharyApp::~CGlypharyApp()
{
    if (m_storage) {
        m_storage->Release();
        m_storage = nullptr;
    }
    if (m_gdiplusToken)
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
}

int CGlypharyApp::DoMessageBox(const wchar_t* prompt, UINT type, UINT)
{
    return ShowAppMessageBox(prompt ? prompt : L"", type);
}

BOOL CGlypharyApp::LoadLocaleResourceLibrary()
{
    m_hResourceLibrary = LoadLibraryW(L"res_en_Amplex.dll");
    if (!m_hResourceLibrary) {
        AfxMessageBox(L"Cannot find locale resource file.", MB_OK);
        return FALSE;
    }
    return TRUE;
}

void CGlypharyApp::HandOverToFirstInstance(const CGLYCommandLineInfo& info)
{
    HWND first = FindWindowW(kMainWindowClass, nullptr);
    if (!first) {
        // Its window is not made yet: every window hears the request, the first instance's included.
        PostMessageW(HWND_BROADCAST, GetAppGlobals().instanceMessage, 1, 0);
        return;
    }
    if (info.m_bStartedByPlugin) {
        PostMessageW(first, WM_PLUGIN_COMMAND, kPluginStartServer, 0);
        return;
    }
    if (IsIconic(first))
        ShowWindow(first, SW_RESTORE);
    BringWindowToTop(first);
    ForceForegroundWindow(first);
    HWND popup = GetLastActivePopup(first);
    if (popup && popup != first) {
        BringWindowToTop(popup);
        ForceForegroundWindow(popup);
    }
}

namespace {

// Message boxes of the lower layers follow the program's own: written to the message log when
// one is set.
void RouteLowerLayerBoxes()
{
    if (!GetEnvironmentVariableW(kMessageLogVariable, nullptr, 0))
        return;
    SetStorageMessageSink([](const std::wstring& text, UINT type) { return ShowAppMessageBox(text, type); });
    GetFontEnvironment().errorBox = [](DWORD code) {
        std::wstring text;
        FormatErrorText(code, text);
        ShowAppMessageBox(text, MB_OK | MB_ICONINFORMATION, L"Error");
    };
}

// The activation server writes its sessions into the program's session log.
class SessionLogLink : public IPipeSessionLog {
public:
    void Write(const std::wstring& line) override { PluginSessionLog.Write(L"%s", line.c_str()); }
    void WriteTimestamped(const std::wstring& line) override { PluginSessionLog.WriteTimestamped(L"%s", line.c_str()); }
};
SessionLogLink g_sessionLogLink;

void AllowPluginMessageThroughFilter()
{
    if (!GetOsVersion().IsVistaOrLater())
        return;
    using ChangeFilter = BOOL(WINAPI*)(UINT, DWORD);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto change = user32 ? reinterpret_cast<ChangeFilter>(reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter"))) : nullptr;
    if (change && !change(WM_PLUGIN_COMMAND, 1 /* MSGFLT_ADD */))
        AfxMessageBox(L"Cannot receive message from plug-in.", MB_OK);
}

}  // namespace

BOOL CGlypharyApp::InitInstance()
{
    CGLYCommandLineInfo info;
    ParseCommandLine(info);

    if (!IsFirstInstance(kSingleInstanceMutex)) {
        HandOverToFirstInstance(info);
        return FALSE;
    }
    SetUserInterfaceThread(GetCurrentThreadId());
    RouteLowerLayerBoxes();

    InitCommonControls();
    if (!LoadLocaleResourceLibrary())
        return FALSE;
    AfxSetResourceHandle(m_hResourceLibrary);

    AppGlobals& g = GetAppGlobals();
    g.administrator = IsUserAdministrator();
    GetUserDataFolder(g.userDataFolder);
    if (g.userDataFolder.empty()) {
        AfxMessageBox(L"Cannot access user data folder", MB_OK);
        return FALSE;
    }
    g.sessionLogPath = FormatString(L"%s\\plugin_session.log", g.userDataFolder.c_str());
    PluginSessionLog.Open(g.sessionLogPath.c_str(), TRUE, FALSE);
    SetPipeSessionLog(&g_sessionLogLink);
    g.ownModule = m_hInstance;
    CreateTempWorkFolder();

    if (FAILED(OleInitialize(nullptr))) {
        AfxMessageBox(IDS_OLE_INIT_FAILED, MB_OK);
        return FALSE;
    }
    m_oleStarted = true;
    WSADATA winsock;
    m_winsockStarted = WSAStartup(MAKEWORD(1, 1), &winsock) == 0;

    g.ole32 = LoadLibraryW(L"OLE32.dll");
    InitFontEnvironment();  // takes GDI32.dll
    SetAppSystemFontsFolder(g.fontsFolder);
    GetFontResourceLoader().Initialize();
    g_appSettings.SetDataFolder(g.userDataFolder);
    g_appSettings.Load();
    m_settingsLoaded = true;
    MigrateLegacyIniSettings(g_appSettings);

    g.userLocale = GetUserDefaultLCID();
    g.messageFont = CreateMessageFont(false);
    AllowPluginMessageThroughFilter();

    LoadRecentSetFileList(6);
    BuildImageLists();
    LoadListColours();

    g.currentSetFile = g_appSettings.GetString(L"exit_value", L"setfile");
    OpenCurrentSetFile();

    if (!CreateMainFrame(info.m_bStartMinimized)) {
        DWORD error = GetLastError();
        std::wstring text;
        FormatErrorText(error, text);
        ShowAppMessageBox(FormatString(L"%#x: %s", error, text.c_str()), MB_OK | MB_ICONINFORMATION, L"Error");
        return FALSE;
    }
    InstallInputHooks(m_pMainWnd->m_hWnd);
    if (info.m_bStartedByPlugin)
        m_pMainWnd->PostMessage(WM_PLUGIN_COMMAND, kPluginStartServer, 0);
    return TRUE;
}

BOOL CGlypharyApp::CreateMainFrame(BOOL startMinimized)
{
    auto* frame = new CMainFrame;
    BOOL maximized = g_appSettings.GetInt(L"window_size", L"maximized", 1);
    RECT rect{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT};
    if (!maximized) {
        int left = g_appSettings.GetInt(L"window_size", L"window_leftPos", 0xFFFF);
        int top = g_appSettings.GetInt(L"window_size", L"window_topPos", 0xFFFF);
        int right = g_appSettings.GetInt(L"window_size", L"window_rightPos", 0xFFFF);
        int bottom = g_appSettings.GetInt(L"window_size", L"window_bottomPos", 0xFFFF);
        if (left != 0xFFFF && top != 0xFFFF && right != 0xFFFF && bottom != 0xFFFF && bottom - top > 100)
            rect = RECT{left, top, right, bottom};
    }
    if (!frame->CreateFrame(rect))
        return FALSE;  // a frame whose window began deletes itself when it goes
    m_pMainWnd = frame;
    frame->ShowWindow(SW_HIDE);
    if (!startMinimized) {
        frame->ShowWindow(maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
        frame->RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        ForceForegroundWindow(frame->m_hWnd);
    }
    return frame->IsWindow();
}

// ---- the current set file ----

void CGlypharyApp::LoadRecentSetFileList(int count)
{
    m_recentFiles.reset();
    if (count == 0)
        return;
    m_recentFiles = std::make_unique<CMyRecentFileList>(0, L"Recent_Databases", L"Database", count, 30);
    m_recentFiles->ReadList();
}

void CGlypharyApp::ReleaseSetFile()
{
    {
        // Workers borrow the storage under this lock: take it away from them first.
        CSetFileLock lock;
        ClearAppSetFile();
    }
    if (m_storage) {
        m_storage->Release();
        m_storage = nullptr;
    }
}

BOOL CGlypharyApp::OpenCurrentSetFile()
{
    m_setFileNotOpen = TRUE;
    ReleaseSetFile();
    m_setDocument.reset();
    try {
        m_setDocument = std::make_unique<CFontFilesXML>();
    } catch (const std::bad_alloc&) {
        AfxMessageBox(L"Unable to create font set object!", MB_OK);
        return FALSE;
    }

    AppGlobals& g = GetAppGlobals();
    std::wstring fallback = FormatString(L"%s\\%s", g.userDataFolder.c_str(), L"gly.set");
    std::wstring requested = g.currentSetFile.empty() ? fallback : g.currentSetFile;
    bool requestedExisted = FileExists(requested);
    bool fallbackExisted = FileExists(fallback);

    std::wstring path = g.currentSetFile;
    BOOL readOnly = FALSE;
    // Never creates a file over one that exists: an existing file that does not open is left as it
    // is, and the default file is tried instead.
    if (!::OpenCurrentSetFile(path, g.userDataFolder, &m_storage, readOnly, *m_setDocument)) {
        std::wstring message = FormatString(LoadResString(IDS_SET_FILE_NOT_CREATED).c_str(), requested.c_str());
        AfxMessageBox(message.c_str(), MB_OK | MB_ICONWARNING);
        m_setDocument.reset();
        g.currentSetFile = requested;
        return TRUE;
    }
    g.currentSetFile = path;
    bool existed = _wcsicmp(path.c_str(), requested.c_str()) == 0 ? requestedExisted : fallbackExisted;
    if (existed)
        m_setFileNotOpen = FALSE;
    if (m_recentFiles)
        m_recentFiles->Add(path);
    {
        CSetFileLock lock;
        SetAppSetFile(path, m_storage, m_setDocument.get());
    }
    m_setDocument->ActivateMarkedSets(0);
    return TRUE;
}

// ---- shut-down ----

BOOL CGlypharyApp::SaveAllModified()
{
    // A repeated call has nothing left to do and must not keep the frame from closing.
    if (m_savedAll)
        return TRUE;
    m_savedAll = true;

    // The frame's threads end first, so that no server loads a font after the unload below.
    if (auto* frame = dynamic_cast<CMainFrame*>(m_pMainWnd); frame && frame->IsWindow())
        frame->ShutDown();
    {
        std::lock_guard lock(GLYLoadedFontsMutex());
        GetGLYLoadedFonts().UnloadAll(true);
    }

    if (m_setDocument) {
        m_setDocument->ActivateMarkedSets(1);
        {
            CSetFileLock lock;
            m_setDocument->SaveIfModified(m_storage);
            ClearAppSetFile();
        }
        m_setDocument.reset();
    }
    if (m_recentFiles)
        m_recentFiles->WriteList();
    AppGlobals& g = GetAppGlobals();
    if (g.fontTypeIcons) {
        ImageList_Destroy(g.fontTypeIcons);
        g.fontTypeIcons = nullptr;
    }
    DeleteTempWorkFolder();
    return TRUE;
}

int CGlypharyApp::ExitInstance()
{
    RemoveInputHooks();
    if (m_winsockStarted) {
        WSACleanup();
        m_winsockStarted = false;
    }
    if (m_settingsLoaded) {
        g_appSettings.Save();
        g_appSettings.Close();
        m_settingsLoaded = false;
    }
    AppGlobals& g = GetAppGlobals();
    if (g.ole32) {
        FreeLibrary(g.ole32);
        g.ole32 = nullptr;
    }
    ReleaseFontEnvironment();
    SetPipeSessionLog(nullptr);
    PluginSessionLog.Close();
    DestroyImageLists();
    if (g.messageFont) {
        DeleteObject(g.messageFont);
        g.messageFont = nullptr;
    }
    if (m_oleStarted) {
        // The set document and storage hold COM objects: they go before COM does.
        m_setDocument.reset();
        ReleaseSetFile();
        OleUninitialize();
        m_oleStarted = false;
    }
    return CWinApp::ExitInstance();
}

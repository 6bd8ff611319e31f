#include "app/app_globals.h"

#include <objidl.h>
#include <gdiplus.h>
#include <shellapi.h>
#include <shlobj.h>

#include <memory>

#include "core/helpers.h"
#include "core/resource_strings.h"
#include "framework/framework.h"
#include "storage/app_setting_xml.h"
#include "ui/image_utils.h"
#include "ui/stdio_file_ex.h"

AppGlobals& GetAppGlobals()
{
    static AppGlobals globals;
    return globals;
}

BOOL GetModuleFolder(std::wstring& folder)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    folder = path;
    size_t slash = folder.rfind(L'\\');
    folder.resize(slash == std::wstring::npos ? 0 : slash);
    return TRUE;
}

BOOL IsFirstInstance(const wchar_t* mutexName)
{
    HANDLE mutex = CreateMutexW(nullptr, TRUE, mutexName);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        if (mutex)
            CloseHandle(mutex);
        return FALSE;
    }
    // Held until the process ends.
    return TRUE;
}

namespace {

std::wstring TrimTrailingBackslashes(std::wstring path)
{
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

std::wstring EnvironmentValue(const wchar_t* name)
{
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (!size)
        return {};
    std::wstring value(size, L'\0');
    DWORD length = GetEnvironmentVariableW(name, value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

}  // namespace

void GetUserDataFolder(std::wstring& path)
{
    std::wstring chosen = EnvironmentValue(kDataFolderVariable);
    if (!chosen.empty()) {
        path = TrimTrailingBackslashes(chosen);
    } else {
        path = GetShellFolderPath(CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE);
        if (path.empty())
            return;
        path = TrimTrailingBackslashes(path) + L"\\" + LoadResString(AFX_IDS_APP_TITLE);
    }
    if (!path.empty() && !FileExists(path))
        CreateDirectoryW(path.c_str(), nullptr);  // a failure shows later, where files are written
}

void CreateTempWorkFolder()
{
    std::wstring& folder = GetAppGlobals().tempWorkFolder;
    folder.clear();
    wchar_t temp[MAX_PATH] = {};
    DWORD length = GetTempPathW(MAX_PATH, temp);
    if (!length || length >= MAX_PATH)
        return;
    std::wstring path = TrimTrailingBackslashes(temp) + L"\\GLYD\\";
    if (path.size() >= MAX_PATH)
        return;
    if (!FolderExists(path.substr(0, path.size() - 1)) && !CreateDirectoryW(path.c_str(), nullptr))
        return;
    folder = path;
}

void DeleteTempWorkFolder()
{
    std::wstring& folder = GetAppGlobals().tempWorkFolder;
    if (folder.empty())
        return;
    std::wstring source = TrimTrailingBackslashes(folder);
    source.push_back(L'\0');  // the list ends with two zeros
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = source.c_str();
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationW(&operation);
}

bool FolderExists(const std::wstring& path)
{
    if (path.empty() || path.find_first_of(L"*?") != std::wstring::npos)
        return false;
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HBITMAP LoadPngResourceToHBitmap(const wchar_t* name, const wchar_t* type, COLORREF background)
{
    std::unique_ptr<Gdiplus::Bitmap> bitmap(LoadPngResource(GetAppGlobals().ownModule ? GetAppGlobals().ownModule
                                                                                       : GetModuleHandleW(nullptr),
                                                            name, type));
    if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok)
        return nullptr;
    HBITMAP result = nullptr;
    Gdiplus::Color over(255, GetRValue(background), GetGValue(background), GetBValue(background));
    if (bitmap->GetHBITMAP(over, &result) != Gdiplus::Ok)
        return nullptr;
    return result;
}

BOOL LoadPngResourceToBitmap(const wchar_t* name, const wchar_t* type, COLORREF background, CBitmap* target)
{
    if (!target)
        return FALSE;
    HBITMAP bitmap = LoadPngResourceToHBitmap(name, type, background);
    if (!bitmap)
        return FALSE;
    target->Attach(bitmap);
    return TRUE;
}

namespace {

HIMAGELIST BuildImageList(const wchar_t* png, UINT maskId, int grow)
{
    HINSTANCE own = GetAppGlobals().ownModule ? GetAppGlobals().ownModule : GetModuleHandleW(nullptr);
    HBITMAP mask = LoadBitmapW(own, MAKEINTRESOURCEW(maskId));
    int count = 0;
    if (mask) {
        BITMAP info{};
        if (GetObjectW(mask, sizeof info, &info))
            count = info.bmWidth / 16;
    }
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, count, grow);
    if (HBITMAP colour = LoadPngResourceToHBitmap(png, L"PNG", RGB(255, 255, 255)); colour && list) {
        ImageList_Add(list, colour, mask);
        DeleteObject(colour);
    }
    if (mask)
        DeleteObject(mask);
    return list;
}

void DestroyList(HIMAGELIST& list)
{
    if (list) {
        ImageList_Destroy(list);
        list = nullptr;
    }
}

}  // namespace

void BuildImageLists()
{
    AppGlobals& g = GetAppGlobals();
    g.fontTypeIcons = BuildImageList(L"FontTypeIcons.PNG", 135, 1);
    g.menuIcons = BuildImageList(L"MENUICONS.PNG", 145, 0);
    g.menuIconsGrey = BuildImageList(L"MENUICONS_GREY.PNG", 145, 0);
    g.menuIconsHot = BuildImageList(L"MENUICONS_HOT.PNG", 145, 0);
}

void DestroyImageLists()
{
    AppGlobals& g = GetAppGlobals();
    DestroyList(g.fontTypeIcons);
    DestroyList(g.menuIcons);
    DestroyList(g.menuIconsGrey);
    DestroyList(g.menuIconsHot);
}

void LoadListColours()
{
    AppGlobals& g = GetAppGlobals();
    g.colourInstalled = static_cast<COLORREF>(g_appSettings.GetInt(L"general", L"clr_install", RGB(88, 196, 60)));
    g.colourLoaded = static_cast<COLORREF>(g_appSettings.GetInt(L"general", L"clr_loaded", RGB(88, 60, 196)));
    g.colourSystemUsed = static_cast<COLORREF>(g_appSettings.GetInt(L"general", L"clr_sysused", RGB(170, 170, 170)));
}

COLORREF GetFontStateColour(const CFontItemInfo& record, COLORREF defaultColour)
{
    const AppGlobals& g = GetAppGlobals();
    if (record.inUse > 0)
        return g.colourSystemUsed;
    if (!record.loaded)
        return defaultColour;
    if (!record.trackedLoad && !record.setLoaded)
        return g.colourInstalled;
    return g.colourLoaded;
}

// ---- input hooks ----

namespace {

HHOOK g_keyboardHook = nullptr;
HHOOK g_mouseHook = nullptr;
HWND g_hookFrame = nullptr;

LRESULT OnUserInputHook(HHOOK hook, int code, WPARAM wParam, LPARAM lParam)
{
    if (code >= 0) {
        GetAppGlobals().idleTicks = 0;
        if (g_hookFrame && IsWindow(g_hookFrame)) {
            KillTimer(g_hookFrame, kUpdateCheckTimer);
            SetTimer(g_hookFrame, kUpdateCheckTimer, 1000, nullptr);
        }
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    return OnUserInputHook(g_keyboardHook, code, wParam, lParam);
}

LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    return OnUserInputHook(g_mouseHook, code, wParam, lParam);
}

}  // namespace

void InstallInputHooks(HWND mainFrame)
{
    g_hookFrame = mainFrame;
    if (!g_keyboardHook)
        g_keyboardHook = SetWindowsHookExW(WH_KEYBOARD, KeyboardHookProc, nullptr, GetCurrentThreadId());
    if (!g_mouseHook)
        g_mouseHook = SetWindowsHookExW(WH_MOUSE, MouseHookProc, nullptr, GetCurrentThreadId());
}

void RemoveInputHooks()
{
    if (g_keyboardHook) {
        UnhookWindowsHookEx(g_keyboardHook);
        g_keyboardHook = nullptr;
    }
    if (g_mouseHook) {
        UnhookWindowsHookEx(g_mouseHook);
        g_mouseHook = nullptr;
    }
    g_hookFrame = nullptr;
}

// ---- message boxes ----

namespace {

// The button a box would answer with when the user just pressed Enter.
int DefaultAnswer(UINT type)
{
    static const int kButtons[][3] = {
        {IDOK, 0, 0},                        // MB_OK
        {IDOK, IDCANCEL, 0},                 // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE},        // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},             // MB_YESNOCANCEL
        {IDYES, IDNO, 0},                    // MB_YESNO
        {IDRETRY, IDCANCEL, 0},              // MB_RETRYCANCEL
        {IDCANCEL, IDTRYAGAIN, IDCONTINUE},  // MB_CANCELTRYCONTINUE
    };
    UINT buttons = type & MB_TYPEMASK;
    if (buttons >= sizeof kButtons / sizeof kButtons[0])
        return IDOK;
    UINT index = (type & MB_DEFMASK) >> 8;
    int answer = index < 3 ? kButtons[buttons][index] : 0;
    return answer ? answer : kButtons[buttons][0];
}

}  // namespace

int ShowAppMessageBox(const std::wstring& text, UINT type, const wchar_t* title)
{
    static const std::wstring logPath = EnvironmentValue(kMessageLogVariable);
    if (!logPath.empty()) {
        LogFile log(logPath.c_str(), TRUE, TRUE);
        log.WriteTimestamped(L"%s", text.c_str());
        return DefaultAnswer(type);
    }
    std::wstring caption = title ? title : LoadResString(AFX_IDS_APP_TITLE);
    if (caption.empty())
        caption = L"GLY";
    HWND owner = GetActiveWindow();
    if (!owner) {
        if (CWnd* main = AfxGetMainWnd(); main && main->m_hWnd && IsWindowEnabled(main->m_hWnd))
            owner = GetLastActivePopup(main->m_hWnd);
    }
    return MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

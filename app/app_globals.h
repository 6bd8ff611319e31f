#pragma once
// Process-wide state that start-up prepares and the rest of the program reads: folders, module
// handles, the image lists and list colours, and the helpers of the start-up steps.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "core/font_record.h"

class CBitmap;

// Environment variables that let tests and unattended runs start the program safely.
// GLY_DATA_FOLDER: the per-user data folder to use instead of the one under local application data.
// GLY_MESSAGE_LOG: a file that receives the texts of message boxes instead of showing them.
constexpr const wchar_t* kDataFolderVariable = L"GLY_DATA_FOLDER";
constexpr const wchar_t* kMessageLogVariable = L"GLY_MESSAGE_LOG";

struct AppGlobals {
    std::wstring moduleFolder;     // the program's folder, without trailing backslash
    std::wstring helpFilePath;     // "<module folder>\gly_amplex.chm"
    std::wstring fontsFolder;      // CSIDL_FONTS
    std::wstring userDataFolder;   // per-user data, without trailing backslash
    std::wstring sessionLogPath;   // "<data folder>\plugin_session.log"
    std::wstring tempWorkFolder;   // "<temp>\GLYD\", or empty when it could not be made
    std::wstring currentSetFile;   // the open set file's path
    HINSTANCE ownModule = nullptr; // PNG images, bitmaps and the icon come from the program file
    HMODULE ole32 = nullptr;
    BOOL administrator = FALSE;
    LCID userLocale = 0;
    HFONT messageFont = nullptr;   // the program-wide user-interface font

    HIMAGELIST fontTypeIcons = nullptr;
    HIMAGELIST menuIcons = nullptr;
    HIMAGELIST menuIconsGrey = nullptr;
    HIMAGELIST menuIconsHot = nullptr;

    COLORREF colourInstalled = RGB(88, 196, 60);  // "clr_install"
    COLORREF colourLoaded = RGB(88, 60, 196);     // "clr_loaded"
    COLORREF colourSystemUsed = RGB(170, 170, 170);  // "clr_sysused"

    UINT instanceMessage = 0;           // "GLY_instance_message"
    UINT queryCancelAutoPlayMessage = 0;
    int idleTicks = 0;                  // reset by every keyboard or mouse input
};

AppGlobals& GetAppGlobals();

// The program file's folder without its trailing backslash; always true.
BOOL GetModuleFolder(std::wstring& folder);
// Takes the named mutex for the life of the process; FALSE when another process holds it.
BOOL IsFirstInstance(const wchar_t* mutexName);
// The per-user data folder ("<local app data>\<application title>", or GLY_DATA_FOLDER), created
// when missing; empty when the shell has no such folder.
void GetUserDataFolder(std::wstring& path);
// "<temp>\GLYD\" in the globals, created when missing; empty when it cannot be made.
void CreateTempWorkFolder();
// Deletes the temporary work folder with its contents (nothing when its path is empty).
void DeleteTempWorkFolder();
// A folder that exists (wildcards never match).
bool FolderExists(const std::wstring& path);

// The four 16 x 16 image lists from the program's PNG strips and mask bitmaps.
void BuildImageLists();
void DestroyImageLists();
// The list colours from the settings.
void LoadListColours();
// The colour a font list gives the record's row.
COLORREF GetFontStateColour(const CFontItemInfo& record, COLORREF defaultColour);
// A PNG of the program file as a bitmap over the background colour.
BOOL LoadPngResourceToBitmap(const wchar_t* name, const wchar_t* type, COLORREF background, CBitmap* target);
HBITMAP LoadPngResourceToHBitmap(const wchar_t* name, const wchar_t* type, COLORREF background);

// Keyboard and mouse hooks of the user-interface thread: every input restarts the update-check
// countdown of the main frame.
void InstallInputHooks(HWND mainFrame);
void RemoveInputHooks();
constexpr UINT_PTR kUpdateCheckTimer = 4;

// Message boxes: shown, or written to GLY_MESSAGE_LOG when that is set. Returns the box's answer
// (the default button when written).
int ShowAppMessageBox(const std::wstring& text, UINT type, const wchar_t* title = nullptr);

#pragma once
// The application object of gly.exe: start-up, single instance, the current set file and shut-down.
#include <windows.h>
#include <objidl.h>

#include <memory>
#include <string>

#include "app/recent_set_files.h"
#include "framework/framework.h"

class CFontFilesXML;

constexpr UINT ID_FILE_MRU_FILE1 = 57616;
constexpr UINT ID_APP_ABOUT = 57664;
constexpr UINT ID_APP_EXIT = 57665;

// Texts of the resource library that start-up loads by number.
constexpr UINT IDS_OLE_INIT_FAILED = 100;
constexpr UINT IDS_MAIN_WINDOW_CLASS = 131;  // "GLYMainWnd"
constexpr UINT IDS_SET_FILE_UNREADABLE = 596;
constexpr UINT IDS_SET_FILE_NOT_CREATED = 597;

constexpr const wchar_t* kSingleInstanceMutex = L"FirstGLYApp";
constexpr const wchar_t* kMainWindowClass = L"GLYMainWnd";
constexpr const wchar_t* kInstanceMessageName = L"GLY_instance_message";

class CGLYCommandLineInfo : public CCommandLineInfo {
public:
    void ParseParam(const wchar_t* param, BOOL flag, BOOL last) override;

    int m_bStartMinimized = 0;
    int m_bStartedByPlugin = 0;
};

class CGlypharyApp : public CWinApp {
public:
    CGlypharyApp();
    ~CGlypharyApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;
    // The program's closing work, once; later calls do nothing and still allow the close.
    BOOL SaveAllModified() override;
    int DoMessageBox(const wchar_t* prompt, UINT type, UINT helpId) override;

    virtual void LoadRecentSetFileList(int count);

    // Start-up step 20: opens the set file named in the settings (or the default one), never
    // creating a file over one that exists, and loads the fonts of the sets left active.
    BOOL OpenCurrentSetFile();

    CFontFilesXML* GetSetDocument() const { return m_setDocument.get(); }
    IStorage* GetSetStorage() const { return m_storage; }
    BOOL IsSetFileNotOpen() const { return m_setFileNotOpen; }
    CMyRecentFileList* GetRecentFileList() const { return m_recentFiles.get(); }

    HMODULE m_hResourceLibrary = nullptr;

protected:
    BOOL LoadLocaleResourceLibrary();
    BOOL CreateMainFrame(BOOL startMinimized);
    void HandOverToFirstInstance(const CGLYCommandLineInfo& info);
    void ReleaseSetFile();

private:
    std::unique_ptr<CFontFilesXML> m_setDocument;
    IStorage* m_storage = nullptr;
    BOOL m_setFileNotOpen = FALSE;
    std::unique_ptr<CMyRecentFileList> m_recentFiles;
    ULONG_PTR m_gdiplusToken = 0;
    bool m_oleStarted = false;
    bool m_winsockStarted = false;
    bool m_settingsLoaded = false;
    bool m_savedAll = false;
};

CGlypharyApp* GetGlypharyApp();

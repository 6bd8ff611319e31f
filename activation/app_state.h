#pragma once
// State of the application that the worker threads share with the user-interface thread: the open
// set file, the shown-set path and the global font lists. The application object and the font views
// fill it; nothing here owns the set file.
//
// Locking:
// - the open set file (path, storage, set-tree document) is read and written under CSetFileLock
//   (storage/set_file.h); whoever closes the file clears it here under that lock first, so a worker
//   that holds the lock never sees a released storage;
// - the shown-set path, the shown list's document and the two window handles are used under the
//   shown-set path's lock (CLockedWordArray::Lock);
// - the global font lists are used under their own locks, which are on for their whole life;
// - lock order: the shown-set path's lock before the set file's lock, never the other way round; and
//   no thread waits for another thread (SendMessage, a thread wait) while it holds either.
#include <windows.h>
#include <objidl.h>

#include <string>

#include "core/font_arrays.h"
#include "core/types.h"

class CFontFilesXML;

// The open set file. Callers hold CSetFileLock while they use what the getters return.
void SetAppSetFile(const std::wstring& path, IStorage* storage, CFontFilesXML* setTree);
void ClearAppSetFile();
IStorage* GetAppSetStorage();
CFontFilesXML* GetAppSetTree();
std::wstring GetAppSetFilePath();

// The system Fonts folder of the application (empty when the shell could not say).
void SetAppSystemFontsFolder(const std::wstring& folder);
std::wstring GetAppSystemFontsFolder();

// The id path of the set whose fonts the set fonts list shows. The lock always exists: switching it
// off while another thread holds it would leave that thread unprotected, so EnableLock only records
// whether a user asked for it and Lock/Unlock always enter and leave.
class CLockedWordArray : public CWordArray {
public:
    CLockedWordArray();
    ~CLockedWordArray();
    CLockedWordArray(const CLockedWordArray&) = delete;
    CLockedWordArray& operator=(const CLockedWordArray&) = delete;

    void EnableLock(BOOL on) { m_enabled = on; }
    BOOL IsLockEnabled() const { return m_enabled; }
    void Lock() { EnterCriticalSection(&m_lock); }
    void Unlock() { LeaveCriticalSection(&m_lock); }
    bool IsEqual(const CWordArray& path) const { return static_cast<const CWordArray&>(*this) == path; }

private:
    CRITICAL_SECTION m_lock;
    BOOL m_enabled = FALSE;
};

// Holds the shown-set path's lock for a scope.
class CShownSetLock {
public:
    CShownSetLock();
    ~CShownSetLock();
    CShownSetLock(const CShownSetLock&) = delete;
    CShownSetLock& operator=(const CShownSetLock&) = delete;
};

// The shown-set path and what lives beside it (all under its lock).
CLockedWordArray& GetShownSetPath();
// The set fonts list's own document of the shown set (null when none).
CFontFilesXML* GetShownSetDocument();
void SetShownSetDocument(CFontFilesXML* document);
// The set fonts list's and the set tree's windows (null while they do not exist).
HWND GetSetFontsListWindow();
void SetSetFontsListWindow(HWND window);
HWND GetSetTreeWindow();
void SetSetTreeWindow(HWND window);

// The global font lists of the folder font list and of the set fonts list; their locks are
// enabled. The installed-fonts pane's list is core's GetInstalledFontRecords().
CFontItemArray& GetFolderListFonts();
CFontItemArray& GetSetListFonts();

// The installed-fonts pane's full names of the installed fonts that it marks in use, sorted by
// CompareLocale ignoring case; read by bisection under GetInUseFontNamesLock.
CStringArray& GetInUseFontNames();
CRITICAL_SECTION* GetInUseFontNamesLock();

#include "activation/app_state.h"

#include <mutex>

#include "storage/set_file.h"

namespace {

struct OpenSetFile {
    std::wstring path;
    IStorage* storage = nullptr;  // borrowed from the application object
    CFontFilesXML* setTree = nullptr;
};

OpenSetFile& SetFileState()
{
    static OpenSetFile state;
    return state;
}

struct ShownSetExtras {
    CFontFilesXML* document = nullptr;
    HWND listWindow = nullptr;
    HWND treeWindow = nullptr;
};

ShownSetExtras& ShownExtras()
{
    static ShownSetExtras extras;
    return extras;
}

// A field of the shown set's extras, read or written under the shown-set lock.
template <typename T>
T GetShown(T ShownSetExtras::*field)
{
    CShownSetLock lock;
    return ShownExtras().*field;
}

template <typename T>
void SetShown(T ShownSetExtras::*field, T value)
{
    CShownSetLock lock;
    ShownExtras().*field = value;
}

struct GuardedText {
    std::mutex lock;
    std::wstring text;
};

GuardedText& SystemFontsFolder()
{
    static GuardedText folder;
    return folder;
}

CFontItemArray& LockedList(CFontItemArray& list)
{
    list.EnableLock(TRUE);
    return list;
}

}  // namespace

void SetAppSetFile(const std::wstring& path, IStorage* storage, CFontFilesXML* setTree)
{
    CSetFileLock lock;
    OpenSetFile& state = SetFileState();
    state.path = path;
    state.storage = storage;
    state.setTree = setTree;
}

void ClearAppSetFile()
{
    SetAppSetFile(std::wstring(), nullptr, nullptr);
}

IStorage* GetAppSetStorage()
{
    CSetFileLock lock;
    return SetFileState().storage;
}

CFontFilesXML* GetAppSetTree()
{
    CSetFileLock lock;
    return SetFileState().setTree;
}

std::wstring GetAppSetFilePath()
{
    CSetFileLock lock;
    return SetFileState().path;
}

void SetAppSystemFontsFolder(const std::wstring& folder)
{
    GuardedText& guarded = SystemFontsFolder();
    std::lock_guard<std::mutex> lock(guarded.lock);
    guarded.text = folder;
}

std::wstring GetAppSystemFontsFolder()
{
    GuardedText& guarded = SystemFontsFolder();
    std::lock_guard<std::mutex> lock(guarded.lock);
    return guarded.text;
}

CLockedWordArray::CLockedWordArray()
{
    InitializeCriticalSection(&m_lock);
}

CLockedWordArray::~CLockedWordArray()
{
    DeleteCriticalSection(&m_lock);
}

CShownSetLock::CShownSetLock()
{
    GetShownSetPath().Lock();
}

CShownSetLock::~CShownSetLock()
{
    GetShownSetPath().Unlock();
}

CLockedWordArray& GetShownSetPath()
{
    static CLockedWordArray path;
    return path;
}

CFontFilesXML* GetShownSetDocument()
{
    return GetShown(&ShownSetExtras::document);
}

void SetShownSetDocument(CFontFilesXML* document)
{
    SetShown(&ShownSetExtras::document, document);
}

HWND GetSetFontsListWindow()
{
    return GetShown(&ShownSetExtras::listWindow);
}

void SetSetFontsListWindow(HWND window)
{
    SetShown(&ShownSetExtras::listWindow, window);
}

HWND GetSetTreeWindow()
{
    return GetShown(&ShownSetExtras::treeWindow);
}

void SetSetTreeWindow(HWND window)
{
    SetShown(&ShownSetExtras::treeWindow, window);
}

CFontItemArray& GetFolderListFonts()
{
    static CFontItemArray list;
    static CFontItemArray& locked = LockedList(list);
    return locked;
}

CFontItemArray& GetSetListFonts()
{
    static CFontItemArray list;
    static CFontItemArray& locked = LockedList(list);
    return locked;
}

CStringArray& GetInUseFontNames()
{
    static CStringArray names;
    return names;
}

CRITICAL_SECTION* GetInUseFontNamesLock()
{
    struct Section {
        Section() { InitializeCriticalSection(&cs); }
        CRITICAL_SECTION cs;
    };
    static Section section;
    return &section.cs;
}

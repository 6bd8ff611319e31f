#pragma once
// Workers that add fonts to sets: chosen files (kind 9), a folder tree as one set or one set per
// folder (kind 10), and every installed font (kind 11). Each writes into the set's document over the
// application's open set file; a set that the set fonts list shows is written through that list's
// document, under the shown-set path's lock.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "activation/worker_threads.h"
#include "core/types.h"

class CFontFilesXML;

// Kind 9.
struct AddFilesParams : ThreadParams {
    std::atomic<int32_t> currentFile{0};
    std::atomic<int32_t> fileCount{0};
    std::wstring setFolder;
    std::wstring fileFolder;
    CStringArray files;  // names, resolved against fileFolder
    // The document written: the shown list's, or the thread's own while it works; null afterwards.
    std::atomic<CFontFilesXML*> document{nullptr};
    std::atomic<int32_t> result{0};      // faces added or found already there
    std::atomic<int32_t> duplicates{0};  // faces found already there
    int32_t reserved = 0;
    BOOL shownSet = FALSE;    // the set is the one the set fonts list shows
    BOOL folderFlag = FALSE;  // the owner's: the files came as a folder
    CWordArray idPath;
    std::atomic<int32_t> recordCount{0};  // the set's records afterwards
};

// Kind 10.
struct SetFromFolderParams : ThreadParams {
    std::wstring folder;
    std::wstring existingSourceFolder;  // the existing set's source folder (existingSet)
    std::wstring topName;               // name of the top item; empty: the folder's last part
    std::atomic<CFontFilesXML*> documentInUse{nullptr};  // written by the worker
    CWordArray idPath;                                   // the top set
    WorkerStopFlag ownStop{FALSE};                       // stopFlag points at it
    std::atomic<int32_t> fontsAdded{0};
    std::atomic<int32_t> duplicates{0};
    BOOL subFolders = TRUE;
    BOOL onePerFolder = TRUE;  // one set per folder, below the top set
    BOOL existingSet = FALSE;  // adding to a set that has fonts already
    int32_t reserved = 0;
};

// Kind 11.
struct InstalledToSetParams : ThreadParams {
    std::atomic<int32_t> added{0};
    std::atomic<int32_t> total{0};
    WorkerStopFlag ownStop{FALSE};  // stopFlag points at it
    CWordArray idPath;
};

UINT __cdecl AddFilesThreadProc(LPVOID param);
UINT __cdecl SetFromFolderThreadProc(LPVOID param);
UINT __cdecl InstalledToSetThreadProc(LPVOID param);

// Starters: end the record's previous run, fill the record, start the thread; false when no thread
// runs. Kinds 10 and 11 use the record's own stop flag.
struct AddFilesRequest {
    std::wstring setFolder;
    std::wstring fileFolder;
    CStringArray files;
    BOOL shownSet = FALSE;
    BOOL folderFlag = FALSE;
    CWordArray idPath;
};
bool StartAddFiles(AddFilesParams& params, HWND owner, WorkerStopFlag* stop, const AddFilesRequest& request);

struct SetFromFolderRequest {
    std::wstring folder;
    std::wstring existingSourceFolder;
    std::wstring topName;
    CWordArray idPath;
    BOOL subFolders = TRUE;
    BOOL onePerFolder = TRUE;
    BOOL existingSet = FALSE;
};
bool StartSetFromFolder(SetFromFolderParams& params, HWND owner, const SetFromFolderRequest& request);

bool StartInstalledToSet(InstalledToSetParams& params, HWND owner, const CWordArray& idPath);

#pragma once
// Folder scans on worker threads: counting the files and font files of a folder (kind 1) and reading
// every font file of a folder into a list (kind 0); and the pieces that other scans share: the reader
// chosen by extension and the guard that keeps a recursive walk out of link loops.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "activation/worker_threads.h"
#include "core/font_arrays.h"

// Kind 0. The counters are read by the owner while the worker writes them.
struct FolderReadParams : ThreadParams {
    std::atomic<int32_t> filesMet{0};   // every file met
    std::atomic<int32_t> fontFiles{0};  // files that gave records
    std::wstring folder;
    BOOL recursive = FALSE;
    CFontItemArray* target = nullptr;
};

// Kind 1 (and the repair-set dialog).
struct FolderScanParams : ThreadParams {
    std::atomic<int32_t> fileCount{0};
    std::atomic<int32_t> fontFileCount{0};
    std::wstring folder;
    BOOL recursive = FALSE;
};

UINT __cdecl FolderReadThreadProc(LPVOID param);
UINT __cdecl FolderCountThreadProc(LPVOID param);

// Starts kind 0 / kind 1 on the owner's record (ending its previous run first); false when no thread
// runs (the message box was shown).
bool StartFolderRead(FolderReadParams& params, HWND owner, WorkerStopFlag* stop, const std::wstring& folder,
                     BOOL recursive, CFontItemArray* target);
bool StartFolderCount(FolderScanParams& params, HWND owner, WorkerStopFlag* stop, const std::wstring& folder,
                      BOOL recursive);

// True for the extensions that the scans read: fon, fnt, ttf, otf, ttc, pfm (any case).
bool IsFontFileExtension(const std::wstring& fileName);

// Reads one file with the reader that its extension names into `list`, as a folder listing shows it
// (storage's four-argument overload reads a file for storing into a set); true when the reader
// reported success. fullPath is the file, displayName the path the records keep; a .pfm is read as a Type 1 pair
// from `folder` and `fileName`, its path made relative to `baseFolder` when that is given. Other files
// are not read.
bool ReadFontFileByExtension(const std::wstring& fullPath, const std::wstring& displayName, const std::wstring& folder,
                             const std::wstring& fileName, CFontItemArray& list,
                             const std::wstring& baseFolder = std::wstring());

// Keeps a recursive walk finite: junctions and symbolic links are not entered, the depth is bounded,
// and a folder that is one of the walk's own ancestors (a loop that shows no reparse attribute, as
// Unix links under Wine's drive Z: may) is not entered again.
class FolderLoopGuard {
public:
    static constexpr int kMaxDepth = 32;

    // Whether the found sub-folder (its full path) may be entered at `depth` (the depth it would
    // have). On true the folder is on the ancestor chain until Leave.
    bool Enter(const WIN32_FIND_DATAW& entry, const std::wstring& path, int depth);
    // Puts the starting folder on the chain.
    void EnterRoot(const std::wstring& path);
    void Leave();

private:
    struct FolderId {
        DWORD volume;
        DWORD indexHigh;
        DWORD indexLow;
    };
    static bool GetFolderId(const std::wstring& path, FolderId& out);

    std::vector<FolderId> m_chain;
    std::vector<bool> m_known;  // per chain entry: whether its id could be read
};

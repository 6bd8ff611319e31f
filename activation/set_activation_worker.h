#pragma once
// Kind 4: activates or deactivates all fonts of a set (with its related sets) on a worker thread.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "activation/worker_threads.h"
#include "core/types.h"

class CFontFilesXML;

struct SetActivationParams : ThreadParams {
    BYTE activate = 0;  // 0 deactivate, else activate
    CWordArray idPath;
    int32_t mode = 2;                  // a user request
    LPARAM item = 0;                   // the owner's tree item
    CFontFilesXML* setTree = nullptr;  // the set-tree document
    // Progress counters of the owner (its WM_FONTOP_PROGRESS handler counts).
    std::atomic<int32_t> processed{0};
    std::atomic<int32_t> total{0};
    // 0 while the thread works, 1 when it has finished (or none was started).
    std::atomic<BYTE> done{1};
};

UINT __cdecl SetActivationThreadProc(LPVOID param);

// Starts kind 4 on the owner's record (ending its previous run first). False when no thread runs.
bool StartSetActivation(SetActivationParams& params, HWND owner, WorkerStopFlag* stop, BOOL activate,
                        const CWordArray& idPath, CFontFilesXML* setTree, LPARAM item = 0);

#pragma once
// Kind 5: loads a set's records into the set fonts list on a worker thread and makes that set the
// shown set.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "activation/worker_threads.h"
#include "core/font_arrays.h"
#include "core/types.h"

class CFontFilesXML;

struct SetFontsLoadParams : ThreadParams {
    std::atomic<int32_t> recordsRead{0};  // records read into the list
    std::atomic<int32_t> recordsTotal{0}; // records of the set's document
    CFontFilesXML* document = nullptr;    // the list's own document
    CWordArray idPath;
    CFontItemArray* list = nullptr;       // the list to fill
    WorkerStopFlag ownStop{FALSE};        // stopFlag points at it
};

UINT __cdecl SetFontsLoadThreadProc(LPVOID param);

// Starts kind 5 on the owner's record (ending its previous run first); false when no thread runs.
bool StartSetFontsLoad(SetFontsLoadParams& params, HWND owner, CFontFilesXML* document, const CWordArray& idPath,
                       CFontItemArray* list);

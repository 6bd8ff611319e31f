#pragma once
// Kind 2: refreshes the load and install state of every record of one of the two global font lists.
#include <windows.h>

#include "activation/worker_threads.h"
#include "core/font_arrays.h"

struct FlagThreadParams : ThreadParams {
    BYTE setList = 0;  // set: the set fonts list's records; clear: the folder font list's
};

// Recomputes loaded, installed, inUse and trackedLoad of each record, in order, until the stop flag
// is set (a null stop pointer never stops it) or a record without names is met.
void RefreshFontStates(CFontItemArray& list, const WorkerStopFlag* stop);

UINT __cdecl ListRefreshThreadProc(LPVOID param);

// Starts kind 2 on the owner's record (ending its previous run first); false when no thread runs.
bool StartListRefresh(FlagThreadParams& params, HWND owner, WorkerStopFlag* stop, BOOL setList);

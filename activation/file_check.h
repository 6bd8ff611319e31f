#pragma once
// Kind 8: checks on a worker thread that the files of the set fonts list's records still exist, and
// moves each record between its kind and the matching missing-file kind.
#include <string>

#include "activation/worker_threads.h"
#include "core/font_arrays.h"

struct TextThreadParams : ThreadParams {
    std::wstring baseFolder;  // the base folder of the listed records
};

UINT __cdecl FileCheckThreadProc(LPVOID param);

// Starts kind 8 on the owner's record (ending its previous run first); false when no thread runs.
bool StartFileCheck(TextThreadParams& params, HWND owner, WorkerStopFlag* stop, const std::wstring& baseFolder);

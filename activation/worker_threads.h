#pragma once
// Worker threads of the font operations. Every worker follows one convention:
// - its parameter record begins with ThreadParams (owner window, stop flag, thread object); the record
//   belongs to the starter, lives in the owner object and outlives the thread;
// - the thread object is not deleted automatically: StopWorkerThread stops (if needed), waits for and
//   deletes it;
// - the worker polls the stop flag between items and, when it ends and the record still names it,
//   posts WM_WORKER_DONE (result, kind) to the owner window.
#include <windows.h>

#include <atomic>

#include "core/app_messages.h"
#include "framework/win_thread.h"

// The stop flag is written by the owner and polled by the worker, so it is atomic.
using WorkerStopFlag = std::atomic<BOOL>;

// Thread kinds (the second parameter of WM_WORKER_DONE). Kinds 6 and 7 are not used.
enum WorkerKind : int {
    kWorkerFolderRead = 0,      // read every font file of a folder into a list
    kWorkerFolderCount = 1,     // count the files and font files of a folder
    kWorkerListRefresh = 2,     // refresh the load and install state of a global list
    kWorkerPreviewImages = 3,   // preview images of large fonts
    kWorkerSetActivation = 4,   // activate or deactivate the fonts of a set
    kWorkerSetLoad = 5,         // load a set into the set fonts list
    kWorkerFileCheck = 8,       // check that the set fonts list's files still exist
    kWorkerAddFiles = 9,        // add chosen files to a set
    kWorkerSetFromFolder = 10,  // fill a set, or one set per folder, from a folder
    kWorkerInstalledToSet = 11, // add every installed font to a set
    kWorkerDatabaseSearch = 12, // database search
    kWorkerPipeServer = 13,     // activation server
};

// Results (the first parameter of WM_WORKER_DONE).
constexpr int kWorkerResultMissing = -1;     // the record or a required field was missing
constexpr int kWorkerResultIncomplete = 0;   // the activation server ended without completing its exchange
constexpr int kWorkerResultDone = 1;         // the work ran to its end
constexpr int kWorkerResultStopped = 2;      // the stop flag ended the work
constexpr int kWorkerResultNoChange = 3;     // set activation changed no font

// A row of a font list changed (wParam row index, lParam 1); posted by the file check.
constexpr UINT WM_FONT_ROW_CHANGED = WM_USER + 119;

// "Cannot Start New Thread".
constexpr UINT IDS_CANNOT_START_THREAD = 4200;

// The three words that begin every parameter record, in this order.
// The thread word is atomic because the worker reads it (to decide whether to post its completion)
// while StopWorkerThread clears it.
struct ThreadParams {
    HWND hwndOwner = nullptr;                   // receives WM_WORKER_DONE and progress messages
    WorkerStopFlag* stopFlag = nullptr;         // usually the owner's; some records hold their own
    std::atomic<CWinThread*> thread{nullptr};   // null when no thread runs; written by the thread's constructor

    void Clear()
    {
        hwndOwner = nullptr;
        stopFlag = nullptr;
        thread = nullptr;
    }
    // The stop flag is set (a null stop pointer never stops a walk).
    bool StopRequested() const { return stopFlag && stopFlag->load(); }
};

// A worker thread object: stores the record and the kind, writes itself into the record's thread word
// and is never deleted automatically (StopWorkerThread deletes it).
class CWorkerThread : public CWinThread {
public:
    CWorkerThread(AFX_THREADPROC proc, ThreadParams* params, int kind);
    ~CWorkerThread() override;

    ThreadParams* GetParams() const { return m_params; }
    int GetKind() const { return m_kind; }

private:
    ThreadParams* m_params;
    int m_kind;
};

// Kinds 4, 5, 9, 10, 11, 12.
class CThreadFontsOperations : public CWorkerThread {
public:
    CThreadFontsOperations(AFX_THREADPROC proc, ThreadParams* params, int kind);
    ~CThreadFontsOperations() override;
};

// Kinds 0, 1, 2, 3, 8.
class CFontsBrowseThread : public CWorkerThread {
public:
    CFontsBrowseThread(AFX_THREADPROC proc, ThreadParams* params, int kind);
    ~CFontsBrowseThread() override;
};

// Steps 1 and 2 of every start, before the kind's own fields are filled: clears the stop flag, ends
// the record's previous run (StopWorkerThread) and sets the owner window and the stop pointer.
void PrepareWorkerStart(ThreadParams* params, HWND owner, WorkerStopFlag* stop);

// Starts a thread object made with `new` whose constructor wrote itself into params (steps 3 and 4 of
// a start; the caller has already cleared its stop flag, stopped the previous run with
// StopWorkerThread and filled the record). When the thread cannot be made: "Cannot Start New Thread"
// in a message box, the object is deleted and the record names no thread. Returns true when it runs.
bool StartWorkerThread(CWinThread* thread, ThreadParams* params);

// Ends the record's thread: clears the record's thread word (so the worker posts no completion),
// sets the stop flag, waits for the thread and deletes the object, then clears the stop flag.
// Nothing when params is null or names no thread. While it waits it keeps handling messages sent to
// this thread's windows, so a worker blocked in SendMessage to one of them completes instead of
// deadlocking; a handler that stops the same record again meanwhile finds no thread.
void StopWorkerThread(ThreadParams* params);

// Worker side: posts WM_WORKER_DONE (result, kind) when the record still names `self` and has an
// owner window.
void PostWorkerDone(const ThreadParams* params, const CWinThread* self, int result, int kind);

// Worker side: COM in an apartment of the thread's own for the lifetime of the object.
class CWorkerComApartment {
public:
    CWorkerComApartment();
    ~CWorkerComApartment();
    CWorkerComApartment(const CWorkerComApartment&) = delete;
    CWorkerComApartment& operator=(const CWorkerComApartment&) = delete;
    bool Ok() const { return m_ok; }

private:
    bool m_ok;
};

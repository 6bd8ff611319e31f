#pragma once
// The activation server: a worker thread (kind 13) that serves one exchange with a host plug-in on
// the named pipe of activation/pipe_protocol.h. The client sends the names of the fonts its document
// lacks; the server searches every set of the open set file (five SAX threads), loads what it finds
// for all programs, searches the auto-search folder for the rest, reports every status change and
// ends with the end marker.
#include <windows.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "activation/pipe_protocol.h"
#include "activation/set_search.h"
#include "activation/worker_threads.h"
#include "core/set_item.h"
#include "core/types.h"

class CFontFilesXML;

// ---- state shared with the user-interface thread that has no lock of its own ----------------------
// The settings store and the program's loaded-font list are used by the server's threads too: every
// user of them on another thread than the user-interface thread, and the user-interface thread while
// such a thread may run, holds these.
std::recursive_mutex& AppSettingsMutex();
std::recursive_mutex& GLYLoadedFontsMutex();

// ---- the plug-in session log -----------------------------------------------------------------------
// Where the server writes its lines. The application installs its own log; until then the default
// appends UTF-16 lines to "plugin_session.log" in the settings store's folder.
class IPipeSessionLog {
public:
    virtual ~IPipeSessionLog() = default;
    virtual void Write(const std::wstring& line) = 0;
    // The line with "[" + the local date and time + "] " in front.
    virtual void WriteTimestamped(const std::wstring& line) = 0;
};
// Null restores the default.
void SetPipeSessionLog(IPipeSessionLog* log);
IPipeSessionLog& GetPipeSessionLog();
// The default writer's file (empty: the settings store's folder + "\plugin_session.log").
void SetDefaultPipeSessionLogPath(const std::wstring& path);

// ---- texts -----------------------------------------------------------------------------------------
constexpr UINT IDS_PIPE_LOG_FOUND_IN_SET = 679;     // prefix of the log line of a set hit
constexpr UINT IDS_PIPE_LOG_FOUND_IN_FOLDER = 680;  // prefix of the log line of a folder hit

// ---- the start record ------------------------------------------------------------------------------
struct PipeServerParams : ThreadParams {
    int priority = THREAD_PRIORITY_BELOW_NORMAL;
};

// How long the server waits. The loop wakes at least every loopWaitMs to push lines that were set
// without a wake-up; a write that the client does not take within writeTimeoutMs drops the exchange;
// after the end marker the server waits up to closeWaitMs for the client to close its end.
struct PipeServerTimings {
    DWORD loopWaitMs = 10000;
    DWORD writeTimeoutMs = 10000;
    DWORD closeWaitMs = 2000;
};
void SetPipeServerTimings(const PipeServerTimings& timings);
PipeServerTimings GetPipeServerTimings();

// ---- one pipe instance -----------------------------------------------------------------------------
enum PipeInstanceState : int { kPipeConnecting = 0, kPipeReading = 1, kPipeWriting = 2 };

struct PipeInstance {
    OVERLAPPED overlapped;
    HANDLE pipe;
    wchar_t request[glypipe::kMaxClientMessageChars * 2 + 1];  // room for the terminator
    DWORD bytesRead;
    wchar_t reply[glypipe::kMaxServerMessageChars + 1];
    DWORD bytesToWrite;
    int state;
    BOOL pending;
};

// The request indices of one set's hits.
struct CPipeFoundItemsGroupedBySet {
    CWordArray idPath;
    CDWordArray indices;
};
class CArrayPipeFoundSetGroups : public std::vector<CPipeFoundItemsGroupedBySet> {
public:
    // Adds the index to the group of the path (a new group at the end when there is none).
    void AddToGroup(const CWordArray& idPath, DWORD index);
};

// ---- one client exchange ---------------------------------------------------------------------------
class CPipeData {
public:
    struct FONTDATA {
        std::wstring name;      // exactly as received
        std::wstring file;
        std::wstring family;
        std::wstring style;
        std::wstring matchKey;  // the name without its trailing '?'
        CSetItem set;           // where it was found
        int position = -1;      // 1-based position of the record in the set's document
        BYTE status = glypipe::kStatusReceived;
        BOOL toReport = FALSE;  // a status line is due
    };

    // One status line waiting for the writer, with the fields as they were when the status changed.
    struct PendingLine {
        int index = -1;
        int status = 0;
        std::wstring name, family, style, file;
    };

    // `wakeEvent` is set whenever a line becomes due or the exchange finishes.
    CPipeData(int instanceIndex, PipeInstance* instance, WorkerStopFlag* serverStop, HANDLE wakeEvent);
    ~CPipeData();
    CPipeData(const CPipeData&) = delete;
    CPipeData& operator=(const CPipeData&) = delete;

    // --- requests (the lock is taken inside unless said otherwise) ---
    int AddRequest(const std::wstring& name, BYTE status);
    // First request that is not resolved and whose match key equals the name; -1 when none. The
    // caller holds the lock.
    int FindRequestByKey(const std::wstring& name) const;
    // False when no request has this match key. No lock: requests are only added before the
    // search starts.
    bool MayBeRequested(const std::wstring& name) const;
    // Record a hit (status 11). The caller holds the lock.
    void SetFoundInSet(int n, const std::wstring& file, const std::wstring& family, const std::wstring& style,
                       const CSetItem& set, int position);
    void SetFoundInFolder(int n, const std::wstring& file, const std::wstring& family, const std::wstring& style);
    // Sets the status and queues its line.
    void SetStatus(int n, BYTE status);

    // The oldest due line (false when none); ReportWritten removes it once it went out whole.
    bool FirstToReport(PendingLine& line);
    void ReportWritten();
    bool IsComplete();
    bool AnyUnresolved();
    bool AnyActivated();
    int GetRequestCount();
    FONTDATA GetRequest(int n);

    // --- the search ---
    void StartSetSearch();
    void OnSearchWorkerDone();
    void ActivateFoundInSets();
    void StartFolderSearch();
    static UINT __cdecl FolderSearchThreadProc(LPVOID param);
    void ScanFolderForRequests(const std::wstring& folder, int depth, class FolderLoopGuard& guard);
    // Stops and deletes the threads; no phase change starts a thread afterwards.
    void StopWorkers();
    bool StopRequested() const { return stopWorkers.load() || (serverStop && serverStop->load()); }
    bool WorkersMustStop() const { return stopWorkers.load(); }

    void WriteActivationLog(IPipeSessionLog& log);

    void Lock() { EnterCriticalSection(&m_lock); }
    void Unlock() { LeaveCriticalSection(&m_lock); }
    void Wake() const;

    // The progress text (the folder being scanned).
    std::wstring GetProgressText();

    static constexpr int kSetWorkerCount = 5;

    CWinThread* setWorkers[kSetWorkerCount] = {};
    std::atomic<LONG> finishedWorkers{0};
    int instanceIndex;
    PipeInstance* instance;
    std::atomic<BOOL> finished{FALSE};
    WorkerStopFlag* serverStop;
    std::atomic<BYTE> phase{0};
    CWinThread* folderThread = nullptr;
    std::wstring autoSearchFolder;
    BOOL progressSent = FALSE;
    std::atomic<BOOL> stopWorkers{FALSE};
    CSetArray sets;
    std::atomic<LONG> remainingSets{0};

    // The requests in arrival order. Only the server thread adds, and only before the search.
    std::vector<FONTDATA> requests;

private:
    void QueueLine(int n);  // lock held
    void SetStatusLocked(int n, BYTE status);
    void FinishSetSearch();
    void FinishFolderSearch();
    // Writes the "loaded" marks of the fonts that ActivateFoundInSets loaded from a set's stream
    // rather than its document, once their statuses are out: loading a large set as a document and
    // saving it back would hold up the client. Runs on the thread that ended phase 1.
    void MarkLoadedInSets();
    bool StartThread(AFX_THREADPROC proc, CWinThread*& slot);

    HANDLE m_wakeEvent;
    CRITICAL_SECTION m_lock;
    std::deque<PendingLine> m_lines;
    std::vector<std::wstring> m_sortedKeys;  // the requests' match keys, sorted
    std::wstring m_progressText;
    bool m_destroying = false;  // lock held

    struct DeferredMarks {
        CPipeFoundItemsGroupedBySet group;
        std::wstring streamName;
        std::vector<std::pair<int, bool>> records;  // record position, loaded
    };
    std::vector<DeferredMarks> m_deferredMarks;  // only the thread that ends phase 1 uses it
};

// The exchange's FONTDATA array as WM_SET_FONTS_ACTIVATED carries it (second parameter).
using CPipeFontDataArray = std::vector<CPipeData::FONTDATA>;

// ---- the server thread -----------------------------------------------------------------------------
class CPipeActivatingFontsThread : public CWorkerThread {
public:
    explicit CPipeActivatingFontsThread(PipeServerParams* params);
    ~CPipeActivatingFontsThread() override;

    // Sets the stop flag and wakes the server at once.
    void RequestStop();
    bool StopWasRequested() const;

    int RunPipeServer();
    void Reset();

    BOOL ConnectToNewClient(int index);
    void DisconnectAndReconnect(int index);
    void ReadPipeRequest(PipeInstance& instance, int index);
    BOOL ParsePipeRequest(CPipeData* exchange, std::wstring_view text);
    BOOL WritePipeReplies(PipeInstance& instance, int index, bool mayRepeatProgress);

    // What the last finished exchange sent, for the log and tests: nothing here.
    PipeInstance& Instance() { return m_instance; }

private:
    enum class WriteKind { None, Status, Progress, EndMarker };
    enum class EndState { NotWritten, Pending, Written };

    CPipeData* ExchangeFor(int index);
    bool StopRequested() const;
    // Starts the write of the reply buffer; false after a failed write (already reconnected).
    bool StartWrite(PipeInstance& instance, int index, WriteKind kind);
    void OnWriteDone(CPipeData* exchange);
    // Issues reads or writes until one is pending or nothing is left to do.
    void DriveIo(int index, bool mayRepeatProgress);
    // Handles the completion of the pending operation; false when the loop must end with 0.
    bool OnIoSignalled(int index);
    void CancelPendingIo();
    void WaitForClientClose();
    HANDLE CreateServerPipe();

    PipeInstance m_instance{};
    HANDLE m_event = nullptr;      // the OVERLAPPED event
    HANDLE m_wakeEvent = nullptr;  // set by the exchange when a line is due
    HANDLE m_stopEvent = nullptr;  // set by RequestStop
    std::vector<std::unique_ptr<CPipeData>> m_exchanges;
    PipeServerParams* m_params;
    WriteKind m_pendingWrite = WriteKind::None;
    ULONGLONG m_writeStarted = 0;
    EndState m_endState = EndState::NotWritten;
};

UINT __cdecl PipeServerThreadProc(LPVOID param);

// Starts the server on the frame's record when it names no thread (the frame's control code 2);
// true when a server runs afterwards.
bool StartPipeServer(PipeServerParams& params, HWND owner, WorkerStopFlag* stop);
// Stops the server at once (wakes it instead of waiting for its next turn), waits for it and
// deletes it; the frame's stop path for kind 13.
void StopPipeServer(PipeServerParams* params);

#include "activation/pipe_server.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "activation/app_state.h"
#include "activation/folder_scan.h"
#include "core/font_resource_loader.h"
#include "core/helpers.h"
#include "core/loaded_fonts.h"
#include "core/os_version.h"
#include "core/resource_strings.h"
#include "storage/app_setting_xml.h"
#include "storage/com_ptr.h"
#include "storage/font_files_tags.h"
#include "storage/font_files_xml.h"
#include "storage/font_record_format.h"
#include "storage/set_activation.h"
#include "storage/set_file.h"
#include "storage/xml_file_ctrl.h"

using namespace glypipe;

// ---- shared locks ----------------------------------------------------------------------------------

std::recursive_mutex& AppSettingsMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

std::recursive_mutex& GLYLoadedFontsMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

// ---- the session log -------------------------------------------------------------------------------

namespace {

constexpr size_t kMaxLogLineLength = 1023;

class CDefaultPipeSessionLog : public IPipeSessionLog {
public:
    void Write(const std::wstring& line) override { Append(line); }
    void WriteTimestamped(const std::wstring& line) override
    {
        SYSTEMTIME now;
        GetLocalTime(&now);
        wchar_t stamp[32];
        swprintf(stamp, 32, L"[%04u-%02u-%02u %02u:%02u:%02u] ", now.wYear, now.wMonth, now.wDay, now.wHour,
                 now.wMinute, now.wSecond);
        Append(stamp + line.substr(0, kMaxLogLineLength));
    }

    void SetPath(const std::wstring& path)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_path = path;
    }

private:
    std::wstring PathLocked() const
    {
        if (!m_path.empty())
            return m_path;
        std::lock_guard<std::recursive_mutex> settings(AppSettingsMutex());
        const std::wstring& folder = g_appSettings.GetDataFolder();
        return folder.empty() ? std::wstring() : folder + L"\\plugin_session.log";
    }

    void Append(std::wstring line)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        const std::wstring path = PathLocked();
        if (path.empty())
            return;
        HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return;
        LARGE_INTEGER size{};
        std::wstring text;
        if (GetFileSizeEx(file, &size) && size.QuadPart == 0)
            text.push_back(L'\xFEFF');
        if (line.size() > kMaxLogLineLength + 32)
            line.resize(kMaxLogLineLength + 32);
        text += line;
        text += L"\r\n";
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
        CloseHandle(file);
    }

    std::mutex m_mutex;
    std::wstring m_path;
};

CDefaultPipeSessionLog& DefaultLog()
{
    static CDefaultPipeSessionLog log;
    return log;
}

std::atomic<IPipeSessionLog*> g_sessionLog{nullptr};

std::mutex g_timingsMutex;
PipeServerTimings g_timings;

}  // namespace

void SetPipeSessionLog(IPipeSessionLog* log)
{
    g_sessionLog.store(log);
}

IPipeSessionLog& GetPipeSessionLog()
{
    IPipeSessionLog* log = g_sessionLog.load();
    return log ? *log : DefaultLog();
}

void SetDefaultPipeSessionLogPath(const std::wstring& path)
{
    DefaultLog().SetPath(path);
}

void SetPipeServerTimings(const PipeServerTimings& timings)
{
    std::lock_guard<std::mutex> guard(g_timingsMutex);
    g_timings = timings;
}

PipeServerTimings GetPipeServerTimings()
{
    std::lock_guard<std::mutex> guard(g_timingsMutex);
    return g_timings;
}

// ---- groups of hits --------------------------------------------------------------------------------

void CArrayPipeFoundSetGroups::AddToGroup(const CWordArray& idPath, DWORD index)
{
    for (CPipeFoundItemsGroupedBySet& group : *this) {
        if (group.idPath == idPath) {
            group.indices.push_back(index);
            return;
        }
    }
    CPipeFoundItemsGroupedBySet group;
    group.idPath = idPath;
    group.indices.push_back(index);
    push_back(std::move(group));
}

// ---- one exchange ----------------------------------------------------------------------------------

CPipeData::CPipeData(int instanceIndex, PipeInstance* instance, WorkerStopFlag* serverStop, HANDLE wakeEvent)
    : instanceIndex(instanceIndex), instance(instance), serverStop(serverStop), m_wakeEvent(wakeEvent)
{
    InitializeCriticalSection(&m_lock);
}

CPipeData::~CPipeData()
{
    StopWorkers();
    DeleteCriticalSection(&m_lock);
}

void CPipeData::Wake() const
{
    if (m_wakeEvent)
        SetEvent(m_wakeEvent);
}

int CPipeData::AddRequest(const std::wstring& name, BYTE status)
{
    Lock();
    FONTDATA request;
    request.name = name;
    request.matchKey = std::wstring(MatchKey(name));
    request.status = status;
    m_sortedKeys.insert(std::upper_bound(m_sortedKeys.begin(), m_sortedKeys.end(), request.matchKey),
                        request.matchKey);
    requests.push_back(std::move(request));
    const int index = static_cast<int>(requests.size()) - 1;
    Unlock();
    return index;
}

int CPipeData::FindRequestByKey(const std::wstring& name) const
{
    for (size_t i = 0; i < requests.size(); ++i) {
        const FONTDATA& request = requests[i];
        if (!IsResolvedStatus(request.status) && request.matchKey == name)
            return static_cast<int>(i);
    }
    return -1;
}

bool CPipeData::MayBeRequested(const std::wstring& name) const
{
    return std::binary_search(m_sortedKeys.begin(), m_sortedKeys.end(), name);
}

void CPipeData::QueueLine(int n)
{
    FONTDATA& request = requests[static_cast<size_t>(n)];
    PendingLine line;
    line.index = n;
    line.status = request.status;
    line.name = request.name;
    line.family = request.family;
    line.style = request.style;
    line.file = request.file;
    m_lines.push_back(std::move(line));
    request.toReport = TRUE;
    Wake();
}

void CPipeData::SetStatusLocked(int n, BYTE status)
{
    if (n < 0 || static_cast<size_t>(n) >= requests.size())
        return;
    requests[static_cast<size_t>(n)].status = status;
    QueueLine(n);
}

void CPipeData::SetStatus(int n, BYTE status)
{
    Lock();
    SetStatusLocked(n, status);
    Unlock();
}

void CPipeData::SetFoundInSet(int n, const std::wstring& file, const std::wstring& family, const std::wstring& style,
                              const CSetItem& set, int position)
{
    if (n < 0 || static_cast<size_t>(n) >= requests.size())
        return;
    FONTDATA& request = requests[static_cast<size_t>(n)];
    request.file = file;
    request.family = family;
    request.style = style;
    request.set = set;
    request.position = position;
    SetStatusLocked(n, kStatusFound);
    const bool open = std::any_of(requests.begin(), requests.end(),
                                  [](const FONTDATA& r) { return r.status < kStatusFound; });
    if (!open)
        stopWorkers = TRUE;
}

void CPipeData::SetFoundInFolder(int n, const std::wstring& file, const std::wstring& family, const std::wstring& style)
{
    Lock();
    if (n >= 0 && static_cast<size_t>(n) < requests.size()) {
        FONTDATA& request = requests[static_cast<size_t>(n)];
        request.file = file;
        request.family = family;
        request.style = style;
        SetStatusLocked(n, kStatusFound);
        const bool open = std::any_of(requests.begin(), requests.end(), [](const FONTDATA& r) {
            return r.status < kStatusFound || r.status == kStatusNotFound || r.status == kStatusFoundFileMissing;
        });
        if (!open)
            stopWorkers = TRUE;
    }
    Unlock();
}

bool CPipeData::FirstToReport(PendingLine& line)
{
    Lock();
    const bool any = !m_lines.empty();
    if (any)
        line = m_lines.front();
    Unlock();
    return any;
}

void CPipeData::ReportWritten()
{
    Lock();
    if (!m_lines.empty()) {
        const int index = m_lines.front().index;
        m_lines.pop_front();
        const bool more = std::any_of(m_lines.begin(), m_lines.end(),
                                      [index](const PendingLine& l) { return l.index == index; });
        if (index >= 0 && static_cast<size_t>(index) < requests.size())
            requests[static_cast<size_t>(index)].toReport = more ? TRUE : FALSE;
    }
    Unlock();
}

bool CPipeData::IsComplete()
{
    Lock();
    const bool complete = finished.load() && m_lines.empty();
    Unlock();
    return complete;
}

bool CPipeData::AnyUnresolved()
{
    Lock();
    const bool any = std::any_of(requests.begin(), requests.end(),
                                 [](const FONTDATA& r) { return !IsResolvedStatus(r.status); });
    Unlock();
    return any;
}

bool CPipeData::AnyActivated()
{
    Lock();
    const bool any = std::any_of(requests.begin(), requests.end(),
                                 [](const FONTDATA& r) { return r.status == kStatusActivated; });
    Unlock();
    return any;
}

int CPipeData::GetRequestCount()
{
    Lock();
    const int count = static_cast<int>(requests.size());
    Unlock();
    return count;
}

CPipeData::FONTDATA CPipeData::GetRequest(int n)
{
    Lock();
    FONTDATA copy;
    if (n >= 0 && static_cast<size_t>(n) < requests.size())
        copy = requests[static_cast<size_t>(n)];
    Unlock();
    return copy;
}

std::wstring CPipeData::GetProgressText()
{
    Lock();
    std::wstring text = m_progressText;
    Unlock();
    return text;
}

bool CPipeData::StartThread(AFX_THREADPROC proc, CWinThread*& slot)
{
    CWinThread* thread = AfxBeginThread(proc, this, THREAD_PRIORITY_BELOW_NORMAL, 0, CREATE_SUSPENDED);
    if (!thread)
        return false;
    thread->m_bAutoDelete = FALSE;
    slot = thread;
    thread->ResumeThread();
    return true;
}

void CPipeData::StartSetSearch()
{
    phase = 1;
    if (!instance)
        return;
    Lock();
    sets.clear();
    for (size_t i = 0; i < requests.size(); ++i)
        SetStatusLocked(static_cast<int>(i), kStatusSearchingSets);
    Unlock();
    Wake();

    {
        CSetFileLock lock;
        CFontFilesXML* document = GetAppSetTree();
        if (document && document->HasRoot())
            CollectSets(sets, document, document->Xml().Root(), CWordArray());
    }
    remainingSets = static_cast<LONG>(sets.size());
    if (sets.empty()) {
        FinishSetSearch();
        return;
    }
    finishedWorkers = 0;
    for (CWinThread*& slot : setWorkers) {
        // A worker that cannot start counts as finished, so the search still ends.
        if (!StartThread(SetSearchWorker, slot))
            OnSearchWorkerDone();
    }
}

void CPipeData::OnSearchWorkerDone()
{
    if (phase.load() == 1) {
        if (++finishedWorkers < kSetWorkerCount)
            return;
        FinishSetSearch();
    } else {
        FinishFolderSearch();
    }
}

void CPipeData::FinishSetSearch()
{
    Lock();
    const bool destroying = m_destroying;
    Unlock();
    if (destroying)
        return;
    ActivateFoundInSets();
    Lock();
    if (!m_destroying) {
        bool unresolved = std::any_of(requests.begin(), requests.end(),
                                      [](const FONTDATA& r) { return !IsResolvedStatus(r.status); });
        if (unresolved) {
            StartFolderSearch();
        } else {
            finished = TRUE;
            Wake();
        }
    }
    Unlock();
    // Off the client's path: its statuses (and its end, when nothing is left to search) are out.
    MarkLoadedInSets();
}

void CPipeData::FinishFolderSearch()
{
    Lock();
    for (size_t i = 0; i < requests.size(); ++i) {
        if (requests[i].status < kStatusFound)
            SetStatusLocked(static_cast<int>(i), kStatusNotFound);
    }
    finished = TRUE;
    Unlock();
    Wake();
}

namespace {

// Marks the set node active ("g" 1, activation kind "i" 2). The caller holds the set file's lock.
void MarkSetActive(CFontFilesXML* tree, const CWordArray& idPath)
{
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(tree->SelectNodeByIdPath(idPath));
    if (!node)
        return;
    tree->GetOrCreateChild(node.Get(), kTagSetActive, L"1");
    wchar_t kind[16];
    swprintf(kind, 16, L"%d", 2);
    tree->GetOrCreateChild(node.Get(), kTagSetActivation, kind);
}

struct Notification {
    HWND window;
    CPipeFoundItemsGroupedBySet group;
    bool toList;      // the set fonts list: the second parameter is the exchange's requests
    LPARAM loaded;    // the set tree: the number of loaded records of the set
};

// The records at the wanted positions of a set stream held in memory. False when the stream does not
// parse: its document would not load either.
bool ReadRecordsAt(const std::vector<BYTE>& bytes, std::map<int, CFontItemInfo>& wanted)
{
    class Reader : public CFontRecordSaxReader {
    public:
        explicit Reader(std::map<int, CFontItemInfo>& records) : records_(records) {}
        HRESULT OnRecord(CFontItemInfo& record, int position) override
        {
            auto it = records_.find(position);
            if (it != records_.end())
                it->second = record;
            return S_OK;
        }

    private:
        std::map<int, CFontItemInfo>& records_;
    };
    Reader reader(wanted);
    return SUCCEEDED(reader.ParseBytes(bytes.data(), bytes.size()));
}

// After the loads of a group: the set fonts list hears of them when it shows the set; otherwise the
// set is marked active in the set tree, which hears of it with the set's number of loaded records.
// The caller holds the set file's lock.
void NoteGroupLoaded(std::vector<Notification>& notifications, const CPipeFoundItemsGroupedBySet& group,
                     CFontFilesXML* document, CFontFilesXML* tree, bool shown, HWND listWindow, HWND treeWindow)
{
    if (!tree)
        return;
    if (shown && listWindow) {
        notifications.push_back({listWindow, group, true, 0});
    } else {
        MarkSetActive(tree, group.idPath);
        if (treeWindow && document)
            notifications.push_back({treeWindow, group, false, static_cast<LPARAM>(document->CountLoadedRecords())});
    }
}

// Saves the set tree, then tells the windows of the sets whose fonts were loaded.
void SendSetNotifications(std::vector<Notification>& notifications, std::vector<CPipeData::FONTDATA>& requests)
{
    {
        CSetFileLock fileLock;
        if (CFontFilesXML* tree = GetAppSetTree())
            tree->SaveIfModified();
    }
    // Sent with no lock held: the receivers may take the shown-set lock (to check that the list
    // still shows the group's set) and the set file's lock.
    for (Notification& note : notifications) {
        const LPARAM second = note.toList ? reinterpret_cast<LPARAM>(&requests) : note.loaded;
        SendMessageW(note.window, WM_SET_FONTS_ACTIVATED, reinterpret_cast<WPARAM>(&note.group), second);
    }
}

}  // namespace

void CPipeData::ActivateFoundInSets()
{
    CArrayPipeFoundSetGroups groups;
    std::vector<FONTDATA> snapshot;
    Lock();
    for (size_t i = 0; i < requests.size(); ++i) {
        if (requests[i].status == kStatusFound && !requests[i].file.empty())
            groups.AddToGroup(requests[i].set.idPath, static_cast<DWORD>(i));
    }
    snapshot = requests;
    Unlock();
    if (groups.empty())
        return;

    CWorkerComApartment com;
    if (!com.Ok())
        return;

    std::vector<Notification> notifications;
    for (const CPipeFoundItemsGroupedBySet& group : groups) {
        std::wstring streamName;
        if (!CFontFilesXML::MakeSetStreamName(group.idPath, streamName))
            break;
        // Not the stop-workers flag: it is also set when every request is resolved.
        if (serverStop && serverStop->load())
            break;
        Lock();
        const bool destroying = m_destroying;
        Unlock();
        if (destroying)
            break;
        const CSetItem& set = snapshot[group.indices.front()].set;

        // The set fonts list's own document when it shows this set: used under the shown-set lock.
        // The shown-set lock is always taken before the set file's lock.
        CLockedWordArray& shownPath = GetShownSetPath();
        shownPath.Lock();
        if (!shownPath.IsEqual(group.idPath) || !GetShownSetDocument()) {
            shownPath.Unlock();
            // Any other set: its records are read from the stream and loaded; the marks follow later.
            DeferredMarks marks{group, streamName, {}};
            std::map<int, CFontItemInfo> records;
            for (DWORD index : group.indices)
                records.emplace(snapshot[index].position, CFontItemInfo());
            std::vector<BYTE> bytes;
            const bool read = ReadSetStreamBytes(group.idPath, bytes) && ReadRecordsAt(bytes, records);
            for (DWORD index : group.indices) {
                const int position = snapshot[index].position;
                bool ok = false;
                auto it = read ? records.find(position) : records.end();
                // A record already marked loaded is not loaded twice.
                if (it != records.end() && it->second.setEntryId == position && it->second.setLoaded == 0) {
                    ok = CFontFilesXML::LoadOrUnloadFontRecord(it->second, TRUE, set.sourceFolder, nullptr);
                    if (ok)
                        it->second.setLoaded = 1;
                }
                SetStatus(static_cast<int>(index), ok ? kStatusActivated : kStatusActivationFailed);
                marks.records.emplace_back(position, ok);
            }
            if (read)
                m_deferredMarks.push_back(std::move(marks));
            continue;
        }

        const HWND listWindow = GetSetFontsListWindow();
        const HWND treeWindow = GetSetTreeWindow();
        CFontFilesXML* document = GetShownSetDocument();
        {
            CSetFileLock fileLock;
            int loaded = 0;
            for (DWORD index : group.indices) {
                BOOL ok = FALSE;
                ComPtr<IXMLDOMNode> record =
                    ComPtr<IXMLDOMNode>::Attach(document->SelectRecordByPosition(snapshot[index].position));
                if (record) {
                    std::wstring state;
                    if (!XmlGetChildText(record.Get(), state, TagName(kTagLoaded), L"a"))
                        document->GetOrCreateChild(record.Get(), kTagLoaded, L"0", kFontFilesNamespace, L"a");
                    ok = document->ActivateFontRecord(record.Get(), TRUE, 2, 2, set.sourceFolder, FALSE);
                }
                if (ok)
                    ++loaded;
                SetStatus(static_cast<int>(index), ok ? kStatusActivated : kStatusActivationFailed);
            }
            if (loaded)
                NoteGroupLoaded(notifications, group, document, GetAppSetTree(), true, listWindow, treeWindow);
            document->SaveIfModified();
        }
        shownPath.Unlock();
    }
    SendSetNotifications(notifications, requests);
}

void CPipeData::MarkLoadedInSets()
{
    std::vector<DeferredMarks> pending;
    pending.swap(m_deferredMarks);
    if (pending.empty())
        return;
    CWorkerComApartment com;
    if (!com.Ok())
        return;
    std::vector<Notification> notifications;
    for (const DeferredMarks& marks : pending) {
        // The set may be shown by now: its marks then go into the list's document.
        CLockedWordArray& shownPath = GetShownSetPath();
        shownPath.Lock();
        const HWND listWindow = GetSetFontsListWindow();
        const HWND treeWindow = GetSetTreeWindow();
        CFontFilesXML* document = nullptr;
        bool shown = false;
        if (shownPath.IsEqual(marks.group.idPath) && GetShownSetDocument()) {
            document = GetShownSetDocument();
            shown = true;
        } else {
            shownPath.Unlock();
        }
        std::unique_ptr<CFontFilesXML> own;
        {
            CSetFileLock fileLock;
            IStorage* storage = GetAppSetStorage();
            if (!document && storage) {
                own = std::make_unique<CFontFilesXML>();
                if (own->OpenOrCreate(marks.streamName, storage, FALSE, FALSE))
                    document = own.get();
            }
            int loaded = 0;
            for (const auto& [position, ok] : marks.records) {
                if (ok)
                    ++loaded;
                if (!document)
                    continue;
                ComPtr<IXMLDOMNode> record = ComPtr<IXMLDOMNode>::Attach(document->SelectRecordByPosition(position));
                if (!record)
                    continue;
                std::wstring state;
                if (!XmlGetChildText(record.Get(), state, TagName(kTagLoaded), L"a"))
                    document->GetOrCreateChild(record.Get(), kTagLoaded, L"0", kFontFilesNamespace, L"a");
                if (ok) {
                    document->Xml().SetModified(TRUE);
                    document->GetOrCreateChild(record.Get(), kTagLoaded, L"1", kFontFilesNamespace, L"a");
                }
            }
            if (loaded)
                NoteGroupLoaded(notifications, marks.group, document, GetAppSetTree(), shown, listWindow, treeWindow);
            if (document)
                document->SaveIfModified();
        }
        if (shown)
            shownPath.Unlock();
    }
    SendSetNotifications(notifications, requests);
}

void CPipeData::StartFolderSearch()
{
    Lock();
    if (!m_destroying) {
        phase = 2;
        for (size_t i = 0; i < requests.size(); ++i) {
            if (!IsResolvedStatus(requests[i].status))
                SetStatusLocked(static_cast<int>(i), kStatusSearchingFolder);
        }
        Wake();
        stopWorkers = FALSE;
        if (!StartThread(FolderSearchThreadProc, folderThread)) {
            Unlock();
            FinishFolderSearch();
            return;
        }
    }
    Unlock();
}

UINT __cdecl CPipeData::FolderSearchThreadProc(LPVOID param)
{
    auto* exchange = static_cast<CPipeData*>(param);
    if (!exchange)
        return 0;
    try {
        std::wstring folder;
        {
            std::lock_guard<std::recursive_mutex> settings(AppSettingsMutex());
            folder = g_appSettings.GetString(L"general", L"AutoSearchFolder");
        }
        while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
            folder.pop_back();
        exchange->Lock();
        exchange->autoSearchFolder = folder;
        exchange->Unlock();
        FolderLoopGuard guard;
        if (!folder.empty()) {
            guard.EnterRoot(folder);
            exchange->ScanFolderForRequests(folder, 0, guard);
        }
    } catch (...) {
        // The exchange still ends below; a scan that failed found nothing more.
    }
    exchange->OnSearchWorkerDone();
    return 0;
}

void CPipeData::ScanFolderForRequests(const std::wstring& folder, int depth, FolderLoopGuard& guard)
{
    if (folder.empty())
        return;
    Lock();
    m_progressText = folder;
    const std::wstring root = autoSearchFolder;
    Unlock();
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (StopRequested())
            break;
        const std::wstring name = entry.cFileName;
        const std::wstring path = folder + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name == L"." || name == L"..")
                continue;
            if (guard.Enter(entry, path, depth + 1)) {
                ScanFolderForRequests(path, depth + 1, guard);
                guard.Leave();
            }
            continue;
        }
        if (!IsFontFileExtension(name))
            continue;
        std::wstring displayName = name;
        if (depth > 0 && path.size() > root.size())
            displayName = L"." + path.substr(root.size());
        CFontItemArray list;
        ReadFontFileByExtension(path, displayName, folder, name, list, root);
        for (const CFontItemInfo& record : list) {
            std::wstring postScript, family, style;
            record.GetEnglishNames(postScript, family, style);
            if (postScript.empty())
                continue;
            Lock();
            const int n = FindRequestByKey(postScript);
            if (n >= 0)
                SetFoundInFolder(n, path, family, style);
            Unlock();
            if (n < 0)
                continue;
            bool ok;
            if (IsType1Kind(record.kind))
                ok = LoadFontItem(record, root, 0) != 0;
            else
                ok = LoadFontFile(record, root, path, 0) == 0;
            if (ok) {
                std::lock_guard<std::recursive_mutex> loadedLock(GLYLoadedFontsMutex());
                GetGLYLoadedFonts().AddSorted(
                    CFontItemGLYLoaded(family, record.GetName(NameFull), postScript, path, record.kind, 1));
            }
            SetStatus(n, ok ? kStatusActivated : kStatusActivationFailed);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

void CPipeData::StopWorkers()
{
    Lock();
    m_destroying = true;
    stopWorkers = TRUE;
    Unlock();
    for (CWinThread*& thread : setWorkers) {
        if (thread) {
            if (thread->m_hThread)
                WaitForSingleObject(thread->m_hThread, INFINITE);
            delete thread;
            thread = nullptr;
        }
    }
    // No phase change starts the folder thread once m_destroying is set, so this read is final.
    Lock();
    CWinThread* folder = folderThread;
    folderThread = nullptr;
    Unlock();
    if (folder) {
        if (folder->m_hThread)
            WaitForSingleObject(folder->m_hThread, INFINITE);
        delete folder;
    }
}

void CPipeData::WriteActivationLog(IPipeSessionLog& log)
{
    Lock();
    const std::vector<FONTDATA> copy = requests;
    Unlock();
    for (const FONTDATA& request : copy) {
        log.Write(L"\tPostScript Name: " + request.name + L",  Family Name: " + request.family +
                  L",  SubFamily: " + request.style);
        if (!request.set.idPath.empty()) {
            const std::wstring text = LoadResString(IDS_PIPE_LOG_FOUND_IN_SET) + request.set.namePath;
            log.Write(L"\t\t " + text + L",\t" + request.file);
        } else if (!request.file.empty()) {
            log.Write(L"\t\t " + LoadResString(IDS_PIPE_LOG_FOUND_IN_FOLDER) + request.file);
        }
    }
}

// ---- the pipe's security ---------------------------------------------------------------------------

namespace {

// A descriptor that lets only the current user open the pipe; with `lowLabel`, a low mandatory
// label (no write-up) so that hosts of lower integrity of the same user can still connect.
class PipeSecurity {
public:
    ~PipeSecurity() { Free(); }

    bool Build(bool lowLabel)
    {
        Free();
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return false;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<BYTE> user(size ? size : 1);
        const bool haveUser = size && GetTokenInformation(token, TokenUser, user.data(), size, &size);
        CloseHandle(token);
        if (!haveUser)
            return false;
        PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
        if (!IsValidSid(sid))
            return false;
        const DWORD sidLength = GetLengthSid(sid);
        m_sid = Alloc(sidLength);
        if (!m_sid || !CopySid(sidLength, m_sid, sid))
            return false;

        const DWORD daclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + sidLength;
        m_dacl = static_cast<PACL>(Alloc(daclSize));
        if (!m_dacl || !InitializeAcl(m_dacl, daclSize, ACL_REVISION) ||
            !AddAccessAllowedAce(m_dacl, ACL_REVISION, FILE_ALL_ACCESS, m_sid))
            return false;

        m_descriptor = Alloc(SECURITY_DESCRIPTOR_MIN_LENGTH);
        if (!m_descriptor || !InitializeSecurityDescriptor(m_descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(m_descriptor, TRUE, m_dacl, FALSE))
            return false;

        if (lowLabel && !AddLowLabel())
            return false;
        m_attributes.nLength = sizeof(m_attributes);
        m_attributes.lpSecurityDescriptor = m_descriptor;
        // Not inherited: a child process holding the server's end would keep the pipe alive.
        m_attributes.bInheritHandle = FALSE;
        return true;
    }

    SECURITY_ATTRIBUTES* Attributes() { return &m_attributes; }

private:
    // Mandatory labels exist from Windows Vista on.
    bool AddLowLabel()
    {
        if (!GetOsVersion().IsVistaOrLater())
            return false;
        using AddMandatoryAceFn = BOOL(WINAPI*)(PACL, DWORD, DWORD, DWORD, PSID);
        HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
        auto addMandatoryAce =
            advapi ? reinterpret_cast<AddMandatoryAceFn>(reinterpret_cast<void*>(GetProcAddress(advapi, "AddMandatoryAce")))
                   : nullptr;
        if (!addMandatoryAce)
            return false;
        SID_IDENTIFIER_AUTHORITY labelAuthority = SECURITY_MANDATORY_LABEL_AUTHORITY;
        PSID low = nullptr;
        if (!AllocateAndInitializeSid(&labelAuthority, 1, SECURITY_MANDATORY_LOW_RID, 0, 0, 0, 0, 0, 0, 0, &low))
            return false;
        const DWORD lowLength = GetLengthSid(low);
        const DWORD saclSize = sizeof(ACL) + sizeof(SYSTEM_MANDATORY_LABEL_ACE) - sizeof(DWORD) + lowLength;
        m_sacl = static_cast<PACL>(Alloc(saclSize));
        const bool ok = m_sacl && InitializeAcl(m_sacl, saclSize, ACL_REVISION) &&
                        addMandatoryAce(m_sacl, ACL_REVISION, 0, SYSTEM_MANDATORY_LABEL_NO_WRITE_UP, low) &&
                        SetSecurityDescriptorSacl(m_descriptor, TRUE, m_sacl, FALSE);
        FreeSid(low);
        return ok;
    }

    static void* Alloc(DWORD size) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size); }

    void Free()
    {
        for (void* block : {static_cast<void*>(m_descriptor), static_cast<void*>(m_dacl),
                            static_cast<void*>(m_sacl), static_cast<void*>(m_sid)}) {
            if (block)
                HeapFree(GetProcessHeap(), 0, block);
        }
        m_descriptor = nullptr;
        m_dacl = nullptr;
        m_sacl = nullptr;
        m_sid = nullptr;
        m_attributes = SECURITY_ATTRIBUTES{};
    }

    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    PACL m_dacl = nullptr;
    PACL m_sacl = nullptr;
    PSID m_sid = nullptr;
    SECURITY_ATTRIBUTES m_attributes{};
};

#ifndef PIPE_REJECT_REMOTE_CLIENTS
#define PIPE_REJECT_REMOTE_CLIENTS 0x00000008
#endif

bool ValidHandle(HANDLE h)
{
    return h && h != INVALID_HANDLE_VALUE;
}

}  // namespace

// ---- the server thread -----------------------------------------------------------------------------

CPipeActivatingFontsThread::CPipeActivatingFontsThread(PipeServerParams* params)
    : CWorkerThread(PipeServerThreadProc, params, kWorkerPipeServer), m_params(params)
{
    m_instance.pipe = INVALID_HANDLE_VALUE;
    m_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

CPipeActivatingFontsThread::~CPipeActivatingFontsThread()
{
    Reset();
    if (m_stopEvent)
        CloseHandle(m_stopEvent);
}

void CPipeActivatingFontsThread::RequestStop()
{
    if (m_params && m_params->stopFlag)
        m_params->stopFlag->store(TRUE);
    if (m_stopEvent)
        SetEvent(m_stopEvent);
}

bool CPipeActivatingFontsThread::StopWasRequested() const
{
    return m_stopEvent && WaitForSingleObject(m_stopEvent, 0) == WAIT_OBJECT_0;
}

bool CPipeActivatingFontsThread::StopRequested() const
{
    if (m_params && m_params->StopRequested())
        return true;
    return m_stopEvent && WaitForSingleObject(m_stopEvent, 0) == WAIT_OBJECT_0;
}

CPipeData* CPipeActivatingFontsThread::ExchangeFor(int index)
{
    for (auto& exchange : m_exchanges) {
        if (exchange->instanceIndex == index)
            return exchange.get();
    }
    return nullptr;
}

void CPipeActivatingFontsThread::CancelPendingIo()
{
    if (m_instance.pending && ValidHandle(m_instance.pipe)) {
        CancelIo(m_instance.pipe);
        // The buffers belong to the pending operation until it has ended.
        if (m_event)
            WaitForSingleObject(m_event, 5000);
        DWORD bytes = 0;
        GetOverlappedResult(m_instance.pipe, &m_instance.overlapped, &bytes, FALSE);
    }
    m_instance.pending = FALSE;
    m_pendingWrite = WriteKind::None;
}

void CPipeActivatingFontsThread::Reset()
{
    // The exchanges first: their threads set the wake event until they have ended.
    m_exchanges.clear();
    CancelPendingIo();
    if (ValidHandle(m_instance.pipe)) {
        DisconnectNamedPipe(m_instance.pipe);
        CloseHandle(m_instance.pipe);
    }
    if (m_event)
        CloseHandle(m_event);
    if (m_wakeEvent)
        CloseHandle(m_wakeEvent);
    m_event = nullptr;
    m_wakeEvent = nullptr;
    std::memset(&m_instance, 0, sizeof(m_instance));
    m_instance.pipe = INVALID_HANDLE_VALUE;
    m_pendingWrite = WriteKind::None;
    m_endState = EndState::NotWritten;
}

HANDLE CPipeActivatingFontsThread::CreateServerPipe()
{
    const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    const DWORD pipeMode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT;
    struct Attempt {
        bool ownSecurity;
        bool lowLabel;
        bool rejectRemote;
    };
    // From the strictest form down: systems without labels or without the remote-client flag still
    // get a pipe that only the current user (or, failing that, the default descriptor) may open.
    const Attempt attempts[] = {
        {true, true, true}, {true, false, true}, {false, false, true}, {true, false, false}, {false, false, false},
    };
    PipeSecurity security;
    for (const Attempt& attempt : attempts) {
        SECURITY_ATTRIBUTES* attributes = nullptr;
        if (attempt.ownSecurity) {
            if (!security.Build(attempt.lowLabel))
                continue;
            attributes = security.Attributes();
        }
        HANDLE pipe = CreateNamedPipeW(kPipeName, openMode, pipeMode | (attempt.rejectRemote ? PIPE_REJECT_REMOTE_CLIENTS : 0),
                                       1, kPipeBufferBytes, kPipeBufferBytes, kPipeDefaultTimeoutMs, attributes);
        if (pipe != INVALID_HANDLE_VALUE)
            return pipe;
        const DWORD error = GetLastError();
        // Another instance holds the name: no weaker form would change that.
        if (error == ERROR_PIPE_BUSY || error == ERROR_ACCESS_DENIED)
            return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

BOOL CPipeActivatingFontsThread::ConnectToNewClient(int index)
{
    if (ConnectNamedPipe(m_instance.pipe, &m_instance.overlapped))
        return FALSE;  // an overlapped connect never completes at once
    BOOL pending = FALSE;
    switch (GetLastError()) {
    case ERROR_IO_PENDING:
        pending = TRUE;
        break;
    case ERROR_PIPE_CONNECTED:
        break;
    default:
        return FALSE;
    }
    m_instance.pending = pending;
    m_exchanges.push_back(std::make_unique<CPipeData>(index, &m_instance, m_params ? m_params->stopFlag : nullptr,
                                                      m_wakeEvent));
    return pending;
}

void CPipeActivatingFontsThread::DisconnectAndReconnect(int index)
{
    CancelPendingIo();
    DisconnectNamedPipe(m_instance.pipe);
    for (auto it = m_exchanges.begin(); it != m_exchanges.end(); ++it) {
        if ((*it)->instanceIndex == index) {
            m_exchanges.erase(it);  // stops its threads
            break;
        }
    }
    m_endState = EndState::NotWritten;
    const BOOL pending = ConnectToNewClient(index);
    m_instance.state = pending ? kPipeConnecting : kPipeReading;
}

void CPipeActivatingFontsThread::ReadPipeRequest(PipeInstance& instance, int index)
{
    CPipeData* exchange = ExchangeFor(index);
    if (!exchange) {
        DisconnectAndReconnect(index);
        return;
    }
    DWORD bytes = 0;
    if (ReadFile(instance.pipe, instance.request, kMaxClientMessageBytes, &bytes, &instance.overlapped)) {
        GetOverlappedResult(instance.pipe, &instance.overlapped, &bytes, FALSE);
        if (bytes > 0 && bytes <= kMaxClientMessageBytes) {
            instance.bytesRead = bytes;
            instance.request[bytes / sizeof(wchar_t)] = 0;
            ParsePipeRequest(exchange, std::wstring_view(instance.request, bytes / sizeof(wchar_t)));
            return;
        }
    } else if (GetLastError() == ERROR_IO_PENDING) {
        instance.pending = TRUE;
        return;
    }
    // An error, an empty message, a message longer than the buffer (ERROR_MORE_DATA).
    DisconnectAndReconnect(index);
}

BOOL CPipeActivatingFontsThread::ParsePipeRequest(CPipeData* exchange, std::wstring_view text)
{
    if (!exchange || !exchange->instance)
        return FALSE;
    m_instance.pending = FALSE;
    const ClientMessage message = ClassifyClientMessage(text);
    switch (message.kind) {
    case ClientMessageKind::EndMarker:
        m_instance.state = kPipeWriting;
        exchange->progressSent = FALSE;
        exchange->StartSetSearch();
        return TRUE;
    case ClientMessageKind::SearchFolder: {
        const std::wstring folder(message.payload);
        if (!folder.empty() && folder.find(L'\0') == std::wstring::npos) {
            const DWORD attributes = GetFileAttributesW(folder.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                std::lock_guard<std::recursive_mutex> settings(AppSettingsMutex());
                g_appSettings.SetString(L"general", L"AutoSearchFolder", folder);
            }
        }
        return FALSE;
    }
    case ClientMessageKind::LogText:
        GetPipeSessionLog().WriteTimestamped(std::wstring(message.payload));
        return FALSE;
    case ClientMessageKind::FontName:
        exchange->AddRequest(std::wstring(message.payload), kStatusReceived);
        return FALSE;
    }
    return FALSE;
}

void CPipeActivatingFontsThread::OnWriteDone(CPipeData* exchange)
{
    const WriteKind kind = m_pendingWrite;
    m_pendingWrite = WriteKind::None;
    if (kind == WriteKind::Status && exchange)
        exchange->ReportWritten();
    else if (kind == WriteKind::EndMarker)
        m_endState = EndState::Written;
}

bool CPipeActivatingFontsThread::StartWrite(PipeInstance& instance, int index, WriteKind kind)
{
    m_pendingWrite = kind;
    DWORD bytes = 0;
    if (WriteFile(instance.pipe, instance.reply, instance.bytesToWrite, &bytes, &instance.overlapped)) {
        GetOverlappedResult(instance.pipe, &instance.overlapped, &bytes, FALSE);
        if (bytes != instance.bytesToWrite) {
            DisconnectAndReconnect(index);
            return false;
        }
        OnWriteDone(ExchangeFor(index));
        return true;
    }
    if (GetLastError() == ERROR_IO_PENDING) {
        instance.pending = TRUE;
        m_writeStarted = GetTickCount64();
        return true;
    }
    DisconnectAndReconnect(index);
    return false;
}

BOOL CPipeActivatingFontsThread::WritePipeReplies(PipeInstance& instance, int index, bool mayRepeatProgress)
{
    CPipeData* exchange = ExchangeFor(index);
    if (!exchange || instance.pending)
        return TRUE;
    auto setReply = [&instance](const std::wstring& text) {
        const size_t length = std::min(text.size(), static_cast<size_t>(kMaxServerMessageChars));
        std::memcpy(instance.reply, text.data(), length * sizeof(wchar_t));
        instance.reply[length] = 0;
        instance.bytesToWrite = static_cast<DWORD>(length * sizeof(wchar_t));
    };

    bool wroteStatus = false;
    CPipeData::PendingLine line;
    while (exchange->FirstToReport(line)) {
        setReply(FormatStatusLine(line.name, line.status, line.family, line.style, line.file));
        if (!StartWrite(instance, index, WriteKind::Status))
            return FALSE;
        if (instance.pending)
            return TRUE;
        wroteStatus = true;
    }

    if (exchange->phase.load() == 2 && !exchange->finished.load()) {
        if (!exchange->progressSent || (!wroteStatus && mayRepeatProgress)) {
            exchange->progressSent = TRUE;
            setReply(FormatProgressLine(exchange->GetProgressText()));
            return StartWrite(instance, index, WriteKind::Progress) ? TRUE : FALSE;
        }
        return TRUE;
    }

    if (m_endState == EndState::NotWritten && exchange->IsComplete()) {
        exchange->WriteActivationLog(GetPipeSessionLog());
        if (exchange->AnyActivated())
            BroadcastFontChange();
        m_endState = EndState::Pending;
        setReply(std::wstring(kEndMarker));
        return StartWrite(instance, index, WriteKind::EndMarker) ? TRUE : FALSE;
    }
    return TRUE;
}

void CPipeActivatingFontsThread::DriveIo(int index, bool mayRepeatProgress)
{
    for (;;) {
        if (m_instance.pending || StopRequested() || !ExchangeFor(index))
            return;
        if (m_instance.state == kPipeReading) {
            ReadPipeRequest(m_instance, index);
            continue;
        }
        if (m_instance.state == kPipeWriting)
            WritePipeReplies(m_instance, index, mayRepeatProgress);
        return;
    }
}

bool CPipeActivatingFontsThread::OnIoSignalled(int index)
{
    if (!m_instance.pending) {
        // A completion that was handled at once leaves the event set.
        ResetEvent(m_event);
        return true;
    }
    m_instance.overlapped.Offset = 0;
    m_instance.overlapped.OffsetHigh = 0;
    DWORD bytes = 0;
    const BOOL ok = GetOverlappedResult(m_instance.pipe, &m_instance.overlapped, &bytes, FALSE);
    if (!ok && GetLastError() == ERROR_IO_INCOMPLETE)
        return true;
    m_instance.pending = FALSE;
    switch (m_instance.state) {
    case kPipeConnecting:
        if (!ok) {
            DisconnectAndReconnect(index);
            return false;
        }
        m_instance.state = kPipeReading;
        DriveIo(index, false);
        return true;
    case kPipeReading:
        if (!ok || bytes == 0 || bytes > kMaxClientMessageBytes) {
            DisconnectAndReconnect(index);
            return true;
        }
        m_instance.bytesRead = bytes;
        m_instance.request[bytes / sizeof(wchar_t)] = 0;
        ParsePipeRequest(ExchangeFor(index), std::wstring_view(m_instance.request, bytes / sizeof(wchar_t)));
        DriveIo(index, false);
        return true;
    case kPipeWriting:
        if (!ok || bytes != m_instance.bytesToWrite) {
            DisconnectAndReconnect(index);
            return true;
        }
        OnWriteDone(ExchangeFor(index));
        DriveIo(index, false);
        return true;
    default:
        return false;
    }
}

void CPipeActivatingFontsThread::WaitForClientClose()
{
    // DisconnectNamedPipe throws away what the client has not read yet; a read that ends when the
    // client closes its end tells when it is safe. The wait is bounded for clients that never close.
    DWORD bytes = 0;
    if (ReadFile(m_instance.pipe, m_instance.request, kMaxClientMessageBytes, &bytes, &m_instance.overlapped))
        return;
    if (GetLastError() != ERROR_IO_PENDING)
        return;
    m_instance.pending = TRUE;
    HANDLE handles[2] = {m_stopEvent, m_event};
    WaitForMultipleObjects(2, handles, FALSE, GetPipeServerTimings().closeWaitMs);
    CancelPendingIo();
}

int CPipeActivatingFontsThread::RunPipeServer()
{
    Reset();
    m_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_event || !m_wakeEvent)
        return 0;
    m_instance.overlapped.hEvent = m_event;
    m_instance.pipe = CreateServerPipe();
    if (m_instance.pipe == INVALID_HANDLE_VALUE)
        return 0;
    const BOOL pending = ConnectToNewClient(0);
    m_instance.state = pending ? kPipeConnecting : kPipeReading;

    const PipeServerTimings timings = GetPipeServerTimings();
    while (!StopRequested()) {
        if (!ExchangeFor(0))
            return 0;
        if (m_endState == EndState::Written) {
            WaitForClientClose();
            return 1;
        }
        if (m_instance.state == kPipeReading && !m_instance.pending) {
            DriveIo(0, false);
            continue;
        }
        DWORD timeout = timings.loopWaitMs;
        if (m_instance.pending && m_pendingWrite != WriteKind::None) {
            const ULONGLONG elapsed = GetTickCount64() - m_writeStarted;
            if (elapsed >= timings.writeTimeoutMs) {
                // The client does not read: drop the exchange and listen again.
                DisconnectAndReconnect(0);
                continue;
            }
            timeout = static_cast<DWORD>(std::min<ULONGLONG>(timeout, timings.writeTimeoutMs - elapsed));
        }
        HANDLE handles[3] = {m_stopEvent, m_event, m_wakeEvent};
        const DWORD result = WaitForMultipleObjects(3, handles, FALSE, timeout);
        if (result == WAIT_OBJECT_0)
            return 0;
        if (result == WAIT_OBJECT_0 + 1) {
            if (!OnIoSignalled(0))
                return 0;
            continue;
        }
        if (result == WAIT_OBJECT_0 + 2 || result == WAIT_TIMEOUT) {
            if (m_instance.state == kPipeWriting && !m_instance.pending)
                DriveIo(0, true);
            continue;
        }
        return 0;
    }
    return 0;
}

UINT __cdecl PipeServerThreadProc(LPVOID param)
{
    auto* params = static_cast<PipeServerParams*>(param);
    auto* self = dynamic_cast<CPipeActivatingFontsThread*>(AfxGetThread());
    if (!params || !self)
        return 0;
    SetThreadPriority(GetCurrentThread(), params->priority);
    int result = 0;
    {
        CWorkerComApartment com;
        if (!com.Ok())
            return 0;
        try {
            result = self->RunPipeServer();
        } catch (...) {
            result = 0;
        }
        try {
            self->Reset();
        } catch (...) {
        }
    }
    // An owner that asked for the stop is already waiting for the thread and needs no completion.
    if (!self->StopWasRequested())
        PostWorkerDone(params, self, result, kWorkerPipeServer);
    return 0;
}

bool StartPipeServer(PipeServerParams& params, HWND owner, WorkerStopFlag* stop)
{
    if (params.thread.load())
        return true;
    if (stop)
        stop->store(TRUE);
    StopWorkerThread(&params);
    params.hwndOwner = owner;
    params.stopFlag = stop;
    params.thread = nullptr;
    if (stop)
        stop->store(FALSE);
    return StartWorkerThread(new CPipeActivatingFontsThread(&params), &params);
}

void StopPipeServer(PipeServerParams* params)
{
    if (!params)
        return;
    if (auto* server = dynamic_cast<CPipeActivatingFontsThread*>(params->thread.load()))
        server->RequestStop();
    StopWorkerThread(params);
}

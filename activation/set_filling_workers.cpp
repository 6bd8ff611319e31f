#include "activation/set_filling_workers.h"

#include <memory>
#include <vector>

#include "activation/app_state.h"
#include "activation/folder_scan.h"
#include "core/app_messages.h"
#include "core/font_arrays.h"
#include "core/helpers.h"
#include "core/installed_fonts.h"
#include "storage/font_files_xml.h"
#include "storage/set_file.h"
#include "storage/set_font_adder.h"

namespace {

// Progress of an addition to a set. Sent to a window of this thread, posted (with texts that stay
// readable) to another: a worker that holds a lock must never wait for the user-interface thread.
void ReportAdded(HWND owner, const CFontItemInfo& record)
{
    if (owner)
        NotifyFontProgress(owner, WM_SET_FILL_PROGRESS, record.GetName(NameFamily), record.path);
}

// A set's document for one operation: the set fonts list's own document when that list shows the
// set (held under the shown-set path's lock for as long as it is used), otherwise a document of the
// operation's own over the open set file.
class SetDocument {
public:
    SetDocument() = default;
    ~SetDocument() { Close(); }
    SetDocument(const SetDocument&) = delete;
    SetDocument& operator=(const SetDocument&) = delete;

    // create: a missing stream is created. False when the set's stream cannot be had.
    bool Open(const CWordArray& idPath, BOOL create)
    {
        Close();
        std::wstring name;
        if (!CFontFilesXML::MakeSetStreamName(idPath, name))
            return false;
        GetShownSetPath().Lock();
        CFontFilesXML* shown = GetShownSetDocument();
        if (shown && shown->HasRoot() && _wcsicmp(shown->streamName.c_str(), name.c_str()) == 0) {
            m_document = shown;
            m_holdsShownLock = true;
            return true;
        }
        GetShownSetPath().Unlock();
        CSetFileLock fileLock;  // keeps the storage open while the stream is read
        IStorage* storage = GetAppSetStorage();
        if (!storage)
            return false;
        m_own = std::make_unique<CFontFilesXML>();
        if (!m_own->OpenOrCreate(name, storage, create, FALSE) || !m_own->HasRoot()) {
            m_own.reset();
            return false;
        }
        m_document = m_own.get();
        return true;
    }

    void Close()
    {
        m_document = nullptr;
        m_own.reset();
        if (m_holdsShownLock) {
            m_holdsShownLock = false;
            GetShownSetPath().Unlock();
        }
    }

    CFontFilesXML* Get() const { return m_document; }
    bool IsShown() const { return m_holdsShownLock; }

private:
    CFontFilesXML* m_document = nullptr;
    std::unique_ptr<CFontFilesXML> m_own;
    bool m_holdsShownLock = false;
};

// Kind 10: one folder of the scan and the set it fills.
struct ScanItem {
    bool created = false;
    CWordArray idPath;
    std::wstring name;
    ScanItem* parent = nullptr;
    std::wstring folder;
    int32_t count = 0;
    std::unique_ptr<SetDocument> document;  // with one set per folder
    std::unique_ptr<CSetRecordIndex> index;
};

class SetFromFolderScan {
public:
    explicit SetFromFolderScan(SetFromFolderParams& params) : m_params(params) {}

    void Run(const std::wstring& topName)
    {
        ScanItem top;
        top.created = true;
        top.idPath = m_params.idPath;
        top.name = topName;
        top.folder = m_params.folder;
        m_top = &top;
        m_guard.EnterRoot(top.folder);
        Scan(top, 0);
        m_params.documentInUse = nullptr;
    }

private:
    // A child set node named after the folder, below its parent's set (made first).
    bool EnsureSet(ScanItem& item)
    {
        if (item.created)
            return true;
        if (!item.parent || !EnsureSet(*item.parent))
            return false;
        CSetFileLock fileLock;
        CFontFilesXML* tree = GetAppSetTree();
        if (!tree)
            return false;
        CWordArray path = item.parent->idPath;
        if (tree->CreateNode(item.name, path) == 0)
            return false;
        item.idPath = path;
        item.created = true;
        return true;
    }

    bool OpenDocument(ScanItem& item, const std::wstring& setFolder)
    {
        if (!EnsureSet(item))
            return false;
        auto document = std::make_unique<SetDocument>();
        if (!document->Open(item.idPath, TRUE))
            return false;
        item.index = std::make_unique<CSetRecordIndex>();
        item.index->Build(*document->Get(), setFolder);
        item.document = std::move(document);
        return true;
    }

    void Scan(ScanItem& item, int depth)
    {
        const bool isTop = &item == m_top;
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW((item.folder + L"\\*.*").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE)
            return;
        // Sub-folders read into the top set store their files against the top set's folder, so
        // that the set's one folder resolves every record.
        std::wstring setFolder = m_params.onePerFolder ? item.folder : (isTop ? m_params.folder : m_topSetFolder);
        bool usedExistingSource = false;
        if (isTop && m_params.existingSet && !m_params.existingSourceFolder.empty()) {
            setFolder = m_params.existingSourceFolder;
            usedExistingSource = true;
        }
        if (isTop) {
            m_topSetFolder = setFolder;
            if (!m_params.onePerFolder) {
                if (!OpenDocument(item, setFolder)) {
                    FindClose(find);
                    return;
                }
                m_params.documentInUse = item.document->Get();
            }
            if (usedExistingSource) {
                CSetFileLock fileLock;
                if (CFontFilesXML* tree = GetAppSetTree())
                    item.count += tree->GetNodeValueH(item.idPath);
            }
        }
        do {
            if (m_params.StopRequested())
                break;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (IsDots(entry.cFileName) || !m_params.subFolders)
                    continue;
                ScanItem child;
                child.name = entry.cFileName;
                child.parent = &item;
                child.folder = item.folder + L"\\" + entry.cFileName;
                if (m_guard.Enter(entry, child.folder, depth + 1)) {
                    Scan(child, depth + 1);
                    m_guard.Leave();
                }
                continue;
            }
            AddFile(item, entry.cFileName, setFolder);
        } while (FindNextFileW(find, &entry));
        FindClose(find);

        if (m_params.StopRequested()) {
            if (CFontFilesXML* document = DocumentOf(item))
                document->cancelAddition = TRUE;
        }
        if (!isTop && !m_params.onePerFolder) {
            m_top->count += item.count;
            return;
        }
        if (item.document) {
            item.document->Get()->SetModified(TRUE);
            item.document->Get()->SaveIfModified();
            item.document.reset();  // leaves the shown-set path's lock before the tree is written
        }
        if (item.created) {
            CSetFileLock fileLock;
            if (CFontFilesXML* tree = GetAppSetTree()) {
                tree->SetNodeValueH(item.idPath, item.count);
                if (!usedExistingSource)
                    tree->SetNodeSourcePath(item.idPath, setFolder);
            }
        }
    }

    CFontFilesXML* DocumentOf(ScanItem& item) const
    {
        if (m_params.onePerFolder)
            return item.document ? item.document->Get() : nullptr;
        return m_top->document ? m_top->document->Get() : nullptr;
    }

    void AddFile(ScanItem& item, const std::wstring& fileName, const std::wstring& setFolder)
    {
        CFontItemArray records;
        if (!ReadFontFileByExtension(item.folder, fileName, setFolder, records) || records.GetSize() == 0)
            return;
        if (m_params.onePerFolder && !item.document && !OpenDocument(item, setFolder))
            return;
        ScanItem& owner = m_params.onePerFolder ? item : *m_top;
        CFontFilesXML* document = DocumentOf(item);
        if (!document)
            return;
        document->progressWindow = m_params.hwndOwner;
        for (CFontItemInfo& record : records) {
            int duplicates = 0;
            if (AddFontFile(*document, record, setFolder, item.folder.c_str(), duplicates, FALSE, owner.index.get())) {
                ++item.count;
                ++m_params.fontsAdded;
            }
            // A face the set holds already counts as a duplicate, not as added.
            item.count -= duplicates;
            m_params.fontsAdded -= duplicates;
            m_params.duplicates += duplicates;
            ReportAdded(m_params.hwndOwner, record);
        }
    }

    static bool IsDots(const wchar_t* name)
    {
        return (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
    }

    SetFromFolderParams& m_params;
    ScanItem* m_top = nullptr;
    std::wstring m_topSetFolder;
    FolderLoopGuard m_guard;
};

}  // namespace

UINT __cdecl AddFilesThreadProc(LPVOID param)
{
    auto* params = static_cast<AddFilesParams*>(param);
    if (!params)
        return 0;
    CWorkerComApartment com;
    if (!com.Ok())
        return 0;
    {
        // The shown list's document whenever the list shows this set (a second document over the
        // same stream would lose one side's records at the next save), else the set's stream,
        // created when missing.
        SetDocument document;
        if (document.Open(params->idPath, TRUE)) {
            CFontFilesXML* target = document.Get();
            params->document = target;
            target->progressWindow = params->hwndOwner;
            int duplicates = 0, fileCount = 0, current = 0;
            const int added = AddFontFiles(*target, params->setFolder, params->fileFolder, params->files, duplicates,
                                           &fileCount, &current);
            params->fileCount = fileCount;
            params->currentFile = current;
            params->result = added;
            params->duplicates = duplicates;
            params->recordCount = static_cast<int32_t>(target->CountRecords());
            target->progressWindow = nullptr;
        }
        params->document = nullptr;
    }
    PostWorkerDone(params, AfxGetThread(), kWorkerResultDone, kWorkerAddFiles);
    return kWorkerResultDone;
}

UINT __cdecl SetFromFolderThreadProc(LPVOID param)
{
    auto* params = static_cast<SetFromFolderParams*>(param);
    if (!params || !params->thread.load())
        return 0;
    params->fontsAdded = 0;
    params->duplicates = 0;
    CWorkerComApartment com;
    if (!com.Ok())
        return 0;
    std::wstring topName = params->topName;
    if (topName.empty())
        topName = GetFileTitle(params->folder, true, false);
    SetFromFolderScan(*params).Run(topName);
    PostWorkerDone(params, AfxGetThread(), kWorkerResultDone, kWorkerSetFromFolder);
    return kWorkerResultDone;
}

UINT __cdecl InstalledToSetThreadProc(LPVOID param)
{
    auto* params = static_cast<InstalledToSetParams*>(param);
    if (!params)
        return 0;
    CWorkerComApartment com;
    if (!com.Ok())
        return 0;
    CFontItemArray& installed = GetInstalledFontRecords();
    params->added = 0;
    installed.Lock();
    params->total = installed.GetSize();
    installed.Unlock();
    {
        SetDocument document;
        if (document.Open(params->idPath, TRUE)) {
            CFontFilesXML* target = document.Get();
            target->progressWindow = params->hwndOwner;
            const std::wstring fontsFolder = GetAppSystemFontsFolder();
            CSetRecordIndex index;
            index.Build(*target, fontsFolder);
            for (int i = 0; !params->StopRequested(); ++i) {
                // A copy taken under the list's lock: the pane may refill the list meanwhile.
                CFontItemInfo record;
                installed.Lock();
                const bool inside = i < installed.GetSize();
                if (inside)
                    record = installed[i];
                installed.Unlock();
                if (!inside)
                    break;
                if (record.path.empty()) {
                    --params->total;
                    continue;
                }
                int duplicates = 0;
                if (AddFontFile(*target, record, fontsFolder, nullptr, duplicates, FALSE, &index))
                    ++params->added;
                ReportAdded(params->hwndOwner, record);
            }
            target->SaveIfModified();
            target->progressWindow = nullptr;
        }
    }
    PostWorkerDone(params, AfxGetThread(), kWorkerResultDone, kWorkerInstalledToSet);
    return kWorkerResultDone;
}

bool StartAddFiles(AddFilesParams& params, HWND owner, WorkerStopFlag* stop, const AddFilesRequest& request)
{
    PrepareWorkerStart(&params, owner, stop);
    params.currentFile = 0;
    params.fileCount = 0;
    params.setFolder = request.setFolder;
    params.fileFolder = request.fileFolder;
    params.files = request.files;
    params.document = nullptr;
    params.result = 0;
    params.duplicates = 0;
    params.shownSet = request.shownSet;
    params.folderFlag = request.folderFlag;
    params.idPath = request.idPath;
    params.recordCount = 0;
    return StartWorkerThread(new CThreadFontsOperations(AddFilesThreadProc, &params, kWorkerAddFiles), &params);
}

bool StartSetFromFolder(SetFromFolderParams& params, HWND owner, const SetFromFolderRequest& request)
{
    PrepareWorkerStart(&params, owner, &params.ownStop);
    params.folder = request.folder;
    params.existingSourceFolder = request.existingSourceFolder;
    params.topName = request.topName;
    params.documentInUse = nullptr;
    params.idPath = request.idPath;
    params.fontsAdded = 0;
    params.duplicates = 0;
    params.subFolders = request.subFolders;
    params.onePerFolder = request.onePerFolder;
    params.existingSet = request.existingSet;
    return StartWorkerThread(new CThreadFontsOperations(SetFromFolderThreadProc, &params, kWorkerSetFromFolder),
                             &params);
}

bool StartInstalledToSet(InstalledToSetParams& params, HWND owner, const CWordArray& idPath)
{
    PrepareWorkerStart(&params, owner, &params.ownStop);
    params.added = 0;
    params.total = 0;
    params.idPath = idPath;
    return StartWorkerThread(new CThreadFontsOperations(InstalledToSetThreadProc, &params, kWorkerInstalledToSet),
                             &params);
}

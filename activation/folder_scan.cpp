#include "activation/folder_scan.h"

#include "core/bitmap_reader.h"
#include "core/helpers.h"
#include "core/sfnt_reader.h"
#include "core/type1_reader.h"

namespace {

bool IsDotEntry(const wchar_t* name)
{
    return (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
}

bool IsFolder(const WIN32_FIND_DATAW& entry)
{
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring ExtensionOf(const std::wstring& fileName)
{
    size_t dot = fileName.find_last_of(L'.');
    if (dot == std::wstring::npos)
        return {};
    return fileName.substr(dot + 1);
}

bool SameText(const std::wstring& a, const wchar_t* b)
{
    return _wcsicmp(a.c_str(), b) == 0;
}

class FindHandle {
public:
    explicit FindHandle(HANDLE h) : m_h(h) {}
    ~FindHandle()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            FindClose(m_h);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool Valid() const { return m_h != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h;
};

// Kind 0: one level of the walk.
void ReadFolder(FolderReadParams& params, FolderLoopGuard& guard, const std::wstring& folder, int depth)
{
    if (folder.empty())
        return;
    WIN32_FIND_DATAW entry;
    FindHandle find(FindFirstFileW((folder + L"\\*.*").c_str(), &entry));
    if (!find.Valid())
        return;
    CFontItemArray& list = *params.target;
    do {
        if (IsFolder(entry)) {
            if (IsDotEntry(entry.cFileName))
                continue;
            if (params.StopRequested())
                return;
            if (params.recursive) {
                std::wstring sub = folder + L"\\" + entry.cFileName;
                if (guard.Enter(entry, sub, depth + 1)) {
                    ReadFolder(params, guard, sub, depth + 1);
                    guard.Leave();
                }
            }
            continue;
        }
        std::wstring fullPath = folder + L"\\" + entry.cFileName;
        // Deeper files keep their path relative to the scanned folder.
        std::wstring name = depth == 0 ? std::wstring(entry.cFileName) : L"." + fullPath.substr(params.folder.size());
        list.Lock();
        const int recordsBefore = list.GetSize();
        if (ReadFontFileByExtension(fullPath, name, folder, entry.cFileName, list, params.folder)) {
            params.fontFiles.fetch_add(1);
            // Large fonts are drawn ahead of need; the records this file added are the ones to queue.
            if (PreviewImageCache* cache = list.previewCache) {
                for (int i = recordsBefore; i < list.GetSize(); ++i) {
                    const CFontItemInfo& record = list[i];
                    if (record.IsLarge())
                        cache->renderAhead.push_back(CCacheFontImageIndexItem{0, i, record.itemId});
                }
            }
        }
        list.Unlock();
        params.filesMet.fetch_add(1);
    } while (!params.StopRequested() && FindNextFileW(find.Get(), &entry));
}

// Kind 1: one level of the count.
void CountFolder(FolderScanParams& params, FolderLoopGuard& guard, const std::wstring& folder, int depth)
{
    if (folder.empty())
        return;
    WIN32_FIND_DATAW entry;
    FindHandle find(FindFirstFileW((folder + L"\\*.*").c_str(), &entry));
    if (!find.Valid())
        return;
    do {
        if (IsFolder(entry)) {
            if (IsDotEntry(entry.cFileName) || !params.recursive)
                continue;
            std::wstring sub = folder + L"\\" + entry.cFileName;
            if (guard.Enter(entry, sub, depth + 1)) {
                CountFolder(params, guard, sub, depth + 1);
                guard.Leave();
            }
            continue;
        }
        params.fileCount.fetch_add(1);
        if (IsFontFileExtension(entry.cFileName))
            params.fontFileCount.fetch_add(1);
    } while (!params.StopRequested() && FindNextFileW(find.Get(), &entry));
}

}  // namespace

bool IsFontFileExtension(const std::wstring& fileName)
{
    const std::wstring ext = ExtensionOf(fileName);
    for (const wchar_t* known : {L"fon", L"fnt", L"ttf", L"otf", L"ttc", L"pfm"}) {
        if (SameText(ext, known))
            return true;
    }
    return false;
}

bool ReadFontFileByExtension(const std::wstring& fullPath, const std::wstring& displayName, const std::wstring& folder,
                             const std::wstring& fileName, CFontItemArray& list, const std::wstring& baseFolder)
{
    const std::wstring ext = ExtensionOf(fileName);
    if (SameText(ext, L"fon")) {
        BitmapFontReader reader;
        return reader.ReadFonFile(fullPath, displayName, list);
    }
    if (SameText(ext, L"fnt")) {
        BitmapFontReader reader;
        return reader.ReadFntFile(fullPath, displayName, &list);
    }
    if (SameText(ext, L"ttf") || SameText(ext, L"otf"))
        return ReadSfntFile(fullPath, displayName, list);
    if (SameText(ext, L"ttc"))
        return ReadTtcFile(fullPath, displayName, list);
    if (SameText(ext, L"pfm")) {
        Type1FontReader reader;
        return reader.ReadType1FontFile(folder, fileName, list, std::wstring(), baseFolder);
    }
    return false;
}

bool FolderLoopGuard::GetFolderId(const std::wstring& path, FolderId& out)
{
    // Backup semantics open a folder; no access right is needed for its identity.
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!ok || (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0))
        return false;
    out = FolderId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

void FolderLoopGuard::EnterRoot(const std::wstring& path)
{
    FolderId id{};
    const bool known = GetFolderId(path, id);
    m_chain.push_back(id);
    m_known.push_back(known);
}

bool FolderLoopGuard::Enter(const WIN32_FIND_DATAW& entry, const std::wstring& path, int depth)
{
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return false;
    if (depth > kMaxDepth)
        return false;
    FolderId id{};
    const bool known = GetFolderId(path, id);
    if (known) {
        for (size_t i = 0; i < m_chain.size(); ++i) {
            const FolderId& a = m_chain[i];
            if (m_known[i] && a.volume == id.volume && a.indexHigh == id.indexHigh && a.indexLow == id.indexLow)
                return false;
        }
    }
    m_chain.push_back(id);
    m_known.push_back(known);
    return true;
}

void FolderLoopGuard::Leave()
{
    if (!m_chain.empty()) {
        m_chain.pop_back();
        m_known.pop_back();
    }
}

UINT __cdecl FolderReadThreadProc(LPVOID param)
{
    auto* params = static_cast<FolderReadParams*>(param);
    if (!params)
        return static_cast<UINT>(kWorkerResultMissing);
    int result = kWorkerResultMissing;
    if (params->target) {
        FolderLoopGuard guard;
        guard.EnterRoot(params->folder);
        ReadFolder(*params, guard, params->folder, 0);
        result = (!params->stopFlag || params->StopRequested()) ? kWorkerResultStopped : kWorkerResultDone;
    }
    PostWorkerDone(params, AfxGetThread(), result, kWorkerFolderRead);
    return static_cast<UINT>(result);
}

UINT __cdecl FolderCountThreadProc(LPVOID param)
{
    auto* params = static_cast<FolderScanParams*>(param);
    if (!params)
        return static_cast<UINT>(kWorkerResultMissing);
    FolderLoopGuard guard;
    guard.EnterRoot(params->folder);
    CountFolder(*params, guard, params->folder, 0);
    const int result = params->StopRequested() ? kWorkerResultStopped : kWorkerResultDone;
    PostWorkerDone(params, AfxGetThread(), result, kWorkerFolderCount);
    return static_cast<UINT>(result);
}

bool StartFolderRead(FolderReadParams& params, HWND owner, WorkerStopFlag* stop, const std::wstring& folder,
                     BOOL recursive, CFontItemArray* target)
{
    PrepareWorkerStart(&params, owner, stop);
    params.filesMet = 0;
    params.fontFiles = 0;
    params.folder = folder;
    params.recursive = recursive;
    params.target = target;
    return StartWorkerThread(new CFontsBrowseThread(FolderReadThreadProc, &params, kWorkerFolderRead), &params);
}

bool StartFolderCount(FolderScanParams& params, HWND owner, WorkerStopFlag* stop, const std::wstring& folder,
                      BOOL recursive)
{
    PrepareWorkerStart(&params, owner, stop);
    params.fileCount = 0;
    params.fontFileCount = 0;
    params.folder = folder;
    params.recursive = recursive;
    return StartWorkerThread(new CFontsBrowseThread(FolderCountThreadProc, &params, kWorkerFolderCount), &params);
}

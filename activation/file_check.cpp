#include "activation/file_check.h"

#include "activation/app_state.h"
#include "core/font_record.h"
#include "core/helpers.h"

namespace {

bool PathExists(const std::wstring& path)
{
    if (path.empty())
        return false;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return true;
}

}  // namespace

UINT __cdecl FileCheckThreadProc(LPVOID param)
{
    auto* params = static_cast<TextThreadParams*>(param);
    if (!params)
        return static_cast<UINT>(kWorkerResultMissing);
    CFontItemArray& list = GetSetListFonts();
    for (int row = 0; !params->StopRequested(); ++row) {
        std::wstring path;
        int32_t itemId = 0;
        list.Lock();
        const CFontItemInfo* record = list.GetAt(row);
        if (record) {
            record->GetFilePath(path, true);
            path = CombinePath(CombinePath(path, record->baseFolder), params->baseFolder);
            itemId = record->itemId;
        }
        list.Unlock();
        if (!record)
            break;
        // The file system is asked without the lock, so the list's view is not held up by a slow disc.
        const bool exists = PathExists(path);
        bool changed = false;
        list.Lock();
        CFontItemInfo* now = list.GetAt(row);
        if (now && now->itemId == itemId) {  // the row may have moved meanwhile
            if (!exists && now->kind < KindMissingOffset) {
                now->kind += KindMissingOffset;
                now->loaded = 0;
                changed = true;
            } else if (exists && now->kind >= KindMissingOffset) {
                now->kind -= KindMissingOffset;
                changed = true;
            }
        }
        list.Unlock();
        if (changed && params->hwndOwner)
            PostMessageW(params->hwndOwner, WM_FONT_ROW_CHANGED, static_cast<WPARAM>(row), 1);
    }
    const int result = params->StopRequested() ? kWorkerResultStopped : kWorkerResultDone;
    PostWorkerDone(params, AfxGetThread(), result, kWorkerFileCheck);
    return static_cast<UINT>(result);
}

bool StartFileCheck(TextThreadParams& params, HWND owner, WorkerStopFlag* stop, const std::wstring& baseFolder)
{
    PrepareWorkerStart(&params, owner, stop);
    params.baseFolder = baseFolder;
    return StartWorkerThread(new CFontsBrowseThread(FileCheckThreadProc, &params, kWorkerFileCheck), &params);
}

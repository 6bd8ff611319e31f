#include "activation/list_refresh.h"

#include <algorithm>
#include <mutex>

#include "activation/app_state.h"
#include "activation/pipe_server.h"
#include "core/helpers.h"
#include "core/installed_fonts.h"
#include "core/loaded_fonts.h"

namespace {

bool IsNameInUse(const std::wstring& fullName)
{
    if (fullName.empty())
        return false;
    EnterCriticalSection(GetInUseFontNamesLock());
    const CStringArray& names = GetInUseFontNames();
    auto it = std::lower_bound(names.begin(), names.end(), fullName, [](const std::wstring& a, const std::wstring& b) {
        return CompareLocale(a, b, true) < 0;
    });
    const bool found = it != names.end() && CompareLocale(*it, fullName, true) == 0;
    LeaveCriticalSection(GetInUseFontNamesLock());
    return found;
}

}  // namespace

void RefreshFontStates(CFontItemArray& list, const WorkerStopFlag* stop)
{
    const CRegistryInstalledFontArray& registry = GetInstalledFontArray();
    for (int i = 0; !(stop && stop->load()); ++i) {
        // The record is worked on as a copy, so the list's lock is not held over the look-ups.
        CFontItemInfo record;
        list.Lock();
        const bool inside = i < list.GetSize();
        if (inside)
            record = list[i];
        list.Unlock();
        if (!inside)
            break;
        if (record.names.IsEmpty()) {
            list.Lock();
            if (CFontItemInfo* now = list.GetAt(i); now && now->itemId == record.itemId)
                now->loaded = now->installed = now->inUse = now->trackedLoad = 0;
            list.Unlock();
            break;
        }
        int loaded = 0, installed = 0, inUse = 0, trackedLoad = 0;
        const int entry = registry.FindKey(record.GetRegistryName(), record.kind);
        if (entry >= 0 && registry[entry].reserved != 0) {
            loaded = 1;
            installed = registry[entry].systemFont;
        }
        if (!loaded) {
            {
                std::lock_guard<std::recursive_mutex> loadedLock(GLYLoadedFontsMutex());
                if (GetGLYLoadedFonts().Find(record, false) >= 0)
                    loaded = trackedLoad = 1;
            }
            if (IsNameInUse(record.GetName(NameFull)))
                loaded = inUse = 1;
        }
        list.Lock();
        // Written back only when the row still holds the same font.
        if (CFontItemInfo* now = list.GetAt(i); now && now->itemId == record.itemId) {
            now->loaded = loaded;
            now->installed = installed;
            now->inUse = inUse;
            now->trackedLoad = trackedLoad;
        }
        list.Unlock();
    }
}

UINT __cdecl ListRefreshThreadProc(LPVOID param)
{
    auto* params = static_cast<FlagThreadParams*>(param);
    if (!params)
        return 0;
    CFontItemArray& list = params->setList ? GetSetListFonts() : GetFolderListFonts();
    RefreshFontStates(list, params->stopFlag);
    const int result = (!params->stopFlag || params->StopRequested()) ? kWorkerResultStopped : kWorkerResultDone;
    PostWorkerDone(params, AfxGetThread(), result, kWorkerListRefresh);
    return static_cast<UINT>(result);
}

bool StartListRefresh(FlagThreadParams& params, HWND owner, WorkerStopFlag* stop, BOOL setList)
{
    PrepareWorkerStart(&params, owner, stop);
    params.setList = setList ? 1 : 0;
    return StartWorkerThread(new CFontsBrowseThread(ListRefreshThreadProc, &params, kWorkerListRefresh), &params);
}

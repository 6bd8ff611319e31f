#include "activation/set_load_worker.h"

#include "activation/app_state.h"
#include "storage/font_files_xml.h"
#include "storage/set_file.h"
#include "storage/set_records.h"

UINT __cdecl SetFontsLoadThreadProc(LPVOID param)
{
    auto* params = static_cast<SetFontsLoadParams*>(param);
    if (!params)
        return 0;
    CWorkerComApartment com;
    if (!com.Ok())
        return 0;
    if (params->document && params->list) {
        CLockedWordArray& shownPath = GetShownSetPath();
        shownPath.EnableLock(TRUE);
        CShownSetLock shownLock;
        std::wstring name;
        if (CFontFilesXML::MakeSetStreamName(params->idPath, name)) {
            CFontFilesXML& document = *params->document;
            document.SaveIfModified();
            BOOL opened = FALSE;
            {
                CSetFileLock fileLock;  // the storage stays open while the stream is read
                opened = document.OpenOrCreate(name, GetAppSetStorage(), FALSE, FALSE);
            }
            if (opened) {
                shownPath.assign(params->idPath.begin(), params->idPath.end());
                SetShownSetDocument(&document);
                // Read while the shown-set lock is still held: other workers write into this
                // document under that lock.
                int count = 0;
                ReadSetRecords(document, *params->list, count);
                params->recordsRead = params->list->GetSize();
                params->recordsTotal = count;
            } else {
                document.OpenOrCreate(std::wstring(), nullptr, FALSE, FALSE);  // empties it
                shownPath.clear();
                CFontItemArray& list = *params->list;
                list.Lock();
                list.RemoveAll();
                list.Unlock();
            }
        }
    }
    PostWorkerDone(params, AfxGetThread(), kWorkerResultDone, kWorkerSetLoad);
    return kWorkerResultDone;
}

bool StartSetFontsLoad(SetFontsLoadParams& params, HWND owner, CFontFilesXML* document, const CWordArray& idPath,
                       CFontItemArray* list)
{
    PrepareWorkerStart(&params, owner, &params.ownStop);
    params.recordsRead = 0;
    params.recordsTotal = 0;
    params.document = document;
    params.idPath = idPath;
    params.list = list;
    return StartWorkerThread(new CThreadFontsOperations(SetFontsLoadThreadProc, &params, kWorkerSetLoad), &params);
}

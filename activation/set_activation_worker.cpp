#include "activation/set_activation_worker.h"

#include "activation/app_state.h"
#include "storage/font_files_xml.h"

UINT __cdecl SetActivationThreadProc(LPVOID param)
{
    auto* params = static_cast<SetActivationParams*>(param);
    if (!params)
        return static_cast<UINT>(kWorkerResultMissing);
    params->done = 0;
    CWorkerComApartment com;
    if (!com.Ok()) {
        params->done = 1;
        return 0;
    }
    int result = kWorkerResultMissing;
    if (params->setTree) {
        int changed = 0;
        {
            // The set fonts list's document is used under the shown-set path's lock, taken before
            // the set file's lock that the activation takes.
            CShownSetLock shownLock;
            CWordArray shownPath = GetShownSetPath();
            CFontFilesXML* shownDocument = GetShownSetDocument();
            if (params->activate)
                changed = params->setTree->ActivateSetFonts(params->idPath, shownDocument, &shownPath, params->mode, 1,
                                                             TRUE, TRUE);
            else
                changed = params->setTree->DeactivateSetFonts(params->idPath, shownDocument, &shownPath,
                                                               params->mode, 1, FALSE, TRUE, TRUE);
        }
        result = changed > 0 ? kWorkerResultDone : kWorkerResultNoChange;
    }
    params->done = 1;
    // Posted whenever there is an owner: the owner clears it before it stops a run it no longer wants.
    if (params->hwndOwner)
        PostMessageW(params->hwndOwner, WM_WORKER_DONE, static_cast<WPARAM>(static_cast<INT_PTR>(result)),
                     kWorkerSetActivation);
    return static_cast<UINT>(result);
}

bool StartSetActivation(SetActivationParams& params, HWND owner, WorkerStopFlag* stop, BOOL activate,
                        const CWordArray& idPath, CFontFilesXML* setTree, LPARAM item)
{
    PrepareWorkerStart(&params, owner, stop);
    params.activate = activate ? 1 : 0;
    params.idPath = idPath;
    params.setTree = setTree;
    params.item = item;
    params.mode = 2;
    params.done = 0;
    if (StartWorkerThread(new CThreadFontsOperations(SetActivationThreadProc, &params, kWorkerSetActivation), &params))
        return true;
    params.done = 1;
    return false;
}

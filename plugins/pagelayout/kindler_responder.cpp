#include "kindler_responder.h"

#include <process.h>

namespace {
constexpr int32_t kHostRunning = 2;

// The dialog of the plug-in's view resource, created modal; null when the host cannot make it.
IDialog* CreateMissingFontsDialog(IDialogMgr* dialogMgr) {
  RsrcSpec spec;
  spec.locale = WLocaleSetting::GetLocale();
  spec.plugin = kKindlerPluginID;
  spec.type = kViewRsrcType;
  spec.id = kKindlerDialogRsrcID;
  spec.visible = true;
  return dialogMgr->CreateNewDialog(spec, IDialogMgr::kMovableModal);
}
}  // namespace

CKindlerServiceProvider::CKindlerServiceProvider(IPMUnknown* boss) : CServiceProvider(boss) {
  fServiceIDs.push_back(kAfterOpenDocSignalResponderService);
}

void CKindlerServiceProvider::GetName(PMString* name) {
  if (name) *name = PMString(L"Kindler Responder Service");  // a name, not a key: not translated
}

ServiceID CKindlerServiceProvider::GetServiceID() { return fServiceIDs.front(); }

void CKindlerServiceProvider::GetServiceIDs(std::vector<ServiceID>& ids) {
  ids.insert(ids.end(), fServiceIDs.begin(), fServiceIDs.end());
}

void CKindlerResponder::Respond(ISignalMgr* signalMgr) {
  ISession* session = GetExecutionContextSession();
  if (!signalMgr || !session) return;
  if (session->GetState() != kHostRunning || signalMgr->GetServiceID() != kAfterOpenDocSignalResponderService)
    return;
  MissingFontRecordArray* records = GetStoreRecords();
  if (!records) return;
  records->clear();

  InterfacePtr<IDocumentUtils> utils(static_cast<IDocumentUtils*>(UtilsBoss::QueryUtils(IID_IDOCUMENTUTILS)));
  if (!utils) return;
  InterfacePtr<IDocument> document(utils->GetSignalDocument(), IID_IDOCUMENT);
  if (!document) return;
  InterfacePtr<IDocFontList> fonts(document.get(), IID_IDOCFONTLIST);
  if (!fonts) return;
  IDataBase* database = document->GetDataBase();
  const int32_t count = fonts->GetFontCount(0);
  for (int32_t i = 0; i < count; ++i) {
    UID fontUID = kInvalidUID;
    PMString listName;
    if (!fonts->GetNthFont(i, &fontUID, &listName, 0, 0, 1) || !database) continue;
    InterfacePtr<IPMFont> font(static_cast<IPMFont*>(database->Instantiate(fontUID, IID_IPMFONT)));
    if (!font) continue;
    PMString first = font->GetFontName();
    PMString second = font->GetPostScriptName(first);
    MissingFontRecord record;
    record.name = second.empty() ? first : second;
    records->push_back(record);
  }
  // Skipped entries leave nothing to activate: no dialog, no launch.
  if (records->size() > 0) StartActivationSession();
}

void CKindlerResponder::StartActivationSession() {
  ActivationSession* activation = GetStoreSession();
  if (!activation) return;
  activation->BeginSession();

  ISession* session = GetExecutionContextSession();
  InterfacePtr<IApplication> application(session ? session->QueryApplication() : nullptr);
  if (!application) return;
  InterfacePtr<IDialogMgr> dialogMgr(application.get(), IID_IDIALOGMGR);
  if (!dialogMgr) return;
  InterfacePtr<IDialog> dialog(CreateMissingFontsDialog(dialogMgr.get()));
  if (!dialog) return;
  InterfacePtr<IPanelControlData> panel(dialog.get(), IID_IPANELCONTROLDATA);
  dialog->Open();

  InterfacePtr<IIdleTask> idleTask(session, IID_IPIPEIDLETASK);
  if (idleTask) idleTask->InstallTask(0);

  fStartRecord.mainWindowSlot = GetStoreMainWindowSlot();
  fStartRecord.session = activation;
  fStartRecord.records = GetStoreRecords();
  HANDLE worker = reinterpret_cast<HANDLE>(
      _beginthreadex(nullptr, 0, ActivationThreadProc, &fStartRecord, 0, nullptr));
  if (!worker) activation->finished = 1;  // the idle task then ends the dialog's busy state

  if (panel) {
    if (IControlView* cancel = panel->FindWidget(kCancelButtonWidgetID)) cancel->Enable(true);
    if (IControlView* ok = panel->FindWidget(kOKButtonWidgetID)) ok->Disable();
  }
  dialog->WaitForDialog();

  // The worker uses the session and the records: stop it and wait before anyone else may.
  if (worker) {
    activation->RequestStop();
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
  }
  if (idleTask) idleTask->UninstallTask();
}

void OpenMissingFontsDialog() {
  ISession* session = GetExecutionContextSession();
  InterfacePtr<IApplication> application(session ? session->QueryApplication() : nullptr);
  if (!application) return;
  InterfacePtr<IDialogMgr> dialogMgr(application.get(), IID_IDIALOGMGR);
  if (!dialogMgr) return;
  InterfacePtr<IDialog> dialog(CreateMissingFontsDialog(dialogMgr.get()));
  if (!dialog) return;
  dialog->Open();
  dialog->WaitForDialog();
}

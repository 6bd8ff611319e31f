#include "SDKBases.h"

namespace {
IHostServices* gHost = nullptr;

class PlugInEntry final : public IPlugIn {
 public:
  const PlugInDeclaration& GetDeclaration() const override { return gPlugInDeclaration; }
  void SetHostServices(IHostServices* host) override { gHost = host; }
};
PlugInEntry gEntry;
}  // namespace

IHostServices* GetHostServices() { return gHost; }

extern "C" __declspec(dllexport) IPlugIn* GetPlugIn() { return &gEntry; }

ISession* GetExecutionContextSession() { return gHost ? gHost->GetExecutionContextSession() : nullptr; }

IPMUnknown* UtilsBoss::QueryUtils(PMIID iid) { return gHost ? gHost->QueryUtils(iid) : nullptr; }

PMLocaleId WLocaleSetting::GetLocale() { return gHost ? gHost->GetLocale() : kLocaleEnglishUS; }

void PMString::Translate() {
  std::wstring text;
  if (gHost && gHost->Translate(fText, text)) fText = std::move(text);
}

int32_t CAlert::ModalAlert(const PMString& text, const PMString& button1, const PMString& button2,
                           const PMString& button3, int32_t defaultButton, int32_t) {
  return gHost ? gHost->ModalAlert(text, button1, button2, button3, defaultButton) : 0;
}

void SDKFolderChooser::ShowDialog() {
  std::wstring folder;
  fChosen = gHost && gHost->ChooseFolder(fTitle, folder);
  fFolder = IDFile(fChosen ? folder : std::wstring());
}

void CIdleTask::InstallTask(uint32_t delay) {
  ISession* session = GetExecutionContextSession();
  InterfacePtr<IIdleTaskMgr> mgr(session, IID_IIDLETASKMGR);
  if (mgr) mgr->AddTask(this, delay);
}

void CIdleTask::UninstallTask() {
  ISession* session = GetExecutionContextSession();
  InterfacePtr<IIdleTaskMgr> mgr(session, IID_IIDLETASKMGR);
  if (mgr) mgr->RemoveTask(this);
}

namespace {
// The panel of the dialog this observer belongs to.
IPanelControlData* PanelOf(const IPMUnknown* boss) {
  return static_cast<IPanelControlData*>(boss->QueryInterface(IID_IPANELCONTROLDATA));
}
}  // namespace

void CDialogObserver::AttachToWidget(WidgetID widget, PMIID protocol) {
  InterfacePtr<IPanelControlData> panel(PanelOf(fBoss));
  IControlView* view = panel ? panel->FindWidget(widget) : nullptr;
  InterfacePtr<ISubject> subject(view, IID_ISUBJECT);
  if (subject) subject->AttachObserver(this, protocol, fIID);
}

void CDialogObserver::DetachFromWidget(WidgetID widget, PMIID protocol) {
  InterfacePtr<IPanelControlData> panel(PanelOf(fBoss));
  IControlView* view = panel ? panel->FindWidget(widget) : nullptr;
  InterfacePtr<ISubject> subject(view, IID_ISUBJECT);
  if (subject) subject->DetachObserver(this, protocol, fIID);
}

void CDialogObserver::AutoAttach() {
  AttachToWidget(kOKButtonWidgetID, IID_IBOOLEANCONTROLDATA);
  AttachToWidget(kCancelButtonWidgetID, IID_IBOOLEANCONTROLDATA);
}

void CDialogObserver::AutoDetach() {
  DetachFromWidget(kOKButtonWidgetID, IID_IBOOLEANCONTROLDATA);
  DetachFromWidget(kCancelButtonWidgetID, IID_IBOOLEANCONTROLDATA);
}

void CDialogObserver::Update(ClassID theChange, ISubject* theSubject, PMIID protocol, void*) {
  if (theChange != kTrueStateMessage || protocol != IID_IBOOLEANCONTROLDATA) return;
  InterfacePtr<IControlView> view(theSubject, IID_ICONTROLVIEW);
  if (!view) return;
  WidgetID id = view->GetWidgetID();
  if (id != kOKButtonWidgetID && id != kCancelButtonWidgetID) return;
  InterfacePtr<IDialogController> controller(fBoss, IID_IDIALOGCONTROLLER);
  if (id == kOKButtonWidgetID && controller) {
    if (!controller->ValidateDialogFields()) return;
    controller->ApplyDialogFields();
  }
  InterfacePtr<IDialog> dialog(fBoss, IID_IDIALOG);
  if (dialog) dialog->Close(id == kOKButtonWidgetID);
}

void CTreeViewWidgetMgr::GetStyle(int32_t n, int32_t& style, RsrcID& rsrc, PluginID& plugin) const {
  if (n < 0 || n >= static_cast<int32_t>(fStyles.size())) return;
  style = fStyles[n].style;
  rsrc = fStyles[n].rsrc;
  plugin = fStyles[n].plugin;
}

void CTreeViewWidgetMgr::RegisterStyleWidget(int32_t style, RsrcID rsrc, PluginID plugin) {
  fStyles.push_back({style, rsrc, plugin});
}

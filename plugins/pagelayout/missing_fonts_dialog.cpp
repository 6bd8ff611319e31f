#include "missing_fonts_dialog.h"

#include <algorithm>

#include "activation/pipe_protocol.h"

namespace {

PMString Translated(const wchar_t* key) {
  PMString text(key);
  text.Translate();
  return text;
}

// The panel of the front-most dialog, with a reference; null when no dialog is open.
InterfacePtr<IPanelControlData> FrontDialogPanel() {
  ISession* session = GetExecutionContextSession();
  InterfacePtr<IApplication> application(session ? session->QueryApplication() : nullptr);
  InterfacePtr<IDialogMgr> dialogMgr(application.get(), IID_IDIALOGMGR);
  IDialog* dialog = dialogMgr ? dialogMgr->GetFrontmostDialog() : nullptr;
  return InterfacePtr<IPanelControlData>(dialog, IID_IPANELCONTROLDATA);
}

void SetStatusLine(IPanelControlData* panel, const PMString& text) {
  IControlView* view = panel ? panel->FindWidget(kStatusLineWidgetID) : nullptr;
  InterfacePtr<ITextControlData> data(view, IID_ITEXTCONTROLDATA);
  if (data) data->SetString(text);
}

// Title of the main program's window, as the status line quotes it.
std::wstring MainWindowTitle() {
  HWND window = GetStoreMainWindow();
  if (!window) return {};
  char title[128] = {};
  int length = GetWindowTextA(window, title, 128);
  if (length <= 0) return {};
  wchar_t wide[128] = {};
  int n = MultiByteToWideChar(CP_ACP, 0, title, length, wide, 127);
  return std::wstring(wide, n > 0 ? n : 0);
}

bool LaunchHasFailed(const ActivationSession* session) {
  return session && session->launchState == kLaunchFailed;
}

PMRGBColor Lighten(const PMRGBColor& c) {
  return {(c.red + 1.0) / 2, (c.green + 1.0) / 2, (c.blue + 1.0) / 2};
}

}  // namespace

RsrcID StatusIconId(uint8_t status, bool launchFailed) {
  using namespace glypipe;
  if (launchFailed || status == kStatusNotFound || status == kStatusFoundFileMissing ||
      status == kStatusActivationFailed)
    return kFailureImageRsrcID;
  if (status == kStatusActivated || status == kStatusAlreadyActive) return kSuccessImageRsrcID;
  return kPendingImageRsrcID;
}

const wchar_t* StatusStringKey(uint8_t status, bool launchFailed, bool sessionError) {
  if (launchFailed) return L"0x13d400kStrResMisc_LauchingFailedKey";
  if (sessionError && status <= glypipe::kStatusSearchingFolder) return L"0x13d400kStrResMisc_PipeTimeOutKey";
  switch (status) {
    case 6: return L"0x13d400kStrResStatus_ReadKey";
    case 7: return L"0x13d400kStrResStatus_SendingKey";
    case 8: return L"0x13d400kStrResStatus_ReceivedKey";
    case 9: return L"0x13d400kStrResStatus_SearchingDBKey";
    case 10: return L"0x13d400kStrResStatus_SearchingFolderKey";
    case 11: return L"0x13d400kStrResStatus_FindKey";
    case 12: return L"0x13d400kStrResSearchResult_NotFoundKey";
    case 13: return L"0x13d400kStrResSearchResult_FoundWithInvalidPathKey";
    case 14: return L"0x13d400kStrResSearchResult_ActivatedKey";
    case 15: return L"0x13d400kStrResSearchResult_ActivatedFailedKey";
    case 16: return L"0x13d400kStrResSearchResult_ActivatedAlreadyKey";
    default: return L"";
  }
}

const wchar_t* LaunchStateKey(int32_t launchState) {
  switch (launchState) {
    case kLaunching: return L"0x13d400kStrResMisc_LauchingAppKey";
    case kPluginOlderThanProgram: return L"0x13d400kStrResMisc_VersionLowerThanGLYKey";
    case kPluginNeedsNewerProgram: return L"0x13d400kStrResMisc_VersionHigherThanGLYKey";
    case kConnected: return L"0x13d400kStrResMisc_LauchingSucceedKey";
    case kLaunchFailed: return L"0x13d400kStrResMisc_LauchingFailedKey";
    default: return L"";
  }
}

void KindlerDialogObserver::AutoAttach() {
  CDialogObserver::AutoAttach();
  AttachToWidget(kCancelButtonWidgetID, IID_IBOOLEANCONTROLDATA);
}

void KindlerDialogObserver::AutoDetach() {
  CDialogObserver::AutoDetach();
  DetachFromWidget(kCancelButtonWidgetID, IID_IBOOLEANCONTROLDATA);
}

void KindlerDialogObserver::Update(ClassID theChange, ISubject* theSubject, PMIID protocol, void* changedBy) {
  CDialogObserver::Update(theChange, theSubject, protocol, changedBy);
  ActivationSession* session = GetStoreSession();
  if (!session || protocol != IID_IBOOLEANCONTROLDATA || theChange != kTrueStateMessage) return;
  InterfacePtr<IControlView> view(theSubject, IID_ICONTROLVIEW);
  if (view && view->GetWidgetID() == kCancelButtonWidgetID) session->RequestStop();
}

void MissingFontsListBoxWidgetMgr::RegisterStyles() {
  RegisterStyleWidget(2, kMissingFontsRowRsrcID, kKindlerPluginID);
}

WidgetID MissingFontsListBoxWidgetMgr::GetWidgetTypeForNode(const NodeID&) const {
  return kMissingFontsRowWidgetID;
}

int32_t MissingFontsListBoxViewAdapter::GetNumListItems() const {
  MissingFontRecordArray* records = GetStoreRecords();
  return records ? records->size() : 0;
}

void MissingFontsListBoxObserver::AutoAttach() {
  InterfacePtr<ISubject> subject(fBoss, IID_ISUBJECT);
  if (subject) subject->AttachObserver(this, IID_ITREEVIEWCONTROLLER, fIID);
}

void MissingFontsListBoxObserver::AutoDetach() {
  InterfacePtr<ISubject> subject(fBoss, IID_ISUBJECT);
  if (subject) subject->DetachObserver(this, IID_ITREEVIEWCONTROLLER, fIID);
}

void MissingFontsListBoxObserver::Update(ClassID, ISubject*, PMIID, void*) {
  // A selection has no meaning in this list.
}

void MissingFontsListBoxNodeCustomView::Draw(IGraphicsPort* port) {
  if (!port) return;
  ActivationSession* session = GetStoreSession();
  InterfacePtr<IInterfaceColors> colors(GetExecutionContextSession(), IID_IINTERFACECOLORS);
  PMRect frame = GetFrame();
  frame.MoveTo(0, 0);

  PMRGBColor background = colors ? colors->GetRGBColor(0) : PMRGBColor{1, 1, 1};
  PMRGBColor highlight = Lighten(colors ? colors->GetRGBColor(3) : PMRGBColor{0, 0, 0.5});
  port->SetColor(IsHilited() ? highlight : background);
  port->FillRect(frame);
  port->SetColor(highlight);
  port->DrawLine(frame.left, frame.bottom - 1, frame.right, frame.bottom - 1);

  InterfacePtr<ITreeNodeIDData> node(fBoss, IID_ITREENODEIDDATA);
  MissingFontRecordArray* records = GetStoreRecords();
  if (!node || !records) return;
  const int32_t row = node->Get().Get();
  if (row < 0 || row >= records->size()) return;
  const MissingFontRecord& record = (*records)[row];
  uint8_t status = record.status;
  if (session) {
    SessionLockHolder hold(session->lock);  // the worker writes it
    status = record.status;
  }
  const bool launchFailed = LaunchHasFailed(session);
  const bool sessionError = session && session->error != kSessionNoError;

  port->DrawImage(kKindlerPluginID, StatusIconId(status, launchFailed), frame.left + 2, frame.top + 2);
  double x = frame.left + 20;
  port->SetFont(kRowNameFont);
  port->DrawText(record.name, x, frame.top);
  x += port->MeasureText(record.name) + 1;
  if (colors) port->SetColor(colors->GetRGBColor(14));
  x += port->DrawImage(kKindlerPluginID, kSeparatorImageRsrcID, x, frame.top + 2);
  port->SetFont(kRowStatusFont);
  port->DrawText(Translated(StatusStringKey(status, launchFailed, sessionError)), x, frame.top);
}

uint32_t PipeIdleTask::RunTask(uint32_t appFlags, void*) {
  if (appFlags & 0x1D) return kOnFlagChange;
  fSession = GetStoreSession();
  UpdateFromSession();
  if (fSession && fSession->finished) UninstallTask();
  return 50;
}

void PipeIdleTask::UpdateFromSession() {
  if (!fSession) return;
  InterfacePtr<IPanelControlData> panel = FrontDialogPanel();
  if (!panel) return;
  if (fSession->folderRequest) {
    fSession->folderRequest = 0;
    AskSearchFolder(panel.get());
  }
  if (fSession->launchStateChanged) {
    statusShowsFolder = false;
    ShowLaunchState(panel.get());
  }
  if (fSession->infoChanged) {
    fSession->infoChanged = 0;
    statusShowsFolder = true;
    ShowSearchFolder(panel.get());
  }
  RefreshChangedRows(panel.get());
  if (fSession->finished) {
    // A failed launch or a pipe failure changes the text of rows that no status line touched.
    if (LaunchHasFailed(fSession) || fSession->error != kSessionNoError)
      if (IControlView* listBox = panel->FindWidget(kMissingFontsListBoxWidgetID)) listBox->Invalidate();
    if (fSession->anyActivated) {
      statusShowsFolder = false;
      SetStatusLine(panel.get(), Translated(L"0x13d400kStrResMisc_UpdatingFontSubsystemKey"));
      int result = RefreshHostFontSubsystem();
      SetStatusLine(panel.get(), Translated(result == 0 ? L"0x13d400kStrResMisc_UpdateFontSubsystemSucceedKey"
                                                        : L"0x13d400kStrResMisc_UpdateFontSubsystemFailedKey"));
    }
    FinishDialogButtons(panel.get());
  }
}

void PipeIdleTask::ShowLaunchState(IPanelControlData* panel) {
  fSession->launchStateChanged = 0;
  const int32_t state = fSession->launchState;
  PMString text = Translated(LaunchStateKey(state));
  if (state == kConnected || state == kLaunchFailed) text.ReplaceFirstPlaceholder(MainWindowTitle());
  SetStatusLine(panel, text);
}

void PipeIdleTask::ShowSearchFolder(IPanelControlData* panel) {
  PMString text = Translated(L"0x13d400kStrResMisc_SearchingInFolderKey");
  text.ReplaceFirstPlaceholder(fSession->GetInfoText().GetText());
  SetStatusLine(panel, text);
}

void PipeIdleTask::RefreshChangedRows(IPanelControlData* panel) {
  IControlView* listBox = panel->FindWidget(kMissingFontsListBoxWidgetID);
  InterfacePtr<ITreeViewMgr> treeMgr(listBox, IID_ITREEVIEWMGR);
  InterfacePtr<ITreeViewHierarchyAdapter> adapter(listBox, IID_ITREEVIEWHIERARCHYADAPTER);
  if (!listBox || !treeMgr || !adapter) return;
  MissingFontRecordArray* records = GetStoreRecords();
  const int32_t n = records ? records->size() : 0;
  std::vector<int32_t> changed = fSession->TakeChangedRows();
  if (changed.empty()) return;
  std::vector<int32_t> distinct;
  distinct.reserve(static_cast<size_t>(n));
  for (int32_t row : changed) {
    if (std::find(distinct.begin(), distinct.end(), row) == distinct.end()) distinct.push_back(row);
  }
  if (static_cast<int32_t>(distinct.size()) >= n) {
    listBox->Invalidate();
    return;
  }
  for (int32_t row : distinct) {
    if (row >= 0 && row < adapter->GetNumChildren(adapter->GetRootNode())) treeMgr->NodeChanged(NodeID(row));
  }
}

void PipeIdleTask::AskSearchFolder(IPanelControlData* panel) {
  PMString title = Translated(L"0x13d400kStrResMisc_SpecifyTheSearchFolderKey");
  SetStatusLine(panel, title);
  SDKFolderChooser chooser;
  chooser.SetTitle(title);
  chooser.ShowDialog();
  if (chooser.IsChosen()) {
    PMString folder = FileUtils::SysFileToPMString(chooser.GetIDFile());
    if (!folder.empty()) fSession->SetFolder(folder);
  }
  fSession->folderAnswered = 1;
}

void PipeIdleTask::FinishDialogButtons(IPanelControlData* panel) {
  if (IControlView* cancel = panel->FindWidget(kCancelButtonWidgetID)) cancel->Disable();
  if (IControlView* ok = panel->FindWidget(kOKButtonWidgetID)) ok->Enable(true);
  if (statusShowsFolder) SetStatusLine(panel, PMString());
}

int RefreshHostFontSubsystem() {
  ISession* session = GetExecutionContextSession();
  InterfacePtr<IFontMgr> fontMgr(session, IID_IFONTMGR);
  if (!fontMgr) return 1;
  auto sixtieths = [] { return static_cast<uint64_t>(GetTickCount64() / 16.6667); };
  const uint64_t start = sixtieths();
  const int32_t first = fontMgr->UpdateFontList(0, 0);
  while (fontMgr->UpdateFontList(1, 0) == first && sixtieths() - start < 200) Sleep(15);
  InterfacePtr<IFontMenus> menus(session, IID_IFONTMENUS);
  if (!menus) return 1;
  menus->RefreshFontMenus();
  menus->RebuildStyleMenus(0);
  return 0;
}

#pragma once
// The missing-fonts dialog: its controller and observer, the list's classes, and the idle task
// that mirrors the session into the dialog on the host's user-interface thread.
#include "session_store.h"
#include "sdk/SDKBases.h"

// Image and text of a row. `launchFailed`: the main program could not be started or reached.
RsrcID StatusIconId(uint8_t status, bool launchFailed);
const wchar_t* StatusStringKey(uint8_t status, bool launchFailed, bool sessionError);
// Untranslated text of a launch state; empty for none.
const wchar_t* LaunchStateKey(int32_t launchState);

class KindlerDialogController : public CDialogController {
 public:
  using CDialogController::CDialogController;
  void ApplyDialogFields() override {}
};

class KindlerDialogObserver : public CDialogObserver {
 public:
  using CDialogObserver::CDialogObserver;
  void AutoAttach() override;
  void AutoDetach() override;
  void Update(ClassID theChange, ISubject* theSubject, PMIID protocol, void* changedBy) override;
};

class MissingFontsListBoxWidgetMgr : public CTreeViewWidgetMgr {
 public:
  using CTreeViewWidgetMgr::CTreeViewWidgetMgr;
  void RegisterStyles() override;
  WidgetID GetWidgetTypeForNode(const NodeID&) const override;
  bool ApplyNodeIDToWidget(const NodeID&, IControlView*, int32_t) const override { return true; }
};

class MissingFontsListBoxViewAdapter : public ListTreeViewAdapter {
 public:
  using ListTreeViewAdapter::ListTreeViewAdapter;
  int32_t GetNumListItems() const override;
};

class MissingFontsListBoxObserver : public CObserver {
 public:
  explicit MissingFontsListBoxObserver(IPMUnknown* boss) : CObserver(boss, IID_IOBSERVER) {}
  void AutoAttach() override;
  void AutoDetach() override;
  void Update(ClassID theChange, ISubject* theSubject, PMIID protocol, void* changedBy) override;
};

class MissingFontsListBoxNodeCustomView : public CControlView {
 public:
  using CControlView::CControlView;
  void Draw(IGraphicsPort* port) override;
};

class PipeIdleTask : public CIdleTask {
 public:
  explicit PipeIdleTask(IPMUnknown* boss) : CIdleTask(boss, L"0x13d400kPipeIdleTaskKey") {}
  uint32_t RunTask(uint32_t appFlags, void* timeCheck) override;

 private:
  void UpdateFromSession();
  void ShowLaunchState(IPanelControlData* panel);
  void ShowSearchFolder(IPanelControlData* panel);
  void RefreshChangedRows(IPanelControlData* panel);
  void AskSearchFolder(IPanelControlData* panel);
  void FinishDialogButtons(IPanelControlData* panel);

  ActivationSession* fSession = nullptr;
  bool statusShowsFolder = true;
};

// Makes the host rescan its fonts and refresh its font menus: 0 on success, 1 on failure.
int RefreshHostFontSubsystem();

#pragma once
// Base classes and helper objects a plug-in builds on; they talk to the host only through the
// interfaces and the host services.
#include <string>
#include <vector>

#include "PlugIn.h"

ISession* GetExecutionContextSession();

class UtilsBoss {
 public:
  static IPMUnknown* QueryUtils(PMIID iid);
};

class WLocaleSetting {
 public:
  static PMLocaleId GetLocale();
};

class CAlert {
 public:
  static int32_t ModalAlert(const PMString& text, const PMString& button1, const PMString& button2,
                            const PMString& button3, int32_t defaultButton, int32_t iconType);
};

class IDFile {
 public:
  IDFile() = default;
  explicit IDFile(std::wstring path) : fPath(std::move(path)) {}
  const std::wstring& GetPath() const { return fPath; }

 private:
  std::wstring fPath;
};

class FileUtils {
 public:
  static PMString SysFileToPMString(const IDFile& file) { return PMString(file.GetPath()); }
};

class SDKFolderChooser {
 public:
  void SetTitle(const PMString& title) { fTitle = title; }
  void ShowDialog();
  bool IsChosen() const { return fChosen; }
  IDFile GetIDFile() const { return fFolder; }

 private:
  PMString fTitle;
  bool fChosen = false;
  IDFile fFolder;
};

class CResponder : public CPMUnknown<IResponder> {
 public:
  using CPMUnknown::CPMUnknown;
  void Respond(ISignalMgr*) override {}
  void SignalFailed(ISignalMgr*) override {}
};

class CServiceProvider : public CPMUnknown<IK2ServiceProvider> {
 public:
  using CPMUnknown::CPMUnknown;
};

class CIdleTask : public CPMUnknown<IIdleTask> {
 public:
  CIdleTask(IPMUnknown* boss, const wchar_t* name) : CPMUnknown(boss), fName(name) {}
  void InstallTask(uint32_t delay) override;
  void UninstallTask() override;
  const wchar_t* TaskName() const override { return fName.c_str(); }

 private:
  std::wstring fName;
};

class CDialogController : public CPMUnknown<IDialogController> {
 public:
  using CPMUnknown::CPMUnknown;
  void InitializeDialogFields() override {}
  bool ValidateDialogFields() override { return true; }
  void ApplyDialogFields() override {}
};

class CObserver : public CPMUnknown<IObserver> {
 public:
  CObserver(IPMUnknown* boss, PMIID observerIID = IID_IOBSERVER) : CPMUnknown(boss), fIID(observerIID) {}
  void AutoAttach() override {}
  void AutoDetach() override {}
  void Update(ClassID, ISubject*, PMIID, void*) override {}

 protected:
  PMIID fIID;
};

// Observer of a dialog: attaches to OK and Cancel and closes the dialog when one is pressed.
class CDialogObserver : public CObserver {
 public:
  enum : WidgetID { kOKButtonWidgetID = 1538, kCancelButtonWidgetID = 1539 };
  using CObserver::CObserver;
  void AutoAttach() override;
  void AutoDetach() override;
  void Update(ClassID theChange, ISubject* theSubject, PMIID protocol, void* changedBy) override;

 protected:
  void AttachToWidget(WidgetID widget, PMIID protocol);
  void DetachFromWidget(WidgetID widget, PMIID protocol);
};

class CTreeViewWidgetMgr : public CPMUnknown<ITreeViewWidgetMgr> {
 public:
  using CPMUnknown::CPMUnknown;
  int32_t GetStyleCount() const override { return static_cast<int32_t>(fStyles.size()); }
  void GetStyle(int32_t n, int32_t& style, RsrcID& rsrc, PluginID& plugin) const override;

 protected:
  void RegisterStyleWidget(int32_t style, RsrcID rsrc, PluginID plugin);

 private:
  struct Style {
    int32_t style;
    RsrcID rsrc;
    PluginID plugin;
  };
  std::vector<Style> fStyles;
};

// A flat list: the root's children are the rows 0 to n-1.
class ListTreeViewAdapter : public CPMUnknown<ITreeViewHierarchyAdapter> {
 public:
  using CPMUnknown::CPMUnknown;
  NodeID GetRootNode() const override { return NodeID(-1); }
  int32_t GetNumChildren(const NodeID& parent) const override {
    return parent.IsRoot() ? GetNumListItems() : 0;
  }
  NodeID GetNthChild(const NodeID&, int32_t n) const override { return NodeID(n); }
  virtual int32_t GetNumListItems() const = 0;
};

class CControlView : public CPMUnknown<IControlView> {
 public:
  using CPMUnknown::CPMUnknown;
  WidgetID GetWidgetID() const override { return fWidgetID; }
  void SetWidgetID(WidgetID id) override { fWidgetID = id; }
  PMRect GetFrame() const override { return fFrame; }
  void SetFrame(const PMRect& frame) override { fFrame = frame; }
  void Enable(bool enable) override { fEnabled = enable; }
  void Disable() override { fEnabled = false; }
  bool IsEnabled() const override { return fEnabled; }
  void Invalidate() override { fInvalid = true; }
  bool IsHilited() const override { return fHilite; }
  void SetHilite(bool on) override { fHilite = on; }
  void Draw(IGraphicsPort*) override {}

 protected:
  // Whether the view was invalidated since the last call (a host redraws only those).
  bool TakeInvalid() {
    bool was = fInvalid;
    fInvalid = false;
    return was;
  }

 private:
  WidgetID fWidgetID = 0;
  PMRect fFrame;
  bool fEnabled = true;
  bool fInvalid = true;
  bool fHilite = false;
};

class CActionComponent : public CPMUnknown<IActionComponent> {
 public:
  using CPMUnknown::CPMUnknown;
};
